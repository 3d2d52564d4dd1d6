// The commands on file structures and records: FILESTRUCT, LOADSTRUCT,
// FILESCAN, LOCATE, DLOCATE and RC_DELETE, RC_INSERT, RC_UPDATE, RC_WRITE.
// Result codes go to `_IER`; only failures end a run.

#include <cstring>
#include <string>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/dictionary.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "proc/commands_internal.h"
#include "proc/procedures.h"
#include "proc/procedures_internal.h"

namespace tessaly::proc {
namespace {

constexpr char kStructureExtension[] = "STP";
// Records a long scan goes through between two looks at the user break.
constexpr int64_t kBreakInterval = 64;

bool EqualsWord(Slice text, const char* word) {
  AreaMark mark;
  return Upper(Trim(text)) == Slice(word);
}

void SetResult(Status result) { SetWord(kIer, result.code()); }

// The save flags of an operation code without its move.
int SaveFlags(int operation) { return RecordOpFlags(operation) & 0xFF00; }

bool HasExtension(Slice name) {
  for (uint16_t i = name.size(); i-- > 0;) {
    char c = name.data()[i];
    if (c == '.') return true;
    if (c == '\\' || c == '/' || c == ':') return false;
  }
  return false;
}

bool IsRemark(Slice line) {
  return line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '/';
}

// Defines the file variable of each file defined after `first_new - 1`,
// named after the file without its folder, as start-up does.
Status DefineNewFileVariables(int first_new) {
  for (int file = first_new; file <= FileCount(); ++file) {
    AreaMark mark;
    Slice name = FileName(file);
    uint16_t cut = FindLast(name, "\\/", FindKind::kAnyOf);
    if (cut != kNotFound) name = Substring(name, cut + 1);
    Status s = DefineFileVariables(file, Lower(name));
    if (!s.ok()) return mark.Release(s);
  }
  return Status::kOk;
}

// A structure file: its first line names the data file, the others are
// fields NAME;WIDTH;TYPE and keys <...>; remarks and blank lines are
// skipped.
Status LoadStructureFile(Slice name) {
  AreaMark mark;
  Slice wanted = HasExtension(name) ? name : Concat({name, ".", kStructureExtension});
  Slice path = FindFile(GetEnvironment(kEnvDefaultFolder), wanted);
  if (!path.ok() || path.empty()) return mark.Release(SetDetail(Status::kFileNotFound, wanted));
  Status status;
  int slot = StreamOpen(path, kStreamReadOnly | kStreamSilent, &status);
  if (slot < 0) return mark.Release(SetDetail(Status::kFileNotFound, path));
  std::string file_name, fields, keys;
  char buffer[kMaxSourceLine + 2];
  int number = 0;
  for (;;) {
    int n = StreamRead(slot, -1, -1, buffer, sizeof buffer);
    ++number;
    if (n < 0) {
      if (!StreamAtEnd(slot)) status = Status::kStringTooLong;
      break;
    }
    Slice line = Trim(Slice(buffer, static_cast<uint16_t>(n)));
    if (n > kMaxSourceLine) {
      status = Status::kStringTooLong;
      break;
    }
    if (IsRemark(line)) continue;
    std::string& list = file_name.empty() ? file_name : (line[0] == '<' ? keys : fields);
    if (&list != &file_name && !list.empty()) list += ',';
    list += line.str();
  }
  StreamClose(slot);
  if (!status.ok()) {
    std::string detail = path.str() + " line " + std::to_string(number);
    return mark.Release(SetDetail(status, Slice::Of(detail)));
  }
  if (file_name.empty() || fields.empty()) {
    return mark.Release(SetDetail(Status::kBadInputData, path));
  }
  return mark.Release(FileStructDefine(Slice::Of(file_name), Slice::Of(fields), Slice::Of(keys)));
}

// Positions `file` for DLOCATE's start: the first (or last) record of the
// range of `prefix` in the current key. 0 on a record, 2 when there is none.
Status StartOfRange(int file, Slice prefix, bool backward) {
  if (prefix.empty()) return DataFileMove(file, backward ? kMoveLast : kMoveFirst);
  if (!backward) return DataFileFind(file, -1, prefix, kFindNearest);
  // The last record of the range: the one before the first key past it.
  std::string after = prefix.str();
  while (!after.empty() && static_cast<unsigned char>(after.back()) == 0xFF) after.pop_back();
  if (after.empty()) return DataFileMove(file, kMoveLast);
  after.back() = static_cast<char>(static_cast<unsigned char>(after.back()) + 1);
  Status s = DataFileFind(file, -1, Slice::Of(after), kFindNearest);
  if (s.failed()) return s;
  return DataFileMove(file, s == kResultEnd ? kMoveLast : kMovePrevious);
}

}  // namespace

Status WriteRecordByKey(int file, Slice selection) {
  RecordBuffers b = FileRecordBuffers(file);
  if (b.current == nullptr) return Status::kFileNotInit;
  std::string record(b.current, b.length);
  DataFileCtrl* ctrl = DataFileControl(file);
  int key = ctrl != nullptr ? ctrl->current_key : 1;
  AreaMark mark;
  Slice key_text = DataFileKeyText(file, 1, 1);
  if (!key_text.ok()) return mark.Release(key_text.status());
  Status found = DataFileFind(file, 1, key_text, 0);
  (void)DataFileSetKey(file, key);
  if (found.failed()) return mark.Release(found);
  b = FileRecordBuffers(file);
  std::memcpy(b.current, record.data(), record.size());
  int flags = found == kResultFound ? SaveFlags(kOpSve) : SaveFlags(kOpIns);
  return mark.Release(RecordSave(flags, file, selection, Slice()));
}

// FILESTRUCT name,fields...,keys...  or  FILESTRUCT RESTORE
Status FileStructCommand(int command, int count, const CommandArgument* args) {
  if (count == 1 &&
      (EqualsWord(args[0].written, "RESTORE") || EqualsWord(args[0].text, "RESTORE"))) {
    FileStructRestore();
    return Status::kOk;
  }
  Status s = CheckArgumentCount(command, count, 2, kMaxCommandArguments);
  if (!s.ok()) return s;
  std::string fields, keys;
  for (int i = 1; i < count; ++i) {
    for (Slice item : Split(args[i].text, ',')) {
      Slice t = Trim(item);
      if (t.empty()) continue;
      std::string& list = t[0] == '<' ? keys : fields;
      if (!list.empty()) list += ',';
      list += t.str();
    }
  }
  return FileStructDefine(Trim(args[0].text), Slice::Of(fields), Slice::Of(keys));
}

// LOADSTRUCT code  or  LOADSTRUCT file[.STP]
Status LoadStructCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 1, 1);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice source = ExpandNames(Trim(args[0].text));
  if (!source.ok()) return mark.Release(source.status());
  if (source.empty()) return mark.Release(SetDetail(Status::kBadInputData, CommandName(command)));
  bool is_code = source.size() == 2 && FindFirstOf(source, ".\\/:", true) == kNotFound;
  if (!is_code) return mark.Release(LoadStructureFile(source));
  s = StructPushMark();
  if (!s.ok()) return mark.Release(s);
  int first_new = FileCount() + 1;
  Slice folders = GetEnvironment(kEnvDefaultFolder);
  s = DictionaryLoad(source, Trim(Item(folders, ',', 1)), folders);
  if (!s.ok()) {
    (void)StructPopMark();
    return mark.Release(s);
  }
  return mark.Release(DefineNewFileVariables(first_new));
}

// FILESCAN file,condition[,action[,key[,prefix]]]
Status FileScanCommand(int command, int count, const CommandArgument* args) {
  int file = 0;
  Status s = OpenFileArgument(command, count, args, 2, 5, &file);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice condition = TextArgument(count, args, 1);
  Slice action = Trim(TextArgument(count, args, 2));
  int key = static_cast<int>(IntegerArgument(count, args, 3, 0));
  Slice prefix = TextArgument(count, args, 4);
  s = RecordListBuild(file, key, prefix, -1, 0, condition);
  if (s.failed()) return mark.Release(s);
  if (s == kResultEnd) {
    SetCountWord(kCount, 0);
    SetResult(kResultEnd);
    return mark.Release(Status::kOk);
  }
  int listed = RecordListCount(file);
  bool wrote = false;
  Status status;
  for (int i = 0; i < listed && status.ok(); ++i) {
    if (i % kBreakInterval == kBreakInterval - 1 && ProcedureBreakRequested()) {
      status = Status::kUserCanceled;
      break;
    }
    status = RecordListGet(file, kListLoadBuffers, i);
    if (status.failed()) break;
    status = Status::kOk;
    if (action.empty()) continue;
    status = EvaluateForErrors(action);
    if (!status.ok()) break;
    if (RecordChanged(file)) {
      status = RecordSave(SaveFlags(kOpSve), file, Slice(), Slice());
      wrote = true;
      if (!status.failed()) status = Status::kOk;
    }
  }
  (void)RecordListFree(file);
  if (wrote) status = RecordCommit(file, status);
  if (status.failed()) return mark.Release(status);
  SetCountWord(kCount, listed);
  SetResult(kResultFound);
  return mark.Release(Status::kOk);
}

// LOCATE file,key text[,key number[,flags]]
Status LocateCommand(int command, int count, const CommandArgument* args) {
  int file = 0;
  Status s = OpenFileArgument(command, count, args, 2, 4, &file);
  if (!s.ok()) return s;
  int key = static_cast<int>(IntegerArgument(count, args, 2, 0));
  int flags = static_cast<int>(IntegerArgument(count, args, 3, 0)) & (kFindPrepare | kFindNearest);
  s = DataFileFind(file, key, args[1].text, flags);
  if (s.failed()) return s;
  SetResult(s);
  return Status::kOk;
}

// DLOCATE file,condition[,from[,key[,prefix]]]: from TOP (the default),
// NXT, PRV or BOT.
Status DLocateCommand(int command, int count, const CommandArgument* args) {
  int file = 0;
  Status s = OpenFileArgument(command, count, args, 2, 5, &file);
  if (!s.ok()) return s;
  Slice condition = args[1].text;
  Slice from = TextArgument(count, args, 2);
  int operation = Trim(from).empty() ? kOpTop : RecordOpNumber(from);
  if (operation != kOpTop && operation != kOpNxt && operation != kOpPrv && operation != kOpBot) {
    return SetDetail(Status::kSyntaxError, from);
  }
  int key = static_cast<int>(IntegerArgument(count, args, 3, 0));
  if (key != 0) {
    s = DataFileSetKey(file, key);
    if (!s.ok()) return s;
  }
  Slice prefix = TextArgument(count, args, 4);
  bool backward = operation == kOpPrv || operation == kOpBot;
  int code = backward ? kMovePrevious : kMoveNext;
  if (operation == kOpTop || operation == kOpBot) {
    s = StartOfRange(file, prefix, backward);
    if (s.failed()) return s;
    if (s == kResultEnd) {
      SetResult(kResultEnd);
      return Status::kOk;
    }
  } else {
    code |= kScanMoveFirst;
  }
  s = RecordScan(file, code, condition, prefix);
  if (s.failed()) return s;
  SetResult(s == kResultFound ? Status(kResultFound) : Status(kResultEnd));
  return Status::kOk;
}

// RC_DELETE, RC_INSERT, RC_UPDATE, RC_WRITE file[,selection]
Status RecordCommand(int command, int count, const CommandArgument* args) {
  int file = 0;
  Status s = OpenFileArgument(command, count, args, 1, 2, &file);
  if (!s.ok()) return s;
  Slice selection = TextArgument(count, args, 1);
  // A record counts as read only when the last search or move found it: a
  // LOCATE that failed leaves the previous record in the buffers, and
  // RC_DELETE must not take that one for the record looked for.
  const DataFileCtrl* ctrl = DataFileControl(file);
  bool loaded = DataFileLoadedRecord(file) >= 0 && ctrl != nullptr &&
                ctrl->last_result == kResultFound;
  switch (command) {
    case kCmdRcInsert:
      s = RecordSave(SaveFlags(kOpIns), file, selection, Slice());
      break;
    case kCmdRcUpdate:
      if (!loaded) {
        SetResult(kResultEnd);
        return Status::kOk;
      }
      s = RecordSave(SaveFlags(kOpSve), file, selection, Slice());
      break;
    case kCmdRcDelete:
      if (!loaded) {
        SetResult(kResultEnd);
        return Status::kOk;
      }
      s = RecordSave(SaveFlags(kOpDel), file, selection, Slice());
      break;
    default:
      s = WriteRecordByKey(file, selection);
      break;
  }
  s = RecordCommit(file, s);
  if (s.failed()) return s;
  SetResult(s);
  return Status::kOk;
}

}  // namespace tessaly::proc
