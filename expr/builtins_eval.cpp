// The functions that evaluate or address what the expression layer owns:
// _# (the general numeric array), FN#ACUM, CHK#, CHK$, FN$FLDS, ENVRON$,
// _$ and SQLCHILD.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/flags.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "expr/builtins_internal.h"
#include "expr/evaluator.h"
#include "expr/fields.h"
#include "expr/variables.h"

namespace tessaly::builtins {
namespace {

#define RETURN_IF_FAILED(expr)         \
  do {                                 \
    Status status_ = (expr);           \
    if (!status_.ok()) return status_; \
  } while (0)

// ---- The general numeric array `_#` ------------------------------------------------------

// The accumulators: the array variable `_#` of numbers, created with room
// for this many elements when first written, and grown on demand up to the
// limit (beyond: 168).
constexpr char kArrayName[] = "_#";
constexpr int kDefaultArrayBound = 255;
constexpr int64_t kMaxArrayIndex = (1 << 20) - 1;

// The number of elements of the array (0 when it is not declared): the
// first index that is out of it, by doubling and halving.
int ElementCount() {
  int zero = 0;
  if (!ArrayElement(kArrayName, &zero, 1).ok()) return 0;
  int64_t inside = 0, outside = 1;
  while (outside <= kMaxArrayIndex + 1) {
    int probe = static_cast<int>(outside);
    if (!ArrayElement(kArrayName, &probe, 1).ok()) break;
    inside = outside;
    outside *= 2;
  }
  while (outside - inside > 1) {
    int probe = static_cast<int>((inside + outside) / 2);
    if (ArrayElement(kArrayName, &probe, 1).ok()) {
      inside = probe;
    } else {
      outside = probe;
    }
  }
  return static_cast<int>(outside);
}

// Element `index` as a number; 0 when the array or the element is absent.
int64_t ReadElementValue(int index) {
  AreaMark mark;
  Status st = ReadElement(kArrayName, &index, 1);
  if (st == kNumberValue) return Area().TopNumber();
  if (st == kTextValue) return ParseNumber(Area().Top());
  return 0;
}

Status StoreElementValue(int index, int64_t value) {
  AreaMark mark;
  Slice number = Area().PushNumber(value);
  if (!number.ok()) return number.status();
  Status st = AssignElement(kArrayName, &index, 1, number, kNumberValue);
  if (st != Status::kDimStructError && st != Status::kDataOutBound) return st;
  // Not declared yet, or too small: (re)declared larger, keeping what it held.
  int count = ElementCount();
  std::vector<int64_t> kept;
  kept.reserve(count);
  for (int i = 0; i < count; ++i) kept.push_back(ReadElementValue(i));
  int bound = std::max({index, kDefaultArrayBound, 2 * count - 1});
  bound = static_cast<int>(std::min<int64_t>(bound, kMaxArrayIndex));
  RETURN_IF_FAILED(DeclareArray(kArrayName, kNumberVariable, 0, &bound, 1));
  for (int i = 0; i < count; ++i) {
    if (kept[i] == 0) continue;
    Slice old = Area().PushNumber(kept[i]);
    RETURN_IF_FAILED(AssignElement(kArrayName, &i, 1, old, kNumberValue));
  }
  return AssignElement(kArrayName, &index, 1, number, kNumberValue);
}

Status ClearArray() {
  int count = ElementCount();
  AreaMark mark;
  Slice zero = Area().PushNumber(0);
  for (int i = 0; i < count; ++i) {
    Status st = AssignElement(kArrayName, &i, 1, zero, kNumberValue);
    if (st != Status::kOk) return mark.Release(st);
  }
  return mark.Release(Status::kOk);
}

// Declares the array with room for elements 0..bound, keeping its values.
Status DimensionArray(int64_t bound) {
  if (bound < 1 || bound > kMaxArrayIndex) return Status::kDataOutBound;
  int count = ElementCount();
  if (count > bound) return Status::kOk;
  return StoreElementValue(static_cast<int>(bound), ReadElementValue(static_cast<int>(bound)));
}

// ---- Accumulation ---------------------------------------------------------------------

// A raw argument without one pair of enclosing parentheses.
Slice WithoutParentheses(Slice text) {
  if (text.size() < 2 || text[0] != '(' || text[text.size() - 1] != ')') return text;
  Slice inner = Bracketed(text, '(');
  return inner.size() + 2 == text.size() ? inner : text;
}

int64_t Saturate(__int128 v) {
  if (v > INT64_MAX) return INT64_MAX;
  if (v < -INT64_MAX) return -INT64_MAX;
  return static_cast<int64_t>(v);
}

// Evaluates `text` and adds its value (a text read as a number) to `sum`.
Status AddValue(Slice text, int64_t* sum) {
  if (text.empty()) return Status::kOk;
  AreaMark mark;
  Status st = Evaluate(text);
  if (st.failed()) return mark.Release(st);
  int64_t value = st == kTextValue ? ParseNumber(Area().Top()) : Area().TopNumber();
  *sum = Saturate(static_cast<__int128>(*sum) + value);
  return mark.Release(Status::kOk);
}

// Evaluates `text` to a whole number.
Status WholeValue(Slice text, int64_t* out) {
  AreaMark mark;
  Status st = Evaluate(text);
  if (st.failed()) return mark.Release(st);
  *out = IntegerOf(st == kTextValue ? ParseNumber(Area().Top()) : Area().TopNumber());
  return mark.Release(Status::kOk);
}

Status ReadCounter(Slice name, int64_t* out) {
  AreaMark mark;
  Status st = ReadVariable(name);
  if (st.failed()) return mark.Release(st);
  *out = st == kNumberValue ? IntegerOf(Area().TopNumber()) : 0;
  return mark.Release(Status::kOk);
}

Status StoreCounter(Slice name, int64_t whole) {
  AreaMark mark;
  return mark.Release(AssignNumber(name, Scale(whole)));
}

// ---- Choice -----------------------------------------------------------------------------

// CHK# and CHK$: the condition, then only the arguments the choice needs.
Status Choose(FunctionCall& call, int kind) {
  FunctionArguments args(call);
  AreaMark mark;
  if (args.count() < 1) return Status::kSyntaxError;
  int64_t condition = 0;
  RETURN_IF_FAILED(args.Integer(1, 0, &condition));
  int from = condition != 0 ? 2 : 3;
  int to = condition != 0 ? std::min(2, args.count()) : args.count();
  Status result = Status(kind);
  bool have_value = false;
  for (int i = from; i <= to; ++i) {
    // Only the last value counts: the earlier ones are released.
    Area().Release(mark.depth());
    have_value = false;
    if (!args.given(i)) {
      result = Status(kind);
      continue;
    }
    result = call.Evaluate(i);
    if (result == Status::kNullExpression) {
      result = Status(kind);
      continue;
    }
    if (result.failed()) return mark.Release(result);
    have_value = true;
  }
  if (result != Status(kind)) return mark.Release(Status::kTypeWarning);
  if (!have_value) {
    return kind == kNumberValue ? ReturnNumber(mark, 0) : ReturnText(mark, Slice());
  }
  return kind == kNumberValue ? ReturnNumber(mark, Area().TopNumber())
                              : ReturnText(mark, Area().Top());
}

}  // namespace

// _#(n or keyword; a; b): element n + a of the accumulators, read, or
// written by an assignment to the call (or, with b, set to b). The keywords:
// CLS clears the accumulators; DIM makes room for elements 0..a (255 when a
// is not given), keeping their values. A text that is neither names a
// numeric variable and stands for its position in its list (from 0); one
// that names none gives 0.
Status NumericArray(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  int64_t n = 0;
  if (args.is_text(1)) {
    Slice word = args.text(1);
    if (word == Slice("CLS") || word == Slice("DIM")) {
      if (call.assigning()) return Status::kSyntaxError;
      if (word == Slice("CLS")) {
        RETURN_IF_FAILED(ClearArray());
      } else {
        int64_t bound = kDefaultArrayBound;
        RETURN_IF_FAILED(args.Integer(2, kDefaultArrayBound, &bound));
        RETURN_IF_FAILED(DimensionArray(bound));
      }
      return ReturnNumber(mark, 0);
    }
    VariableRef ref = FindVariable(word);
    bool numeric = ref.kind == kNumberVariable || ref.kind == kIntegerVariable;
    if (!numeric || ref.index == kNotFound) {
      return call.assigning() ? Status(Status::kOk) : ReturnNumber(mark, 0);
    }
    n = ref.index;
  } else {
    RETURN_IF_FAILED(args.Integer(1, 0, &n));
  }
  int64_t a = 0;
  RETURN_IF_FAILED(args.Integer(2, 0, &a));
  int64_t index = n + a;
  if (index < 0 || index > kMaxArrayIndex) return Status::kDataOutBound;
  int element = static_cast<int>(index);
  if (call.assigning()) {
    if (call.assigned_kind() != kNumberValue) return Status::kTypeMismatch;
    return StoreElementValue(element, NumberOf(call.assigned_value()));
  }
  if (args.count() == 3 && args.given(3)) {
    int64_t value = 0;
    RETURN_IF_FAILED(args.Number(3, 0, &value));
    RETURN_IF_FAILED(StoreElementValue(element, value));
    return ReturnNumber(mark, value);
  }
  return ReturnNumber(mark, ReadElementValue(element));
}

// FN#ACUM(expression; condition; repeat condition) or
// FN#ACUM(expression; counter; start; limit): the sum of the expression's
// values. The arguments arrive unevaluated, each without one pair of
// enclosing parentheses.
Status Accumulate(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 4));
  Slice expression = WithoutParentheses(args.text(1));
  int64_t sum = 0;
  if (args.count() == 4) {
    Slice counter = WithoutParentheses(args.text(2));
    if (VariableKindOf(counter) != kIntegerVariable) {
      return SetDetail(Status::kSyntaxError, counter);
    }
    int64_t start = 0, limit = 0;
    RETURN_IF_FAILED(WholeValue(WithoutParentheses(args.text(3)), &start));
    RETURN_IF_FAILED(WholeValue(WithoutParentheses(args.text(4)), &limit));
    start = std::clamp<int64_t>(start, INT16_MIN, INT16_MAX);
    RETURN_IF_FAILED(StoreCounter(counter, start));
    for (;;) {
      int64_t value = 0;
      RETURN_IF_FAILED(ReadCounter(counter, &value));
      if (value > limit) break;
      RETURN_IF_FAILED(AddValue(expression, &sum));
      RETURN_IF_FAILED(ReadCounter(counter, &value));
      // The counter is a 16-bit word: at its top it would wrap and never
      // pass the limit.
      if (value >= INT16_MAX) break;
      RETURN_IF_FAILED(StoreCounter(counter, value + 1));
    }
    return ReturnNumber(mark, sum);
  }
  Slice condition = WithoutParentheses(args.text(2));
  Slice repeat = WithoutParentheses(args.text(3));
  if (repeat.empty()) repeat = condition;
  Status holds = Condition(condition);
  if (holds.failed()) return holds;
  if (holds == 1) {
    RETURN_IF_FAILED(AddValue(expression, &sum));
    // An empty repeat condition would hold for ever: the sum is taken once.
    while (!repeat.empty()) {
      holds = Condition(repeat);
      if (holds.failed()) return holds;
      if (holds != 1) break;
      RETURN_IF_FAILED(AddValue(expression, &sum));
    }
  }
  return ReturnNumber(mark, sum);
}

Status ChooseNumber(FunctionCall& call) { return Choose(call, kNumberValue); }
Status ChooseText(FunctionCall& call) { return Choose(call, kTextValue); }

// FN$FLDS(name): the value of the field or variable the argument names,
// else what the screen-field handler answers for it.
Status Indirect(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 1));
  if (!args.given(1)) return Status::kSyntaxError;
  Status st = Evaluate(args.text(1));
  if (st.failed()) return mark.Release(st);
  Slice name = Trim(st == kTextValue ? Area().Top() : FormatNumber(Area().TopNumber(), Decimals()));
  if (name.empty()) return mark.Release(Status::kSyntaxError);
  if (FindChar(name, '{', true) != kNotFound) {
    st = RecordFields().Read(name);
  } else {
    int kind = VariableKindOf(name);
    if (kind == kIntegerVariable || kind == kNumberVariable || kind == kTextVariable) {
      st = ReadVariable(name);
    } else {
      Slice answer = CallHook(kHookScreenField, kScreenFieldRead, name);
      if (!answer.ok() || answer.empty()) return SetDetail(Status::kSyntaxError, name);
      return ReturnText(mark, answer);
    }
  }
  if (st.failed()) return mark.Release(st);
  if (st == kNumberValue) return ReturnText(mark, FormatNumber(Area().TopNumber(), Decimals()));
  return ReturnText(mark, Area().Top());
}

// ENVRON$(name; slot = 1): a command-line option, or a slot of the
// environment table above 1; an assignment to the call stores that slot.
Status Environment(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice name;
  int64_t slot = 1;
  RETURN_IF_FAILED(args.Text(1, Slice(), &name));
  RETURN_IF_FAILED(args.Integer(2, 1, &slot));
  if (call.assigning()) {
    if (slot <= 1 || slot >= kEnvironmentSlotCount) return Status::kSyntaxError;
    Slice value = call.assigned_kind() == kTextValue
                      ? call.assigned_value()
                      : FormatNumber(NumberOf(call.assigned_value()), Decimals());
    return mark.Release(SetEnvironment(static_cast<int>(slot), value));
  }
  if (slot > 1) {
    Slice value = slot < kEnvironmentSlotCount ? GetEnvironment(static_cast<int>(slot)) : Slice();
    return ReturnText(mark, value);
  }
  if (name.empty()) return ReturnText(mark, Slice());
  return ReturnText(mark, CommandLineValue(name));
}

// _$(table = 30; index = 0; value): with a value, it is pushed on tables 30
// and above and replaces item `index` below; then the top item (30 and
// above) or item `index` is the result. A negative index gives nothing.
Status StringTable(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(0, 3));
  int64_t table = strtab::kProcedureResults, index = 0;
  RETURN_IF_FAILED(args.Integer(1, strtab::kProcedureResults, &table));
  RETURN_IF_FAILED(args.Integer(2, 0, &index));
  if (table < 0 || table >= strtab::kTableCount) return Status::kStrOutBound;
  const int t = static_cast<int>(table);
  const bool stack = t >= strtab::kProcedureResults;
  if (args.count() == 3) {
    Slice value;
    RETURN_IF_FAILED(args.Text(3, Slice(), &value));
    if (stack) {
      RETURN_IF_FAILED(strtab::Push(t, value));
    } else if (index >= 0) {
      if (index >= strtab::kMaxItems) return Status::kStrOutBound;
      RETURN_IF_FAILED(strtab::Set(t, static_cast<int>(index), value));
    }
  }
  if (index < 0) return ReturnText(mark, Slice());
  if (stack) return ReturnText(mark, strtab::Top(t));
  if (index >= strtab::kMaxItems) return ReturnText(mark, Slice());
  return ReturnText(mark, strtab::Get(t, static_cast<int>(index)));
}

// SQLCHILD(arguments ...): the dispatcher has evaluated the arguments one
// level deeper; the result is 0.
Status Nested(FunctionCall&) {
  AreaMark mark;
  return ReturnNumber(mark, 0);
}

}  // namespace tessaly::builtins
