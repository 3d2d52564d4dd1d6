#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/string_area.h"
#include "core/text.h"
#include "expr/evaluator.h"
#include "expr/evaluator_internal.h"
#include "expr/functions.h"
#include "expr/scanner.h"
#include "expr/variables.h"

namespace tessaly::expr {
namespace {

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

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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
        const Node& inner = p_.nodes[n.a];
        if (inner.c == 1) n.b = p_.lists[inner.a];
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

// ---- Laying out postfix code ------------------------------------------------------

class CodeGenerator {
 public:
  explicit CodeGenerator(Program& p) : p_(p) {}

  // Every statement of the list `node` gets its own code range.
  void Statements(int node) {
    const Node& n = p_.nodes[node];
    for (int i = 0; i < n.c; ++i) Range(p_.lists[n.a + 2 * i]);
  }

 private:
  struct Frame {
    std::vector<Instr> code;
    std::vector<GroupRange> groups;
    int depth = 0;
    int max = 0;
  };

  // The code of `node` as a range of its own: a statement, or an argument
  // that a handler evaluates when it asks.
  void Range(int node) {
    Frame f;
    Emit(node, f);
    Node& n = p_.nodes[node];
    n.code = static_cast<int32_t>(p_.code.size());
    p_.code.insert(p_.code.end(), f.code.begin(), f.code.end());
    n.code_end = static_cast<int32_t>(p_.code.size());
    n.stack = f.max;
    for (GroupRange g : f.groups) {
      g.begin += n.code;
      g.end += n.code;
      p_.groups.push_back(g);
    }
  }

  static void Op(Frame& f, Opcode op, int node, int stack_change, uint8_t aux = 0) {
    f.code.push_back({op, aux, node});
    f.depth += stack_change;
    if (f.depth > f.max) f.max = f.depth;
  }

  void Arguments(const Node& call) {
    for (int i = 0; i < call.c; ++i) Range(p_.lists[call.b + i]);
  }

  void Emit(int node, Frame& f) {
    const Node& n = p_.nodes[node];
    switch (n.type) {
      case kNumberLiteral:
        return Op(f, kPushNumber, node, 1);
      case kEnvironmentName:
        return Op(f, kPushEnvironment, node, 1);
      case kTextLiteral:
      case kSpecialText:
        return Op(f, kPushText, node, 1);
      case kEmpty:
        return Op(f, kPushEmpty, node, 1);
      case kVariable:
        if ((n.flags & kUnderscore) == 0 && n.vkind == kNumberVariable) {
          return Op(f, kPushNumberVariable, node, 1);
        }
        if ((n.flags & kUnderscore) == 0 && n.vkind == kIntegerVariable) {
          return Op(f, kPushIntegerVariable, node, 1);
        }
        return Op(f, kPushVariable, node, 1);
      case kField:
        return Op(f, kPushField, node, 1);
      case kFunction:
        Arguments(n);
        return Op(f, kCallFunction, node, 1);
      case kUserCall:
        Arguments(n);
        return Op(f, kCallUser, node, 1);
      case kGroup:
        if (n.b >= 0) {
          int begin = static_cast<int>(f.code.size());
          Emit(n.b, f);
          Op(f, kGroupEnd, node, 0);
          f.groups.push_back({begin, static_cast<int32_t>(f.code.size()), node});
          return;
        }
        Statements(n.a);
        return Op(f, kRunGroup, node, 1);
      case kChain: {
        Emit(n.a, f);
        for (int i = 0; i < n.c; ++i) {
          Emit(p_.lists[n.b + 2 * i + 1], f);
          Op(f, kApply, node, -1, static_cast<uint8_t>(p_.lists[n.b + 2 * i]));
        }
        return;
      }
      case kAssign: {
        Emit(n.b, f);
        const Node& target = p_.nodes[n.a];
        if (target.type == kFunction || target.type == kUserCall) Arguments(target);
        return Op(f, kStore, node, 0);
      }
      case kBadAssign:
        Emit(n.a, f);
        Emit(n.b, f);
        return Op(f, kRaise, node, 0);
      case kFail:
        if (n.b >= 0) Emit(n.b, f);
        return Op(f, kRaise, node, 0);
      case kStatements:
        return;
    }
  }

  Program& p_;
};

}  // namespace

std::unique_ptr<Program> CompileProgram(Slice text, uint32_t functions) {
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
  CodeGenerator generator(*p);
  generator.Statements(p->root);
  return p;
}

}  // namespace tessaly::expr
