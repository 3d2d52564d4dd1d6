#include "core/startup_services.h"

#include <memory>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "platform/env.h"
#include "platform/files.h"

namespace tessaly {
namespace {

StartupServices& Installed() {
  static StartupServices services;
  return services;
}

Status Missing(const char* what) { return SetDetail(Status::kFeatureRemoved, what); }

// The defaults of the system words, for a run without the expression layer.
struct WordDefault {
  SysWord word;
  uint16_t value;
};
constexpr WordDefault kWordDefaults[] = {
    {kDevHig, 24}, {kDevWid, 80}, {kLastKey, 4},  {kUpStat, 1},  {kLb, 128},
    {kTrace, 1},   {kPrecis, 2},  {kBYear, 2000}, {kBkYear, 80},
};
static_assert(sizeof kWordDefaults / sizeof kWordDefaults[0] == 9);

void DefaultCreateVariables() {
  for (int i = 0; i < kSysWordCount; ++i) SetWord(i, 0);
  for (const WordDefault& d : kWordDefaults) SetWord(d.word, d.value);
}

// The INPUT file read by the core itself: the whole file, handed out line by
// line.
struct InputReader {
  std::string text;
  size_t position = 0;
  bool open = false;
};
constexpr int kInputReaders = 4;
constexpr int kFirstInputNumber = 100;
InputReader g_readers[kInputReaders];

int DefaultOpenInput(Slice path, Status* status) {
  auto fail = [&](Status s) {
    if (status != nullptr) *status = SetDetail(s, path);
    return -1;
  };
  if (!path.ok() || path.empty()) return fail(Status::kBadInputData);
  int slot = 0;
  while (slot < kInputReaders && g_readers[slot].open) ++slot;
  if (slot == kInputReaders) return fail(Status::kDataOutBound);
  std::unique_ptr<platform::File> file;
  if (platform::OpenFile(path.view(), platform::kOpenRead, &file) != 0) {
    return fail(Status::kFileNotFound);
  }
  InputReader& r = g_readers[slot];
  r.text.clear();
  r.position = 0;
  char buffer[4096];
  for (int64_t at = 0;;) {
    int64_t n = file->ReadAt(at, buffer, sizeof buffer);
    if (n < 0) return fail(Status::kDiskReadError);
    if (n == 0) break;
    r.text.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  r.open = true;
  if (status != nullptr) *status = Status::kOk;
  return kFirstInputNumber + slot;
}

InputReader* ReaderOf(int stream) {
  int slot = stream - kFirstInputNumber;
  if (slot < 0 || slot >= kInputReaders || !g_readers[slot].open) return nullptr;
  return &g_readers[slot];
}

Slice DefaultReadInputLine(int stream) {
  InputReader* r = ReaderOf(stream);
  if (r == nullptr || r->position >= r->text.size()) return Slice::Error(Status::kDiskIo);
  // A Ctrl-Z that ends the file is not data.
  if (r->position + 1 == r->text.size() && r->text[r->position] == 26) {
    r->position = r->text.size();
    return Slice::Error(Status::kDiskIo);
  }
  size_t end = r->text.find_first_of("\r\n", r->position);
  size_t next;
  if (end == std::string::npos) {
    end = next = r->text.size();
  } else {
    next = end + 1;
    if (r->text[end] == '\r' && next < r->text.size() && r->text[next] == '\n') ++next;
  }
  size_t length = end - r->position;
  size_t start = r->position;
  r->position = next;
  if (length > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
  return Area().Push(Slice(r->text.data() + start, static_cast<uint16_t>(length)));
}

void DefaultCloseInput(int stream) {
  if (InputReader* r = ReaderOf(stream)) {
    r->open = false;
    r->text.clear();
  }
}

void DefaultLogLine(Slice text, int level) {
  if ((level & Word(kTrace)) == 0) return;
  AreaMark mark;
  Slice name = strtab::Get(strtab::kLanguage, 10);
  if (!name.ok() || name.empty()) name = Concat(ApplicationCode(), "log.txt");
  if (!name.ok()) return;
  std::string line = text.ok() ? text.str() : "Error #" + std::to_string(text.status().code());
  line += "\r\n";
  std::unique_ptr<platform::File> file;
  int flags = platform::kOpenWrite | platform::kOpenCreate | platform::kOpenAppend;
  if (platform::OpenFile(name.view(), flags, &file) != 0) return;
  (void)file->WriteAt(0, line.data(), line.size());
}

bool DefaultDisplayAvailable() {
  platform::Env& env = platform::CurrentEnv();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    std::optional<std::string> v = env.GetVariable(name);
    if (v && !v->empty()) return true;
  }
  return false;
}

}  // namespace

void InstallStartupServices(const StartupServices& services) { Installed() = services; }
const StartupServices& InstalledStartupServices() { return Installed(); }
void ResetStartupServices() { Installed() = StartupServices(); }

namespace service {

void CreateVariables() {
  if (Installed().create_variables) return Installed().create_variables();
  DefaultCreateVariables();
}

void ReleaseVariables() {
  if (Installed().release_variables) Installed().release_variables();
}

Status EvaluateForErrors(Slice text) {
  if (Installed().evaluate_for_errors) return Installed().evaluate_for_errors(text);
  return Missing("expression evaluator");
}

Slice EvaluateToText(Slice text) {
  if (Installed().evaluate_to_text) return Installed().evaluate_to_text(text);
  return Slice::Error(Missing("expression evaluator"));
}

Status AssignText(Slice name, Slice value) {
  if (Installed().assign_text) return Installed().assign_text(name, value);
  return Missing("variables");
}

Status LoadDictionary(Slice code, Slice default_folder, Slice folder_list) {
  if (Installed().load_dictionary) {
    return Installed().load_dictionary(code, default_folder, folder_list);
  }
  return Missing("application dictionary");
}

Status DefineFileVariables() {
  if (Installed().define_file_variables) return Installed().define_file_variables();
  return Status::kOk;
}

Status ReindexFiles() {
  if (Installed().reindex_files) return Installed().reindex_files();
  return Missing("data file reorganisation");
}

Status CloseDataFiles() {
  if (Installed().close_data_files) return Installed().close_data_files();
  return Status::kOk;
}

int OpenInput(Slice path, Status* status) {
  if (Installed().open_input) return Installed().open_input(path, status);
  return DefaultOpenInput(path, status);
}

Slice ReadInputLine(int stream) {
  if (Installed().read_input_line) return Installed().read_input_line(stream);
  return DefaultReadInputLine(stream);
}

void CloseInput(int stream) {
  if (Installed().close_input) return Installed().close_input(stream);
  DefaultCloseInput(stream);
}

void LogLine(Slice text, int level) {
  if (Installed().log_line) return Installed().log_line(text, level);
  DefaultLogLine(text, level);
}

Status RunMainMenu(Slice menu_file) {
  if (Installed().run_main_menu) return Installed().run_main_menu(menu_file);
  return Missing("main menu window");
}

int ChooseItem(Slice title, Slice items) {
  if (Installed().choose_item) return Installed().choose_item(title, items);
  return -1;
}

Slice ChooseItems(Slice title, Slice items) {
  if (Installed().choose_items) return Installed().choose_items(title, items);
  return Slice::Error(Missing("selection window"));
}

bool DisplayAvailable() {
  if (Installed().display_available) return Installed().display_available();
  return DefaultDisplayAvailable();
}

}  // namespace service
}  // namespace tessaly
