// Command dispatch: the 16 dispatcher slots, the arguments of a command
// line, the standard dispatcher with its handler per command, and the
// progress state of STATSTEPS.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "proc/commands.h"
#include "proc/commands_internal.h"
#include "proc/procedures.h"
#include "proc/procedures_internal.h"

namespace tessaly {
namespace {

CommandDispatcher g_slots[kCommandSlots] = {};
CommandHandler g_handlers[kCommandCount] = {};

struct HandlerEntry {
  int command;
  CommandHandler handler;
};
// The commands this layer carries out; the others wait for the layers of
// devices, reports and windows.
constexpr HandlerEntry kStandardHandlers[] = {
    {kCmdConnect, &proc::ConnectCommand},   {kCmdDLocate, &proc::DLocateCommand},
    {kCmdExport, &proc::ExportCommand},     {kCmdImport, &proc::ImportCommand},
    {kCmdKill, &proc::KillCommand},         {kCmdLoadStruct, &proc::LoadStructCommand},
    {kCmdLocate, &proc::LocateCommand},     {kCmdMessage, &proc::MessageCommand},
    {kCmdShell, &proc::SystemCommand},      {kCmdRead, &proc::ReadCommand},
    {kCmdWait, &proc::WaitCommand},         {kCmdRcDelete, &proc::RecordCommand},
    {kCmdRcInsert, &proc::RecordCommand},   {kCmdRcUpdate, &proc::RecordCommand},
    {kCmdRcWrite, &proc::RecordCommand},    {kCmdFileStruct, &proc::FileStructCommand},
    {kCmdFileScan, &proc::FileScanCommand}, {kCmdStatSteps, &proc::StatStepsCommand},
    {kCmdSystem, &proc::SystemCommand},
};
static_assert(std::size(kStandardHandlers) == 19);

bool IsCommand(int command) { return command >= kFirstCommand && command <= kLastCommand; }

class HeadlessProgress : public ProgressDisplay {
 public:
  void Start(Slice, int64_t) override {}
  void Step(int64_t, int64_t) override {}
  void End() override {}
};
HeadlessProgress g_headless_progress;
ProgressDisplay* g_progress_display = &g_headless_progress;
ProgressState g_progress;

int16_t Clamp16(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace

Slice CommandName(int command) {
  return IsCommand(command) ? ProcedureKeywordName(command) : Slice();
}

Status CommandRegister(int slot, CommandDispatcher dispatcher) {
  if (slot < 0 || slot >= kCommandSlots) return Status::kDataOutBound;
  g_slots[slot] = dispatcher;
  return Status::kOk;
}

CommandDispatcher CurrentCommandDispatcher() {
  for (CommandDispatcher d : g_slots) {
    if (d != nullptr) return d;
  }
  return nullptr;
}

Status CommandDispatch(int command, Slice argument_text, int line) {
  if (!argument_text.ok()) return argument_text.status();
  AreaMark mark;
  Status status;
  CommandDispatcher dispatcher = CurrentCommandDispatcher();
  if (!IsCommand(command)) {
    status = SetDetail(Status::kBadInputData, Slice::Of(std::to_string(command)));
  } else if (dispatcher == nullptr) {
    status = SetDetail(Status::kFeatureRemoved, CommandName(command));
  } else {
    Slice expanded = proc::ExpandArgument(argument_text);
    std::vector<Slice> items = proc::SplitArguments(expanded, ',');
    CommandArgument args[kMaxCommandArguments];
    if (!expanded.ok()) {
      status = expanded.status();
    } else if (items.size() > static_cast<size_t>(kMaxCommandArguments)) {
      status = SetDetail(Status::kOutOfMemory, expanded);
    } else {
      for (size_t i = 0; i < items.size() && status.ok(); ++i) {
        CommandArgument& a = args[i];
        a.written = items[i];
        if (items[i].empty()) continue;  // the empty text
        Status kind = Evaluate(items[i]);
        if (kind.code() > kTextValue) {
          status = kind;
          break;
        }
        if (kind == kNumberValue) {
          a.kind = 0;
          a.number = NumberOf(Area().Top());
          a.value = Clamp16(IntegerOf(a.number));
          a.text = FormatCurrent(a.number);
        } else {
          a.text = Area().Top();
        }
        if (!a.text.ok()) status = a.text.status();
      }
      if (status.ok()) status = dispatcher(command, static_cast<int>(items.size()), args);
    }
  }
  if (!status.ok() && line > 0) {
    (void)SetDetail(status, ProcedureLineText(line, CommandName(command), argument_text), true);
    status = proc::RunFailure(status);
  }
  return mark.Release(status);
}

Status SetCommandHandler(int command, CommandHandler handler) {
  if (!IsCommand(command)) return Status::kBadInputData;
  g_handlers[command - kFirstCommand] = handler;
  return Status::kOk;
}

CommandHandler GetCommandHandler(int command) {
  return IsCommand(command) ? g_handlers[command - kFirstCommand] : nullptr;
}

Status StandardCommandDispatch(int command, int count, const CommandArgument* args) {
  CommandHandler handler = GetCommandHandler(command);
  if (handler == nullptr) return SetDetail(Status::kFeatureRemoved, CommandName(command));
  return handler(command, count, args);
}

void InstallStandardCommands() {
  for (const HandlerEntry& h : kStandardHandlers) (void)SetCommandHandler(h.command, h.handler);
  (void)CommandRegister(kStandardCommandSlot, &StandardCommandDispatch);
}

void ClearCommands() {
  for (CommandDispatcher& d : g_slots) d = nullptr;
  for (CommandHandler& h : g_handlers) h = nullptr;
}

// ---- Progress --------------------------------------------------------------------------

void SetProgressDisplay(ProgressDisplay* display) {
  g_progress_display = display != nullptr ? display : &g_headless_progress;
}

ProgressState CurrentProgress() { return g_progress; }

void EndProgress() {
  if (!g_progress.running) return;
  g_progress = ProgressState();
  g_progress_display->End();
}

namespace proc {

// ---- Argument helpers --------------------------------------------------------------------

Status CheckArgumentCount(int command, int count, int min, int max) {
  if (count >= min && count <= max) return Status::kOk;
  return SetDetail(Status::kSyntaxError, CommandName(command));
}

Status FileArgument(const CommandArgument& arg, int* file) {
  *file = 0;
  // A name written bare that no variable holds is a file's name, never the
  // 0 (the current file) an absent variable reads as: a misspelt file must
  // not send RC_DELETE to whatever file is current.
  bool bare_name = IsPlainVariableName(arg.written) && FindVariable(arg.written).index == kNotFound;
  if (arg.kind == 0 && !bare_name) {
    int f = 0;
    Status s = ResolveFile(static_cast<int>(IntegerOf(arg.number)), &f);
    if (!s.ok()) return SetDetail(s, arg.text);
    *file = f;
    return Status::kOk;
  }
  Slice name = bare_name ? arg.written : Trim(arg.text);
  int f = FileByName(name);
  if (f == 0) return SetDetail(Status::kFileOpening, name);
  *file = f;
  return Status::kOk;
}

Status EnsureOpen(int file) {
  if (DataFileIsOpen(file)) return Status::kOk;
  // The fields a procedure stored before the file was open are what a
  // command like RC_INSERT writes: they survive the open, and no record
  // counts as loaded.
  RecordBuffers b = FileRecordBuffers(file);
  std::string current = b.current != nullptr ? std::string(b.current, b.length) : std::string();
  Status s = DataFileOpen(file, 0);
  if (s.failed()) return s;
  NoteFileOpenedByCommand(file);
  s = DataFileMove(file, kMoveClear);
  if (s.failed()) return s;
  b = FileRecordBuffers(file);
  if (b.current != nullptr && current.size() == b.length) {
    std::memcpy(b.current, current.data(), current.size());
  }
  return Status::kOk;
}

Status OpenFileArgument(int command, int count, const CommandArgument* args, int min, int max,
                        int* file) {
  Status s = CheckArgumentCount(command, count, min, max);
  if (!s.ok()) return s;
  s = FileArgument(args[0], file);
  if (!s.ok()) return s;
  return EnsureOpen(*file);
}

Slice VariableArgument(const CommandArgument& arg) {
  if (IsPlainVariableName(arg.written)) return arg.written;
  return Trim(arg.text);
}

Slice TextArgument(int count, const CommandArgument* args, int i, Slice fallback) {
  if (i < 0 || i >= count) return fallback;
  return args[i].text;
}

int64_t IntegerArgument(int count, const CommandArgument* args, int i, int64_t fallback) {
  if (i < 0 || i >= count) return fallback;
  const CommandArgument& a = args[i];
  if (a.kind == 0) return IntegerOf(a.number);
  if (Trim(a.text).empty()) return fallback;
  return IntegerOf(ParseNumber(a.text));
}

void SetCountWord(int word, int64_t count) {
  SetWord(word, static_cast<uint16_t>(std::clamp<int64_t>(count, 0, INT16_MAX)));
}

// ---- STATSTEPS and CONNECT --------------------------------------------------------------

// STATSTEPS total,text starts a progress of `total` steps; STATSTEPS alone
// counts one step; STATSTEPS 0 ends it.
Status StatStepsCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 0, 2);
  if (!s.ok()) return s;
  if (count == 0) {
    if (g_progress.running) {
      if (g_progress.done < g_progress.total || g_progress.total <= 0) ++g_progress.done;
      g_progress_display->Step(g_progress.done, g_progress.total);
    }
    return Status::kOk;
  }
  int64_t total = IntegerArgument(count, args, 0, 0);
  if (total <= 0) {
    EndProgress();
    return Status::kOk;
  }
  g_progress.running = true;
  g_progress.done = 0;
  g_progress.total = total;
  g_progress_display->Start(TextArgument(count, args, 1), total);
  return Status::kOk;
}

Status ConnectCommand(int command, int count, const CommandArgument* args) {
  (void)count;
  (void)args;
  return SetDetail(Status::kFeatureRemoved, CommandName(command));
}

}  // namespace proc
}  // namespace tessaly
