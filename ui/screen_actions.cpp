// Navigation and actions of a screen: the order in which fields are
// visited, moving the input to a field, the action callbacks and the
// default actions, closing, SCRBACK, and the field controls of a window.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/assertion.h"
#include "core/flags.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/parameters.h"
#include "data/record_ops.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "ui/screen_internal.h"

namespace tessaly {

namespace {

// _SCRSTAT: the walk through the line part wrapped.
constexpr uint16_t kScrStatWrapped = 16;
constexpr uint16_t kAuxCheckBoxes = 16;
constexpr int kWorkTable = 38;

enum Action : int {
  kActNext = 1,
  kActPrevious = 2,
  kActRestoreField = 20,
  kActCancel = 21,
  kActEndOfHeader = 22,
  kActRecordOp = 25,
  kActClose = 28,
  kActRefused = 30,
  kActNextDown = 31,
  kActPreviousUp = 32,
};
constexpr int kConfirmParameter = 100;

// Results of the default actions and the close decision.
constexpr uint16_t kEndOfScreen = 64;
constexpr uint16_t kCloseNow = 4;
constexpr uint16_t kCloseDefault = 24;

// The editable fields in edit order; inside the line part only those whose
// edit order lies in the bounds.
std::vector<int> Candidates(const ScreenDefinition& def, bool line_part) {
  std::vector<int> out;
  for (int i = 1; i <= def.field_count(); ++i) {
    const ScreenField* f = def.field(i);
    if (!f->status.ok() || (f->flags & kFieldEditable) == 0 || f->hidden) continue;
    if (line_part && (f->edit_order < def.bounds_first || f->edit_order > def.bounds_last)) {
      continue;
    }
    out.push_back(i);
  }
  std::stable_sort(out.begin(), out.end(), [&def](int a, int b) {
    return def.field(a)->edit_order < def.field(b)->edit_order;
  });
  return out;
}

// Moves to `target`; a refused move answers 126 (or the check's error) and,
// when asked, dispatches action 30 for the window to report it.
Status MoveToField(int target, bool report_refusal) {
  ScreenInstance* inst = ScreenCurrentInstance();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (inst == nullptr || def == nullptr) return Status::kScreenEnviron;
  if (def->field(target) == nullptr) return screens::MissingStatus(def->load_mode);
  SetWord(kCurEdFld, static_cast<uint16_t>(target));
  int instance = ScreenCurrentNumber();
  int current = inst->current_field;
  if (current != 0 && current < target) {
    const ScreenField* f = def->field(current);
    if (f != nullptr && f->status.ok() && !f->alarm.empty()) {
      Status check = screens::FieldCondition(f->alarm);
      if (check != Status(1)) {
        if (report_refusal) (void)ScreenDispatch(kActRefused);
        return check.is_error() ? check : Status(Status::kBadUserData);
      }
    }
  }
  if (ScreenCurrentNumber() != instance) return Status::kScreenEnviron;
  inst = ScreenCurrentInstance();
  inst->current_field = target;
  inst->window_field = 0;
  if (inst->window != kNoWindow && !def->field(target)->hidden) {
    return Windows().FocusField(inst->window, target, true);
  }
  return Status::kOk;
}

}  // namespace

// ---- Navigation --------------------------------------------------------------------------------

int ScreenNextField(int field, int direction) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return -1;
  bool line_part = def->in_line_part(field);
  std::vector<int> candidates = Candidates(*def, line_part);
  if (candidates.empty()) return -1;
  if (field == 0) return direction >= 0 ? candidates.front() : candidates.back();
  auto at = std::find(candidates.begin(), candidates.end(), field);
  if (at == candidates.end()) return -1;
  int next = static_cast<int>(at - candidates.begin()) + (direction >= 0 ? 1 : -1);
  int count = static_cast<int>(candidates.size());
  if (next < 0 || next >= count) {
    if (!line_part) return -1;
    (void)SetBits(kScrStat, kScrStatWrapped);
    next = next < 0 ? count - 1 : 0;
  }
  return candidates[static_cast<size_t>(next)];
}

Status ScreenMoveTo(int field) { return MoveToField(field, true); }

// ---- Actions -----------------------------------------------------------------------------------

void ScreenActionSet(const ScreenCallbacks& callbacks) {
  ScreenInstance* inst = ScreenCurrentInstance();
  Check(inst != nullptr, "ScreenActionSet");
  if ((inst->state & kStateCallbacksOff) == 0) inst->callbacks = callbacks;
}

Status ScreenDispatch(int action) {
  ScreenInstance* inst = ScreenCurrentInstance();
  if (inst == nullptr) return Status::kScreenEnviron;
  if (inst->callbacks.action == nullptr || (inst->state & kStateCallbacksOff) != 0) {
    // Without a handler nobody would report a refusal made here: the
    // window above reports the 126 it gets back.
    return ScreenDefaultAction(action);
  }
  const ScreenCallbacks callbacks = inst->callbacks;
  const int instance = ScreenCurrentNumber();
  Status result;
  for (;;) {
    ScreenInstance* before = ScreenInstanceAt(instance);
    int mode_before = before != nullptr ? before->mode : 0;
    result = callbacks.action(callbacks.context, action);
    if (result < Status::kUserCanceled) result = Status(result.code() & ~2);
    if (result != Status::kOk || callbacks.field_hook == nullptr) break;
    ScreenInstance* after = ScreenInstanceAt(instance);
    if (after == nullptr) break;
    action = callbacks.field_hook(callbacks.context, mode_before, after->mode, action);
    if (action == -1) break;
  }
  return result;
}

Status ScreenDefaultAction(int action) {
  ScreenInstance* inst = ScreenCurrentInstance();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (inst == nullptr || def == nullptr) return Status::kScreenEnviron;
  int current = inst->current_field;
  switch (action & 0xFF) {
    case kActNext:
    case kActNextDown: {
      int next = ScreenNextField(current, +1);
      if (next != -1) return MoveToField(next, false);
      const ScreenField* last = def->field(current);
      if (last != nullptr && last->status.ok() && !last->alarm.empty()) {
        Status check = screens::FieldCondition(last->alarm);
        if (check != Status(1)) return check.is_error() ? check : Status(Status::kBadUserData);
      }
      return kEndOfScreen;
    }
    case kActPrevious:
    case kActPreviousUp: {
      int previous = ScreenNextField(current, -1);
      return previous == -1 ? Status(Status::kOk) : MoveToField(previous, false);
    }
    case kActRestoreField: {
      const ScreenField* f = def->field(current);
      if (f == nullptr) return Status::kOk;
      if (!f->status.ok()) return f->status;
      AreaMark mark;
      Slice saved = ScreenSavedText(current);
      if (!saved.ok()) return saved.status();
      return ScreenSetField(kMaskTypedFiles, current, screens::DisplayText(*f, saved));
    }
    case kActEndOfHeader: {
      if (inst->mode != kModeLineEditing || !def->has_line_part()) return kEndOfScreen;
      for (int n : Candidates(*def, false)) {
        if (n > def->bounds_last) return MoveToField(n, false);
      }
      return kEndOfScreen;
    }
    default:
      return Status::kBadInputData;
  }
}

// ---- Closing ----------------------------------------------------------------------------------

Status ScreenCloseDecision(int action, Status result, int flags) {
  if (result > Status::kSilent) return result;
  int a = action & 0xFF;
  Status decided = a == kActRecordOp ? result : Status(a == kActClose ? kCloseNow : kCloseDefault);
  if (decided != Status(kCloseNow)) return decided;
  Status restored;
  if ((flags & 16) != 0) restored = OpenSet("RESTORE");
  Status closed = ScreenCloseInstance(-1);
  if (restored.is_error()) return restored;
  if (closed.is_error()) return closed;
  return kCloseNow;
}

Status ScreenCloseAction(int action) {
  ScreenInstance* inst = ScreenCurrentInstance();
  if (inst == nullptr) return Status::kScreenEnviron;
  const int a = action & 0xFF;
  const int parameter = (action >> 8) & 0xFF;
  if (a == kActCancel || a == kActClose) {
    AreaMark mark;
    Slice on_cancel = Trim(ScreenOption(kKwOnCancel));
    if (!on_cancel.ok()) return on_cancel.status();
    if (!on_cancel.empty()) {
      Status s = Evaluate(on_cancel);
      if (s.failed()) return s;
    }
  }
  if (a == kActRecordOp && parameter == kConfirmParameter) {
    SetWord(kLastKey, 0);
    AreaMark mark;
    Slice on_confirm = Trim(ScreenOption(kKwOnConfirm));
    if (!on_confirm.ok()) return on_confirm.status();
    if (!on_confirm.empty()) {
      bool handled = false;
      Status s = ScreenScrback(on_confirm, ScrbackUse::kConfirm, &handled);
      if (!handled) s = EvaluateForErrors(on_confirm);
      if (!s.ok()) return s;
    }
  }
  Status fallback = a == kActClose ? kCloseNow : kCloseDefault;
  inst = ScreenCurrentInstance();
  if (inst != nullptr && inst->callbacks.close != nullptr) {
    return inst->callbacks.close(inst->callbacks.context, a, fallback);
  }
  return fallback;
}

Status ScreenScrback(Slice value, ScrbackUse use, bool* handled) {
  *handled = false;
  if (!value.ok()) return value.status();
  AreaMark mark;
  Slice text = Trim(value);
  constexpr std::string_view kPrefix = "SCRBACK=";
  if (text.view().substr(0, kPrefix.size()) != kPrefix) return Status::kOk;
  *handled = true;
  Slice name = Trim(Substring(text, static_cast<int>(kPrefix.size())));
  ScreenInstance* inst = ScreenCurrentInstance();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (inst == nullptr || def == nullptr) return Status::kScreenEnviron;
  if (name.empty()) return SetDetail(Status::kBadInputData, text);
  const auto length = static_cast<uint16_t>(def->data_length);
  if (use == ScrbackUse::kConfirm) {
    Status s = AssignText(name, Slice(inst->buffer, length));
    return s.failed() ? s : Status(Status::kOk);
  }
  Status s = ReadVariable(name);
  if (s.failed()) return s;
  Slice saved = Area().Top();
  if (s == Status(kTextValue) && saved.size() <= length) {
    std::memcpy(inst->saved, saved.data(), saved.size());
  }
  return Status::kOk;
}

// ---- Field controls ----------------------------------------------------------------------------

Status ScreenSetWin(int flags) {
  const ScreenDefinition* current = ScreenCurrentDefinition();
  Check(current != nullptr, "ScreenSetWin");
  ScreenDefinition* def = screens::MutableDefinition(current->number);
  def->window_flags = flags;
  if ((flags & 1) != 0) {
    strtab::Clear(kWorkTable);
    return Status::kOk;
  }
  const ScreenInstance* inst = ScreenCurrentInstance();
  if (inst->window == kNoWindow) return Status::kOk;
  const bool check_boxes = TestBits(kAuxStat, kAuxCheckBoxes);
  for (int i = 1; i <= def->field_count(); ++i) {
    const ScreenField& f = *def->field(i);
    if (!f.status.ok() || f.hidden || def->in_line_part(i)) continue;
    FieldControlSpec spec;
    spec.field = i;
    spec.row = f.row;
    spec.column = f.column;
    spec.shown_width = f.shown_width;
    spec.display_width = f.display_width;
    spec.type = f.type;
    spec.read_only = (f.flags & kFieldEditable) == 0 || i == def->first_field;
    spec.password = f.type == 'P';
    spec.right_aligned = std::string_view("NL123456789").find(f.type) != std::string_view::npos;
    spec.check_box = f.type == 'L' && check_boxes;
    Status s = Windows().CreateFieldControl(inst->window, spec);
    if (!s.ok()) return s;
  }
  return Status::kOk;
}

}  // namespace tessaly
