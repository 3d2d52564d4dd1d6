// Files and folders named by runtime paths (Windows-1252, '\' separators,
// drive letters, any letter case; see platform/paths.h for how they reach
// Linux). Names handed back are in the runtime's form too.
//
// Everything goes through the current Env (platform/env.h). Errors are errno
// values, 0 success.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace tessaly::platform {

// Opens a file. With kOpenCreate a file that matches under no spelling is
// created with its name as written inside the folders that matched; one that
// exists under another spelling is opened, never doubled.
int OpenFile(std::string_view path, int flags, std::unique_ptr<File>* file);
int RemoveFile(std::string_view path);
// Renames a file or folder. An existing target is refused with EEXIST (the
// other platform never overwrote one by renaming), except that a name may be
// renamed to another spelling of itself.
int RenameFile(std::string_view from, std::string_view to);
// The entry of a path, or of the first match of a pattern; `name` (when
// given) gets its name as found on disk, in runtime form.
int StatFile(std::string_view path_or_pattern, FileInfo* info, std::string* name = nullptr);
bool FileExists(std::string_view path_or_pattern);
// The names (without folder) of the entries a pattern matches, folders
// included, sorted without regard to letter case. A path without wildcards
// lists itself under the spelling found on disk. ENOENT when the folder is
// missing; an empty list when nothing matches.
int ListFiles(std::string_view pattern, std::vector<std::string>* names);
// Creates a folder and any missing parents; an existing folder is success.
int MakeFolders(std::string_view path);
int ChangeFolder(std::string_view path);
// The current folder in runtime form ("\home\ana\shop").
int CurrentFolder(std::string* path);
// Copies a whole file. The copy is written beside the target under a
// temporary name and renamed over it at the end, so a failed copy never
// leaves a damaged or half-written target.
int CopyFile(std::string_view from, std::string_view to);
// Replaces the contents of a file with `bytes` (the file is created when
// missing) the same way: the old contents stay whole until the new ones are
// completely written. Writes go in pieces of `unit` bytes; `written` gets
// the bytes that reached the new file.
int ReplaceFile(std::string_view path, std::string_view bytes, size_t unit, int64_t* written);
// The Linux path of a runtime path, for handing to another program: the
// file found on disk, else the path it would be created under, else its
// plain translation.
std::string NativePath(std::string_view path);

}  // namespace tessaly::platform
