// Runtime paths and Linux paths.
//
// Applications were written for another platform: their definition files
// write paths with '\' separators, drive letters and names in any letter
// case, all in Windows-1252. Inside the runtime paths keep that written form;
// this module turns them into the Linux path of the file they mean:
//
//   1. Translate: Windows-1252 to UTF-8; '\' becomes '/'; a leading drive
//      "X:" becomes the folder named by TESSALY_DRIVE_X, or '/' when that is
//      not set; each component loses the trailing blanks and dots the other
//      platform ignored ("NAME." is "NAME").
//   2. Resolve: when the translated path does not exist as written, each
//      component is matched against its folder's entries without regard to
//      letter case (encoding.h, NameKey). A file about to be created keeps
//      its name as written, inside the folders that matched.
//
// Matches are remembered in a small cache. A remembered match is used only
// after checking that it still exists, so files created, renamed or deleted
// by anyone (this process or another) never make it answer wrongly; removals
// and renames made through platform/files.h also drop it at once.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::platform {

// The Linux form of a runtime path (step 1), without looking at the disk.
std::string TranslatePath(std::string_view runtime_path);

enum class Resolve {
  kExisting,   // the path must exist
  kForCreate,  // the folders must exist; the last component may be new
};

// The Linux path that `runtime_path` names (steps 1 and 2). 0, or ENOENT
// (ENOTDIR) when a component has no match; with kForCreate a missing last
// component is not an error and is kept as written.
int ResolvePath(std::string_view runtime_path, Resolve mode, std::string* native);
// Step 2 alone, for a path already in Linux form.
int ResolveNative(const std::string& native, Resolve mode, std::string* resolved);

// Drops remembered matches that lead to `native` or into it.
void ForgetPath(const std::string& native);
void ForgetAllPaths();

// Whether a name holds the wildcards '*' or '?'.
bool HasWildcards(std::string_view name);
// Wildcard match of a Windows-1252 name, without regard to letter case: '*'
// any run of characters, '?' any one character. As on the other platform, a
// pattern ending in ".*" also matches the name without an extension, so
// "*.*" matches every name.
bool MatchPattern(std::string_view pattern, std::string_view name);

// The runtime form of a Linux path: Windows-1252 with '\' separators.
std::string RuntimeFormOf(std::string_view native);

}  // namespace tessaly::platform
