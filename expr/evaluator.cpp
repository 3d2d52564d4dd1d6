#include "expr/evaluator.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "expr/evaluator_internal.h"
#include "expr/fields.h"
#include "expr/functions.h"
#include "expr/scanner.h"
#include "expr/variables.h"
#include "expr/variables_internal.h"

namespace tessaly {
namespace {

using vars::Value;
using namespace expr;

// The runtime bound on nested evaluation across texts: groups, calls and
// operators of every expression being evaluated, however they nest.
constexpr int kMaxRuntimeDepth = 1024;

// Bit 0x80 of `_AUXSTAT`: `==` compares texts exactly, '*' is no pattern.
constexpr uint16_t kExactTextCompare = 0x80;


int KindByName(Slice name) {
  for (uint16_t i = 0; i < name.size(); ++i) {
    if (name[i] == '$') return kTextValue;
  }
  return kNumberValue;
}

// ---- The cache of scanned expressions ------------------------------------------

// A word-at-a-time hash: expression texts are short and hashed on every
// evaluation.
uint64_t HashText(Slice text) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
  const char* p = text.data();
  size_t n = text.size();
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    p += 8;
    n -= 8;
  }
  uint64_t w = 0;
  if (n) std::memcpy(&w, p, n);
  h = (h ^ w) * 0x94D049BB133111EBull;
  return h ^ (h >> 29);
}

// Enough for every expression of an application; a workload that makes
// texts on the fly flushes the cache now and then.
constexpr size_t kMaxCachedPrograms = 4096;
constexpr size_t kMaxCachedBytes = size_t{16} << 20;

// Open addressing with linear probing, at most half full. Entries are never
// removed one by one: a text scanned again replaces its program in place,
// and a flush empties the whole table.
struct CacheSlot {
  uint64_t hash = 0;
  std::unique_ptr<Program> program;
};

struct Cache {
  std::vector<CacheSlot> slots = std::vector<CacheSlot>(1024);
  size_t count = 0;
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

// Gives up a program; one that is being evaluated lives on until its
// evaluation ends (see Pin).
void Drop(std::unique_ptr<Program> p) {
  if (!p) return;
  Cache& c = C();
  c.bytes -= ProgramBytes(*p);
  if (p->pins > 0) {
    p->orphan = true;
    c.orphans.push_back(std::move(p));
  }
}

void Flush() {
  Cache& c = C();
  for (CacheSlot& slot : c.slots) {
    Drop(std::move(slot.program));
    slot.hash = 0;
  }
  c.count = 0;
}

void Grow() {
  Cache& c = C();
  std::vector<CacheSlot> old = std::move(c.slots);
  c.slots = std::vector<CacheSlot>(old.size() * 2);
  size_t mask = c.slots.size() - 1;
  for (CacheSlot& slot : old) {
    if (!slot.program) continue;
    size_t i = slot.hash & mask;
    while (c.slots[i].program) i = (i + 1) & mask;
    c.slots[i] = std::move(slot);
  }
}

// The slot holding `text`, or the empty slot where it would go.
size_t Probe(uint64_t hash, Slice text) {
  Cache& c = C();
  size_t mask = c.slots.size() - 1;
  size_t i = hash & mask;
  for (; c.slots[i].program; i = (i + 1) & mask) {
    const CacheSlot& slot = c.slots[i];
    const std::string& key = slot.program->key;
    if (slot.hash == hash && key.size() == text.size() &&
        std::memcmp(key.data(), text.data(), text.size()) == 0) {
      break;
    }
  }
  return i;
}

// The function list's generation, asked for only when the environment table
// changed since the last look (the list lives in its slot 8).
uint32_t g_environment_version = ~0u;
uint32_t g_functions = 0;

uint32_t CurrentFunctions() {
  uint32_t version = strtab::Version(strtab::kEnvironment);
  if (version != g_environment_version) {
    g_functions = FunctionListGeneration();
    g_environment_version = strtab::Version(strtab::kEnvironment);
  }
  return g_functions;
}

Program* Find(Slice text) {
  Cache& c = C();
  uint32_t functions = CurrentFunctions();
  uint64_t hash = HashText(text);
  size_t i = Probe(hash, text);
  if (c.slots[i].program && c.slots[i].program->functions == functions) {
    ++c.hits;
    return c.slots[i].program.get();
  }
  ++c.misses;
  // Scanning may call other modules (the record field types), which may
  // evaluate: the slot is looked for again afterwards.
  std::unique_ptr<Program> program = CompileProgram(text, functions);
  Program* raw = program.get();
  c.bytes += ProgramBytes(*raw);
  i = Probe(hash, text);
  if (c.slots[i].program) {
    // Known, but scanned under another function list: replaced in place.
    Drop(std::move(c.slots[i].program));
    c.slots[i].program = std::move(program);
    return raw;
  }
  if (c.count >= kMaxCachedPrograms || c.bytes >= kMaxCachedBytes) {
    Flush();
    c.bytes = ProgramBytes(*raw);
  } else if ((c.count + 1) * 2 > c.slots.size()) {
    Grow();
  }
  i = Probe(hash, text);
  c.slots[i].hash = hash;
  c.slots[i].program = std::move(program);
  ++c.count;
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

// n / d rounded half away from zero; 0 for a divisor of 0. Most values fit
// 64 bits, where the division is several times faster than in 128.
int64_t RoundDivide(int64_t n, int64_t d) {
  if (d == 0) return 0;
  if (n == INT64_MIN || d == INT64_MIN) {
    __int128 wide_n = n, wide_d = d;
    __int128 q = wide_n / wide_d, r = wide_n % wide_d;
    __int128 ar = r < 0 ? -r : r, ad = wide_d < 0 ? -wide_d : wide_d;
    if (ar >= ad - ar) q += ((wide_n < 0) != (wide_d < 0)) ? -1 : 1;
    return Wrap(q);
  }
  bool negative = (n < 0) != (d < 0);
  uint64_t un = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  uint64_t ud = d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d);
  uint64_t q = un / ud;
  uint64_t r = un % ud;
  if (r >= ud - r) ++q;
  return static_cast<int64_t>(negative ? 0 - q : q);
}

int64_t RoundDivideWide(__int128 n, int64_t d) {
  if (d == 0) return 0;
  if (n >= INT64_MIN && n <= INT64_MAX) return RoundDivide(static_cast<int64_t>(n), d);
  bool negative = (n < 0) != (d < 0);
  unsigned __int128 un = n < 0 ? -static_cast<unsigned __int128>(n) : static_cast<unsigned __int128>(n);
  unsigned __int128 ud = d < 0 ? -static_cast<unsigned __int128>(d) : static_cast<unsigned __int128>(d);
  unsigned __int128 q = un / ud;
  unsigned __int128 r = un % ud;
  if (r >= ud - r) ++q;
  return Wrap(negative ? -static_cast<__int128>(q) : static_cast<__int128>(q));
}

// round(a * b / d), the product in 128 bits only when 64 do not hold it.
int64_t MultiplyDivide(int64_t a, int64_t b, int64_t d) {
  int64_t product;
  if (!__builtin_mul_overflow(a, b, &product)) return RoundDivide(product, d);
  return RoundDivideWide(static_cast<__int128>(a) * b, d);
}

// n / D rounded half away from zero, for a constant D: the compiler turns
// the division into a multiplication.
template <uint64_t D>
int64_t RoundDivideBy(int64_t n) {
  if (n == INT64_MIN) return RoundDivide(n, static_cast<int64_t>(D));
  uint64_t un = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  uint64_t q = un / D;
  uint64_t r = un - q * D;
  if (r >= D - r) ++q;
  return static_cast<int64_t>(n < 0 ? 0 - q : q);
}

// n divided by the scale 10^decimals, rounded: the multiplications of
// numbers divide by the scale after every product.
int64_t RoundDivideByScale(int64_t n, int decimals) {
  switch (decimals) {
    case 0:
      return n;
    case 1:
      return RoundDivideBy<10>(n);
    case 2:
      return RoundDivideBy<100>(n);
    case 3:
      return RoundDivideBy<1000>(n);
    case 4:
      return RoundDivideBy<10000>(n);
    case 5:
      return RoundDivideBy<100000>(n);
    case 6:
      return RoundDivideBy<1000000>(n);
    case 7:
      return RoundDivideBy<10000000>(n);
    case 8:
      return RoundDivideBy<100000000>(n);
    default:
      return RoundDivideBy<1000000000>(n);
  }
}

// round(a * b / 10^decimals).
int64_t MultiplyScaled(int64_t a, int64_t b, int decimals) {
  int64_t product;
  if (!__builtin_mul_overflow(a, b, &product)) return RoundDivideByScale(product, decimals);
  return RoundDivideWide(static_cast<__int128>(a) * b, PowerOfTen(decimals));
}

// a!b: a rescaled to n decimals.
int64_t Rescale(int64_t a, int64_t n, int decimals) {
  if (n < decimals) {
    int64_t k = decimals - n;
    if (k > 18) return 0;
    int64_t p = PowerOfTen(static_cast<int>(k));
    return Wrap(static_cast<__int128>(RoundDivide(a, p)) * p);
  }
  if (n == decimals) return a;
  int64_t k = n - decimals;
  if (k > 18) return 0;
  return Wrap(static_cast<__int128>(a) * PowerOfTen(static_cast<int>(k)));
}

Status NumberOperation(uint8_t op, Value& l, const Value& r, int decimals, int64_t s) {
  int64_t a = l.number, b = r.number;
  int64_t result = 0;
  switch (op) {
    case kOpMultiply:
      result = MultiplyScaled(a, b, decimals);
      break;
    case kOpDivide:
      result = MultiplyDivide(a, s, b);
      break;
    case kOpRescale:
      result = Rescale(a, b / s, decimals);
      break;
    case kOpPercent:
      result = RoundDivideByScale(MultiplyDivide(a, b, 100), decimals);
      break;
    case kOpLessPercent:
      result = Wrap(static_cast<__int128>(a) -
                    RoundDivideByScale(MultiplyDivide(a, b, 100), decimals));
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

Status TextOperation(uint8_t op, Value& l, const Value& r, int64_t s) {
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
  l = Value::Number(result ? s : 0);
  return kNumberValue;
}

bool NumericFieldType(char type) {
  return type == 'N' || type == 'L' || (type >= '1' && type <= '9');
}

Status Apply(uint8_t op, Value& l, Value r, int decimals, int64_t s) {
  if (l.kind == kTextValue || r.kind == kTextValue) {
    if (l.kind == kTextValue && r.kind == kTextValue) return TextOperation(op, l, r, s);
    if ((r.flags & vars::kEmptyOperand) != 0) return Status::kSyntaxError;
    // A numeric field that came as text takes part as its number.
    if (l.kind == kTextValue && (l.flags & vars::kNumericField) != 0) {
      l = Value::Number(ParseNumber(l.slice(), decimals));
    } else if (r.kind == kTextValue && (r.flags & vars::kNumericField) != 0) {
      r = Value::Number(ParseNumber(r.slice(), decimals));
    } else {
      return Status::kTypeMismatch;
    }
  }
  return NumberOperation(op, l, r, decimals, s);
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
  explicit Machine(Program& p) : p_(p) { Refresh(); }

  // Runs a statement list: the last statement's value is the result.
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
      st = Run(p_.nodes[p_.lists[n.a + 2 * i]], v);
      if (top && st.is_error()) {
        (void)SetDetail(st, DetailPiece(p_.From(static_cast<uint16_t>(p_.lists[n.a + 2 * i + 1]))),
                        true);
      }
    }
    if (st == Status::kNullExpression) st = Status(v.kind);
    return st;
  }

  // Evaluates argument i of a call and leaves it on the string area.
  Status Argument(const Node& call, int i) {
    AreaMark mark;
    Value v;
    Status st = Run(p_.nodes[p_.lists[call.b + i - 1]], v);
    if (st == Status::kNullExpression) st = Status(v.kind);
    if (st.is_error()) return mark.Release(st);
    Slice kept = v.kind == kTextValue                        ? mark.Keep(v.slice())
                 : (v.flags & vars::kEmptyOperand) != 0 ? mark.Keep(Slice())
                                                          : mark.KeepNumber(v.number);
    return kept.ok() ? st : kept.status();
  }

 private:
  // Values on the stack of one range; deeper needs come from the heap.
  static constexpr int kLocalStack = 16;

  // `_PRECIS` as this evaluation sees it. Read again whenever it may have
  // changed: after `_PRECIS` is stored, and after anything that runs code of
  // other modules (functions, hooks, record fields).
  void Refresh() {
    decimals_ = Decimals();
    scale_ = PowerOfTen(decimals_);
  }

  class Deeper {
   public:
    Deeper() { over_ = ++g_depth > kMaxRuntimeDepth; }
    ~Deeper() { --g_depth; }
    bool over() const { return over_; }

   private:
    bool over_;
  };

  // Runs the code range of a statement or argument. The status is the
  // status of the last step: an operand's (0, 1, or 123 for an empty one,
  // or a warning), an operator's, or a store's; a failure of 128 and more
  // ends the range at once.
  Status Run(const Node& range, Value& out) {
    Deeper deeper;
    if (deeper.over()) return Fail(range, Status::kExpCalcError);
    alignas(Value) unsigned char local[kLocalStack * sizeof(Value)];
    std::unique_ptr<Value[]> heap;
    Value* stack = reinterpret_cast<Value*>(local);
    if (range.stack > kLocalStack) {
      heap = std::make_unique<Value[]>(static_cast<size_t>(range.stack));
      stack = heap.get();
    }
    int sp = 0;
    Status st = Status::kOk;
    const Instr* code = p_.code.data();
    for (int pc = range.code; pc < range.code_end; ++pc) {
      const Instr& in = code[pc];
      Node& n = p_.nodes[in.node];
      switch (in.op) {
        case kPushNumber:
          if (n.decimals != decimals_) {
            n.number = ParseNumber(p_.Text(n), decimals_);
            n.decimals = static_cast<int8_t>(decimals_);
          }
          stack[sp++] = Value::Number(n.number);
          st = kNumberValue;
          break;
        case kPushEnvironment:
          stack[sp++] = Value::Number(n.number * scale_);
          st = kNumberValue;
          break;
        case kPushText:
          stack[sp++] = Value::Text(Literal(n));
          st = kTextValue;
          break;
        case kPushEmpty: {
          Value v;
          v.flags = vars::kEmptyOperand;
          stack[sp++] = v;
          st = Status::kNullExpression;
          break;
        }
        case kPushNumberVariable: {
          int index = Resolve(n, kNumberVariable);
          const void* p = index < 0 ? nullptr : rtarray::Get(rtarray::kNumberVariables, index);
          int64_t number = 0;
          if (p) std::memcpy(&number, p, sizeof number);
          stack[sp++] = Value::Number(number);
          st = kNumberValue;
          break;
        }
        case kPushIntegerVariable: {
          int index = Resolve(n, kIntegerVariable);
          const void* p = index < 0 ? nullptr : rtarray::Get(rtarray::kIntegerVariables, index);
          int16_t word = 0;
          if (p) std::memcpy(&word, p, sizeof word);
          stack[sp++] = Value::Number(word * scale_);
          st = kNumberValue;
          break;
        }
        case kPushVariable:
          st = ReadVariable(n, stack[sp]);
          if (st.is_error()) return Abort(pc, st);
          ++sp;
          break;
        case kPushField:
          st = ReadField(n, stack[sp]);
          if (st.is_error()) return Abort(pc, st);
          ++sp;
          break;
        case kCallFunction:
          st = Call(n, stack[sp], nullptr);
          if (st.is_error()) return Abort(pc, st);
          ++sp;
          break;
        case kCallUser:
          st = UserCall(n, stack[sp], nullptr);
          if (st.is_error()) return Abort(pc, st);
          ++sp;
          break;
        case kGroupEnd:
          if (st == Status::kNullExpression) st = Status(stack[sp - 1].kind);
          break;
        case kRunGroup:
          st = Statements(n.a, stack[sp], false);
          if (st.is_error()) return Abort(pc, Fail(n, st));
          ++sp;
          break;
        case kApply: {
          --sp;
          st = Apply(in.aux, stack[sp - 1], stack[sp], decimals_, scale_);
          if (st.is_error()) return Abort(pc, st);
          break;
        }
        case kStore:
          st = Store(n, st, stack[sp - 1]);
          if (st.is_error()) return Abort(pc, st);
          break;
        case kRaise:
          return Abort(pc, Fail(n, n.type == kBadAssign ? Status(Status::kSyntaxError)
                                                         : Status(n.status)));
      }
    }
    out = stack[sp - 1];
    return st;
  }

  // A failure inside groups names each group around it, innermost first.
  Status Abort(int pc, Status st) {
    const GroupRange* around[64];
    int count = 0;
    for (const GroupRange& g : p_.groups) {
      if (pc >= g.begin && pc < g.end && count < 64) around[count++] = &g;
    }
    std::sort(around, around + count, [](const GroupRange* x, const GroupRange* y) {
      return x->end - x->begin < y->end - y->begin;
    });
    for (int i = 0; i < count; ++i) (void)Fail(p_.nodes[around[i]->node], st);
    return st;
  }

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
    if ((n.flags & kUnderscore) != 0) {
      Status st = vars::OfferRead(n.vkind, p_.Text(n), &v);
      if (GetHook(kHookScreenField) != nullptr) Refresh();
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
      const void* p = index < 0 ? nullptr : rtarray::Get(rtarray::kIntegerVariables, index);
      int16_t word = 0;
      if (p) std::memcpy(&word, p, sizeof word);
      v = Value::Number(word * scale_);
      return kNumberValue;
    }
    Status st = vars::ReadAt(n.vkind, index, &v);
    return st.is_error() ? Fail(n, st) : st;
  }

  static Status ArgumentOf(void* context, int i) {
    auto* c = static_cast<CallContext*>(context);
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
    Refresh();
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
      for (int i = 0; i < n.c; ++i) {
        Value index;
        Status st = Run(p_.nodes[p_.lists[n.b + i]], index);
        if (st.is_error()) return Fail(n, st);
        if (index.kind == kTextValue) return Fail(n, Status::kTypeMismatch);
        indexes[i] = index.number / scale_;
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
    Refresh();
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
      case kTextVariable: {
        Slice copy = Area().Push(answer);
        if (!copy.ok()) return Fail(n, copy.status());
        v = Value::Text(copy);
        return kTextValue;
      }
      case kNumberVariable:
        v = Value::Number(ParseNumber(answer, decimals_));
        return kNumberValue;
      default:
        v = Value::Number(Wrap(static_cast<__int128>(RoundDivide(ParseNumber(answer, decimals_),
                                                                 scale_)) *
                               scale_));
        return kNumberValue;
    }
  }

  Status ReadField(const Node& n, Value& v) {
    RecordFieldAccess& fields = RecordFields();
    int depth = Area().Mark();
    Status st = fields.Read(p_.Text(n));
    Refresh();
    if (st.is_error()) return Fail(n, st);
    int kind = st == kTextValue ? kTextValue : kNumberValue;
    v = Result(kind, depth);
    if (kind == kTextValue && NumericFieldType(fields.FieldType(p_.Text(n)))) {
      v.flags |= vars::kNumericField;
    }
    return st.failed() ? st : Status(kind);
  }

  // Stores the value on top into the assignment's target; `st` is the
  // status the value came with.
  Status Store(const Node& n, Status st, const Value& v) {
    Node& target = p_.nodes[n.a];
    if (st == Status::kTypeWarning && p_.nodes[n.b].type == kField) {
      return Fail(p_.nodes[n.b], Status::kTypeMismatch);
    }
    switch (target.type) {
      case kVariable: {
        Slice name = p_.Text(target);
        if (target.flags & kUnderscore) {
          Status hook = vars::OfferAssign(name, v);
          if (GetHook(kHookScreenField) != nullptr) Refresh();
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
        Status stored = Status::kOk;
        void* slot = target.vkind == kNumberVariable
                         ? rtarray::Get(rtarray::kNumberVariables, index)
                         : nullptr;
        if (slot != nullptr) {
          std::memcpy(slot, &v.number, sizeof v.number);
        } else {
          stored = vars::StoreAt(target.vkind, index, v);
        }
        if (stored != Status::kOk) return Fail(target, vars::AssignFailure(stored));
        if (target.vkind == kIntegerVariable && index == kPrecis) Refresh();
        return Status(v.kind);
      }
      case kField: {
        AreaMark mark;
        Slice text = v.kind == kTextValue ? v.slice() : FormatNumber(v.number, decimals_);
        if (!text.ok()) return Fail(target, text.status());
        Status written = RecordFields().Write(p_.Text(target), text);
        Refresh();
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
  int decimals_ = 2;
  int64_t scale_ = 100;
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
  return {c.count, c.hits, c.misses};
}

}  // namespace tessaly
