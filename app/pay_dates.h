// The dates of a payment schedule (the expression function PayDate$).
//
// Payment n of a schedule that starts `days` after a document date, with
// `day_step` days or else `month_step` months between payments, moved
// forward to the customer's pay days when a list of them is given:
//   1. n = 0: the date itself.
//   2. First date: `days` a non-zero multiple of 30 with no day step counts
//      whole months (60 days after 29 August is 29 October); otherwise days.
//   3. Payment n > 1 adds day_step x (n - 1) days, or, without a day step,
//      month_step x (n - 1) months. A month move keeps the day unless the
//      month is shorter, then it takes its last day.
//   4. Pay days (a comma list of day numbers 1-31; others are ignored): the
//      date moves forward to the first pay day on or after its day; past
//      the last pay day of the month, to the first pay day of the next
//      month; a pay day beyond the month's length is the month's last day.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// The stored date (YYYYMMDD) of payment `n`; the date unchanged for n = 0.
// The error slice 163 (BADINPUTDATA) when `date` is not a valid stored date
// or the schedule leaves the calendar.
Slice PayDate(Slice date, int64_t days, int64_t day_step, int64_t month_step, int64_t n,
              Slice pay_days);

}  // namespace tessaly
