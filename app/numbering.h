// Document numbering: the counter file behind AUTONUM and the series codes
// of DocSer$.
//
// Counter file "%APPPATH_DATA%\%APNAME%COUNT.DAT" (in the current folder,
// without its folder, when the variable CCO is 0):
//
//   offset              size  content
//   0                   4094  header: the counter names, comma-separated,
//                             padded with blanks
//   4094                2     "\r\n"
//   4096 + 8 x (i - 1)  8     counter i (its place in the header list): a
//                             whole number right-aligned in 8 characters
//
// The file grows in blocks of 4096 bytes (4094 blanks and "\r\n") until it
// covers the slot being written. A counter's name is the current data
// file's name, "_" and the name the application gives it.
//
// Invariants kept by every store:
//   1. the header never passes its 4094 bytes (168 DATAOUTBOUND instead);
//   2. a name is written into the header only after its slot holds its
//      value, so a store cut short never leaves a counter reading a value
//      it was not given;
//   3. the store holds an exclusive lock on the header while it reads and
//      rewrites it, so two processes adding counters never lose one.
// Damage reads as the documented default and is mended by the next store:
// a file shorter than its header has no counters; a slot that is missing
// or does not hold a whole number reads as 0.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

inline constexpr int kCounterHeaderSize = 4096;
inline constexpr int kCounterHeaderText = 4094;
inline constexpr int kCounterSlotSize = 8;
inline constexpr char kCounterFileName[] = "%APPPATH_DATA%\\%APNAME%COUNT.DAT";
inline constexpr char kCounterFileLocalName[] = "%APNAME%COUNT.DAT";

// The counter file's path, expanded (the CCO choice above).
Slice CounterFilePath();

// The counter's key in the header: the current file's name, "_", `name`.
Slice CounterKey(Slice name);

// The value after counter `key` (its stored value + 1; 1 when it is absent
// or the file does not exist). Reads only: nothing is created.
Status NextCounterValue(Slice path, Slice key, int64_t* next);

// Stores `value` (a whole number, scaled) in counter `key`, adding the
// counter when it is new. 163 for a key holding ',', a quote, CR, LF or
// NUL; 168 when the header is full or the value does not fit 8 characters;
// the open's status (164) when the file cannot be opened, 137 when it
// cannot be written (with the file as the error detail).
Status StoreCounter(Slice path, Slice key, int64_t value);

// The three-character series code of a document: the series' first
// character (a blank when empty) and the year's last two digits of the
// stored date `date` (today when empty). With `_COMPAT` bit 2048 a tens
// digit of the year below 2 is written as a letter ('0' -> 'A', '1' ->
// 'B'). 163 for a date of fewer than 4 characters.
Slice SeriesCode(Slice series, Slice date);
inline constexpr uint16_t kCompatLetterYears = 2048;

}  // namespace tessaly
