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
#pragma once

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
};

}  // namespace tessaly
