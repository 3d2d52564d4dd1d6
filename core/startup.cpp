#include "core/startup.h"

#include <string>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/hooks.h"
#include "core/memory_blocks.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/runtime_arrays.h"
#include "core/startup_internal.h"
#include "core/startup_services.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"

namespace tessaly {
namespace {

ScreenSize g_screen;
std::string g_version = "0";

Status CallApplication(const StartupParameters& p, int phase) {
  if (p.callback == nullptr) return Status::kOk;
  return p.callback(static_cast<int32_t>(p.flags) * 16 + phase);
}

// Step 11 for start-up, and the main menu run: what a user must see.
Status Shown(Status status) {
  if (status.failed()) (void)ShowError(status);
  return status;
}

Slice FirstDefaultFolder() { return Trim(Item(GetEnvironment(kEnvDefaultFolder), ',', 1)); }

Status LoadDictionaryFromFolders(Slice code) {
  AreaMark mark;
  return mark.Release(
      service::LoadDictionary(code, FirstDefaultFolder(), GetEnvironment(kEnvDefaultFolder)));
}

// Step 6.
Status LoadApplicationDictionary(uint8_t flags) {
  ClearDetail();
  ForceLastError(0, 0);
  AreaMark mark;
  std::string code = ApplicationCode().str();
  Status status;
  if (code.size() < 2) {
    status = SetDetail(Status::kLoadStrError, GetEnvironment(kEnvApplicationName));
  } else {
    status = LoadDictionaryFromFolders(Slice::Of(code));
    if (!status.ok()) {
      // The program's folder holds no application: reselect it (DPATH, or
      // ..\APPS beside the current folder) and try once more.
      Status folders = ResolveFolders(kFoldersReselect);
      if (!folders.ok()) return mark.Release(folders);
      ClearDetail();
      ForceLastError(0, 0);
      status = LoadDictionaryFromFolders(Slice::Of(code));
    }
  }
  if ((flags & kStartDictionaryOptional) &&
      (status == Status::kLoadStrError || status == Status::kFileNotFound)) {
    ClearDetail();
    status = Status::kOk;
  }
  if (status.ok()) status = service::DefineFileVariables();
  return mark.Release(status);
}

bool HasExtension(Slice name) {
  uint16_t dot = FindLast(name, ".", FindKind::kChar);
  if (dot == kNotFound) return false;
  uint16_t sep = FindLast(name, "\\/", FindKind::kAnyOf);
  return sep == kNotFound || dot > sep;
}

Status ReleaseCore() {
  Status status = service::CloseDataFiles();
  if (status.failed()) (void)ShowError(status);
  service::ReleaseVariables();
  rtarray::FreeAll();
  int leaks = BlocksInUse();
  if (leaks > 0) {
    AreaMark mark;
    Slice detail = Concat({Message(3), ": ", FormatMessage(kMessageLimit, "%d", leaks), " blocks"});
    Status leak = SetDetail(Status::kMemoryLeaks, detail);
    (void)ShowError(leak);
    if (status.ok()) status = leak;
  }
  return status;
}

}  // namespace

// ---- Screen size and version ------------------------------------------------------

void SetDefaultScreenSize() { g_screen = ScreenSize(); }
const ScreenSize& DefaultScreenSize() { return g_screen; }

void SetProgramVersion(const char* version) { g_version = version != nullptr ? version : "0"; }
const char* ProgramVersion() { return g_version.c_str(); }

// ---- Step 3 ---------------------------------------------------------------------------

Status StoreLocaleTexts() {
  AreaMark mark;
  const Slice nul("\0", 1);
  Slice text = Concat({Message(19), nul, Message(117), nul, " "});
  return mark.Release(SetEnvironment(kEnvLocale, text));
}

Status InitialiseEnvironment(Slice command_line) {
  strtab::ClearAll();
  rtarray::FreeAll();
  ResetLanguage();
  ClearDetail();
  ForceLastError(0, 0);
  service::CreateVariables();
  SetWord(kDevWid, static_cast<uint16_t>(g_screen.columns));
  SetWord(kDevHig, static_cast<uint16_t>(g_screen.lines));
  if (HookFn hook = InstalledStartupServices().screen_field_hook) {
    (void)RegisterHook(kHookScreenField, hook);
  }
  Status status = StoreLocaleTexts();
  if (!status.ok()) return status;
  if (!command_line.ok() || command_line.size() > kCommandLineLimit) {
    return SetDetail(Status::kBadCommandLine, "the command line is longer than 8191 characters");
  }
  AreaMark mark;
  Slice normal = NormaliseCommandLine(command_line);
  if (!normal.ok()) return mark.Release(SetDetail(Status::kBadCommandLine, "command line"));
  return mark.Release(SetEnvironment(kEnvCommandLine, normal));
}

// ---- Steps 2-11 ------------------------------------------------------------------------

Status Start(const StartupParameters& p) {
  AreaMark mark;
  Status status = InitialiseEnvironment(Slice::Of(p.command_line));
  if (!status.ok()) return mark.Release(Shown(status));

  status = CallApplication(p, kPhaseInitialise);
  if (!status.ok()) return mark.Release(Shown(status));
  if (LanguageCode().empty()) {
    status = SetEnvironment(kEnvLanguage, Item(Slice(kLanguageCodes), ',', 2));
    if (!status.ok()) return mark.Release(Shown(status));
  }

  SetWord(kTrace, static_cast<uint16_t>(OptionNumber(kOptTrace)) | 1);
  std::string name = Option(kOptApName).str();
  if (name.empty()) name = p.application_id;
  if (!name.empty()) {
    std::string second = ApplicationSecondItem().str();
    if (!second.empty()) name += ":" + second;
    status = SetEnvironment(kEnvApplicationName, Slice::Of(name));
  }
  if (status.ok() && !p.title.empty()) status = SetEnvironment(kEnvDescription, Slice::Of(p.title));
  if (status.ok()) status = ResolveFolders(kFoldersAtStart);
  if (!status.ok()) return mark.Release(Shown(status));

  if ((p.flags & kStartLoadDictionary) ||
      ((p.flags & kStartDictionaryIfOther) &&
       Slice::Of(p.application_id) != GetEnvironment(kEnvApplicationName))) {
    status = LoadApplicationDictionary(p.flags);
  }
  // The language and the folders are settled now: the locale texts follow
  // the language file, when one was found.
  if (status.ok() || status == Status::kLoadStrError) {
    Status locale = StoreLocaleTexts();
    if (!locale.ok()) status = locale;
  }

  if (status.ok()) status = LoadWindowFont();

  Status trace = TraceDiagnostics();
  if (!trace.ok() && (status.ok() || status == Status::kLoadStrError)) status = trace;

  if (status.ok() || status == Status::kLoadStrError) status = CallApplication(p, kPhaseStart);

  if (status.ok()) {
    ClearDetail();
    ForceLastError(0, 0);
  }
  return mark.Release(Shown(status));
}

// ---- Steps 12-13 ------------------------------------------------------------------------

Slice MainMenuFile(Slice name) {
  AreaMark mark;
  if (!name.ok() || name.empty()) name = Option(kOptApStart);
  if (name.empty()) name = FillCodeMask("\\\\MENU");
  if (!name.ok() || name.empty()) return mark.Keep(Slice());
  Slice folders = Folder(kFolderDefault);
  if (HasExtension(name)) {
    Slice found = FindFile(folders, name);
    return mark.Keep(found.empty() ? name : found);
  }
  for (const char* extension : {".PMT", ".PPN"}) {
    Slice found = FindFile(folders, Concat(name, extension));
    if (!found.empty()) return mark.Keep(found);
  }
  return mark.Keep(Slice());
}

bool IsBatchRun() { return !Option(kOptRun).empty(); }

Status MainMenuRun(Slice menu_file) {
  AreaMark mark;
  // A copy: the requests may change the environment table while they run.
  std::string run_request = Option(kOptRun).str();
  Slice run = Slice::Of(run_request);
  if ((!menu_file.ok() || menu_file.empty()) && run.empty()) {
    return mark.Release(
        Shown(SetDetail(Status::kBadInputData, "no main menu file and no RUN option")));
  }
  // Set before the INPUT file runs: the captures it answers write their
  // results to the OUTPUT file.
  if (!Option(kOptOutput).empty()) SetWord(kOutHnd, 1);
  Status status;
  Slice input = Option(kOptInput);
  if (!input.empty()) {
    Slice path = ExpandNames(input);
    int stream = service::OpenInput(path, &status);
    if (stream >= 0) {
      SetWord(kInHnd, static_cast<uint16_t>(stream));
      for (;;) {
        AreaMark line_mark;
        Slice line = service::ReadInputLine(stream);
        if (!line.ok()) break;  // the end of the file
        if (Trim(line).empty()) continue;
        status = RunProcess(line);
        if (!status.ok()) break;
      }
      service::CloseInput(stream);
      SetWord(kInHnd, 0);
    }
  }
  if (status.ok()) {
    if (run.empty()) {
      SetBits(kScrStat, 0x02);
      if (InstalledStartupServices().run_main_menu != nullptr && !service::DisplayAvailable()) {
        status =
            SetDetail(Status::kScreenEnviron, "main menu window: no display (DISPLAY is not set)");
      } else {
        status = service::RunMainMenu(menu_file);
      }
    } else {
      SetBits(kScrStat, 0x08);
      status = RunProcess(run);
    }
  }
  return mark.Release(Shown(status));
}

// ---- Steps 14-15 ---------------------------------------------------------------------------

Status Shutdown(const StartupParameters& p, Status run_status) {
  Status end = CallApplication(p, kPhaseEnd);
  Status release = ReleaseCore();
  Status final_status = run_status;
  if (final_status.ok()) final_status = !end.ok() ? end : release;
  return final_status;
}

int ExitCodeOf(Status final_status) {
  if (final_status.code() < 128) return 0;
  return final_status.code() > 255 ? 255 : final_status.code();
}

int RunEntryPoint(const StartupParameters& p) {
  ResizeArea(kRuntimeStringSlots);
  SetProcessDispatcher(p.dispatcher);
  SetDefaultScreenSize();
  ClearFonts();
  (void)RegisterFont(FontEntry{24, 12, 400, false, "Lucida Console"});

  if (p.command_line.size() <= kCommandLineLimit) {
    AreaMark mark;
    Slice line = NormaliseCommandLine(Slice::Of(p.command_line));
    if (AsksForUsage(line)) {
      startup_internal::WriteStandard(1, UsageText());
      return 0;
    }
    if (AsksForVersion(line)) {
      startup_internal::WriteStandard(1, std::string("tessaly ") + ProgramVersion() + "\n");
      return 0;
    }
  }

  Status started = Start(p);
  if (!started.ok()) {
    // The session status file keeps its '1': the next start offers recovery.
    (void)Shutdown(p, started);
    return started.code() > 255 ? 255 : started.code();
  }
  Status run;
  {
    AreaMark mark;
    run = MainMenuRun(MainMenuFile(Slice::Of(p.main_menu)));
  }
  Status ended = SessionStatus(kSessionEnd);
  if (ended.failed()) (void)ShowError(ended);
  if (run.ok()) run = ended;
  return ExitCodeOf(Shutdown(p, run));
}

}  // namespace tessaly
