// Procedures: scripts of the 4GL kept in text files (extension "PRX"),
// compiled when they are loaded into a table of line entries with resolved
// jump targets, and run line by line. Flow keywords are carried out by the
// runner itself, statement lines by the expression evaluator, and command
// lines by the command dispatcher (proc/commands.h).
//
// Script format. Each line is trimmed of blanks and tabs at both ends and
// split at its first blank or tab into a first word and the rest (trimmed):
//
//   first word                    line
//   empty                         blank line: dropped
//   begins with ';', '#' or '/'   remark: dropped
//   begins with ':'               label: the word without ':' names the next
//                                 compiled line; the rest is ignored
//   DEF_FN                        entry point: the rest names the next
//                                 compiled line as an entry of the file
//   a flow or command keyword     keyword line: the rest is its argument
//   anything else                 statement line: the whole line
//
// Keywords (kProcedureKeywords, numbered from 1; 19-53 are the commands of
// proc/commands.h) are looked up as written and then in upper case, so
// "goto" and "Goto" are GOTO. Labels and entry names match exactly.
//
// A source line holds at most kMaxSourceLine bytes; a longer line (146) or
// one holding a control character other than the tab (163, a binary file)
// refuses the whole file, the detail naming the file and the line.
//
// Compiled lines. Remarks, labels, DEF_FN lines and blank lines are not
// compiled; line numbers in messages count compiled lines from 1, which is
// what "(+ remmarks)" in the messages warns of. Each compiled line has a
// keyword (0 for a statement), a target and its argument text:
//
//   GOTO, GOSUB                   the labelled line
//   IF, IF_TRUE, IF_FALSE, DO,    the line after the block's closer
//   DO_WHILE, DO_UNTIL
//   ENDIF, LOOP, LOOP_WHILE,      the block's opener
//   LOOP_UNTIL
//   ELSE                          closes the IF part (the IF's target is the
//                                 line after the ELSE) and opens the ELSE
//                                 part: its own target is the line after the
//                                 ENDIF
//
// Closers are not checked against the kind of their opener: IF ... LOOP
// pairs up like IF ... ENDIF. Everything that cannot be resolved is refused
// when the file is loaded, before anything runs:
//   147  "\r\nLabel '%s' in line %s (+ remmarks) not found"
//   147  "\r\nFinal of Conditional or loop without \r\nBegin (Loop,
//        Endif...) in line %s (+ remmarks)": a closer without an opener,
//        and also an opener whose block is still open at the end of the
//        file (its line is named)
//   145  more than 128 labels or 128 entries, blocks nested deeper than 16
// The detail is the file's name followed by the text; the error is recorded
// in area 7 (EXEC_COMPILER).
//
// Running. A run starts at an entry's line (line 0 when no entry is named)
// and repeats, line by line:
//   1. with `_TRACE` bit 8, the line "%s\t%s %s\r\n" (line number, keyword,
//      argument as written) is appended to "PrcLog.txt" in the current
//      folder;
//   2. pending window messages are processed (the message pump); a break
//      asked for by the user ends the run with 122;
//   3. the argument text is bracket-expanded ([expression] replaced by its
//      value) -- for command lines the dispatcher does it;
//   4. the line runs: a statement (statuses below 128 are ignored), a flow
//      keyword, or a command (any status but 0 ends the run).
// A condition status of 122 and more, or a statement status of 128 and
// more, ends the run with that status; the detail gets "Line: %s (+
// remmarks):\r\n%s %s" (line number, keyword, argument as written) and the
// error is recorded in area 9 (ExecRunTime).
//
// Each run keeps its own GOSUB stack (64 return lines; a 65th GOSUB is 145),
// so that a procedure calling an entry of itself cannot disturb the returns
// its caller is waiting for. CALLs nest at most kMaxCallDepth deep (133).
//
// CALL label,file[,release] arguments: the release flag is on when the
// third item is absent or true. At most 16 arguments (145 beyond), each an
// expression, are evaluated and pushed on string table 35; the called
// procedure takes them with LOCALVARS name1,...,namen (namek gets argument
// k; an argument of the wrong kind for its variable is 128). Every argument
// must be taken: otherwise the CALL fails with 147 "LOCALVARS", as does a
// LOCALVARS that asks for more arguments than its call passed. With the
// release flag the variables the called run created are released when it
// ends (its locals).
//
// END [expression] ends the run. When the caller asked for a result
// (kRunResult) the expression's value, or without one the value of the
// last statement run, is pushed on string table 30 as text.
//
// Cleanup. A run that names no entry (a run from the start) puts back, when
// it ends in any way: the open sets it pushed (RESTORE), the file
// structures it defined (FILESTRUCT RESTORE), the data files its commands
// opened, and -- through RunResources installed by the layers that own
// them -- the devices and the windows it opened, newest first.
//
// User break. The installed message pump (SetMessagePump) answers whether
// the user asked to break; the window layer installs one that processes
// pending window messages. Whatever the pump, RequestProcedureBreak() --
// which a signal handler may call, as the tessaly executable does for
// SIGINT -- breaks the run at its next line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// ---- Keywords ----------------------------------------------------------------------

// The flow keywords, numbered from 1, followed by the 35 commands (19-53).
inline constexpr char kProcedureKeywords[] =
    "GOTO,GOSUB,CALL,RETURN,ENDIF,LOOP,LOOP_WHILE,LOOP_UNTIL,ELSE,IF,IF_TRUE,DO_WHILE,IF_FALSE,"
    "DO_UNTIL,DO,DEF_FN,LOCALVARS,END,"
    "ACCEPT,BOUNDS,COLOR,CONNECT,DEVICE,DLOCATE,DPRINT,ENDDEVICE,EXPORT,FILESELECT,IMPORT,KILL,"
    "LOADSTRUCT,LOCATE,MESSAGE,PRINT,SHELL,READ,REMOTE,REPORT,DOCPRINT,WAIT,WINMENU,WINOPEN,"
    "WINCLOSE,WINSELECT,WINPROG,RC_DELETE,RC_INSERT,RC_UPDATE,RC_WRITE,FILESTRUCT,FILESCAN,"
    "STATSTEPS,SYSTEM";

enum ProcedureKeyword : uint16_t {
  kPkStatement = 0,
  kPkGoto = 1,
  kPkGosub,
  kPkCall,
  kPkReturn,
  kPkEndif,
  kPkLoop,
  kPkLoopWhile,
  kPkLoopUntil,
  kPkElse,
  kPkIf,
  kPkIfTrue,
  kPkDoWhile,
  kPkIfFalse,
  kPkDoUntil,
  kPkDo,
  kPkDefFn,
  kPkLocalVars,
  kPkEnd,
  kPkFirstCommand = 19,
  kPkLastCommand = 53,
};
inline constexpr int kProcedureKeywordCount = 53;

// The number (1-53) of a keyword, looked up as written and then in upper
// case; 0 when it is none.
int ProcedureKeywordNumber(Slice word);
// The keyword of a number; empty outside 1-53.
Slice ProcedureKeywordName(int number);

// ---- Limits ---------------------------------------------------------------------------

inline constexpr int kMaxLabels = 128;
inline constexpr int kMaxEntries = 128;
inline constexpr int kMaxBlockDepth = 16;
inline constexpr int kMaxGosubDepth = 64;
inline constexpr int kMaxCallArguments = 16;
inline constexpr int kMaxCallDepth = 32;
inline constexpr int kMaxSourceLine = 512;
// Line indexes are 16-bit.
inline constexpr int kMaxCompiledLines = 65535;

// ---- Compiled procedures -----------------------------------------------------------------

struct ProcedureLine {
  uint16_t keyword = kPkStatement;
  uint16_t target = 0;
  std::string argument;  // as written (a statement line: the whole line)
};

struct CompiledProcedure {
  std::string name;  // the file it was loaded from
  std::vector<ProcedureLine> lines;
  std::vector<std::string> entry_names;
  std::vector<uint16_t> entry_lines;
  uint16_t start_line = 0;
  Status status;  // of the last run
};

// Compiles source lines (each as read, without its line end). 0, or 147 /
// 145 / 146 / 163 as described above with the detail `name` + the text.
Status ProcedureCompile(const std::vector<Slice>& lines, Slice name, CompiledProcedure* out);
// The same over a whole text whose lines end in CR LF, CR or LF.
Status ProcedureCompileText(Slice source, Slice name, CompiledProcedure* out);

// ---- The procedure table -------------------------------------------------------------------

inline constexpr char kProcedureExtension[] = "PRX";

// Loads and compiles a procedure file into the table; `index` (when given)
// gets its table index. The name is expanded (%NAME%) and looked for as it
// is, then in the folders of environment slot 5; a name without extension
// is tried with ".PRX" too. 164 with the name as detail when none exists.
Status ProcedureLoad(Slice file_name, int* index = nullptr);
// Compiles a procedure held in a text (lines ending in CR LF, CR or LF)
// into the table under `name`, as ProcedureLoad does for a file.
Status ProcedureLoadText(Slice name, Slice source, int* index = nullptr);
// Removes a procedure from the table (a run in progress keeps its copy).
// 168 for an index that holds none.
Status ProcedureUnload(int index);
// The procedure at `index`; null when the index holds none.
const CompiledProcedure* ProcedureAt(int index);
// Loaded procedures.
int ProcedureCount();
// Unloads every procedure (tests, shutdown).
void UnloadAllProcedures();

// ---- Running ----------------------------------------------------------------------------------

enum ProcedureRunFlags : int {
  kRunRelease = 0x01,  // release the variables the run created
  kRunResult = 0x02,   // push the procedure's result on string table 30
};

// Runs entry `entry` (empty: the newest procedure from line 0, with the
// cleanup) after loading `file_name` when it is given (unloaded again
// afterwards). The entry is looked for from the newest procedure down;
// 147 with the name as detail when none has it.
Status ProcedureRunEntry(Slice entry, Slice file_name, int flags);

// Runs a run text "files,entry,statement,...": the statements run first,
// then the files of item 1 (separated by ';') from the last to the second
// are loaded as libraries, entry (item 2) of the first file runs with the
// release flag, and every procedure loaded for the run is unloaded, newest
// first. The PrcExec process runs its parameters this way.
Status ProcedureRun(Slice run_text);

// How deep procedure runs are nested (0: none is running). Safe to call
// from a signal handler.
int ProcedureRunDepth();

// ---- Trace ----------------------------------------------------------------------------------

inline constexpr uint16_t kTraceProcedureLines = 8;
inline constexpr char kProcedureLogName[] = "PrcLog.txt";

// ---- User break ---------------------------------------------------------------------------

// Processes pending window messages and answers whether the user asked to
// break. Null restores the headless pump, which processes nothing.
using MessagePump = bool (*)();
void SetMessagePump(MessagePump pump);
// Asks the running procedure to stop at its next line with 122. Safe to
// call from a signal handler.
void RequestProcedureBreak();
// Whether a break was asked for and not yet taken by a run. Safe to call
// from a signal handler (a second interrupt while the first is pending may
// then end the program instead).
bool ProcedureBreakPending();
// Runs the pump and takes the break request: true when the run must stop.
bool ProcedureBreakRequested();
// Forgets a pending break request (a new run from the start does too).
void ClearProcedureBreak();

// ---- What a run opens in the layers above ---------------------------------------------------

// Devices and windows a run opens belong to layers above this one; each
// installs how many it has open and how to close those opened after a mark.
class RunResources {
 public:
  virtual ~RunResources() = default;
  // A mark of what is open now.
  virtual int Mark() = 0;
  // Closes, newest first, everything opened after `mark`.
  virtual void ReleaseTo(int mark) = 0;
};
enum class RunResourceKind : int { kDevices = 0, kWindows = 1 };
// Installs (null removes) the resources of a kind. Not owned.
void SetRunResources(RunResourceKind kind, RunResources* resources);

// ---- Installation ---------------------------------------------------------------------------

// Registers the PrcExec process and the standard command dispatcher.
void InstallProcedures();

}  // namespace tessaly
