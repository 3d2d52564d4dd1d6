// A window layer that draws nothing and remembers everything: each call as
// one line of text, the title, labels and control texts of each window, the
// focused field. Tests of the screen model and of the windows above it
// install it to see what a user would have seen, without a display.
//
// Call lines (numbers in decimal, texts as given):
//   "title W <text>"                 SetWindowTitle
//   "label W R,C <text>"             StaticText
//   "control W F R,C S/D T <flags>"  CreateFieldControl; flags are letters:
//                                    r read-only, p password, a right-aligned,
//                                    c check box, g grid
//   "text W F <text>" / "check W F <text>"  SetFieldText (check with flag 16)
//   "focus W F", "enable W F 0|1", "show W F 0|1", "status W <text>"
//   "open W K C,R <title>"           OpenWindow (kind K, content C by R cells)
//   "run W", "close W S"             RunWindow, CloseWindow (result S)
//   "button W ID R,C N <text>"       CreateButton (negative R, C: from the end;
//                                    N width; a trailing "^" for half_up)
//   "listview V W R,C N,M"           ListViewCreate (slot V)
//   "combo K W R,C <list>"           ComboCreate (slot K)
//   "picture W <file>"               ShowPicture
//
// Windows: OpenWindow gives each window the next number from 2 and makes it
// the top; RunWindow calls `on_run` (a test's script acting as the user: it
// dispatches actions through Dispatch and may type into controls) and then
// answers the result the window was closed with, or 143 when the script
// left it open.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ui/window_layer.h"

namespace tessaly {

class RecordingWindowLayer final : public WindowLayer {
 public:
  // The window that TopWindow() answers (kNoWindow: none open).
  WindowId top = 1;
  // A SetFieldText or CreateFieldControl for this field answers 179.
  int failing_field = 0;

  std::vector<std::string> calls;
  std::map<WindowId, std::string> titles;
  std::map<WindowId, std::string> status_lines;
  std::map<std::pair<WindowId, int>, std::string> field_texts;
  std::map<std::pair<WindowId, int>, FieldControlSpec> controls;
  // "R,C" -> label text, per window.
  std::map<std::pair<WindowId, std::string>, std::string> labels;
  WindowId focus_window = kNoWindow;
  int focus_field = 0;

  WindowId TopWindow() override { return top; }
  Status SetWindowTitle(WindowId window, Slice title) override;
  Status StaticText(WindowId window, int row, int column, Slice text) override;
  Status CreateFieldControl(WindowId window, const FieldControlSpec& spec) override;
  Status SetFieldText(WindowId window, int field, Slice text, int flags) override;
  Slice FieldControlText(WindowId window, int field) override;
  Status FocusField(WindowId window, int field, bool select_all) override;
  Status EnableField(WindowId window, int field, bool enabled) override;
  Status ShowField(WindowId window, int field, bool visible) override;
  Status SetStatusLine(WindowId window, Slice text) override;
  WindowId OpenWindow(const WindowRequest& request, Status* status) override;
  Status RunWindow(WindowId window) override;
  Status CloseWindow(WindowId window, Status result) override;
  void CloseAllWindows() override;
  int WindowCount() override { return static_cast<int>(open.size()); }
  WindowActionFn WindowAction(WindowId window, void** context) override;
  Status CreateButton(WindowId window, const ButtonSpec& spec) override;
  bool HasControl(WindowId window, int id) override;
  Status SetControlText(WindowId window, int id, Slice text) override;
  int ListViewCreate(WindowId window, const ListViewSpec& spec) override;
  Status ListViewAddColumn(int view, Slice title, int width, char type) override;
  Status ListViewSetItem(int view, int row, int column, Slice text) override;
  Slice ListViewItem(int view, int row, int column) override;
  int ListViewRowCount(int view) override;
  Status ListViewClear(int view) override;
  int ListViewSelected(int view) override;
  Status ListViewSelect(int view, int row, bool selected) override;
  Status ListViewShow(int view) override;
  void ListViewDestroy(int view) override;
  int ComboCreate(WindowId window, const ComboSpec& spec) override;
  int ComboSelection(int combo) override;
  Status ComboSelect(int combo, int item) override;
  void ComboDestroy(int combo) override;
  Status ShowPicture(WindowId window, Slice file) override;

  // Sends an action to a window as its controls would: to the request's
  // handler, or to the screen shown in the window (the field left with a
  // navigation key in `_LASTKEY` read back from what was typed first). A
  // result below 128 with bit 8 closes the window, as does the end of the
  // screen (64). 163 for a window that is not open.
  Status Dispatch(WindowId window, int action);

  struct OpenWindowState {
    WindowRequest request;
    std::string title;
    bool closed = false;
    Status result;
  };
  std::map<WindowId, OpenWindowState> open;
  std::vector<WindowId> order;  // bottom first
  WindowId next_window = 2;  // 1 stands for the window a test starts with
  // Called by RunWindow with the window being run.
  std::function<void(RecordingWindowLayer&, WindowId)> on_run;
  // Controls by (window, identifier) other than field controls: buttons.
  std::map<std::pair<WindowId, int>, std::string> control_texts;
  struct ListView {
    WindowId window = kNoWindow;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    int selected = -1;
  };
  std::map<int, ListView> list_views;
  struct Combo {
    WindowId window = kNoWindow;
    std::vector<std::string> items;
    int selected = -1;
  };
  std::map<int, Combo> combos;

  // What the control of `field` in `window` shows; "" when it was never set.
  std::string Text(WindowId window, int field) const;
  // The label drawn at (row, column) of `window`; "" when none.
  std::string Label(WindowId window, int row, int column) const;
  // The calls whose line begins with `prefix`.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  // What the user types into a control, to be read back by the window.
  void Type(WindowId window, int field, const std::string& text) {
    field_texts[{window, field}] = text;
  }
  void Clear();

 private:
  WindowId first_top_ = kNoWindow;
};

}  // namespace tessaly
