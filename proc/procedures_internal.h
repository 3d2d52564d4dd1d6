// What the files of the procedure layer share beyond their public headers:
// the splitting of argument lists, the run's record of what it opened, and
// the status helpers of the runner and the commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {
struct CompiledProcedure;
}

namespace tessaly::proc {

// Bracket expansion of procedure arguments: values trimmed, an empty value
// read as "0" (no flag of the expansion changes what a procedure gets).
inline constexpr int kArgumentBracketFlags = 0x01;

// The items of an argument list separated by `sep` at the top level: a
// separator inside quotes or inside parentheses does not split. Items are
// trimmed of blanks and tabs. An empty text has no items.
std::vector<Slice> SplitArguments(Slice text, char sep);
// The text split at its first blank or tab outside quotes: the part before
// and the trimmed rest (empty when there is none).
void SplitAtBlank(Slice text, Slice* head, Slice* rest);

// The text as expanded by the bracket expansion, or as it is when it holds
// no '['. On the string area.
Slice ExpandArgument(Slice text);

// Fails with `status`, recording it in the run-time area (9).
Status RunFailure(Status status);

// Data files a command opened while a run from the start is in progress;
// the run's cleanup closes them.
void NoteFileOpenedByCommand(int file);
size_t FilesOpenedByCommands();
void CloseFilesOpenedSince(size_t mark);
// Forgets them, leaving them open.
void ForgetFilesOpenedByCommands();

// Whether a name is written as a plain variable name: a letter or '_'
// first, then letters, digits, '_' and the markers '$' and '#'.
bool IsPlainVariableName(Slice name);

// ---- The procedure table -----------------------------------------------------------

// The procedure to run for `entry`: searched from the newest procedure down
// for an entry of that name; with an empty entry the newest procedure and
// line 0. Null when none.
std::shared_ptr<CompiledProcedure> FindProcedure(Slice entry, uint16_t* start_line);
// A number that grows with every load: procedures loaded after a moment
// are those whose number is above the moment's.
uint64_t LoadSequence();
// Unloads, newest first, every procedure loaded after `sequence`.
void UnloadLoadedAfter(uint64_t sequence);

}  // namespace tessaly::proc
