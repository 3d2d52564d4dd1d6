// The expression evaluator: computes expression texts over variables,
// record fields and functions, and leaves the result on the string area.
//
// Values are numbers (64-bit integers scaled by 10^`_PRECIS`, carried as
// 8-byte slices) and texts. A text holds statements separated by ';' or ','
// whose last value is the result. Operators apply by priority (see
// expr/scanner.h), equal priorities from the left; an assignment takes
// everything to its right (A=B=1 sets B, then A).
//
// Number rules, with s = 10^`_PRECIS` and rounding half away from zero:
//   a*b  round(a*b/s)          a/b  round(a*s/b), 0 when b is 0
//   a!b  a rounded to n = int(b) decimals (the scale stays)
//   a%b  b percent of a        a÷b  a less b percent
//   comparisons give the number 1 or 0
//   &    bitwise AND of the integer parts
//   | @  OR of the integer parts when they share no bit, else 0
//   && || test the low 16 bits of the scaled values
//   @@   1 when the integer parts are not both 0 and share no bit
// Texts: '+' concatenates, comparisons go byte by byte (a longer text is
// greater than its prefix); `==` takes a right text holding '*' as a pattern
// unless `_AUXSTAT` bit 0x80 is set. A text mixed with a number is 128.
//
// Operands reach the rest of the runtime through three doors:
//   - calls of names in the function list go to CallFunction with a
//     FunctionCall (expr/functions.h);
//   - NAME{F} goes to the installed RecordFieldAccess (expr/fields.h);
//   - a call of a '_' name that is no declared array goes to the
//     application's function hook (hook 2): request 1 to read, 5 to assign,
//     the operand text as argument and the FunctionCall as object (so the
//     hook can evaluate the arguments and see the assigned value). Its text
//     answer is read as the kind of the name; 163 or 148 mean there is no
//     such function (149, as for an undeclared array).
// A call of another name that is no declared array is 149.
//
// Statuses: a failure of 128 and more is recorded as the last error with
// area 11 and the failing statement (from its start to the end of the text)
// is appended to the error detail, after the failing operand's own text.
//
// Expressions are kept as text. The evaluator remembers the prepared text
// and the scanned tokens of each text it has seen, so that evaluating a text
// again costs no scanning; what it remembers never changes a result: it
// is scanned again when the function list changes, and variable positions
// are looked up again when variables are created or forgotten.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// Evaluates `text`: kNumberValue (0) with the number on top of the string
// area, kTextValue (1) with the text on top, or a status of 122 and more
// (for a failure of 128 and more nothing is pushed).
Status Evaluate(Slice text);

// The result as text, numbers formatted with `_PRECIS` decimals; an error
// slice when the evaluation fails (122 and more).
Slice EvaluateToText(Slice text);

// 0, or the status when it is 128 or more: for parameter files and lists of
// assignments, where warnings do not stop anything. Pushes nothing.
Status EvaluateForErrors(Slice text);

// 1 for an empty (or blank) text; for a number 1 when it is not 0, else 0;
// 0 for a text result or a status below 122; the status when it is 122 or
// more. Pushes nothing.
Status Condition(Slice text);

// The most nested evaluations (an expression calling a function or a hook
// that evaluates another expression ...) and the deepest nesting of groups,
// calls and operators in one text. Beyond either: status 155.
inline constexpr int kMaxEvaluationNesting = 48;
inline constexpr int kMaxExpressionDepth = 256;

// Forgets every remembered expression.
void ClearExpressionCache();

struct ExpressionCacheStats {
  size_t entries;
  uint64_t hits;
  uint64_t misses;
};
ExpressionCacheStats GetExpressionCacheStats();

}  // namespace tessaly
