#include "expr/evaluator.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/text.h"
#include "expr/fields.h"
#include "expr/functions.h"
#include "expr/scanner.h"
#include "expr/variables.h"
#include "expr/variables_internal.h"

namespace tessaly {
namespace {

using vars::Value;

// Environment names: an operand of '.' and a letter reads the number of a
// table slot or an option.
constexpr const char* kEnvironmentNames[] = {
    "envron",  "lang",   "cmdline", "apname", "apdesc", "langmodule", "docpath", "docroot",
    "helppath", "funclist", "butlabels", "maskparms", "datem", "datey", "envvar", "maincond",
    "pdfhead", "dialog", "aux",     "scrbuf", "fsel",   "wret",       "fnparm",  "usrfil",
    "fileln",  "usrfif", "top",     "next",   "previous", "bottom",   "noprint", "iscgi",
};
constexpr int32_t kEnvironmentValues[] = {
    0, 0, 1, 2, 3, 4, 5, 5, 7, 8, 9, 10, 100, 10000, 9, 1,
    3, 7, 31, 32, 33, 34, 35, 36, 37, 38, 36, 16, 20, 32, 8192, 16384,
};
static_assert(std::size(kEnvironmentNames) == 32);
static_assert(std::size(kEnvironmentValues) == std::size(kEnvironmentNames));

// The runtime bound on nested evaluation across texts: groups, calls and
// operators of every expression being evaluated, however they nest.
constexpr int kMaxRuntimeDepth = 1024;

// Bit 0x80 of `_AUXSTAT`: `==` compares texts exactly, '*' is no pattern.
constexpr uint16_t kExactTextCompare = 0x80;

enum NodeType : uint8_t {
  kStatements,   // a: offset in lists of (node, start) pairs; c: count
  kChain,        // a: head; b: offset in lists of (operator, node) pairs; c: count
  kNumberLiteral,
  kEnvironmentName,  // number: the integer value
  kTextLiteral,      // a, b: offset and length, in the pool when kInPool, else in the text
  kSpecialText,      // .lf$ .tab$ .pchr$ .null$: like kTextLiteral, never assigned
  kEmpty,
  kVariable,   // vkind: 2, 3 or 6
  kField,      // NAME{F}
  kFunction,   // number: the code; b: offset in lists of arguments; c: count; d: their texts
  kUserCall,   // as kFunction
  kGroup,      // a: its statements
  kAssign,     // a: target operand; b: value
  kBadAssign,  // a: left side that is not an operand; b: value
  kFail,       // status; b: what is evaluated before failing, -1 for nothing
};

enum NodeFlags : uint16_t {
  kUnderscore = 0x01,    // a name beginning with '_'
  kInPool = 0x02,        // the literal is in the program's pool
  kRightOperand = 0x04,  // an empty right operand
};

struct Node {
  NodeType type = kFail;
  uint8_t vkind = 0;
  uint16_t flags = 0;
  uint16_t pos = 0;  // the operand's text, for the error detail
  uint16_t len = 0;
  uint16_t name_len = 0;
  uint16_t status = 0;
  int32_t a = -1;
  int32_t b = -1;
  int32_t c = 0;
  int32_t d = 0;
  // Remembered while evaluating.
  int64_t number = 0;
  int32_t var_index = -1;
  uint32_t var_stamp = 0;
  int8_t decimals = -1;
};

// One expression text, prepared and scanned.
struct Program {
  std::string key;
  std::string prepared;
  std::string pool;
  std::vector<Node> nodes;
  std::vector<int32_t> lists;
  std::vector<Slice> arguments;
  Status prepare_status;
  std::string prepare_detail;
  int root = -1;
  uint32_t functions = 0;
  int pins = 0;
  bool orphan = false;

  Slice Text(const Node& n) const { return Slice(prepared.data() + n.pos, n.len); }
  Slice From(uint16_t pos) const {
    return Slice(prepared.data() + pos, static_cast<uint16_t>(prepared.size() - pos));
  }
};

// The error detail keeps about 1024 bytes of text, and it shares the string
// tables' one store with the variables: a long text is named by its start.
constexpr uint16_t kDetailPiece = 1024;
Slice DetailPiece(Slice text) {
  return text.size() > kDetailPiece ? Slice(text.data(), kDetailPiece) : text;
}

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int KindByName(Slice name) {
  for (uint16_t i = 0; i < name.size(); ++i) {
    if (name[i] == '$') return kTextValue;
  }
  return kNumberValue;
}

// ---- Scanning an expression into nodes ----------------------------------------

class Compiler {
 public:
  explicit Compiler(Program& p) : p_(p), e_(Slice::Of(p.prepared)) {}

  int Statements(uint16_t begin, uint16_t end) {
    std::vector<int32_t> items;
    Token t;
    Begin(t, begin, end);
    while (true) {
      uint16_t start = t.end;
      (void)NextToken(t);
      items.push_back(Statement(t));
      items.push_back(start);
      if (t.separator == kNotFound || t.end >= end) break;
    }
    Node n;
    n.type = kStatements;
    n.pos = begin;
    n.len = static_cast<uint16_t>(end - begin);
    n.a = Flush(items);
    n.c = static_cast<int32_t>(items.size() / 2);
    return Add(n);
  }

 private:
  struct Depth {
    explicit Depth(int& d) : d_(d) { over = ++d_ > kMaxExpressionDepth; }
    ~Depth() { --d_; }
    int& d_;
    bool over;
  };

  int Add(const Node& n) {
    p_.nodes.push_back(n);
    return static_cast<int>(p_.nodes.size()) - 1;
  }
  int Flush(const std::vector<int32_t>& items) {
    int at = static_cast<int>(p_.lists.size());
    p_.lists.insert(p_.lists.end(), items.begin(), items.end());
    return at;
  }
  void Begin(Token& t, uint16_t begin, uint16_t end) {
    t = Token();
    t.expression = Slice(e_.data(), end);
    t.end = begin;
  }
  Node At(NodeType type, const Token& t) {
    Node n;
    n.type = type;
    n.pos = t.position;
    n.len = t.length;
    return n;
  }
  uint16_t RestFrom(const Token& t, uint16_t pos) {
    return static_cast<uint16_t>(t.expression.size() > pos ? t.expression.size() - pos : 0);
  }
  int Fail(Status status, uint16_t pos, uint16_t len, int first = -1) {
    Node n;
    n.type = kFail;
    n.status = status.code();
    n.pos = pos;
    n.len = len;
    n.b = first;
    return Add(n);
  }

  // After a failure the rest of the statement or argument is not scanned:
  // evaluation stops at the failure.
  void SkipToSeparator(Token& t) {
    while (t.separator == kNotFound && t.end < t.expression.size()) {
      uint16_t before = t.end;
      (void)NextToken(t);
      if (t.end <= before) break;
    }
    t.op = kOpNone;
    t.op_length = 0;
    t.priority = 0;
    t.status = Status::kOk;
  }

  int Statement(Token& t) {
    int left = Operand(t);
    return Climb(left, t, 0);
  }

  // Precedence climbing: applies every operator of at least `min` priority
  // from the left; a tighter operator on the right is climbed first.
  int Climb(int left, Token& t, int min) {
    Depth depth(depth_);
    if (depth.over) {
      int f = Fail(Status::kExpCalcError, t.position, RestFrom(t, t.position), left);
      SkipToSeparator(t);
      return f;
    }
    int head = left;
    std::vector<int32_t> items;
    while (true) {
      if (t.op == kOpNone) {
        if (t.op_length != 0 && t.separator == kNotFound) {
          // ':' or an unknown pair: no operator of the language.
          int f = Fail(Status::kSyntaxError, t.op_position, RestFrom(t, t.op_position),
                       Finish(head, items));
          SkipToSeparator(t);
          return f;
        }
        break;
      }
      if (t.priority < min) break;
      uint8_t op = t.op;
      int priority = t.priority;
      uint16_t op_position = t.op_position;
      (void)NextToken(t);
      if (op == kOpAssign) {
        int target = Finish(head, items);
        items.clear();
        int value = RightOperand(op, priority, op_position, t);
        value = Climb(value, t, 0);
        head = Assignment(target, value);
        continue;
      }
      int right = RightOperand(op, priority, op_position, t);
      while (t.op != kOpNone && t.priority > priority) right = Climb(right, t, t.priority);
      items.push_back(op);
      items.push_back(right);
    }
    return Finish(head, items);
  }

  int Finish(int head, const std::vector<int32_t>& items) {
    if (items.empty()) return head;
    Node n;
    n.type = kChain;
    n.pos = p_.nodes[head].pos;
    n.len = p_.nodes[head].len;
    n.a = head;
    n.b = Flush(items);
    n.c = static_cast<int32_t>(items.size() / 2);
    return Add(n);
  }

  // The operand after an operator. An empty one is 147 at the end of a
  // statement; before '-' or '+' that would otherwise apply after this
  // operator it is a sign (2*-3 is -6); elsewhere it reads as 0.
  int RightOperand(uint8_t op, int priority, uint16_t op_position, Token& t) {
    bool empty = t.length == 0 && t.open == kNotFound && t.status == Status::kOk;
    if (!empty) return Operand(t);
    if (t.op == kOpNone) {
      int f = Fail(Status::kSyntaxError, op_position, RestFrom(t, op_position));
      if (t.op_length != 0) SkipToSeparator(t);
      return f;
    }
    if ((t.op == kOpSubtract || t.op == kOpAdd) && t.priority <= priority && op != kOpAssign) {
      Depth depth(depth_);
      if (depth.over) {
        int f = Fail(Status::kExpCalcError, t.position, RestFrom(t, t.position));
        SkipToSeparator(t);
        return f;
      }
      Node zero = At(kEmpty, t);
      uint8_t sign = t.op;
      uint16_t sign_position = t.op_position;
      (void)NextToken(t);
      int operand = RightOperand(sign, OperatorPriority(sign), sign_position, t);
      std::vector<int32_t> items = {sign, operand};
      return Finish(Add(zero), items);
    }
    Node n = At(kEmpty, t);
    n.flags |= kRightOperand;
    return Add(n);
  }

  int Assignment(int target, int value) {
    Node n;
    NodeType type = p_.nodes[target].type;
    bool operand = type == kVariable || type == kField || type == kFunction ||
                   type == kUserCall || type == kSpecialText;
    n.type = operand ? kAssign : kBadAssign;
    n.pos = p_.nodes[target].pos;
    n.len = p_.nodes[target].len;
    n.a = target;
    n.b = value;
    return Add(n);
  }

  int Operand(Token& t) {
    if (t.status != Status::kOk) {
      int f = t.status == Status::kLoopFailure
                  ? Fail(t.status, 0, static_cast<uint16_t>(e_.size()))
                  : Fail(t.status, t.position, t.length);
      SkipToSeparator(t);
      return f;
    }
    Slice text(e_.data() + t.position, t.length);
    switch (t.kind) {
      case kOperandGroup: {
        Depth depth(depth_);
        if (depth.over) return TooDeep(t);
        Node n = At(kGroup, t);
        n.a = Statements(static_cast<uint16_t>(t.open + 1), t.close);
        return Add(n);
      }
      case kOperandFunction:
      case kOperandUserCall: {
        Depth depth(depth_);
        if (depth.over) return TooDeep(t);
        Node n = At(t.kind == kOperandFunction ? kFunction : kUserCall, t);
        n.name_len = static_cast<uint16_t>(t.open - t.position);
        Slice name(e_.data() + t.position, n.name_len);
        if (t.kind == kOperandFunction) n.number = FunctionCode(name);
        if (name[0] == '_') n.flags |= kUnderscore;
        Arguments(static_cast<uint16_t>(t.open + 1), t.close, &n);
        return Add(n);
      }
      case kOperandText: {
        Node n = At(kTextLiteral, t);
        Literal(CleanValue(text), &n);
        return Add(n);
      }
      case kOperandTextVariable: {
        Slice special;
        if (SpecialTextName(text, &special)) {
          Node n = At(kSpecialText, t);
          Literal(special, &n);
          return Add(n);
        }
        return Variable(t, kTextVariable);
      }
      case kOperandNumberVariable:
        return Variable(t, kNumberVariable);
      case kOperandVariable:
        return Variable(t, kIntegerVariable);
      case kOperandField:
      case kOperandTextField:
        return Add(At(kField, t));
      default:
        return Number(t, text);
    }
  }

  int TooDeep(Token& t) {
    int f = Fail(Status::kExpCalcError, t.position, t.length);
    SkipToSeparator(t);
    return f;
  }

  int Variable(const Token& t, int kind) {
    Node n = At(kVariable, t);
    n.vkind = static_cast<uint8_t>(kind);
    if (e_[t.position] == '_') n.flags |= kUnderscore;
    return Add(n);
  }

  int Number(const Token& t, Slice text) {
    if (text.empty()) return Add(At(kEmpty, t));
    if (text[0] == '.' && text.size() > 1 && IsLetter(text[1])) {
      std::string_view name = text.view().substr(1);
      for (size_t i = 0; i < std::size(kEnvironmentNames); ++i) {
        if (name == kEnvironmentNames[i]) {
          Node n = At(kEnvironmentName, t);
          n.number = kEnvironmentValues[i];
          return Add(n);
        }
      }
      // Not an environment name: the number written after the dot.
      Node n = At(kNumberLiteral, t);
      n.pos = static_cast<uint16_t>(n.pos + 1);
      n.len = static_cast<uint16_t>(n.len - 1);
      return Add(n);
    }
    return Add(At(kNumberLiteral, t));
  }

  void Literal(Slice value, Node* n) {
    if (value.ok() && value.data() >= e_.data() && value.data() + value.size() <= e_.end()) {
      n->a = static_cast<int32_t>(value.data() - e_.data());
      n->b = value.size();
      return;
    }
    if (!value.ok()) value = Slice();
    n->flags |= kInPool;
    n->a = static_cast<int32_t>(p_.pool.size());
    n->b = value.size();
    p_.pool.append(value.data(), value.size());
  }

  // The arguments of a call: statements of their own between ';' or ','.
  // "F()" has none; a separator at the end leaves an empty last argument.
  void Arguments(uint16_t begin, uint16_t end, Node* call) {
    std::vector<int32_t> nodes;
    std::vector<Slice> texts;
    if (begin < end) {
      Token t;
      Begin(t, begin, end);
      while (true) {
        uint16_t start = t.end;
        (void)NextToken(t);
        nodes.push_back(Statement(t));
        uint16_t stop = t.separator != kNotFound ? static_cast<uint16_t>(t.end - 1) : end;
        texts.push_back(Slice(e_.data() + start, static_cast<uint16_t>(stop - start)));
        if (t.separator == kNotFound) break;
        if (t.end >= end) {
          Node empty;
          empty.type = kEmpty;
          empty.pos = end;
          nodes.push_back(Add(empty));
          texts.push_back(Slice(e_.data() + end, 0));
          break;
        }
      }
    }
    call->b = Flush(nodes);
    call->c = static_cast<int32_t>(nodes.size());
    call->d = static_cast<int32_t>(p_.arguments.size());
    p_.arguments.insert(p_.arguments.end(), texts.begin(), texts.end());
  }

  Program& p_;
  Slice e_;
  int depth_ = 0;
};

// ---- The cache of scanned expressions ------------------------------------------

// A word-at-a-time hash: expression texts are short and hashed on every
// evaluation.
struct TextHash {
  size_t operator()(std::string_view s) const {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    const char* p = s.data();
    size_t n = s.size();
    while (n >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 31;
      p += 8;
      n -= 8;
    }
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0x94D049BB133111EBull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

// Enough for every expression of an application; a workload that makes
// texts on the fly flushes the cache now and then.
constexpr size_t kMaxCachedPrograms = 4096;
constexpr size_t kMaxCachedBytes = size_t{16} << 20;

struct Cache {
  std::unordered_map<std::string_view, std::unique_ptr<Program>, TextHash> map;
  std::vector<std::unique_ptr<Program>> orphans;  // dropped while being evaluated
  size_t bytes = 0;
  uint64_t hits = 0;
  uint64_t misses = 0;
};

Cache& C() {
  static Cache cache;
  return cache;
}

size_t ProgramBytes(const Program& p) {
  return sizeof(Program) + p.key.size() + p.prepared.size() + p.pool.size() +
         p.nodes.size() * sizeof(Node) + p.lists.size() * sizeof(int32_t) +
         p.arguments.size() * sizeof(Slice);
}

void Drop(std::unique_ptr<Program> p) {
  Cache& c = C();
  c.bytes -= ProgramBytes(*p);
  if (p->pins > 0) {
    p->orphan = true;
    c.orphans.push_back(std::move(p));
  }
}

void Flush() {
  Cache& c = C();
  for (auto& [key, program] : c.map) Drop(std::move(program));
  c.map.clear();
}

std::unique_ptr<Program> Compile(Slice text, uint32_t functions) {
  auto p = std::make_unique<Program>();
  p->key.assign(text.data(), text.size());
  p->functions = functions;
  AreaMark mark;
  Slice prepared = Prepare(text);
  if (!prepared.ok()) {
    p->prepare_status = prepared.status();
    p->prepare_detail = GetDetail().str();
    return p;
  }
  p->prepared.assign(prepared.data(), prepared.size());
  Compiler compiler(*p);
  p->root = compiler.Statements(0, static_cast<uint16_t>(p->prepared.size()));
  return p;
}

Program* Find(Slice text) {
  Cache& c = C();
  uint32_t functions = FunctionListGeneration();
  auto it = c.map.find(text.view());
  if (it != c.map.end()) {
    if (it->second->functions == functions) {
      ++c.hits;
      return it->second.get();
    }
    // The function list changed: a name may now be a function, or no
    // longer one. Scan again.
    std::unique_ptr<Program> old = std::move(it->second);
    c.map.erase(it);
    Drop(std::move(old));
  }
  ++c.misses;
  if (c.map.size() >= kMaxCachedPrograms || c.bytes >= kMaxCachedBytes) Flush();
  std::unique_ptr<Program> p = Compile(text, functions);
  Program* raw = p.get();
  c.bytes += ProgramBytes(*raw);
  c.map.emplace(std::string_view(raw->key), std::move(p));
  return raw;
}

class Pin {
 public:
  explicit Pin(Program* p) : p_(p) { ++p_->pins; }
  ~Pin() {
    if (--p_->pins == 0 && p_->orphan) {
      auto& orphans = C().orphans;
      for (size_t i = 0; i < orphans.size(); ++i) {
        if (orphans[i].get() == p_) {
          orphans.erase(orphans.begin() + static_cast<ptrdiff_t>(i));
          break;
        }
      }
    }
  }
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;

 private:
  Program* p_;
};

// ---- Arithmetic ------------------------------------------------------------------

int64_t Wrap(__int128 x) { return static_cast<int64_t>(static_cast<uint64_t>(x)); }

// n / d rounded half away from zero; 0 for a divisor of 0.
int64_t RoundDivide(__int128 n, __int128 d) {
  if (d == 0) return 0;
  bool negative = (n < 0) != (d < 0);
  unsigned __int128 un = n < 0 ? -static_cast<unsigned __int128>(n) : static_cast<unsigned __int128>(n);
  unsigned __int128 ud = d < 0 ? -static_cast<unsigned __int128>(d) : static_cast<unsigned __int128>(d);
  unsigned __int128 q = un / ud;
  unsigned __int128 r = un % ud;
  if (r >= ud - r) ++q;
  __int128 signed_q = negative ? -static_cast<__int128>(q) : static_cast<__int128>(q);
  return Wrap(signed_q);
}

int64_t PowerOf10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// a!b: a rescaled to n decimals.
int64_t Rescale(int64_t a, int64_t n, int decimals) {
  if (n < decimals) {
    int64_t k = decimals - n;
    if (k > 18) return 0;
    int64_t p = PowerOf10(static_cast<int>(k));
    return Wrap(static_cast<__int128>(RoundDivide(a, p)) * p);
  }
  if (n == decimals) return a;
  int64_t k = n - decimals;
  if (k > 18) return 0;
  return Wrap(static_cast<__int128>(a) * PowerOf10(static_cast<int>(k)));
}

Status NumberOperation(uint8_t op, Value& l, const Value& r) {
  int decimals = Decimals();
  int64_t s = PowerOf10(decimals);
  int64_t a = l.number, b = r.number;
  int64_t result = 0;
  switch (op) {
    case kOpMultiply:
      result = RoundDivide(static_cast<__int128>(a) * b, s);
      break;
    case kOpDivide:
      result = RoundDivide(static_cast<__int128>(a) * s, b);
      break;
    case kOpRescale:
      result = Rescale(a, b / s, decimals);
      break;
    case kOpPercent:
      result = RoundDivide(RoundDivide(static_cast<__int128>(a) * b, 100), s);
      break;
    case kOpLessPercent:
      result = Wrap(static_cast<__int128>(a) -
                    RoundDivide(RoundDivide(static_cast<__int128>(a) * b, 100), s));
      break;
    case kOpAdd:
      result = Wrap(static_cast<__int128>(a) + b);
      break;
    case kOpSubtract:
      result = Wrap(static_cast<__int128>(a) - b);
      break;
    case kOpGreater:
      result = a > b ? s : 0;
      break;
    case kOpLess:
      result = a < b ? s : 0;
      break;
    case kOpEqual:
      result = a == b ? s : 0;
      break;
    case kOpGreaterEqual:
      result = a >= b ? s : 0;
      break;
    case kOpLessEqual:
      result = a <= b ? s : 0;
      break;
    case kOpNotEqual:
      result = a != b ? s : 0;
      break;
    case kOpBitAnd:
      result = Wrap(static_cast<__int128>(a / s & b / s) * s);
      break;
    case kOpBitOr:
    case kOpAt: {
      int64_t i = a / s, j = b / s;
      result = (i & j) == 0 ? Wrap(static_cast<__int128>(i | j) * s) : 0;
      break;
    }
    case kOpLogicalAnd:
      result = ((a & 0xFFFF) != 0 && (b & 0xFFFF) != 0) ? s : 0;
      break;
    case kOpLogicalOr:
      result = ((a & 0xFFFF) != 0 || (b & 0xFFFF) != 0) ? s : 0;
      break;
    case kOpExclusive: {
      int64_t i = a / s, j = b / s;
      result = (!(i == 0 && j == 0) && (i & j) == 0) ? s : 0;
      break;
    }
    default:
      return Status::kSyntaxError;
  }
  l = Value::Number(result);
  return kNumberValue;
}

unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool SameIgnoringCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// `==` with a pattern on the right: "jo*" matches what begins with "jo",
// "*hn" what holds "hn" (up to a further '*'), both ignoring case.
bool MatchesPattern(Slice text, Slice pattern) {
  const void* star = std::memchr(pattern.data(), '*', pattern.size());
  if (star == nullptr) return false;
  size_t p = static_cast<size_t>(static_cast<const char*>(star) - pattern.data());
  if (p > 0) return text.size() >= p && SameIgnoringCase(text.data(), pattern.data(), p);
  const char* rest = pattern.data() + 1;
  size_t rest_size = pattern.size() - 1;
  const void* next = std::memchr(rest, '*', rest_size);
  size_t m = next ? static_cast<size_t>(static_cast<const char*>(next) - rest) : rest_size;
  if (m == 0) return true;
  for (size_t i = 0; i + m <= text.size(); ++i) {
    if (SameIgnoringCase(text.data() + i, rest, m)) return true;
  }
  return false;
}

Status TextOperation(uint8_t op, Value& l, const Value& r) {
  if (op == kOpAdd) {
    Slice joined = Concat(l.slice(), r.slice());
    if (!joined.ok()) return joined.status();
    l = Value::Text(joined);
    return kTextValue;
  }
  uint16_t order = Compare(l.slice(), r.slice());
  bool result;
  switch (op) {
    case kOpGreater:
      result = order == 1;
      break;
    case kOpLess:
      result = order == kNotFound;
      break;
    case kOpEqual:
      result = order == 0 ||
               (!TestBits(kAuxStat, kExactTextCompare) && MatchesPattern(l.slice(), r.slice()));
      break;
    case kOpGreaterEqual:
      result = order != kNotFound;
      break;
    case kOpLessEqual:
      result = order != 1;
      break;
    case kOpNotEqual:
      result = order != 0;
      break;
    default:
      return Status::kSyntaxError;
  }
  l = Value::Number(result ? PowerOf10(Decimals()) : 0);
  return kNumberValue;
}

bool NumericFieldType(char type) {
  return type == 'N' || type == 'L' || (type >= '1' && type <= '9');
}

Status Apply(uint8_t op, Value& l, Value r) {
  if (l.kind == kTextValue || r.kind == kTextValue) {
    if (l.kind == kTextValue && r.kind == kTextValue) return TextOperation(op, l, r);
    if ((r.flags & vars::kEmptyOperand) != 0) return Status::kSyntaxError;
    // A numeric field that came as text takes part as its number.
    if (l.kind == kTextValue && (l.flags & vars::kNumericField) != 0) {
      l = Value::Number(ParseNumber(l.slice()));
    } else if (r.kind == kTextValue && (r.flags & vars::kNumericField) != 0) {
      r = Value::Number(ParseNumber(r.slice()));
    } else {
      return Status::kTypeMismatch;
    }
  }
  return NumberOperation(op, l, r);
}

// ---- Evaluation ------------------------------------------------------------------

int g_nesting = 0;  // evaluations in progress
int g_depth = 0;    // runtime depth across all of them

class Machine;

struct CallContext {
  Machine* machine;
  const Node* node;
};

class Machine {
 public:
  explicit Machine(Program& p) : p_(p) {}

  Status Statements(int node, Value& v, bool top) {
    const Node& n = p_.nodes[node];
    int base = Area().Mark();
    Status st = Status::kOk;
    for (int i = 0; i < n.c; ++i) {
      if (i > 0) {
        if (st == Status::kUserCanceled || st.is_error()) break;
        // The previous statement's value is replaced by this one's.
        Area().Release(base);
      }
      int statement = p_.lists[n.a + 2 * i];
      st = Eval(statement, v);
      if (top && st.is_error()) {
        (void)SetDetail(st, DetailPiece(p_.From(static_cast<uint16_t>(p_.lists[n.a + 2 * i + 1]))),
                        true);
      }
    }
    if (st == Status::kNullExpression) st = Status(v.kind);
    return st;
  }

  Status Eval(int index, Value& v) {
    Node& n = p_.nodes[index];
    switch (n.type) {
      case kNumberLiteral: {
        int decimals = Decimals();
        if (n.decimals != decimals) {
          n.number = ParseNumber(p_.Text(n), decimals);
          n.decimals = static_cast<int8_t>(decimals);
        }
        v = Value::Number(n.number);
        return kNumberValue;
      }
      case kTextLiteral:
      case kSpecialText:
        v = Value::Text(Literal(n));
        return kTextValue;
      case kVariable:
        return ReadVariable(n, v);
      case kChain:
        return Chain(n, v);
      case kEmpty:
        v = Value();
        v.flags = vars::kEmptyOperand;
        return Status::kNullExpression;
      default:
        return EvalOther(n, v);
    }
  }

  Status Argument(const Node& call, int i) {
    int node = p_.lists[call.b + i - 1];
    AreaMark mark;
    Value v;
    Status st = Eval(node, v);
    if (st == Status::kNullExpression) st = Status(v.kind);
    if (st.is_error()) return mark.Release(st);
    Slice kept = v.kind == kTextValue                        ? mark.Keep(v.slice())
                 : (v.flags & vars::kEmptyOperand) != 0 ? mark.Keep(Slice())
                                                          : mark.KeepNumber(v.number);
    return kept.ok() ? st : kept.status();
  }

 private:
  class Deeper {
   public:
    Deeper() { over_ = ++g_depth > kMaxRuntimeDepth; }
    ~Deeper() { --g_depth; }
    bool over() const { return over_; }

   private:
    bool over_;
  };

  Slice Literal(const Node& n) const {
    const std::string& from = (n.flags & kInPool) ? p_.pool : p_.prepared;
    return Slice(from.data() + n.a, static_cast<uint16_t>(n.b));
  }

  Status Fail(const Node& n, Status st) { return SetDetail(st, DetailPiece(p_.Text(n)), true); }

  // The variable's index, remembered until variables are created or
  // forgotten.
  int Resolve(Node& n, int kind) {
    if (n.var_index >= 0) {
      if (n.var_stamp == vars::Epoch()) return n.var_index;
    } else if (n.var_stamp == vars::Creations()) {
      return -1;
    }
    Slice name = kind == kArrayVariable ? Slice(p_.prepared.data() + n.pos, n.name_len) : p_.Text(n);
    n.var_index = vars::Lookup(kind, name);
    n.var_stamp = n.var_index >= 0 ? vars::Epoch() : vars::Creations();
    return n.var_index;
  }

  Status ReadVariable(Node& n, Value& v) {
    if (n.flags & kUnderscore) {
      Status st = vars::OfferRead(n.vkind, p_.Text(n), &v);
      if (st != Status::kBadInputData) return st.is_error() ? Fail(n, st) : st;
    }
    int index = Resolve(n, n.vkind);
    if (n.vkind == kNumberVariable) {
      const void* p = index < 0 ? nullptr : rtarray::Get(rtarray::kNumberVariables, index);
      int64_t number = 0;
      if (p) std::memcpy(&number, p, sizeof number);
      v = Value::Number(number);
      return kNumberValue;
    }
    if (n.vkind == kIntegerVariable) {
      v = Value::Number(index < 0 ? 0 : SignedWord(index) * PowerOf10(Decimals()));
      return kNumberValue;
    }
    Status st = vars::ReadAt(n.vkind, index, &v);
    return st.is_error() ? Fail(n, st) : st;
  }

  Status Chain(const Node& n, Value& v) {
    Deeper deeper;
    if (deeper.over()) return Fail(n, Status::kExpCalcError);
    Status st = Eval(n.a, v);
    if (st.is_error()) return st;
    const int32_t* items = p_.lists.data() + n.b;
    for (int i = 0; i < n.c; ++i) {
      Value r;
      Status rs = Eval(items[2 * i + 1], r);
      if (rs.is_error()) return rs;
      st = Apply(static_cast<uint8_t>(items[2 * i]), v, r);
      if (st.is_error()) return st;
    }
    return st;
  }

  Status EvalOther(Node& n, Value& v) {
    switch (n.type) {
      case kEnvironmentName:
        v = Value::Number(n.number * PowerOf10(Decimals()));
        return kNumberValue;
      case kGroup: {
        Deeper deeper;
        if (deeper.over()) return Fail(n, Status::kExpCalcError);
        Status st = Statements(n.a, v, false);
        return st.is_error() ? Fail(n, st) : st;
      }
      case kFunction: {
        Deeper deeper;
        if (deeper.over()) return Fail(n, Status::kExpCalcError);
        return Call(n, v, nullptr);
      }
      case kUserCall: {
        Deeper deeper;
        if (deeper.over()) return Fail(n, Status::kExpCalcError);
        return UserCall(n, v, nullptr);
      }
      case kField:
        return ReadField(n, v);
      case kAssign: {
        Deeper deeper;
        if (deeper.over()) return Fail(n, Status::kExpCalcError);
        return Assign(n, v);
      }
      case kBadAssign: {
        Deeper deeper;
        if (deeper.over()) return Fail(n, Status::kExpCalcError);
        Status st = Eval(n.a, v);
        if (st.is_error()) return st;
        Value right;
        st = Eval(n.b, right);
        if (st.is_error()) return st;
        return Fail(n, Status::kSyntaxError);
      }
      case kFail:
        if (n.b >= 0) {
          Status st = Eval(n.b, v);
          if (st.is_error()) return st;
        }
        return Fail(n, Status(n.status));
      case kStatements:
        return Statements(static_cast<int>(&n - p_.nodes.data()), v, false);
      default:
        return Fail(n, Status::kInternalError);
    }
  }

  static Status ArgumentOf(void* context, int i) {
    auto* c = static_cast<CallContext*>(context);
    Deeper deeper;
    if (deeper.over()) {
      return SetDetail(Status::kExpCalcError, DetailPiece(c->machine->p_.Text(*c->node)), true);
    }
    return c->machine->Argument(*c->node, i);
  }

  // Takes the result a handler left on the string area above `depth`.
  static Value Result(int kind, int depth) {
    if (Area().Mark() <= depth) return kind == kTextValue ? Value::Text(Slice()) : Value::Number(0);
    Slice top = Area().Top();
    return kind == kTextValue ? Value::Text(top) : Value::Number(NumberOf(top));
  }

  Status Call(const Node& n, Value& v, const Value* assigned) {
    Slice name(p_.prepared.data() + n.pos, n.name_len);
    FunctionCall call(static_cast<int>(n.number), name, p_.arguments.data() + n.d, n.c);
    CallContext context{this, &n};
    call.SetEvaluator(&Machine::ArgumentOf, &context);
    if (assigned) {
      Slice value = assigned->kind == kTextValue ? Area().Push(assigned->slice())
                                                 : Area().PushNumber(assigned->number);
      if (!value.ok()) return Fail(n, value.status());
      call.SetAssignment(value, assigned->kind);
    }
    int depth = Area().Mark();
    Status st = CallFunction(call);
    if (st.is_error()) return Fail(n, st);
    if (assigned) {
      v = *assigned;
      return st.failed() ? st : Status(v.kind);
    }
    int kind = st == kNumberValue ? kNumberValue : st == kTextValue ? kTextValue : KindByName(name);
    v = Result(kind, depth);
    return st.failed() ? st : Status(kind);
  }

  Status UserCall(Node& n, Value& v, const Value* assigned) {
    Slice name(p_.prepared.data() + n.pos, n.name_len);
    int array = Resolve(n, kArrayVariable);
    if (array >= 0) {
      if (n.c > kMaxArrayDimensions) return Fail(n, Status::kDataOutBound);
      int64_t indexes[kMaxArrayDimensions];
      int64_t s = PowerOf10(Decimals());
      for (int i = 0; i < n.c; ++i) {
        Value index;
        Status st = Eval(p_.lists[n.b + i], index);
        if (st.is_error()) return Fail(n, st);
        if (index.kind == kTextValue) return Fail(n, Status::kTypeMismatch);
        indexes[i] = index.number / s;
      }
      if (assigned) {
        Status st = vars::ElementStore(array, indexes, n.c, *assigned);
        if (st != Status::kOk) return Fail(n, vars::AssignFailure(st));
        v = *assigned;
        return Status(v.kind);
      }
      Status st = vars::ElementRead(array, indexes, n.c, &v);
      return st.is_error() ? Fail(n, st) : st;
    }
    if ((n.flags & kUnderscore) == 0) return Fail(n, Status::kDimStructError);
    // A '_' name that is no array: the application's function hook.
    FunctionCall call(0, name, p_.arguments.data() + n.d, n.c);
    CallContext context{this, &n};
    call.SetEvaluator(&Machine::ArgumentOf, &context);
    if (assigned) {
      Slice value = assigned->kind == kTextValue ? Area().Push(assigned->slice())
                                                 : Area().PushNumber(assigned->number);
      if (!value.ok()) return Fail(n, value.status());
      call.SetAssignment(value, assigned->kind);
    }
    Slice answer = CallHook(kHookFunction, assigned ? kScreenFieldAssign : kScreenFieldRead,
                            p_.Text(n), &call);
    if (!answer.ok()) {
      Status st = answer.status();
      if (st == Status::kBadInputData || st == Status::kFeatureRemoved) st = Status::kDimStructError;
      return st.is_error() ? Fail(n, st) : st;
    }
    if (assigned) {
      v = *assigned;
      return Status(v.kind);
    }
    switch (VariableKindOf(name)) {
      case kTextVariable:
        v = Value::Text(answer);
        return kTextValue;
      case kNumberVariable:
        v = Value::Number(ParseNumber(answer));
        return kNumberValue;
      default: {
        int64_t s = PowerOf10(Decimals());
        v = Value::Number(Wrap(static_cast<__int128>(RoundDivide(ParseNumber(answer), s)) * s));
        return kNumberValue;
      }
    }
  }

  Status ReadField(const Node& n, Value& v) {
    RecordFieldAccess& fields = RecordFields();
    int depth = Area().Mark();
    Status st = fields.Read(p_.Text(n));
    if (st.is_error()) return Fail(n, st);
    int kind = st == kTextValue ? kTextValue : kNumberValue;
    v = Result(kind, depth);
    if (kind == kTextValue && NumericFieldType(fields.FieldType(p_.Text(n)))) {
      v.flags |= vars::kNumericField;
    }
    return st.failed() ? st : Status(kind);
  }

  Status Assign(const Node& n, Value& v) {
    Node& target = p_.nodes[n.a];
    Status st = Eval(n.b, v);
    if (st.is_error()) return st;
    if (st == Status::kTypeWarning && p_.nodes[n.b].type == kField) {
      return Fail(p_.nodes[n.b], Status::kTypeMismatch);
    }
    switch (target.type) {
      case kVariable: {
        Slice name = p_.Text(target);
        if (target.flags & kUnderscore) {
          Status hook = vars::OfferAssign(name, v);
          if (hook != Status::kBadInputData) {
            if (hook.failed()) return Fail(target, vars::AssignFailure(hook));
            return Status(v.kind);
          }
        }
        if ((target.vkind == kTextVariable) != (v.kind == kTextValue)) {
          return Fail(target, vars::AssignFailure(Status::kTypeMismatch));
        }
        int index = Resolve(target, target.vkind);
        if (index < 0) {
          index = vars::LookupOrCreate(target.vkind, name);
          if (index < 0) return Fail(target, vars::AssignFailure(static_cast<uint16_t>(-index)));
          target.var_index = index;
          target.var_stamp = vars::Epoch();
        }
        Status stored = target.vkind == kNumberVariable
                            ? rtarray::Store(rtarray::kNumberVariables, index, &v.number,
                                             sizeof v.number)
                            : vars::StoreAt(target.vkind, index, v);
        if (stored != Status::kOk) return Fail(target, vars::AssignFailure(stored));
        return Status(v.kind);
      }
      case kField: {
        AreaMark mark;
        Slice text = v.kind == kTextValue ? v.slice() : FormatNumber(v.number, Decimals());
        if (!text.ok()) return Fail(target, text.status());
        Status written = RecordFields().Write(p_.Text(target), text);
        if (written == Status::kTypeWarning) written = Status::kTypeMismatch;
        if (written.failed()) return Fail(target, written);
        return Status(v.kind);
      }
      case kFunction: {
        Value ignored;
        return Call(target, ignored, &v);
      }
      case kUserCall: {
        Value ignored;
        return UserCall(target, ignored, &v);
      }
      default:
        return Fail(target, vars::AssignFailure(Status::kSyntaxError));
    }
  }

  Program& p_;
};

class Nesting {
 public:
  Nesting() { over_ = ++g_nesting > kMaxEvaluationNesting; }
  ~Nesting() { --g_nesting; }
  bool over() const { return over_; }

 private:
  bool over_;
};

}  // namespace

Status Evaluate(Slice text) {
  if (!text.ok()) return RecordError(1, ErrorArea::kExpExec, text.status());
  Nesting nesting;
  if (nesting.over()) {
    return RecordError(1, ErrorArea::kExpExec, SetDetail(Status::kExpCalcError, DetailPiece(text), true));
  }
  AreaMark mark;
  Program* p = Find(text);
  Pin pin(p);
  if (p->prepare_status != Status::kOk) {
    (void)SetDetail(p->prepare_status, Slice::Of(p->prepare_detail));
    return RecordError(1, ErrorArea::kExpExec, p->prepare_status);
  }
  Machine machine(*p);
  Value v;
  Status st = machine.Statements(p->root, v, true);
  if (st.failed()) (void)RecordError(1, ErrorArea::kExpExec, st);
  if (st.is_error()) return mark.Release(st);
  Slice kept = v.kind == kTextValue                        ? mark.Keep(v.slice())
               : (v.flags & vars::kEmptyOperand) != 0 ? mark.Keep(Slice())
                                                        : mark.KeepNumber(v.number);
  if (!kept.ok()) return RecordError(1, ErrorArea::kExpExec, kept.status());
  return st;
}

Slice EvaluateToText(Slice text) {
  AreaMark mark;
  Status st = Evaluate(text);
  if (st.failed()) return Slice::Error(mark.Release(st));
  Slice top = Area().Top();
  if (st == kTextValue || top.empty()) return mark.Keep(top);
  return mark.Keep(FormatNumber(NumberOf(top), Decimals()));
}

Status EvaluateForErrors(Slice text) {
  AreaMark mark;
  Status st = Evaluate(text);
  return mark.Release(st.is_error() ? st : Status::kOk);
}

Status Condition(Slice text) {
  if (!text.ok()) return text.status();
  if (Trim(text).empty()) return Status(1);
  AreaMark mark;
  Status st = Evaluate(text);
  if (st.failed()) return mark.Release(st);
  if (st == kNumberValue) return mark.Release(Status(NumberOf(Area().Top()) != 0 ? 1 : 0));
  return mark.Release(Status(0));
}

void ClearExpressionCache() { Flush(); }

ExpressionCacheStats GetExpressionCacheStats() {
  const Cache& c = C();
  return {c.map.size(), c.hits, c.misses};
}

}  // namespace tessaly
