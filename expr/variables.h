// Variables of the expression language: global, created on first
// assignment, typed by the form of their name.
//
//   kind  name              value                       storage
//   2     no marker         16-bit signed integer       word of runtime array 7
//   3     contains '$'      text                        item of string table 13
//   6     contains '#'      scaled 64-bit number        element of runtime array 8
//   16    contains '('      array of 1-4 dimensions     descriptor in runtime array 6
//   0     contains '@'      not a variable
//
// When a name holds several markers, '@' decides first, then '(', '$', '#'.
//
// String table 12 holds one comma-separated list of names per kind: slot 0
// integers, 1 '#' numbers, 2 '$' texts, 3 arrays. A variable's index is its
// position in its list counted from 0, and is also its storage index. Names
// are matched exactly (case-sensitive). A hash map beside each list answers
// lookups; this module writes the list whenever it adds a name, so table 12
// always reads as the names in index order.
//
// The system variables are created first, in a fixed order, so that their
// indexes are the word indexes of core/flags.h (`_AUXSTAT` 0 ... `_USER03`
// 43); their text variables "_ACUM$,_ACUMX$,_LTEXT$" are text indexes 0-2.
//
// Names beginning with '_' are first offered to the screen-field handler
// (hook 0): request 1 to read, request 5 to assign. For an assignment the
// value is on top of the string area and the hook's object points to a
// VariableValue. An answer of 163 (or no hook) means "not a screen field".
//
// Values on the string area: a number is an 8-byte scaled value (kind 0), a
// text is the text itself (kind 1). Read and assign answer with the value's
// kind (0 or 1) or a status of 122 and more; failures of an assignment are
// recorded with error area 4.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

enum VariableKind : int {
  kNotVariable = 0,
  kIntegerVariable = 2,
  kTextVariable = 3,
  kNumberVariable = 6,
  kArrayVariable = 16,
};

// Value kinds of results: what the status 0 or 1 of a read or an evaluation
// says about the top of the string area.
inline constexpr int kNumberValue = 0;
inline constexpr int kTextValue = 1;

// Screen-field handler requests (hook 0).
inline constexpr int kScreenFieldRead = 1;
inline constexpr int kScreenFieldReadSaved = 2;
inline constexpr int kScreenFieldAssign = 5;

// The object handed to hook 0 with an assignment.
struct VariableValue {
  Slice value;  // 8-byte scaled number, or text
  int kind;     // kNumberValue or kTextValue
};

// 0, 2, 3, 6 or 16 by the markers of the name.
int VariableKindOf(Slice name);

struct VariableRef {
  int kind = kNotVariable;
  uint16_t index = kNotFound;  // kNotFound when absent
};
VariableRef FindVariable(Slice name);
// The index of `name`, created when absent. 157 when the name cannot be added
// (empty, holds a comma, or the string tables are full), 147 for a name that
// is not a variable.
Status CreateVariable(Slice name, uint16_t* index);

// Pushes the value of `name`: an absent integer or number reads 0, an absent
// text the empty text. Returns kNumberValue, kTextValue or a status (147 for
// a name that is not a readable variable).
Status ReadVariable(Slice name);
// Stores `value` (of `value_kind`) into `name`, creating it; the value stays
// on top of the string area. An integer variable receives the number's
// integer part rounded half away from zero. 128 when the kinds disagree, 147
// for a name that cannot be assigned (the special names `.lf$`, `.tab$`,
// `.pchr$`, `.null$`, array names, '@' names), 157 when it cannot be created.
Status AssignVariable(Slice name, Slice value, int value_kind);
Status AssignNumber(Slice name, int64_t scaled);
Status AssignText(Slice name, Slice text);

// The special text names, read with a leading dot: CR LF, tab, backslash and
// the empty text. Sets *value and returns true when `name` is one of them.
bool SpecialTextName(Slice name, Slice* value);

// ---- Arrays ----------------------------------------------------------------

inline constexpr int kMaxArrayDimensions = 4;

// Declares (or declares again) the array `name` (written with or without its
// parenthesised part): element kind 2 (2-byte integers), 6 (8-byte numbers)
// or 3 (texts of `width` bytes), with `count` bounds; each dimension holds
// bound + 1 elements. 149 for more than 4 bounds or a negative bound, 147 for
// a single element or an element size of 0, 154 when no storage is left.
Status DeclareArray(Slice name, int element_kind, int width, const int* bounds, int count);
// The storage of one element (row-major): the error slice 149 for an array
// not declared, 168 for an index outside it. Indexes left out count as 0.
Slice ArrayElement(Slice name, const int* indexes, int count);
// Pushes the element (an integer element is scaled); returns its value kind.
Status ReadElement(Slice name, const int* indexes, int count);
// Stores into the element: an integer element receives the integer part of
// the number, a text is cut to the width. 128 when the kinds disagree.
Status AssignElement(Slice name, const int* indexes, int count, Slice value, int value_kind);

// ---- Screen-field variables and file variables ------------------------------

// The text variable "_V<n>$" read as a letter and the integer after it (a
// field type and a position). 181 when it does not exist.
Status ReadPair(int n, char* letter, int* number);

// The variables of an open data file: the integer variable `name` (the
// lower-cased file name) holds the file number (1-29, else 151). The
// structures module may install a handler that defines further variables of
// the file; it runs after the file's own variable.
using FileVariablesHandler = Status (*)(int file_number, Slice name);
void SetFileVariablesHandler(FileVariablesHandler handler);
Status DefineFileVariables(int file_number, Slice name);

// ---- Life cycle ----------------------------------------------------------------

// Creates the system variables with their defaults when they do not exist
// yet. Start-up calls it before anything else uses a variable.
void InitVariables();
// Forgets every variable and array and creates the system variables again:
// a fresh start for tests.
void ResetVariables();
// Frees the storage of every array. The end of the run calls it before the
// memory blocks still in use are counted as leaks.
void ReleaseVariables();

// How many variables of each kind exist (the slots of string table 12): a
// procedure call takes a mark so that the variables it creates are its
// locals, released when it returns.
struct VariableMark {
  uint16_t counts[4] = {};
};
VariableMark MarkVariables();
// Forgets every variable created after `mark`, with its value and its array
// storage; the variables that existed at the mark keep theirs.
void ReleaseVariablesSince(const VariableMark& mark);

}  // namespace tessaly
