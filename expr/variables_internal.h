// What the evaluator needs of the variables beyond their public operations:
// the value it computes with, lookups by index, and the counters that tell
// its caches when a remembered index may have changed.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly::vars {

// A value while an expression is computed. Numbers never touch the string
// area until the result is kept; a text points into the string area or into
// the prepared text of the expression being evaluated.
struct Value {
  int64_t number = 0;
  const char* text = "";
  uint16_t length = 0;
  uint8_t kind = 0;  // kNumberValue or kTextValue
  uint8_t flags = 0;

  Slice slice() const { return Slice(text, length); }
  static Value Number(int64_t n) {
    Value v;
    v.number = n;
    return v;
  }
  static Value Text(Slice s) {
    Value v;
    v.text = s.data();
    v.length = s.size();
    v.kind = 1;
    return v;
  }
};

// Value flags.
inline constexpr uint8_t kEmptyOperand = 0x01;   // an operand that was left empty
inline constexpr uint8_t kNumericField = 0x02;   // text of a numeric record field

// The list slot in table 12 of a variable kind; -1 for kinds with no list.
int ListSlot(int kind);
// The index of `name` in the list of `kind`; -1 when absent. No hook.
int Lookup(int kind, Slice name);
// Lookup, creating the variable when absent: the index, or -status.
int LookupOrCreate(int kind, Slice name);

// The counters behind Epoch and Creations; only variables.cpp changes them.
inline uint32_t g_epoch = 1;
inline uint32_t g_creations = 1;
// Changes when variables are forgotten: every remembered index is stale.
inline uint32_t Epoch() { return g_epoch; }
// Changes whenever a variable is created: a remembered "absent" is stale.
inline uint32_t Creations() { return g_creations; }

// Reading and storing by kind and index, without the screen-field hook.
// A text read is pushed on the string area, so that it stays valid while
// the variable changes.
Status ReadAt(int kind, int index, Value* out);
Status StoreAt(int kind, int index, const Value& value);

// Offers a '_' name to hook 0. Returns 163 when the hook does not answer
// (not set, not a screen field, or 148); otherwise the value (converted to
// the kind of the name) and its kind, or a status.
Status OfferRead(int kind, Slice name, Value* out);
Status OfferAssign(Slice name, const Value& value);

// Arrays by index in the array list.
Status ElementRead(int array, const int64_t* indexes, int count, Value* out);
Status ElementStore(int array, const int64_t* indexes, int count, const Value& value);

// Records a failure of an assignment (error area 4) and returns it.
Status AssignFailure(Status status);

}  // namespace tessaly::vars
