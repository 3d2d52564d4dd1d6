// The scanned form of an expression text, shared by the compiler (which
// builds it from the text) and the evaluator (which runs it).
//
// A text becomes a tree of nodes, the way precedence climbing reads it:
// statements, chains of operators applied from the left, operands, groups,
// calls and assignments. The tree keeps the text of every operand for the
// error detail, and each call's argument texts for its handler.
//
// Each statement and each call argument is also laid out as postfix code
// over a small stack of values: operands push, operators pop two and push
// one, stores keep the value. Running a statement runs its code range; a
// call's handler runs its arguments' ranges when it asks for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/slice.h"

namespace tessaly::expr {

enum NodeType : uint8_t {
  kStatements,       // a: offset in lists of (node, start) pairs; c: count
  kChain,            // a: head; b: offset in lists of (operator, node) pairs; c: count
  kNumberLiteral,    // number/decimals: the value parsed for those decimals
  kEnvironmentName,  // number: the integer value
  kTextLiteral,      // a, b: offset and length, in the pool when kInPool, else in the text
  kSpecialText,      // .lf$ .tab$ .pchr$ .null$: like kTextLiteral, never assigned
  kEmpty,
  kVariable,   // vkind: 2, 3 or 6
  kField,      // NAME{F}
  kFunction,   // number: the code; b: offset in lists of arguments; c: count; d: their texts
  kUserCall,   // as kFunction
  kGroup,      // a: its statements; b: the statement itself when there is one
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
  // The postfix code of a statement or argument: [code, code_end), and the
  // stack it needs.
  int32_t code = -1;
  int32_t code_end = -1;
  int32_t stack = 0;
  // Remembered while evaluating.
  int64_t number = 0;
  int32_t var_index = -1;
  uint32_t var_stamp = 0;
  int8_t decimals = -1;
};

enum Opcode : uint8_t {
  kPushNumber,       // literal
  kPushEnvironment,  // environment name
  kPushText,         // text literal or special name
  kPushEmpty,        // empty operand (status 123)
  kPushNumberVariable,
  kPushIntegerVariable,
  kPushVariable,  // text variables and '_' names
  kPushField,
  kCallFunction,
  kCallUser,
  kGroupEnd,     // a group of one statement ends: 123 becomes success
  kRunGroup,     // a group of several statements, run as a list
  kApply,        // aux: the operator
  kStore,        // node: the assignment
  kRaise,        // node: the failure (or the bad assignment)
};

struct Instr {
  Opcode op;
  uint8_t aux;
  int32_t node;
};

// The code of an inline group, so that a failure inside it names the group.
struct GroupRange {
  int32_t begin;
  int32_t end;
  int32_t node;
};

// One expression text, prepared and scanned.
struct Program {
  std::string key;
  std::string prepared;
  std::string pool;
  std::vector<Node> nodes;
  std::vector<int32_t> lists;
  std::vector<Slice> arguments;
  std::vector<Instr> code;
  std::vector<GroupRange> groups;
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

// Prepares and scans `text` under the function list `functions` (its
// generation). A text that fails preparation gives a program holding only
// that status and its error detail.
std::unique_ptr<Program> CompileProgram(Slice text, uint32_t functions);

// The error detail keeps about 1024 bytes of text, and it shares the string
// tables' one store with the variables: a long text is named by its start.
inline constexpr uint16_t kDetailPiece = 1024;
inline Slice DetailPiece(Slice text) {
  return text.size() > kDetailPiece ? Slice(text.data(), kDetailPiece) : text;
}

}  // namespace tessaly::expr
