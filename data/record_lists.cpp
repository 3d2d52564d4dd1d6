// Conditional scans, counts, record lists and what is built on them: range
// deletes, accumulation and record generation (see data/record_ops.h).
//
// Record lists. Eight slots, numbered 1-8, each holding the record numbers a
// list selected, in key order. A file uses one list at a time and can set two
// aside while nested operations list it again:
//
//   file f:  current slot ─┐    set aside: [first, second]
//   slots:   1 .. 8  { used, file, record numbers }
//
// The table here is what counts; the file's `DataFileCtrl` mirrors it
// (list_slot, saved_list_slots) for those who read the control.
#include <algorithm>
#include <array>
#include <new>
#include <string>
#include <vector>

#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/dates.h"
#include "data/record_ops.h"
#include "data/record_ops_internal.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"

namespace tessaly {

// ---- Scans and counts ---------------------------------------------------------------------

namespace {

// The first field of the current key, as a scan hands it to its action.
Slice KeyFieldText(int f) {
  const DataFileCtrl* ctrl = DataFileControl(f);
  KeyLayout key;
  if (ctrl == nullptr || KeySegments(f, ctrl->current_key, &key) != Status::kOk || key.count == 0) {
    return Area().Push(Slice());
  }
  FieldDesc field;
  if (FieldInfo(f, key.fields[0], &field) != Status::kOk) return Area().Push(Slice());
  AreaMark mark;
  Slice text = FieldFetch(f, field.number);
  if (text.ok() && (field.type == 'D' || field.type == 'F')) text = FormatDate(text, 2);
  return mark.Keep(text);
}

}  // namespace

Status RecordScan(int file, int code, Slice condition, Slice prefix,
                  const RecordVisitAction& action) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  if (!prefix.ok()) return prefix.status();
  bool backward = (code & kMoveBackward) != 0;
  int move = code & ~kScanMoveFirst & 0xFF;
  if ((move & (kMoveNext | kMoveLast)) == 0) move = backward ? kMovePrevious : kMoveNext;
  bool moving = (code & kScanMoveFirst) != 0;
  for (;;) {
    if (moving) {
      s = DataFileMove(f, move);
      if (s.failed()) return s;
      // Moving off either end of the file ends the scan.
      if (s != kResultFound) return Status(kResultEnd);
    }
    moving = true;
    s = DataFileRangeEnd(f, prefix, backward);
    if (s.failed()) return s;
    if (s == kResultEnd) return s;
    if (action) {
      AreaMark mark;
      s = action(KeyFieldText(f));
      if (s.failed()) return s;
    }
    s = Condition(condition);
    if (s == 1) return Status::kOk;
    if (s.failed()) return s;
  }
}

Status RecordCount(int file, int key, Slice start, Slice end, Slice condition, int64_t* count) {
  *count = 0;
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  const DataFileCtrl* ctrl = DataFileControl(f);
  if (ctrl == nullptr || !DataFileIsOpen(f)) {
    return RecordError(1, ErrorArea::kDataFile, Status::kFileNotInit);
  }
  if (ctrl->open_flags & kDataNoIndex) {
    *count = std::max<int64_t>(DataFileRecordCount(f), 0);
    return Status::kOk;
  }
  s = DataFileSaveState(f);
  if (!s.ok()) return s;
  Status result = DataFileFind(f, key, start, kFindNearest);
  if (!result.failed()) {
    result = RecordScan(f, kMoveNext, condition, end);
    while (result == Status::kOk) {
      ++*count;
      result = RecordScan(f, kMoveNext | kScanMoveFirst, condition, end);
    }
  }
  Status restored = DataFileRestoreState(f);
  if (result.failed()) return result;
  return restored;
}

// ---- Record lists ---------------------------------------------------------------------------

namespace {

struct ListSlot {
  bool used = false;
  int file = 0;
  std::vector<int64_t> records;
};

struct FileLists {
  int current = 0;                            // slot in use, 0 none
  std::array<int, kRecordListStack> aside{};  // slots set aside, oldest first
  int depth = 0;
};

// Slots grow by this many record numbers at a time.
constexpr size_t kListGrowth = 32;

std::array<ListSlot, kRecordListSlots + 1> g_slots;
std::array<FileLists, kMaxFiles + 1> g_files;

void Mirror(int f) {
  DataFileCtrl* ctrl = DataFileControl(f);
  if (ctrl == nullptr) return;
  const FileLists& fl = g_files[static_cast<size_t>(f)];
  ctrl->list_slot = static_cast<int16_t>(fl.current);
  ctrl->saved_list_slots[0] = static_cast<int16_t>(fl.aside[0]);
  ctrl->saved_list_slots[1] = static_cast<int16_t>(fl.aside[1]);
}

int FreeSlot() {
  for (int i = 1; i <= kRecordListSlots; ++i) {
    if (!g_slots[static_cast<size_t>(i)].used) return i;
  }
  return 0;
}

// 0 when `f` can take one more list, else 168.
Status CanTakeList(int f) {
  const FileLists& fl = g_files[static_cast<size_t>(f)];
  if (fl.current != 0 && fl.depth >= kRecordListStack) {
    return SetDetail(Status::kDataOutBound, "record lists");
  }
  if (FreeSlot() == 0) return SetDetail(Status::kDataOutBound, "record lists");
  return Status::kOk;
}

const ListSlot* ListOf(int f) {
  if (f < 1 || f > kMaxFiles) return nullptr;
  int slot = g_files[static_cast<size_t>(f)].current;
  return slot == 0 ? nullptr : &g_slots[static_cast<size_t>(slot)];
}

Status Append(std::vector<int64_t>* records, int64_t record) {
  try {
    if (records->size() == records->capacity()) records->reserve(records->size() + kListGrowth);
    records->push_back(record);
  } catch (const std::bad_alloc&) {
    return SetDetail(Status::kOutOfMemory, "record lists");
  }
  return Status::kOk;
}

}  // namespace

namespace recops {

Status BuildList(int f, int key, Slice start, Slice range, int max, Slice condition) {
  Status s = CanTakeList(f);
  if (!s.ok()) return RecordError(1, ErrorArea::kLocalLists, s);
  std::string current = CopyBuffer(f, 1);
  std::string saved = CopyBuffer(f, 2);
  std::vector<int64_t> records;
  s = DataFileFind(f, key, start, kFindNearest);
  int code = kMoveNext;
  while (!s.failed() && (max < 0 || static_cast<int64_t>(records.size()) < max)) {
    s = RecordScan(f, code, condition, range);
    if (s != Status::kOk) break;
    s = Append(&records, DataFileLoadedRecord(f));
    code = kMoveNext | kScanMoveFirst;
  }
  if (!s.failed() && !records.empty()) s = CanTakeList(f);  // the condition may have listed too
  if (s.failed() || records.empty()) {
    PutBuffer(f, 1, current);
    PutBuffer(f, 2, saved);
    return s.failed() ? s : Status(kResultEnd);
  }
  FileLists& fl = g_files[static_cast<size_t>(f)];
  if (fl.current != 0) fl.aside[static_cast<size_t>(fl.depth++)] = fl.current;
  int slot = FreeSlot();
  g_slots[static_cast<size_t>(slot)] = ListSlot{true, f, std::move(records)};
  fl.current = slot;
  Mirror(f);
  s = DataFileReadRecord(f, g_slots[static_cast<size_t>(slot)].records.front());
  if (s.failed()) return s;
  SetLastResult(f, kResultFound);
  return Status::kOk;
}

}  // namespace recops

Status RecordListBuildRange(int file, int key, Slice start, Slice end, int max, Slice condition) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  if (!start.ok()) return start.status();
  if (!end.ok()) return end.status();
  return recops::BuildList(f, key, start, end, max, condition);
}

Status RecordListBuild(int file, int key, Slice prefix, int max, int start_mode, Slice condition) {
  if (!prefix.ok()) return prefix.status();
  if (start_mode != 2) return RecordListBuildRange(file, key, prefix, prefix, max, condition);
  // After the range: the prefix with its last character raised by one (a
  // character that cannot be raised gives way to the one before it).
  std::string after = prefix.str();
  while (!after.empty() && static_cast<unsigned char>(after.back()) == 0xFF) after.pop_back();
  if (after.empty()) {
    int f = 0;
    Status s = DataFileResolve(file, &f);
    return s.ok() ? Status(kResultEnd) : s;
  }
  after.back() = static_cast<char>(static_cast<unsigned char>(after.back()) + 1);
  return RecordListBuildRange(file, key, Slice::Of(after), Slice(), max, condition);
}

Status RecordListGet(int file, int load_mode, int index) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  const ListSlot* list = ListOf(f);
  if (list == nullptr || index < 0 || static_cast<size_t>(index) >= list->records.size()) {
    return SetDetail(Status::kDataOutBound, Slice::Of(std::to_string(index)));
  }
  int64_t record = list->records[static_cast<size_t>(index)];
  s = DataFileReadRecord(f, record);
  if (s.failed()) return s;
  if (load_mode == kListLoadPosition) {
    // Position the current key on the record: its first equal key, then on
    // through the equal keys to this record number.
    std::string key;
    if (!recops::KeyText(f, 0, &key, &s)) return s;
    Status r = DataFileFind(f, -1, Slice::Of(key), 0);
    while (r == kResultFound && DataFileLoadedRecord(f) != record) {
      std::string next;
      r = DataFileMove(f, kMoveNext);
      if (r != kResultFound || !recops::KeyText(f, 0, &next, &s) || next != key) break;
    }
    if (r.failed()) return r;
    if (DataFileLoadedRecord(f) != record) {
      s = DataFileReadRecord(f, record);
      if (s.failed()) return s;
    }
  }
  recops::SetLastResult(f, kResultFound);
  return Status::kOk;
}

int RecordListCount(int file) {
  int f = 0;
  if (!DataFileResolve(file, &f).ok()) return 0;
  const ListSlot* list = ListOf(f);
  return list == nullptr ? 0 : static_cast<int>(list->records.size());
}

int64_t RecordListEntry(int file, int index) {
  int f = 0;
  if (!DataFileResolve(file, &f).ok()) return -1;
  const ListSlot* list = ListOf(f);
  if (list == nullptr || index < 0 || static_cast<size_t>(index) >= list->records.size()) {
    return -1;
  }
  return list->records[static_cast<size_t>(index)];
}

Status RecordListFree(int file) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  FileLists& fl = g_files[static_cast<size_t>(f)];
  if (fl.current == 0) return Status::kOk;
  g_slots[static_cast<size_t>(fl.current)] = ListSlot{};
  fl.current = 0;
  if (fl.depth > 0) {
    fl.current = fl.aside[static_cast<size_t>(--fl.depth)];
    fl.aside[static_cast<size_t>(fl.depth)] = 0;
  }
  Mirror(f);
  return Status::kOk;
}

int RecordListsInUse() {
  return static_cast<int>(
      std::count_if(g_slots.begin() + 1, g_slots.end(), [](const ListSlot& s) { return s.used; }));
}

void ClearRecordLists() {
  for (ListSlot& slot : g_slots) slot = ListSlot{};
  for (int f = 1; f <= kMaxFiles; ++f) {
    g_files[static_cast<size_t>(f)] = FileLists{};
    if (DataFileControl(f) != nullptr) Mirror(f);
  }
}

Status RecordDeleteAll(int file, int key, Slice prefix, Slice condition) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  s = RecordListBuild(f, key, prefix, -1, 0, condition);
  if (s != Status::kOk) return s;
  int n = RecordListCount(f);
  for (int i = 0; i < n && !s.failed(); ++i) {
    s = RecordListGet(f, kListLoadBuffers, i);
    if (!s.failed()) s = DataFileDelete(f, 0);
  }
  (void)RecordListFree(f);
  return s.failed() ? s : Status(Status::kOk);
}

// ---- Accumulating and generating -----------------------------------------------------------

namespace {

constexpr char kAccumulators[] = "_#";
constexpr int kMinAccumulatorBound = 255;

// Clears the accumulators and makes room up to element `last`.
Status PrepareAccumulators(int last) {
  Slice element = ArrayElement(kAccumulators, &last, 1);
  if (element.ok()) {
    AreaMark mark;
    Slice zero = Area().PushNumber(0);
    for (int i = 0; ArrayElement(kAccumulators, &i, 1).ok(); ++i) {
      Status s = AssignElement(kAccumulators, &i, 1, zero, kNumberValue);
      if (s.failed()) return s;
    }
    return Status::kOk;
  }
  int bound = std::max(last, kMinAccumulatorBound);
  return DeclareArray(kAccumulators, kNumberVariable, 0, &bound, 1);
}

Status AddToAccumulator(int index, int64_t value) {
  AreaMark mark;
  Status s = ReadElement(kAccumulators, &index, 1);
  if (s != kNumberValue) return s.failed() ? s : Status(Status::kTypeMismatch);
  int64_t sum = Area().TopNumber() + value;
  Slice n = Area().PushNumber(sum);
  return AssignElement(kAccumulators, &index, 1, n, kNumberValue);
}

bool IsAccumulatedType(char type) {
  return type == 'N' || type == 'L' || (type >= '1' && type <= '9');
}

}  // namespace

Status RecordAccumulate(const AccumulateRequest& request) {
  int f = 0;
  Status s = DataFileResolve(request.file, &f);
  if (!s.ok()) return s;
  int fields = FieldCount(f);
  if (request.base > 0) {
    s = PrepareAccumulators(request.base + fields - 1);
    if (s.failed()) return s;
  }
  s = RecordListBuildRange(f, request.key, request.start, request.end, -1, request.condition);
  if (s == kResultEnd) return Status::kOk;
  if (s.failed()) return s;
  int n = RecordListCount(f);
  Status result = Status::kOk;
  for (int i = 0; i < n && !result.is_error(); ++i) {
    result = RecordListGet(f, kListLoadBuffers, i);
    if (result.is_error()) break;
    AreaMark mark;
    if (request.base > 0) {
      for (int j = 1; j <= fields && !result.is_error(); ++j) {
        FieldDesc field;
        if (FieldInfo(f, j, &field) != Status::kOk || !IsAccumulatedType(field.type)) continue;
        int64_t value = ParseNumber(FieldFetch(f, j));
        result = AddToAccumulator(request.base + j - 1, value);
      }
    } else {
      result = EvaluateForErrors(request.expression);
    }
    if (result.is_error() || request.target == 0) continue;
    Status write = Condition(request.write_condition);
    if (write == 1) {
      result = RecordSave(kOpInsertRecord, request.target, Slice(), Slice());
    } else {
      result = write.is_error() ? write : Status(Status::kOutOfData);
    }
  }
  (void)RecordListFree(f);
  return result.is_error() ? result : Status(Status::kOk);
}

Status RecordGenerate(const GenerateRequest& request, int64_t* inserted) {
  *inserted = 0;
  int target = 0;
  Status s = DataFileResolve(request.target, &target);
  if (!s.ok()) return s;
  s = Condition(request.start_condition);
  if (s != 1) return s;
  for (int64_t pass = 1;; ++pass) {
    AreaMark mark;
    s = Condition(request.record_condition);
    if (s.failed()) return s;
    if (s == 1) {
      s = Condition(request.write_condition);
      if (s.failed()) return s;
      if (s == 1) {
        s = RecordSave(kOpInsertRecord, target, request.selection, Slice());
        if (s.failed()) return s;
        ++*inserted;
        if (request.on_insert) {
          s = request.on_insert(*inserted);
          if (s.failed()) return s;
        }
      }
    }
    if (request.progress) {
      s = request.progress(*inserted);
      if (s.failed()) return s;
    }
    if (request.max_passes >= 0 && pass >= request.max_passes) return Status::kOk;
    s = Condition(request.stop_condition);
    if (s.failed()) return s;
    if (s == 1) return Status::kOk;
  }
}

}  // namespace tessaly
