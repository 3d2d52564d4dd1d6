#include "core/folders.h"

#include <string>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace tessaly {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char SeparatorOf(std::string_view folder) {
  return (folder.find('/') != std::string_view::npos && folder.find('\\') == std::string_view::npos)
             ? '/'
             : '\\';
}

bool HasDrive(std::string_view p) {
  return p.size() >= 2 && p[1] == ':' &&
         ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// The parent of a folder, as text; empty when a relative folder has none.
std::string Parent(std::string folder) {
  while (folder.size() > 1 && IsSeparator(folder.back()) &&
         !(folder.size() == 3 && HasDrive(folder))) {
    folder.pop_back();
  }
  size_t cut = folder.find_last_of("\\/");
  if (cut == std::string::npos) return HasDrive(folder) ? folder : std::string();
  if (cut == 0) return folder.substr(0, 1);                      // the root
  if (cut == 2 && HasDrive(folder)) return folder.substr(0, 3);  // "C:\"
  return folder.substr(0, cut);
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (name.empty()) return folder;
  std::string out = folder;
  if (!IsSeparator(out.back()) && !IsSeparator(name.front())) out += SeparatorOf(folder);
  out.append(name);
  return out;
}

Slice Push(const std::string& s) {
  if (s.size() > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
  return Area().Push(Slice(s.data(), static_cast<uint16_t>(s.size())));
}

Slice FirstDefaultFolder() { return Trim(Item(GetEnvironment(kEnvDefaultFolder), ',', 1)); }

// The value of one %NAME%.
std::string NameValue(Slice name) {
  AreaMark mark;
  int folder = ItemPosition(Slice(kFolderNames), name, ',');
  if (folder != 0) return Folder(folder).str();
  int system = ItemPosition(Slice(kSystemEnvironmentNames), name, ',');
  if (system == 0) system = ItemPosition(Upper(Slice(kSystemEnvironmentNames)), Upper(name), ',');
  if (system != 0) {
    return platform::EnvironmentValue(Item(Slice(kSystemEnvironmentNames), ',', system).view());
  }
  return EnvironmentNameValue(name).str();
}

// One left-to-right pass; whether anything was replaced.
bool ExpandOnce(const std::string& in, std::string* out) {
  out->clear();
  size_t p = 0;
  bool changed = false;
  while (p < in.size()) {
    size_t i = in.find('%', p);
    size_t j = i == std::string::npos ? i : in.find('%', i + 1);
    if (j == std::string::npos) break;
    std::string name = in.substr(i + 1, j - i - 1);
    out->append(in, p, i - p);
    if (name.size() <= kMaxTextLength) out->append(NameValue(Slice::Of(name)));
    p = j + 1;
    changed = true;
  }
  out->append(in, p, std::string::npos);
  return changed;
}

}  // namespace

Slice CurrentFolderPath() {
  std::string cwd;
  if (platform::CurrentFolder(&cwd) != 0) return Area().Push(Slice());
  return Push(cwd);
}

Slice JoinPath(Slice folder, Slice name) {
  if (!folder.ok()) return folder;
  if (!name.ok()) return name;
  return Push(Join(folder.str(), name.view()));
}

bool PathExists(Slice path) {
  if (!path.ok() || path.empty()) return false;
  return platform::FileExists(path.view());
}

bool IsAbsolutePath(Slice path) {
  if (!path.ok() || path.empty()) return false;
  return IsSeparator(static_cast<char>(path[0])) || HasDrive(path.view());
}

Slice FolderPart(Slice path) {
  if (!path.ok()) return path;
  std::string_view v = path.view();
  size_t cut = v.find_last_of("\\/");
  if (cut == std::string_view::npos) return HasDrive(v) ? Substring(path, 0, 2) : Slice();
  if (cut == 0 || (cut == 2 && HasDrive(v)))
    return Substring(path, 0, static_cast<uint16_t>(cut + 1));
  return Substring(path, 0, static_cast<uint16_t>(cut));
}

Slice ResolveRelative(Slice path, Slice base) {
  if (!path.ok()) return path;
  if (!base.ok()) return base;
  AreaMark mark;
  if (IsAbsolutePath(path) || base.empty()) return mark.Keep(Copy(path));
  std::string folder = base.str();
  std::string_view rest = path.view();
  std::string climbed;  // ".." steps above a relative base
  while (!rest.empty()) {
    size_t cut = rest.find_first_of("\\/");
    std::string_view component = rest.substr(0, cut);
    if (component != "." && component != "..") break;
    if (component == "..") {
      if (folder.empty()) {
        climbed += "..\\";
      } else if (std::string_view(folder).substr(folder.find_last_of("\\/") + 1) == "..") {
        folder = Join(folder, "..");
      } else {
        folder = Parent(folder);  // a relative folder's parent may be the current one ("")
      }
    }
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  std::string out = folder.empty() ? climbed + std::string(rest) : Join(folder, rest);
  for (const char* dot : {"\\.\\", "/./"}) {
    for (size_t at = out.find(dot); at != std::string::npos; at = out.find(dot, at)) {
      out.erase(at, 2);
    }
  }
  return mark.Keep(Push(out));
}

Slice Folder(int n) {
  AreaMark mark;
  switch (n) {
    case kFolderRunPath:
      return mark.Keep(FolderPart(CommandLineProgram(GetEnvironment(kEnvCommandLine))));
    case kFolderDefault:
      return mark.Keep(GetEnvironment(kEnvDefaultFolder));
    case kFolderData: {
      Slice program = Folder(kFolderRunPath);
      bool local_disk = HasDrive(program.view()) && (program[0] & 0xDF) < 'F';
      Slice base = local_disk ? Folder(kFolderDocs) : FirstDefaultFolder();
      return mark.Keep(ResolveRelative("..\\data", base));
    }
    case kFolderDocs: {
      Slice docs = GetEnvironment(kEnvDocumentsFolder);
      return mark.Keep(docs.empty() ? CurrentFolderPath() : docs);
    }
    case kFolderHelp: {
      Slice help = GetEnvironment(kEnvHelpFolder);
      return mark.Keep(help.empty() ? ResolveRelative("Help", FirstDefaultFolder()) : help);
    }
    case kFolderBackup:
      return mark.Keep(ResolveRelative("Backups", Folder(kFolderDocs)));
    case kFolderBackRel: {
      std::string path = CurrentFolderPath().str();
      for (std::string part :
           {std::string("Backups"), DatabaseParameter(1).str(), DatabaseParameter(2).str()}) {
        if (!part.empty()) path = Join(path, part);
      }
      return mark.Keep(Push(path));
    }
    default:
      return mark.Keep(Slice());
  }
}

Slice FileInFolder(Slice name, int n) {
  AreaMark mark;
  return mark.Keep(JoinPath(Folder(n), name));
}

Slice FindFile(Slice folder_list, Slice name) {
  if (!name.ok() || name.empty()) return Slice();
  AreaMark mark;
  if (PathExists(name)) return mark.Keep(Copy(name));
  for (Slice folder : Split(folder_list, ',')) {
    folder = Trim(folder);
    if (folder.empty()) continue;
    Slice path = JoinPath(folder, name);
    if (PathExists(path)) return mark.Keep(path);
  }
  return mark.Keep(Slice());
}

Status ResolveFolders(int mode) {
  AreaMark mark;
  Status status;
  if (mode & kFoldersAtStart) {
    if (GetEnvironment(kEnvDefaultFolder).empty()) {
      status = SetEnvironment(kEnvDefaultFolder, Folder(kFolderRunPath));
    }
    if (status.ok() && GetEnvironment(kEnvHelpFolder).empty()) {
      status = SetEnvironment(kEnvHelpFolder, Folder(kFolderHelp));
    }
  }
  if (status.ok() && (mode & kFoldersReselect)) {
    Slice folder = Option(kOptDPath);
    if (folder.empty()) folder = ResolveRelative(kApplicationsFolder, CurrentFolderPath());
    status = SetEnvironment(kEnvDefaultFolder, folder);
    // Folder 5 must follow the new default folder, not the old help folder.
    if (status.ok()) status = SetEnvironment(kEnvHelpFolder, Slice());
    if (status.ok()) status = SetEnvironment(kEnvHelpFolder, Folder(kFolderHelp));
  }
  if (status.ok() && (mode & kFoldersMakeBackup)) {
    Slice backup = Folder(kFolderBackup);
    if (platform::MakeFolders(backup.view()) != 0) {
      status = SetDetail(Status::kDiskWriteError, backup);
    }
  }
  return mark.Release(status);
}

Slice ExpandNames(Slice text) {
  if (!text.ok()) return text;
  std::string current = text.str(), next;
  // Values may name further values; a value naming itself must not loop.
  for (int round = 0; round < 16 && ExpandOnce(current, &next); ++round) {
    if (next.size() > kMaxTextLength) break;
    current.swap(next);
  }
  return Push(current);
}

Slice FillCodeMask(Slice mask) {
  if (!mask.ok()) return mask;
  Slice code = ApplicationCode();
  std::string out;
  size_t k = 0;
  for (char c : mask.view()) {
    if (c == '\\') {
      out += k < code.size() ? code.data()[k] : ' ';
      ++k;
    } else {
      out += c;
    }
  }
  return Push(out);
}

}  // namespace tessaly
