// The data capture window: building it from a field list, running it,
// storing its values, and the captures started by request.

#include "ui/accept.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/number.h"
#include "core/process.h"
#include "core/startup.h"
#include "core/startup_services.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/parameters.h"
#include "data/definitions.h"
#include "data/masks.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "expr/evaluator.h"
#include "expr/scanner.h"
#include "expr/variables.h"
#include "ui/screen_internal.h"

namespace tessaly {

namespace {

enum Action : int {
  kActHelp = 19,
  kActCancel = 21,
  kActRecordOp = 25,
  kActClose = 28,
  kActCloseWindow = 29,
  kActRefused = 30,
  kActFieldEntered = 38,
  kActFocusField = 91,
  kActFirstFocus = 95,
};
constexpr int kConfirmParameter = 100;
constexpr int kConfirm = kActRecordOp | (kConfirmParameter << 8);
constexpr int kConfirmEvent = 25;

// Key indexes of the window layer.
constexpr int kKeyEnter = 0;
constexpr int kKeyEsc = 3;
constexpr int kKeyCommand = 4;
constexpr int kKeyPgUp = 23;
constexpr int kKeyPgDn = 29;
constexpr int kKeyCtrlEnd = 32;

constexpr uint16_t kEndOfScreen = 64;
constexpr uint16_t kCloseNow = 4;
constexpr uint16_t kCloseBit = 8;
constexpr uint16_t kAuxDefaults = 64;    // `_AUXSTAT`: defaults are being set
constexpr uint16_t kScrStatPaging = 64;  // `_SCRSTAT`: dependants run from PgUp/PgDn
constexpr int kExtraTextTable = 34;
constexpr int kMinimumColumns = 25;
// The capture window by request loads like a maintenance window: flag 16
// opens the screen's files as a set, flag 8 deletes the layout once open.
constexpr int kFlagOpenSet = 16;
constexpr int kFlagDeleteLayout = 8;
constexpr int kFlagFromParameters = 8;

// The class bits of a last key: 2 and 64 confirm.
int KeyClass(int key) {
  switch (key) {
    case 0:
    case 9:
      return 2;
    case 3:
      return 32;
    case 8:
      return 4;
    case 22:
      return 12;
    case 23:
      return 20;
    case 28:
      return 10;
    case 29:
      return 18;
    case 32:
      return 64;
    default:
      return key >= 11 && key <= 21 ? 1 : 0;
  }
}

// What the default handler knows of the capture it serves. Null for a
// capture embedded by a caller: everything is then read from the current
// screen.
struct CaptureContext {
  bool extra_pending = false;  // the loader pushed an extra text on table 34
  int hook = 0;                // the close hook of a capture by request
};

// The texts of all fields of the current screen, each quoted, joined by ",".
std::string FieldTexts() {
  std::string texts;
  const ScreenDefinition* def = ScreenCurrentDefinition();
  for (int i = 1; def != nullptr && i <= def->field_count(); ++i) {
    AreaMark mark;
    if (i > 1) texts += ',';
    texts += Quote(ScreenFieldText(i), '\'').str();
  }
  return texts;
}

// Items of a comma list, split outside quotes, each unquoted.
std::vector<std::string> ValueItems(std::string_view list) {
  std::vector<std::string> out;
  if (list.empty()) return out;
  for (const std::string& item : screens::SplitOutside(list, ',')) {
    AreaMark mark;
    out.push_back(Unquote(Slice::Of(screens::TrimView(item))).str());
  }
  return out;
}

// The parts of a field's text (without "/ROW" and "/COL"), trimmed.
std::vector<std::string> FieldParts(const ScreenField& field) {
  std::vector<std::string> parts = screens::SplitOutside(field.spec, ':');
  for (std::string& p : parts) p = std::string(screens::TrimView(p));
  return parts;
}

std::string Part(const std::vector<std::string>& parts, size_t n) {
  return n >= 1 && n <= parts.size() ? parts[n - 1] : std::string();
}

void FocusCurrentField() {
  ScreenInstance* inst = ScreenCurrentInstance();
  if (inst == nullptr || inst->window == kNoWindow || inst->current_field <= 0) return;
  (void)Windows().FocusField(inst->window, inst->current_field, true);
}

// Shows the help page `name` ("page,field"); a page that does not exist is
// said in a message box.
Status ShowHelpPage(Slice name) {
  AreaMark mark;
  Slice found = FindHelpFile(Trim(Item(name, ',', 1)));
  if (!found.empty()) return mark.Release(OpenWithViewer(found));
  (void)ShowMessageBox(Concat({Message(72), "\r\n", name}), Message(71), BoxKind::kInformation);
  return mark.Release(Status::kOk);
}

// Closes the screens opened above the first `base` ones.
void CloseScreensAbove(int base) {
  while (ScreenInstanceCount() > base) (void)ScreenCloseInstance(ScreenInstanceCount() - 1);
}

// The literal a field's text assigns: quoted without its trailing blanks for
// a text target, else its number.
Slice AssignedLiteral(bool text, Slice field_text) {
  return text ? Quote(Trim(field_text, kTrimRight), '\'') : FormatNumber(ParseNumber(field_text), Decimals());
}

// The extra text of the loader (table 34): its first ':' item is evaluated
// and becomes the current field's value, its second names the fields to
// refresh. Applied once.
Status ApplyExtraText(CaptureContext* context) {
  if (context == nullptr || !context->extra_pending) return Status::kOk;
  context->extra_pending = false;
  AreaMark mark;
  std::string extra = strtab::Top(kExtraTextTable).str();
  (void)strtab::Pop(kExtraTextTable);
  if (extra.empty()) return Status::kOk;
  std::vector<std::string> items = screens::SplitOutside(extra, ':');
  ScreenInstance* inst = ScreenCurrentInstance();
  Status s;
  if (!items.empty() && !screens::TrimView(items[0]).empty() && inst != nullptr &&
      inst->current_field > 0) {
    Slice value = EvaluateToText(Slice::Of(items[0]));
    if (!value.ok()) return mark.Release(value.status());
    s = ScreenSetField(kMaskTyped, inst->current_field, value);
    if (s.is_error()) return mark.Release(s);
  }
  if (items.size() >= 2) {
    s = ScreenRefreshFields(kMaskTyped, ScreenFieldsByNames(Slice::Of(items[1])));
  }
  return mark.Release(s);
}

Status ReportRefusal() {
  (void)ShowError(Status::kBadUserData);
  return Status::kBadUserData;
}

Status HandleAction(CaptureContext* context, int action) {
  const int a = action & 0xFF;
  const int parameter = (action >> 8) & 0xFF;
  ScreenInstance* inst = ScreenCurrentInstance();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (inst == nullptr || def == nullptr) return Status::kScreenEnviron;
  switch (a) {
    case kActCloseWindow:
      if (inst->window != kNoWindow) (void)Windows().CloseWindow(inst->window, Status::kOk);
      return Status::kOk;
    case kActFirstFocus: {
      int first = ScreenNextField(0, +1);
      if (first > 0) (void)ScreenMoveTo(first);
      // The first field the input enters takes the caller's extra text.
      return ApplyExtraText(context);
    }
    case kActHelp: {
      if (GetHook(kHookHelp) != nullptr) {
        Slice answer = CallHook(kHookHelp, a, Slice(), inst);
        if (answer.ok() || answer.status() != Status::kFeatureRemoved) {
          return answer.ok() ? Status(Status::kOk) : answer.status();
        }
      }
      AreaMark mark;
      Slice help = Trim(ScreenOption(kKwHelp));
      if (help.empty()) return mark.Release(Status::kOk);
      Slice page = Concat({help, ",", Slice::Of(std::to_string(inst->current_field))});
      return mark.Release(ShowHelpPage(page));
    }
    case kActRecordOp: {
      if (parameter == kConfirmParameter) {
        // The field being typed in counts even when the command came
        // without the focus leaving it (a key of the button, Enter in a list).
        if (inst->window != kNoWindow && inst->current_field > 0) {
          AreaMark mark;
          Status read = ScreenSetField(kMaskTypedFiles, inst->current_field,
                                       Windows().FieldControlText(inst->window, inst->current_field));
          if (read.code() >= 128) return mark.Release(read);
        }
        // A capture by request stores nothing itself: with an OUTPUT file
        // what it was confirmed with is written there.
        const bool by_request = context != nullptr && context->hook > 0;
        std::string texts = by_request && Word(kOutHnd) != 0 ? FieldTexts() : std::string();
        Status closed = ScreenCloseAction(action);
        if (!texts.empty() && closed.code() < 122) {
          Status out = AppendOutputLine(Slice::Of(texts));
          if (!out.ok()) return out;
        }
        return closed;
      }
      int key = Word(kLastKey);
      const ScreenField* f = def->field(inst->current_field);
      if ((key == kKeyPgUp || key == kKeyPgDn) && f != nullptr && !f->update_list.empty()) {
        bool had = TestBits(kScrStat, kScrStatPaging);
        SetWord(kScrStat, static_cast<uint16_t>(Word(kScrStat) | kScrStatPaging));
        Status s = ScreenRunDependants(kMaskTyped, inst->current_field);
        if (!had) SetWord(kScrStat, static_cast<uint16_t>(Word(kScrStat) & ~kScrStatPaging));
        return s;
      }
      return Status::kOk;
    }
    case kActClose: {
      if (!IsConfirmingKey(Word(kLastKey))) SetWord(kLastKey, kKeyEsc);
      Status s = ScreenCloseAction(action);
      // Closing the frame asks the window to go whatever the default says.
      if (s.code() > 0 && s.code() < 122) s = Status(static_cast<uint16_t>(s.code() | kCloseBit));
      return s;
    }
    case kActCancel:
      return ScreenCloseAction(action);
    case kActRefused:
      return ReportRefusal();
    case kActFocusField:
    case kActFieldEntered:
      return ApplyExtraText(context);
    default: {
      Status s = ScreenDefaultAction(action);
      // Past the last field: confirmed as by the "Ok" button.
      if (s == Status(kEndOfScreen)) return HandleAction(context, kConfirm);
      if (s == Status::kBadUserData) return ReportRefusal();
      return s;
    }
  }
}

Status DefaultHandler(void* context, int action) {
  Status s = HandleAction(static_cast<CaptureContext*>(context), action);
  // The input goes back to the field the capture is on.
  if (s.code() < 128 && (s.code() & kCloseBit) == 0) FocusCurrentField();
  return s;
}

// The close hook of a capture by request: the hook chosen for it, called
// with the window event; 148 (nobody handles it) and 0 leave the default.
Status CaptureCloseHook(void* context, int action, Status default_result) {
  auto* capture = static_cast<CaptureContext*>(context);
  if (capture == nullptr || capture->hook <= 0) return default_result;
  AreaMark mark;
  Slice answer = CallHook(capture->hook, action, Slice(), nullptr);
  if (answer.ok() || answer.status() == Status::kFeatureRemoved) {
    if (!answer.ok()) ClearDetail();
    return mark.Release(default_result);
  }
  return mark.Release(answer.status());
}

// Default of field i: part 4, evaluated; else item i of the last values.
Status SetDefaults() {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return Status::kScreenEnviron;
  const bool had = TestBits(kAuxStat, kAuxDefaults);
  SetWord(kAuxStat, static_cast<uint16_t>(Word(kAuxStat) | kAuxDefaults));
  std::vector<std::string> last = ValueItems(strtab::Get(kLastValuesTable, kLastValuesSlot).view());
  Status status;
  for (int i = 1; i <= def->field_count() && status.ok(); ++i) {
    const ScreenField* f = ScreenCurrentDefinition()->field(i);
    if (!f->status.ok()) continue;
    std::string part4 = Part(FieldParts(*f), 4);
    AreaMark mark;
    Slice value;
    if (!part4.empty()) {
      value = EvaluateToText(Slice::Of(part4));
      if (!value.ok()) {
        status = value.status();
        break;
      }
    } else if (static_cast<size_t>(i) <= last.size()) {
      value = Slice::Of(last[static_cast<size_t>(i - 1)]);
    } else {
      continue;
    }
    Status s = ScreenSetField(kMaskTypedFiles, i, value);
    if (s.is_error() && part4.empty()) {
      // The last values may come from another capture whose field here was
      // of another kind: the field then starts empty.
      ClearDetail();
      s = ScreenSetField(kMaskClear, i, Slice());
    }
    if (s.is_error()) status = s;
  }
  if (!had) SetWord(kAuxStat, static_cast<uint16_t>(Word(kAuxStat) & ~kAuxDefaults));
  return status;
}

// The screen size of a capture sized to its fields.
void FitScreenToFields() {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ScreenGeometry g = ScreenGeometryInForce();
  int columns = kMinimumColumns;
  int rows = 1;
  for (const ScreenField& f : def->fields) {
    columns = std::max(columns, f.column + f.storage_width);
    rows = std::max(rows, f.row);
  }
  if (g.columns > g.left) columns = std::min(columns, g.columns - g.left);
  AreaMark mark;
  ScreenGeometrySet(Slice::Of(std::to_string(columns) + "," + std::to_string(rows)));
  ScreenGeometrySetMargins(g.left, g.top, g.bottom);
}

Status DrawLabels(WindowId window) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  for (const ScreenField& f : def->fields) {
    if (f.label.empty()) continue;
    int row = f.row;
    int column = f.column - static_cast<int>(f.label.size());
    if (f.label_row != 0 || f.label_column != 0) {
      row = f.label_row;
      column = f.label_column;
    }
    Status s = Windows().StaticText(window, row, column, Slice::Of(f.label));
    if (!s.ok()) return s;
  }
  return Status::kOk;
}

// Puts every field's text into its control once the controls exist.
Status ShowFieldTexts() {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  for (int i = 1; i <= def->field_count(); ++i) {
    const ScreenField& f = *ScreenCurrentDefinition()->field(i);
    if (!f.status.ok() || f.hidden) continue;
    AreaMark mark;
    Status s = ScreenSetField(0, i, screens::DisplayText(f, ScreenFieldText(i)));
    if (s.is_error()) return mark.Release(s);
  }
  return Status::kOk;
}

Status AddOkButton(WindowId window) {
  if (window == kNoWindow || Windows().HasControl(window, 3100)) return Status::kOk;
  ButtonSpec ok;
  ok.id = 3100;
  ok.text = "Ok";
  ok.row = -1;
  ok.column = -14;
  ok.width = 12;
  ok.half_up = true;
  return Windows().CreateButton(window, ok);
}

// Builds the capture; on failure nothing of it is left open. A windowless
// capture (a batch run's) stops once its defaults are set.
Status BuildCapture(const AcceptWindowRequest& request, CaptureContext* context,
                    WindowId* window, bool windowless = false) {
  *window = kNoWindow;
  AreaMark mark;
  ScreenGeometrySetMargins(2, 1, 2);
  const int base = ScreenInstanceCount();
  int list_flags = (request.flags & kAcceptOneRow) != 0 ? kListGridRow : 0;
  Status s = ScreenOpenFieldList(request.field_list, list_flags);
  if (!s.ok()) {
    ScreenGeometryReset();
    return mark.Release(s);
  }
  auto abandon = [&](Status why) {
    CloseScreensAbove(base);
    return mark.Release(why);
  };
  if (ScreenCurrentDefinition() == nullptr) return abandon(Status::kScreenStructError);
  if ((request.flags & kAcceptFitToFields) != 0) FitScreenToFields();
  // The defaults are settled before any window shows: one that fails ends
  // the capture with nothing on screen.
  ScreenCurrentInstance()->window = kNoWindow;
  s = SetDefaults();
  if (!s.ok()) return abandon(s);
  if (windowless) {
    ScreenActionSet(ScreenCallbacks{&DefaultHandler, nullptr, nullptr, context});
    return mark.Release(Status::kOk);
  }

  WindowId w = request.owner;
  if (w == kNoWindow) {
    ScreenGeometry g = ScreenGeometryInForce();
    WindowRequest wr;
    wr.kind = 5;
    wr.title = request.title;
    wr.columns = g.columns;
    wr.rows = g.rows;
    Status opened;
    w = Windows().OpenWindow(wr, &opened);
    if (w == kNoWindow) return abandon(opened.ok() ? Status(Status::kScreenEnviron) : opened);
  }
  auto fail = [&](Status why) {
    if (w != kNoWindow && w != request.owner) (void)Windows().CloseWindow(w, why);
    return abandon(why);
  };
  ScreenCurrentInstance()->window = w;
  if (w != kNoWindow && !Trim(request.title).empty()) {
    s = Windows().SetWindowTitle(w, request.title);
    if (!s.ok()) return fail(s);
  }
  if (w != kNoWindow && (request.flags & kAcceptOneRow) == 0) {
    s = DrawLabels(w);
    if (!s.ok()) return fail(s);
  }
  s = ScreenSetWin(0);
  if (!s.ok()) return fail(s);
  s = ShowFieldTexts();
  if (!s.ok()) return fail(s);
  ScreenCallbacks callbacks = request.handler;
  if (callbacks.action == nullptr) {
    callbacks = ScreenCallbacks();
    callbacks.action = &DefaultHandler;
    callbacks.context = context;
  }
  ScreenActionSet(callbacks);
  s = AddOkButton(w);
  if (!s.ok()) return fail(s);
  SetWord(kLastKey, kKeyCommand);
  *window = w;
  return mark.Release(Status::kOk);
}

// The next line of the batch INPUT file; false at its end or without one.
bool NextInputLine(std::string* line) {
  int stream = Word(kInHnd);
  if (stream == 0) return false;
  AreaMark mark;
  Slice read = service::ReadInputLine(stream);
  if (!read.ok()) {
    ClearDetail();
    return false;
  }
  *line = read.str();
  return true;
}

// Sets the items of a batch line as the values of fields 1, 2, ...
Status SetBatchValues(const std::string& line) {
  std::vector<std::string> items = ValueItems(line);
  const ScreenDefinition* def = ScreenCurrentDefinition();
  for (size_t i = 0; i < items.size() && static_cast<int>(i) < def->field_count(); ++i) {
    if (!def->field(static_cast<int>(i + 1))->status.ok()) continue;
    AreaMark mark;
    Status s = ScreenSetField(kMaskTypedFiles, static_cast<int>(i + 1), Slice::Of(items[i]));
    if (s.is_error()) return mark.Release(s);
  }
  return Status::kOk;
}

bool IsTextKind(int kind) { return (kind & 1) != 0; }

// Stores the values of the current screen (a capture) and closes it.
Status StoreValues(AcceptResult* result) {
  (void)strtab::Set(kLastValuesTable, kLastConditionSlot, Slice());
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return Status::kScreenEnviron;
  Status status;
  if (!IsConfirmingKey(Word(kLastKey))) status = Status::kUserCanceled;
  std::string values;
  std::string condition;
  for (int i = 1; i <= def->field_count() && status.ok(); ++i) {
    const ScreenField& f = *ScreenCurrentDefinition()->field(i);
    std::vector<std::string> parts = FieldParts(f);
    std::string target = Part(parts, 3);
    if (target.empty()) target = Part(parts, 1);
    if (target.empty()) {
      status = Status::kBadInputData;
      break;
    }
    AreaMark mark;
    Slice prepared = Prepare(Slice::Of(target));
    if (!prepared.ok()) {
      status = prepared.status();
      break;
    }
    Token token;
    token.expression = prepared;
    Status scanned = NextToken(token);
    if (scanned.is_error()) {
      status = scanned;
      break;
    }
    const bool comparison = token.op >= kOpGreater && token.op <= kOpNotEqual;
    const bool assignable = token.op == kOpNone && token.position == 0 &&
                            token.length == prepared.size() &&
                            (token.kind == kOperandVariable || token.kind == kOperandTextVariable ||
                             token.kind == kOperandNumberVariable ||
                             token.kind == kOperandField || token.kind == kOperandTextField ||
                             token.kind == kOperandUserCall);
    const bool text_target = IsTextKind(token.kind) || token.kind == kOperandText;

    Slice value = ScreenFieldText(i);
    if (!value.ok()) {
      status = value.status();
      break;
    }
    std::string assign_to = Part(parts, 5);
    if (assign_to.empty() && assignable) assign_to = target;
    if (!assign_to.empty()) {
      const bool text = IsText(Slice::Of(assign_to)) != 0 ||
                        VariableKindOf(Slice::Of(assign_to)) == kTextVariable;
      Slice assignment = Concat({Slice::Of(assign_to), "=", AssignedLiteral(text, value)});
      if (!assignment.ok()) {
        status = assignment.status();
        break;
      }
      Status s = Evaluate(assignment);
      if (s.failed()) {
        status = s;
        break;
      }
    }
    Slice shown = text_target ? Trim(value) : value;
    if (!values.empty()) values += ',';
    values += Quote(shown, '\'').str();
    if (comparison) {
      Slice term = text_target ? Quote(Trim(value), '\'') : Trim(value, kTrimLeft);
      if (!condition.empty()) condition += "&&";
      condition += prepared.str();
      condition += term.str();
    }
  }
  (void)ScreenCloseInstance(-1);
  if (status.ok()) {
    (void)strtab::Set(kLastValuesTable, kLastValuesSlot, Slice::Of(values));
    (void)strtab::Set(kLastValuesTable, kLastConditionSlot, Slice::Of(condition));
    Status out = AppendOutputLine(Slice::Of(values));
    if (!out.ok()) status = out;
  }
  if (Word(kLastKey) == kKeyCtrlEnd) SetWord(kLastKey, kKeyEnter);
  result->values = values;
  result->condition = condition;
  return status;
}

// Runs a capture: builds it, lets the user fill it (or takes the batch
// line), and stores it when `always_store` or when it was not confirmed.
AcceptResult RunCapture(Slice title, Slice field_list, bool always_store, bool* left_open) {
  *left_open = false;
  AcceptResult result;
  const WindowId top = Windows().TopWindow();
  const uint16_t current_field = Word(kCurEdFld);
  const int base = ScreenInstanceCount();
  std::string batch_line;
  const bool batch = NextInputLine(&batch_line);

  CaptureContext context;
  AcceptWindowRequest request;
  request.title = title;
  request.field_list = field_list;
  request.flags = kAcceptFitToFields;
  WindowId window = kNoWindow;
  Status s;
  if (batch) {
    s = BuildCapture(request, &context, &window, /*windowless=*/true);
    if (s.ok()) s = SetBatchValues(batch_line);
    if (!s.ok()) CloseScreensAbove(base);
    SetWord(kLastKey, kKeyEnter);
  } else {
    s = BuildCapture(request, &context, &window);
    if (s.ok()) {
      (void)Windows().RunWindow(window);
      if (top != kNoWindow) (void)Windows().FocusField(top, current_field, false);
    }
  }
  result.last_key = Word(kLastKey);
  if (!s.ok()) {
    result.status = s;
    SetWord(kCurEdFld, current_field);
    return result;
  }
  // The capture's screen is the one above those open before it.
  if (ScreenInstanceCount() > base) {
    (void)ScreenSwitchTo(base);
    if (always_store || Word(kLastKey) != kKeyEnter) {
      result.status = StoreValues(&result);
    } else {
      *left_open = true;
    }
  }
  if (!*left_open) CloseScreensAbove(base);
  result.last_key = Word(kLastKey);
  SetWord(kCurEdFld, current_field);
  return result;
}

}  // namespace

bool IsConfirmingKey(int key_index) { return (KeyClass(key_index) & (2 | 64)) != 0; }

AcceptResult AcceptAndStore(Slice title, Slice field_list) {
  bool left_open = false;
  return RunCapture(title, field_list, true, &left_open);
}

AcceptResult Accept(Slice title, Slice field_list, AcceptContinuation continuation,
                    void* context) {
  const int below = ScreenInstanceCount();
  bool left_open = false;
  AcceptResult result = RunCapture(title, field_list, false, &left_open);
  if (continuation != nullptr &&
      (result.status.ok() || result.status == Status::kUserCanceled)) {
    (void)strtab::Push(kAcceptListTable, field_list);
    // The continuation works on the screen below the capture.
    if (left_open && below > 0) (void)ScreenSwitchTo(below - 1);
    result.status = continuation(context, result.last_key);
  }
  // A capture nobody stored is closed without storing.
  CloseScreensAbove(below);
  return result;
}

AcceptResult AcceptStoreAbove(Slice field_list) {
  (void)field_list;
  AcceptResult result;
  int above = ScreenCurrentNumber() + 1;
  // With no screen below the capture, the capture itself is the current one.
  if (ScreenInstanceAt(above) == nullptr) above = ScreenInstanceCount() - 1;
  if (ScreenInstanceAt(above) == nullptr) {
    result.status = Status::kScreenStructError;
    return result;
  }
  (void)ScreenSwitchTo(above);
  // The capture was confirmed with Enter or the "Ok" button.
  if (!IsConfirmingKey(Word(kLastKey))) SetWord(kLastKey, kKeyEnter);
  result.status = StoreValues(&result);
  result.last_key = Word(kLastKey);
  return result;
}

AcceptResult AcceptFromParameters(Slice file, int number, int hook) {
  AcceptResult result;
  AreaMark mark;
  Slice ppn = FindChar(file, '.', true) == kNotFound ? DefinitionFileName(file, kDefMenu) : file;
  Status s = ParameterSetLoad(ppn, 1, number);
  if (!s.ok()) {
    result.status = mark.Release(s);
    return result;
  }
  struct PopSet {
    ~PopSet() { (void)ParameterSetPop(); }
  } pop;
  std::string field_list = ParameterValue(kKwAcBound).str();
  std::string title = ParameterValue(kKwWinName).str();
  if (screens::TrimView(field_list).empty()) {
    result.status = mark.Release(SetDetail(Status::kBadInputData, "ACBOUND$"));
    return result;
  }
  if (hook == -1) hook = Integer(ParameterValue(kKwAcceptPrc));
  if (hook == 0) {
    result.status = mark.Release(SetDetail(Status::kBadInputData, "ACCEPT_PRC%"));
    return result;
  }
  result = AcceptAndStore(Slice::Of(title), Slice::Of(field_list));
  if (!result.values.empty() && result.status.ok()) {
    Slice answer = CallHook(hook, kConfirmEvent, Slice::Of(result.values), &result);
    if (!answer.ok() && answer.status() != Status::kFeatureRemoved) {
      result.status = answer.status();
    } else if (!answer.ok()) {
      ClearDetail();
    }
  }
  (void)mark.Release(Status::kOk);
  return result;
}

Status OpenAcceptWindow(const AcceptWindowRequest& request, WindowId* window) {
  return BuildCapture(request, nullptr, window);
}

Status AcceptDefaultAction(void* context, int action) { return DefaultHandler(context, action); }

// ---- Capture by request ------------------------------------------------------------------

namespace {

// The hook that runs on confirm: ACCEPT_PRC%, else the first option the
// screen has of STEPS$, PRCNAME$, DOCNAME$ and PARM_FILE$.
Status ChooseHook(int* hook) {
  AreaMark mark;
  *hook = Integer(ScreenOption(kKwAcceptPrc));
  if (*hook > 0) return mark.Release(Status::kOk);
  struct Choice {
    int keyword;
    int hook;
  };
  constexpr Choice kChoices[] = {{kKwSteps, 7}, {kKwPrcName, 6}, {kKwDocName, 5}, {kKwParmFile, 4}};
  for (const Choice& c : kChoices) {
    Slice value = Trim(ScreenOption(c.keyword));
    if (!value.ok() || value.empty()) continue;
    *hook = c.hook;
    if (c.hook == 4) {
      // The capture starts from what the file holds now.
      Slice path = FileInFolder(value, 3);
      if (FileExists(path) == Status::kOk) {
        Slice text = FileReadLines(path, ';');
        if (!text.ok()) return mark.Release(text.status());
        Status s = EvaluateForErrors(text);
        if (!s.ok()) return mark.Release(SetDetail(s, path, true));
      }
    }
    return mark.Release(Status::kOk);
  }
  return mark.Release(SetDetail(Status::kBadInputData, "ACCEPT_PRC%"));
}

Status CaptureFromScreen(Slice parameters) {
  AreaMark mark;
  std::vector<Slice> items = Split(parameters, ',');
  auto item = [&](size_t n) { return n <= items.size() ? Trim(items[n - 1]) : Slice(); };
  Slice first = item(1);
  Slice file = first;
  Slice name;
  if (FindChar(first, ';', true) != kNotFound) {
    file = Trim(Item(first, ';', 1));
    name = Trim(Item(first, ';', 2));
  }
  const int number = Integer(item(2));
  const int columns = Integer(item(3));
  const int rows = Integer(item(4));
  const int flags = Integer(item(7));
  if (!item(10).empty()) SetWord(kWMaxRow, static_cast<uint16_t>(Integer(item(10))));

  ScreenGeometrySetMargins(0, 1, 2);
  ScreenGeometrySet(",,,,,0");
  const int base = ScreenInstanceCount();
  std::string batch_line;
  const bool batch = NextInputLine(&batch_line);

  WindowId window = kNoWindow;
  if (!batch) {
    WindowRequest wr;
    wr.kind = 3;
    AreaMark title_mark;
    Slice title = Item(Message(22), ',', (flags & 4) != 0 ? 1 : 2);
    wr.title = title;
    wr.columns = columns > 0 ? columns : -1;
    wr.rows = rows > 0 ? rows : -1;
    Status opened;
    window = Windows().OpenWindow(wr, &opened);
    if (window == kNoWindow) {
      ScreenGeometryReset();
      return mark.Release(opened.ok() ? Status(Status::kScreenEnviron) : opened);
    }
  }
  CaptureContext context;
  // The loader's extra text waits for the first field focus; a capture that
  // ends before it takes it back.
  auto drop_extra = [&] {
    if (context.extra_pending) (void)strtab::Pop(kExtraTextTable);
    context.extra_pending = false;
  };
  auto finish = [&](Status why) {
    if (window != kNoWindow) (void)Windows().CloseWindow(window, why);
    drop_extra();
    CloseScreensAbove(base);
    return mark.Release(why);
  };

  ScreenLoadRequest load;
  load.file = file;
  load.name = name;
  load.number = number;
  std::string size;
  if (columns > 0 || rows > 0) size = std::to_string(columns) + "," + std::to_string(rows);
  load.size = Slice::Of(size);
  load.main_file = Integer(item(5));
  load.extra = item(8);
  Status s = ScreenLoad(load);
  if (!s.ok()) return finish(s);
  ScreenCurrentInstance()->window = window;
  context.extra_pending = true;
  s = ScreenSetWin(flags);
  if (!s.ok()) return finish(s);
  bool set_opened = false;
  if ((flags & kFlagOpenSet) != 0) {
    AreaMark inner;
    Slice open = ScreenOption(kKwOpen);
    s = OpenSet(open);
    SetWord(kIer, static_cast<uint16_t>(s.code()));
    if (s.code() >= 128) {
      (void)OpenSet("RESTORE");
      return finish(s);
    }
    set_opened = true;
  }
  if ((flags & kFlagDeleteLayout) != 0) {
    AreaMark inner;
    (void)FileDelete(Concat(file, ".PAN"));
  }
  s = ChooseHook(&context.hook);
  if (!s.ok()) {
    if (set_opened) (void)OpenSet("RESTORE");
    return finish(s);
  }
  ScreenActionSet(ScreenCallbacks{&DefaultHandler, nullptr, &CaptureCloseHook, &context});
  s = AddOkButton(window);
  if (s.ok()) s = ScreenRefreshRange(kMaskCompute, 1, -1);
  if (!s.ok()) {
    (void)DefaultHandler(&context, kActCloseWindow);
    if (set_opened) (void)OpenSet("RESTORE");
    return finish(s);
  }
  Status result;
  if (batch) {
    s = SetBatchValues(batch_line);
    if (s.ok()) {
      SetWord(kLastKey, kKeyCommand);
      result = DefaultHandler(&context, kConfirm);
    } else {
      result = s;
    }
  } else {
    (void)Windows().RunWindow(window);
    window = kNoWindow;
    result = Status::kOk;
  }
  if (set_opened) (void)OpenSet("RESTORE");
  drop_extra();
  CloseScreensAbove(base);
  ScreenGeometryReset();
  if (result.code() >= 122) return mark.Release(result);
  return mark.Release(Status::kOk);
}

}  // namespace

Status AcceptRunProcess(int process, Slice parameters) {
  (void)process;
  AreaMark mark;
  int count = CountItems(parameters, ',');
  if (count < 4 || Integer(Trim(Item(parameters, ',', 7))) == kFlagFromParameters) {
    Slice file = Trim(Item(parameters, ',', 1));
    int number = Integer(Trim(Item(parameters, ',', 2)));
    AcceptResult r = AcceptFromParameters(file, number, -1);
    return mark.Release(r.status == Status::kUserCanceled ? Status(Status::kOk) : r.status);
  }
  return mark.Release(CaptureFromScreen(parameters));
}

// ---- The parameter-file capture -----------------------------------------------------------

Slice ParameterFileCaptureHook(int event, Slice argument, void* object) {
  (void)argument;
  (void)object;
  if (event != kConfirmEvent) return Slice();
  AreaMark mark;
  Slice file = Trim(ScreenOption(kKwParmFile));
  if (!file.ok()) return Slice::Error(mark.Release(file.status()));
  if (file.empty()) return Slice::Error(mark.Release(SetDetail(Status::kBadInputData, "PARM_FILE$")));
  Slice names = ScreenOption(kKwParmFileWrite);
  std::string assignments;
  for (Slice name : Split(names, ',')) {
    AreaMark item_mark;
    Slice n = Trim(name);
    if (n.empty()) continue;
    int field = ScreenFieldByName(n);
    std::string value_expression = n.str();
    if (field > 0) {
      const ScreenField* f = ScreenCurrentDefinition()->field(field);
      Slice value = AssignedLiteral(VariableKindOf(n) == kTextVariable || !IsNumericType(f->type),
                                    ScreenFieldText(field));
      // The session goes on with what was written.
      Status s = Evaluate(Concat({n, "=", value}));
      if (s.failed()) return Slice::Error(mark.Release(s));
      value_expression = value.str();
    }
    if (!assignments.empty()) assignments += ',';
    assignments += n.str() + "=" + value_expression;
  }
  Status s = MergeParameterFile(FileInFolder(file, 3), Slice::Of(assignments));
  if (!s.ok()) return Slice::Error(mark.Release(s));
  (void)mark.Release(Status::kOk);
  return Slice::Error(Status(kCloseBit));
}

}  // namespace tessaly
