#include "app/pay_dates.h"

#include <algorithm>

#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/dates.h"

namespace tessaly {
namespace {

constexpr int64_t kDaysPerMonthStep = 30;
constexpr int kLastPayDay = 31;
// Far beyond any calendar move, and small enough that a product of two never
// overflows.
constexpr int64_t kFactorLimit = 1'000'000'000;

int64_t Clamped(int64_t v) { return std::clamp(v, -kFactorLimit, kFactorLimit); }

bool IsStoredDate(Slice text) {
  if (!text.ok() || text.size() != 8) return false;
  for (char c : text.view()) {
    if (c < '0' || c > '9') return false;
  }
  return IsValidDateNumber(DatePart(text, kDateWhole));
}

// The date number after moving `date` by `amount` units; 0 when it leaves
// the calendar.
int64_t Shifted(int64_t date, int64_t amount, int unit) {
  AreaMark mark;
  Slice stored = DateFromNumber(date);
  if (!stored.ok()) return 0;
  int64_t moved = DateShift(stored, amount, unit);
  return IsValidDateNumber(moved) ? moved : 0;
}

}  // namespace

Slice PayDate(Slice date, int64_t days, int64_t day_step, int64_t month_step, int64_t n,
              Slice pay_days) {
  AreaMark mark;
  if (n == 0) return mark.Keep(date);
  Slice stored = Trim(date);
  if (!IsStoredDate(stored)) return mark.Keep(Slice::Error(Status::kBadInputData));
  int64_t d = DatePart(stored, kDateWhole);
  days = Clamped(days);
  day_step = Clamped(day_step);
  month_step = Clamped(month_step);
  n = Clamped(n);

  if (days != 0 && days % kDaysPerMonthStep == 0 && day_step == 0) {
    d = Shifted(d, days / kDaysPerMonthStep, kDateMonths);
  } else {
    d = Shifted(d, days, kDateDays);
  }
  if (d != 0 && n != 1) {
    if (day_step != 0) {
      d = Shifted(d, day_step * (n - 1), kDateDays);
    } else if (month_step != 0) {
      d = Shifted(d, month_step * (n - 1), kDateMonths);
    }
  }
  if (d == 0) return mark.Keep(Slice::Error(Status::kBadInputData));

  int first = 0, next = 0;  // the smallest pay day, the smallest not before the day
  const int day = static_cast<int>(d % 100);
  const int count = CountItems(pay_days, ',');
  for (int i = 1; i <= count; ++i) {
    int p = Integer(Trim(Item(pay_days, ',', i)));
    if (p < 1 || p > kLastPayDay) continue;
    if (first == 0 || p < first) first = p;
    if (p >= day && (next == 0 || p < next)) next = p;
  }
  if (first != 0) {
    Slice current = DateFromNumber(d);
    const int month_length = DaysInMonth(current);
    // The next pay day of this month, a pay day past the month's end being
    // its last day; none left: the first pay day of the next month.
    const int target = next != 0 ? std::min(next, month_length) : first + month_length;
    if (target > day) d = Shifted(d, target - day, kDateDays);
    if (d == 0) return mark.Keep(Slice::Error(Status::kBadInputData));
  }
  return mark.Keep(DateFromNumber(d));
}

}  // namespace tessaly
