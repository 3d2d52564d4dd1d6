// The handlers of the commands this layer carries out, and the argument
// helpers they share.
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/status.h"
#include "proc/commands.h"

namespace tessaly::proc {

// A handler's signature (CommandHandler) spelled out for the declarations.
#define TESSALY_COMMAND(name) Status name(int command, int count, const CommandArgument* args)

// Data files and records (commands_data.cpp).
TESSALY_COMMAND(FileStructCommand);
TESSALY_COMMAND(LoadStructCommand);
TESSALY_COMMAND(FileScanCommand);
TESSALY_COMMAND(LocateCommand);
TESSALY_COMMAND(DLocateCommand);
TESSALY_COMMAND(RecordCommand);  // RC_DELETE, RC_INSERT, RC_UPDATE, RC_WRITE
// Transfer to and from delimited text (commands_transfer.cpp).
TESSALY_COMMAND(ExportCommand);
TESSALY_COMMAND(ImportCommand);
// Files, messages and programs (commands_system.cpp).
TESSALY_COMMAND(ReadCommand);
TESSALY_COMMAND(KillCommand);
TESSALY_COMMAND(MessageCommand);
TESSALY_COMMAND(SystemCommand);  // SYSTEM and SHELL
TESSALY_COMMAND(WaitCommand);
TESSALY_COMMAND(StatStepsCommand);
TESSALY_COMMAND(ConnectCommand);

#undef TESSALY_COMMAND

// ---- Arguments ---------------------------------------------------------------------------

// 147 with the command's name as detail when `count` is outside min..max.
Status CheckArgumentCount(int command, int count, int min, int max);
// The data file an argument names: a number (0 the current file) or a file
// name of the structures. 166 naming an unknown name, 168 for a number
// that is not a defined file.
Status FileArgument(const CommandArgument& arg, int* file);
// Opens a closed data file for update (a run's cleanup closes it again).
Status EnsureOpen(int file);
// The prelude of the commands on a data file: the argument count checked,
// the file of argument 1 found and opened.
Status OpenFileArgument(int command, int count, const CommandArgument* args, int min, int max,
                        int* file);
// The variable an argument names: its written form when that is a plain
// variable name, else its text.
Slice VariableArgument(const CommandArgument& arg);
// Argument i (from 0) as text, `fallback` when absent.
Slice TextArgument(int count, const CommandArgument* args, int i, Slice fallback = Slice());
// Argument i as a whole number, `fallback` when absent or empty.
int64_t IntegerArgument(int count, const CommandArgument* args, int i, int64_t fallback);
// Writes buffer 1 of `file` over the record with the same key 1, or inserts
// it when there is none (RC_WRITE, IMPORT ... WRITE): 0, 5, 6 or a status.
Status WriteRecordByKey(int file, Slice selection);
// Stores a count into a 16-bit system word, clamped to 32767.
void SetCountWord(int word, int64_t count);

}  // namespace tessaly::proc
