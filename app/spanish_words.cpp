#include "app/spanish_words.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/number.h"
#include "core/string_area.h"

namespace tessaly {
namespace {

struct WordEntry {
  std::string_view key;
  std::string_view word;
};

// "%s" in a tens word becomes " y " when a non-zero units digit follows.
constexpr WordEntry kHundreds[] = {
    {"1", "ciento"},      {"5", "quinientos"}, {"7", "setecientos"},
    {"9", "novecientos"}, {"100", "cien"},
};
static_assert(std::size(kHundreds) == 5);

constexpr WordEntry kTens[] = {
    {"1", "dieci"},       {"2", "veinti"},    {"3", "treinta%s"}, {"4", "cuarenta%s"},
    {"5", "cincuenta%s"}, {"6", "sesenta%s"}, {"7", "setenta%s"}, {"8", "ochenta%s"},
    {"9", "noventa%s"},   {"10", "diez"},     {"11", "once"},     {"12", "doce"},
    {"13", "trece"},      {"14", "catorce"},  {"15", "quince"},   {"20", "veinte"},
};
static_assert(std::size(kTens) == 16);

constexpr std::string_view kUnits[] = {"uno",  "dos",   "tres", "cuatro", "cinco",
                                       "seis", "siete", "ocho", "nueve"};
static_assert(std::size(kUnits) == 9);

constexpr std::string_view kHundredsSuffix = "cientos";
constexpr std::string_view kThousand = "mil";
constexpr std::string_view kOneMillion = "un mill\xF3n";
constexpr std::string_view kMillions = "millones";
constexpr std::string_view kDecimalsJoiner = " con ";
constexpr std::string_view kNegative = " negativas ";

// The entry whose key is the longest prefix (up to `longest` digits) of
// digits[pos..]; null when none.
template <size_t N>
const WordEntry* LongestPrefix(const WordEntry (&table)[N], std::string_view digits, size_t pos,
                               size_t longest) {
  for (size_t len = std::min(longest, digits.size() - pos); len >= 1; --len) {
    std::string_view prefix = digits.substr(pos, len);
    for (const WordEntry& e : table) {
      if (e.key == prefix) return &e;
    }
  }
  return nullptr;
}

void AppendWord(std::string& out, std::string_view word) {
  if (word.empty()) return;
  if (!out.empty()) out += ' ';
  out.append(word);
}

// Whether the three digits whose last one leaves `left` digits to read are
// all zeros (a thousands group such as the middle one of 1000500).
bool ZeroGroup(std::string_view digits, size_t left) {
  size_t end = digits.size() - left;  // one past the group's last digit
  size_t begin = end >= 3 ? end - 3 : 0;
  for (size_t i = begin; i < end; ++i) {
    if (digits[i] != '0') return false;
  }
  return true;
}

// The words of a digit string read from the left.
std::string DigitsInWords(std::string_view digits) {
  std::string out;
  const size_t length = digits.size();
  size_t pos = 0;
  bool after_tens = false;  // the step before gave a tens word
  while (pos < length) {
    const size_t left = length - pos;
    size_t consumed = 1;
    bool tens_word = false;
    if (left % 3 == 0) {
      const WordEntry* e = LongestPrefix(kHundreds, digits, pos, 3);
      if (e != nullptr) {
        AppendWord(out, e->word);
        consumed = e->key.size();
      } else if (digits[pos] != '0') {
        std::string word(kUnits[digits[pos] - '1']);
        word += ' ';
        word.append(kHundredsSuffix);
        AppendWord(out, word);
      }
    } else if (left % 3 == 2) {
      const WordEntry* e = LongestPrefix(kTens, digits, pos, 2);
      if (e != nullptr) {
        consumed = e->key.size();
        std::string word(e->word);
        size_t mark = word.find("%s");
        if (mark != std::string::npos) {
          size_t next = pos + consumed;
          bool joined = next < length && digits[next] != '0';
          word.replace(mark, 2, joined ? " y " : "");
        }
        AppendWord(out, word);
        tens_word = true;
      }
    } else if (digits[pos] != '0') {
      std::string_view word = kUnits[digits[pos] - '1'];
      if (after_tens) {
        out.append(word);
      } else {
        AppendWord(out, word);
      }
    }
    after_tens = tens_word;
    pos += consumed;

    // The scale words of the positions the reading has just passed; a
    // group read at once ("100" of 100000) passes its units digit too.
    const size_t now_left = length - pos;
    auto passed = [&](size_t mark) { return left >= mark && now_left < mark; };
    auto leading_one = [&](size_t mark) { return length == mark && digits[0] == '1'; };
    for (size_t mark : {size_t{10}, size_t{7}, size_t{4}}) {
      if (!passed(mark)) continue;
      if (mark == 7) {
        if (leading_one(mark)) {
          out.assign(kOneMillion);
        } else {
          AppendWord(out, kMillions);
        }
      } else if (leading_one(mark)) {
        out.assign(kThousand);
      } else if (!ZeroGroup(digits, mark - 1)) {
        AppendWord(out, kThousand);
      }
      after_tens = false;
    }
  }
  return out;
}

}  // namespace

Slice NumberInWords(int64_t scaled, int decimals, int dx) {
  AreaMark mark;
  if (scaled == 0) return mark.Keep(Slice());
  Slice text = FormatNumber(scaled, decimals);
  if (!text.ok()) return mark.Keep(text);
  std::string_view number = text.view();
  const bool negative = !number.empty() && number[0] == '-';
  if (negative) number.remove_prefix(1);
  size_t point = number.find('.');
  std::string_view integer = number.substr(0, point);
  std::string fraction;
  if (point != std::string_view::npos) fraction = std::string(number.substr(point + 1));

  std::string words = DigitsInWords(integer);
  if (!fraction.empty()) {
    size_t pad = dx > 0 ? static_cast<size_t>(dx) : static_cast<size_t>(std::max(decimals, 0));
    if (fraction.size() < pad) fraction.append(pad - fraction.size(), '0');
    std::string cents = DigitsInWords(fraction);
    if (!cents.empty()) {
      words = words.empty() ? cents : words + std::string(kDecimalsJoiner) + cents;
    }
  }
  if (negative) words.append(kNegative);
  return mark.Keep(Slice::Of(words));
}

Slice NextTextPiece(Slice text, int width, uint16_t* cursor) {
  assert(cursor != nullptr);
  if (!text.ok()) return text;
  std::string_view all = text.view();
  std::string_view rest = *cursor < all.size() ? all.substr(*cursor) : std::string_view();
  std::string_view piece = rest;
  if (width > 0 && static_cast<size_t>(width) < rest.size()) {
    size_t cut = rest.substr(0, static_cast<size_t>(width)).rfind(' ');
    if (cut == std::string_view::npos) cut = rest.find(' ');
    piece = cut == std::string_view::npos ? std::string_view() : rest.substr(0, cut);
  }
  if (width > 0) {
    size_t next = static_cast<size_t>(*cursor) + piece.size() + 1;
    *cursor = static_cast<uint16_t>(std::min<size_t>(next, kMaxTextLength));
  } else {
    *cursor = 0;
  }
  return Slice::Of(piece);
}

}  // namespace tessaly
