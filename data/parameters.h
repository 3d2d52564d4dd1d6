// Parameter sets and their keywords.
//
// A parameter set is one text of NAME=value items joined by ':', made from
// the matching lines of a tagged-line definition file (data/definitions.h).
// Sets are kept on string table 31 as a stack; the set in use is the top one
// and is popped when the window or run that loaded it ends.
//
// Lookup of a keyword in the set in use:
// 1. When `_AUX` is not 0 the keyword is first qualified as prefix "."
//    keyword, the prefix being item `_AUX` of the comma list in string
//    table 9, slot 8; a qualified keyword that is absent is looked up again
//    as written.
// 2. A keyword holding '%' gives its value as written; any other has one pair
//    of enclosing quotes removed.
// 3. A keyword still absent, whose name has no '(', is evaluated as an
//    expression with its '%' removed (normally the variable of that name) and
//    that value is used.
//
// Every keyword has a number; the sets and their bases:
//    1-9   menus                      (base 0)
//   11-29  file maintenance windows   (base 10)
//   31-48  documents with lines       (base 30)
//   51-67  screen fields and capture  (base 50)
//   71-81  reports                    (base 70)
//   91-99  report runs                (base 90)
//  101-116 capture windows, imports   (base 100)
#pragma once

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// Keyword numbers, named after their keyword.
enum Keyword : int {
  kKwModules = 1,
  kKwMenu,
  kKwCaller,
  kKwSubmenu,
  kKwLoad,
  kKwExec,
  kKwCounter,
  kKwMaxIdsAttr,
  kKwStatMsg,
  kKwScreenSize = 11,
  kKwSet,
  kKwOpen,
  kKwEdit,
  kKwNoEdit,
  kKwWrite,
  kKwDoc,
  kKwDocSets,
  kKwHelp,
  kKwSaved,
  kKwHidden,
  kKwRelOpt,
  kKwUnicNdx,
  kKwAutoNdx,
  kKwKeyMap,
  kKwScanDef,
  kKwScanWin,
  kKwScanSet,
  kKwVoidMode,
  kKwNumCab = 31,
  kKwWriteCab0,
  kKwWriteCabs,
  kKwWriteLins,
  kKwFitClc,
  kKwFtClc,
  kKwReadCabs,
  kKwReadLins,
  kKwLnIns,
  kKwLnDel,
  kKwAlarmLins,
  kKwBounds,
  kKwDocTypeTxt,
  kKwMode,
  kKwFastFind,
  kKwFldUpdate,
  kKwBeginFld,
  kKwMaxLin,
  kKwFd = 51,
  kKwAlarm,
  kKwAssign,
  kKwLnAssign,
  kKwFileDef,
  kKwPerform,
  kKwUpdFields,
  kKwWidths,
  kKwTypes,
  kKwWindows,
  kKwClear,
  kKwOnConfirm,
  kKwOnCancel,
  kKwUsrCond,
  kKwIk1,
  kKwIk2,
  kKwIk3,
  kKwAtEnd = 71,
  kKwBrkEnd,
  kKwBreak,
  kKwCond,
  kKwMaxLine,
  kKwLineStep,
  kKwTotalBase,
  kKwContinue,
  kKwExtraStep,
  kKwTitle,
  kKwWd,
  kKwDevice = 91,
  kKwDocName,
  kKwAcBound,
  kKwIndex,
  kKwLimits,
  kKwAuxLoad,
  kKwReset,
  kKwSteps,
  kKwPrcName,
  kKwAcceptPrc = 101,
  kKwWinName,
  kKwProgMode,
  kKwParmFile,
  kKwParmFileWrite,
  kKwSourceFile,
  kKwImpMode,
  kKwRdExp,
  kKwWrExp,
  kKwEotExp,
  kKwRdCond,
  kKwTarget,
  kKwLoadImport,
  kKwMnuImport,
  kKwAutoImport,
  kKwStruct,
};

// The keyword of number n ("TITLE$" for 80); empty for a number in no set.
Slice KeywordName(int number);
// The number of a keyword; 0 when it is in no set.
int KeywordNumber(Slice name);

// Reads the lines of `file_name` numbered `number` in `layout`, joins them
// with ':' and pushes the set on string table 31. Matching no line pushes an
// empty set. A set is pushed exactly when the status is 0: a file that
// cannot be opened gives 164 with its name as the detail, a damaged file the
// status of the reader.
Status ParameterSetLoad(Slice file_name, int layout, int number);
// Pushes a set given as text.
Status ParameterSetPush(Slice set);
// Pops the set in use; 159 when there is none.
Status ParameterSetPop();
// The set in use (empty when none).
Slice ParameterSet();
int ParameterSetDepth();

// The value of keyword `number` in the set in use; with item > 0, item
// `item` of the value's comma list. An expression that fails gives its error
// slice.
Slice ParameterValue(int number, int item = 0);
Slice ParameterValueByName(Slice keyword, int item = 0);
// Whether the keyword is present in the set in use (after qualification),
// without the expression fallback.
bool ParameterPresent(Slice keyword);

// Writes a parameter file again as one line of NAME=value assignments: the
// given ones first (comma-separated NAME=expression, the expressions
// evaluated, texts quoted so that reading the file back gives the same
// value), then those already in the file for other names. The old file is
// replaced only once the new one is complete.
Status MergeParameterFile(Slice path, Slice assignments);

}  // namespace tessaly
