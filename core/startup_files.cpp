// The files start-up reads and writes: parameter files, the language
// variables, the window font, the session status file, the log line of the
// TRACE diagnostics and the OUTPUT file.

#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/process.h"
#include "core/startup.h"
#include "core/startup_internal.h"
#include "core/startup_services.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/process.h"

namespace tessaly {

namespace startup_internal {

Status ReadTextFile(Slice path, std::string* text) {
  text->clear();
  std::unique_ptr<platform::File> file;
  if (!path.ok() || path.empty() ||
      platform::OpenFile(path.view(), platform::kOpenRead, &file) != 0) {
    return SetDetail(Status::kFileNotFound, path.ok() ? path : Slice());
  }
  char buffer[4096];
  for (int64_t at = 0;;) {
    int64_t n = file->ReadAt(at, buffer, sizeof buffer);
    if (n < 0) return SetDetail(Status::kDiskReadError, path);
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
    at += n;
  }
  return Status::kOk;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t end_of_data = text.size();
  if (end_of_data > 0 && text[end_of_data - 1] == 26) --end_of_data;
  size_t p = 0;
  while (p < end_of_data) {
    size_t e = text.find_first_of("\r\n", p);
    if (e == std::string::npos || e > end_of_data) e = end_of_data;
    lines.push_back(text.substr(p, e - p));
    if (e >= end_of_data) break;
    p = (text[e] == '\r' && e + 1 < end_of_data && text[e + 1] == '\n') ? e + 2 : e + 1;
  }
  return lines;
}

void WriteStandard(int which, const std::string& bytes) {
  platform::File* stream = platform::CurrentEnv().StandardStream(which);
  if (stream != nullptr && !bytes.empty()) (void)stream->WriteAt(0, bytes.data(), bytes.size());
}

}  // namespace startup_internal

using startup_internal::ReadTextFile;
using startup_internal::SplitLines;

namespace {

Slice DefaultFolders() { return GetEnvironment(kEnvDefaultFolder); }

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// ---- Fonts ------------------------------------------------------------------

struct FontTable {
  std::vector<FontEntry> entries;
  int window_font = 0;
};

FontTable& Fonts() {
  static FontTable table;
  return table;
}

bool ParseFontItem(Slice item, FontEntry* font) {
  AreaMark mark;
  font->height = Integer(Trim(Item(item, ';', 1)));
  font->width = Integer(Trim(Item(item, ';', 2)));
  font->bold = FindText(Upper(Item(item, ';', 3)), "BOLD", true) != kNotFound;
  font->weight = 0;
  font->face = Trim(Item(item, ';', 4)).str();
  return font->height > 0 && font->width >= 0 && !font->face.empty();
}

// ---- Session status file ------------------------------------------------------

struct SessionStamp {
  bool started = false;
  std::string path;
  int64_t written = 0;
  int64_t size = 0;
  std::string contents;
};

SessionStamp& Session() {
  static SessionStamp stamp;
  return stamp;
}

// The first character of the file read as a number (a yes-word or digits);
// 0 for a missing or empty file.
int SessionMark(const std::string& contents) {
  if (contents.empty()) return 0;
  return Integer(Slice(contents.data(), 1));
}

Status WriteSession(Slice path_slice, char mark) {
  // The path may be the remembered one, which this function replaces.
  const std::string path = path_slice.str();
  platform::LocalTime now = platform::LocalNow();
  std::string contents(1, mark);
  contents += "\r\nsession " + std::to_string(platform::ProcessId()) + " " +
              std::to_string(platform::DateNumber(now)) + " " + std::to_string(now.ms_of_day) +
              "\r\n";
  int64_t written = 0;
  if (platform::ReplaceFile(path, contents, 512, &written) != 0) {
    return SetDetail(Status::kDiskWriteError, Slice::Of(path));
  }
  platform::FileInfo info;
  SessionStamp& s = Session();
  s.started = mark == '1';
  s.path = path;
  s.contents = contents;
  s.written = platform::StatFile(path, &info) == 0 ? info.written : 0;
  s.size = static_cast<int64_t>(contents.size());
  return Status::kOk;
}

// Whether the file is still the one this process wrote last.
bool SessionUnchanged() {
  const SessionStamp& s = Session();
  platform::FileInfo info;
  if (platform::StatFile(s.path, &info) != 0) return false;
  if (info.written != s.written || info.size != s.size) return false;
  std::string contents;
  if (!ReadTextFile(Slice::Of(s.path), &contents).ok()) {
    ClearDetail();
    return false;
  }
  return contents == s.contents;
}

}  // namespace

// ---- Font table ------------------------------------------------------------------

int RegisterFont(const FontEntry& font) {
  FontTable& t = Fonts();
  if (static_cast<int>(t.entries.size()) >= kFontLimit) return 0;
  t.entries.push_back(font);
  return static_cast<int>(t.entries.size());
}

const FontEntry* GetFont(int n) {
  FontTable& t = Fonts();
  if (n < 1 || n > static_cast<int>(t.entries.size())) return nullptr;
  return &t.entries[n - 1];
}

int FontCount() { return static_cast<int>(Fonts().entries.size()); }

void ClearFonts() { Fonts() = FontTable(); }

int WindowFontEntry() { return Fonts().window_font; }

void SetWindowFont(Slice item) {
  FontEntry font;
  if (!ParseFontItem(item, &font)) return;
  FontTable& t = Fonts();
  if (t.window_font != 0) {
    t.entries[t.window_font - 1] = font;
  } else {
    t.window_font = RegisterFont(font);
  }
}

Status ReadFontItems(std::vector<std::string>* items, std::string* path) {
  items->clear();
  AreaMark mark;
  Slice found = FindFile(DefaultFolders(), kFontFileName);
  if (found.empty()) return mark.Release(SetDetail(Status::kFileNotFound, kFontFileName));
  if (path != nullptr) *path = found.str();
  std::string text;
  Status status = ReadTextFile(found, &text);
  if (!status.ok()) return mark.Release(status);
  for (std::string& line : SplitLines(text)) {
    if (!IsBlank(line)) items->push_back(std::move(line));
  }
  return mark.Release(Status::kOk);
}

Status LoadWindowFont() {
  std::vector<std::string> items;
  if (!ReadFontItems(&items, nullptr).ok()) {
    // A missing or unreadable font file leaves the fonts as they are.
    ClearDetail();
    return Status::kOk;
  }
  if (items.empty()) return Status::kOk;
  AreaMark mark;
  // The file's items joined by ':' make its parameter set, kept on table 31
  // while it is read, as every definition file read for settings is.
  std::string set;
  for (const std::string& item : items) set += (set.empty() ? "" : ":") + item;
  if (set.size() > kMaxTextLength || !strtab::Push(strtab::kSettingsFiles, Slice::Of(set)).ok()) {
    SetWindowFont(Slice::Of(items.front()));
    return mark.Release(Status::kOk);
  }
  SetWindowFont(Item(strtab::Top(strtab::kSettingsFiles), ':', 1));
  (void)strtab::Pop(strtab::kSettingsFiles);
  return mark.Release(Status::kOk);
}

// ---- Parameter files ------------------------------------------------------------------

Status LoadParameterFiles(Slice list) {
  if (!list.ok()) return list.status();
  AreaMark mark;
  Status status;
  for (Slice item : Split(list, ',')) {
    if (!status.ok()) break;
    item = Trim(item);
    if (item.empty()) continue;
    Slice name = Trim(Item(item, ';', 1));
    bool required = Trim(Item(item, ';', 2)) == Slice("1");
    Slice expanded = ExpandNames(name);
    if (!expanded.ok()) return mark.Release(SetDetail(expanded.status(), name));
    Slice path = FindFile(DefaultFolders(), expanded);
    if (path.empty()) {
      if (required) status = SetDetail(Status::kFileNotFound, expanded);
      continue;
    }
    std::string text;
    status = ReadTextFile(path, &text);
    if (!status.ok()) break;
    // The lines joined by ';' make one list of assignments.
    std::string joined;
    for (const std::string& line : SplitLines(text)) {
      if (!joined.empty()) joined += ';';
      joined += line;
    }
    if (joined.size() > kMaxTextLength) {
      status = SetDetail(Status::kStringTooLong, path);
      break;
    }
    Status evaluated = service::EvaluateForErrors(Slice::Of(joined));
    if (evaluated.is_error()) status = SetDetail(evaluated, path, /*append=*/true);
  }
  if (status.ok()) status = LoadLanguageVariables();
  return mark.Release(status);
}

Status LoadLanguageVariables() {
  AreaMark mark;
  Slice name = FillCodeMask(kLanguageVariablesMask);
  Slice path = FindFile(DefaultFolders(), name);
  if (path.empty()) return mark.Release(Status::kOk);
  std::string text;
  Status status = ReadTextFile(path, &text);
  if (!status.ok()) return mark.Release(status);
  int number = 0;
  for (const std::string& line : SplitLines(text)) {
    ++number;
    if (IsBlank(line) || line.size() > kMaxTextLength) continue;
    AreaMark line_mark;
    Slice l = Slice::Of(line);
    uint16_t eq = FindChar(l, '=', true);
    if (eq == kNotFound) continue;
    Slice variable = Trim(Substring(l, 0, eq));
    Slice message_number = Trim(Substring(l, eq + 1));
    if (variable.empty() || message_number.empty()) continue;
    Slice text_of = Copy(Message(Integer(message_number)));
    status = service::AssignText(variable, text_of);
    if (status.is_error()) {
      std::string where = path.str() + " line " + std::to_string(number);
      return mark.Release(SetDetail(status, Slice::Of(where), /*append=*/true));
    }
    status = Status::kOk;
  }
  return mark.Release(Status::kOk);
}

// ---- TRACE diagnostics ----------------------------------------------------------------

Status TraceDiagnostics() {
  uint16_t trace = Word(kTrace);
  if ((trace & 0x100) == 0) return Status::kOk;
  if ((trace & 0x10) == 0) return ShowAboutBox();
  if ((trace & 0x01) == 0) return Status::kOk;
  AreaMark mark;
  service::LogLine(FormatMessage(kMessageLimit, "%s,%s", 0, LanguageCode()), trace);
  return mark.Release(Status::kSilent);
}

// ---- Session status file ----------------------------------------------------------------

Slice SessionStatusFile() {
  AreaMark mark;
  Slice name = ExpandNames(kSessionStatusName);
  if (!name.ok() || name.empty()) return mark.Keep(name);
  if (!FolderPart(name).empty()) return mark.Keep(name);
  // Only the application's folders: a file of that name in the current
  // folder belongs to no session of this application.
  for (Slice folder : Split(DefaultFolders(), ',')) {
    folder = Trim(folder);
    if (folder.empty()) continue;
    Slice path = JoinPath(folder, name);
    if (PathExists(path)) return mark.Keep(path);
  }
  return mark.Keep(JoinPath(Trim(Item(DefaultFolders(), ',', 1)), name));
}

Status SessionStatus(int phase) {
  AreaMark mark;
  SessionStamp& session = Session();
  switch (phase) {
    case kSessionStart: {
      Slice path = SessionStatusFile();
      if (!path.ok()) return mark.Release(path.status());
      std::string contents;
      if (!ReadTextFile(path, &contents).ok()) {
        ClearDetail();  // a missing file: no session ran here yet
        contents.clear();
      }
      if (SessionMark(contents) == 1) {
        if (!AskYesNo(Message(115))) return mark.Release(Status::kUserCanceled);
        Status rebuilt = service::ReindexFiles();
        if (!rebuilt.ok()) return mark.Release(rebuilt);
      }
      return mark.Release(WriteSession(path, '1'));
    }
    case kSessionCheck:
      if (!session.started || SessionUnchanged()) return Status::kOk;
      return SetDetail(Status::kNetAccessError, Slice::Of(session.path));
    case kSessionEnd: {
      if (session.started && !SessionUnchanged()) {
        // Another process has taken the session over: its mark stays.
        session.started = false;
        return Status::kOk;
      }
      Slice path = session.started ? Slice::Of(session.path) : SessionStatusFile();
      if (!path.ok() || path.empty()) return mark.Release(Status::kOk);
      std::string contents;
      if (!ReadTextFile(path, &contents).ok()) {
        ClearDetail();
        if (!session.started) return mark.Release(Status::kOk);  // nothing to end
      }
      Status status;
      if (contents.empty() || contents[0] != '0') status = WriteSession(path, '0');
      session.started = false;
      return mark.Release(status);
    }
    default:
      return Status::kBadInputData;
  }
}

void ForgetSession() { Session() = SessionStamp(); }

Status StandardStartPhase(Slice parameter_files) {
  AreaMark mark;
  // "Help" under the application's own folder, the first of folder 2.
  Status status =
      SetEnvironment(kEnvHelpFolder, JoinPath(Trim(Item(DefaultFolders(), ',', 1)), "Help"));
  if (status.ok()) status = LoadParameterFiles(parameter_files);
  if (status.ok()) status = SessionStatus(kSessionStart);
  return mark.Release(status);
}

// ---- OUTPUT file ----------------------------------------------------------------

Status AppendOutputLine(Slice line) {
  if (!line.ok()) return line.status();
  AreaMark mark;
  Slice name = ExpandNames(Option(kOptOutput));
  if (!name.ok() || name.empty()) return mark.Release(Status::kOk);
  std::unique_ptr<platform::File> file;
  int flags = platform::kOpenWrite | platform::kOpenCreate | platform::kOpenAppend;
  if (platform::OpenFile(name.view(), flags, &file) != 0) {
    return mark.Release(SetDetail(Status::kFileIo, name));
  }
  std::string bytes = line.str() + "\r\n";
  if (file->WriteAt(0, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) {
    return mark.Release(SetDetail(Status::kFileIo, name));
  }
  return mark.Release(Status::kOk);
}

}  // namespace tessaly
