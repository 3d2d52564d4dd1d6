// The built-in functions that act on what the data layer owns: data files
// and record operations, stream files and parameter files, masks, dates and
// times, and the bracket expansion of definition texts.
//
//   data/builtins_data.cpp    FN#FLEN, FILEFIND, FILEREL, FILELOCATE,
//                             FILESEL, KEY$, IER
//   data/builtins_values.cpp  FN#VALN, FN$DATE, FN$MASK, TIME$, MACRO$
//   data/builtins_files.cpp   EXEC$, READ$, WRITE
//
// The dispatcher, the argument vector and the other functions are in the
// expression layer (expr/builtins.h). Hooks reached from here:
//   hook 1 (command)   EXEC$ of a command that is not a parameter file:
//                      request 0, the command as argument, a pointer to the
//                      parameters (Slice) as object; its text result is the
//                      top item of string table 30. 148, or no hook: 148
//                      with "EXEC$()" as detail.
//   hook 3 (relation)  FILEREL with flags bit 4 while `_UPSTAT` bit 4 is
//                      set: request 0, "file,relation,item,flags" as
//                      argument, a pointer to those four ints as object; an
//                      answer of 148 (or no hook) leaves the call to the
//                      runtime's relation lookup. A text answer is read as
//                      the resulting status.
#pragma once

namespace tessaly {

// Installs the handlers above and those of the expression layer with the
// dispatcher (InstallBuiltinFunctions). The executable calls it once at
// start; calling it again is harmless.
void InstallDataBuiltinFunctions();

}  // namespace tessaly
