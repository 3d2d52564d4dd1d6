#include "platform/files.h"

#include <algorithm>
#include <cerrno>

#include "platform/encoding.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace tessaly::platform {
namespace {

// The folder part of a Linux path ("" for a bare name, "/" for the root) and
// its last component.
std::string_view FolderOf(std::string_view native) {
  size_t slash = native.rfind('/');
  if (slash == std::string_view::npos) return {};
  return slash == 0 ? native.substr(0, 1) : native.substr(0, slash);
}
std::string_view LastOf(std::string_view native) {
  size_t slash = native.rfind('/');
  return slash == std::string_view::npos ? native : native.substr(slash + 1);
}

std::string Join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

// A name beside `target` that no other writer uses: the process number and
// a counter keep two processes, and two calls, apart.
std::string SideName(const std::string& target) {
  static unsigned counter = 0;
  std::string name = "." + std::string(LastOf(target)) + ".tmp" + std::to_string(ProcessId()) +
                     "-" + std::to_string(++counter);
  return Join(FolderOf(target), name);
}

// Writes `fill` into a new file beside `target`, then renames it over the
// target, which keeps its permissions (a data folder shared by a group stays
// writable by the group). On any failure the side file is removed and the
// target is as it was.
template <typename Fill>
int WriteBeside(const std::string& target, Fill fill) {
  Env& env = CurrentEnv();
  std::string side;
  std::unique_ptr<File> out;
  int err = EEXIST;
  for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
    side = SideName(target);
    err = env.OpenFile(side, kOpenWrite | kOpenCreate | kOpenExclusive, &out);
  }
  if (err != 0) return err;
  FileInfo old;
  if (env.Stat(target, &old) == 0 && old.is_regular) {
    (void)env.SetPermissions(side, old.permissions);
  }
  err = fill(out.get());
  out.reset();
  if (err == 0) err = env.RenameFile(side, target, /*replace=*/true);
  if (err != 0) {
    (void)env.RemoveFile(side);
    return err;
  }
  ForgetPath(target);
  return 0;
}

int WriteAll(File* file, int64_t offset, const char* data, size_t n, size_t unit,
             int64_t* written) {
  size_t done = 0;
  while (done < n) {
    size_t piece = std::min(unit, n - done);
    int64_t w = file->WriteAt(offset + static_cast<int64_t>(done), data + done, piece);
    if (w > 0) done += static_cast<size_t>(w);
    if (written != nullptr) *written = static_cast<int64_t>(done);
    if (w < 0) return static_cast<int>(-w);
    if (static_cast<size_t>(w) < piece) return ENOSPC;
  }
  return 0;
}

}  // namespace

int OpenFile(std::string_view path, int flags, std::unique_ptr<File>* file) {
  std::string native;
  Resolve mode = (flags & kOpenCreate) ? Resolve::kForCreate : Resolve::kExisting;
  int err = ResolvePath(path, mode, &native);
  if (err != 0) return err;
  return CurrentEnv().OpenFile(native, flags, file);
}

int RemoveFile(std::string_view path) {
  std::string native;
  int err = ResolvePath(path, Resolve::kExisting, &native);
  if (err != 0) return err;
  err = CurrentEnv().RemoveFile(native);
  if (err == 0) ForgetPath(native);
  return err;
}

int RenameFile(std::string_view from, std::string_view to) {
  std::string source, target;
  int err = ResolvePath(from, Resolve::kExisting, &source);
  if (err != 0) return err;
  err = ResolvePath(to, Resolve::kForCreate, &target);
  if (err != 0) return err;
  // The target as written, inside the folder that matched.
  std::string written = Join(FolderOf(target), LastOf(TranslatePath(to)));
  Env& env = CurrentEnv();
  if (target == source) {
    // Another spelling of the same name: change the spelling.
    if (written == source) return 0;
    err = env.RenameFile(source, written, /*replace=*/false);
  } else if (env.Exists(target)) {
    return EEXIST;
  } else {
    err = env.RenameFile(source, target, /*replace=*/false);
  }
  if (err == 0) ForgetPath(source);
  return err;
}

int ListFiles(std::string_view pattern, std::vector<std::string>* names) {
  names->clear();
  std::string translated = TranslatePath(pattern);
  std::string_view last = LastOf(translated);
  Env& env = CurrentEnv();
  if (!HasWildcards(last)) {
    std::string native;
    int err = ResolveNative(translated, Resolve::kExisting, &native);
    if (err == ENOENT) return 0;
    if (err != 0) return err;
    names->push_back(Utf8ToCp1252(LastOf(native)));
    return 0;
  }
  std::string folder(FolderOf(translated));
  std::string native_folder;
  if (folder.empty()) {
    native_folder = ".";
  } else {
    int err = ResolveNative(folder, Resolve::kExisting, &native_folder);
    if (err != 0) return err;
  }
  std::vector<std::string> entries;
  int err = env.ListFolder(native_folder, &entries);
  if (err != 0) return err;
  std::string wanted = Utf8ToCp1252(last);
  for (const std::string& e : entries) {
    std::string name = Utf8ToCp1252(e);
    if (MatchPattern(wanted, name)) names->push_back(std::move(name));
  }
  std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = FoldCp1252(static_cast<unsigned char>(a[i]));
      unsigned char y = FoldCp1252(static_cast<unsigned char>(b[i]));
      if (x != y) return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return 0;
}

int StatFile(std::string_view path_or_pattern, FileInfo* info, std::string* name) {
  std::string translated = TranslatePath(path_or_pattern);
  std::string native;
  if (HasWildcards(LastOf(translated))) {
    std::vector<std::string> names;
    int err = ListFiles(path_or_pattern, &names);
    if (err != 0) return err;
    if (names.empty()) return ENOENT;
    std::string folder(FolderOf(translated));
    if (!folder.empty() && ResolveNative(folder, Resolve::kExisting, &folder) != 0) return ENOENT;
    native = Join(folder, Cp1252ToUtf8(names.front()));
  } else {
    int err = ResolveNative(translated, Resolve::kExisting, &native);
    if (err != 0) return err;
  }
  if (name != nullptr) *name = Utf8ToCp1252(LastOf(native));
  return CurrentEnv().Stat(native, info);
}

bool FileExists(std::string_view path_or_pattern) {
  std::string translated = TranslatePath(path_or_pattern);
  if (HasWildcards(LastOf(translated))) {
    std::vector<std::string> names;
    return ListFiles(path_or_pattern, &names) == 0 && !names.empty();
  }
  std::string native;
  return ResolveNative(translated, Resolve::kExisting, &native) == 0;
}

int MakeFolders(std::string_view path) {
  std::string translated = TranslatePath(path);
  if (translated.empty()) return ENOENT;
  Env& env = CurrentEnv();
  std::string current = translated[0] == '/' ? "/" : "";
  for (size_t start = 0; start <= translated.size();) {
    size_t end = translated.find('/', start);
    if (end == std::string::npos) end = translated.size();
    std::string_view comp(translated.data() + start, end - start);
    start = end + 1;
    if (comp.empty()) continue;
    std::string candidate = Join(current, comp);
    std::string found;
    if (ResolveNative(candidate, Resolve::kExisting, &found) == 0) {
      current = std::move(found);
      continue;
    }
    int err = env.MakeFolder(candidate);
    if (err != 0 && err != EEXIST) return err;
    current = std::move(candidate);
  }
  FileInfo info;
  int err = env.Stat(current, &info);
  if (err != 0) return err;
  return info.is_directory ? 0 : ENOTDIR;
}

int ChangeFolder(std::string_view path) {
  std::string native;
  int err = ResolvePath(path, Resolve::kExisting, &native);
  if (err != 0) return err;
  err = CurrentEnv().ChangeFolder(native);
  // Remembered relative matches belonged to the old folder.
  if (err == 0) ForgetAllPaths();
  return err;
}

int CurrentFolder(std::string* path) {
  std::string native;
  int err = CurrentEnv().CurrentFolder(&native);
  if (err != 0) return err;
  *path = RuntimeFormOf(native);
  return 0;
}

int CopyFile(std::string_view from, std::string_view to) {
  std::unique_ptr<File> in;
  int err = OpenFile(from, kOpenRead, &in);
  if (err != 0) return err;
  std::string target;
  err = ResolvePath(to, Resolve::kForCreate, &target);
  if (err != 0) return err;
  return WriteBeside(target, [&](File* out) {
    constexpr size_t kChunk = 64 * 1024;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (int64_t offset = 0;;) {
      int64_t r = in->ReadAt(offset, buffer.get(), kChunk);
      if (r < 0) return static_cast<int>(-r);
      if (r == 0) return 0;
      int e = WriteAll(out, offset, buffer.get(), static_cast<size_t>(r), kChunk, nullptr);
      if (e != 0) return e;
      offset += r;
    }
  });
}

int ReplaceFile(std::string_view path, std::string_view bytes, size_t unit, int64_t* written) {
  if (written != nullptr) *written = 0;
  std::string target;
  int err = ResolvePath(path, Resolve::kForCreate, &target);
  if (err != 0) return err;
  if (unit == 0) unit = bytes.size() > 0 ? bytes.size() : 1;
  return WriteBeside(target, [&](File* out) {
    return WriteAll(out, 0, bytes.data(), bytes.size(), unit, written);
  });
}

std::string NativePath(std::string_view path) {
  std::string translated = TranslatePath(path);
  std::string native;
  if (ResolveNative(translated, Resolve::kForCreate, &native) == 0) return native;
  return translated;
}

}  // namespace tessaly::platform
