// Selection windows over the window layer.

#include "ui/choose.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "ui/window_layer.h"

namespace tessaly {
namespace {

constexpr int kConfirm = 25 | (100 << 8);       // "Ok", a double click (3100)
constexpr int kSecondButton = 25 | (101 << 8);  // "Cancel" (3101)
constexpr int kListConfirmed = 94;              // Enter on the selected row
constexpr int kCancel = 21;                     // Esc
constexpr int kCloseRequest = 28;               // the window's close box
constexpr int kCancelMessage = 20;              // "Cancel"

// Rows of the list shown at once; longer lists scroll.
constexpr int kVisibleRows = 16;
// The narrowest window still holds both buttons.
constexpr int kMinColumns = 30;
constexpr int kMaxColumns = 76;
constexpr int kMarkColumns = 3;

struct Selection {
  int view = -1;
  bool several = false;
  std::vector<bool> marked;
  std::vector<int> picked;  // 0-based rows, ascending
};

void ToggleMark(Selection* s, int row) {
  if (row < 0 || row >= static_cast<int>(s->marked.size())) return;
  bool now = !s->marked[static_cast<size_t>(row)];
  s->marked[static_cast<size_t>(row)] = now;
  (void)Windows().ListViewSetItem(s->view, row, 0, now ? Slice("X") : Slice(""));
}

Status SelectionAction(void* context, WindowId window, int action) {
  auto* s = static_cast<Selection*>(context);
  int low = action & 0xff;
  int row = Windows().ListViewSelected(s->view);
  if (s->several && low == kListConfirmed) {
    ToggleMark(s, row);
    return Status::kOk;
  }
  if (action == kConfirm || low == kListConfirmed) {
    s->picked.clear();
    if (s->several) {
      for (size_t i = 0; i < s->marked.size(); ++i) {
        if (s->marked[i]) s->picked.push_back(static_cast<int>(i));
      }
    }
    if (s->picked.empty()) {
      // Nothing selected yet: the window stays for the user to pick.
      if (row < 0) return Status::kOk;
      s->picked.push_back(row);
    }
    (void)Windows().CloseWindow(window, Status::kOk);
    return Status::kOk;
  }
  if (action == kSecondButton || low == kCancel || low == kCloseRequest) {
    s->picked.clear();
    (void)Windows().CloseWindow(window, Status::kUserCanceled);
  }
  return Status::kOk;
}

// Runs the window; false when none could be opened.
bool RunSelection(Slice title, Slice items, Selection* s) {
  AreaMark mark;
  std::vector<Slice> list = Split(items, ',');
  int longest = 0;
  for (Slice& item : list) {
    item = Trim(item);
    longest = std::max(longest, static_cast<int>(item.size()));
  }
  int mark_columns = s->several ? kMarkColumns : 0;
  int list_columns =
      std::clamp(std::max<int>(longest + 2, title.ok() ? title.size() : 0) + mark_columns,
                 kMinColumns - 2, kMaxColumns - 2);
  int shown = std::clamp(static_cast<int>(list.size()), 3, kVisibleRows);
  int list_rows = shown + 2;  // the header and the frame

  WindowRequest request;
  request.kind = 4;
  request.title = title;
  request.columns = list_columns + 2;
  request.rows = list_rows + 2;  // the buttons below the list
  request.action = &SelectionAction;
  request.context = s;
  Status status;
  WindowId window = Windows().OpenWindow(request, &status);
  if (window == kNoWindow) return false;

  ListViewSpec spec;
  spec.row = 1;
  spec.column = 1;
  spec.columns = list_columns;
  spec.rows = list_rows;
  s->view = Windows().ListViewCreate(window, spec);
  if (s->view < 0) {
    (void)Windows().CloseWindow(window, Status::kWindowsControlError);
    return false;
  }
  if (s->several) (void)Windows().ListViewAddColumn(s->view, Slice(""), kMarkColumns, 'A');
  (void)Windows().ListViewAddColumn(s->view, title, list_columns - mark_columns - 1, 'A');
  int text_column = s->several ? 1 : 0;
  s->marked.assign(list.size(), false);
  for (size_t i = 0; i < list.size(); ++i) {
    int row = static_cast<int>(i);
    if (s->several) (void)Windows().ListViewSetItem(s->view, row, 0, Slice(""));
    (void)Windows().ListViewSetItem(s->view, row, text_column, list[i]);
  }
  (void)Windows().ListViewSelect(s->view, 0, true);

  ButtonSpec ok;
  ok.id = 3100;
  ok.text = "Ok";
  ok.row = -1;
  ok.column = -14;
  ok.half_up = true;
  (void)Windows().CreateButton(window, ok);
  ButtonSpec cancel;
  cancel.id = 3101;
  cancel.text = Message(kCancelMessage).str();
  cancel.row = -1;
  cancel.column = -28;
  cancel.half_up = true;
  (void)Windows().CreateButton(window, cancel);
  (void)Windows().ListViewShow(s->view);

  (void)Windows().RunWindow(window);
  Windows().ListViewDestroy(s->view);
  return true;
}

}  // namespace

int ChooseItem(Slice title, Slice items) {
  if (items.empty()) return 0;
  Selection s;
  if (!RunSelection(title, items, &s)) return -1;
  return s.picked.empty() ? 0 : s.picked.front() + 1;
}

Slice ChooseItems(Slice title, Slice items) {
  if (items.empty()) return Area().Push(Slice(""));
  Selection s;
  s.several = true;
  if (!RunSelection(title, items, &s)) {
    return Slice::Error(SetDetail(Status::kFeatureRemoved, "selection window"));
  }
  std::string numbers;
  for (int row : s.picked) numbers += (numbers.empty() ? "" : ",") + std::to_string(row + 1);
  return Area().Push(Slice::Of(numbers));
}

}  // namespace tessaly
