// VAT summaries of a document (the expression functions VAT$ and VATv).
//
// A summary is a text of 16-byte entries, in order of first appearance:
//
//   offset  size  content
//   0       8     rate, a scaled number (little-endian 64-bit, as numbers
//                 travel between modules)
//   8       8     accumulated base, a scaled number
//
// Rates are compared as exact 64-bit values. A summary whose length is not
// a whole number of entries is damaged: 163 (BADINPUTDATA).
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

inline constexpr int kVatEntrySize = 16;

// The summary with `amount` added to the base of `rate`, appending the
// entry when it is new; a zero amount leaves it unchanged.
Slice VatAdd(Slice summary, int64_t rate, int64_t amount);

// The summary with an entry of base 0 appended for each rate of the comma
// list that it does not hold yet, in list order.
Slice VatWithRates(Slice summary, Slice rates);

// Entry `n`'s rate (selector 0) or base (selector 1); the number of entries
// for n = 0; 0 for an n beyond them. 147 for a selector other than 0 and 1,
// 163 for a damaged summary.
Status VatValue(Slice summary, int64_t n, int64_t selector, int64_t* value);

}  // namespace tessaly
