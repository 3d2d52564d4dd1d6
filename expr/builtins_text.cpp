// The text functions: FN#SLEN, FN#PARM, FN$CHNG, FN$CHRS, FN$MIDS,
// FN$PARM, FN$TRIM, ENVELOP$ and EXP$.

#include <algorithm>
#include <cstring>

#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "expr/builtins_internal.h"

namespace tessaly::builtins {
namespace {

#define RETURN_IF_FAILED(expr)         \
  do {                                 \
    Status status_ = (expr);           \
    if (!status_.ok()) return status_; \
  } while (0)

// A character code argument: 0-255, else 163.
Status CharacterCode(int64_t code, char* out) {
  if (code < 0 || code > 255) return Status::kBadInputData;
  *out = static_cast<char>(static_cast<unsigned char>(code));
  return Status::kOk;
}

// Positions and lengths from 64-bit arguments, kept inside what a text can
// hold so that a wild value cannot wrap.
int ClampPosition(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -70000, 70000)); }

// `pattern` found plainly in `text` from `from`; kNotFound when absent.
size_t FindPlain(Slice text, size_t from, Slice pattern) {
  if (pattern.empty() || text.size() < pattern.size()) return kNotFound;
  const char* base = text.data();
  size_t last = text.size() - pattern.size();
  for (size_t i = from; i <= last; ++i) {
    if (base[i] == pattern.data()[0] &&
        std::memcmp(base + i, pattern.data(), pattern.size()) == 0) {
      return i;
    }
  }
  return kNotFound;
}

// Every occurrence of `pattern` replaced by `replacement`, at most `limit`
// of them (negative: all). The search is plain: the texts changed here are
// data, where an apostrophe is a letter rather than the start of a quote.
Slice ReplaceLimited(Slice text, Slice pattern, Slice replacement, int64_t limit) {
  if (pattern.empty() || limit == 0) return Copy(text);
  size_t size = 0;
  int64_t found = 0;
  for (size_t at = 0; (limit < 0 || found < limit);) {
    size_t hit = FindPlain(text, at, pattern);
    if (hit == kNotFound) break;
    ++found;
    at = hit + pattern.size();
  }
  size = text.size() + static_cast<size_t>(found) * replacement.size() -
         static_cast<size_t>(found) * pattern.size();
  if (size > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
  Slice out = Area().Reserve(size);
  if (!out.ok()) return out;
  char* w = Area().MutableTop();
  size_t at = 0;
  for (int64_t k = 0; k < found; ++k) {
    size_t hit = FindPlain(text, at, pattern);
    std::memcpy(w, text.data() + at, hit - at);
    w += hit - at;
    std::memcpy(w, replacement.data(), replacement.size());
    w += replacement.size();
    at = hit + pattern.size();
  }
  std::memcpy(w, text.data() + at, text.size() - at);
  return Area().Top();
}

// FILTER with pieces: `pieces` cut into as many equal pieces as `to` has
// characters, and every occurrence of piece k replaced by character k. One
// pass from the left, so that a replaced character is never matched again.
Slice ReplacePieces(Slice text, Slice pieces, Slice to) {
  if (to.empty()) return Copy(text);
  size_t width = pieces.size() / to.size();
  if (width == 0) return Copy(text);
  // The result is never longer than the text.
  Slice out = Area().Reserve(text.size());
  if (!out.ok()) return out;
  char* w = Area().MutableTop();
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    size_t k = 0;
    for (; k < to.size(); ++k) {
      if (i + width <= text.size() &&
          std::memcmp(text.data() + i, pieces.data() + k * width, width) == 0) {
        break;
      }
    }
    if (k < to.size()) {
      w[n++] = to.data()[k];
      i += width;
    } else {
      w[n++] = text.data()[i++];
    }
  }
  return Area().TruncateTop(static_cast<uint16_t>(n));
}

}  // namespace

// FN#SLEN(text): its length.
Status TextLength(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 1));
  Slice text;
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  return ReturnInteger(mark, text.size());
}

// FN#PARM(list; item; values): the count of items, the position of an item,
// the item at the same position of a second list as a number, or (with a
// number third argument) the position of the range holding a whole number.
Status ListNumber(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  Slice list;
  RETURN_IF_FAILED(args.Text(1, Slice(), &list));
  if (args.count() == 1) return ReturnInteger(mark, CountItems(list, ','));
  if (args.count() == 3 && args.is_number(3)) {
    int64_t value = args.is_number(2) ? IntegerOf(args.number(2)) : WholeNumberOf(args.text(2));
    return ReturnInteger(mark, RangeIndex(list, value));
  }
  Slice item;
  RETURN_IF_FAILED(args.TextOrNumber(2, Slice(), &item));
  int position = ItemPosition(list, item, ',');
  if (args.count() == 3 && args.given(3)) {
    Slice values;
    RETURN_IF_FAILED(args.Text(3, Slice(), &values));
    return ReturnNumber(mark, ParseNumber(Item(values, ',', position)));
  }
  return ReturnInteger(mark, position);
}

// FN$CHNG(text; mode or search; replacement; extra).
Status Change(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(2, 4));
  Slice text, mode;
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  RETURN_IF_FAILED(args.Text(2, Slice(), &mode));
  enum { kUpper = 1, kLower, kClean, kFilter };
  switch (ItemPosition("UCASE,LCASE,CLEAN,FILTER", mode, ',')) {
    case kUpper:
      return ReturnText(mark, Upper(text));
    case kLower:
      return ReturnText(mark, Lower(text));
    case kClean:
      return ReturnText(mark, Collapse(text, ' '));
    case kFilter: {
      Slice set;
      RETURN_IF_FAILED(args.Text(3, Slice(), &set));
      if (!args.given(4)) return ReturnText(mark, KeepChars(text, set));
      Slice to;
      RETURN_IF_FAILED(args.TextOrNumber(4, Slice(), &to));
      return ReturnText(mark, ReplacePieces(text, set, to));
    }
    default: {
      Slice replacement;
      RETURN_IF_FAILED(args.Text(3, Slice(), &replacement));
      int64_t limit = -1;
      if (args.is_number(4)) limit = std::max<int64_t>(IntegerOf(args.number(4)), 0);
      return ReturnText(mark, ReplaceLimited(text, mode, replacement, limit));
    }
  }
}

// FN$CHRS(character; count = 1): a character code or a text, repeated.
Status Characters(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice piece;
  char ch = 0;
  if (args.is_number(1)) {
    RETURN_IF_FAILED(CharacterCode(IntegerOf(args.number(1)), &ch));
    piece = Slice(&ch, 1);
  } else {
    RETURN_IF_FAILED(args.Text(1, Slice(), &piece));
  }
  int64_t count = 1;
  RETURN_IF_FAILED(args.Integer(2, 1, &count));
  if (count <= 0 || piece.empty()) return ReturnText(mark, Slice());
  if (count > kMaxTextLength) return Status::kStringTooLong;
  return ReturnText(mark, Repeat(piece, static_cast<int>(count)));
}

// FN$MIDS(text; start = -1; length = -1): start from 1, or from the end
// when negative (then the length does not count).
Status Middle(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(2, 3));
  Slice text;
  int64_t start = -1, length = -1;
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  RETURN_IF_FAILED(args.Integer(2, -1, &start));
  RETURN_IF_FAILED(args.Integer(3, -1, &length));
  int offset = start >= 1 ? ClampPosition(start - 1) : start < 0 ? ClampPosition(start) : 0;
  uint16_t n = length < 0 ? kMaxTextLength
                          : static_cast<uint16_t>(std::min<int64_t>(length, kMaxTextLength));
  if (offset >= static_cast<int>(text.size())) return ReturnText(mark, Slice());
  return ReturnText(mark, Substring(text, offset, n));
}

// FN$PARM(list; n = 65535; separator = 44): item n.
Status ListItem(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  Slice list;
  int64_t n = 65535, separator = ',';
  RETURN_IF_FAILED(args.Text(1, Slice(), &list));
  RETURN_IF_FAILED(args.Integer(2, 65535, &n));
  RETURN_IF_FAILED(args.Integer(3, ',', &separator));
  char sep = 0;
  RETURN_IF_FAILED(CharacterCode(separator, &sep));
  if (n < 1 || n > kMaxTextLength) return ReturnText(mark, Slice());
  return ReturnText(mark, Item(list, sep, static_cast<int>(n)));
}

// FN$TRIM(value; mode = "FIT").
Status TrimValue(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice value, mode;
  RETURN_IF_FAILED(args.TextOrNumber(1, Slice(), &value));
  RETURN_IF_FAILED(args.Text(2, "FIT", &mode));
  switch (ItemPosition("LEFTTRIM,RIGHTRIM,BOTHTRIM,FIT", mode, ',')) {
    case 1:
      return ReturnText(mark, Trim(value, kTrimLeft));
    case 2:
      return ReturnText(mark, Trim(value, kTrimRight));
    case 3:
      return ReturnText(mark, Trim(value, kTrimBoth));
    case 4:
      return ReturnText(mark, CleanValue(value));
    default:
      return SetDetail(Status::kSyntaxError, mode);
  }
}

// ENVELOP$(text; quote = 39): the text quoted, with the other quote when it
// holds this one.
Status Envelope(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice text;
  int64_t code = '\'';
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  RETURN_IF_FAILED(args.Integer(2, '\'', &code));
  char quote = 0;
  RETURN_IF_FAILED(CharacterCode(code, &quote));
  return ReturnText(mark, Quote(text, quote));
}

// EXP$(template; arguments ...): each "$k_" takes the text of argument k+1
// as written. One pass from the left, so that an inserted text is never
// searched for placeholders again.
Status Template(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  if (args.count() < 1) return Status::kSyntaxError;
  Slice text;
  RETURN_IF_FAILED(args.Text(1, Slice(), &text));
  const int fills = args.count() - 1;
  // A placeholder at i: the number k and where it ends; 0 when none.
  auto placeholder = [&](size_t i, size_t* end) -> int {
    if (text[i] != '$') return 0;
    size_t j = i + 1;
    int k = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && k <= fills) {
      k = k * 10 + (text[j] - '0');
      ++j;
    }
    if (j == i + 1 || j >= text.size() || text[j] != '_' || k < 1 || k > fills) return 0;
    *end = j + 1;
    return k;
  };
  size_t size = 0;
  for (size_t i = 0; i < text.size();) {
    size_t end = 0;
    int k = placeholder(i, &end);
    if (k) {
      size += args.text(k + 1).size();
      i = end;
    } else {
      ++size;
      ++i;
    }
  }
  if (size > kMaxTextLength) return Status::kStringTooLong;
  Slice out = Area().Reserve(size);
  if (!out.ok()) return out.status();
  char* w = Area().MutableTop();
  for (size_t i = 0; i < text.size();) {
    size_t end = 0;
    int k = placeholder(i, &end);
    if (k) {
      Slice fill = args.text(k + 1);
      if (!fill.empty()) std::memcpy(w, fill.data(), fill.size());
      w += fill.size();
      i = end;
    } else {
      *w++ = text.data()[i++];
    }
  }
  return ReturnText(mark, Area().Top());
}

}  // namespace tessaly::builtins
