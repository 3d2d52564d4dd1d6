// Process requests: the texts through which menus, procedures, the INPUT
// file and the RUN option start the runtime's processes, and the
// dispatcher that runs them.
//
// A request is a process name and its parameters: the name is the first
// item, separated from the parameters by a blank, or by a comma when the
// text holds no blank. Names are matched exactly against kProcessNames;
// the process code handed to a dispatcher carries the name's number in its
// upper 16 bits.
//
// The dispatcher in use is the application's when one was set
// (SetProcessDispatcher), else the runtime's own. The application's
// dispatcher checks the session, takes the processes it owns and passes the
// others to RuntimeDispatch.
//
// The runtime's dispatcher runs FileTrans (148, "FileTransWizzard"), Help,
// FontSet and ExpEval itself. AcceptRun, MantAux, PrcExec, Report, Reorg
// and Copy are run by the handler a higher layer registers for them
// (SetProcessHandler); until one is registered the request ends with 148
// and a detail naming the process and what it needs. A handler marked as
// needing a window is refused with 143 (Screen Environ) while no display
// is available, so that a batch run never waits for a window nobody sees.
// Any other process is 163 with message 0031 "Process not defined".
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

enum ProcessNumber : int {
  kProcMenu = 1,
  kProcAccept,
  kProcAcceptRun,
  kProcMantAux,
  kProcMantMain,
  kProcMantAuto,
  kProcMantMovs,
  kProcLnManMain,
  kProcLnNavMain,
  kProcPrcExec,
  kProcReport,
  kProcReorg,
  kProcCopy,
  kProcFileTrans,
  kProcHelp,
  kProcPerform,
  kProcFontSet,
  kProcWizzSelect,
  kProcExpEval,
};
inline constexpr int kProcessCount = 19;
inline constexpr char kProcessNames[] =
    "Menu,Accept,AcceptRun,MantAux,MantMain,MantAuto,MantMovs,LnManMain,LnNavMain,PrcExec,Report,"
    "Reorg,Copy,FileTrans,Help,Perform,FontSet,WizzSelect,ExpEval";

// The name of process n (1-19); empty outside.
Slice ProcessName(int n);
inline constexpr uint32_t ProcessCode(int number) { return static_cast<uint32_t>(number) << 16; }
inline constexpr int ProcessNumberOf(uint32_t code) { return static_cast<int>(code >> 16); }

struct ProcessRequest {
  int number = 0;  // 0 when the name is not a process
  Slice name;      // views into the request text
  Slice parameters;
};
// Splits a request (leading and trailing blanks ignored). 0, or 163 with
// `number` 0 when the name is not a process (the name is still set).
Status SplitRequest(Slice request, ProcessRequest* out);

// ---- Dispatchers ---------------------------------------------------------

using ProcessDispatcher = Status (*)(uint32_t code, Slice parameters);
// Null restores the runtime's own.
void SetProcessDispatcher(ProcessDispatcher dispatcher);
ProcessDispatcher CurrentProcessDispatcher();
// The runtime's dispatcher.
Status RuntimeDispatch(uint32_t code, Slice parameters);

// Splits the request and runs it through the dispatcher in use. An unknown
// name is 163 with the detail "Process not defined: <name>".
Status RunProcess(Slice request);
// Runs the comma-separated requests in order while the status is 0; each
// item is evaluated as an expression first and its text is the request. A
// process whose number is a byte of `exclusions` gives 124 instead of
// running.
Status RunRequestList(Slice list, Slice exclusions);

// ---- Processes owned by higher layers ---------------------------------------

using ProcessHandler = Status (*)(int number, Slice parameters);
// Registers the handler of process `number` (1-19); null removes it.
// `needs_window`: the process cannot run without a display.
void SetProcessHandler(int number, ProcessHandler handler, bool needs_window);
// Runs the registered handler of `number` with the checks above: 148 when
// none is registered, 143 when it needs a window and no display is
// available. The application's dispatcher uses it for the processes it
// owns.
Status RunProcessHandler(int number, Slice parameters);
void ClearProcessHandlers();

// ---- Main window events --------------------------------------------------------

enum MainWindowEventNumber : int {
  kEventMenuAction = 16,  // bits 8-15: index of the request in string table 5
  kEventClose = 17,
  kEventHelp = 19,
};
// Handles an event of the main window; a status of 122 or more is shown.
// `close` (when given) is set when the main window is to close (all
// windows with it).
Status MainWindowEvent(int event, bool* close = nullptr);
// The close request: false, after message 0032, while more than one screen
// or window is open; true without asking when `_AUXSTAT` bit 0x20 is set;
// else the answer to message 0033.
bool CloseRequest();

// ---- Help, About and the window font -----------------------------------------

// The Help process: the About box for non-empty parameters, else the
// online help page (TESSALY_HELP_URL + "/" + the second item of the
// application name, when both exist), else the local help page.
Status HelpProcess(Slice parameters);
// Shows the About box (message 0076 under caption 0075).
Status ShowAboutBox();
// A help file: `name` as written and then in its language variant, in the
// folders of slot 5 and slot 7; a path found without a folder part is taken
// in the current folder. Empty when none exists.
Slice FindHelpFile(Slice name);
// The local help page: the first existing of code + "index.html", then
// "index.html", each as written and then in its language variant, in the
// folders of slot 5 and slot 7. Empty when none exists.
Slice FindHelpPage();
// The name of a help file asked for by `name`; an empty name is the
// application code + "HELP.HLP".
Slice HelpFileName(Slice name);
// Opens a page or file with the desktop's viewer (xdg-open): 0, or 167
// with the program as detail when it cannot be started.
Status OpenWithViewer(Slice path);

// The FontSet process: offers the fonts of "KVFONT.PPN" in the "Font"
// selection, moves the chosen one to the front of the file and makes it
// the window font.
Status FontSetProcess();

}  // namespace tessaly
