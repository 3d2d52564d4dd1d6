// The data capture window: how the runtime asks the user for a few values.
//
// A capture is described by a field specification list (ui/screen.h), for
// example "'Desde:':'D8':DESDE$,'Hasta:':'D8':HASTA$". It is compiled into a
// temporary screen, laid out in a modal dialog (window kind 5), filled with
// its defaults and run with the field navigation of the screen model until
// the user confirms (Enter or Tab past the last field, Down, PgDn,
// Ctrl+End, the "Ok" button) or cancels (Esc, closing the window). Then the
// values are stored:
//   - each field's text goes to its target: part 3 of the FIELD (part 1
//     when part 3 is empty), assigned when it is a variable without a
//     comparison, or to part 5 when that is given;
//   - the values text: every field's value in single quotes, joined by
//     ","; the condition text: for targets with a comparison ("NAME{1}>="),
//     the target followed by the value, terms joined by "&&";
//   - string table 9 keeps them for later captures and callers: slot 7 the
//     values text (the defaults of the next capture whose fields have none),
//     slot 1 the condition text (report limits);
//   - a line with the values text goes to the OUTPUT file when the command
//     line names one.
//
// Batch runs: while the INPUT file is open (`_INHND`), a capture opens no
// window; the file's next line gives the values of fields 1, 2, ... (its
// ","-items, unquoted), the fields without an item keep their defaults, and
// the capture is stored as if confirmed. At the end of the file a window is
// needed again (143 without a display).
//
// Statuses of a result: 0 confirmed and stored; 122 not confirmed (nothing
// stored, the last values untouched); others from compiling, defaults or
// storing. A list that cannot be compiled, or a default that fails, ends
// the capture before any window opens, with nothing stored.
#pragma once

#include <string>

#include "core/hooks.h"
#include "core/slice.h"
#include "core/status.h"
#include "ui/screen.h"
#include "ui/window_layer.h"

namespace tessaly {

// String table 9: the condition text (slot 1) and the values text (slot 7)
// of the last confirmed capture.
inline constexpr int kLastValuesTable = 9;
inline constexpr int kLastConditionSlot = 1;
inline constexpr int kLastValuesSlot = 7;
// String table 32: the field list of a capture handed to its continuation.
inline constexpr int kAcceptListTable = 32;

// Flags of a capture window.
enum AcceptFlags : int {
  kAcceptFitToFields = 64,  // the screen is sized to its fields (at least 25 columns)
  kAcceptOneRow = 128,      // the fields side by side, without labels
};

struct AcceptResult {
  int last_key = 4;       // `_LASTKEY` when the window closed (key indexes of the layer)
  std::string values;     // 'v1','v2',...
  std::string condition;  // T1v1&&T2v2...
  Status status;
};

// Whether a last key confirms a capture: Enter, Tab, Down, PgDn, Ctrl+End.
bool IsConfirmingKey(int key_index);

// Runs the capture and always stores its values.
AcceptResult AcceptAndStore(Slice title, Slice field_list);

// Runs the capture; stores when the window was left by another key than
// Enter or the "Ok" button (that is: not confirmed, giving 122). A confirmed
// capture stays open above the current screen for the continuation, which
// stores it with AcceptStoreAbove. With a result of 0 or 122 the field list
// is pushed on string table 32 and the continuation runs with the last key;
// its status becomes the result's. A capture the continuation left open is
// closed without storing.
using AcceptContinuation = Status (*)(void* context, int last_key);
AcceptResult Accept(Slice title, Slice field_list, AcceptContinuation continuation,
                    void* context = nullptr);

// Makes the screen above the current one (an open capture) current and
// stores its values as a confirmed capture would; the capture is closed.
AcceptResult AcceptStoreAbove(Slice field_list);

// The capture of parameter set `number` of the ".PPN" file `file`: ACBOUND$
// is the field list, WINNAME$ the title. After a confirmed capture the
// hook `hook` (-1: the set's ACCEPT_PRC%) is called with the confirming
// event 25, the values text as argument and the result as object. 163
// naming "ACBOUND$" without a field list, naming "ACCEPT_PRC%" for hook 0.
AcceptResult AcceptFromParameters(Slice file, int number, int hook);

// Builds a capture window without running it (a document embeds the
// capture in its own window): with `owner` the fields go into that window,
// else a new modal window opens. The action handler is `handler` when its
// action is set, else the capture's default one. The screen instance of the
// capture is current on return and `*window` is its window.
struct AcceptWindowRequest {
  Slice title;
  Slice field_list;
  int flags = 0;  // AcceptFlags
  WindowId owner = kNoWindow;
  ScreenCallbacks handler;
};
Status OpenAcceptWindow(const AcceptWindowRequest& request, WindowId* window);

// The default action handler of a capture window (ScreenCallbacks::action);
// `context` may be null.
Status AcceptDefaultAction(void* context, int action);

// The process request "AcceptRun": a capture described by a parameter set
// ("file,number", or item 7 of the maintenance request equal to 8), or a
// capture window on a screen file ("file,number,columns,rows,main
// file,,flags,extra") whose confirm runs a hook: ACCEPT_PRC%, else STEPS$
// (hook 7), PRCNAME$ (6), DOCNAME$ (5) or PARM_FILE$ (4).
Status AcceptRunProcess(int process, Slice parameters);

// The runtime's parameter-file capture (registered by the application as
// hook 4): on the confirming event it writes the variables named by
// PARM_FILE_WRITE$ (a field of the capture by that name gives its value)
// into the PARM_FILE$ file of the data folder as NAME=value entries, merged
// with those already there, and answers 8 (close) or the failure.
Slice ParameterFileCaptureHook(int event, Slice argument, void* object);

// Registers the AcceptRun process and the ACCEPT procedure command.
void InstallCaptureWindows();

}  // namespace tessaly
