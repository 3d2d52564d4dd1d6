// The procedure runner: flow keywords, statements and command lines, calls
// between procedures with their arguments, the trace, the user break and
// the cleanup after a run from the start.

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "proc/commands.h"
#include "proc/procedures.h"
#include "proc/procedures_internal.h"

namespace tessaly {
namespace {

volatile std::sig_atomic_t g_break = 0;
volatile std::sig_atomic_t g_depth = 0;
MessagePump g_pump = nullptr;
RunResources* g_resources[2] = {nullptr, nullptr};

// The arguments a CALL pushed on string table 35 for the run it started:
// `kinds` holds the value kind of each item above `base`.
struct CallArguments {
  int base = 0;
  int callee_depth = 0;
  std::vector<uint8_t> kinds;
};
std::vector<CallArguments> g_calls;

// What one run keeps while its lines run.
struct RunFrame {
  uint16_t gosub[kMaxGosubDepth] = {};
  int gosub_depth = 0;
  bool want_result = false;
  std::string result;
};

RunResources* Resources(RunResourceKind kind) { return g_resources[static_cast<int>(kind)]; }

// Ends the run with `status`: the line goes into the detail.
Status LineFailure(Status status, int line, const ProcedureLine& entry) {
  AreaMark mark;
  (void)SetDetail(
      status,
      ProcedureLineText(line, ProcedureKeywordName(entry.keyword), Slice::Of(entry.argument)),
      true);
  return mark.Release(proc::RunFailure(status));
}

void Trace(int line, const ProcedureLine& entry) {
  AreaMark mark;
  Slice text = Concat({Slice::Of(std::to_string(line)), "\t", ProcedureKeywordName(entry.keyword),
                       " ", Slice::Of(entry.argument), "\r\n"});
  if (text.ok()) (void)FileWrite(kProcedureLogName, -1, text);
}

// The text of the value on top of the string area (`kind` 0 or 1).
std::string TopText(Status kind) {
  AreaMark mark;
  Slice top = Area().Top();
  if (kind == kNumberValue) return FormatCurrent(NumberOf(top)).str();
  return top.str();
}

Status PopArgumentsTo(int base) {
  while (strtab::Count(strtab::kFunctionArgs) > base) {
    Status s = strtab::Pop(strtab::kFunctionArgs);
    if (!s.ok()) return s;
  }
  return Status::kOk;
}

// CALL label,file[,release] arguments
Status Call(Slice argument) {
  AreaMark mark;
  Slice head, rest;
  proc::SplitAtBlank(argument, &head, &rest);
  std::vector<Slice> target = proc::SplitArguments(head, ',');
  Slice label = target.size() >= 1 ? target[0] : Slice();
  Slice file = target.size() >= 2 ? target[1] : Slice();
  bool release = true;
  if (target.size() >= 3 && !target[2].empty()) {
    Status c = Condition(target[2]);
    if (c.failed()) return mark.Release(c);
    release = c == 1;
  }
  std::vector<Slice> values = proc::SplitArguments(rest, ',');
  if (values.size() > static_cast<size_t>(kMaxCallArguments)) {
    return mark.Release(SetDetail(Status::kOutOfMemory, rest));
  }
  CallArguments call;
  call.base = strtab::Count(strtab::kFunctionArgs);
  call.callee_depth = g_depth + 1;
  for (Slice value : values) {
    AreaMark one;
    Status kind = value.empty() ? Status(kTextValue) : Evaluate(value);
    if (value.empty()) (void)Area().Push(Slice());
    Status pushed = kind.failed() ? kind : strtab::Push(strtab::kFunctionArgs, Area().Top());
    if (!pushed.ok()) {
      (void)PopArgumentsTo(call.base);
      return mark.Release(pushed);
    }
    call.kinds.push_back(static_cast<uint8_t>(kind.code()));
  }
  g_calls.push_back(std::move(call));
  int base = g_calls.back().base;
  Status status = ProcedureRunEntry(label, file, release ? kRunRelease : 0);
  g_calls.pop_back();
  bool all_taken = strtab::Count(strtab::kFunctionArgs) == base;
  (void)PopArgumentsTo(base);
  if (!status.ok()) return mark.Release(status);
  if (!all_taken) return mark.Release(SetDetail(Status::kSyntaxError, "LOCALVARS"));
  return mark.Release(Status::kOk);
}

// LOCALVARS name1,...,namen: namek takes argument k of the call.
Status LocalVars(Slice argument) {
  AreaMark mark;
  std::vector<Slice> names = proc::SplitArguments(argument, ',');
  if (g_calls.empty() || g_calls.back().callee_depth != g_depth) {
    if (names.empty()) return mark.Release(Status::kOk);
    return mark.Release(SetDetail(Status::kSyntaxError, "LOCALVARS"));
  }
  CallArguments& call = g_calls.back();
  int available = strtab::Count(strtab::kFunctionArgs) - call.base;
  if (static_cast<int>(names.size()) > available ||
      static_cast<int>(call.kinds.size()) != available) {
    return mark.Release(SetDetail(Status::kSyntaxError, "LOCALVARS"));
  }
  for (size_t k = names.size(); k-- > 0;) {
    AreaMark one;
    // A copy: the assignment may move the string store under table 35.
    Slice value = Area().Push(strtab::Top(strtab::kFunctionArgs));
    if (!value.ok()) return mark.Release(value.status());
    Status status = AssignVariable(names[k], value, call.kinds.back());
    if (status.failed()) {
      // A name that is no variable one can assign is a mismatch too.
      if (status == Status::kSyntaxError) status = Status::kTypeMismatch;
      return mark.Release(SetDetail(status, names[k], true));
    }
    Status popped = strtab::Pop(strtab::kFunctionArgs);
    if (!popped.ok()) return mark.Release(popped);
    call.kinds.pop_back();
  }
  return mark.Release(Status::kOk);
}

// Runs the lines of `procedure` from `start` until an end, a failure or a
// break.
Status RunLines(const CompiledProcedure& procedure, uint16_t start, RunFrame* frame) {
  const std::vector<ProcedureLine>& lines = procedure.lines;
  size_t pc = start;
  while (pc < lines.size()) {
    const ProcedureLine& line = lines[pc];
    int number = static_cast<int>(pc) + 1;
    if (TestBits(kTrace, kTraceProcedureLines)) Trace(number, line);
    if (ProcedureBreakRequested()) return LineFailure(Status::kUserCanceled, number, line);
    ++pc;
    if (line.keyword >= kPkFirstCommand) {
      Status status = CommandDispatch(line.keyword, Slice::Of(line.argument), number);
      if (!status.ok()) return status;
      continue;
    }
    AreaMark mark;
    Slice argument = Slice::Of(line.argument);
    if (line.keyword != kPkGoto && line.keyword != kPkGosub) {
      argument = proc::ExpandArgument(argument);
      if (!argument.ok()) return LineFailure(argument.status(), number, line);
    }
    Status status;
    switch (line.keyword) {
      case kPkStatement:
        status = Evaluate(argument);
        if (status.is_error()) return LineFailure(status, number, line);
        if (frame->want_result && status.code() <= kTextValue) frame->result = TopText(status);
        break;
      case kPkGoto:
      case kPkLoop:
      case kPkElse:
        pc = line.target;
        break;
      case kPkGosub:
        if (frame->gosub_depth >= kMaxGosubDepth) {
          return LineFailure(Status::kOutOfMemory, number, line);
        }
        frame->gosub[frame->gosub_depth++] = static_cast<uint16_t>(pc);
        pc = line.target;
        break;
      case kPkReturn:
        if (frame->gosub_depth == 0) return Status::kOk;
        pc = frame->gosub[--frame->gosub_depth];
        break;
      case kPkEndif:
      case kPkDo:
        break;
      case kPkIf:
      case kPkIfTrue:
      case kPkDoWhile:
      case kPkLoopUntil:
      case kPkIfFalse:
      case kPkDoUntil:
      case kPkLoopWhile: {
        status = Condition(argument);
        if (status.failed()) return LineFailure(status, number, line);
        bool jump_when = line.keyword == kPkIfFalse || line.keyword == kPkDoUntil ||
                         line.keyword == kPkLoopWhile;
        if ((status == 1) == jump_when) pc = line.target;
        break;
      }
      case kPkCall:
        status = Call(argument);
        if (!status.ok()) return LineFailure(status, number, line);
        break;
      case kPkLocalVars:
        status = LocalVars(argument);
        if (!status.ok()) return LineFailure(status, number, line);
        break;
      case kPkEnd:
        if (frame->want_result && !Trim(argument).empty()) {
          status = Evaluate(argument);
          if (status.failed()) return LineFailure(status, number, line);
          frame->result = TopText(status);
        }
        return Status::kOk;
      default:
        return LineFailure(Status::kInternalError, number, line);
    }
  }
  return Status::kOk;
}

// What a run from the start puts back when it ends.
struct CleanupMarks {
  int open_sets = 0;
  int structure_marks = 0;
  size_t files = 0;
  int devices = 0;
  int windows = 0;
  bool progress = false;
};

CleanupMarks TakeCleanupMarks() {
  CleanupMarks m;
  m.open_sets = OpenSetDepth();
  m.structure_marks = StructMarkCount();
  m.files = proc::FilesOpenedByCommands();
  if (RunResources* r = Resources(RunResourceKind::kDevices)) m.devices = r->Mark();
  if (RunResources* r = Resources(RunResourceKind::kWindows)) m.windows = r->Mark();
  m.progress = CurrentProgress().running;
  return m;
}

Status Cleanup(const CleanupMarks& m) {
  Status status;
  while (OpenSetDepth() > m.open_sets) {
    Status s = OpenSet("RESTORE");
    if (s.is_error() && status.ok()) status = s;
    if (s.is_error()) break;
  }
  proc::CloseFilesOpenedSince(m.files);
  while (StructMarkCount() > m.structure_marks) StructRestore();
  if (RunResources* r = Resources(RunResourceKind::kDevices)) r->ReleaseTo(m.devices);
  if (RunResources* r = Resources(RunResourceKind::kWindows)) r->ReleaseTo(m.windows);
  if (!m.progress && CurrentProgress().running) EndProgress();
  return status;
}

Status RunProcedure(const std::shared_ptr<CompiledProcedure>& procedure, uint16_t start, int flags,
                    bool cleanup) {
  if (g_depth == 0) ClearProcedureBreak();
  CleanupMarks marks;
  if (cleanup) marks = TakeCleanupMarks();
  RunFrame frame;
  frame.want_result = (flags & kRunResult) != 0;
  g_depth = g_depth + 1;
  Status status = RunLines(*procedure, start, &frame);
  g_depth = g_depth - 1;
  procedure->status = status;
  // The files the commands of an outermost run of an entry opened stay
  // open for whoever asked for the run; nothing is left to close them.
  if (g_depth == 0 && !cleanup) proc::ForgetFilesOpenedByCommands();
  if (cleanup) {
    std::string detail = GetDetail().str();
    Status cleaned = Cleanup(marks);
    if (status.ok() && cleaned.is_error()) {
      status = cleaned;
    } else {
      (void)SetDetail(status, Slice::Of(detail));
    }
  }
  if (status.ok() && frame.want_result) {
    Status pushed = strtab::Push(strtab::kProcedureResults, Slice::Of(frame.result));
    if (!pushed.ok()) status = pushed;
  }
  return status;
}

}  // namespace

Slice ProcedureLineText(int line, Slice keyword, Slice argument) {
  return Concat(
      {"Line: ", Slice::Of(std::to_string(line)), " (+ remmarks):\r\n", keyword, " ", argument});
}

Status ProcedureRunEntry(Slice entry, Slice file_name, int flags) {
  if (!entry.ok()) return entry.status();
  if (!file_name.ok()) return file_name.status();
  AreaMark mark;
  entry = Trim(entry);
  if (g_depth >= kMaxCallDepth) {
    return mark.Release(proc::RunFailure(SetDetail(Status::kProcStackError, entry)));
  }
  int loaded = -1;
  if (!Trim(file_name).empty()) {
    Status status = ProcedureLoad(file_name, &loaded);
    if (status.failed()) return mark.Release(status);
  }
  uint16_t start = 0;
  std::shared_ptr<CompiledProcedure> procedure = proc::FindProcedure(entry, &start);
  Status status;
  if (procedure == nullptr) {
    status = proc::RunFailure(SetDetail(Status::kSyntaxError, entry));
  } else {
    VariableMark variables = MarkVariables();
    status = RunProcedure(procedure, start, flags, entry.empty());
    if (flags & kRunRelease) ReleaseVariablesSince(variables);
  }
  if (loaded >= 0) (void)ProcedureUnload(loaded);
  return mark.Release(status);
}

Status ProcedureRun(Slice run_text) {
  if (!run_text.ok()) return run_text.status();
  AreaMark mark;
  std::vector<Slice> items = proc::SplitArguments(run_text, ',');
  Slice files = items.size() >= 1 ? items[0] : Slice();
  Slice entry = items.size() >= 2 ? items[1] : Slice();
  if (files.empty()) return mark.Release(SetDetail(Status::kBadInputData, Message(31)));
  if (items.size() >= 3) {
    // The statements: everything after the second comma, as one text.
    const char* from = items[2].data();
    Slice statements(from, static_cast<uint16_t>(run_text.end() - from));
    Status status = EvaluateForErrors(statements);
    if (!status.ok()) return mark.Release(status);
  }
  uint64_t before = proc::LoadSequence();
  std::vector<Slice> names = Split(files, ';');
  Status status;
  for (size_t k = names.size(); k-- > 1;) {
    if (Trim(names[k]).empty()) continue;
    status = ProcedureLoad(Trim(names[k]));
    if (status.failed()) break;
  }
  if (!status.failed()) status = ProcedureRunEntry(entry, Trim(names[0]), kRunRelease);
  proc::UnloadLoadedAfter(before);
  return mark.Release(status);
}

int ProcedureRunDepth() { return g_depth; }

void SetMessagePump(MessagePump pump) { g_pump = pump; }

void RequestProcedureBreak() { g_break = 1; }

bool ProcedureBreakPending() { return g_break != 0; }

void ClearProcedureBreak() { g_break = 0; }

bool ProcedureBreakRequested() {
  bool stop = g_pump != nullptr && g_pump();
  if (g_break != 0) {
    g_break = 0;
    stop = true;
  }
  return stop;
}

void SetRunResources(RunResourceKind kind, RunResources* resources) {
  g_resources[static_cast<int>(kind)] = resources;
}

}  // namespace tessaly
