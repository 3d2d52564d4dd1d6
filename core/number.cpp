#include "core/number.h"

#include <algorithm>
#include <climits>

#include "core/flags.h"
#include "core/string_area.h"
#include "core/text.h"

namespace tessaly {
namespace {

constexpr int64_t kPowersOfTen[19] = {
    1,
    10,
    100,
    1000,
    10000,
    100000,
    1000000,
    10000000,
    100000000,
    1000000000,
    10000000000,
    100000000000,
    1000000000000,
    10000000000000,
    100000000000000,
    1000000000000000,
    10000000000000000,
    100000000000000000,
    1000000000000000000,
};
static_assert(sizeof kPowersOfTen / sizeof kPowersOfTen[0] == 19);
constexpr uint64_t kTenToThe19 = 10000000000000000000ULL;

constexpr uint64_t kMaxMagnitude = static_cast<uint64_t>(INT64_MAX);

inline uint64_t Magnitude(int64_t v) {
  return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// A magnitude and a sign back to a value; beyond the 64-bit range it
// saturates at +-INT64_MAX, so that negating a result is always defined.
inline int64_t Saturated(uint64_t mag, bool neg) {
  if (mag > kMaxMagnitude) mag = kMaxMagnitude;
  return neg ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
}

inline int ClampDecimals(int decimals) { return std::clamp(decimals, 0, 18); }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of a number text: sign, significant digits (leading zeros
// dropped), where the decimal point falls among them after the 'D'
// exponent, and whether the whole text was a well-formed number.
struct NumberText {
  static constexpr int kKeptDigits = 24;  // more never fit 64 bits
  bool negative = false;
  char digits[kKeptDigits] = {};
  int64_t count = 0;  // significant digits seen (only the first 24 kept)
  int64_t point = 0;  // significant digits before the decimal point
  bool any_digit = false;
  bool well_formed = false;
};

NumberText ReadNumberText(Slice text) {
  NumberText t;
  Slice s = Trim(text);
  if (!s.ok()) return t;
  const char* p = s.data();
  size_t n = s.size(), i = 0;
  if (i < n && (p[i] == '+' || p[i] == '-')) t.negative = p[i++] == '-';
  auto digit = [&](char c, bool fraction) {
    t.any_digit = true;
    if (t.count == 0 && c == '0') {
      if (fraction) --t.point;  // 0.005: the 5 is the third decimal
      return;
    }
    if (t.count < NumberText::kKeptDigits) t.digits[t.count] = static_cast<char>(c - '0');
    ++t.count;
    if (!fraction) ++t.point;
  };
  for (; i < n && IsDigit(p[i]); ++i) digit(p[i], false);
  if (i < n && p[i] == '.') {
    for (++i; i < n && IsDigit(p[i]); ++i) digit(p[i], true);
  }
  bool exponent_ok = true;
  if (i < n && p[i] == 'D') {
    ++i;
    bool neg = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) neg = p[i++] == '-';
    exponent_ok = i < n && IsDigit(p[i]);
    int64_t e = 0;
    // Any exponent past a few hundred already over- or underflows.
    for (; i < n && IsDigit(p[i]); ++i) e = std::min<int64_t>(e * 10 + (p[i] - '0'), 100000);
    t.point += neg ? -e : e;
  }
  t.well_formed = t.any_digit && exponent_ok && i == n;
  return t;
}

}  // namespace

int64_t ParseNumber(Slice text, int decimals) {
  NumberText t = ReadNumberText(text);
  if (t.count == 0) return 0;
  // The scaled value is made of the first `keep` significant digits; the
  // digit after them rounds half away from zero.
  int64_t keep = t.point + ClampDecimals(decimals);
  if (keep > 19) return Saturated(UINT64_MAX, t.negative);  // at least 10^19
  if (keep < 0) return 0;
  uint64_t mag = 0;
  for (int64_t k = 0; k < keep; ++k) mag = mag * 10 + (k < t.count ? t.digits[k] : 0);
  if (keep < t.count && t.digits[keep] >= 5) ++mag;
  return Saturated(mag, t.negative);
}

int64_t ParseNumber(Slice text) { return ParseNumber(text, Decimals()); }

bool IsNumberText(Slice text) { return ReadNumberText(text).well_formed; }

Slice FormatNumber(int64_t value, int decimals) {
  decimals = ClampDecimals(decimals);
  char digits[24];
  int len = 0;
  uint64_t mag = Magnitude(value);
  do {
    digits[len++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag != 0);
  while (len < decimals + 1) digits[len++] = '0';
  // digits[] holds the number backwards: the decimals are digits[0..decimals).
  int skip = 0;
  while (skip < decimals && digits[skip] == '0') ++skip;
  char out[48];
  int k = 0;
  if (value < 0) out[k++] = '-';
  for (int i = len - 1; i >= decimals; --i) out[k++] = digits[i];
  if (skip < decimals) {
    out[k++] = '.';
    for (int i = decimals - 1; i >= skip; --i) out[k++] = digits[i];
  }
  return Area().Push(Slice(out, static_cast<uint16_t>(k)));
}

Slice FormatCurrent(int64_t value) { return FormatNumber(value, Decimals()); }

int64_t PowerOfTen(int n) {
  if (n <= 0) return 1;
  if (n > 18) return INT64_MAX;
  return kPowersOfTen[n];
}

int64_t IntegerOf(int64_t value) { return DivideByTen(value, Decimals()); }

int64_t Scale(int64_t integer) { return TimesTen(integer, Decimals()); }

int64_t TimesTen(int64_t value, int n) {
  if (n < 0) return DivideByTen(value, n < -1000 ? 1000 : -n);
  if (value == 0 || n == 0) return value;
  int64_t r;
  if (n > 18 || __builtin_mul_overflow(value, kPowersOfTen[n], &r)) {
    return Saturated(UINT64_MAX, value < 0);
  }
  return r;
}

int64_t DivideByTen(int64_t value, int n) {
  if (n <= 0) return TimesTen(value, n < -1000 ? 1000 : -n);
  if (n > 19) return 0;
  uint64_t divisor = n == 19 ? kTenToThe19 : static_cast<uint64_t>(kPowersOfTen[n]);
  uint64_t mag = Magnitude(value);
  uint64_t q = mag / divisor, rem = mag % divisor;
  if (rem >= divisor - rem) ++q;
  return Saturated(q, value < 0);
}

int64_t DivideRounded(int64_t value, int64_t divisor) {
  if (divisor == 0) return 0;
  uint64_t mag = Magnitude(value), d = Magnitude(divisor);
  uint64_t q = mag / d, rem = mag % d;
  // Half or more of the divisor rounds away from zero: 2 x rem >= d, written
  // so that it cannot overflow and so that an odd divisor is not rounded
  // early (1/3 is 0, not 1).
  if (rem != 0 && rem >= d - rem) ++q;
  bool neg = (value < 0) != (divisor < 0);
  if (neg && q == kMaxMagnitude + 1) return INT64_MIN;  // INT64_MIN / 1
  return Saturated(q, neg);
}

Slice IntegerToText(int64_t n, int base) {
  if (base < 2 || base > 36) return Slice::Error(Status::kBadInputData);
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  char buf[72];
  int k = sizeof buf;
  uint64_t mag = Magnitude(n);
  do {
    buf[--k] = kDigits[mag % static_cast<uint64_t>(base)];
    mag /= static_cast<uint64_t>(base);
  } while (mag != 0);
  if (n < 0) buf[--k] = '-';
  return Area().Push(Slice(buf + k, static_cast<uint16_t>(sizeof buf - k)));
}

int64_t TextToInteger(Slice text, int base) {
  if (!text.ok() || base < 2 || base > 36) return 0;
  const char* p = text.data();
  size_t n = text.size(), i = 0;
  while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  bool neg = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) neg = p[i++] == '-';
  uint64_t mag = 0;
  for (; i < n; ++i) {
    char c = p[i];
    int d = IsDigit(c)               ? c - '0'
            : (c >= 'a' && c <= 'z') ? c - 'a' + 10
            : (c >= 'A' && c <= 'Z') ? c - 'A' + 10
                                     : 99;
    if (d >= base) break;
    uint64_t next;
    if (__builtin_mul_overflow(mag, static_cast<uint64_t>(base), &next) ||
        __builtin_add_overflow(next, static_cast<uint64_t>(d), &next) || next > kMaxMagnitude) {
      next = kMaxMagnitude + 1;  // saturates below
    }
    mag = next;
  }
  return Saturated(mag, neg);
}

Slice PadLeft(int64_t n, int width, char ch) {
  char digits[24];
  int len = 0;
  uint64_t mag = Magnitude(n);
  do {
    digits[len++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag != 0);
  int sign = n < 0 ? 1 : 0;
  size_t total =
      std::max<size_t>(static_cast<size_t>(len + sign), width > 0 ? static_cast<size_t>(width) : 0);
  StringArea& area = Area();
  Slice out = area.Reserve(total);
  if (!out.ok()) return out;
  char* w = area.MutableTop();
  size_t fill = total - static_cast<size_t>(len + sign);
  // Zeros go between the sign and the digits (-0042), other fills before
  // the sign (  -42).
  size_t k = 0;
  if (sign && ch == '0') w[k++] = '-';
  for (size_t i = 0; i < fill; ++i) w[k++] = ch;
  if (sign && ch != '0') w[k++] = '-';
  for (int i = len - 1; i >= 0; --i) w[k++] = digits[i];
  return out;
}

}  // namespace tessaly
