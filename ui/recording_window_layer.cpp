#include "ui/recording_window_layer.h"

#include <algorithm>
#include <iterator>

#include "core/flags.h"
#include "core/string_area.h"
#include "core/text.h"
#include "ui/screen.h"

namespace tessaly {

namespace {
std::string Cell(int row, int column) {
  return std::to_string(row) + "," + std::to_string(column);
}
}  // namespace

Status RecordingWindowLayer::SetWindowTitle(WindowId window, Slice title) {
  titles[window] = title.str();
  calls.push_back("title " + std::to_string(window) + " " + title.str());
  return Status::kOk;
}

Status RecordingWindowLayer::StaticText(WindowId window, int row, int column, Slice text) {
  labels[{window, Cell(row, column)}] = text.str();
  calls.push_back("label " + std::to_string(window) + " " + Cell(row, column) + " " + text.str());
  return Status::kOk;
}

Status RecordingWindowLayer::CreateFieldControl(WindowId window, const FieldControlSpec& spec) {
  if (spec.field == failing_field) return Status::kWindowsControlError;
  controls[{window, spec.field}] = spec;
  std::string flags;
  if (spec.read_only) flags += 'r';
  if (spec.password) flags += 'p';
  if (spec.right_aligned) flags += 'a';
  if (spec.check_box) flags += 'c';
  if (spec.grid) flags += 'g';
  calls.push_back("control " + std::to_string(window) + " " + std::to_string(spec.field) + " " +
                  Cell(spec.row, spec.column) + " " + std::to_string(spec.shown_width) + "/" +
                  std::to_string(spec.display_width) + " " + std::string(1, spec.type) +
                  (flags.empty() ? "" : " " + flags));
  return Status::kOk;
}

Status RecordingWindowLayer::SetFieldText(WindowId window, int field, Slice text, int flags) {
  if (field == failing_field) return Status::kWindowsControlError;
  field_texts[{window, field}] = text.str();
  calls.push_back(std::string((flags & kFieldTextCheckBox) != 0 ? "check " : "text ") +
                  std::to_string(window) + " " + std::to_string(field) + " " + text.str());
  return Status::kOk;
}

Slice RecordingWindowLayer::FieldControlText(WindowId window, int field) {
  auto it = field_texts.find({window, field});
  if (it == field_texts.end()) return Slice();
  return Area().Push(Slice::Of(it->second));
}

Status RecordingWindowLayer::FocusField(WindowId window, int field, bool) {
  focus_window = window;
  focus_field = field;
  calls.push_back("focus " + std::to_string(window) + " " + std::to_string(field));
  return Status::kOk;
}

Status RecordingWindowLayer::EnableField(WindowId window, int field, bool enabled) {
  calls.push_back("enable " + std::to_string(window) + " " + std::to_string(field) +
                  (enabled ? " 1" : " 0"));
  return Status::kOk;
}

Status RecordingWindowLayer::ShowField(WindowId window, int field, bool visible) {
  calls.push_back("show " + std::to_string(window) + " " + std::to_string(field) +
                  (visible ? " 1" : " 0"));
  return Status::kOk;
}

Status RecordingWindowLayer::SetStatusLine(WindowId window, Slice text) {
  status_lines[window] = text.str();
  calls.push_back("status " + std::to_string(window) + " " + text.str());
  return Status::kOk;
}

WindowId RecordingWindowLayer::OpenWindow(const WindowRequest& request, Status* status) {
  if (request.kind < 0 || request.kind >= kWindowKindCount) {
    *status = Status::kBadInputData;
    return kNoWindow;
  }
  if (open.size() >= 32) {
    *status = Status::kWindowsControlError;
    return kNoWindow;
  }
  if (open.empty()) first_top_ = top;
  WindowId w = next_window++;
  OpenWindowState& st = open[w];
  st.request = request;
  st.title = request.title.str();
  st.request.title = Slice();
  order.push_back(w);
  top = w;
  *status = Status::kOk;
  calls.push_back("open " + std::to_string(w) + " " + std::to_string(request.kind) + " " +
                  Cell(request.columns, request.rows) + " " + st.title);
  return w;
}

Status RecordingWindowLayer::RunWindow(WindowId window) {
  auto it = open.find(window);
  if (it == open.end()) return Status::kBadInputData;
  calls.push_back("run " + std::to_string(window));
  if (on_run) on_run(*this, window);
  it = open.find(window);
  if (it == open.end()) return Status::kBadInputData;
  if (!it->second.closed) return Status::kScreenEnviron;
  Status result = it->second.result;
  open.erase(it);
  return result;
}

Status RecordingWindowLayer::CloseWindow(WindowId window, Status result) {
  auto it = open.find(window);
  if (it == open.end() || it->second.closed) return Status::kBadInputData;
  it->second.closed = true;
  it->second.result = result;
  calls.push_back("close " + std::to_string(window) + " " + std::to_string(result.code()));
  std::erase(order, window);
  top = order.empty() ? first_top_ : order.back();
  return Status::kOk;
}

void RecordingWindowLayer::CloseAllWindows() {
  while (!order.empty()) (void)CloseWindow(order.back(), Status::kOk);
}

WindowActionFn RecordingWindowLayer::WindowAction(WindowId window, void** context) {
  auto it = open.find(window);
  if (it == open.end()) {
    *context = nullptr;
    return nullptr;
  }
  *context = it->second.request.context;
  return it->second.request.action;
}

Status RecordingWindowLayer::Dispatch(WindowId window, int action) {
  auto it = open.find(window);
  if (it == open.end() || it->second.closed) return Status::kBadInputData;
  Status result;
  if (it->second.request.action != nullptr) {
    result = it->second.request.action(it->second.request.context, window, action);
  } else {
    // As a window does for the screen shown in it: the field the user left
    // with a navigation key is read back first.
    int instance = -1;
    for (int n = ScreenInstanceCount() - 1; n >= 0 && instance < 0; --n) {
      if (ScreenInstanceAt(n)->window == window) instance = n;
    }
    if (instance < 0) return Status::kBadInputData;
    if (ScreenCurrentNumber() != instance) (void)ScreenSwitchTo(instance);
    int field = ScreenInstanceAt(instance)->current_field;
    int key = Word(kLastKey);
    constexpr int kNavigationKeys[] = {0, 8, 9, 19, 22, 23, 28, 29, 32};
    if (field > 0 && std::find(std::begin(kNavigationKeys), std::end(kNavigationKeys), key) !=
                         std::end(kNavigationKeys)) {
      AreaMark mark;
      Status read = ScreenSetField(kMaskTypedFiles, field, FieldControlText(window, field));
      if (read.code() >= 128) return mark.Release(read);
    }
    result = ScreenDispatch(action);
    if (result == Status(64)) {
      (void)CloseWindow(window, result);
      return result;
    }
  }
  auto now = open.find(window);
  if (now != open.end() && !now->second.closed && result.code() < 128 &&
      (result.code() & 8) != 0) {
    (void)CloseWindow(window, Status(static_cast<uint16_t>(result.code() & ~(4 | 8 | 16))));
  }
  return result;
}

Status RecordingWindowLayer::CreateButton(WindowId window, const ButtonSpec& spec) {
  control_texts[{window, spec.id}] = spec.text;
  calls.push_back("button " + std::to_string(window) + " " + std::to_string(spec.id) + " " +
                  Cell(spec.row, spec.column) + " " + std::to_string(spec.width) + " " +
                  spec.text + (spec.half_up ? " ^" : ""));
  return Status::kOk;
}

bool RecordingWindowLayer::HasControl(WindowId window, int id) {
  if (control_texts.count({window, id}) != 0) return true;
  return controls.count({window, id - 1999}) != 0;
}

Status RecordingWindowLayer::SetControlText(WindowId window, int id, Slice text) {
  auto it = control_texts.find({window, id});
  if (it == control_texts.end()) return Status::kWindowsControlError;
  it->second = text.str();
  return Status::kOk;
}

int RecordingWindowLayer::ListViewCreate(WindowId window, const ListViewSpec& spec) {
  for (int v = 0; v < 4; ++v) {
    if (list_views.count(v) != 0) continue;
    list_views[v].window = window;
    calls.push_back("listview " + std::to_string(v) + " " + std::to_string(window) + " " +
                    Cell(spec.row, spec.column) + " " + Cell(spec.columns, spec.rows));
    return v;
  }
  return -1;
}

Status RecordingWindowLayer::ListViewAddColumn(int view, Slice title, int, char) {
  auto it = list_views.find(view);
  if (it == list_views.end()) return Status::kWindowsControlError;
  it->second.columns.push_back(title.str());
  return Status::kOk;
}

Status RecordingWindowLayer::ListViewSetItem(int view, int row, int column, Slice text) {
  auto it = list_views.find(view);
  if (it == list_views.end() || row < 0 || column < 0) return Status::kWindowsControlError;
  auto& rows = it->second.rows;
  if (static_cast<int>(rows.size()) <= row) rows.resize(static_cast<size_t>(row) + 1);
  auto& cells = rows[static_cast<size_t>(row)];
  if (static_cast<int>(cells.size()) <= column) cells.resize(static_cast<size_t>(column) + 1);
  cells[static_cast<size_t>(column)] = text.str();
  return Status::kOk;
}

Slice RecordingWindowLayer::ListViewItem(int view, int row, int column) {
  auto it = list_views.find(view);
  if (it == list_views.end() || row < 0 || row >= static_cast<int>(it->second.rows.size())) {
    return Slice();
  }
  const auto& cells = it->second.rows[static_cast<size_t>(row)];
  if (column < 0 || column >= static_cast<int>(cells.size())) return Slice();
  return Area().Push(Slice::Of(cells[static_cast<size_t>(column)]));
}

int RecordingWindowLayer::ListViewRowCount(int view) {
  auto it = list_views.find(view);
  return it == list_views.end() ? 0 : static_cast<int>(it->second.rows.size());
}

Status RecordingWindowLayer::ListViewClear(int view) {
  auto it = list_views.find(view);
  if (it == list_views.end()) return Status::kWindowsControlError;
  it->second.rows.clear();
  it->second.selected = -1;
  return Status::kOk;
}

int RecordingWindowLayer::ListViewSelected(int view) {
  auto it = list_views.find(view);
  return it == list_views.end() ? -1 : it->second.selected;
}

Status RecordingWindowLayer::ListViewSelect(int view, int row, bool selected) {
  auto it = list_views.find(view);
  if (it == list_views.end()) return Status::kWindowsControlError;
  if (selected) {
    if (row < 0 || row >= static_cast<int>(it->second.rows.size())) {
      return Status::kWindowsControlError;
    }
    it->second.selected = row;
  } else if (it->second.selected == row) {
    it->second.selected = -1;
  }
  return Status::kOk;
}

Status RecordingWindowLayer::ListViewShow(int view) {
  return list_views.count(view) != 0 ? Status::kOk : Status::kWindowsControlError;
}

void RecordingWindowLayer::ListViewDestroy(int view) {
  if (view < 0) {
    list_views.clear();
  } else {
    list_views.erase(view);
  }
}

int RecordingWindowLayer::ComboCreate(WindowId window, const ComboSpec& spec) {
  for (int k = 0; k < 80; ++k) {
    if (combos.count(k) != 0) continue;
    Combo& c = combos[k];
    c.window = window;
    std::string item;
    for (size_t i = 0; i <= spec.list.size(); ++i) {
      if (i == spec.list.size() || spec.list[i] == ',') {
        c.items.push_back(Trim(Slice::Of(item)).str());
        item.clear();
      } else {
        item += spec.list[i];
      }
    }
    calls.push_back("combo " + std::to_string(k) + " " + std::to_string(window) + " " +
                    Cell(spec.row, spec.column) + " " + spec.list);
    return k;
  }
  return -1;
}

int RecordingWindowLayer::ComboSelection(int combo) {
  auto it = combos.find(combo);
  return it == combos.end() ? -1 : it->second.selected;
}

Status RecordingWindowLayer::ComboSelect(int combo, int item) {
  auto it = combos.find(combo);
  if (it == combos.end() || item < -1 || item >= static_cast<int>(it->second.items.size())) {
    return Status::kWindowsControlError;
  }
  it->second.selected = item;
  return Status::kOk;
}

void RecordingWindowLayer::ComboDestroy(int combo) {
  if (combo < 0) {
    combos.clear();
  } else {
    combos.erase(combo);
  }
}

Status RecordingWindowLayer::ShowPicture(WindowId window, Slice file) {
  calls.push_back("picture " + std::to_string(window) + " " + file.str());
  return Status::kOk;
}

std::string RecordingWindowLayer::Text(WindowId window, int field) const {
  auto it = field_texts.find({window, field});
  return it == field_texts.end() ? std::string() : it->second;
}

std::string RecordingWindowLayer::Label(WindowId window, int row, int column) const {
  auto it = labels.find({window, Cell(row, column)});
  return it == labels.end() ? std::string() : it->second;
}

std::vector<std::string> RecordingWindowLayer::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& c : calls) {
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  }
  return out;
}

void RecordingWindowLayer::Clear() {
  calls.clear();
  titles.clear();
  status_lines.clear();
  field_texts.clear();
  controls.clear();
  labels.clear();
  focus_window = kNoWindow;
  focus_field = 0;
  control_texts.clear();
  list_views.clear();
  combos.clear();
}

}  // namespace tessaly
