// String tables: 39 numbered tables of variable-length texts sharing one
// store, alive for the whole run.
//
// Tables 0-36 are indexed lists and stacks (push appends, top reads the last
// item, pop deletes the last item); tables 37 and 38 are queues (top reads
// item 0, pop deletes item 0). The store is bounded as a whole: 2048 items,
// and 65535 bytes for the table counts (2 bytes each), the item lengths
// (2 bytes each) and the text together. Beyond either limit, or for a table
// number above 38, the answer is 159 (area 2 recorded with code 156).
//
// Fixed roles: 0 environment table, 5 menu actions, 9 slot 2 the loaded
// language texts and slot 9 the error detail, 12 variable names, 13 text
// variables, 30 procedure results, 31 definition files read for settings,
// 35 function arguments, 37 lines of a file being read.
//
// Slices returned by Get/Top point into the table and stay valid until that
// item changes or is deleted.
#pragma once

#include "core/slice.h"

namespace tessaly::strtab {

inline constexpr int kTableCount = 39;
inline constexpr int kMaxItems = 2048;
inline constexpr size_t kMaxStoreBytes = 65535;

enum Table : int {
  kEnvironment = 0,
  kMenuActions = 5,
  kLanguage = 9,        // slot 2 language texts, slot 9 error detail
  kVariableNames = 12,
  kTextVariables = 13,
  kProcedureResults = 30,
  kSettingsFiles = 31,
  kFunctionArgs = 35,
  kLineQueue = 37,
  kQueue2 = 38,
};

// Item `item` (0-based) of `table`: an empty slice when the item is absent,
// the error slice 159 for a bad table number.
Slice Get(int table, int item);
// Stores `text` at `item`, adding empty items up to it.
Status Set(int table, int item, Slice text);
Status Push(int table, Slice text);
// The last item (the first for the queues 37 and 38); empty when none.
Slice Top(int table);
// Deletes the last item (the first for the queues); 159 when the table is empty.
Status Pop(int table);
// Deletes item `item`, later items move down; 159 when it is absent.
Status Delete(int table, int item);
int Count(int table);
void Clear(int table);
void ClearAll();

// Store use, for the limits and for tests.
int ItemsInUse();
size_t BytesInUse();

// A counter that changes whenever `table` changes (set, push, pop, delete,
// clear), so that a module keeping a derived index of a table, such as the
// function names of environment slot 8, can tell that someone wrote to it.
uint32_t Version(int table);

}  // namespace tessaly::strtab
