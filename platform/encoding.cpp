#include "platform/encoding.h"

#include <cstdint>

namespace tessaly::platform {
namespace {

// Unicode characters of the bytes 0x80-0x9F; the rest of the code page is
// the same number as its byte.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
static_assert(sizeof kHighControls / sizeof kHighControls[0] == 0x9F - 0x80 + 1);

uint32_t CharOf(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

// The byte of a character, or -1 when the code page has none.
int ByteOf(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == cp) return 0x80 + i;
  }
  return -1;
}

void Encode(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the well-formed UTF-8 sequence at text[i] and its character;
// 0 when the bytes there are not one (overlong forms and surrogates
// included).
size_t Decode(std::string_view text, size_t i, uint32_t* cp) {
  auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = at(i);
  size_t n;
  uint32_t c;
  if (b < 0x80) {
    *cp = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (at(i + k) & 0x3F);
  }
  if ((n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
      (n == 4 && (c < 0x10000 || c > 0x10FFFF))) {
    return 0;
  }
  *cp = c;
  return n;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) Encode(CharOf(static_cast<unsigned char>(ch)), &out);
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp;
    size_t n = Decode(text, i, &cp);
    if (n == 0) {
      out.push_back(text[i++]);
      continue;
    }
    int byte = ByteOf(cp);
    out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    i += n;
  }
  return out;
}

unsigned char FoldCp1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x8A:  // Š
    case 0x8C:  // Œ
    case 0x8E:  // Ž
      return c + 0x10;
    case 0x9F:  // Ÿ
      return 0xFF;
    default:
      return c;
  }
}

std::string NameKey(std::string_view utf8) {
  std::string key = Utf8ToCp1252(utf8);
  for (char& ch : key) ch = static_cast<char>(FoldCp1252(static_cast<unsigned char>(ch)));
  return key;
}

}  // namespace tessaly::platform
