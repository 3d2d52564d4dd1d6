// The functions on values: FN#VALN, FN$DATE, FN$MASK, TIME$ and MACRO$.

#include <algorithm>
#include <cstdint>

#include "core/flags.h"
#include "core/folders.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/builtins_data_internal.h"
#include "data/conditions.h"
#include "data/dates.h"
#include "data/definitions.h"
#include "data/masks.h"
#include "data/streams.h"
#include "expr/evaluator.h"

namespace tessaly::builtins {
namespace {

// Form bit of FN$DATE and TIME$: the first argument names a file whose
// modification date or time is wanted.
constexpr int kFileTimeForm = 0x80;
constexpr int kFormMask = 0x7F;

// MACRO$ flags.
constexpr int kMacroValueMark = 4;
constexpr int kMacroEvaluate = 8;

// A second argument of FN#VALN above this is a date, not an amount.
constexpr int64_t kDateNumberFloor = 10000;

// The unit of a FN#VALN kind letter: D days, M months, Y years, V the whole
// date; 0 for any other text.
int DateUnitOf(Slice kind) {
  if (kind.size() != 1) return 0;
  switch (kind[0]) {
    case 'D':
      return kDateDays;
    case 'M':
      return kDateMonths;
    case 'Y':
      return kDateYears;
    case 'V':
      return kDateWhole;
    default:
      return 0;
  }
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Digits(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// A time of day typed as hh:mm, hh:mm:ss, hh:mm:ss.f (1-3 digits of
// fraction), hhmm or hhmmss: milliseconds, or -1 when it is none of these
// or names no time of a day. An empty text is the current time.
int64_t ReadTimeOfDay(Slice text) {
  std::string_view t = Trim(text).view();
  if (t.empty()) return TimeNow();
  int hours = 0, minutes = 0, seconds = 0, millis = 0;
  size_t colon = t.find(':');
  if (colon == std::string_view::npos) {
    if (!AllDigits(t) || (t.size() != 4 && t.size() != 6)) return -1;
    hours = Digits(t.substr(0, 2));
    minutes = Digits(t.substr(2, 2));
    if (t.size() == 6) seconds = Digits(t.substr(4, 2));
  } else {
    std::string_view h = t.substr(0, colon);
    std::string_view rest = t.substr(colon + 1);
    size_t second_colon = rest.find(':');
    std::string_view m = rest.substr(0, second_colon);
    std::string_view s;
    if (second_colon != std::string_view::npos) {
      s = rest.substr(second_colon + 1);
      size_t dot = s.find('.');
      if (dot != std::string_view::npos) {
        std::string_view f = s.substr(dot + 1);
        s = s.substr(0, dot);
        if (!AllDigits(f) || f.size() > 3) return -1;
        millis = Digits(f);
        for (size_t i = f.size(); i < 3; ++i) millis *= 10;
      }
      if (!AllDigits(s) || s.size() > 2) return -1;
      seconds = Digits(s);
    }
    if (!AllDigits(h) || h.size() > 2 || !AllDigits(m) || m.size() > 2) return -1;
    hours = Digits(h);
    minutes = Digits(m);
  }
  if (hours > 23 || minutes > 59 || seconds > 59) return -1;
  return ((hours * 60LL + minutes) * 60 + seconds) * 1000 + millis;
}

}  // namespace

// FN#VALN(value; kind = "N"; other): the number typed in the value (N), or a
// part of the stored date, the date shifted by an amount, or the distance
// to a second date, in days (D), months (M), years (Y) or date numbers (V).
Status Value(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  Slice value, kind;
  RETURN_IF_FAILED(args.Text(1, Slice(), &value));
  RETURN_IF_FAILED(args.Text(2, "N", &kind));
  if (kind == Slice("N")) {
    Slice cleaned = CleanNumber(value);
    if (!cleaned.ok()) return mark.Release(cleaned.status());
    return ReturnNumber(mark, ParseNumber(cleaned));
  }
  int unit = DateUnitOf(kind);
  if (unit == 0) return SetDetail(Status::kSyntaxError, kind);
  if (!args.given(3)) return ReturnInteger(mark, DatePart(value, unit));
  int64_t other = 0;
  if (args.is_text(3)) {
    other = DatePart(args.text(3), kDateWhole);
  } else {
    RETURN_IF_FAILED(args.Integer(3, 0, &other));
  }
  if (other > kDateNumberFloor) return ReturnInteger(mark, DateDistance(value, other, unit));
  return ReturnInteger(mark, DateShift(value, other, unit));
}

// FN$DATE(date = today; form = 0): the date in form 0-4; with form bit 0x80
// the date a file was last written.
Status Date(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(0, 2));
  int64_t form = 0;
  RETURN_IF_FAILED(args.Integer(2, 0, &form));
  Slice stored;
  if (form & kFileTimeForm) {
    Slice name;
    RETURN_IF_FAILED(args.Text(1, Slice(), &name));
    Slice path = ExpandNames(name);
    int64_t date = path.ok() && !path.empty() ? FileTime(path, kFileWritten, kFileDate) : -1;
    if (date < 0) return ReturnText(mark, Slice());
    stored = DateFromNumber(date);
  } else if (!args.given(1)) {
    stored = DateFromNumber(TodayDate());
  } else {
    Slice text;
    RETURN_IF_FAILED(args.TextOrNumber(1, Slice(), &text));
    stored = FindFirstOf(text, "-./", true) != kNotFound ? ParseDate(text) : text;
  }
  if (!stored.ok()) return mark.Release(stored.status());
  return ReturnText(mark, FormatDate(stored, static_cast<int>(form & kFormMask)));
}

// FN$MASK(mask; value; mode = 255): the value laid into the mask, after a
// shorthand or self-sizing mask has been written out.
Status Mask(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(2, 3));
  Slice mask, value;
  int64_t mode = kMaskByContent;
  RETURN_IF_FAILED(args.Text(1, Slice(), &mask));
  RETURN_IF_FAILED(args.TextOrNumber(2, Slice(), &value));
  RETURN_IF_FAILED(args.Integer(3, kMaskByContent, &mode));
  Slice prepared = PrepareMask(mask);
  if (!prepared.ok()) return mark.Release(prepared.status());
  return ReturnText(mark, ApplyMask(prepared, value, static_cast<int>(mode & 0xFF)));
}

// TIME$(time = now; form = 0): the time of day as hhmm, hh:mm, hh:mm:ss or
// hh:mm:ss.fff by the form bits; with form bit 0x80 the time a file was
// last written. A number is 128.
Status Time(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(0, 2));
  int64_t form = 0;
  RETURN_IF_FAILED(args.Integer(2, 0, &form));
  if (args.is_number(1)) return Status::kTypeMismatch;
  int64_t ms = 0;
  if (!args.given(1)) {
    ms = TimeNow();
  } else if (form & kFileTimeForm) {
    Slice path = ExpandNames(args.text(1));
    ms = path.ok() && !path.empty() ? FileTime(path, kFileWritten, kFileTimeOfDay) : -1;
    if (ms < 0) return ReturnText(mark, Slice());
  } else {
    ms = ReadTimeOfDay(args.text(1));
    if (ms < 0) return SetDetail(Status::kBadInputData, args.text(1));
  }
  return ReturnText(mark, FormatTime(ms, static_cast<int>(form & kFormMask)));
}

// MACRO$(text; flags = 0; value): "[$]" marks replaced by the value (flags
// bit 4), or the bracket references expanded with the low flag bits; with
// bit 8 the result is then evaluated and its text returned.
Status Macro(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  Slice text, value;
  int64_t flags = 0;
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  RETURN_IF_FAILED(args.Integer(2, 0, &flags));
  RETURN_IF_FAILED(args.TextOrNumber(3, Slice(), &value));
  Slice expanded = (flags & kMacroValueMark)
                       ? ReplaceValueMark(text, value)
                       : BracketExpand(text, static_cast<int>(flags & 0xFF &
                                                              ~(kMacroValueMark | kMacroEvaluate)));
  if (!expanded.ok()) return mark.Release(expanded.status());
  if (flags & kMacroEvaluate) expanded = EvaluateToText(expanded);
  if (!expanded.ok()) return mark.Release(expanded.status());
  return ReturnText(mark, expanded);
}

}  // namespace tessaly::builtins
