// The handlers of the built-in functions computed in the expression layer,
// shared between the files that hold them and the installer.
#pragma once

#include "core/slice.h"
#include "expr/builtins.h"
#include "expr/functions.h"

namespace tessaly::builtins {

// expr/builtins_text.cpp
Status TextLength(FunctionCall& call);  // FN#SLEN
Status ListNumber(FunctionCall& call);  // FN#PARM
Status Change(FunctionCall& call);      // FN$CHNG
Status Characters(FunctionCall& call);  // FN$CHRS
Status Middle(FunctionCall& call);      // FN$MIDS
Status ListItem(FunctionCall& call);    // FN$PARM
Status TrimValue(FunctionCall& call);   // FN$TRIM
Status Envelope(FunctionCall& call);    // ENVELOP$
Status Template(FunctionCall& call);    // EXP$

// expr/builtins_eval.cpp
Status NumericArray(FunctionCall& call);  // _#
Status Accumulate(FunctionCall& call);    // FN#ACUM
Status ChooseNumber(FunctionCall& call);  // CHK#
Status ChooseText(FunctionCall& call);    // CHK$
Status Indirect(FunctionCall& call);      // FN$FLDS
Status Environment(FunctionCall& call);   // ENVRON$
Status StringTable(FunctionCall& call);   // _$
Status Nested(FunctionCall& call);        // SQLCHILD

// expr/builtins_sort.cpp
Status Sort(FunctionCall& call);  // SORT$

// The first number of `text` read as an integer (the text form of a
// number argument, "12" or "12.00"); for the arguments that take either.
int64_t WholeNumberOf(Slice text);

}  // namespace tessaly::builtins
