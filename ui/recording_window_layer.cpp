#include "ui/recording_window_layer.h"

#include "core/string_area.h"

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
}

}  // namespace tessaly
