// Tagged-line definition files and the texts read from them.
//
// Menus, screens, documents, reports and relational updates are text files
// whose lines carry a number at a fixed place. A reader is given a file, a
// layout and a wanted number, and queues the contents of the matching lines,
// in file order, on string table 37:
//
//   layout  number at columns  content returned
//   0, 5    none               the whole line (every line has number 0)
//   1       1-2                column 4 to the end
//   2       2-3                column 4 to the second-last character
//   3       1-4                column 6 to the end
//   4       1-2                column 3 to the end
//   6       1-5                the whole line
//
// Columns count from 1. Blanks in the number read as zeros; a line whose
// number columns hold anything else, or that is shorter than them, has no
// number and matches nothing. Lines are read with the stream line reader, at
// most 512 bytes each.
//
// This module also owns the table of definition-file extensions and the
// bracket expansion of definition texts.
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

inline constexpr int kDefinitionLineLimit = 512;
inline constexpr int kMaxDefinitionLayout = 6;

// Reads `file_name` (opened silently, read-only; when that fails and the name
// has no drive and no folder, looked for in the default folder list of
// environment slot 5) and queues the contents of the lines whose number is
// `number` on string table 37. Returns their count; -1 when the file cannot
// be opened (no error is recorded). A file that cannot be read through gives
// the negated status (-146 for a line longer than 512 bytes, -159 when the
// string table is full) with the detail naming the file and the line; the
// lines it had queued are taken back.
int DefinitionLines(Slice file_name, int layout, int number);

// The number a line carries in `layout`: -1 when it has none.
int DefinitionLineNumber(Slice line, int layout);
// The content a matching line gives in `layout`.
Slice DefinitionLineContent(Slice line, int layout);

// Definition-file extensions, by number from 1: "PPN,PAN,STP,DAT,DAT,PDC,
// PRX,KVA,PMT,PDF,TXT,PDI,HLP,CFG".
enum DefinitionKind : int {
  kDefMenu = 1,       // PPN
  kDefScreen = 2,     // PAN
  kDefStructure = 3,  // STP
  kDefData = 4,       // DAT
  kDefData2 = 5,      // DAT
  kDefPrintDoc = 6,   // PDC
  kDefProcedure = 7,  // PRX
  kDefAppSelect = 8,  // KVA
  kDefMenuBar = 9,    // PMT
  kDefPdf = 10,       // PDF
  kDefText = 11,      // TXT
  kDefPdi = 12,       // PDI
  kDefHelp = 13,      // HLP
  kDefConfig = 14,    // CFG
};
inline constexpr int kDefinitionKindCount = 14;
// The extension of kind n; empty outside 1-14.
Slice DefinitionExtension(int kind);
// name "." extension; the name unchanged for a kind outside 1-14.
Slice DefinitionFileName(Slice name, int kind);

// Bracket expansion flags.
enum BracketFlags : int {
  kBracketNoTrim = 0x02,       // keep blanks and tabs around values
  kBracketLookup = 0x04,       // try the list, the command line, the environment
  kBracketKeepEmpty = 0x10,    // an empty value stays empty (else "0")
  kBracketQuote = 0x20,        // enclose each value in quotes
  kBracketDoubleQuote = 0x40,  // ... in '"' rather than '\''
  kBracketFirstOnly = 0x80,    // expand the first reference only
  kBracketEscapes = 0x100,     // "\{" and "\}" become '[' and ']' at the end
};
// Replaces every [reference] by its value; scanning goes on after the
// inserted value. With kBracketLookup the reference is looked up as a
// NAME=value item of `list`, then as a command-line option, then as an
// environment variable; otherwise, or when that found nothing and the
// reference does not end in '%', it is evaluated as an expression. An
// evaluation error ends the expansion with its error slice. An unclosed '['
// is left as it stands.
Slice BracketExpand(Slice text, int flags, Slice list = Slice());

}  // namespace tessaly
