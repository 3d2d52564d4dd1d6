// The library of text operations on which the expression language and every
// other module are written: searching, items of separated lists, building,
// case, trimming and quotes, comparison and NAME=value lookup.
//
// Conventions:
// - Every operation first asks the status of its slice arguments and passes
//   an error slice (or its status) on unchanged. Operations that answer with
//   a position, a count or a number read an error slice as "none": not
//   found, 0.
// - Positions are 0-based and 16-bit; "not found" is kNotFound (65535).
// - Items of lists are counted from 1. Splitting is quote-aware (a part
//   enclosed in a pair of equal quotes, ' or ", is never split) except for
//   the separator NUL.
// - Quote-aware searches skip text enclosed in a pair of equal quote
//   characters; `plain` searches do not. A quote never closed ends the search
//   with not found. An opening quote is itself outside the quotes, so a
//   quote-aware search for a quote finds the first one not inside a part
//   quoted with the other quote.
// - Results that are parts of an argument (Item, Rest, Substring, Trim,
//   Unquote, Bracketed, ValueOf, Either, a shortened CleanValue) are views
//   into that argument and live as long as it does; OneChar answers a view of
//   a constant table. Every other text result is built on the string area
//   (see core/string_area.h) and lives until the caller's next mark. A
//   caller that treats every result as living until its next mark, and no
//   longer than the arguments, is always right.
// - A result that would pass 65535 bytes is the error slice 146; a full
//   string area the error slice 145.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/slice.h"

namespace tessaly {

// ---- Searching ----------------------------------------------------------

uint16_t FindChar(Slice text, char ch, bool plain = false);
// From `start`; a start beyond the text gives not found.
uint16_t FindCharFrom(Slice text, uint16_t start, char ch, bool plain = false);
// Smallest position of any character of `set`.
uint16_t FindFirstOf(Slice text, Slice set, bool plain = false);
// First position of `pattern`; not found when the text is shorter.
uint16_t FindText(Slice text, Slice pattern, bool plain = false);
enum class FindKind { kChar, kText, kAnyOf };
// Last position of a character (pattern[0]), a text, or any character of a
// set, by repeated forward search.
uint16_t FindLast(Slice text, Slice pattern, FindKind kind, bool plain = true);
// Number of non-overlapping occurrences. A pattern holding a quote is counted
// plainly (counting on after such a match would start inside the quotes).
uint16_t CountText(Slice text, Slice pattern, bool plain = false);
uint16_t FindNul(Slice text);
// Index of the first element of `size` (2 or 4) bytes equal to value; -1
// when none.
int FindElement(const void* array, int count, uint32_t value, int size);

// ---- Items of a separated list -------------------------------------------

// Item n (from 1); n = 0 or beyond the last item gives an empty slice.
Slice Item(Slice list, char sep, int n);
// Item n trimmed, unquoted and read by Integer (a yes-word reads 1).
int ItemNumber(Slice list, char sep, int n);
// 0 for an empty text, else separators + 1.
int CountItems(Slice list, char sep);
// 1-based number of the first item equal to value; 0 when absent, when
// either is an error slice, or when the list is shorter than the value.
int ItemPosition(Slice list, Slice value, char sep);
// The list without its first item and separator.
Slice Rest(Slice list, char sep);
// Item n replaced by value (missing items added empty; an empty list counts
// as one empty item); n = 0 appends; a negative n removes item -n with its
// separator (a list without item -n comes back unchanged).
Slice SetItem(Slice list, Slice value, char sep, int n);
int ShortestItem(Slice list, char sep);
int LongestItem(Slice list, char sep);
std::vector<Slice> Split(Slice list, char sep);
// 1-based; empty out of range.
Slice VectorItem(const std::vector<Slice>& items, int n);
// a followed by each item of b not already in the result, appended with
// sep_a (no separator before the first when a is empty).
Slice ListUnion(Slice a, char sep_a, Slice b, char sep_b);
// The items of a not in b, joined with sep_a.
Slice ListDifference(Slice a, char sep_a, Slice b, char sep_b);
// The items of a that are also in b.
Slice ListIntersection(Slice a, char sep_a, Slice b, char sep_b);
// Every run of ch reduced to one ch.
Slice Collapse(Slice text, char ch);
// In "low-high,low-high,...", the 1-based number of the first range holding
// value; 0 when none. A range is two signed 64-bit integers; a single number
// is a range of one; an item that is not a range never holds the value.
int RangeIndex(Slice ranges, int64_t value);

// ---- Building -------------------------------------------------------------

Slice Concat(Slice a, Slice b);
Slice Concat(std::initializer_list<Slice> parts);
// a, sep and b; sep left out when a or b is empty.
Slice Join(Slice a, Slice sep, Slice b);
// name "=" value when both are non-empty; else the error slice 163.
Slice Pair(Slice name, Slice value);
Slice Either(Slice a, Slice b);
Slice Copy(Slice a);
// A NUL-terminated copy on the string area; an error slice, a full area or
// a 65535-byte text (no room for the NUL) gives "".
const char* CString(Slice a);
Slice Repeat(Slice a, int n);
// A copy of a with b written from pos, cut at the end of a; a negative pos
// counts from the end (clamped at 0).
Slice Overwrite(Slice a, int pos, Slice b);
// Copies b into buffer[pos..], cut to fit; 153 when it had to be cut.
// Never writes outside [buffer, buffer + buffer_size).
Status WriteInto(char* buffer, size_t buffer_size, size_t pos, Slice b);
// A view of a constant table: valid for the whole run.
Slice OneChar(char ch);
// From off, at most len bytes (65535: to the end). A negative off gives the
// last -off bytes (all of a when -off exceeds its length) and ignores len;
// an offset beyond the end gives an empty slice.
Slice Substring(Slice a, int off, uint16_t len = kMaxTextLength);
// Every occurrence replaced; quote-aware unless plain, always plain when the
// pattern holds a quote character.
Slice ReplaceAll(Slice text, Slice pattern, Slice replacement, bool plain = false);
Slice KeepChars(Slice text, Slice set);
// Each character found in `from` replaced by the one at the same position
// in `to`; its first place in `from` decides, and a character placed beyond
// the end of `to` stays as it is.
Slice Translate(Slice text, Slice from, Slice to);

// ---- Case, trimming and quotes ---------------------------------------------

Slice Upper(Slice a);
Slice Lower(Slice a);
enum TrimSides : int { kTrimLeft = 1, kTrimRight = 2, kTrimBoth = 3 };
Slice Trim(Slice a, int sides = kTrimBoth, Slice set = Slice(" \t", 2));
// The inner text when a has 2 bytes or more and begins and ends with the same
// quote (' or "); else a.
Slice Unquote(Slice a);
// Trim, then unquote; a text that neither shortened comes back upper-cased.
Slice CleanValue(Slice a);
// The partner of ch from "[](){}<>"; any other character is its own.
char PartnerOf(char ch);
Slice Enclose(Slice a, char ch);
// Enclosed with ch, or with the other quote when a holds ch; 163 when a
// holds both quotes. A ch that is not a quote just encloses (Enclose).
Slice Quote(Slice a, char ch);
// The text between the first ch and its matching partner (nesting counted,
// quoted parts skipped unless plain); when ch is its own partner, up to the
// next ch; empty when none or unbalanced.
Slice Bracketed(Slice text, char ch, bool plain = false);
// Whether text (2 bytes or more) begins with ch and ends with its partner.
bool StartsAndEndsWithPair(Slice text, char ch);

// ---- Comparison -------------------------------------------------------------

// 1, 0 or -1 by unsigned bytes; 159 when either pointer is null.
int CompareBytes(const void* p, const void* q, size_t n);
// The common length first, then the longer is greater: 1, 0 or 65535; the
// status of the first error slice.
uint16_t Compare(Slice a, Slice b);
inline int16_t Max16(int16_t a, int16_t b) { return a > b ? a : b; }
inline int16_t Min16(int16_t a, int16_t b) { return a < b ? a : b; }
inline int FirstNonZero(int a, int b) { return a != 0 ? a : b; }
// One of "YES,SI,Y,S,ON", any case, exactly (no trimming).
bool IsYes(Slice a);
// 1 for a yes-word, else the leading decimal digits (0 for none), read as
// the C library reads an int (leading white space, a sign) and saturated at
// the int range.
int Integer(Slice a);

// ---- NAME=value texts --------------------------------------------------------

enum ValueFlags : int {
  kValueUnquote = 1,
  kValueClean = 3,
  kValueNulSeparated = 4,
};
// The value of `name` in text: "name:" is looked for first and "name=" only
// when absent, counting a match at the start or after one of ": &/" (with
// kValueNulSeparated: after a NUL, searched plainly). The value runs to the
// next ':', blank, '&' or '/' outside quotes (kValueNulSeparated: to the
// next NUL) or the end. kValueUnquote unquotes it, kValueClean cleans it
// (CleanValue). Empty when absent.
Slice ValueOf(Slice text, Slice name, int flags = 0);

// ---- Sorting ------------------------------------------------------------------

// A sorted copy (ascending, unsigned bytes, stable) of `count` records of
// `size` bytes each, on the string area. 159 when `records` is shorter than
// size x count; empty for no records.
Slice SortRecords(Slice records, int size, int count);

}  // namespace tessaly
