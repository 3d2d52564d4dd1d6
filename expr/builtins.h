// The 33 built-in functions of the expression language: the dispatcher that
// wraps every function call, the argument vector the handlers read, and the
// handlers of the functions that need nothing above this layer.
//
// A call runs in four steps (BuiltinDispatch):
//   1. SQLCHILD (33) raises the nesting level `_SQLSTK`; a level above 7 is
//      159 and nothing runs; otherwise `_CURROW` and `_IER` are saved and
//      `_CURROW` is set to 0.
//   2. The arguments are gathered by the function's mode:
//        evaluated        every argument, left to right (all functions not
//                         listed below, and the application's, 34-49)
//        raw              none is evaluated: FN#ACUM (6), FN$FLDS (15)
//        first evaluated  the first only: CHK# (7), CHK$ (21), EXP$ (32)
//        file relation    every argument, a text read as a number: FILEREL (9)
//      An argument left empty between separators (FN$MIDS('ABCDE';;2)) is
//      recorded as ESC (27) and reads as the argument's default, exactly as
//      one missing at the end. Every argument is pushed on string table 35
//      (a number as its 8-byte value, a raw argument as written).
//   3. The handler of the code runs (147 naming the function when none is
//      installed). In the evaluated modes the call's Evaluate(i) hands out
//      the gathered value, so an argument is never evaluated twice.
//   4. Table 35 goes back to its size before the call (items a procedure
//      popped stay popped), SQLCHILD puts back `_SQLSTK`, `_CURROW` and
//      `_IER`, and the handler's result is kept: a status of 128 and more
//      leaves no result.
//
// The gathered values live on the string area below the handler's mark,
// and the bookkeeping is a stack reused from call to call: the common calls
// (CHK# inside field expressions) allocate nothing.
//
// Where each function lives:
//   expr/builtins.cpp        the dispatcher, the argument vector, SQLCHILD
//   expr/builtins_text.cpp   FN#SLEN, FN#PARM, FN$CHNG, FN$CHRS, FN$MIDS,
//                            FN$PARM, FN$TRIM, ENVELOP$, EXP$
//   expr/builtins_eval.cpp   _#, FN#ACUM, CHK#, CHK$, FN$FLDS, ENVRON$, _$
//   expr/builtins_sort.cpp   SORT$
//   data/builtins_data.cpp   FN#FLEN, FILEFIND, FILEREL, FILELOCATE,
//                            FILESEL, KEY$, IER (data files, streams)
//   data/builtins_values.cpp FN#VALN, FN$DATE, FN$MASK, TIME$, MACRO$
//                            (masks, dates, bracket expansion)
//   data/builtins_files.cpp  EXEC$, READ$, WRITE (stream files, parameter
//                            files)
// The data layer installs its handlers with InstallDataBuiltinFunctions
// (data/builtins_data.h), which installs these as well.
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/string_area.h"
#include "expr/functions.h"

namespace tessaly {

// Function codes: positions in the function list (environment slot 8).
enum BuiltinCode : int {
  kFnArray = 1,     // _#
  kFnFileLength,    // FN#FLEN
  kFnTextLength,    // FN#SLEN
  kFnListNumber,    // FN#PARM
  kFnValue,         // FN#VALN
  kFnAccumulate,    // FN#ACUM
  kFnChooseNumber,  // CHK#
  kFnFileFind,      // FILEFIND
  kFnFileRelation,  // FILEREL
  kFnFileLocate,    // FILELOCATE
  kFnFileSelect,    // FILESEL
  kFnChange,        // FN$CHNG
  kFnCharacters,    // FN$CHRS
  kFnDate,          // FN$DATE
  kFnIndirect,      // FN$FLDS
  kFnMask,          // FN$MASK
  kFnMiddle,        // FN$MIDS
  kFnListItem,      // FN$PARM
  kFnTrim,          // FN$TRIM
  kFnEnvelope,      // ENVELOP$
  kFnChooseText,    // CHK$
  kFnSort,          // SORT$
  kFnExecute,       // EXEC$
  kFnRead,          // READ$
  kFnWrite,         // WRITE
  kFnMacro,         // MACRO$
  kFnEnvironment,   // ENVRON$
  kFnStringTable,   // _$
  kFnKey,           // KEY$
  kFnTime,          // TIME$
  kFnFileStatus,    // IER
  kFnTemplate,      // EXP$
  kFnNested,        // SQLCHILD
};
static_assert(kFnNested == kBuiltinFunctionCount);

// How a function's arguments are gathered.
enum class GatherMode : uint8_t { kEvaluated, kRaw, kFirstEvaluated, kFileRelation };
// The mode of a code; kEvaluated for the application's codes.
GatherMode GatherModeOf(int code);
// The name of a built-in code as this module knows it ("CHK#" for 7).
Slice BuiltinName(int code);

// The deepest SQLCHILD nesting.
inline constexpr int kMaxNestedLevel = 7;
// An argument left empty is recorded on table 35 as this character.
inline constexpr char kEmptyArgument = 27;

// ---- The argument vector -------------------------------------------------------------

enum ArgumentKind : uint8_t {
  kArgNumber = 0,  // evaluated to a number
  kArgText = 1,    // evaluated to a text
  kArgEmpty = 2,   // left empty, or absent: reads as the default
  kArgRaw = 3,     // handed over unevaluated: its text as written
};

// The arguments of the call being dispatched, as the dispatcher gathered
// them. A handler builds one from its call; it stays valid while the
// handler runs (other calls nested in between leave it as it was).
class FunctionArguments {
 public:
  explicit FunctionArguments(const FunctionCall& call);

  // Whether the call is being dispatched (false for a handler run directly,
  // which then sees no arguments at all).
  bool valid() const { return frame_ >= 0; }
  int count() const { return count_; }
  // 147 when the count is outside min..max.
  Status CheckCount(int min, int max) const;

  // kArgEmpty for an argument that is absent or was left empty.
  ArgumentKind kind(int i) const;
  bool given(int i) const { return kind(i) != kArgEmpty; }
  bool is_number(int i) const { return kind(i) == kArgNumber; }
  bool is_text(int i) const { return kind(i) == kArgText; }
  // The scaled value of a number argument (0 for any other).
  int64_t number(int i) const;
  // The text of a text argument, or the written text of a raw one (empty
  // for any other).
  Slice text(int i) const;
  // The argument as written in the expression.
  Slice written(int i) const;

  // Argument i as a whole number (the integer part, rounded half away from
  // zero), `fallback` when it is absent or empty; 128 for a text.
  Status Integer(int i, int64_t fallback, int64_t* out) const;
  // As Integer, keeping the decimals (scaled).
  Status Number(int i, int64_t fallback, int64_t* out) const;
  // Argument i as text, `fallback` when absent or empty; 128 for a number.
  Status Text(int i, Slice fallback, Slice* out) const;
  // Either kind as text: a number is formatted with `_PRECIS` decimals on
  // the string area (so read it before the caller's next mark).
  Status TextOrNumber(int i, Slice fallback, Slice* out) const;

 private:
  int frame_ = -1;
  int first_ = 0;
  int count_ = 0;
};

// ---- Results -------------------------------------------------------------------------

// Keep a result at `mark` and answer with its kind (145 when the string
// area is full, or the status of an error slice).
Status ReturnNumber(AreaMark& mark, int64_t scaled);
Status ReturnInteger(AreaMark& mark, int64_t whole);
Status ReturnText(AreaMark& mark, Slice text);

// ---- Installation -----------------------------------------------------------------------

// The dispatcher that gathers the arguments of every call (SetFunctionDispatcher).
Status BuiltinDispatch(FunctionCall& call, FunctionHandler handler);

// Installs the dispatcher and the handlers of the functions computed in this
// layer (see the list above). Calling it again is harmless.
void InstallBuiltinFunctions();

// SORT$ lists alive (for tests and the leak report), and their release.
int SortListsInUse();
void ClearSortLists();

// The nesting of calls in progress (0 between expressions).
int BuiltinCallDepth();

}  // namespace tessaly
