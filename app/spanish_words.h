// Amounts in Spanish words and texts cut into lines, as invoices and
// receipts print them (the expression function FN$TXTN).
//
// Words of a number. The integer digits are read from the left in groups:
// a hundreds digit, a tens digit and a units digit, each looked up in its
// word table by the longest matching prefix (so "100" is "cien" while "1"
// of "123" is "ciento", and "16" is "dieci" + "seis"); a units word follows a
// tens word without a blank ("veintitres", "treinta y uno"). The thousands
// and millions scale words are added as the reading passes their digit:
// "mil" (a leading 1 alone is just "mil"), "un millón" for a leading 1 of the
// millions, otherwise "millones"; a thousands group of three zeros adds no
// "mil" (1000500 is "un millón quinientos"). The decimals, when not 0, are
// padded on the right to `_DX` digits (to the number's own decimals when
// `_DX` is 0, so that .5 and .05 differ), read the same way and joined with
// " con "; a negative number gets " negativas " appended. The spellings are
// the application's own and stay as its printed documents expect them
// ("dos cientos", "dieciseis", "veintiuno mil").
//
// Text in lines. A cursor (the system variable `_USER03`) remembers how far
// a text has been handed out; each call returns the next piece of at most
// `width` characters, cut at a blank.
//
// Texts are Windows-1252 ("millón" holds the byte 0xF3) and are built on the
// string area.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// The words of a scaled number with `decimals` decimals; `dx` is the
// number of decimal digits the decimals are padded to (0: their own
// count). Zero gives the empty text.
Slice NumberInWords(int64_t scaled, int decimals, int dx);

// The next piece of `text` from `*cursor`: the whole rest when `width` is 0
// or the rest fits; otherwise up to the last blank within the first
// `width` characters of the rest, else up to its first blank, else empty.
// The cursor moves past the piece and one blank (to 0 when `width` is 0).
Slice NextTextPiece(Slice text, int width, uint16_t* cursor);

}  // namespace tessaly
