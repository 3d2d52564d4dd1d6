// The environment table: the runtime's named configuration slots, items 0-11
// of string table 0, alive for the whole run.
//
//   slot  holds                                           set by
//   0     locale texts: message 0019, NUL, message 0117,  start-up
//         NUL, one blank
//   1     the normalised command line                     start-up
//   2     application name: a name, optionally ':' and a  start-up
//         second item; its first two characters are the
//         application code
//   3     application description (the title)             start-up
//   4     language code, one of "EN,ES,FR,DE,IT"          start-up, "ES" by default
//   5     default folder: a comma-separated list of the   folder resolution
//         folders searched for definition and parameter
//         files
//   6     documents folder (empty: the current folder)    the application
//   7     help folder                                     folder resolution
//   8-10  function list, button labels, mask parameters   their modules
//   11    database parameters: host, database, user,      the application
//         password, separated by commas
//
// %NAME% expansion reaches the slots by the names of kEnvironmentNames
// (numbered 1-6 for slots 1-6: "LANGMODULE.DOCPATH" is one name with a dot,
// so "DATAPATH" reads slot 5 and "HELPPATH" slot 6) and the four database
// names of kDatabaseNames (items 1-4 of slot 11). "APNAME" gives only the
// application code.
//
// Slices returned point into the table and stay valid until that slot
// changes.
#pragma once

#include "core/slice.h"

namespace tessaly {

enum EnvironmentSlot : int {
  kEnvLocale = 0,
  kEnvCommandLine = 1,
  kEnvApplicationName = 2,
  kEnvDescription = 3,
  kEnvLanguage = 4,
  kEnvDefaultFolder = 5,
  kEnvDocumentsFolder = 6,
  kEnvHelpFolder = 7,
  kEnvFunctionList = 8,
  kEnvButtonLabels = 9,
  kEnvMaskParameters = 10,
  kEnvDatabase = 11,
};
inline constexpr int kEnvironmentSlotCount = 12;

inline constexpr char kEnvironmentNames[] =
    "COMMANDLINE,APNAME,APDESCRIP,LANGMODULE.DOCPATH,DATAPATH,HELPPATH";
inline constexpr char kDatabaseNames[] =
    "DATABASE_HOST,DATABASE_DBNAME,DATABASE_USER,DATABASE_PASSW";
inline constexpr char kDefaultLanguage[] = "ES";

// Slot `slot` (0-11); empty when unset or out of range.
Slice GetEnvironment(int slot);
// Stores `text` in slot `slot`. 159 for a slot outside 0-11 or a full
// string store; an error slice is passed on.
Status SetEnvironment(int slot, Slice text);

// The application code: the first two characters of the part of slot 2
// before its first ':' (fewer when that part is shorter).
Slice ApplicationCode();
// The second ':'-item of slot 2; empty when there is none.
Slice ApplicationSecondItem();
// The language code (slot 4).
Slice LanguageCode();
// Item n (1-4) of the database parameters of slot 11, trimmed of blanks and
// tabs and stripped of one pair of enclosing quotes.
Slice DatabaseParameter(int n);

// The value the environment-table name `name` gives in %NAME% expansion:
// slots 1, 3, 4, 5 and 6 by kEnvironmentNames, the application code for
// "APNAME", the database parameters by kDatabaseNames. `known` (when given)
// says whether the name is in either list; any other name gives the empty
// text.
Slice EnvironmentNameValue(Slice name, bool* known = nullptr);

}  // namespace tessaly
