#include "data/masks.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/dates.h"

namespace tessaly {
namespace {

// The kinds of field types, by how they are shown and typed.
enum class Kind {
  kNumber,     // N, 1..9, anything below 'A'
  kLogical,    // L
  kDate,       // D
  kBlankDate,  // F
  kText,       // A, P
  kDigits,     // B
  kCode,       // C
  kWhole,      // T
  kHidden,     // V
  kOther,
};

Kind KindOf(char type) {
  if (static_cast<unsigned char>(type) < 'A') return Kind::kNumber;
  switch (type) {
    case 'N':
      return Kind::kNumber;
    case 'L':
      return Kind::kLogical;
    case 'D':
      return Kind::kDate;
    case 'F':
      return Kind::kBlankDate;
    case 'A':
    case 'P':
      return Kind::kText;
    case 'B':
      return Kind::kDigits;
    case 'C':
      return Kind::kCode;
    case 'T':
      return Kind::kWhole;
    case 'V':
      return Kind::kHidden;
    default:
      return Kind::kOther;
  }
}

constexpr char kLogicalStored[] = " 01";  // blank, false, true
constexpr char kNumericContent[] = ".-1234567890,D ";
constexpr uint16_t kMaxLength = kMaxTextLength;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNumberPlaceholder(char c) { return c == '#' || c == '0'; }

std::string_view TrimView(std::string_view v) {
  Slice t = Trim(Slice::Of(v));
  return t.view();
}

Slice KeepText(AreaMark& mark, std::string_view text) { return mark.Keep(Slice::Of(text)); }

// A width as a string length: negative widths are empty, huge ones capped
// (the result is then too long for a slice and becomes 146).
size_t LengthOf(int width) {
  if (width <= 0) return 0;
  return std::min<size_t>(static_cast<size_t>(width), size_t{kMaxLength} + 1);
}

// Text fitted as the text types fit: padded with blanks or cut.
std::string PadOrCut(std::string_view v, int width) {
  size_t w = LengthOf(width);
  std::string out(v.substr(0, std::min(v.size(), w)));
  out.resize(w, ' ');
  return out;
}

void FillFrom(Slice text, NumberFormat* f) {
  if (!text.ok() || text.empty()) return;
  f->decimal_point = static_cast<char>(text[0]);
  if (text.size() < 2) return;
  f->thousands = static_cast<char>(text[1]);
  Slice rest(text.data() + 2, static_cast<uint16_t>(text.size() - 2));
  Slice items[3];
  for (int i = 0; i < 3; ++i) items[i] = Unquote(Item(rest, ',', i + 1));
  if (items[0].ok() && !items[0].empty()) f->accepted = items[0];
  if (items[1].ok() && !items[1].empty()) f->logical_letters = items[1];
  if (items[2].ok() && !items[2].empty()) f->logical_words = items[2];
}

// ---- Numbers laid into masks ----------------------------------------------------

// A number read from a value for masking, as decimal digit strings so that no
// width of value can overflow.
struct Decimal {
  bool negative = false;
  bool has_digits = false;
  std::string whole;     // integer digits without leading zeros ("0" for zero, "" for ".5")
  std::string fraction;  // decimal digits
};

bool AllZero(const Decimal& d) {
  return d.whole.find_first_not_of('0') == std::string::npos &&
         d.fraction.find_first_not_of('0') == std::string::npos;
}

// Reads the value: trimmed, trailing non-digits dropped, a leading '-' as the
// sign, thousands separators and blanks between digits skipped, the last '.'
// as the decimal point (so "1.234.5" typed with points as separators is
// 1234.5), and "nDm" as n followed by m zeros. Anything else ends the number.
Decimal ReadDecimal(std::string_view v) {
  Decimal r;
  v = TrimView(v);
  while (!v.empty() && !IsDigit(v.back())) v.remove_suffix(1);
  if (!v.empty() && v.front() == '-') {
    r.negative = true;
    v.remove_prefix(1);
  }
  std::string digits;
  size_t point = std::string::npos;
  for (size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    if (IsDigit(c)) {
      digits += c;
    } else if (c == '.') {
      point = digits.size();  // an earlier point was a group separator
    } else if (c == ',' || c == ' ' || c == '\t') {
      continue;
    } else if (c == 'D') {
      size_t zeros = 0;
      for (size_t j = i + 1; j < v.size() && IsDigit(v[j]); ++j) {
        zeros = std::min<size_t>(zeros * 10 + static_cast<size_t>(v[j] - '0'), kMaxLength);
      }
      zeros = std::min(zeros, size_t{kMaxLength} - std::min(digits.size(), size_t{kMaxLength}));
      digits.append(zeros, '0');
      break;
    } else {
      break;
    }
  }
  r.has_digits = !digits.empty();
  if (point == std::string::npos || point > digits.size()) point = digits.size();
  r.whole = digits.substr(0, point);
  r.fraction = digits.substr(point);
  size_t nz = r.whole.find_first_not_of('0');
  if (nz == std::string::npos) {
    if (!r.whole.empty()) r.whole = "0";
  } else {
    r.whole.erase(0, nz);
  }
  if (AllZero(r)) r.negative = false;
  return r;
}

// Rounded to `decimals`, half away from zero; a value with fewer decimals is
// returned as it is.
Decimal Round(const Decimal& v, int decimals) {
  size_t d = static_cast<size_t>(std::max(decimals, 0));
  if (v.fraction.size() <= d) return v;
  Decimal r = v;
  bool up = r.fraction[d] >= '5';
  r.fraction.resize(d);
  if (up) {
    bool carry = true;
    for (size_t i = r.fraction.size(); carry && i-- > 0;) {
      if (r.fraction[i] == '9') {
        r.fraction[i] = '0';
      } else {
        ++r.fraction[i];
        carry = false;
      }
    }
    for (size_t i = r.whole.size(); carry && i-- > 0;) {
      if (r.whole[i] == '9') {
        r.whole[i] = '0';
      } else {
        ++r.whole[i];
        carry = false;
      }
    }
    if (carry) r.whole.insert(r.whole.begin(), '1');
  }
  if (AllZero(r)) r.negative = false;
  return r;
}

// Integer positions a rounded value needs: its digits and its sign.
size_t Need(const Decimal& v) { return v.whole.size() + (v.negative ? 1 : 0); }

// The numeric segment of a mask: integer positions, the decimal point and the
// decimal positions.
struct Shape {
  size_t point = std::string::npos;  // index of the decimal point in the segment
  size_t positions = 0;              // placeholders before the point
  int decimals = 0;                  // placeholders after the point
};

Shape ShapeOf(const std::string& segment) {
  Shape s;
  s.point = segment.find('.');
  size_t end = s.point == std::string::npos ? segment.size() : s.point;
  for (size_t i = 0; i < segment.size(); ++i) {
    if (!IsNumberPlaceholder(segment[i])) continue;
    if (i < end) {
      ++s.positions;
    } else {
      ++s.decimals;
    }
  }
  return s;
}

// Lays a number into the numeric segment of the mask. Where the integer part
// needs more positions than the segment has, the thousands separators are
// given up first, then decimals one by one (the segment shifts right); a
// number that still does not fit is 168, never cut.
Slice ApplyNumericMask(AreaMark& mark, std::string_view mask, std::string_view value,
                       const NumberFormat& fmt) {
  size_t first = mask.find_first_of("#0");
  size_t last = mask.find_last_of("#0");
  const char placeholder = mask[first];
  // A point right before the first digit belongs to the number (".##" holds
  // .50), not to the literal text in front of it.
  if (first > 0 && mask[first - 1] == '.') --first;
  std::string segment(mask.substr(first, last - first + 1));
  const Decimal v = ReadDecimal(value);

  Shape shape = ShapeOf(segment);
  Decimal r = Round(v, shape.decimals);
  if (shape.positions < Need(r)) {
    size_t commas = static_cast<size_t>(std::count(segment.begin(), segment.end(), ','));
    if (commas > 0) {
      std::string without;
      without.reserve(segment.size());
      without.append(commas, placeholder);
      for (char c : segment) {
        if (c != ',') without += c;
      }
      segment = std::move(without);
      shape = ShapeOf(segment);
      r = Round(v, shape.decimals);
    }
    // Each shift repeats the first placeholder and drops the last character,
    // moving the point one place right: one more integer position, one
    // decimal less. A wide deficit is shifted at once, never past the point
    // leaving the segment. Rounding may carry into a new digit, so the fit is
    // judged on the value rounded to the decimals left.
    while (shape.positions < Need(r) && shape.point != std::string::npos) {
      size_t shifts = std::min(Need(r) - shape.positions, segment.size() - shape.point);
      segment = std::string(shifts, placeholder) + segment.substr(0, segment.size() - shifts);
      shape = ShapeOf(segment);
      r = Round(v, shape.decimals);
    }
    if (shape.positions < Need(r)) return mark.Keep(Slice::Error(Status::kDataOutBound));
  }
  if (static_cast<int>(r.fraction.size()) < shape.decimals) {
    r.fraction.append(static_cast<size_t>(shape.decimals) - r.fraction.size(), '0');
  }

  auto translate = [&](char c) {
    return c == '.' ? fmt.decimal_point : (c == ',' ? fmt.thousands : c);
  };
  std::string out(segment);
  const bool digits = v.has_digits;
  size_t int_end = segment.size();
  if (shape.point != std::string::npos) {
    int_end = shape.point;
    size_t k = r.fraction.size();
    for (size_t i = segment.size(); i-- > shape.point + 1;) {
      char c = segment[i];
      if (IsNumberPlaceholder(c)) {
        if (digits) {
          out[i] = k > 0 ? r.fraction[--k] : '0';
        } else {
          out[i] = c == '#' ? ' ' : '0';
        }
      } else {
        out[i] = translate(c);
      }
    }
    // With no number at all the point shows only after a '0' placeholder.
    bool blank_point = !digits && (shape.point == 0 || segment[shape.point - 1] == '#');
    out[shape.point] = blank_point ? ' ' : fmt.decimal_point;
  }
  // A value without integer digits (.5) shows a 0 before the point when a
  // position is free for it besides the sign.
  size_t w = r.whole.size();
  bool zero = digits && r.whole.empty() && shape.positions > Need(r);
  bool sign = r.negative;
  for (size_t i = int_end; i-- > 0;) {
    char c = segment[i];
    if (IsNumberPlaceholder(c)) {
      if (w > 0) {
        out[i] = r.whole[--w];
      } else if (zero) {
        out[i] = '0';
        zero = false;
      } else if (sign) {
        out[i] = '-';
        sign = false;
      } else {
        out[i] = c == '#' ? ' ' : '0';
      }
    } else if (c == ',') {
      if (w > 0) {
        out[i] = fmt.thousands;
      } else if (sign && !zero) {
        out[i] = '-';  // the sign takes the separator's place: no gap before the digits
        sign = false;
      } else {
        out[i] = (i > 0 && segment[i - 1] == '#') ? ' ' : fmt.thousands;
      }
    } else {
      out[i] = translate(c);
    }
  }

  std::string result;
  result.reserve(mask.size());
  result.append(mask.substr(0, first));
  result.append(out);
  result.append(mask.substr(last + 1));
  return KeepText(mark, result);
}

// Lays a text value into the mask: '\' takes the next character, '?' the
// character at its own position (when '?' is the first placeholder).
Slice ApplyTextMask(AreaMark& mark, std::string_view mask, std::string_view value, char first) {
  std::string m(mask);
  // A run of blanks between two '\' stands for as many placeholders.
  for (size_t i = 0; i < m.size();) {
    if (m[i] != ' ') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < m.size() && m[j] == ' ') ++j;
    if (i > 0 && m[i - 1] == '\\' && j < m.size() && m[j] == '\\') {
      std::fill(m.begin() + static_cast<std::ptrdiff_t>(i),
                m.begin() + static_cast<std::ptrdiff_t>(j), '\\');
    }
    i = j;
  }
  size_t next = 0;
  for (size_t i = 0; i < m.size(); ++i) {
    char c = m[i];
    if (c == '\\' || (c == '?' && first != '?')) {
      m[i] = next < value.size() ? value[next++] : ' ';
    } else if (c == '?') {
      m[i] = i < value.size() ? value[i] : ' ';
    }
  }
  return KeepText(mark, m);
}

}  // namespace

bool IsNumericType(char type) { return KindOf(type) == Kind::kNumber; }

int TypeDecimals(char type) { return type >= '1' && type <= '9' ? type - '0' : 0; }

// ---- Number conventions -----------------------------------------------------------

NumberFormat NeutralNumberFormat() {
  static const NumberFormat neutral = [] {
    NumberFormat f;
    FillFrom(Slice(kNeutralNumberFormat), &f);
    return f;
  }();
  return neutral;
}

NumberFormat ReadNumberFormat(Slice text) {
  NumberFormat f = NeutralNumberFormat();
  FillFrom(text, &f);
  return f;
}

NumberFormat LanguageNumberFormat() {
  Slice locale = strtab::Get(strtab::kEnvironment, 0);
  if (!locale.ok() || locale.empty()) return NeutralNumberFormat();
  return ReadNumberFormat(Item(locale, '\0', 1));
}

Status SetLocaleTexts(Slice number_format, Slice date_names) {
  if (!number_format.ok()) return number_format.status();
  if (!date_names.ok()) return date_names.status();
  std::string text;
  text.reserve(number_format.size() + date_names.size() + 3);
  text.append(number_format.view());
  text += '\0';
  text.append(date_names.view());
  text += '\0';
  text += ' ';
  Slice s = Slice::Of(text);
  if (!s.ok()) return s.status();
  return strtab::Set(strtab::kEnvironment, 0, s);
}

// ---- Masks ---------------------------------------------------------------------------

Slice ApplyMask(Slice mask, Slice value, int mode) {
  if (!mask.ok()) return mask;
  if (!value.ok()) return value;
  AreaMark mark;
  std::string_view m = mask.view();
  std::string_view v = value.view();
  size_t fp = m.find_first_of("\\?#0");
  if (fp == std::string_view::npos) return mask;
  char first = m[fp];
  bool number_first = IsNumberPlaceholder(first);
  bool numeric = mode == kMaskNeutral;
  if (!numeric && mode != kMaskText && number_first) {
    numeric = v.find_first_not_of(kNumericContent) == std::string_view::npos;
  }
  // A numeric mode with no digit placeholder in the mask has nowhere to put a
  // number: the value goes in as text.
  if (numeric && m.find_first_of("#0") != std::string_view::npos) {
    NumberFormat fmt = mode == kMaskNeutral ? NeutralNumberFormat() : LanguageNumberFormat();
    return ApplyNumericMask(mark, m, v, fmt);
  }
  if (number_first && m.find_first_of("\\?") == std::string_view::npos) return mask;
  return ApplyTextMask(mark, m, v, first);
}

Slice DefaultMask(char type, int width, bool neutral) {
  AreaMark mark;
  char fill = 0;
  if (IsNumericType(type)) {
    fill = '#';
  } else if (type == 'A' || type == 'B' || type == 'D' || type == 'L') {
    fill = '\\';
  }
  if (fill == 0) return KeepText(mark, {});
  if (width > kMaxLength) return mark.Keep(Slice::Error(Status::kStringTooLong));
  std::string m(LengthOf(width), fill);
  int decimals = TypeDecimals(type);
  if (decimals > 0 && width > decimals) {
    m[static_cast<size_t>(width - decimals - 1)] =
        neutral ? '.' : LanguageNumberFormat().decimal_point;
  }
  return KeepText(mark, m);
}

Slice ExpandMaskShorthand(Slice mask) {
  if (!mask.ok() || mask.size() < 2) return mask;
  char type = static_cast<char>(mask[0]);
  if (type == '\\' || type == '#' || type == '0') return mask;
  if (std::string_view(kFieldTypes).find(type) == std::string_view::npos) return mask;
  std::string_view rest = mask.view().substr(1);
  size_t width = 0;
  for (char c : rest) {
    if (!IsDigit(c)) return mask;
    width = std::min<size_t>(width * 10 + static_cast<size_t>(c - '0'), size_t{kMaxLength} + 1);
  }
  if (width == 0 || width > kMaxLength) return mask;
  return DefaultMask(type, static_cast<int>(width), true);
}

Slice PrepareMask(Slice mask) {
  if (!mask.ok()) return mask;
  AreaMark mark;
  Slice expanded = ExpandMaskShorthand(mask);
  if (!expanded.ok()) return mark.Keep(expanded);
  std::string m(expanded.view());
  size_t at = m.size() > 1 ? m.find(",.", 1) : std::string::npos;
  if (at == std::string::npos) return mark.Keep(expanded);
  size_t end = at + 1;
  int n = 0;
  while (end + 1 < m.size() && IsDigit(m[end + 1])) {
    n = std::min(n * 10 + (m[end + 1] - '0'), 1000);
    ++end;
  }
  int decimals = n;
  Slice parms = strtab::Get(strtab::kEnvironment, 10);
  if (parms.ok() && !parms.empty()) {
    Slice item = Trim(Item(parms, ',', n + 1));
    if (item.ok() && !item.empty()) decimals = std::clamp(ItemNumber(parms, ',', n + 1), 0, 1000);
  }
  size_t start = m.find_first_of("#0");
  if (start == std::string::npos || start >= at) return mark.Keep(expanded);
  const char before = m[at - 1];
  const char placeholder = m[start];
  const bool groups = m.find(',', start) <= end;
  const size_t d = static_cast<size_t>(decimals);
  for (size_t i = end + 1; i-- > start;) {
    size_t k = end - i;  // counted from the end of the digits
    if (k < d) {
      m[i] = before;
    } else if (d > 0 && k == d) {
      m[i] = '.';
    } else {
      size_t from_point = k - (d > 0 ? d + 1 : 0) + 1;  // 1 for the position next to the point
      if (from_point == 1) {
        m[i] = before;
      } else if (groups && from_point % 4 == 0 && i != start) {
        m[i] = ',';
      } else {
        m[i] = placeholder;
      }
    }
  }
  return KeepText(mark, m);
}

// ---- Values of fields ---------------------------------------------------------------

Slice FitValue(char type, Slice value, int width) {
  if (!value.ok()) return value;
  if (width < 0) return value;
  AreaMark mark;
  std::string_view v = value.view();
  switch (KindOf(type)) {
    case Kind::kText:
    case Kind::kDigits:
    case Kind::kCode:
      return KeepText(mark, PadOrCut(v, width));
    case Kind::kDate:
    case Kind::kBlankDate:
      if (width == 6 && v.size() == 8) return KeepText(mark, v.substr(2));
      return KeepText(mark, PadOrCut(v, width));
    case Kind::kNumber:
    case Kind::kLogical: {
      std::string_view t = TrimView(v);
      size_t w = LengthOf(width);
      if (t.size() <= w) {
        std::string out(w - t.size(), ' ');
        out.append(t);
        return KeepText(mark, out);
      }
      size_t p = std::min(t.find('.'), t.size());
      if (w < p) return mark.Keep(Slice::Error(Status::kDataOutBound));
      std::string m;
      if (w <= p + 1) {
        m.assign(w, '#');
      } else {
        m.assign(p, '#');
        m += '.';
        m.append(w - p - 1, '#');
      }
      return mark.Keep(ApplyMask(Slice::Of(m), Slice::Of(t), kMaskNeutral));
    }
    case Kind::kWhole:
      // Shown only at its full width; a value of another width is blanks
      // here as on screen.
      if (v.size() == LengthOf(width)) return value;
      return KeepText(mark, std::string(LengthOf(width), ' '));
    case Kind::kHidden:
    case Kind::kOther:
      break;
  }
  return KeepText(mark, std::string(LengthOf(width), ' '));
}

Slice FormatValue(char type, Slice stored, int width) {
  if (!stored.ok()) return stored;
  AreaMark mark;
  switch (KindOf(type)) {
    case Kind::kDate:
    case Kind::kBlankDate: {
      if (width != 8 && width != 10) return KeepText(mark, std::string(LengthOf(width), ' '));
      Slice t = Trim(stored);
      if (type == 'F' && t.empty()) return KeepText(mark, std::string(LengthOf(width), ' '));
      return mark.Keep(FormatDate(t, width == 8 ? 1 : 2));
    }
    case Kind::kLogical: {
      // Stored logicals may stand right-aligned in a wider field.
      Slice t = Trim(stored);
      char c = t.empty() ? ' ' : static_cast<char>(t[0]);
      size_t pos = std::string_view(kLogicalStored).find(c);
      if (pos == std::string_view::npos) pos = 1;
      NumberFormat fmt = LanguageNumberFormat();
      Slice word = Item(fmt.logical_words, ',', static_cast<int>(pos) + 1);
      if (width < 0) return mark.Keep(word);
      return KeepText(mark, PadOrCut(word.view(), width));
    }
    case Kind::kNumber: {
      Slice t = Trim(stored);
      if (width < 0) {
        std::string out(t.view());
        std::replace(out.begin(), out.end(), '.', LanguageNumberFormat().decimal_point);
        return KeepText(mark, out);
      }
      Slice m = DefaultMask(type, width, true);
      return mark.Keep(ApplyMask(m, t, kMaskByContent));
    }
    case Kind::kHidden:
      return KeepText(mark, std::string(LengthOf(width), ' '));
    default:
      if (width >= 0 && static_cast<size_t>(width) != stored.size()) {
        return mark.Keep(FitValue(type, stored, width));
      }
      return stored;
  }
}

Slice ParseValue(char type, Slice typed, int width) {
  if (!typed.ok()) return typed;
  AreaMark mark;
  Slice r = typed;
  switch (KindOf(type)) {
    case Kind::kDigits:
    case Kind::kCode: {
      std::string out;
      for (char c : typed.view()) {
        if (IsDigit(c) || c == ' ') out += c;
      }
      // A code keeps its typed blanks as zeros, before it is fitted: "1 2"
      // is "102", never "12" padded to "12000".
      if (type == 'C' && out.find_first_not_of(' ') != std::string::npos) {
        std::replace(out.begin(), out.end(), ' ', '0');
      }
      r = Area().Push(Slice::Of(out));
      break;
    }
    case Kind::kDate:
    case Kind::kBlankDate:
      r = ParseDate(typed);
      break;
    case Kind::kLogical: {
      Slice t = Trim(typed);
      char c = t.empty() ? ' ' : static_cast<char>(t[0]);
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      NumberFormat fmt = LanguageNumberFormat();
      size_t pos = fmt.logical_letters.view().substr(0, 3).find(c);
      r = OneChar(pos == std::string_view::npos ? ' ' : kLogicalStored[pos]);
      break;
    }
    case Kind::kNumber: {
      Slice clean = CleanNumber(typed);
      if (width < 0) {
        r = clean;
      } else {
        r = ApplyMask(DefaultMask(type, width, true), clean, kMaskNeutral);
      }
      break;
    }
    default:
      break;
  }
  if (!r.ok()) return mark.Keep(r);
  if (width != -1) r = FitValue(type, r, width);
  return mark.Keep(r);
}

Slice StoreValue(char type, Slice value, int width) {
  if (!value.ok()) return value;
  if (type >= '1' && type <= '9' && width >= 0) {
    AreaMark mark;
    return mark.Keep(ApplyMask(DefaultMask(type, width, true), value, kMaskNeutral));
  }
  return FitValue(type, value, width);
}

Slice CleanNumber(Slice typed) {
  if (!typed.ok()) return typed;
  AreaMark mark;
  NumberFormat fmt = LanguageNumberFormat();
  std::string_view t = TrimView(typed.view());
  std::string_view accepted = fmt.accepted.view();
  std::string out;
  for (size_t i = 0; i < t.size() && out.size() < 20; ++i) {
    char c = t[i];
    if (c != '.' && accepted.find(c) == std::string_view::npos) break;
    if (c == '-' && !out.empty()) break;
    if (out.empty() && c == '0' && i + 1 < t.size() && t[i + 1] != fmt.decimal_point) continue;
    out += c == fmt.decimal_point ? '.' : c;
  }
  return KeepText(mark, out);
}

}  // namespace tessaly
