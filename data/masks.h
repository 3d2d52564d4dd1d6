// Field types, number conventions and edit masks: how a value of each field
// type is stored, shown in a field of a given width, and read back from what
// the user typed.
//
// Field types are one character of kFieldTypes:
//   1..9  number with that many decimals   N  whole number
//   L     logical: blank, "0" or "1"        D  date YYYYMMDD (empty may show today)
//   F     date YYYYMMDD, empty shows blank  A  text, left-aligned
//   B     digits and blanks                 C  digit code (blanks become '0')
//   P     password text                     T  text shown only at its full width
//   V     text never shown
// Any character below 'A' is a number; '1'..'9' give its decimals.
//
// Stored forms are neutral: numbers right-aligned with '.' and exactly their
// type's decimals, no thousands separator. The language's decimal point,
// thousands separator and logical words appear only in shown text. They come
// from the locale texts in environment slot 0 ("0019 text" NUL "0117 text"
// NUL blank), read again at every conversion so that a change of language
// takes effect at once; an empty slot means the neutral English conventions.
//
// Masks: '\' takes the next character of a text value, '?' the character at
// the same position (when it is the mask's first placeholder), '#' a digit or
// a blank, '0' a digit or '0'; in a numeric mask '.' is the decimal point and
// ',' a thousands separator. Every other character is a literal.
//
// Results are built on the string area (core/string_area.h) and live until
// the caller's next mark. A number whose integer part does not fit its field
// or mask is the error slice 168 (DATAOUTBOUND): a number is never cut.
#pragma once

#include "core/slice.h"

namespace tessaly {

inline constexpr char kFieldTypes[] = "123456789ABCDFLNTV";
static_assert(sizeof(kFieldTypes) - 1 == 18);

// Whether `type` is shown and typed as a number (N, the digits, and any
// character below 'A').
bool IsNumericType(char type);
// The decimals of a numeric type: the digit for '1'..'9', else 0.
int TypeDecimals(char type);

// ---- Number conventions of a language ---------------------------------------

// The built-in English text of message 0019: decimal point, thousands
// separator, then the quoted items accepted numeric characters, logical input
// letters (blank, false, true) and logical display words.
inline constexpr char kNeutralNumberFormat[] = ".,'0123456789.-D',' NY','  ,NO,YES'";

struct NumberFormat {
  char decimal_point = '.';
  char thousands = ',';
  Slice accepted;         // characters accepted in numeric input
  Slice logical_letters;  // three letters: blank, false, true
  Slice logical_words;    // comma list of three words: blank, false, true
};

// The conventions of the current language (environment slot 0); a missing
// item falls back to the neutral one. The slices point into the environment
// table and stay valid until slot 0 changes.
NumberFormat LanguageNumberFormat();
// The fixed neutral (English) conventions used for stored values.
NumberFormat NeutralNumberFormat();
// Reads a text laid out as message 0019.
NumberFormat ReadNumberFormat(Slice text);

// Stores the locale texts in environment slot 0: the number format text
// (message 0019), NUL, the date names text (message 0117), NUL, a blank.
// Start-up and every change of language do this.
Status SetLocaleTexts(Slice number_format, Slice date_names);

// ---- Masks --------------------------------------------------------------------

enum MaskMode : int {
  kMaskText = 0,         // lay the value in as text
  kMaskNeutral = 1,      // numeric, neutral '.' and ','
  kMaskByContent = 255,  // numeric when mask and value look numeric; language separators
};

// The value laid into the mask. A mask without placeholders comes back as it
// stands. 168 when a number's integer part cannot fit the mask.
Slice ApplyMask(Slice mask, Slice value, int mode = kMaskByContent);

// `width` copies of '\' (types A, B, D, L) or '#' (numeric types), with the
// decimal point of a digit type n at position width-n-1; other types give an
// empty mask. The point is '.' when `neutral`, else the language's.
Slice DefaultMask(char type, int width, bool neutral);

// A mask whose first character is not '\', '#' or '0' and whose rest is a
// width other than 0 is a shorthand for DefaultMask (N10, 210, A30): the
// neutral default mask of that type and width. Any other mask is returned
// as it is.
Slice ExpandMaskShorthand(Slice mask);

// A shorthand expanded, and a self-sizing mask ("#,##0,.2", "###,.")
// rewritten to its decimals: those of item n+1 of the mask parameters
// (environment slot 10) when that slot is set, else n.
Slice PrepareMask(Slice mask);

// ---- Values of fields -----------------------------------------------------------

// The text shown for a stored value in a field of exactly `width` characters
// (-1: not fitted). Numbers use the language's separators; dates the date
// forms 1 (width 8) or 2 (width 10); logicals the language's words.
Slice FormatValue(char type, Slice stored, int width);

// The stored form of what the user typed, fitted to `width` unless it is -1.
// An invalid date is 163; a number too wide for the field 168.
Slice ParseValue(char type, Slice typed, int width);

// The value padded or cut to `width` as its type allows (-1: unchanged):
// texts are cut, numbers right-aligned and rounded to fewer decimals, never
// cut (168).
Slice FitValue(char type, Slice value, int width);

// The stored form of a computed value for a field: a digit type is laid into
// its neutral default mask (exactly its decimals), any other type is fitted.
Slice StoreValue(char type, Slice value, int width);

// Typed numeric input made canonical: trimmed; at most 20 characters kept,
// stopping at the first character that is neither accepted nor '.', or at a
// '-' that is not first; leading zeros dropped; the language's decimal point
// written as '.'.
Slice CleanNumber(Slice typed);

}  // namespace tessaly
