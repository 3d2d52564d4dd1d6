#include "app/bank_accounts.h"

#include <string>
#include <string_view>

#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"

namespace tessaly {
namespace {

constexpr int kWeights[10] = {1, 2, 4, 8, 5, 10, 9, 7, 3, 6};
constexpr size_t kBankDigits = 4;
constexpr size_t kBranchDigits = 4;
constexpr size_t kAccountDigits = 10;
constexpr int kLanguageSlot = 4;  // of the environment table

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

bool AllDigits(std::string_view s) {
  for (char c : s) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// The trimmed part when it is digits only, padded on the left to `width`;
// empty when it holds anything else (or nothing).
std::string DigitPart(Slice part, size_t width) {
  if (!part.ok()) return std::string();
  std::string_view s = Trim(part).view();
  if (s.empty() || !AllDigits(s)) return std::string();
  std::string out;
  if (s.size() < width) out.assign(width - s.size(), '0');
  out.append(s);
  return out;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

char AccountControlDigit(Slice digits) {
  std::string_view s = digits.ok() ? digits.view() : std::string_view();
  assert(s.size() <= 10 && AllDigits(s));
  const size_t pad = s.size() < 10 ? 10 - s.size() : 0;
  int sum = 0;
  for (size_t i = pad; i < 10; ++i) sum += (s[i - pad] - '0') * kWeights[i];
  const int r = sum % 11;
  return static_cast<char>('0' + (r < 2 ? r : 11 - r));
}

bool TextRemainder(Slice text, int64_t modulus, int64_t* remainder) {
  *remainder = 0;
  if (modulus < 1 || !text.ok()) return false;
  unsigned __int128 r = 0;
  const auto m = static_cast<unsigned __int128>(modulus);
  auto add_digit = [&](int d) { r = (r * 10 + static_cast<unsigned>(d)) % m; };
  for (char c : text.view()) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (IsDigit(c)) {
      add_digit(c - '0');
    } else if (IsUpperLetter(c)) {
      int value = c - 'A' + 10;
      add_digit(value / 10);
      add_digit(value % 10);
    } else if (c != ' ') {
      return false;
    }
  }
  *remainder = static_cast<int64_t>(r);
  return true;
}

Slice IbanCheckDigits(Slice national_code, Slice country) {
  AreaMark mark;
  std::string number = national_code.str() + UpperAscii(country.view()) + "00";
  int64_t r = 0;
  if (!TextRemainder(Slice::Of(number), 97, &r)) {
    return mark.Keep(Slice::Error(Status::kBadInputData));
  }
  const int check = static_cast<int>(98 - r);
  char digits[2] = {static_cast<char>('0' + check / 10), static_cast<char>('0' + check % 10)};
  return mark.Keep(Slice(digits, 2));
}

Slice IbanParts(Slice country, Slice bank, Slice branch, Slice control, Slice account) {
  AreaMark mark;
  const std::string bank_digits = DigitPart(bank, kBankDigits);
  const std::string branch_digits = DigitPart(branch, kBranchDigits);
  const std::string account_digits = DigitPart(account, kAccountDigits);
  if (bank_digits.size() != kBankDigits || branch_digits.size() != kBranchDigits ||
      account_digits.empty() || account_digits.size() > kAccountDigits) {
    (void)RecordError(1, ErrorArea::kExpExec, Status::kBadInputData, Status::kOk);
    return mark.Keep(Slice());
  }

  std::string pair;
  pair += AccountControlDigit(Slice::Of("00" + bank_digits + branch_digits));
  pair += AccountControlDigit(Slice::Of(account_digits));
  Slice given = control.ok() ? Trim(control) : Slice();
  if (!given.empty() && given.view() != pair) return mark.Keep(Slice());

  Slice country_part = country.ok() ? Trim(country) : Slice();
  if (country_part.empty()) country_part = Trim(strtab::Get(strtab::kEnvironment, kLanguageSlot));
  std::string prefix = UpperAscii(country_part.ok() ? country_part.view() : std::string_view());
  if (!prefix.empty()) {
    if (prefix.size() != 2 && prefix.size() != 4) return mark.Keep(Slice());
    if (!IsUpperLetter(prefix[0]) || !IsUpperLetter(prefix[1])) return mark.Keep(Slice());
    const std::string national = bank_digits + branch_digits + pair + account_digits;
    Slice check =
        IbanCheckDigits(Slice::Of(national), Slice::Of(std::string_view(prefix).substr(0, 2)));
    if (!check.ok()) return mark.Keep(Slice());
    if (prefix.size() == 2) {
      prefix.append(check.view());
    } else if (std::string_view(prefix).substr(2) != check.view()) {
      return mark.Keep(Slice());
    }
  }
  std::string out =
      prefix + "," + bank_digits + "," + branch_digits + "," + pair + "," + account_digits;
  return mark.Keep(Slice::Of(out));
}

}  // namespace tessaly
