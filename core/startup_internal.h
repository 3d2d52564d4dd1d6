// What the start-up modules share beyond their public header: reading the
// small text files of start-up (parameter files, the font file, the session
// status file) through the platform layer.
#pragma once

#include <string>
#include <vector>

#include "core/slice.h"

namespace tessaly::startup_internal {

// Reads a whole file. 164 (with the path as detail) when it cannot be
// opened, 136 when a read fails.
Status ReadTextFile(Slice path, std::string* text);
// The lines of a text: CR LF, a lone CR or a lone LF end a line; the last
// line needs no terminator; a Ctrl-Z ending the text is not data.
std::vector<std::string> SplitLines(const std::string& text);
// Writes `bytes` to standard output or standard error (which = 1 or 2).
void WriteStandard(int which, const std::string& bytes);

}  // namespace tessaly::startup_internal
