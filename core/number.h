// Fixed-point numbers: signed 64-bit integers scaled by 10 to the current
// number of decimals (`_PRECIS`, default 2). 12.34 with 2 decimals is 1234.
// Rounding is always half away from zero; money never touches floating point.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// Parses "12.34", "-1.005", "5D3" (5000): trimmed, 'D' exponent, decimals
// beyond `decimals` rounded half away from zero. A text with no digits is 0.
int64_t ParseNumber(Slice text, int decimals);
int64_t ParseNumber(Slice text);  // current decimals
// Whether the text is a well-formed number (sign, digits, point, D exponent).
bool IsNumberText(Slice text);

// Decimal text without trailing zeros in the fraction: 12300 -> "123",
// 5 -> "0.05" with 2 decimals. On the string area.
Slice FormatNumber(int64_t value, int decimals);
Slice FormatCurrent(int64_t value);

int64_t PowerOfTen(int n);
// value / 10^decimals, rounded half away from zero.
int64_t IntegerOf(int64_t value);
int64_t Scale(int64_t integer);
int64_t TimesTen(int64_t value, int n);
int64_t DivideByTen(int64_t value, int n);
// Magnitudes divided; a remainder of at least half the divisor moves the
// quotient one away from zero; a divisor of 0 gives 0.
int64_t DivideRounded(int64_t value, int64_t divisor);

// Digits 0-9 then upper-case letters; "-" for negatives; "0" for zero.
Slice IntegerToText(int64_t n, int base);
// Digits from "0123456789abcdef" (lower case), positional.
int64_t TextToInteger(Slice text, int base);
// The decimal text of n right-aligned in width with ch.
Slice PadLeft(int64_t n, int width, char ch);

}  // namespace tessaly
