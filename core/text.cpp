#include "core/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/string_area.h"

namespace tessaly {
namespace {

constexpr size_t kNpos = static_cast<size_t>(-1);

inline bool IsQuote(char c) { return c == '\'' || c == '"'; }

inline Slice EmptyAt(const char* p, size_t n) { return Slice(p + n, 0); }

// Results built in one piece go straight to a new top string: a reserve is
// a mark plus a keep of exactly that string, without the copy back down.
// On failure `*out` holds the error slice (145 full, 146 over 65535 bytes).
inline char* NewTop(StringArea& area, size_t n, Slice* out) {
  *out = area.Reserve(n);
  return out->ok() ? area.MutableTop() : nullptr;
}

// A set of bytes, for operations that test every byte of a text against a
// set of characters.
class ByteSet {
 public:
  explicit ByteSet(Slice set) {
    for (uint16_t i = 0; i < set.size(); ++i) Add(set[i]);
  }
  void Add(unsigned char c) { bits_[c >> 6] |= uint64_t{1} << (c & 63); }
  bool Has(unsigned char c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }

 private:
  uint64_t bits_[4] = {};
};

// The next position of the walk outside quoted parts: past the closing quote
// when p[i] opens one, kNpos when that quote is never closed.
inline size_t StepOutside(const char* p, size_t n, size_t i) {
  char c = p[i];
  if (IsQuote(c)) {
    const void* close = std::memchr(p + i + 1, c, n - i - 1);
    if (close == nullptr) return kNpos;
    return static_cast<size_t>(static_cast<const char*>(close) - p) + 1;
  }
  return i + 1;
}

// First position from `i` outside quoted parts at which hit(i) holds. A
// position holding an opening quote is itself outside and is tested first.
template <typename Hit>
inline size_t ScanOutside(const char* p, size_t n, size_t i, Hit hit) {
  while (i < n) {
    if (hit(i)) return i;
    i = StepOutside(p, n, i);
  }
  return kNpos;
}

// Last position outside quoted parts at which hit(i) holds: the answer of
// repeated forward searches, found in one walk.
template <typename Hit>
inline size_t LastOutside(const char* p, size_t n, Hit hit) {
  size_t last = kNpos;
  for (size_t i = 0; i < n; i = StepOutside(p, n, i)) {
    if (hit(i)) last = i;
  }
  return last;
}

// The hot search of the expression evaluator and of every list operation.
inline size_t CharAt(const char* p, size_t n, size_t start, char ch, bool plain) {
  if (start >= n) return kNpos;
  if (plain) {
    const void* hit = std::memchr(p + start, ch, n - start);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : kNpos;
  }
  size_t i = start;
  while (i < n) {
    char c = p[i];
    if (c == ch) return i;
    if (IsQuote(c)) {
      const void* close = std::memchr(p + i + 1, c, n - i - 1);
      if (close == nullptr) return kNpos;
      i = static_cast<size_t>(static_cast<const char*>(close) - p) + 1;
    } else {
      ++i;
    }
  }
  return kNpos;
}

inline bool MatchesAt(const char* p, size_t n, size_t i, const char* q, size_t m) {
  return n - i >= m && p[i] == q[0] && std::memcmp(p + i, q, m) == 0;
}

// REQUIRES: m > 0.
inline size_t TextAt(const char* p, size_t n, size_t start, const char* q, size_t m, bool plain) {
  if (start >= n || n - start < m) return kNpos;
  if (plain) {
    const void* hit = memmem(p + start, n - start, q, m);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : kNpos;
  }
  if (m == 1) return CharAt(p, n, start, q[0], false);
  return ScanOutside(p, n, start, [&](size_t i) { return MatchesAt(p, n, i, q, m); });
}

inline bool HoldsQuote(Slice s) {
  return std::memchr(s.data(), '\'', s.size()) != nullptr ||
         std::memchr(s.data(), '"', s.size()) != nullptr;
}

// The end of the item that starts at `start`: its separator, or n. The
// separator NUL splits plainly; an unclosed quote runs to the end.
inline size_t SeparatorAt(const char* p, size_t n, size_t start, char sep) {
  size_t s = CharAt(p, n, start, sep, sep == '\0');
  return s == kNpos ? n : s;
}

// Walks the items of a list. An empty list has no items; a trailing
// separator gives an empty last item.
class ItemCursor {
 public:
  ItemCursor(Slice list, char sep)
      : p_(list.data()), n_(list.size()), sep_(sep), done_(list.size() == 0) {}
  bool Next(Slice* item) {
    if (done_) return false;
    size_t e = SeparatorAt(p_, n_, pos_, sep_);
    *item = Slice(p_ + pos_, static_cast<uint16_t>(e - pos_));
    if (e >= n_) {
      done_ = true;
    } else {
      pos_ = e + 1;
    }
    return true;
  }

 private:
  const char* p_;
  size_t n_;
  char sep_;
  bool done_;
  size_t pos_ = 0;
};

// Bounds [*begin, *end) of item n (n >= 1); false when the list has fewer
// items.
bool ItemBounds(Slice list, char sep, int n, size_t* begin, size_t* end) {
  const char* p = list.data();
  size_t len = list.size();
  size_t b = 0;
  for (int k = 1; k < n; ++k) {
    size_t s = SeparatorAt(p, len, b, sep);
    if (s >= len) return false;
    b = s + 1;
  }
  *begin = b;
  *end = SeparatorAt(p, len, b, sep);
  return true;
}

inline Slice FirstError(Slice a, Slice b) { return a.ok() ? b : a; }

// Decimal conversion of the leading digits, the way the C library reads an
// int: blanks skipped, a sign, digits; saturated at the int range.
int LeadingInteger(Slice a) {
  const char* p = a.data();
  size_t n = a.size(), i = 0;
  while (i < n && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
  bool neg = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) neg = p[i++] == '-';
  int64_t v = 0;
  for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
    v = v * 10 + (p[i] - '0');
    if (v > int64_t{INT_MAX} + 1) v = int64_t{INT_MAX} + 1;
  }
  if (neg) return v > INT_MAX ? INT_MIN : static_cast<int>(-v);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

constexpr char kOneChars[256] = {
#define TESSALY_ROW(r) \
  static_cast<char>(r), static_cast<char>(r + 1), static_cast<char>(r + 2), static_cast<char>(r + 3)
#define TESSALY_ROW16(r) TESSALY_ROW(r), TESSALY_ROW(r + 4), TESSALY_ROW(r + 8), TESSALY_ROW(r + 12)
    TESSALY_ROW16(0),   TESSALY_ROW16(16),  TESSALY_ROW16(32),  TESSALY_ROW16(48),
    TESSALY_ROW16(64),  TESSALY_ROW16(80),  TESSALY_ROW16(96),  TESSALY_ROW16(112),
    TESSALY_ROW16(128), TESSALY_ROW16(144), TESSALY_ROW16(160), TESSALY_ROW16(176),
    TESSALY_ROW16(192), TESSALY_ROW16(208), TESSALY_ROW16(224), TESSALY_ROW16(240),
#undef TESSALY_ROW16
#undef TESSALY_ROW
};
static_assert(sizeof kOneChars == 256);

}  // namespace

// ---- Searching ----------------------------------------------------------

uint16_t FindChar(Slice text, char ch, bool plain) {
  size_t r = CharAt(text.data(), text.size(), 0, ch, plain);
  return r == kNpos ? kNotFound : static_cast<uint16_t>(r);
}

uint16_t FindCharFrom(Slice text, uint16_t start, char ch, bool plain) {
  size_t r = CharAt(text.data(), text.size(), start, ch, plain);
  return r == kNpos ? kNotFound : static_cast<uint16_t>(r);
}

uint16_t FindFirstOf(Slice text, Slice set, bool plain) {
  if (!text.ok() || !set.ok() || set.empty()) return kNotFound;
  const char* p = text.data();
  size_t n = text.size();
  if (set.size() == 1) return FindChar(text, set.data()[0], plain);
  ByteSet bytes(set);
  size_t r;
  if (plain) {
    r = kNpos;
    for (size_t i = 0; i < n; ++i) {
      if (bytes.Has(static_cast<unsigned char>(p[i]))) {
        r = i;
        break;
      }
    }
  } else {
    r = ScanOutside(p, n, 0, [&](size_t i) { return bytes.Has(static_cast<unsigned char>(p[i])); });
  }
  return r == kNpos ? kNotFound : static_cast<uint16_t>(r);
}

uint16_t FindText(Slice text, Slice pattern, bool plain) {
  if (!text.ok() || !pattern.ok()) return kNotFound;
  if (pattern.empty()) return text.empty() ? kNotFound : 0;
  size_t r = TextAt(text.data(), text.size(), 0, pattern.data(), pattern.size(), plain);
  return r == kNpos ? kNotFound : static_cast<uint16_t>(r);
}

uint16_t FindLast(Slice text, Slice pattern, FindKind kind, bool plain) {
  if (!text.ok() || !pattern.ok() || pattern.empty()) return kNotFound;
  const char* p = text.data();
  size_t n = text.size();
  const char* q = pattern.data();
  size_t m = pattern.size();
  size_t r = kNpos;
  switch (kind) {
    case FindKind::kChar: {
      char ch = q[0];
      if (plain) {
        const void* hit = memrchr(p, ch, n);
        r = hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : kNpos;
      } else {
        r = LastOutside(p, n, [&](size_t i) { return p[i] == ch; });
      }
      break;
    }
    case FindKind::kText:
      if (m > n) break;
      if (plain) {
        for (size_t i = n - m + 1; i-- > 0;) {
          if (MatchesAt(p, n, i, q, m)) {
            r = i;
            break;
          }
        }
      } else {
        r = LastOutside(p, n, [&](size_t i) { return MatchesAt(p, n, i, q, m); });
      }
      break;
    case FindKind::kAnyOf: {
      ByteSet bytes(pattern);
      if (plain) {
        for (size_t i = n; i-- > 0;) {
          if (bytes.Has(static_cast<unsigned char>(p[i]))) {
            r = i;
            break;
          }
        }
      } else {
        r = LastOutside(p, n,
                        [&](size_t i) { return bytes.Has(static_cast<unsigned char>(p[i])); });
      }
      break;
    }
  }
  return r == kNpos ? kNotFound : static_cast<uint16_t>(r);
}

uint16_t CountText(Slice text, Slice pattern, bool plain) {
  if (!text.ok() || !pattern.ok() || pattern.empty()) return 0;
  // Counting resumes right after each match; a pattern holding a quote would
  // resume inside a quoted part, so such a pattern is counted plainly.
  plain = plain || HoldsQuote(pattern);
  const char* p = text.data();
  size_t n = text.size(), m = pattern.size();
  uint16_t count = 0;
  for (size_t i = TextAt(p, n, 0, pattern.data(), m, plain); i != kNpos;
       i = TextAt(p, n, i + m, pattern.data(), m, plain)) {
    ++count;
  }
  return count;
}

uint16_t FindNul(Slice text) { return FindChar(text, '\0', true); }

int FindElement(const void* array, int count, uint32_t value, int size) {
  if (array == nullptr || count <= 0) return -1;
  const unsigned char* p = static_cast<const unsigned char*>(array);
  if (size == 2) {
    for (int i = 0; i < count; ++i) {
      uint16_t e;
      std::memcpy(&e, p + 2 * static_cast<size_t>(i), 2);
      if (e == value) return i;
    }
  } else if (size == 4) {
    for (int i = 0; i < count; ++i) {
      uint32_t e;
      std::memcpy(&e, p + 4 * static_cast<size_t>(i), 4);
      if (e == value) return i;
    }
  }
  return -1;
}

// ---- Items of a separated list -------------------------------------------

Slice Item(Slice list, char sep, int n) {
  if (!list.ok()) return list;
  size_t b, e;
  if (n <= 0 || !ItemBounds(list, sep, n, &b, &e)) return EmptyAt(list.data(), list.size());
  return Slice(list.data() + b, static_cast<uint16_t>(e - b));
}

int ItemNumber(Slice list, char sep, int n) { return Integer(Unquote(Trim(Item(list, sep, n)))); }

int CountItems(Slice list, char sep) {
  if (!list.ok() || list.empty()) return 0;
  const char* p = list.data();
  size_t n = list.size();
  int count = 1;
  for (size_t s = SeparatorAt(p, n, 0, sep); s < n; s = SeparatorAt(p, n, s + 1, sep)) ++count;
  return count;
}

int ItemPosition(Slice list, Slice value, char sep) {
  if (!list.ok() || !value.ok() || list.size() < value.size()) return 0;
  ItemCursor items(list, sep);
  Slice item;
  for (int k = 1; items.Next(&item); ++k) {
    if (item == value) return k;
  }
  return 0;
}

Slice Rest(Slice list, char sep) {
  if (!list.ok()) return list;
  const char* p = list.data();
  size_t n = list.size();
  size_t s = SeparatorAt(p, n, 0, sep);
  if (s >= n) return EmptyAt(p, n);
  return Slice(p + s + 1, static_cast<uint16_t>(n - s - 1));
}

Slice SetItem(Slice list, Slice value, char sep, int n) {
  if (!list.ok()) return list;
  if (!value.ok()) return value;
  const char* p = list.data();
  size_t len = list.size();
  if (n < 0) {
    int64_t k = -static_cast<int64_t>(n);
    int count = CountItems(list, sep);
    if (k > count) return Copy(list);
    if (count == 1) return Copy(EmptyAt(p, 0));
    size_t b, e;
    (void)ItemBounds(list, sep, static_cast<int>(k), &b, &e);
    // Take the item with the separator before it (after it, for the first).
    if (b == 0) return Copy(Slice(p + e + 1, static_cast<uint16_t>(len - e - 1)));
    return Concat(Slice(p, static_cast<uint16_t>(b - 1)),
                  Slice(p + e, static_cast<uint16_t>(len - e)));
  }
  if (n == 0) {
    if (len == 0) return Copy(value);
    return Concat({list, Slice(&sep, 1), value});
  }
  size_t b, e;
  if (ItemBounds(list, sep, n, &b, &e)) {
    return Concat(
        {Slice(p, static_cast<uint16_t>(b)), value, Slice(p + e, static_cast<uint16_t>(len - e))});
  }
  // Missing items up to n are added empty; an empty list counts as one
  // empty item here, so item n lands after n - 1 separators.
  size_t have = std::max(CountItems(list, sep), 1);
  size_t seps = static_cast<size_t>(n) - have;
  Slice out;
  char* w = NewTop(Area(), len + seps + value.size(), &out);
  if (w == nullptr) return out;
  if (len) std::memcpy(w, p, len);
  std::memset(w + len, sep, seps);
  if (value.size()) std::memcpy(w + len + seps, value.data(), value.size());
  return out;
}

int ShortestItem(Slice list, char sep) {
  ItemCursor items(list, sep);
  Slice item;
  int shortest = -1;
  while (items.Next(&item)) {
    if (shortest < 0 || item.size() < shortest) shortest = item.size();
  }
  return shortest < 0 ? 0 : shortest;
}

int LongestItem(Slice list, char sep) {
  ItemCursor items(list, sep);
  Slice item;
  int longest = 0;
  while (items.Next(&item)) longest = std::max<int>(longest, item.size());
  return longest;
}

std::vector<Slice> Split(Slice list, char sep) {
  std::vector<Slice> out;
  if (!list.ok()) return out;
  ItemCursor items(list, sep);
  Slice item;
  while (items.Next(&item)) out.push_back(item);
  return out;
}

Slice VectorItem(const std::vector<Slice>& items, int n) {
  if (n < 1 || static_cast<size_t>(n) > items.size()) return Slice();
  return items[static_cast<size_t>(n) - 1];
}

namespace {

// Builds a list from the items of `a` (or `b`) chosen by `take`, joined with
// `sep`; `lead` is text written first (the list a for a union), which counts
// as holding items when it is not empty. Two walks: measure, then write.
template <typename Take>
Slice BuildList(Slice lead, Slice from, char from_sep, char sep, Take take) {
  size_t total = lead.size();
  bool any = !lead.empty();
  {
    ItemCursor items(from, from_sep);
    Slice item;
    for (int k = 1; items.Next(&item); ++k) {
      if (!take(item, k)) continue;
      total += (any ? 1 : 0) + item.size();
      any = true;
    }
  }
  Slice out;
  char* w = NewTop(Area(), total, &out);
  if (w == nullptr) return out;
  if (lead.size()) std::memcpy(w, lead.data(), lead.size());
  w += lead.size();
  any = !lead.empty();
  ItemCursor items(from, from_sep);
  Slice item;
  for (int k = 1; items.Next(&item); ++k) {
    if (!take(item, k)) continue;
    if (any) *w++ = sep;
    if (item.size()) std::memcpy(w, item.data(), item.size());
    w += item.size();
    any = true;
  }
  return out;
}

}  // namespace

Slice ListUnion(Slice a, char sep_a, Slice b, char sep_b) {
  if (!a.ok() || !b.ok()) return FirstError(a, b);
  // An item of b joins when it is in neither a nor earlier in b, so the
  // result holds each item once even when b repeats one.
  return BuildList(a, b, sep_b, sep_a, [&](Slice item, int k) {
    if (ItemPosition(a, item, sep_a) != 0) return false;
    int first = ItemPosition(b, item, sep_b);
    return first == 0 || first == k;
  });
}

Slice ListDifference(Slice a, char sep_a, Slice b, char sep_b) {
  if (!a.ok() || !b.ok()) return FirstError(a, b);
  return BuildList(Slice(), a, sep_a, sep_a,
                   [&](Slice item, int) { return ItemPosition(b, item, sep_b) == 0; });
}

Slice ListIntersection(Slice a, char sep_a, Slice b, char sep_b) {
  if (!a.ok() || !b.ok()) return FirstError(a, b);
  return BuildList(Slice(), a, sep_a, sep_a,
                   [&](Slice item, int) { return ItemPosition(b, item, sep_b) != 0; });
}

Slice Collapse(Slice text, char ch) {
  if (!text.ok()) return text;
  StringArea& area = Area();
  Slice out;
  char* w = NewTop(area, text.size(), &out);
  if (w == nullptr) return out;
  const char* p = text.data();
  size_t n = text.size(), k = 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == ch && k > 0 && w[k - 1] == ch) continue;
    w[k++] = p[i];
  }
  return area.TruncateTop(static_cast<uint16_t>(k));
}

namespace {

// A signed 64-bit integer at p[*i]; saturated; false when no digit.
bool ReadInt64(const char* p, size_t n, size_t* i, int64_t* value) {
  size_t j = *i;
  bool neg = false;
  if (j < n && (p[j] == '+' || p[j] == '-')) neg = p[j++] == '-';
  if (j >= n || p[j] < '0' || p[j] > '9') return false;
  uint64_t mag = 0;
  constexpr uint64_t kLimit = uint64_t{INT64_MAX};
  for (; j < n && p[j] >= '0' && p[j] <= '9'; ++j) {
    if (mag <= kLimit) mag = mag * 10 + static_cast<uint64_t>(p[j] - '0');  // no wrap: 10^19 fits
  }
  if (neg) {
    *value = mag > kLimit ? INT64_MIN : -static_cast<int64_t>(mag);
  } else {
    *value = mag > kLimit ? INT64_MAX : static_cast<int64_t>(mag);
  }
  *i = j;
  return true;
}

}  // namespace

int RangeIndex(Slice ranges, int64_t value) {
  if (!ranges.ok()) return 0;
  ItemCursor items(ranges, ',');
  Slice item;
  for (int k = 1; items.Next(&item); ++k) {
    Slice t = Trim(item);
    const char* p = t.data();
    size_t n = t.size(), i = 0;
    int64_t low, high;
    if (!ReadInt64(p, n, &i, &low)) continue;
    while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
    if (i < n && p[i] == '-') {
      ++i;
      while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
      if (!ReadInt64(p, n, &i, &high)) continue;
    } else {
      high = low;  // a single value is a range of one
    }
    if (low <= value && value <= high) return k;
  }
  return 0;
}

// ---- Building -------------------------------------------------------------

Slice Concat(Slice a, Slice b) {
  if (!a.ok()) return a;
  if (!b.ok()) return b;
  Slice out;
  char* w = NewTop(Area(), size_t{a.size()} + b.size(), &out);
  if (w == nullptr) return out;
  if (a.size()) std::memcpy(w, a.data(), a.size());
  if (b.size()) std::memcpy(w + a.size(), b.data(), b.size());
  return out;
}

Slice Concat(std::initializer_list<Slice> parts) {
  size_t total = 0;
  for (Slice s : parts) {
    if (!s.ok()) return s;
    total += s.size();
  }
  Slice out;
  char* w = NewTop(Area(), total, &out);
  if (w == nullptr) return out;
  for (Slice s : parts) {
    if (s.size()) std::memcpy(w, s.data(), s.size());
    w += s.size();
  }
  return out;
}

Slice Join(Slice a, Slice sep, Slice b) {
  if (!a.ok()) return a;
  if (!sep.ok()) return sep;
  if (!b.ok()) return b;
  if (a.empty()) return Copy(b);
  if (b.empty()) return Copy(a);
  return Concat({a, sep, b});
}

Slice Pair(Slice name, Slice value) {
  if (!name.ok()) return name;
  if (!value.ok()) return value;
  if (name.empty() || value.empty()) return Slice::Error(Status::kBadInputData);
  return Concat({name, Slice("=", 1), value});
}

Slice Either(Slice a, Slice b) {
  if (!a.ok()) return a;
  return a.empty() ? b : a;
}

Slice Copy(Slice a) { return Area().Push(a); }

const char* CString(Slice a) {
  if (!a.ok()) return "";
  StringArea& area = Area();
  Slice out;
  char* w = NewTop(area, size_t{a.size()} + 1, &out);
  if (w == nullptr) return "";
  if (a.size()) std::memcpy(w, a.data(), a.size());
  w[a.size()] = '\0';
  return w;
}

Slice Repeat(Slice a, int n) {
  if (!a.ok()) return a;
  if (n <= 0 || a.empty()) return EmptyAt(a.data(), 0);
  size_t total = size_t{a.size()} * static_cast<size_t>(n);
  if (total > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
  Slice out;
  char* w = NewTop(Area(), total, &out);
  if (w == nullptr) return out;
  if (a.size() == 1) {
    std::memset(w, a.data()[0], total);
  } else {
    for (int i = 0; i < n; ++i, w += a.size()) std::memcpy(w, a.data(), a.size());
  }
  return out;
}

Slice Overwrite(Slice a, int pos, Slice b) {
  if (!a.ok()) return a;
  if (!b.ok()) return b;
  size_t n = a.size();
  int64_t at = pos < 0 ? std::max<int64_t>(0, static_cast<int64_t>(n) + pos) : pos;
  Slice out;
  char* w = NewTop(Area(), n, &out);
  if (w == nullptr) return out;
  if (n) std::memcpy(w, a.data(), n);
  if (static_cast<uint64_t>(at) < n) {
    size_t k = std::min<size_t>(b.size(), n - static_cast<size_t>(at));
    if (k) std::memcpy(w + at, b.data(), k);
  }
  return out;
}

Status WriteInto(char* buffer, size_t buffer_size, size_t pos, Slice b) {
  if (!b.ok()) return b.status();
  if (b.empty()) return Status::kOk;
  // REQUIRES: a buffer to write into.
  assert(buffer != nullptr || buffer_size == 0);
  if (buffer == nullptr || pos >= buffer_size) return Status::kStrConcatError;
  size_t k = std::min<size_t>(b.size(), buffer_size - pos);
  std::memcpy(buffer + pos, b.data(), k);
  return k < b.size() ? Status(Status::kStrConcatError) : Status(Status::kOk);
}

Slice OneChar(char ch) { return Slice(&kOneChars[static_cast<unsigned char>(ch)], 1); }

Slice Substring(Slice a, int off, uint16_t len) {
  if (!a.ok()) return a;
  const char* p = a.data();
  size_t n = a.size();
  if (off < 0) {
    size_t k = std::min<size_t>(n, static_cast<size_t>(-static_cast<int64_t>(off)));
    return Slice(p + n - k, static_cast<uint16_t>(k));
  }
  if (static_cast<size_t>(off) >= n) return EmptyAt(p, n);
  size_t k = std::min<size_t>(len, n - static_cast<size_t>(off));
  return Slice(p + off, static_cast<uint16_t>(k));
}

Slice ReplaceAll(Slice text, Slice pattern, Slice replacement, bool plain) {
  if (!text.ok()) return text;
  if (!pattern.ok()) return pattern;
  if (!replacement.ok()) return replacement;
  if (pattern.empty()) return Copy(text);
  // Resuming after a replaced quote would start inside a quoted part.
  plain = plain || HoldsQuote(pattern);
  const char* p = text.data();
  const char* q = pattern.data();
  size_t n = text.size(), m = pattern.size(), r = replacement.size();
  size_t count = 0;
  for (size_t i = TextAt(p, n, 0, q, m, plain); i != kNpos; i = TextAt(p, n, i + m, q, m, plain)) {
    ++count;
  }
  if (count == 0) return Copy(text);
  size_t total = n - count * m + count * r;
  Slice out;
  char* w = NewTop(Area(), total, &out);
  if (w == nullptr) return out;
  size_t from = 0;
  for (size_t i = TextAt(p, n, 0, q, m, plain); i != kNpos; i = TextAt(p, n, i + m, q, m, plain)) {
    std::memcpy(w, p + from, i - from);
    w += i - from;
    if (r) std::memcpy(w, replacement.data(), r);
    w += r;
    from = i + m;
  }
  std::memcpy(w, p + from, n - from);
  return out;
}

Slice KeepChars(Slice text, Slice set) {
  if (!text.ok()) return text;
  if (!set.ok()) return set;
  ByteSet bytes(set);
  StringArea& area = Area();
  Slice out;
  char* w = NewTop(area, text.size(), &out);
  if (w == nullptr) return out;
  size_t k = 0;
  for (uint16_t i = 0; i < text.size(); ++i) {
    if (bytes.Has(text[i])) w[k++] = static_cast<char>(text[i]);
  }
  return area.TruncateTop(static_cast<uint16_t>(k));
}

Slice Translate(Slice text, Slice from, Slice to) {
  if (!text.ok()) return text;
  if (!from.ok()) return from;
  if (!to.ok()) return to;
  unsigned char map[256];
  for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
  // The first place of a character in `from` decides; one past the end of
  // `to` has no replacement and stays as it is.
  ByteSet seen(Slice{});
  for (uint16_t i = 0; i < from.size(); ++i) {
    unsigned char c = from[i];
    if (seen.Has(c)) continue;
    seen.Add(c);
    if (i < to.size()) map[c] = to[i];
  }
  Slice out;
  char* w = NewTop(Area(), text.size(), &out);
  if (w == nullptr) return out;
  for (uint16_t i = 0; i < text.size(); ++i) w[i] = static_cast<char>(map[text[i]]);
  return out;
}

// ---- Case, trimming and quotes ---------------------------------------------

namespace {

template <bool kUpper>
Slice ChangeCase(Slice a) {
  if (!a.ok()) return a;
  Slice out;
  char* w = NewTop(Area(), a.size(), &out);
  if (w == nullptr) return out;
  const char* p = a.data();
  for (size_t i = 0, n = a.size(); i < n; ++i) {
    char c = p[i];
    if (kUpper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) c ^= 0x20;
    w[i] = c;
  }
  return out;
}

inline bool InSet(Slice set, char c) { return std::memchr(set.data(), c, set.size()) != nullptr; }

}  // namespace

Slice Upper(Slice a) { return ChangeCase<true>(a); }
Slice Lower(Slice a) { return ChangeCase<false>(a); }

Slice Trim(Slice a, int sides, Slice set) {
  if (!a.ok()) return a;
  if (!set.ok()) return set;
  const char* p = a.data();
  size_t b = 0, e = a.size();
  if (sides & kTrimLeft) {
    while (b < e && InSet(set, p[b])) ++b;
  }
  if (sides & kTrimRight) {
    while (e > b && InSet(set, p[e - 1])) --e;
  }
  return Slice(p + b, static_cast<uint16_t>(e - b));
}

Slice Unquote(Slice a) {
  if (!a.ok() || a.size() < 2) return a;
  const char* p = a.data();
  size_t n = a.size();
  if (IsQuote(p[0]) && p[n - 1] == p[0]) return Slice(p + 1, static_cast<uint16_t>(n - 2));
  return a;
}

Slice CleanValue(Slice a) {
  if (!a.ok()) return a;
  Slice t = Unquote(Trim(a));
  if (t.size() == a.size()) return Upper(a);
  return t;
}

char PartnerOf(char ch) {
  static constexpr char kPairs[] = "[](){}<>";
  for (int i = 0; i < 8; i += 2) {
    if (kPairs[i] == ch) return kPairs[i + 1];
  }
  return ch;
}

Slice Enclose(Slice a, char ch) {
  if (!a.ok()) return a;
  Slice out;
  char* w = NewTop(Area(), size_t{a.size()} + 2, &out);
  if (w == nullptr) return out;
  w[0] = ch;
  if (a.size()) std::memcpy(w + 1, a.data(), a.size());
  w[a.size() + 1] = PartnerOf(ch);
  return out;
}

Slice Quote(Slice a, char ch) {
  if (!a.ok()) return a;
  if (!IsQuote(ch)) return Enclose(a, ch);
  bool has_single = std::memchr(a.data(), '\'', a.size()) != nullptr;
  bool has_double = std::memchr(a.data(), '"', a.size()) != nullptr;
  if (has_single && has_double) return Slice::Error(Status::kBadInputData);
  bool holds_ch = ch == '\'' ? has_single : has_double;
  if (holds_ch) ch = ch == '\'' ? '"' : '\'';
  return Enclose(a, ch);
}

Slice Bracketed(Slice text, char ch, bool plain) {
  if (!text.ok()) return text;
  const char* p = text.data();
  size_t n = text.size();
  size_t open = CharAt(p, n, 0, ch, plain);
  if (open == kNpos) return Slice();
  char close = PartnerOf(ch);
  size_t e;
  if (close == ch) {
    // A quote closes at its next twin whatever lies between.
    e = CharAt(p, n, open + 1, ch, plain || IsQuote(ch));
  } else {
    e = kNpos;
    int depth = 1;
    size_t i = open + 1;
    while (i < n) {
      char c = p[i];
      if (c == close) {
        if (--depth == 0) {
          e = i;
          break;
        }
        ++i;
      } else if (c == ch) {
        ++depth;
        ++i;
      } else if (!plain && IsQuote(c)) {
        i = StepOutside(p, n, i);
      } else {
        ++i;
      }
    }
  }
  if (e == kNpos) return Slice();
  return Slice(p + open + 1, static_cast<uint16_t>(e - open - 1));
}

bool StartsAndEndsWithPair(Slice text, char ch) {
  if (!text.ok() || text.size() < 2) return false;
  return text.data()[0] == ch && text.data()[text.size() - 1] == PartnerOf(ch);
}

// ---- Comparison -------------------------------------------------------------

int CompareBytes(const void* p, const void* q, size_t n) {
  if (p == nullptr || q == nullptr) return Status::kStrOutBound;
  if (n == 0) return 0;
  int r = std::memcmp(p, q, n);
  return r > 0 ? 1 : (r < 0 ? -1 : 0);
}

uint16_t Compare(Slice a, Slice b) {
  if (!a.ok()) return a.status();
  if (!b.ok()) return b.status();
  size_t common = std::min(a.size(), b.size());
  int r = common ? std::memcmp(a.data(), b.data(), common) : 0;
  if (r == 0) r = (a.size() > b.size()) - (a.size() < b.size());
  return r > 0 ? 1 : (r < 0 ? kNotFound : 0);
}

bool IsYes(Slice a) {
  if (!a.ok() || a.empty() || a.size() > 3) return false;
  char u[3];
  for (uint16_t i = 0; i < a.size(); ++i) {
    char c = a.data()[i];
    u[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c ^ 0x20) : c;
  }
  static constexpr const char* kYesWords[] = {"YES", "SI", "Y", "S", "ON"};
  static_assert(sizeof kYesWords / sizeof kYesWords[0] == 5);
  for (const char* word : kYesWords) {
    if (std::strlen(word) == a.size() && std::memcmp(word, u, a.size()) == 0) return true;
  }
  return false;
}

int Integer(Slice a) {
  if (!a.ok()) return 0;
  return IsYes(a) ? 1 : LeadingInteger(a);
}

// ---- NAME=value texts --------------------------------------------------------

Slice ValueOf(Slice text, Slice name, int flags) {
  if (!text.ok()) return text;
  if (!name.ok()) return name;
  if (name.empty()) return Slice();
  const char* p = text.data();
  size_t n = text.size(), m = name.size();
  bool nul = (flags & kValueNulSeparated) != 0;
  auto starts_name = [&](size_t i) {
    if (i == 0) return true;
    char c = p[i - 1];
    return nul ? c == '\0' : (c == ':' || c == ' ' || c == '&' || c == '/');
  };
  size_t value = kNpos;
  for (char delim : {':', '='}) {
    for (size_t i = TextAt(p, n, 0, name.data(), m, nul); i != kNpos;) {
      if (starts_name(i) && i + m < n && p[i + m] == delim) {
        value = i + m + 1;
        break;
      }
      size_t next = nul ? i + 1 : StepOutside(p, n, i);
      i = next == kNpos ? kNpos : TextAt(p, n, next, name.data(), m, nul);
    }
    if (value != kNpos) break;
  }
  if (value == kNpos) return Slice();
  size_t end;
  if (nul) {
    end = CharAt(p, n, value, '\0', true);
  } else {
    end = ScanOutside(p, n, value, [&](size_t i) {
      char c = p[i];
      return c == ':' || c == ' ' || c == '&' || c == '/';
    });
  }
  if (end == kNpos) end = n;
  Slice v(p + value, static_cast<uint16_t>(end - value));
  if (flags & 2) return CleanValue(v);
  if (flags & kValueUnquote) return Unquote(v);
  return v;
}

// ---- Sorting ------------------------------------------------------------------

namespace {

inline bool RecordLess(const char* x, const char* y, size_t size) {
  return std::memcmp(x, y, size) < 0;
}

// Stable insertion of records [from, to) of `base` into order.
void InsertionSort(char* base, size_t size, size_t from, size_t to) {
  for (size_t i = from + 1; i < to; ++i) {
    const char* rec = base + i * size;
    // Upper bound: after every equal record, which keeps the sort stable.
    size_t lo = from, hi = i;
    while (lo < hi) {
      size_t mid = lo + (hi - lo) / 2;
      if (RecordLess(rec, base + mid * size, size)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    if (lo < i) std::rotate(base + lo * size, base + i * size, base + (i + 1) * size);
  }
}

}  // namespace

Slice SortRecords(Slice records, int size, int count) {
  if (!records.ok()) return records;
  if (size <= 0 || count <= 0) return EmptyAt(records.data(), 0);
  int64_t total = int64_t{size} * count;
  if (total > records.size()) return Slice::Error(Status::kStrOutBound);
  size_t rs = static_cast<size_t>(size), nr = static_cast<size_t>(count);
  StringArea& area = Area();
  AreaMark mark(area);
  Slice a = area.Push(Slice(records.data(), static_cast<uint16_t>(total)));
  if (!a.ok()) return mark.Keep(a);
  char* src = area.MutableTop();
  // Any stable ascending sort gives the order of the adjacent-swap walk; a
  // merge sort keeps long tables fast. Without room for the second copy the
  // records are sorted in place.
  constexpr size_t kRun = 8;
  Slice b = area.Reserve(static_cast<size_t>(total));
  if (!b.ok() || nr <= kRun) {
    InsertionSort(src, rs, 0, nr);
    return mark.Keep(a);
  }
  char* dst = area.MutableTop();
  for (size_t i = 0; i < nr; i += kRun) InsertionSort(src, rs, i, std::min(nr, i + kRun));
  Slice in = a, out = b;
  for (size_t width = kRun; width < nr; width *= 2) {
    for (size_t lo = 0; lo < nr; lo += 2 * width) {
      size_t mid = std::min(nr, lo + width), hi = std::min(nr, lo + 2 * width);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        // Equal records come from the left run first.
        const char* take =
            RecordLess(src + j * rs, src + i * rs, rs) ? src + j++ * rs : src + i++ * rs;
        std::memcpy(dst + k++ * rs, take, rs);
      }
      if (i < mid) {
        std::memcpy(dst + k * rs, src + i * rs, (mid - i) * rs);
        k += mid - i;
      }
      if (j < hi) std::memcpy(dst + k * rs, src + j * rs, (hi - j) * rs);
    }
    std::swap(src, dst);
    std::swap(in, out);
  }
  return mark.Keep(in);
}

}  // namespace tessaly
