// Spanish bank account data and IBANs (the expression functions Iban$ and
// Mod).
//
// A national account code is 20 digits: bank (4), branch (4), two control
// digits and the account number (10). Each control digit is computed over
// ten digits (the first over "00" + bank + branch, the second over the
// account) with the weights 1, 2, 4, 8, 5, 10, 9, 7, 3, 6 from the left:
// r = sum mod 11, and the digit is r when r is 0 or 1, else 11 - r.
//
// The IBAN puts the country letters and two check digits before the
// national code. The check digits are 98 minus the remainder mod 97 of the
// number spelt by the national code, the country letters and "00", each
// letter standing for two digits (A = 10 ... Z = 35).
//
// Results are built on the string area.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

// The control digit of up to ten digits (padded on the left with zeros).
// REQUIRES: `digits` holds 0-10 decimal digits.
char AccountControlDigit(Slice digits);

// The remainder of the number spelt by `text` modulo `modulus`: letters of
// either case stand for 10-35, blanks are skipped. False for any other
// character or a modulus below 1.
bool TextRemainder(Slice text, int64_t modulus, int64_t* remainder);

// The two IBAN check digits of a 20-digit national code and a two-letter
// country ("91" for ES and 21000418450200051332).
Slice IbanCheckDigits(Slice national_code, Slice country);

// The comma list "prefix,bank,branch,control,account" of account data, or
// the empty text when it is not valid:
//   - bank, branch and account (trimmed) must be digits; they are padded on
//     the left with zeros to 4, 4 and 10 digits; a bank or branch longer
//     than 4 digits, an account longer than 10 or an empty one records
//     status 163 (BADINPUTDATA) as the last error;
//   - a given control pair must equal the computed one; an empty one takes
//     it;
//   - `country` (trimmed, upper-cased; the language code of environment
//     slot 4 when empty) is two letters, which get their check digits, or
//     four characters whose check digits must be right. With no country at
//     all the prefix is left empty.
Slice IbanParts(Slice country, Slice bank, Slice branch, Slice control, Slice account);

}  // namespace tessaly
