// Procedure commands: the 35 command keywords of a procedure (numbers 19-53
// of the keyword list in proc/procedures.h), how their arguments are
// passed, and the dispatchers that carry them out.
//
// Executing a command line (CommandDispatch):
//   1. the handler is the first non-empty of 16 dispatcher slots; with none
//      the status is 148;
//   2. the argument text is bracket-expanded and split at ',' (quoted parts
//      and parenthesised parts are never split);
//   3. each item is evaluated as an expression, left to right; a status of
//      2 and more ends the evaluation with it. An empty item is the empty
//      text. More than 16 items is 145;
//   4. the dispatcher gets the command number, the count and per argument
//      its kind (0 number, 1 text), its 16-bit value (the number's whole
//      part, clamped; 0 for a text), its text (a number in its text form),
//      and -- beyond the plain contract -- the scaled number and the item
//      as written, so that a command can take a variable's name;
//   5. a status other than 0 ends the procedure's run; the runner records
//      it with "Line: %s (+ remmarks):\r\n%s %s".
//
// The standard dispatcher (InstallStandardCommands, slot 15, so that an
// application may put its own in front) runs the handler registered for
// each command with SetCommandHandler. This layer registers the commands
// whose machinery exists below the windows: CONNECT, DLOCATE, EXPORT,
// IMPORT, KILL, LOADSTRUCT, LOCATE, MESSAGE, SHELL, READ, WAIT, RC_DELETE,
// RC_INSERT, RC_UPDATE, RC_WRITE, FILESTRUCT, FILESCAN, STATSTEPS, SYSTEM.
// The layers of devices, reports and windows register theirs for ACCEPT,
// BOUNDS, COLOR, DEVICE, DPRINT, ENDDEVICE, PRINT, REPORT, DOCPRINT,
// WINMENU, WINOPEN, WINCLOSE, WINSELECT, WINPROG, FILESELECT and REMOTE;
// until they do, those answer 148 with the command's name as detail.
// docs/commands.md gives every command's arguments and effect.
//
// Outcomes that are not failures go to system variables, so that a "not
// found" never ends a run: `_IER` takes the result code of a record
// command (0 found or done, 1 positioned on the next key, 2 none or end of
// file, 5 key exists, 6 repeated key), `_COUNT` the records or files a
// command went through, `_STAT` the answer of MESSAGE and the exit code of
// SYSTEM.
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

enum CommandNumber : int {
  kCmdAccept = 19,
  kCmdBounds,
  kCmdColor,
  kCmdConnect,
  kCmdDevice,
  kCmdDLocate,
  kCmdDPrint,
  kCmdEndDevice,
  kCmdExport,
  kCmdFileSelect,
  kCmdImport,
  kCmdKill,
  kCmdLoadStruct,
  kCmdLocate,
  kCmdMessage,
  kCmdPrint,
  kCmdShell,
  kCmdRead,
  kCmdRemote,
  kCmdReport,
  kCmdDocPrint,
  kCmdWait,
  kCmdWinMenu,
  kCmdWinOpen,
  kCmdWinClose,
  kCmdWinSelect,
  kCmdWinProg,
  kCmdRcDelete,
  kCmdRcInsert,
  kCmdRcUpdate,
  kCmdRcWrite,
  kCmdFileStruct,
  kCmdFileScan,
  kCmdStatSteps,
  kCmdSystem,
};
inline constexpr int kFirstCommand = kCmdAccept;
inline constexpr int kLastCommand = kCmdSystem;
inline constexpr int kCommandCount = 35;
static_assert(kLastCommand - kFirstCommand + 1 == kCommandCount);

inline constexpr int kCommandSlots = 16;
inline constexpr int kStandardCommandSlot = 15;
inline constexpr int kMaxCommandArguments = 16;

// The name of command n (19-53); empty outside.
Slice CommandName(int command);

// One argument of a command. The slices live until the dispatcher returns.
struct CommandArgument {
  int kind = 1;        // 0 number, 1 text
  int16_t value = 0;   // the number's whole part, clamped to 16 bits; 0 for a text
  int64_t number = 0;  // the scaled number; 0 for a text
  Slice text;          // the text, or the number's text form
  Slice written;       // the item as written, after bracket expansion
};

using CommandDispatcher = Status (*)(int command, int count, const CommandArgument* args);

// Sets slot 0-15 (null empties it); 168 for another slot.
Status CommandRegister(int slot, CommandDispatcher dispatcher);
// The dispatcher that handles every command: the first non-empty slot.
CommandDispatcher CurrentCommandDispatcher();

// Runs a command line. With `line` above 0 a failing status is recorded
// as the current error with "Line: <line> (+ remmarks):\r\n<keyword>
// <argument text>" appended to the detail.
Status CommandDispatch(int command, Slice argument_text, int line = 0);

// The detail text of a procedure line ("Line: %s (+ remmarks):\r\n%s %s").
Slice ProcedureLineText(int line, Slice keyword, Slice argument);

// ---- The standard dispatcher -------------------------------------------------------------

using CommandHandler = CommandDispatcher;
// Registers the handler of one command (null removes it); 163 for a number
// outside 19-53.
Status SetCommandHandler(int command, CommandHandler handler);
CommandHandler GetCommandHandler(int command);
// Runs the command's handler; 148 with the command's name as detail when
// it has none.
Status StandardCommandDispatch(int command, int count, const CommandArgument* args);
// Puts the standard dispatcher in slot 15 and registers this layer's
// handlers (calling it again restores them).
void InstallStandardCommands();
// Empties every slot and handler (tests).
void ClearCommands();

// ---- Progress (STATSTEPS) -------------------------------------------------------------------

// Shows the progress of a long procedure. The window layer installs one;
// the headless one only counts.
class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual void Start(Slice text, int64_t total) = 0;
  virtual void Step(int64_t done, int64_t total) = 0;
  virtual void End() = 0;
};
// Installs (null: the headless one). Not owned.
void SetProgressDisplay(ProgressDisplay* display);
struct ProgressState {
  bool running = false;
  int64_t done = 0;
  int64_t total = 0;
};
ProgressState CurrentProgress();
// Ends a progress left running (a run's cleanup).
void EndProgress();

}  // namespace tessaly
