#include "core/process.h"

#include <optional>
#include <string>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/runtime_arrays.h"
#include "core/startup.h"
#include "core/startup_services.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "platform/env.h"
#include "platform/files.h"

namespace tessaly {
namespace {

ProcessDispatcher g_dispatcher = nullptr;

struct HandlerEntry {
  ProcessHandler handler = nullptr;
  bool needs_window = false;
};
HandlerEntry g_handlers[kProcessCount + 1];

// What each process owned by a higher layer needs, for the detail of a run
// in which that layer is missing.
struct ProcessNeed {
  int number;
  const char* needs;
};
constexpr ProcessNeed kProcessNeeds[] = {
    {kProcAcceptRun, "data capture window"},    {kProcMantAux, "file maintenance window"},
    {kProcMantMain, "file maintenance window"}, {kProcLnManMain, "document window"},
    {kProcPrcExec, "procedure runner"},         {kProcReport, "report engine"},
    {kProcReorg, "reorganisation window"},      {kProcCopy, "backup window"},
};
static_assert(sizeof kProcessNeeds / sizeof kProcessNeeds[0] == 8);

const char* NeedOf(int number) {
  for (const ProcessNeed& n : kProcessNeeds) {
    if (n.number == number) return n.needs;
  }
  return "runtime layer";
}

Status WithProcessDetail(Status code, int number, const std::string& what) {
  std::string detail = ProcessName(number).str() + " (" + what + ")";
  return SetDetail(code, Slice::Of(detail));
}

Status NotDefined(Slice name) {
  AreaMark mark;
  Slice detail = name.empty() ? Message(31) : Concat({Message(31), ": ", name});
  return mark.Release(SetDetail(Status::kBadInputData, detail));
}

// Runs the procedures of the files chosen from a selection: a PrcExec whose
// parameters hold '*'.
Status RunSelectedProcedures(Slice parameters) {
  AreaMark mark;
  Slice pattern = ExpandNames(Trim(Item(parameters, ' ', 1)));
  std::vector<std::string> names;
  std::string folder = FolderPart(pattern).str();
  if (!pattern.ok() || platform::ListFiles(pattern.view(), &names) != 0 || names.empty()) {
    return mark.Release(SetDetail(Status::kBadInputData, Message(31)));
  }
  std::string items;
  for (const std::string& n : names) items += (items.empty() ? "" : ",") + n;
  if (items.size() > kMaxTextLength)
    return mark.Release(SetDetail(Status::kStringTooLong, pattern));
  Slice chosen = service::ChooseItems(Message(88), Slice::Of(items));
  if (!chosen.ok()) return mark.Release(chosen.status());
  Status status;
  for (Slice number : Split(chosen, ',')) {
    int n = Integer(Trim(number));
    if (n < 1 || n > static_cast<int>(names.size())) continue;
    AreaMark item_mark;
    Slice path = JoinPath(Slice::Of(folder), Slice::Of(names[n - 1]));
    status = RunProcessHandler(kProcPrcExec, path);
    if (!status.ok()) break;
  }
  return mark.Release(status);
}

}  // namespace

Slice ProcessName(int n) {
  if (n < 1 || n > kProcessCount) return Slice();
  return Item(Slice(kProcessNames), ',', n);
}

Status SplitRequest(Slice request, ProcessRequest* out) {
  *out = ProcessRequest();
  if (!request.ok()) return request.status();
  Slice text = Trim(request);
  char sep = FindChar(text, ' ') != kNotFound ? ' ' : ',';
  out->name = Item(text, sep, 1);
  out->parameters = Rest(text, sep);
  out->number = ItemPosition(Slice(kProcessNames), out->name, ',');
  return out->number == 0 ? Status(Status::kBadInputData) : Status(Status::kOk);
}

void SetProcessDispatcher(ProcessDispatcher dispatcher) { g_dispatcher = dispatcher; }

ProcessDispatcher CurrentProcessDispatcher() {
  return g_dispatcher != nullptr ? g_dispatcher : &RuntimeDispatch;
}

void SetProcessHandler(int number, ProcessHandler handler, bool needs_window) {
  if (number < 1 || number > kProcessCount) return;
  g_handlers[number] = {handler, needs_window};
}

void ClearProcessHandlers() {
  for (HandlerEntry& e : g_handlers) e = HandlerEntry();
}

Status RunProcessHandler(int number, Slice parameters) {
  if (number < 1 || number > kProcessCount) return NotDefined(Slice());
  const HandlerEntry& entry = g_handlers[number];
  if (entry.handler == nullptr) {
    return WithProcessDetail(Status::kFeatureRemoved, number,
                             std::string(NeedOf(number)) + " not available in this build");
  }
  if (entry.needs_window && !service::DisplayAvailable()) {
    return WithProcessDetail(Status::kScreenEnviron, number,
                             "needs a window; no display: DISPLAY is not set");
  }
  return entry.handler(number, parameters);
}

Status RuntimeDispatch(uint32_t code, Slice parameters) {
  int number = ProcessNumberOf(code);
  switch (number) {
    case kProcAcceptRun:
    case kProcMantAux:
    case kProcReport:
    case kProcReorg:
    case kProcCopy:
      return RunProcessHandler(number, parameters);
    case kProcPrcExec:
      if (FindChar(parameters, '*', true) != kNotFound) return RunSelectedProcedures(parameters);
      return RunProcessHandler(number, parameters);
    case kProcFileTrans:
      return SetDetail(Status::kFeatureRemoved, "FileTransWizzard");
    case kProcHelp:
      return HelpProcess(parameters);
    case kProcFontSet:
      return FontSetProcess();
    case kProcExpEval: {
      Status status = service::EvaluateForErrors(parameters);
      return status.is_error() ? status : Status(Status::kOk);
    }
    default:
      return NotDefined(ProcessName(number));
  }
}

Status RunProcess(Slice request) {
  ProcessRequest r;
  if (!SplitRequest(request, &r).ok()) {
    if (!request.ok()) return request.status();
    return NotDefined(r.name);
  }
  return CurrentProcessDispatcher()(ProcessCode(r.number), r.parameters);
}

Status RunRequestList(Slice list, Slice exclusions) {
  if (!list.ok()) return list.status();
  AreaMark mark;
  Status status;
  for (Slice item : Split(list, ',')) {
    if (!status.ok()) break;
    AreaMark item_mark;
    Slice request = service::EvaluateToText(item);
    if (!request.ok()) {
      status = request.status();
      break;
    }
    ProcessRequest r;
    if (!SplitRequest(request, &r).ok()) {
      status = NotDefined(r.name);
      break;
    }
    if (exclusions.ok() && FindChar(exclusions, static_cast<char>(r.number), true) != kNotFound) {
      status = Status::kUndefWarning;
      break;
    }
    status = CurrentProcessDispatcher()(ProcessCode(r.number), r.parameters);
  }
  return mark.Release(status);
}

// ---- Main window events --------------------------------------------------------------

Status MainWindowEvent(int event, bool* close) {
  if (close != nullptr) *close = false;
  Status status;
  switch (event & 0xFF) {
    case kEventMenuAction: {
      // Copied: the request may change the menu actions while it runs.
      std::string request = strtab::Get(strtab::kMenuActions, (event >> 8) & 0xFF).str();
      status = RunProcess(Slice::Of(request));
      break;
    }
    case kEventClose:
      if (CloseRequest() && close != nullptr) *close = true;
      break;
    case kEventHelp:
      status = HelpProcess(Slice());
      break;
    default:
      break;
  }
  if (status.failed()) (void)ShowError(status);
  return status;
}

bool CloseRequest() {
  int screens = rtarray::Count(rtarray::kScreens);
  int windows = rtarray::Count(rtarray::kWindows);
  AreaMark mark;
  if (screens > 1 || windows > 1) {
    (void)ShowMessageBox(FormatMessage(kMessageLimit, Message(32), screens, windows),
                         BoxKind::kWarning);
    return false;
  }
  if (TestBits(kAuxStat, 0x20)) return true;
  return AskYesNo(FormatMessage(kMessageLimit, Message(33), screens, windows));
}

// ---- Help and About ------------------------------------------------------------------

Status ShowAboutBox() {
  AreaMark mark;
  Slice text =
      FormatMessage(kAboutBoxLimit, Message(76), "2017", GetEnvironment(kEnvDescription), "2.20",
                    "0", LanguageCode(), static_cast<int>(SignedWord(kPrecis)), "1700",
                    Folder(kFolderRunPath), Folder(kFolderDefault), Folder(kFolderData));
  if (!text.ok()) return mark.Release(text.status());
  (void)ShowMessageBox(text, Message(75), BoxKind::kInformation);
  return mark.Release(Status::kOk);
}

Slice HelpFileName(Slice name) {
  if (name.ok() && !name.empty()) return Area().Push(name);
  return Concat(ApplicationCode(), "HELP.HLP");
}

Slice FindHelpFile(Slice name) {
  AreaMark mark;
  if (!name.ok() || name.empty()) return mark.Keep(Slice());
  Slice folders = Join(GetEnvironment(kEnvDefaultFolder), ",", GetEnvironment(kEnvHelpFolder));
  for (Slice candidate : {name, LanguageVariant(name)}) {
    Slice found = FindFile(folders, candidate);
    if (found.empty()) continue;
    if (FolderPart(found).empty()) found = JoinPath(CurrentFolderPath(), found);
    return mark.Keep(found);
  }
  return mark.Keep(Slice());
}

Slice FindHelpPage() {
  AreaMark mark;
  for (Slice name : {Concat(ApplicationCode(), "index.html"), Slice("index.html")}) {
    Slice found = FindHelpFile(name);
    if (!found.empty()) return mark.Keep(found);
  }
  return mark.Keep(Slice());
}

Status OpenWithViewer(Slice path) {
  if (!path.ok() || path.empty()) return Status::kBadInputData;
  std::string target = path.str();
  // A page on disk is handed over by its Linux path; a location as it is.
  if (target.find("://") == std::string::npos) target = platform::NativePath(target);
  int error = platform::CurrentEnv().Spawn({"xdg-open", target}, /*wait=*/false, nullptr);
  if (error != 0) return SetDetail(Status::kChildExecError, "xdg-open");
  return Status::kOk;
}

Status HelpProcess(Slice parameters) {
  AreaMark mark;
  if (!Trim(parameters).empty()) return mark.Release(ShowAboutBox());
  Slice second = ApplicationSecondItem();
  std::optional<std::string> location = platform::CurrentEnv().GetVariable("TESSALY_HELP_URL");
  if (!second.empty() && location && !location->empty()) {
    std::string url = *location + "/" + second.str();
    return mark.Release(OpenWithViewer(Slice::Of(url)));
  }
  Slice page = FindHelpPage();
  if (!page.empty()) return mark.Release(OpenWithViewer(page));
  Slice text = Concat({Message(72), "\r\n", Concat(ApplicationCode(), "index.html")});
  (void)ShowMessageBox(text, Message(71), BoxKind::kInformation);
  return mark.Release(Status::kOk);
}

// ---- FontSet ---------------------------------------------------------------------------

Status FontSetProcess() {
  std::vector<std::string> items;
  std::string path;
  Status status = ReadFontItems(&items, &path);
  if (!status.ok()) return status;
  std::string offered;
  for (const std::string& item : items) offered += (offered.empty() ? "" : ",") + item;
  if (offered.size() > kMaxTextLength) return SetDetail(Status::kStringTooLong, Slice::Of(path));
  int chosen = service::ChooseItem("Font", Slice::Of(offered));
  if (chosen < 0) {
    return SetDetail(Status::kFeatureRemoved,
                     "FontSet (selection window not available in this build)");
  }
  if (chosen == 0 || chosen > static_cast<int>(items.size())) return Status::kUserCanceled;
  std::string first = items[chosen - 1];
  items.erase(items.begin() + (chosen - 1));
  items.insert(items.begin(), first);
  std::string contents;
  for (const std::string& item : items) contents += (contents.empty() ? "" : "\r\n") + item;
  int64_t written = 0;
  if (platform::ReplaceFile(path, contents, 512, &written) != 0) {
    return SetDetail(Status::kDiskWriteError, Slice::Of(path));
  }
  SetWindowFont(Slice::Of(first));
  return Status::kOk;
}

}  // namespace tessaly
