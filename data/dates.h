// Dates and times of day: their stored and shown forms, the reading of typed
// dates and times, and the date arithmetic of the date function, payment
// schedules and reports.
//
// A stored date is the text YYYYMMDD; a date number is the integer
// year*10000 + month*100 + day. A valid date has year 0-9999, month 1-12 and
// day 1 to the length of its month. The calendar is the one the stored data
// was written with:
//   - February has 29 days in every year divisible by 4, 28 otherwise (no
//     century rule: 1900 and 2100 are leap years);
//   - April, June, September and November have 30 days, every other month
//     (and any month number outside 2-11) 31;
//   - a whole year counts 365 days in date distances.
//
// The order of day and month in typed and shown dates follows the language of
// environment slot 4: ES, FR and IT write day-month-year, every other
// language month-day-year. Month names and the long date pattern come from
// the date names text (message 0117) in environment slot 0.
//
// Two-digit years are widened through the year window of the system
// variables _BYEAR (2000) and _BKYEAR (80): 00-79 give 2000-2079, 80-99 give
// 1980-1999.
//
// A time of day is a number of milliseconds since midnight.
//
// Text results are built on the string area and live until the caller's next
// mark.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// The built-in English text of message 0117: the quoted month names and the
// quoted long date pattern.
inline constexpr char kNeutralDateNames[] =
    "'January,February,March,April,May,June,July,August,September,October,November,"
    "December','[M] [D],[Y]'";

// Units and parts of dates, as the date function's letters D, M, Y, V give
// them.
enum DateUnit : int {
  kDateDays = 1,
  kDateMonths = 2,
  kDateYears = 4,
  kDateWhole = 15,
};

// Bit of _AUXSTAT: an empty date stands for today.
inline constexpr uint16_t kTodayDefaultBit = 64;

// Whether the current language writes the day before the month.
bool LanguageDayFirst();

// A two-digit year widened through the year window.
int WidenYear(int two_digit_year);

// Whether year*10000+month*100+day names a real date of the calendar above.
bool IsValidDateNumber(int64_t number);

// The stored date YYYYMMDD of a date number; the error slice 163
// (BADINPUTDATA) when the number is not a valid date.
Slice DateFromNumber(int64_t number);

// Forms: 0 the stored text, 1 "MM-DD-YY", 2 "MM-DD-YYYY" (day first in the
// day-first languages), 3 "[M] [Y]" with a three-letter month, 4 the
// language's long pattern ("March 05,2017"). An empty date is today when the
// today-default bit of _AUXSTAT is set. An invalid date gives 8 blanks in
// form 1, 10 blanks in form 2, an empty text otherwise.
Slice FormatDate(Slice stored, int form);

// A typed date to its stored form: "5/3/17", "05-03-2017", "5.3.2017" (in
// the language's order), six digits DDMMYY (in every language), or the stored
// form itself. An empty text is today with the today-default bit, else 8
// blanks; a text with a day or month of 0 or without a year is empty; a date
// that does not exist is the error slice 163.
Slice ParseDate(Slice typed);

// The year (first 4 characters), month (the 2 characters that begin 4 before
// the end) and day (last 2 characters) of a stored date; part 15 gives the
// whole date number. A part that is not made of digits reads as 0.
int64_t DatePart(Slice stored, int part);

// The length of the stored date's month: 28 to 31.
int DaysInMonth(Slice stored);

// The date number of the stored date moved by `amount` days, months or
// years. A month move keeps the day unless the new month is shorter, then it
// takes that month's last day (20170131 + 1 month = 20170228). A stored date
// that cannot be read gives 0.
int64_t DateShift(Slice stored, int64_t amount, int unit);

// The stored date minus the date number `second`, counted in days, months or
// years (unit 15: the difference of the date numbers). Whole years count 365
// days.
int64_t DateDistance(Slice stored, int64_t second, int unit);

// Today's local date (platform clock) as a date number; 0 when the clock is
// before 1970.
int64_t TodayDate();

// ---- Times of day ------------------------------------------------------------

// Form flags of FormatTime: 1 puts ':' between the fields, 2 adds the
// seconds, 4 adds '.' and the milliseconds.
enum TimeForm : int {
  kTimeColons = 1,
  kTimeSeconds = 2,
  kTimeMillis = 4,
};

// "HH:MM:SS.fff", "MM:SS", "SS" (fewer items read from the right) to
// milliseconds; the fraction's first one to three digits are tenths,
// hundredths or milliseconds. An empty text is the current time.
int64_t ParseTime(Slice text);

// HHMM, HH:MM, HHMMSS, HH:MM:SS, HHMMSS.fff or HH:MM:SS.fff by the form flags.
Slice FormatTime(int64_t milliseconds, int form);

// The local time of day (platform clock) in milliseconds, in whole seconds.
int64_t TimeNow();

}  // namespace tessaly
