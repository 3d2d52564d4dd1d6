// The handlers of the built-in functions computed in the data layer, shared
// between the files that hold them and the installer.
#pragma once

#include "core/slice.h"
#include "expr/builtins.h"
#include "expr/functions.h"

namespace tessaly::builtins {

// data/builtins_data.cpp
Status FileLength(FunctionCall& call);    // FN#FLEN
Status FileFind(FunctionCall& call);      // FILEFIND
Status FileRelation(FunctionCall& call);  // FILEREL
Status FileLocate(FunctionCall& call);    // FILELOCATE
Status FileSelect(FunctionCall& call);    // FILESEL
Status Key(FunctionCall& call);           // KEY$
Status FileStatus(FunctionCall& call);    // IER

// data/builtins_values.cpp
Status Value(FunctionCall& call);  // FN#VALN
Status Date(FunctionCall& call);   // FN$DATE
Status Mask(FunctionCall& call);   // FN$MASK
Status Time(FunctionCall& call);   // TIME$
Status Macro(FunctionCall& call);  // MACRO$

// data/builtins_files.cpp
Status Execute(FunctionCall& call);  // EXEC$
Status Read(FunctionCall& call);     // READ$
Status Write(FunctionCall& call);    // WRITE

}  // namespace tessaly::builtins

#define RETURN_IF_FAILED(expr)          \
  do {                                  \
    ::tessaly::Status status_ = (expr); \
    if (!status_.ok()) return status_;  \
  } while (0)
