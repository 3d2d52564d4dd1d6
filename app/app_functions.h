// The application's functions of the expression language, registered after
// the 33 built-ins in this order (codes 34-41):
//
//   VATv(summary; n; selector = 0)        entry n's rate (0) or base (1);
//                                         the entry count for n = 0
//   VAT$(summary; rate; amount)           amount added to the rate's base
//   VAT$(summary; rates)                  an entry of base 0 per listed rate
//   AUTONUM(name)                         the counter's next value
//   AUTONUM(name; value)                  stores the value (and returns it)
//   DocSer$(series; date)                 three-character series code
//   FN$TXTN(number)                       the number in Spanish words
//   FN$TXTN(text; width = 0)              the next line of the text
//   PayDate$(date; days; day step; month step; n; pay days)
//                                         date of payment n
//   Iban$(country; bank; branch; control; account)
//                                         "prefix,bank,branch,control,account"
//   Mod(text; modulus = 97)               remainder of the number it spells
//
// Every function checks its argument count (147 outside it) and reads its
// arguments through the call: an argument left empty takes its default; a
// text where a number is needed is 128 (AUTONUM's value: 147); a number
// where a text is needed is taken in its text form (`_PRECIS` decimals).
// FN$TXTN with one text that reads as a number writes that number.
#pragma once

#include "core/slice.h"

namespace tessaly {

inline constexpr int kApplicationFunctionCount = 8;
inline constexpr char kApplicationFunctionNames[] =
    "VATv,VAT$,AUTONUM,DocSer$,FN$TXTN,PayDate$,Iban$,Mod";

// Registers the functions above, in order. Registering again keeps their
// codes. 168 when the function list has no room for them.
Status RegisterApplicationFunctions();

}  // namespace tessaly
