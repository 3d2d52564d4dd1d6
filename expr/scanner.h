// The expression scanner: prepares an expression text (syntax check, blanks
// removed outside quotes, the two input macros expanded) and cuts it into
// tokens, each an operand and the operator or separator that follows it.
//
// Operator characters are "*/!%÷+-(;,:)=><&@|" (the division sign is byte
// 0xF7). A token ends at the first of them found outside quotes. ';' and ','
// end a statement or a function argument, ')' closes a group, ':' is an
// operator character that is no operator. The twenty operators, numbered
// from 1, and their priorities (higher binds tighter; '|' above '*'):
//
//   *  /  !  %  ÷    4      =                 0 (assignment)
//   +  -             3      >  <  ==  >=  <=  <>   2
//   |                5      &  @  &&  ||  @@       1
//
// Operand kinds, decided in this order (bit 0x01 means text):
//   64 group            an empty name followed by '('
//   32 built-in call    a name in the function list followed by '('
//   16 user call        any other name followed by '(' (array element, or a
//                       '_' name for the application's function hook)
//   then the last of "({#$\"'" present in the operand decides:
//    1 text literal (a quote), 3 text variable ('$'), 6 '#' variable,
//    8 numeric record field ('{'), 9 text record field (type "ABCDF");
//   with none of them:
//    0 number literal or environment name (first character below 'A'),
//    2 integer variable (first character 'A' or above).
#pragma once

#include <cstdint>
#include <vector>

#include "core/slice.h"

namespace tessaly {

inline constexpr char kOperatorCharacters[] = "*/!%\xF7+-(;,:)=><&@|";
inline constexpr int kOperatorCharacterCount = 18;
static_assert(sizeof kOperatorCharacters - 1 == kOperatorCharacterCount);

enum Operator : uint8_t {
  kOpNone = 0,
  kOpMultiply = 1,
  kOpDivide = 2,
  kOpRescale = 3,      // !  decimals
  kOpPercent = 4,      // %  b percent of a
  kOpLessPercent = 5,  // ÷  a less b percent
  kOpAdd = 6,
  kOpSubtract = 7,
  kOpAssign = 8,
  kOpGreater = 9,
  kOpLess = 10,
  kOpEqual = 11,
  kOpGreaterEqual = 12,
  kOpLessEqual = 13,
  kOpNotEqual = 14,
  kOpBitAnd = 15,      // &
  kOpBitOr = 16,       // |
  kOpAt = 17,          // @
  kOpLogicalAnd = 18,  // &&
  kOpLogicalOr = 19,   // ||
  kOpExclusive = 20,   // @@
};
inline constexpr int kOperatorCount = 20;

// The priority of an operator (1-20); 0 for kOpNone.
int OperatorPriority(int op);
// The operator's text ("*", ">=" ...); empty for kOpNone.
Slice OperatorText(int op);

enum OperandKind : uint16_t {
  kOperandNumber = 0,
  kOperandText = 1,
  kOperandVariable = 2,
  kOperandTextVariable = 3,
  kOperandNumberVariable = 6,
  kOperandField = 8,
  kOperandTextField = 9,
  kOperandUserCall = 16,
  kOperandFunction = 32,
  kOperandGroup = 64,
};

inline constexpr uint16_t kStatementSeparator = 0;  // ';'
inline constexpr uint16_t kArgumentSeparator = 1;   // ','

// One step of the scanner. Set `expression` and `end` (where to start), then
// call NextToken; the next call goes on from `end`.
struct Token {
  Slice expression;
  uint16_t kind = kOperandNumber;
  uint16_t position = 0;  // where the operand begins
  uint16_t length = 0;    // operand length (a call's includes its parentheses)
  uint16_t end = 0;       // after the operator or separator that follows
  uint8_t op = kOpNone;   // the following operator, 0 when none
  uint8_t priority = 0;
  uint16_t separator = kNotFound;  // 0 ';', 1 ',', kNotFound when none follows
  Status status;                   // 0, or 129 / 147 for a damaged text
  // Where the parentheses of a call or group open and close; kNotFound for
  // other operands.
  uint16_t open = kNotFound;
  uint16_t close = kNotFound;
  // Where the operator text stands and its length: also set when an
  // operator character that is no operator follows (':', an unknown pair),
  // which leaves `op` 0 with a non-zero op_length.
  uint16_t op_position = kNotFound;
  uint8_t op_length = 0;
};

// Checks and prepares `text`: the prepared text on the string area, or an
// error slice. 129 when the parentheses outside quotes do not balance (the
// expression as error detail); 147 for a blank between two operands (the rest
// of the text from that blank as error detail); 146 when the macros make the
// text too long.
Slice Prepare(Slice text);
// The syntax check alone, on a text before its blanks are removed.
Status CheckSyntax(Slice text);

// Reads the token starting at token.end of token.expression. Returns
// token.status.
Status NextToken(Token& token);

// The text of argument n (from 1) of a list separated by ';' or ',' at the
// top level (outside quotes and parentheses); the last argument runs to the
// end. Empty when there is no argument n. A view into `text`.
Slice SkipArgument(Slice text, int n);

struct OperandSpan {
  uint16_t position;
  uint16_t length;
};
// The positions and lengths of all top-level operands of `text`.
std::vector<OperandSpan> TokenCount(Slice text);

// 1 when the expression's result is text: its first operand is a text
// literal, text variable, text field or a call of a '$' name, and no
// operator other than '=' or '+' follows it; else 0. A text that fails
// preparation is not text.
int IsText(Slice text);

}  // namespace tessaly
