// The internal consistency check: a condition that must hold for the runtime
// to go on safely.
//
// When it fails, the text is shown in a box captioned "Assertion Fail" with a
// stop icon (through the installed MessageBoxUi, see core/message_box.h), is
// appended as a line (CR LF) to "assertions.log" in the current folder, and
// the process ends at once with exit code 141 (INTERNALERROR), without
// running exit handlers: nothing that might be inconsistent is written on
// the way out.
//
// The log line goes through an installable writer. The default one appends
// through the platform layer's files (one write per line, so lines of two
// processes never mix). A writer that cannot open the log writes nothing:
// the box has been shown and the process ends all the same.
#pragma once

#include "core/slice.h"

namespace tessaly {

inline constexpr char kAssertionCaption[] = "Assertion Fail";
inline constexpr char kAssertionLogName[] = "assertions.log";
inline constexpr int kAssertionExitCode = 141;

// Appends `line` and CR LF to the assertion log.
using AssertionLogWriter = void (*)(Slice line);
// Null restores the default writer.
void SetAssertionLogWriter(AssertionLogWriter writer);

// Does nothing when `condition` holds; otherwise shows `text`, logs it and
// ends the process (see above).
void Check(bool condition, Slice text);
[[noreturn]] void AssertionFailed(Slice text);

}  // namespace tessaly
