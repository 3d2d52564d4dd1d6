#include "data/dates.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "platform/clock.h"

namespace tessaly {
namespace {

constexpr int64_t kCycleDays = 4 * 365 + 1;  // four years hold exactly one 29 February
// Amounts beyond this move any date out of the calendar; capping them keeps
// the arithmetic far from overflow.
constexpr int64_t kMaxShift = 1'000'000'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A system word, or its default before the system variables exist.
int WordOr(int index, int fallback) {
  if (rtarray::Get(rtarray::kIntegerVariables, index) == nullptr) return fallback;
  return Word(index);
}

// ---- Calendar --------------------------------------------------------------------

int64_t MonthLength(int64_t year, int64_t month) {
  switch (month) {
    case 2:
      return year % 4 == 0 ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    default:
      return 31;
  }
}

struct Ymd {
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
  bool ok = false;  // every part made of digits
};

// `len` digits at `from`; -1 when they are not all there or not all digits.
int64_t DigitsAt(std::string_view s, size_t from, size_t len) {
  if (from > s.size() || s.size() - from < len || len == 0) return -1;
  int64_t n = 0;
  for (size_t i = from; i < from + len; ++i) {
    if (!IsDigit(s[i])) return -1;
    n = n * 10 + (s[i] - '0');
  }
  return n;
}

// Year from the first four characters, month from the two that begin four
// before the end, day from the last two.
Ymd ReadStored(Slice stored) {
  Ymd r;
  if (!stored.ok()) return r;
  std::string_view s = Trim(stored, kTrimBoth, Slice(" ", 1)).view();
  if (s.size() < 4) return r;
  r.year = DigitsAt(s, 0, 4);
  r.month = DigitsAt(s, s.size() - 4, 2);
  r.day = DigitsAt(s, s.size() - 2, 2);
  r.ok = r.year >= 0 && r.month >= 0 && r.day >= 0;
  return r;
}

int64_t NumberOf(int64_t year, int64_t month, int64_t day) {
  return year * 10000 + month * 100 + day;
}

// The leading decimal digits of a trimmed text, capped far above any date
// part; 0 when there are none.
int64_t LeadingNumber(std::string_view s) {
  s = Trim(Slice::Of(s)).view();
  int64_t n = 0;
  for (char c : s) {
    if (!IsDigit(c)) break;
    n = std::min<int64_t>(n * 10 + (c - '0'), 1'000'000'000);
  }
  return n;
}

std::string TwoDigits(int64_t n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02lld", static_cast<long long>(n));
  return buf;
}

std::string FourDigits(int64_t n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(n));
  return buf;
}

// The date names of the current language (message 0117 in environment slot
// 0), each part falling back to the English one.
struct DateNames {
  Slice months;
  Slice pattern;
};

DateNames CurrentDateNames() {
  Slice neutral(kNeutralDateNames);
  DateNames names{Unquote(Item(neutral, ',', 1)), Unquote(Item(neutral, ',', 2))};
  Slice locale = strtab::Get(strtab::kEnvironment, 0);
  if (!locale.ok() || locale.empty()) return names;
  Slice text = Item(locale, '\0', 2);
  Slice months = Unquote(Item(text, ',', 1));
  Slice pattern = Unquote(Item(text, ',', 2));
  if (months.ok() && !months.empty()) names.months = months;
  if (pattern.ok() && !pattern.empty()) names.pattern = pattern;
  return names;
}

// "[D]", "[M]" and "[Y]" replaced in one pass, so that a month name is never
// read as a mark.
std::string FillPattern(std::string_view pattern, int64_t number, std::string_view month) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '[' && i + 2 < pattern.size() && pattern[i + 2] == ']') {
      char mark = pattern[i + 1];
      if (mark == 'D' || mark == 'M' || mark == 'Y') {
        if (mark == 'D') out += TwoDigits(number % 100);
        if (mark == 'M') out.append(month);
        if (mark == 'Y') out += FourDigits(number / 10000);
        i += 2;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

Slice Blanks(AreaMark& mark, size_t n) { return mark.Keep(Slice::Of(std::string(n, ' '))); }

}  // namespace

// ---- Language and year window ---------------------------------------------------------

bool LanguageDayFirst() {
  Slice lang = strtab::Get(strtab::kEnvironment, 4);
  if (!lang.ok()) return false;
  std::string_view l = lang.view();
  return l == "ES" || l == "FR" || l == "IT";
}

int WidenYear(int two_digit_year) {
  int base = WordOr(kBYear, 2000);
  int pivot = WordOr(kBkYear, 80);
  return two_digit_year < pivot ? base + two_digit_year : base + two_digit_year - 100;
}

// ---- Dates --------------------------------------------------------------------------------

bool IsValidDateNumber(int64_t number) {
  if (number < 0) return false;
  int64_t year = number / 10000;
  int64_t month = number / 100 % 100;
  int64_t day = number % 100;
  return year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= MonthLength(year, month);
}

Slice DateFromNumber(int64_t number) {
  if (!IsValidDateNumber(number)) return Slice::Error(Status::kBadInputData);
  AreaMark mark;
  std::string text =
      FourDigits(number / 10000) + TwoDigits(number / 100 % 100) + TwoDigits(number % 100);
  return mark.Keep(Slice::Of(text));
}

int64_t DatePart(Slice stored, int part) {
  Ymd d = ReadStored(stored);
  switch (part) {
    case kDateDays:
      return std::max<int64_t>(d.day, 0);
    case kDateMonths:
      return std::max<int64_t>(d.month, 0);
    case kDateYears:
      return std::max<int64_t>(d.year, 0);
    case kDateWhole:
      return d.ok ? NumberOf(d.year, d.month, d.day) : 0;
    default:
      return 0;
  }
}

int DaysInMonth(Slice stored) {
  Ymd d = ReadStored(stored);
  return static_cast<int>(MonthLength(std::max<int64_t>(d.year, 0), d.month));
}

int64_t TodayDate() {
  platform::LocalTime now = platform::LocalNow();
  if (now.year < 1970) return 0;
  return NumberOf(now.year, now.month, now.day);
}

Slice FormatDate(Slice stored, int form) {
  if (!stored.ok()) return stored;
  AreaMark mark;
  Slice t = Trim(stored);
  int64_t number = 0;
  if (t.empty() && TestBits(kAuxStat, kTodayDefaultBit)) {
    number = TodayDate();
  } else {
    number = DatePart(t, kDateWhole);
  }
  if (!IsValidDateNumber(number)) {
    if (form == 1) return Blanks(mark, 8);
    if (form == 2) return Blanks(mark, 10);
    return mark.Keep(Slice());
  }
  const int64_t year = number / 10000;
  const int64_t month = number / 100 % 100;
  const int64_t day = number % 100;
  std::string out;
  switch (form) {
    case 0:
      return mark.Keep(DateFromNumber(number));
    case 1:
    case 2: {
      bool day_first = LanguageDayFirst();
      out = TwoDigits(day_first ? day : month) + "-" + TwoDigits(day_first ? month : day) + "-" +
            (form == 1 ? TwoDigits(year % 100) : FourDigits(year));
      break;
    }
    case 3:
    case 4: {
      DateNames names = CurrentDateNames();
      std::string_view name = Item(names.months, ',', static_cast<int>(month)).view();
      if (form == 3) {
        out = FillPattern("[M] [Y]", number, name.substr(0, std::min<size_t>(3, name.size())));
      } else {
        out = FillPattern(names.pattern.view(), number, name);
      }
      break;
    }
    default:
      break;
  }
  return mark.Keep(Slice::Of(out));
}

Slice ParseDate(Slice typed) {
  if (!typed.ok()) return typed;
  AreaMark mark;
  Slice trimmed = Trim(typed);
  std::string_view t = trimmed.view();
  size_t sep_at = t.find_first_of("-./");
  int64_t day = 0;
  int64_t month = 0;
  int64_t year = 0;
  bool has_year = false;
  if (sep_at == std::string_view::npos) {
    bool six_digits = t.size() == 6 && std::all_of(t.begin(), t.end(), IsDigit);
    if (!six_digits) {
      if (t.empty()) {
        if (TestBits(kAuxStat, kTodayDefaultBit)) return mark.Keep(DateFromNumber(TodayDate()));
        return Blanks(mark, 8);
      }
      // The stored form typed directly: kept when it is a real date.
      bool stored_form = t.size() == 8 && std::all_of(t.begin(), t.end(), IsDigit);
      if (!stored_form) return mark.Keep(Slice::Error(Status::kBadInputData));
      return mark.Keep(DateFromNumber(DatePart(trimmed, kDateWhole)));
    }
    // DDMMYY in every language.
    day = DigitsAt(t, 0, 2);
    month = DigitsAt(t, 2, 2);
    year = WidenYear(static_cast<int>(DigitsAt(t, 4, 2)));
    has_year = true;
  } else {
    char sep = t[sep_at];
    std::string_view first = Item(trimmed, sep, 1).view();
    std::string_view second = Item(trimmed, sep, 2).view();
    std::string_view third = Trim(Item(trimmed, sep, 3)).view();
    bool day_first = LanguageDayFirst();
    day = LeadingNumber(day_first ? first : second);
    month = LeadingNumber(day_first ? second : first);
    has_year = !third.empty();
    year = LeadingNumber(third);
    if (third.size() == 2) year = WidenYear(static_cast<int>(year));
  }
  if (day == 0 || month == 0 || !has_year) return mark.Keep(Slice());
  // Parts out of range never fold into another date (day 105 of February is
  // not the 5th of March).
  if (day > 31 || month > 12) return mark.Keep(Slice::Error(Status::kBadInputData));
  return mark.Keep(DateFromNumber(NumberOf(year, month, day)));
}

int64_t DateShift(Slice stored, int64_t amount, int unit) {
  Ymd d = ReadStored(stored);
  if (!d.ok) return 0;
  amount = std::clamp(amount, -kMaxShift, kMaxShift);
  int64_t year = d.year;
  int64_t month = d.month;
  int64_t day = d.day;
  switch (unit) {
    case kDateDays:
      day += amount;
      break;
    case kDateMonths:
      month += amount;
      break;
    case kDateYears:
      year += amount;
      break;
    default:
      return NumberOf(year, month, day);
  }
  // The month first, so that a month move clamps its day to the month it
  // lands in (31 December + 2 months is 28 February, not 3 March).
  if (month < 1 || month > 12) {
    int64_t q = (month - 1 >= 0) ? (month - 1) / 12 : -((12 - month) / 12);
    year += q;
    month -= 12 * q;
  }
  if (unit == kDateMonths) day = std::min(day, MonthLength(year, month));
  // Whole four-year cycles at once, then month by month.
  int64_t cycles = (day - 1 >= 0) ? (day - 1) / kCycleDays : -((kCycleDays - day) / kCycleDays);
  year += 4 * cycles;
  day -= kCycleDays * cycles;
  while (day > MonthLength(year, month)) {
    day -= MonthLength(year, month);
    if (++month > 12) {
      month = 1;
      ++year;
    }
  }
  return NumberOf(year, month, day);
}

int64_t DateDistance(Slice stored, int64_t second, int unit) {
  Ymd d = ReadStored(stored);
  if (!d.ok) return 0;
  // Far beyond any date, and far from the ends of the 64-bit range.
  second = std::clamp<int64_t>(second, -4'000'000'000'000'000'000, 4'000'000'000'000'000'000);
  const int64_t year2 = second / 10000;
  const int64_t month2 = second / 100 % 100;
  const int64_t day2 = second % 100;
  switch (unit) {
    case kDateYears:
      return d.year - year2;
    case kDateMonths:
      return (d.year - year2) * 12 + (d.month - month2);
    case kDateDays: {
      int64_t days = (d.year - year2) * 365 + (d.day - day2);
      // The months between the two, walked in the first date's year.
      for (int64_t m = month2; m < d.month; ++m) days += MonthLength(d.year, m);
      for (int64_t m = d.month; m < month2; ++m) days -= MonthLength(d.year, m);
      return days;
    }
    case kDateWhole:
      return NumberOf(d.year, d.month, d.day) - second;
    default:
      return 0;
  }
}

// ---- Times of day -------------------------------------------------------------------------

int64_t TimeNow() {
  int64_t ms = platform::LocalNow().ms_of_day;
  return ms / 1000 * 1000;
}

int64_t ParseTime(Slice text) {
  if (!text.ok()) return 0;
  Slice trimmed = Trim(text);
  std::string_view t = trimmed.view();
  if (t.empty()) return TimeNow();
  int64_t millis = 0;
  size_t dot = t.find('.');
  if (dot != std::string_view::npos) {
    int64_t scale = 100;
    for (size_t i = dot + 1; i < t.size() && i <= dot + 3 && IsDigit(t[i]); ++i) {
      millis += (t[i] - '0') * scale;
      scale /= 10;
    }
    t = t.substr(0, dot);
  }
  Slice head = Slice::Of(t);
  int items = CountItems(head, ':');
  if (items < 1 || items > 3) return millis;
  int64_t parts[3] = {0, 0, 0};  // hours, minutes, seconds
  for (int i = 0; i < items; ++i) {
    parts[3 - items + i] = LeadingNumber(Item(head, ':', i + 1).view());
  }
  return parts[0] * 3'600'000 + parts[1] * 60'000 + parts[2] * 1000 + millis;
}

Slice FormatTime(int64_t milliseconds, int form) {
  AreaMark mark;
  int64_t ms = std::max<int64_t>(milliseconds, 0);
  std::string sep = (form & kTimeColons) ? ":" : "";
  std::string out = TwoDigits(ms / 3'600'000) + sep + TwoDigits(ms / 60'000 % 60);
  if (form & kTimeSeconds) out += sep + TwoDigits(ms / 1000 % 60);
  if (form & kTimeMillis) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", static_cast<int>(ms % 1000));
    out += '.';
    out += buf;
  }
  return mark.Keep(Slice::Of(out));
}

}  // namespace tessaly
