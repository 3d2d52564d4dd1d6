// The commands on text files, messages and other programs: READ, KILL,
// MESSAGE, SYSTEM, SHELL and WAIT.

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/flags.h"
#include "core/folders.h"
#include "core/message_box.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/variables.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "proc/commands_internal.h"
#include "proc/procedures.h"

namespace tessaly::proc {
namespace {

// How often WAIT looks at the message pump.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
// A day: a longer wait is a mistake in the procedure.
constexpr int64_t kLongestWait = 86400000;

// Reads line `n` (from 1) of a text file: 0 with the line on the string
// area, 2 when the file has fewer lines.
Status ReadFileLine(Slice name, int64_t n, Slice* line) {
  Status status;
  int slot = StreamOpen(name, kStreamReadOnly | kStreamSilent, &status);
  if (slot < 0) return SetDetail(Status::kFileNotFound, name);
  Status result = Status(kResultEnd);
  for (int64_t i = 1; i <= n; ++i) {
    int depth = Area().Mark();
    Slice read = StreamReadNew(slot, -1, -1);
    if (!read.ok()) {
      if (read.status() != Status::kDiskIo || !StreamAtEnd(slot)) result = read.status();
      break;
    }
    if (i == n) {
      *line = read;
      result = Status::kOk;
      break;
    }
    Area().Release(depth);
  }
  StreamClose(slot);
  return result;
}

// The Linux path a runtime path names, made absolute, so that two spellings
// of one file compare equal.
std::string AbsoluteNative(std::string_view path) {
  std::string native = platform::NativePath(path);
  if (!native.empty() && native[0] != '/') {
    std::string folder;
    if (platform::CurrentFolder(&folder) == 0) {
      native = platform::TranslatePath(folder) + "/" + native;
    }
  }
  std::string out;
  size_t start = 0;
  while (start <= native.size()) {
    size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    std::string_view part(native.data() + start, end - start);
    if (!part.empty() && part != ".") {
      out += '/';
      out.append(part);
    }
    start = end + 1;
  }
  return out;
}

// Whether `native` is the record, index or lock file of an open data file,
// or a file open as a stream: deleting it would pull it from under the
// runtime.
bool IsInUse(const std::string& native) {
  for (int file = 1; file <= FileCount(); ++file) {
    if (!DataFileIsOpen(file)) continue;
    for (DataFilePart part : {DataFilePart::kRecords, DataFilePart::kIndex, DataFilePart::kLock}) {
      if (AbsoluteNative(DataFilePath(file, part)) == native) return true;
    }
  }
  for (int slot = kFirstFileSlot; slot < kStreamSlots; ++slot) {
    if (StreamIsOpen(slot) && AbsoluteNative(StreamName(slot).view()) == native) return true;
  }
  return false;
}

// Deletes one file: 0 (also when it does not exist), or a status naming it.
Status DeleteOne(Slice path, int64_t* deleted) {
  int attributes = FileAttributes(path);
  if (attributes < 0) return Status::kOk;
  if (attributes & kAttrFolder) return SetDetail(Status::kPermissionDenied, path);
  if (IsInUse(AbsoluteNative(path.view()))) {
    return SetDetail(Status::kPermissionDenied, path);
  }
  if (FileDelete(path) != 0) return SetDetail(Status::kPermissionDenied, path);
  ++*deleted;
  return Status::kOk;
}

}  // namespace

// READ handle,variable  or  READ file,variable[,line]
Status ReadCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 2, 3);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice variable = VariableArgument(args[1]);
  if (VariableKindOf(variable) != kTextVariable) {
    return mark.Release(SetDetail(Status::kTypeMismatch, variable));
  }
  Slice line;
  Status result;
  if (args[0].kind == 0) {
    int64_t handle = IntegerOf(args[0].number);
    if (handle < 0 || handle >= kStreamSlots ||
        (handle >= kFirstFileSlot && !StreamIsOpen(static_cast<int>(handle)))) {
      return mark.Release(SetDetail(Status::kFileNotInit, args[0].text));
    }
    int slot = static_cast<int>(handle);
    line = StreamReadNew(slot, -1, -1);
    if (!line.ok()) {
      bool at_end =
          line.status() == Status::kDiskIo && (slot < kFirstFileSlot || StreamAtEnd(slot));
      if (!at_end) return mark.Release(SetDetail(line.status(), StreamName(slot)));
      result = Status(kResultEnd);
      line = Slice();
    }
  } else {
    Slice name = ExpandNames(Trim(args[0].text));
    if (!name.ok()) return mark.Release(name.status());
    int64_t n = std::max<int64_t>(IntegerArgument(count, args, 2, 1), 1);
    result = ReadFileLine(name, n, &line);
    if (result.failed()) return mark.Release(result);
    if (result != Status::kOk) line = Slice();
  }
  s = AssignText(variable, line);
  if (s.failed()) return mark.Release(SetDetail(s, variable, true));
  SetWord(kIer, result.code());
  return mark.Release(Status::kOk);
}

// KILL file,...: each a name or a pattern ('*', '?' in its last part).
Status KillCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 1, kMaxCommandArguments);
  if (!s.ok()) return s;
  int64_t deleted = 0;
  for (int i = 0; i < count; ++i) {
    AreaMark mark;
    Slice path = ExpandNames(Trim(args[i].text));
    if (!path.ok()) return mark.Release(path.status());
    if (path.empty()) continue;
    if (!platform::HasWildcards(path.view())) {
      s = DeleteOne(path, &deleted);
      if (!s.ok()) return mark.Release(s);
      continue;
    }
    Slice names = FileList(path);
    if (!names.ok()) continue;  // nothing matches
    Slice folder = FolderPart(path);
    for (Slice name : Split(names, '\0')) {
      AreaMark one;
      Slice full = JoinPath(folder, name);
      if (FileAttributes(full) & kAttrFolder) continue;
      s = DeleteOne(full, &deleted);
      if (!s.ok()) return mark.Release(s);
    }
  }
  SetCountWord(kCount, deleted);
  return Status::kOk;
}

// MESSAGE text[,caption[,kind]]: `_STAT` 1 for OK, Yes or Retry, 2 for No,
// 0 for Cancel.
Status MessageCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 1, 3);
  if (!s.ok()) return s;
  int64_t kind = IntegerArgument(count, args, 2, 0);
  if (kind < 0 || kind >= kBoxKindCount) kind = 0;
  int answer =
      ShowMessageBox(args[0].text, TextArgument(count, args, 1), static_cast<BoxKind>(kind));
  int stat = answer == AnswerLetter(BoxButton::kYes)  ? 1
             : answer == AnswerLetter(BoxButton::kNo) ? 2
                                                      : 0;
  SetWord(kStat, static_cast<uint16_t>(stat));
  return Status::kOk;
}

// SYSTEM program,argument,... runs the program and waits for it (`_STAT`
// its exit code); SHELL program,argument,... starts it and goes on. Neither
// ever goes through a shell: the arguments are the program's argument
// vector as they are.
Status SystemCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 1, kMaxCommandArguments);
  if (!s.ok()) return s;
  AreaMark mark;
  std::vector<std::string> argv;
  // The program's name is a path of the runtime (%NAME% expanded); the
  // arguments pass exactly as the procedure computed them.
  Slice program = ExpandNames(Trim(args[0].text));
  if (!program.ok()) return mark.Release(program.status());
  argv.push_back(program.str());
  for (int i = 1; i < count; ++i) argv.push_back(args[i].text.str());
  if (argv[0].empty()) return mark.Release(SetDetail(Status::kBadInputData, CommandName(command)));
  int exit_code = 0;
  int err =
      command == kCmdSystem ? platform::RunProgram(argv, &exit_code) : platform::StartProgram(argv);
  if (err != 0) return mark.Release(SetDetail(Status::kChildExecError, Slice::Of(argv[0])));
  if (command == kCmdSystem) {
    SetWord(kStat, static_cast<uint16_t>(std::clamp(exit_code, 0, INT16_MAX)));
  }
  return mark.Release(Status::kOk);
}

// WAIT milliseconds: pending messages are processed meanwhile, and a break
// ends the wait (and the run) with 122.
Status WaitCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 1, 1);
  if (!s.ok()) return s;
  int64_t ms = std::clamp<int64_t>(IntegerArgument(count, args, 0, 0), 0, kLongestWait);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (ProcedureBreakRequested()) return Status::kUserCanceled;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return Status::kOk;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kWaitSlice, deadline - now));
  }
}

}  // namespace tessaly::proc
