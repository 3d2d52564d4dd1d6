// Numbered folders, relative path resolution, finding a file in a folder
// list, and the %NAME% expansion of paths.
//
// Folders by number (names used by %NAME% expansion in kFolderNames):
//   1 APPPATH_RUNPATH  the program's folder: the first word of the command
//                      line (environment slot 1), unquoted, without its name
//   2 APPPATH_DEFAULT  slot 5, the default folder list
//   3 APPPATH_DATA     "..\data" resolved against the first folder of slot 5;
//                      when the program's folder carries a drive letter
//                      before 'F' (a local disk of the other platform),
//                      against folder 4 instead
//   4 APPPATH_DOCS     slot 6, or the current folder when slot 6 is empty
//   5 APPPATH_HELP     slot 7, or "Help" resolved against the first folder
//                      of slot 5
//   6 APPPATH_BACKUP   "Backups" resolved against folder 4
//   7 APPPATH_BACKREL  the current folder, "Backups", the database host and
//                      the database name (slot 11) as path components
//
// Separators. Paths keep the form they were written in. A folder written
// with '/' only (a Linux path given on the command line) is joined with
// '/'; every other with '\'. The platform layer reads both.
//
// Results are on the string area unless said otherwise.
#pragma once

#include "core/slice.h"

namespace tessaly {

enum FolderNumber : int {
  kFolderRunPath = 1,
  kFolderDefault = 2,
  kFolderData = 3,
  kFolderDocs = 4,
  kFolderHelp = 5,
  kFolderBackup = 6,
  kFolderBackRel = 7,
};
inline constexpr int kFolderCount = 7;
inline constexpr char kFolderNames[] =
    "APPPATH_RUNPATH,APPPATH_DEFAULT,APPPATH_DATA,APPPATH_DOCS,APPPATH_HELP,APPPATH_BACKUP,"
    "APPPATH_BACKREL";
// The other platform's environment variables that %NAME% expansion reads
// (matched exactly or ignoring case); platform/environment.h maps them.
inline constexpr char kSystemEnvironmentNames[] =
    "ALLUSERSPROFILE,APPDATA,CommonProgramFiles,HOMEDRIVE,HOMEPATH,ProgramFiles,SYSTEMDRIVE,"
    "SystemRoot,TEMP,USERPROFILE";
// The folder of the application list that folder resolution mode 2 takes,
// against the current folder.
inline constexpr char kApplicationsFolder[] = "..\\APPS";

// Folder n (1-7); empty for any other number.
Slice Folder(int n);
// Folder n joined with `name`.
Slice FileInFolder(Slice name, int n);

// The current folder in runtime form; empty when it cannot be read.
Slice CurrentFolderPath();
// `folder` and `name` joined with the folder's separator; no separator is
// added when either is empty, the folder ends with one or the name begins
// with one.
Slice JoinPath(Slice folder, Slice name);
// Whether a file or folder of that runtime path exists.
bool PathExists(Slice path);
// Whether a path is absolute: it begins with '\' or '/', or with a drive.
bool IsAbsolutePath(Slice path);
// The folder part of a path (before its last separator); "\" or "/" for a
// file in the root, empty for a bare name.
Slice FolderPart(Slice path);

// `path` resolved against the folder `base`: while its next component is
// ".." it is dropped and the base steps up one folder ("." is just
// dropped); the rest is joined to the base and every "\.\" becomes "\". An
// absolute path, or an empty base, gives the path as it is.
Slice ResolveRelative(Slice path, Slice base);

// The first path that exists of: `name` as it is, then `name` joined to
// each folder of the comma-separated list. Empty when none exists.
Slice FindFile(Slice folder_list, Slice name);

// Folder resolution.
//   kFoldersAtStart  slot 5 empty: set it to folder 1; slot 7 empty: set it
//                    to folder 5.
//   kFoldersReselect slot 5 becomes the DPATH option, or else "..\APPS"
//                    resolved against the current folder; slot 7 becomes
//                    folder 5 of the new slot 5.
//   kFoldersMakeBackup (with either) finally creates folder 6 with its
//                    missing parents: 137 with the folder as detail when
//                    that fails.
enum FolderMode : int {
  kFoldersAtStart = 1,
  kFoldersReselect = 2,
  kFoldersMakeBackup = 8,
};
Status ResolveFolders(int mode);

// %NAME% expansion: every name between a pair of '%' is replaced by its
// value: a folder name (kFolderNames) gives that folder; one of
// kSystemEnvironmentNames, in any letter case, the environment variable;
// otherwise the environment-table names (core/environment_table.h), and
// any other name the empty text. Values that hold names themselves are
// expanded again, a bounded number of times. A single '%' stays.
Slice ExpandNames(Slice text);

// The mask "\\MENU" filled with the application code: each '\' of `mask`
// takes the next character of the code (a blank when the code is shorter).
Slice FillCodeMask(Slice mask);

}  // namespace tessaly
