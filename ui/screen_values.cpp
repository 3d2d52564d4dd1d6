// The values of a screen's fields: reading the buffers, computing a field
// from its file or expression, setting it (conversion, control, buffer,
// record, dependants), refreshing, selecting fields, and the screen-field
// handler through which expressions read and assign fields by name.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/messages.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/definitions.h"
#include "data/masks.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/scanner.h"
#include "expr/variables.h"
#include "ui/screen_internal.h"

namespace tessaly {

namespace {

// _AUXSTAT: logical fields are check boxes.
constexpr uint16_t kAuxCheckBoxes = 16;
constexpr char kNumericLetters[] = "NL123456789";

bool IsNumericLetter(char type) {
  return std::string_view(kNumericLetters).find(type) != std::string_view::npos;
}

struct Target {
  int instance = -1;
  ScreenInstance* inst = nullptr;
  const ScreenDefinition* def = nullptr;
  const ScreenField* field = nullptr;
};

// Field n of the current screen: 143 without a screen, 168 (124 under load
// mode bit 2) outside it, the field's own status when it is unusable.
Status Resolve(int n, Target* t) {
  t->instance = ScreenCurrentNumber();
  t->inst = ScreenCurrentInstance();
  t->def = ScreenCurrentDefinition();
  if (t->inst == nullptr || t->def == nullptr) return Status::kScreenEnviron;
  t->field = t->def->field(n);
  if (t->field == nullptr) return screens::MissingStatus(t->def->load_mode);
  return t->field->status;
}

Slice BufferText(const char* buffer, const ScreenField& f) {
  return Slice(buffer + f.offset, static_cast<uint16_t>(f.storage_width));
}

// Message 0017 with the field number and what was computed, appended to the
// error detail.
void AddBadParams(int n, Slice text) {
  AreaMark mark;
  Slice format = Message(17);
  Slice message = FormatMessage(kMessageLimit, format, n, text);
  if (!message.ok()) message = FormatMessage(kMessageLimit, format, n, Substring(text, 0, 200));
  if (message.ok()) (void)SetDetail(Status::kOk, message, true);
}

// What was typed or computed, in the field's stored form.
Slice StoredForm(const ScreenField& f, Slice text) {
  if (f.type == 'L') {
    // A computed logical arrives stored already ("0", "1" or blank).
    Slice t = Trim(text);
    if (t.empty() || t == Slice("0") || t == Slice("1")) return t;
  }
  return ParseValue(f.type, text, f.display_width);
}

Status RefreshOne(uint16_t mask, int n) {
  AreaMark mark;
  Slice value = ScreenComputeField(mask, n);
  if (!value.ok()) return value.status();
  return ScreenSetField(mask, n, value);
}

bool Usable(const ScreenDefinition& def, int n) {
  const ScreenField* f = def.field(n);
  return f != nullptr && f->status.ok();
}

}  // namespace

namespace screens {

Slice DisplayText(const ScreenField& field, Slice stored) {
  AreaMark mark;
  Slice shown = FormatValue(field.type, stored, field.display_width);
  if (!shown.ok()) shown = stored;
  return mark.Keep(IsNumericLetter(field.type) ? Trim(shown) : Trim(shown, kTrimRight));
}

Status FieldCondition(const std::string& item) {
  if (TrimView(item).empty()) return Status(1);
  AreaMark mark;
  Slice expanded = BracketExpand(Slice::Of(item), 0);
  if (!expanded.ok()) return expanded.status();
  return Condition(expanded);
}

void AppendNamedFields(const ScreenDefinition& definition, Slice names, std::vector<int>* out) {
  AreaMark mark;
  std::string list = Unquote(Trim(names)).str();
  std::replace(list.begin(), list.end(), ';', ',');
  for (const std::string& item : SplitOutside(list, ',')) {
    std::string_view name = TrimView(item);
    if (name.empty()) continue;
    for (int i = 1; i <= definition.field_count(); ++i) {
      if (definition.fields[static_cast<size_t>(i - 1)].name == name) {
        out->push_back(i);
        break;
      }
    }
  }
}

}  // namespace screens

// ---- Reading ---------------------------------------------------------------------------------

Slice ScreenFieldText(int field) {
  Target t;
  Status s = Resolve(field, &t);
  if (!s.ok()) return Slice::Error(s);
  return BufferText(t.inst->buffer, *t.field);
}

Slice ScreenSavedText(int field) {
  Target t;
  Status s = Resolve(field, &t);
  if (!s.ok()) return Slice::Error(s);
  return BufferText(t.inst->saved, *t.field);
}

// ---- Computing -------------------------------------------------------------------------------

Slice ScreenComputeField(uint16_t mask, int n) {
  Target t;
  Status s = Resolve(n, &t);
  if (!s.ok()) return Slice::Error(s);
  const ScreenField& f = *t.field;
  if (mask == 0) return BufferText(t.inst->buffer, f);
  if ((mask & kMaskSaved) != 0) return BufferText(t.inst->saved, f);

  AreaMark mark;
  const int current = SignedWord(kCurFil);
  bool from_file = ((mask & kMaskFiles) != 0 && (f.flags & kFieldFile) != 0 && f.file == current) ||
                   ((mask & kMaskClear) == 0 && f.file != 0 && f.file != current);
  if (from_file) {
    Slice value = FieldFetch(f.file, f.file_field);
    if (value.ok()) value = FormatValue(f.type, value, f.display_width);
    if (!value.ok()) {
      AddBadParams(n, Slice::Of(f.name));
      return mark.Keep(value);
    }
    return mark.Keep(value);
  }
  if ((mask & kMaskAssign) != 0 && (f.flags & kFieldComputed) != 0) {
    Slice expanded = BracketExpand(Slice::Of(f.assign), 0);
    Slice value = expanded.ok() ? EvaluateToText(expanded) : expanded;
    if (!value.ok()) AddBadParams(n, Slice::Of(f.assign));
    return mark.Keep(value);
  }
  if ((mask & kMaskClear) != 0) return Slice();
  return BufferText(t.inst->buffer, f);
}

// ---- Setting ---------------------------------------------------------------------------------

Status ScreenSetField(uint16_t mask, int n, Slice text) {
  if (!text.ok()) return text.status();
  Target t;
  Status s = Resolve(n, &t);
  if (!s.ok()) return s;
  AreaMark mark;
  const ScreenField f = *t.field;  // the definition may not outlive the window calls

  bool unconverted = (mask & kMaskClear) != 0 && (f.flags & kFieldClear) != 0;
  Slice value = unconverted ? text : StoredForm(f, text);
  if (!value.ok()) return value.status();
  if (f.type != 'F') value = Trim(value);
  Slice stored = unconverted ? FitValue('A', value, f.storage_width)
                             : StoreValue(f.type, value, f.storage_width);
  if (!stored.ok()) return stored.status();

  if (!f.hidden && t.inst->window != kNoWindow) {
    bool check_box = f.type == 'L' && TestBits(kAuxStat, kAuxCheckBoxes);
    Slice shown;
    if (check_box) {
      shown = Trim(stored).empty() ? Slice("0") : Trim(stored);
    } else {
      shown = screens::DisplayText(f, stored);
    }
    s = Windows().SetFieldText(t.inst->window, n, shown, check_box ? kFieldTextCheckBox : 0);
    if (!s.ok()) return s;
    // The window may have done anything meanwhile: find the instance again.
    if (ScreenCurrentNumber() != t.instance) return Status::kScreenEnviron;
    t.inst = ScreenCurrentInstance();
  }

  char* at = t.inst->buffer + f.offset;
  if ((mask & kMaskForce) == 0 && BufferText(t.inst->buffer, f) == stored) return Status::kOk;
  std::memmove(at, stored.data(), std::min<size_t>(stored.size(), f.storage_width));

  if ((mask & f.flags & kMaskRecord) != 0) {
    s = FieldStore(f.file, f.file_field, stored);
    if (!s.ok()) return s;
  }
  if ((mask & f.flags & (kMaskUpdateList | kMaskPerform)) != 0) {
    return ScreenRunDependants(mask, n);
  }
  return Status::kOk;
}

// ---- Refreshing and dependants -----------------------------------------------------------------

Status ScreenRefreshFields(uint16_t mask, const std::vector<int>& fields) {
  for (int n : fields) {
    const ScreenDefinition* def = ScreenCurrentDefinition();
    if (def == nullptr) return Status::kScreenEnviron;
    if (def->field(n) != nullptr && !Usable(*def, n)) continue;
    Status s = RefreshOne(mask, n);
    if (s.failed()) return s;
  }
  return Status::kOk;
}

Status ScreenRefreshRange(uint16_t mask, int first, int last) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return Status::kScreenEnviron;
  if (first < 1) first = 1;
  if (last < 0 || last > def->field_count()) last = def->field_count();
  std::vector<int> fields;
  for (int n = first; n <= last; ++n) {
    const ScreenField* f = def->field(n);
    if (f->status.ok() && (f->flags & mask) != 0) fields.push_back(n);
  }
  return ScreenRefreshFields(mask, fields);
}

Status ScreenRunDependants(uint16_t mask, int n) {
  Target t;
  Status s = Resolve(n, &t);
  if (!s.ok()) return s;
  const std::string alarm = t.field->alarm;
  const std::string perform = t.field->perform;
  const std::string updates = t.field->update_list;

  if (!alarm.empty()) {
    AreaMark mark;
    Slice expanded = BracketExpand(Slice::Of(alarm), 0);
    s = expanded.ok() ? Evaluate(expanded) : expanded.status();
    if (s.is_error()) return s;
  }

  if ((mask & kMaskPerform) != 0 && !perform.empty()) {
    std::vector<int> fields;
    screens::AppendNamedFields(*t.def, Slice::Of(perform), &fields);
    s = ScreenRefreshFields(mask & ~kMaskPerform, fields);
    if (s.failed()) return s;
  }

  // The closure of the update lists, each field once.
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return Status::kScreenEnviron;
  std::vector<int> closure;
  if ((mask & kMaskForce) != 0) {
    for (int i = 1; i <= def->field_count(); ++i) {
      if ((def->field(i)->flags & kFieldFile) != 0) closure.push_back(i);
    }
  }
  if ((mask & kMaskUpdateList) != 0 && !updates.empty()) {
    std::vector<int> named;
    screens::AppendNamedFields(*def, Slice::Of(updates), &named);
    for (int i : named) {
      if (std::find(closure.begin(), closure.end(), i) == closure.end()) closure.push_back(i);
    }
  }
  if (closure.empty()) return Status::kOk;
  for (size_t k = 0; k < closure.size(); ++k) {
    const ScreenField* g = def->field(closure[k]);
    if (g->update_list.empty()) continue;
    std::vector<int> named;
    screens::AppendNamedFields(*def, Slice::Of(g->update_list), &named);
    for (int i : named) {
      if (std::find(closure.begin(), closure.end(), i) == closure.end()) closure.push_back(i);
    }
  }
  return ScreenRefreshFields(mask & ~(kMaskFiles | kMaskUpdateList | kMaskPerform), closure);
}

// ---- Fields by name and selections -------------------------------------------------------------

int ScreenFieldByName(Slice name) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr || !name.ok() || name.empty()) return 0;
  std::string_view wanted = name.view();
  for (int i = 0; i < def->field_count(); ++i) {
    if (def->fields[static_cast<size_t>(i)].name == wanted) return i + 1;
  }
  return 0;
}

std::vector<int> ScreenFieldsByNames(Slice names) {
  std::vector<int> out;
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def != nullptr && names.ok()) screens::AppendNamedFields(*def, names, &out);
  return out;
}

std::vector<int> ScreenSelectFields(uint16_t mask, int first, int last) {
  std::vector<int> out;
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return out;
  if ((mask & kFieldEditable) != 0) {
    int high = last < 0 ? kHiddenEditOrder - 1 : last;
    for (int i = 1; i <= def->field_count(); ++i) {
      const ScreenField* f = def->field(i);
      if (f->status.ok() && (f->flags & mask) != 0 && f->edit_order >= first &&
          f->edit_order <= high) {
        out.push_back(i);
      }
    }
    std::stable_sort(out.begin(), out.end(), [def](int a, int b) {
      return def->field(a)->edit_order < def->field(b)->edit_order;
    });
    return out;
  }
  if (first < 1) first = 1;
  if (last < 0 || last > def->field_count()) last = def->field_count();
  for (int i = first; i <= last; ++i) {
    const ScreenField* f = def->field(i);
    if (f->status.ok() && (mask == 0 || (f->flags & mask) != 0)) out.push_back(i);
  }
  return out;
}

Slice ScreenFilledCondition(Slice terms, int op) {
  if (!terms.ok()) return terms;
  AreaMark mark;
  Slice joiner = OperatorText(op);
  const ScreenDefinition* def = ScreenCurrentDefinition();
  const ScreenInstance* inst = ScreenCurrentInstance();
  std::string result;
  int position = 0;
  for (Slice term : Split(terms, ',')) {
    ++position;
    if (def != nullptr && inst != nullptr && position <= def->field_count()) {
      const ScreenField* f = def->field(position);
      if (!f->status.ok() || Trim(BufferText(inst->buffer, *f)).empty()) continue;
    }
    Slice expanded = BracketExpand(term, 0);
    if (!expanded.ok()) return mark.Keep(expanded);
    if (!result.empty()) result += joiner.view();
    result += expanded.view();
    if (result.size() > kMaxTextLength) return mark.Keep(Slice::Error(Status::kStringTooLong));
  }
  return mark.Keep(Slice::Of(result));
}

// ---- The screen-field handler ------------------------------------------------------------------

Slice ScreenFieldHook(int request, Slice argument, void* object) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ScreenInstance* inst = ScreenCurrentInstance();
  if (def == nullptr || inst == nullptr || !argument.ok() || argument.empty()) {
    return Slice::Error(Status::kBadInputData);
  }
  int n = 0;
  if (FindChar(argument, ',', true) == kNotFound) {
    n = ScreenFieldByName(argument);
  } else {
    for (Slice item : Split(argument, ',')) {
      n = ScreenFieldByName(Trim(item));
      if (n != 0) break;
    }
  }
  if (n == 0) return Slice::Error(Status::kBadInputData);
  const ScreenField& f = *def->field(n);
  if (!f.status.ok()) return Slice::Error(f.status);

  switch (request) {
    case kScreenFieldRead:
    case kScreenFieldReadSaved: {
      Slice text = BufferText(request == kScreenFieldRead ? inst->buffer : inst->saved, f);
      if (f.type == 'L' && (text.empty() || text[0] == ' ')) return Slice("0");
      return text;
    }
    case kScreenFieldAssign: {
      const auto* value = static_cast<const VariableValue*>(object);
      if (value == nullptr || !value->value.ok()) return Slice::Error(Status::kBadInputData);
      AreaMark mark;
      Slice text = value->value;
      if (IsNumericLetter(f.type)) {
        // The number rounded to the field's decimals, as the field keeps it.
        int64_t number = value->kind == kNumberValue ? NumberOf(value->value)
                                                     : ParseNumber(value->value);
        int decimals = TypeDecimals(f.type);
        text = FormatNumber(DivideByTen(number, Decimals() - decimals), decimals);
      } else if (value->kind == kNumberValue) {
        text = FormatNumber(NumberOf(value->value), Decimals());
      }
      Slice stored = StoreValue(f.type, text, f.storage_width);
      if (!stored.ok()) return stored;
      std::memmove(inst->buffer + f.offset, stored.data(),
                   std::min<size_t>(stored.size(), f.storage_width));
      return value->value;
    }
    default:
      return Slice::Error(Status::kBadInputData);
  }
}

void InstallScreenFieldHandler() { (void)RegisterHook(kHookScreenField, &ScreenFieldHook); }

}  // namespace tessaly
