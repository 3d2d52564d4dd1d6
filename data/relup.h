// Relational updates: statements that run whenever a record of a file is
// saved or deleted, so that dependent files stay in step. A sales line that
// is saved adds its quantity to the article's stock; a deleted line takes it
// off again. The statements run with `_SGN` +1 while a record's contents
// take effect and -1 while they are withdrawn, so one statement such as
//
//     FILEREL(3;2;1);STOCK{2}=STOCK{2}-_SGN*QTY{}
//
// serves insertion, change and deletion.
//
// Definition file: the application code + "RELUP.DAT" (+ "RELUPSQL.DAT"
// while `_AUXSTAT` bit 2048 is set), found through the default folder list.
// A tagged-line file of layout 4:
//
//     columns 1-2  the file whose saves run the definition (two digits)
//     columns 3-4  the definition number within that file (two digits)
//     column 5 on  statement text; blanks and tabs at its start dropped
//
// Lines of the same file and definition form one definition, their texts
// joined in file order with ';'.
//
// Definition table: string table 7, a stack shared by all files. A file's
// definitions occupy the entries from its base: definition n of file f is
// entry base(f) + n. A window notes the table's size when it opens
// (RelUpdateMark), loads its file's definitions, and unloads back to its
// mark when it closes. The base is mirrored into the file's DataFileCtrl.
//
// Selection: which definitions a save runs. "NONE" none; an empty text the
// default: "1+(N_LINE{}>0)" for a file with an N_LINE field (1 for a
// header, 2 for a line), else "1" when the file has one or two definitions;
// any other text is an expression whose value is a comma list of numbers.
// Definition 0, when the file has one, runs first at every save. Each
// definition runs once per save whatever the list repeats.
//
// Running: only while `_UPSTAT` bit 1 is set. Revert mode runs the
// statements over the record as read (buffer 2 in place of buffer 1,
// `_SGN` -1), apply mode over the record as written (`_SGN` 1); meanwhile
// `_UPSTAT` bit 32 mirrors `_AUXSTAT` bit 2048 and the file is the current
// file. A statement failing with 128 or more stops the statements and is the
// result; the error detail names the relational update and its file, and
// the failure is written to the runtime log.
//
// Related records. A statement changes another file's record by assigning
// its fields (STOCK{2}=...), which changes only that file's buffer 1. After
// the statements have run, every other file open for update whose loaded
// record they changed is rewritten and committed, so the change reaches
// the disk with the save that caused it.
//
// Saves of the record operations (data/record_ops.h) reach this module once
// InstallRelationalUpdates has run: SVE reverts the old contents and applies
// the new, INS applies, DEL reverts.
#pragma once

#include "core/slice.h"

namespace tessaly {

enum class RelUpdateMode { kApply, kRevert };

inline constexpr int kRelUpdateTable = 7;  // string table of the definitions
inline constexpr int kMaxRelUpdateDefinition = 99;
inline constexpr char kRelUpdateFile[] = "RELUP.DAT";
inline constexpr char kRelUpdateSqlFile[] = "RELUPSQL.DAT";
inline constexpr char kRelUpdateNone[] = "NONE";

// The definition file: code + "RELUP.DAT", or + "RELUPSQL.DAT" with
// `_AUXSTAT` bit 2048. On the string area.
Slice RelUpdateFileName();

// The size of the definition table: the mark a window unloads back to.
int RelUpdateMark();

// Loads the definitions of `file` (0: the current file) unless they are
// loaded already or `selection` is "NONE". A missing definition file loads
// nothing and is no error. A line whose definition number is not two digits
// is 163, and a line over 512 bytes 146, with the detail naming the file and
// the line; nothing is loaded then. 159 when the string table is full
// (nothing is loaded). 168 for a file that is not defined.
Status RelUpdateLoad(int file, Slice selection);

// Removes the definitions loaded after `mark` (the newest first); every file
// whose definitions began at or above the mark is no longer loaded. A
// negative mark unloads from `file`'s own base (nothing when it is not
// loaded).
Status RelUpdateUnload(int file, int mark);

// Whether the definitions of `file` are loaded, and how many of the
// numbers 1-99 hold a definition (-1 when not loaded).
bool RelUpdateLoaded(int file);
int RelUpdateDefinitionCount(int file);
// The text of definition n of `file`; empty when there is none.
Slice RelUpdateDefinition(int file, int n);

// The statements `selection` chooses for `file`, joined with ';', on the
// string area: empty for "NONE" or a file without loaded definitions; the
// error slice of a failing selection expression.
Slice RelUpdateSelect(int file, Slice selection);

// Runs `statements` for `file` in `mode` (see the header comment). 0, or a
// status of 128 and more.
Status RelUpdateRun(int file, Slice statements, RelUpdateMode mode);

// Forgets every loaded definition and empties the table (a new
// application, tests).
void RelUpdateReset();

// Makes the saves of the record operations run the selected definitions.
// Start-up calls it once; calling it again is harmless.
void InstallRelationalUpdates();

}  // namespace tessaly
