// Fixed-point numbers: signed 64-bit integers scaled by 10 to the current
// number of decimals (`_PRECIS`, default 2). 12.34 with 2 decimals is 1234.
// Rounding is always half away from zero; money never touches floating point.
//
// Out of range: a value that does not fit 64 bits saturates at +-INT64_MAX
// (never INT64_MIN, so that negating any result is defined). A number text
// may hold any number of digits: leading zeros and decimals past the first
// one that rounds do not count, so only a value beyond 64 bits saturates.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// Parses "12.34", "-1.005", "5D3" (5000): trimmed of blanks and tabs, an
// optional sign, digits, '.', decimals, and a 'D' exponent that moves the
// decimal point (5.5D1 is 55, 5D-1 is 0.5); decimals beyond `decimals`
// (clamped to 0-18) rounded half away from zero. Reading stops at the first
// character that cannot continue the number ("12abc" is 12). A text with no
// digits, or an error slice, is 0.
int64_t ParseNumber(Slice text, int decimals);
int64_t ParseNumber(Slice text);  // current decimals
// Whether the whole text (trimmed) is a well-formed number: sign, digits,
// point, decimals, D exponent with digits; at least one digit before it.
bool IsNumberText(Slice text);

// Decimal text without trailing zeros in the fraction: 12300 -> "123",
// 5 -> "0.05" with 2 decimals (clamped to 0-18). On the string area.
Slice FormatNumber(int64_t value, int decimals);
Slice FormatCurrent(int64_t value);

// 10^n for n in 0-18; 1 below, INT64_MAX (saturated) above.
int64_t PowerOfTen(int n);
// value / 10^decimals, rounded half away from zero.
int64_t IntegerOf(int64_t value);
// integer x 10^decimals, saturated.
int64_t Scale(int64_t integer);
// value x 10^n, saturated; a negative n divides.
int64_t TimesTen(int64_t value, int n);
// value / 10^n rounded half away from zero; a negative n multiplies.
int64_t DivideByTen(int64_t value, int n);
// Magnitudes divided; a remainder of at least half the divisor (2 x rem >=
// divisor, so 4/3 is 1 and 5/3 is 2) moves the quotient one away from zero;
// a divisor of 0 gives 0.
int64_t DivideRounded(int64_t value, int64_t divisor);

// Digits 0-9 then upper-case letters; "-" for negatives; "0" for zero. A
// base outside 2-36 is the error slice 163. On the string area.
Slice IntegerToText(int64_t n, int base);
// Digits from "0123456789abcdef..." in either case (so that IntegerToText
// reads back), positional; leading blanks and a sign allowed; reading stops
// at the first character that is not a digit of the base; saturated. 0 for
// a base outside 2-36.
int64_t TextToInteger(Slice text, int base);
// The decimal text of n right-aligned in width with ch (a '0' fill goes
// after the sign: "-0042"); never cut when longer than width.
Slice PadLeft(int64_t n, int width, char ch);

}  // namespace tessaly
