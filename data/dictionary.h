// The application dictionary: the files that define every data file of an
// application, loaded into the file structures (data/structures.h).
//
// Two text files, found through the folder list: code + "DICC.DAT" (files,
// fields, keys) and code + "REL.DAT" (relations); code is the application
// code, the first two characters of the application name. Every line begins
// with a two-digit number NN; (NN-1) div 30 selects the kind of line and
// (NN-1) mod 30 the file within this dictionary:
//
//   NN     line                  layout (columns from 1)
//   01-30  file line ('*')       NN*folder*AAname: folder (empty: the default
//                                folder), AA the two-digit attribute number
//   01-30  include ('$' in       NN*$...*AAcode: that code's DICC.DAT and
//          the folder item)      REL.DAT load here, their files after ours
//   01-30  field line (no '*')   width in columns 10-12, type in column 14,
//                                name from column 15, trimmed
//   31-60  key line              '<' then groups of a 4-digit 1-based offset
//                                and a 3-digit length (1-5 groups); the last
//                                character of the line closes the list
//   61-90  relation line         the text after the first ':' is appended to
//                                the file's relation list
//
// Key lines count their files from the first file of their own dictionary
// (an included one counts from its own first file). After DICC.DAT the files
// after the last keyed file that have no key receive their default key.
//
// A line that breaks this layout (a short line, letters where digits belong,
// a key beyond the record, a file without fields) stops the load with 163
// (141 for the key) and the detail "<path> line <n>: <line>". A failed load
// leaves the structures as they were before it.
#pragma once

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// Names of the dictionary files, items of "DICC.DAT,REL.DAT,RELUP.DAT,
// RELUPSQL.DAT,MENU.PPN".
enum DictionaryFile : int {
  kDictionaryFields = 1,     // DICC.DAT
  kDictionaryRelations = 2,  // REL.DAT
  kDictionaryRelUpdate = 3,  // RELUP.DAT
  kDictionaryRelUpdateSql = 4,
  kDictionaryMenu = 5,  // MENU.PPN
};
// code + the name of item `which`.
Slice DictionaryFileName(Slice code, int which);

// Loads the dictionary of application `code` (its first two characters):
// the files are found by trying the name as it is, then each folder of the
// comma-separated `folder_list`. A missing DICC.DAT gives 164 with the
// detail "<name> [<folder list>]"; a missing REL.DAT is not an error.
Status DictionaryLoad(Slice code, Slice default_folder, Slice folder_list);

// The first existing path of `name` as it is, then joined to each folder of
// the comma-separated list; empty when none exists.
Slice FindInFolders(Slice folder_list, Slice name);

}  // namespace tessaly
