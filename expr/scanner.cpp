#include "expr/scanner.h"

#include <array>
#include <string>
#include <string_view>

#include "core/string_area.h"
#include "core/text.h"
#include "expr/evaluator.h"
#include "expr/fields.h"
#include "expr/functions.h"

namespace tessaly {
namespace {

constexpr const char* kOperatorTexts[] = {
    "*", "/", "!", "%", "\xF7", "+", "-", "=", ">", "<",
    "==", ">=", "<=", "<>", "&", "|", "@", "&&", "||", "@@",
};
constexpr uint8_t kPriorities[] = {4, 4, 4, 4, 4, 3, 3, 0, 2, 2, 2, 2, 2, 2, 1, 5, 1, 1, 1, 1};
static_assert(std::size(kOperatorTexts) == kOperatorCount);
static_assert(std::size(kPriorities) == kOperatorCount);

// An operator character from this position of kOperatorCharacters on may
// be the second character of an operator: = > < & @ |.
constexpr int kSecondCharacterFrom = 12;
static_assert(kOperatorCharacters[kSecondCharacterFrom] == '=');

// The position of each byte in kOperatorCharacters, -1 for the others.
constexpr std::array<int8_t, 256> OperatorCharacterTable() {
  std::array<int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (int i = 0; i < kOperatorCharacterCount; ++i) {
    table[static_cast<unsigned char>(kOperatorCharacters[i])] = static_cast<int8_t>(i);
  }
  return table;
}
constexpr std::array<int8_t, 256> kOperatorCharacterIndex = OperatorCharacterTable();

const Slice kOperatorSet(kOperatorCharacters, kOperatorCharacterCount);

int OperatorCharacter(unsigned char c) { return kOperatorCharacterIndex[c]; }

uint8_t LookUpOperator(const char* p, int length) {
  for (int op = 0; op < kOperatorCount; ++op) {
    const char* t = kOperatorTexts[op];
    if (static_cast<int>(std::char_traits<char>::length(t)) == length &&
        std::memcmp(t, p, length) == 0) {
      return static_cast<uint8_t>(op + 1);
    }
  }
  return kOpNone;
}

// The first operator character at or after `from`, outside quotes.
uint16_t FindOperatorCharacter(Slice e, uint16_t from) {
  if (from >= e.size()) return kNotFound;
  uint16_t i = FindFirstOf(Slice(e.data() + from, e.size() - from), kOperatorSet);
  return i == kNotFound ? kNotFound : static_cast<uint16_t>(from + i);
}

// The ')' matching the '(' at `open`, nesting counted and quotes skipped.
uint16_t MatchingClose(Slice e, uint16_t open) {
  Slice from(e.data() + open, e.size() - open);
  Slice inner = Bracketed(from, '(');
  if (inner.ok() && inner.data() > e.data() && inner.data() <= e.data() + e.size()) {
    size_t close = static_cast<size_t>(inner.data() - e.data()) + inner.size();
    if (close < e.size() && e[close] == ')') return static_cast<uint16_t>(close);
  }
  if (open + 1 < e.size() && e[open + 1] == ')') return static_cast<uint16_t>(open + 1);
  return kNotFound;
}

uint16_t ClassifyOperand(Slice operand) {
  bool quote = false, dollar = false, hash = false, brace = false;
  for (uint16_t i = 0; i < operand.size(); ++i) {
    switch (operand[i]) {
      case '\'':
      case '"':
        quote = true;
        break;
      case '$':
        dollar = true;
        break;
      case '#':
        hash = true;
        break;
      case '{':
        brace = true;
        break;
      default:
        break;
    }
  }
  if (quote) return kOperandText;
  if (dollar) return kOperandTextVariable;
  if (hash) return kOperandNumberVariable;
  if (brace) {
    char type = RecordFields().FieldType(operand);
    return (type != 0 && std::string_view("ABCDF").find(type) != std::string_view::npos)
               ? kOperandTextField
               : kOperandField;
  }
  if (operand.empty() || operand[0] < 'A') return kOperandNumber;
  return kOperandVariable;
}

// The two input macros: the call's name and its template ("%s" is the
// call's first argument). `_ACCEPT#(` is expanded before `_ACCEPT$(`.
constexpr std::string_view kMacroTemplates =
    "FN$TRIM(FN$PARM(_$(.envvar;.dialog);%s);'FIT'),"
    "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);%s);'FIT')),"
    "puretest(%s)+puretest(%s)";
struct Macro {
  const char* call;
  int template_item;
};
constexpr Macro kMacros[] = {{"_ACCEPT#(", 2}, {"_ACCEPT$(", 1}};

// Expands every call of `macro` in `text`; false when the text grew too long.
bool ExpandMacro(std::string& text, const Macro& macro) {
  Slice call(macro.call);
  Slice templ = Item(Slice(kMacroTemplates.data(), kMacroTemplates.size()), ',',
                     macro.template_item);
  size_t from = 0;
  while (from < text.size()) {
    Slice rest = Slice::Of(std::string_view(text).substr(from));
    uint16_t at = FindText(rest, call);
    if (at == kNotFound) break;
    size_t start = from + at;
    size_t open = start + call.size() - 1;
    Slice whole = Slice::Of(text);
    uint16_t close = MatchingClose(whole, static_cast<uint16_t>(open));
    if (close == kNotFound) break;
    Slice inner(text.data() + open + 1, static_cast<uint16_t>(close - open - 1));
    std::string argument(SkipArgument(inner, 1).view());
    std::string expanded;
    std::string_view t = templ.view();
    for (size_t p = 0; p < t.size(); ++p) {
      if (t[p] == '%' && p + 1 < t.size() && t[p + 1] == 's') {
        expanded += argument;
        ++p;
      } else {
        expanded += t[p];
      }
    }
    text.replace(start, close + 1 - start, expanded);
    if (text.size() > kMaxTextLength) return false;
    // A macro call inside the argument is found again from the start of
    // the expansion.
    from = start;
  }
  return true;
}

bool IsBlank(unsigned char c) { return c == ' '; }

// The error detail keeps about 1024 bytes of text, and it shares the string
// tables' one store with the variables: a long text is named by its start.
constexpr uint16_t kDetailPiece = 1024;
Slice DetailPiece(Slice text) {
  return text.size() > kDetailPiece ? Slice(text.data(), kDetailPiece) : text;
}

}  // namespace

int OperatorPriority(int op) { return (op >= 1 && op <= kOperatorCount) ? kPriorities[op - 1] : 0; }

Slice OperatorText(int op) {
  return (op >= 1 && op <= kOperatorCount) ? Slice(kOperatorTexts[op - 1]) : Slice();
}

Status CheckSyntax(Slice text) {
  if (!text.ok()) return text.status();
  const Slice set("() ", 3);
  int opens = 0, closes = 0;
  uint16_t bad_blank = kNotFound;
  uint16_t n = text.size();
  uint16_t pos = 0;
  while (pos < n) {
    uint16_t i = FindFirstOf(Slice(text.data() + pos, n - pos), set);
    if (i == kNotFound) break;
    uint16_t at = static_cast<uint16_t>(pos + i);
    unsigned char c = text[at];
    if (c == '(') {
      ++opens;
    } else if (c == ')') {
      ++closes;
    } else if (bad_blank == kNotFound) {
      // A blank may stand only beside an operator character (or at either
      // end); between two operands it joins nothing.
      int before = at;
      while (before > 0 && IsBlank(text[before - 1])) --before;
      uint16_t after = at;
      while (after < n && IsBlank(text[after])) ++after;
      bool ok = before == 0 || after == n || OperatorCharacter(text[before - 1]) >= 0 ||
                OperatorCharacter(text[after]) >= 0;
      if (!ok) bad_blank = at;
    }
    pos = static_cast<uint16_t>(at + 1);
  }
  if (opens != closes) return SetDetail(Status::kLoopFailure, DetailPiece(text));
  if (bad_blank != kNotFound) {
    return SetDetail(Status::kSyntaxError,
                     DetailPiece(Slice(text.data() + bad_blank, n - bad_blank)));
  }
  return Status::kOk;
}

Slice Prepare(Slice text) {
  if (!text.ok()) return text;
  Status st = CheckSyntax(text);
  if (st != Status::kOk) return Slice::Error(st);
  std::string out;
  out.reserve(text.size());
  uint16_t n = text.size();
  uint16_t pos = 0;
  while (pos < n) {
    uint16_t i = FindChar(Slice(text.data() + pos, n - pos), ' ');
    if (i == kNotFound) {
      out.append(text.data() + pos, n - pos);
      break;
    }
    out.append(text.data() + pos, i);
    pos = static_cast<uint16_t>(pos + i + 1);
  }
  for (const Macro& macro : kMacros) {
    if (!ExpandMacro(out, macro)) {
      return Slice::Error(SetDetail(Status::kStringTooLong, DetailPiece(text)));
    }
  }
  AreaMark mark;
  return mark.Keep(Slice::Of(out));
}

Status NextToken(Token& t) {
  Slice e = t.expression;
  uint16_t n = e.size();
  uint16_t pos = t.end < n ? t.end : n;
  t.kind = kOperandNumber;
  t.position = pos;
  t.length = 0;
  t.op = kOpNone;
  t.priority = 0;
  t.separator = kNotFound;
  t.status = Status::kOk;
  t.open = t.close = kNotFound;
  t.op_position = kNotFound;
  t.op_length = 0;
  if (pos >= n) {
    t.end = n;
    return t.status;
  }
  uint16_t at = FindOperatorCharacter(e, pos);
  if (at != kNotFound && e[at] == '(') {
    Slice name(e.data() + pos, static_cast<uint16_t>(at - pos));
    t.open = at;
    t.kind = name.empty() ? kOperandGroup
                          : (FunctionCode(name) != 0 ? kOperandFunction : kOperandUserCall);
    uint16_t close = MatchingClose(e, at);
    if (close == kNotFound) {
      t.length = static_cast<uint16_t>(n - pos);
      t.end = n;
      t.status = Status::kLoopFailure;
      return t.status;
    }
    t.close = close;
    at = FindOperatorCharacter(e, static_cast<uint16_t>(close + 1));
    uint16_t stop = at == kNotFound ? n : at;
    t.length = static_cast<uint16_t>(stop - pos);
    // Nothing may stand between the closing parenthesis and what follows.
    if (stop != close + 1) t.status = Status::kSyntaxError;
  } else {
    uint16_t stop = at == kNotFound ? n : at;
    t.length = static_cast<uint16_t>(stop - pos);
    t.kind = ClassifyOperand(Slice(e.data() + pos, t.length));
  }
  if (at == kNotFound) {
    t.end = n;
    return t.status;
  }
  unsigned char c = e[at];
  t.op_position = at;
  t.end = static_cast<uint16_t>(at + 1);
  if (c == ';' || c == ',') {
    t.separator = c == ';' ? kStatementSeparator : kArgumentSeparator;
    t.op_position = kNotFound;
    return t.status;
  }
  if (c == ')') {
    // A closing parenthesis with no opening one before it.
    t.op_length = 1;
    if (t.status == Status::kOk) t.status = Status::kLoopFailure;
    return t.status;
  }
  int length = 1;
  if (at + 1 < n && OperatorCharacter(e[at + 1]) >= kSecondCharacterFrom) length = 2;
  t.op_length = static_cast<uint8_t>(length);
  t.op = LookUpOperator(e.data() + at, length);
  t.priority = static_cast<uint8_t>(OperatorPriority(t.op));
  t.end = static_cast<uint16_t>(at + length);
  return t.status;
}

Slice SkipArgument(Slice text, int n) {
  if (!text.ok()) return text;
  if (n < 1) return Slice();
  Token t;
  t.expression = text;
  t.end = 0;
  uint16_t start = 0;
  int k = 1;
  while (true) {
    uint16_t before = t.end;
    (void)NextToken(t);
    bool stray_close = t.op_length == 1 && t.op_position != kNotFound && text[t.op_position] == ')';
    if (t.separator != kNotFound || stray_close) {
      uint16_t stop = stray_close ? t.op_position : static_cast<uint16_t>(t.end - 1);
      if (k == n) return Slice(text.data() + start, static_cast<uint16_t>(stop - start));
      if (stray_close) return Slice();
      ++k;
      start = t.end;
      continue;
    }
    if (t.end >= text.size() || t.end <= before) {
      if (k == n) return Slice(text.data() + start, static_cast<uint16_t>(text.size() - start));
      return Slice();
    }
  }
}

std::vector<OperandSpan> TokenCount(Slice text) {
  std::vector<OperandSpan> spans;
  if (!text.ok()) return spans;
  Token t;
  t.expression = text;
  t.end = 0;
  while (t.end < text.size()) {
    uint16_t before = t.end;
    (void)NextToken(t);
    spans.push_back({t.position, t.length});
    if (t.end <= before) break;
  }
  return spans;
}

int IsText(Slice text) {
  AreaMark mark;
  Slice prepared = Prepare(text);
  if (!prepared.ok()) return 0;
  Token t;
  t.expression = prepared;
  t.end = 0;
  // Deeper than the evaluator goes, a text is no text result: it fails.
  for (int depth = 0; depth <= kMaxExpressionDepth; ++depth) {
    (void)NextToken(t);
    if (t.op != kOpNone && t.op != kOpAssign && t.op != kOpAdd) return 0;
    if (t.op_length != 0 && t.op == kOpNone) return 0;
    switch (t.kind) {
      case kOperandText:
      case kOperandTextVariable:
      case kOperandTextField:
        return 1;
      case kOperandFunction:
      case kOperandUserCall:
        for (uint16_t i = t.position; i < t.open; ++i) {
          if (prepared[i] == '$') return 1;
        }
        return 0;
      case kOperandGroup:
        if (t.close == kNotFound) return 0;
        // The group's first operand decides: go inside.
        t.expression = Slice(prepared.data(), t.close);
        t.end = static_cast<uint16_t>(t.open + 1);
        continue;
      default:
        return 0;
    }
  }
  return 0;
}

}  // namespace tessaly
