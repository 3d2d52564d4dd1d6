#include "app/app_functions.h"

#include <iterator>

#include "app/bank_accounts.h"
#include "app/numbering.h"
#include "app/pay_dates.h"
#include "app/spanish_words.h"
#include "app/vat_summary.h"
#include "core/flags.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "expr/functions.h"
#include "expr/variables.h"

namespace tessaly {
namespace {

// An argument left empty between separators may reach a handler as this
// one character; it reads as absent.
constexpr char kEmptyArgument = 27;

struct Argument {
  enum Kind { kAbsent, kNumber, kText } kind = kAbsent;
  int64_t number = 0;
  Slice text;
};

// Argument i evaluated. The value lives on the string area until the
// handler's mark is released.
Status GetArgument(FunctionCall& call, int i, Argument* out) {
  *out = Argument();
  Slice written = call.argument(i);
  if (i > call.argument_count() || written.empty() ||
      (written.size() == 1 && written[0] == kEmptyArgument)) {
    return Status::kOk;
  }
  Status st = call.Evaluate(i);
  if (st == Status::kNullExpression) return Status::kOk;
  if (st == kNumberValue) {
    out->kind = Argument::kNumber;
    out->number = NumberOf(Area().Top());
  } else if (st == kTextValue) {
    out->kind = Argument::kText;
    out->text = Area().Top();
  } else {
    return st;
  }
  return Status::kOk;
}

Status CountCheck(const FunctionCall& call, int min, int max) {
  int n = call.argument_count();
  return n < min || n > max ? Status(Status::kSyntaxError) : Status(Status::kOk);
}

// A scaled number; a text is 128.
Status NumberArgument(FunctionCall& call, int i, int64_t fallback, int64_t* value) {
  Argument a;
  Status st = GetArgument(call, i, &a);
  if (!st.ok()) return st;
  if (a.kind == Argument::kText) return Status::kTypeMismatch;
  *value = a.kind == Argument::kNumber ? a.number : fallback;
  return Status::kOk;
}

// A whole number (the scaled value rounded); a text is 128.
Status IntegerArgument(FunctionCall& call, int i, int64_t fallback, int64_t* value) {
  int64_t scaled = 0;
  Status st = NumberArgument(call, i, Scale(fallback), &scaled);
  if (st.ok()) *value = IntegerOf(scaled);
  return st;
}

// A text; a number in its text form.
Status TextArgument(FunctionCall& call, int i, Slice fallback, Slice* value) {
  Argument a;
  Status st = GetArgument(call, i, &a);
  if (!st.ok()) return st;
  switch (a.kind) {
    case Argument::kAbsent:
      *value = fallback;
      break;
    case Argument::kText:
      *value = a.text;
      break;
    case Argument::kNumber:
      *value = FormatNumber(a.number, Decimals());
      break;
  }
  return value->ok() ? Status(Status::kOk) : value->status();
}

Status KeepText(AreaMark& mark, Slice text) {
  if (!text.ok()) return mark.Release(text.status());
  Slice kept = mark.Keep(text);
  return kept.ok() ? Status(kTextValue) : kept.status();
}

Status KeepNumber(AreaMark& mark, int64_t value) {
  Slice kept = mark.KeepNumber(value);
  return kept.ok() ? Status(kNumberValue) : kept.status();
}

#define RETURN_IF_FAILED(expr)                       \
  do {                                               \
    Status status_ = (expr);                         \
    if (!status_.ok()) return mark.Release(status_); \
  } while (0)

// ---- The functions ------------------------------------------------------------

Status VatValueFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 2, 3));
  Slice summary;
  int64_t n = 0, selector = 0, value = 0;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &summary));
  RETURN_IF_FAILED(IntegerArgument(call, 2, 0, &n));
  RETURN_IF_FAILED(IntegerArgument(call, 3, 0, &selector));
  RETURN_IF_FAILED(VatValue(summary, n, selector, &value));
  return KeepNumber(mark, value);
}

Status VatSummaryFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 2, 3));
  Slice summary;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &summary));
  if (call.argument_count() == 2) {
    Slice rates;
    RETURN_IF_FAILED(TextArgument(call, 2, Slice(), &rates));
    return KeepText(mark, VatWithRates(summary, rates));
  }
  int64_t rate = 0, amount = 0;
  RETURN_IF_FAILED(NumberArgument(call, 2, 0, &rate));
  RETURN_IF_FAILED(NumberArgument(call, 3, 0, &amount));
  return KeepText(mark, VatAdd(summary, rate, amount));
}

Status AutonumFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 1, 2));
  Slice name;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &name));
  Argument value;
  RETURN_IF_FAILED(GetArgument(call, 2, &value));
  if (value.kind == Argument::kText) return mark.Release(Status::kSyntaxError);
  Slice key = CounterKey(name);
  Slice path = CounterFilePath();
  if (!key.ok()) return mark.Release(key.status());
  if (!path.ok()) return mark.Release(path.status());
  if (value.kind == Argument::kAbsent) {
    int64_t next = 0;
    RETURN_IF_FAILED(NextCounterValue(path, key, &next));
    return KeepNumber(mark, next);
  }
  const int64_t whole = Scale(IntegerOf(value.number));
  RETURN_IF_FAILED(StoreCounter(path, key, whole));
  return KeepNumber(mark, whole);
}

Status DocSerFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 0, 2));
  Slice series, date;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &series));
  RETURN_IF_FAILED(TextArgument(call, 2, Slice(), &date));
  return KeepText(mark, SeriesCode(series, date));
}

Status WordsFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 1, 2));
  Argument first;
  RETURN_IF_FAILED(GetArgument(call, 1, &first));
  bool number_form = first.kind == Argument::kNumber;
  int64_t number = first.number;
  if (first.kind == Argument::kText && call.argument_count() == 1 && IsNumberText(first.text)) {
    number_form = true;
    number = ParseNumber(first.text);
  }
  if (number_form) {
    SetWord(kUser03, 0);
    return KeepText(mark, NumberInWords(number, Decimals(), SignedWord(kDx)));
  }
  int64_t width = 0;
  RETURN_IF_FAILED(IntegerArgument(call, 2, 0, &width));
  if (width < 0) width = 0;
  if (width > kMaxTextLength) width = kMaxTextLength;
  uint16_t cursor = Word(kUser03);
  Slice piece = NextTextPiece(first.kind == Argument::kText ? first.text : Slice(),
                              static_cast<int>(width), &cursor);
  SetWord(kUser03, cursor);
  return KeepText(mark, piece);
}

Status PayDateFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 5, 6));
  Slice date, pay_days;
  int64_t days = 0, day_step = 0, month_step = 0, n = 0;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &date));
  RETURN_IF_FAILED(IntegerArgument(call, 2, 0, &days));
  RETURN_IF_FAILED(IntegerArgument(call, 3, 0, &day_step));
  RETURN_IF_FAILED(IntegerArgument(call, 4, 0, &month_step));
  RETURN_IF_FAILED(IntegerArgument(call, 5, 0, &n));
  RETURN_IF_FAILED(TextArgument(call, 6, Slice(), &pay_days));
  Slice result = PayDate(date, days, day_step, month_step, n, pay_days);
  if (!result.ok()) return mark.Release(SetDetail(result.status(), date, true));
  return KeepText(mark, result);
}

Status IbanFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 5, 5));
  Slice parts[5];
  for (int i = 0; i < 5; ++i) RETURN_IF_FAILED(TextArgument(call, i + 1, Slice(), &parts[i]));
  return KeepText(mark, IbanParts(parts[0], parts[1], parts[2], parts[3], parts[4]));
}

Status ModFunction(FunctionCall& call) {
  AreaMark mark;
  RETURN_IF_FAILED(CountCheck(call, 1, 2));
  Slice text;
  int64_t modulus = 97, remainder = 0;
  RETURN_IF_FAILED(TextArgument(call, 1, Slice(), &text));
  RETURN_IF_FAILED(IntegerArgument(call, 2, 97, &modulus));
  if (!TextRemainder(text, modulus, &remainder)) {
    return mark.Release(SetDetail(Status::kBadInputData, text, true));
  }
  return KeepNumber(mark, Scale(remainder));
}

#undef RETURN_IF_FAILED

struct ApplicationFunction {
  const char* name;
  FunctionHandler handler;
};

// In registration order: their codes follow the built-ins in this order.
constexpr ApplicationFunction kFunctions[] = {
    {"VATv", &VatValueFunction},  {"VAT$", &VatSummaryFunction}, {"AUTONUM", &AutonumFunction},
    {"DocSer$", &DocSerFunction}, {"FN$TXTN", &WordsFunction},   {"PayDate$", &PayDateFunction},
    {"Iban$", &IbanFunction},     {"Mod", &ModFunction},
};
static_assert(std::size(kFunctions) == kApplicationFunctionCount);

}  // namespace

Status RegisterApplicationFunctions() {
  for (const ApplicationFunction& f : kFunctions) {
    Status st = RegisterFunction(Slice(f.name), f.handler);
    if (!st.ok()) return st;
  }
  return Status::kOk;
}

}  // namespace tessaly
