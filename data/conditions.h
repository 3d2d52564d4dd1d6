// Comparison terms for searches and report limits: a field, an operator and a
// quoted value, joined into the condition texts that the data file engine
// evaluates as expressions; and the "[$]" value mark of menu commands,
// group-end conditions and macros.
//
// Results are built on the string area and live until the caller's next mark.
#pragma once

#include "core/slice.h"

namespace tessaly {

// Comparison numbers: items of "==,>,>=,<,<=,<>".
enum Comparison : int {
  kCompareEqual = 1,
  kCompareGreater = 2,
  kCompareGreaterEqual = 3,
  kCompareLess = 4,
  kCompareLessEqual = 5,
  kCompareNotEqual = 6,
};

inline constexpr char kDefaultConditionFormat[] = "%s%s'%s'";
inline constexpr char kDefaultConnective[] = "&&";

// The term field, operator and value laid into `format` (empty: "%s%s'%s'",
// so PRICE, 3, 10 give PRICE>='10'), joined to `existing` with `connective`
// (empty: "&&"). An empty value adds no term; an empty side is left out with
// its connective. With the default format a value holding the apostrophe is
// enclosed in double quotes instead; one holding both quotes is 163, and so
// is a comparison number outside 1-6.
Slice BuildCondition(Slice field, int comparison, Slice value, Slice existing = Slice(),
                     Slice connective = Slice(), Slice format = Slice());

// Two conditions as one: a condition beginning with "1&&" loses that prefix
// and replaces the other; an empty one gives the other alone; otherwise
// "(first)connective(second)". An empty connective is "&&".
Slice JoinConditions(Slice first, Slice second, Slice connective = Slice());

// The text with every "[$]" replaced by the value.
Slice ReplaceValueMark(Slice text, Slice value);

}  // namespace tessaly
