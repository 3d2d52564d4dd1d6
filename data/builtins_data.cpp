// The functions on data files: FN#FLEN, FILEFIND, FILEREL, FILELOCATE,
// FILESEL, KEY$ and IER, and the installer of every data-layer function.

#include "data/builtins_data.h"

#include <algorithm>
#include <string>

#include "core/flags.h"
#include "core/folders.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/builtins_data_internal.h"
#include "data/datafile.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"

namespace tessaly {
namespace builtins {
namespace {

// `_UPSTAT` bit 4: relations with flags bit 4 go to the application's hook.
constexpr uint16_t kUpStatRelationHook = 4;
constexpr int kRelationByHook = 4;
// FILEFIND mode bits beyond the search flags of the engine.
constexpr int kFindCreate = 4;
constexpr int kFindScan = 8;

int ToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool StartsWithLetter(Slice name) {
  if (name.empty()) return false;
  unsigned char c = name[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A result code of the record layer as the function's number; a status of
// 122 and more as the failure it is.
Status ResultOrStatus(AreaMark& mark, Status result) {
  if (result.failed()) return mark.Release(result);
  return ReturnInteger(mark, result.code());
}

}  // namespace

// FN#FLEN(name): the records of an open data file, else the bytes of the
// file of that name (0 when it cannot be opened).
Status FileLength(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 1));
  Slice name;
  RETURN_IF_FAILED(args.Text(1, Slice(), &name));
  if (StartsWithLetter(name)) {
    int file = FileByName(name);
    if (file > 0 && DataFileIsOpen(file)) {
      return ReturnInteger(mark, std::max<int64_t>(DataFileRecordCount(file), 0));
    }
  }
  Slice path = ExpandNames(name);
  if (!path.ok() || path.empty()) return ReturnInteger(mark, 0);
  return ReturnInteger(mark, FileSize(path));
}

// FILEFIND(key; file = current; index = current; mode = 0): the search
// result. Mode bit 8 scans from the first record for the first one that
// satisfies the key text as a condition; bit 4 (with an index given) saves a
// new record carrying the key when the search ends beyond the last record.
Status FileFind(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 4));
  Slice key;
  int64_t file = 0, index = 0, mode = 0;
  RETURN_IF_FAILED(args.Text(1, Slice(), &key));
  RETURN_IF_FAILED(args.Integer(2, 0, &file));
  RETURN_IF_FAILED(args.Integer(3, 0, &index));
  RETURN_IF_FAILED(args.Integer(4, 0, &mode));
  int f = 0;
  RETURN_IF_FAILED(DataFileResolve(ToInt(file), &f));
  const int k = ToInt(index);
  if (mode & kFindScan) {
    if (k > 0) RETURN_IF_FAILED(DataFileSetKey(f, k));
    Status first = DataFileMove(f, kMoveFirst);
    if (first != Status::kOk) return ResultOrStatus(mark, first);
    return ResultOrStatus(mark, RecordScan(f, kMoveNext, key, Slice()));
  }
  const int search = static_cast<int>(mode) & (kFindPrepare | kFindNearest);
  Status found = DataFileFind(f, k > 0 ? k : -1, key, search);
  if (found == kResultEnd && (mode & kFindCreate) && k != 0) {
    // The buffers blanked with the key stored, then saved as INS saves.
    Status prepared = DataFileFind(f, k, key, kFindPrepare);
    if (prepared.failed()) return mark.Release(prepared);
    Status saved = RecordSave(RecordOpFlags(kOpIns), f, Slice(), Slice());
    saved = RecordCommit(f, saved);
    return ResultOrStatus(mark, saved);
  }
  return ResultOrStatus(mark, found);
}

// FILEREL(file; relation; item; flags = 0): the relation's status.
Status FileRelation(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(3, 4));
  int64_t v[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) RETURN_IF_FAILED(args.Integer(i + 1, 0, &v[i]));
  int values[4] = {ToInt(v[0]), ToInt(v[1]), ToInt(v[2]), ToInt(v[3])};
  const int flags = values[3];
  if ((flags & kRelationByHook) && TestBits(kUpStat, kUpStatRelationHook)) {
    std::string text = std::to_string(values[0]) + "," + std::to_string(values[1]) + "," +
                       std::to_string(values[2]) + "," + std::to_string(values[3]);
    Slice answer = CallHook(kHookRelation, 0, Slice::Of(text), values);
    if (answer.ok()) return ResultOrStatus(mark, Status(static_cast<uint16_t>(Integer(answer))));
    if (answer.status() != Status::kFeatureRemoved) return mark.Release(answer.status());
  }
  return ResultOrStatus(mark, RelationFind(values[0], values[1], values[2], flags, Slice()));
}

// FILELOCATE(operation = "NXT"; file = current): the operation's result.
Status FileLocate(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice operation;
  int64_t file = 0;
  RETURN_IF_FAILED(args.Text(1, "NXT", &operation));
  RETURN_IF_FAILED(args.Integer(2, 0, &file));
  int number = RecordOpNumber(operation);
  if (number == 0) return SetDetail(Status::kSyntaxError, operation);
  return ResultOrStatus(mark, RecordOperation(ToInt(file), number));
}

// FILESEL(name; mode): a stream opened with the mode (its handle); a data
// file made the current file (opened for update when it is closed); or,
// with a handle alone, the stream closed.
Status FileSelect(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  if (args.is_number(1)) {
    if (args.count() != 1) return Status::kSyntaxError;
    int64_t handle = IntegerOf(args.number(1));
    if (handle >= kFirstFileSlot && handle < kStreamSlots) StreamClose(static_cast<int>(handle));
    return ReturnInteger(mark, 0);
  }
  Slice name;
  RETURN_IF_FAILED(args.Text(1, Slice(), &name));
  if (args.given(2)) {
    int64_t mode = 0;
    RETURN_IF_FAILED(args.Integer(2, 0, &mode));
    Slice path = ExpandNames(name);
    if (!path.ok()) return mark.Release(path.status());
    Status status;
    int handle = StreamOpen(path, ToInt(mode), &status);
    if (handle < 0) return mark.Release(status.failed() ? status : Status(Status::kFileNotFound));
    return ReturnInteger(mark, handle);
  }
  int file = FileByName(name);
  if (file == 0) return SetDetail(Status::kFileOpening, name);
  if (!DataFileIsOpen(file)) {
    Status opened = DataFileOpen(file, kDataMakeCurrent);
    return ResultOrStatus(mark, opened);
  }
  SetWord(kCurFil, static_cast<uint16_t>(file));
  return ReturnInteger(mark, 0);
}

// KEY$(file = current; index = current; part = 1; length = 0): the key of
// the current record (part 1) or of the record as read (part 2), cut to the
// length. Empty when there is no such file.
Status Key(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(0, 4));
  int64_t file = 0, index = 0, part = 1, length = 0;
  RETURN_IF_FAILED(args.Integer(1, 0, &file));
  RETURN_IF_FAILED(args.Integer(2, 0, &index));
  RETURN_IF_FAILED(args.Integer(3, 1, &part));
  RETURN_IF_FAILED(args.Integer(4, 0, &length));
  if (part != 1 && part != 2) return Status::kSyntaxError;
  int f = 0;
  if (DataFileResolve(ToInt(file), &f) != Status::kOk) return ReturnText(mark, Slice());
  Slice key = DataFileKeyText(f, ToInt(index), static_cast<int>(part));
  if (!key.ok()) return mark.Release(key.status());
  if (length > 0 && length < key.size()) key = Slice(key.data(), static_cast<uint16_t>(length));
  return ReturnText(mark, key);
}

// IER(file = current): the last result of the data file.
Status FileStatus(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(0, 1));
  int64_t file = 0;
  RETURN_IF_FAILED(args.Integer(1, 0, &file));
  int f = 0;
  RETURN_IF_FAILED(DataFileResolve(ToInt(file), &f));
  const DataFileCtrl* ctrl = DataFileControl(f);
  if (ctrl == nullptr) return Status::kDataOutBound;
  return ReturnInteger(mark, ctrl->last_result);
}

}  // namespace builtins

void InstallDataBuiltinFunctions() {
  InstallBuiltinFunctions();
  struct Installed {
    int code;
    FunctionHandler handler;
  };
  static constexpr Installed kHandlers[] = {
      {kFnFileLength, &builtins::FileLength},
      {kFnValue, &builtins::Value},
      {kFnFileFind, &builtins::FileFind},
      {kFnFileRelation, &builtins::FileRelation},
      {kFnFileLocate, &builtins::FileLocate},
      {kFnFileSelect, &builtins::FileSelect},
      {kFnDate, &builtins::Date},
      {kFnMask, &builtins::Mask},
      {kFnExecute, &builtins::Execute},
      {kFnRead, &builtins::Read},
      {kFnWrite, &builtins::Write},
      {kFnMacro, &builtins::Macro},
      {kFnKey, &builtins::Key},
      {kFnTime, &builtins::Time},
      {kFnFileStatus, &builtins::FileStatus},
  };
  for (const Installed& h : kHandlers) (void)SetFunctionHandler(h.code, h.handler);
}

}  // namespace tessaly
