// Operation codes, saves with their relational updates, commits and open
// sets (see data/record_ops.h).
#include "data/record_ops.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/line_table.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/record_ops_internal.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"

namespace tessaly {

// ---- Operation codes ------------------------------------------------------------------

namespace {

constexpr const char* kOpNames[] = {"NEW", "TOP", "PRV", "RLD", "NXT", "BOT", "FND", "SVE", "INS",
                                    "DEL", "LST", "NLS", "BLS", "IMP", "MDE", "DDE", "PRN", "TSL"};
constexpr int kOpFlagWords[] = {0xF01, 0xF24, 0xF16, 0x000, 0xF12, 0xF20, 0x040, 0xF00, 0xD00,
                                0x642, 0x042, 0x0FF, 0x046, 0x0FF, 0x0FF, 0x0FF, 0x0FF, 0x0FF};
static_assert(std::size(kOpNames) == kRecordOpCount);
static_assert(std::size(kOpFlagWords) == kRecordOpCount);

// "NEXT=NXT:PREVIOUS=PRV:BOTTOM=BOT"
struct Synonym {
  const char* word;
  const char* code;
};
constexpr Synonym kOpSynonyms[] = {{"NEXT", "NXT"}, {"PREVIOUS", "PRV"}, {"BOTTOM", "BOT"}};
static_assert(std::size(kOpSynonyms) == 3);

}  // namespace

int RecordOpNumber(Slice code) {
  if (!code.ok()) return 0;
  AreaMark mark;
  Slice name = Upper(Trim(code));
  for (const Synonym& s : kOpSynonyms) {
    if (name == Slice(s.word)) name = Slice(s.code);
  }
  for (int i = 0; i < kRecordOpCount; ++i) {
    if (name == Slice(kOpNames[i])) return i + 1;
  }
  return 0;
}

Slice RecordOpName(int number) {
  return number >= 1 && number <= kRecordOpCount ? Slice(kOpNames[number - 1]) : Slice();
}

int RecordOpFlags(int number) {
  return number >= 1 && number <= kRecordOpCount ? kOpFlagWords[number - 1] : -1;
}

Status RecordOperation(int file, int number) {
  int flags = RecordOpFlags(number);
  if (flags < 0) {
    return SetDetail(Status::kBadInputData, Slice::Of(std::to_string(number)));
  }
  if (number == kOpDel) return DataFileDelete(file, 0);
  if ((flags & kOpMoveMask) == kOpNoRecordAction) {
    int f = 0;
    return DataFileResolve(file, &f);
  }
  return DataFileMove(file, flags & kOpMoveMask);
}

Status RecordOperation(int file, Slice code) {
  if (!code.ok()) return code.status();
  int number = RecordOpNumber(code);
  if (number == 0) return SetDetail(Status::kBadInputData, code);
  return RecordOperation(file, number);
}

Status RecordExecute(int file, int flags, Slice key, Slice selection, Slice emptiness) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  int action = flags & kOpActionMask;
  Status saved = Status::kOk;
  if (action != 0) {
    bool rewrite_only_changed = (flags & (kOpApply | kOpRevert)) == (kOpApply | kOpRevert);
    if (!rewrite_only_changed || RecordChanged(f)) {
      saved = recops::Save(flags, f, selection, emptiness);
      if (saved.failed() || saved == kResultKeyExists) return saved;
    }
  }
  int move = flags & kOpMoveMask;
  if (move == kOpNoRecordAction || (move == 0 && action != 0)) return saved;
  Status moved;
  if ((move & kOpFindKey) && key.ok() && !key.empty()) {
    moved = DataFileFind(f, -1, key, (move & kMoveLoadNearest) ? kFindNearest : 0);
  } else {
    moved = DataFileMove(f, move & ~kOpFindKey);
  }
  if (moved.failed()) return moved;
  return saved != Status::kOk ? saved : moved;
}

// ---- Buffers ------------------------------------------------------------------------------

namespace recops {

Buffers BuffersOf(int file) {
  RecordBuffers b = FileRecordBuffers(file);
  return Buffers{b.current, b.saved, b.length};
}

std::string CopyBuffer(int file, int which) {
  Buffers b = BuffersOf(file);
  if (!b.ok()) return {};
  return std::string(which == 2 ? b.saved : b.current, b.length);
}

void PutBuffer(int file, int which, const std::string& bytes) {
  Buffers b = BuffersOf(file);
  if (!b.ok() || bytes.size() != b.length) return;
  std::memcpy(which == 2 ? b.saved : b.current, bytes.data(), b.length);
}

bool KeyText(int file, int key, std::string* text, Status* status) {
  AreaMark mark;
  Slice k = DataFileKeyText(file, key, 1);
  if (!k.ok()) {
    *status = k.status();
    return false;
  }
  text->assign(k.view());
  return true;
}

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

Slice EvaluateOver(int file, Slice expression) {
  uint16_t current = Word(kCurFil);
  SetWord(kCurFil, static_cast<uint16_t>(file));
  Slice value = EvaluateToText(expression);
  SetWord(kCurFil, current);
  return value;
}

void SetLastResult(int file, int result) {
  DataFileCtrl* ctrl = DataFileControl(file);
  if (ctrl != nullptr) ctrl->last_result = static_cast<int16_t>(result);
}

}  // namespace recops

bool RecordChanged(int file) {
  int f = 0;
  if (!DataFileResolve(file, &f).ok()) return false;
  recops::Buffers b = recops::BuffersOf(f);
  return b.ok() && std::memcmp(b.current, b.saved, b.length) != 0;
}

Status RecordCommit(int file, Status previous) {
  Status committed = DataFileCommit(file);
  return previous != Status::kOk ? previous : committed;
}

// ---- Relational updates ------------------------------------------------------------------

namespace {

RelationalUpdateSource* g_source = nullptr;

// The result of an evaluation as something to compare: its kind (or status)
// and its bytes.
struct Evaluated {
  uint16_t kind = 0;
  std::string bytes;
  bool operator==(const Evaluated&) const = default;
};

Status EvaluateValue(Slice expression, Evaluated* out) {
  AreaMark mark;
  Status s = Evaluate(expression);
  out->kind = s.code();
  out->bytes.clear();
  if (s == kNumberValue || s == kTextValue) out->bytes = Area().Top().str();
  return s.is_error() ? s : Status(Status::kOk);
}

// The record is empty when its key 1 is blank, or when `emptiness` gives
// the same over the record as over a blank one.
Status RecordIsEmpty(int f, Slice emptiness, bool* empty) {
  std::string key;
  Status s;
  if (!recops::KeyText(f, 1, &key, &s)) return s;
  *empty = recops::IsBlank(key);
  if (*empty || !emptiness.ok() || Trim(emptiness).empty()) return Status::kOk;
  std::string record = recops::CopyBuffer(f, 1);
  recops::PutBuffer(f, 1, std::string(record.size(), ' '));
  Evaluated blank, filled;
  s = EvaluateValue(emptiness, &blank);
  recops::PutBuffer(f, 1, record);
  if (!s.ok()) return s;
  s = EvaluateValue(emptiness, &filled);
  if (!s.ok()) return s;
  *empty = blank == filled;
  return Status::kOk;
}

// Whether key 1 of buffer 1 is already in the file; the file's position and
// buffers are left as they were.
Status KeyExists(int f, bool* exists) {
  std::string key;
  Status s;
  if (!recops::KeyText(f, 1, &key, &s)) return s;
  s = DataFileSaveState(f);
  if (!s.ok()) return s;
  Status found = DataFileFind(f, 1, Slice::Of(key), 0);
  Status restored = DataFileRestoreState(f);
  if (found.failed()) return found;
  if (!restored.ok()) return restored;
  *exists = found == kResultFound;
  return Status::kOk;
}

// Runs the statements with `_SGN` = sign; a revert runs them over the record
// as read (buffer 2) and puts buffer 1 back afterwards.
Status RunUpdates(int f, Slice statements, int sign) {
  if (statements.empty()) return Status::kOk;
  uint16_t old_sign = Word(kSgn);
  bool old_sql = TestBits(kUpStat, recops::kUpStatSqlRun);
  if (TestBits(kAuxStat, recops::kAuxStatSql)) {
    SetBits(kUpStat, recops::kUpStatSqlRun);
  } else {
    ClearBits(kUpStat, recops::kUpStatSqlRun);
  }
  std::string current;
  if (sign < 0) {
    current = recops::CopyBuffer(f, 1);
    recops::PutBuffer(f, 1, recops::CopyBuffer(f, 2));
  }
  SetWord(kSgn, static_cast<uint16_t>(static_cast<int16_t>(sign)));
  Status s = g_source->Execute(f, statements);
  SetWord(kSgn, old_sign);
  if (sign < 0) recops::PutBuffer(f, 1, current);
  if (old_sql) {
    SetBits(kUpStat, recops::kUpStatSqlRun);
  } else {
    ClearBits(kUpStat, recops::kUpStatSqlRun);
  }
  return s.is_error() ? s : Status(Status::kOk);
}

}  // namespace

Status RelationalUpdateSource::Execute(int, Slice statements) {
  return EvaluateForErrors(statements);
}

RelationalUpdateSource* SetRelationalUpdateSource(RelationalUpdateSource* source) {
  RelationalUpdateSource* old = g_source;
  g_source = source;
  return old;
}

Slice DefaultRelationalSelection(int file, Slice selection, int definitions) {
  if (!selection.ok() || !Trim(selection).empty()) return selection;
  if (FileHasLineNumber(file)) return Slice("1+(N_LINE{}>0)");
  if (definitions == 1 || definitions == 2) return Slice("1");
  return Slice();
}

// ---- Saving --------------------------------------------------------------------------------

namespace recops {

Status Save(int flags, int f, Slice selection, Slice emptiness) {
  Buffers b = BuffersOf(f);
  if (!b.ok()) return RecordError(1, ErrorArea::kDataFile, Status::kFileNotInit);
  AreaMark mark;
  int action = flags & kOpActionMask;
  Status s;
  if (flags & kOpCheck) {
    bool empty = false;
    s = RecordIsEmpty(f, emptiness, &empty);
    if (!s.ok()) return s;
    if (empty) return Status::kOk;
    if ((flags & (kOpApply | kOpRevert)) == kOpApply && !TestBits(kUpStat, kUpStatAllowRepeat)) {
      bool exists = false;
      s = KeyExists(f, &exists);
      if (!s.ok()) return s;
      if (exists) return Status(kResultKeyExists);
    }
  }

  // A rewrite of a record that was never loaded stores it as new: it has no
  // old contents to revert.
  bool had_record = DataFileLoadedRecord(f) >= 0;
  Status written = Status::kOk;
  bool wrote = false;
  if (action == kOpInsertRecord) {
    written = DataFileInsert(f);
    if (written.failed()) return written;
    wrote = true;
  } else if (action == kOpRewriteRecord) {
    if (!RecordChanged(f)) return Status::kOk;
    written = DataFileUpdate(f);
    if (written.failed()) return written;
    wrote = true;
  }

  bool revert = (flags & kOpRevert) != 0;
  bool apply = (flags & kOpApply) != 0;
  bool updates = !(flags & kOpNoRelUpdates) && g_source != nullptr &&
                 TestBits(kUpStat, kUpStatRelUpdates) &&
                 ((revert && (action == kOpDeleteRecord || had_record)) || apply);
  Slice statements;
  if (updates) {
    statements = g_source->Select(f, selection);
    if (!statements.ok()) {
      if (wrote) PutBuffer(f, 2, CopyBuffer(f, 1));
      return statements.status();
    }
  }

  Status result = written;
  if (revert) {
    if (action == kOpDeleteRecord) {
      s = DataFileDelete(f, 0);
      if (s.failed() || s == kResultEnd) return s;  // nothing was loaded: nothing deleted
    }
    if (updates && (action == kOpDeleteRecord || had_record)) {
      s = RunUpdates(f, statements, -1);
      if (!s.ok()) result = s;
    }
  }
  // A failed revert stops the definitions of this save.
  if (apply && updates && !result.is_error()) {
    s = RunUpdates(f, statements, +1);
    if (!s.ok()) result = s;
  }
  if (wrote) PutBuffer(f, 2, CopyBuffer(f, 1));
  return result;
}

}  // namespace recops

Status RecordSave(int flags, int file, Slice selection, Slice emptiness) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  return recops::Save(flags, f, selection, emptiness);
}

// ---- Open sets -----------------------------------------------------------------------------

namespace {

// Per file its open flags, or -1 when the set does not name it (closed).
using OpenFlagsList = std::vector<int>;
std::vector<OpenFlagsList> g_open_sets;

bool AllDigits(Slice text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Status ParseOpenSet(Slice text, OpenFlagsList* out) {
  int files = FileCount();
  out->assign(static_cast<size_t>(files) + 1, -1);
  AreaMark mark;
  std::vector<Slice> items = Split(text, ',');
  int last = -1;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    if (!Trim(items[static_cast<size_t>(i)]).empty()) last = i;
  }
  for (int i = 0; i <= last; ++i) {
    Slice item = items[static_cast<size_t>(i)];
    Slice name = Trim(Item(item, ';', 1));
    if (name.empty()) continue;
    Slice mode = Trim(Item(item, ';', 2));
    int file = AllDigits(name) ? Integer(name) : FileByName(name);
    if (file < 1 || file > files) return SetDetail(Status::kFileOpening, name);
    int flags = mode.empty() ? (i == last ? 0 : kDataReadOnly) : (Integer(mode) & 0xFF);
    if (i == last) flags |= kDataMakeCurrent;
    (*out)[static_cast<size_t>(file)] = flags;
  }
  return Status::kOk;
}

// Opens the named files with their flags and closes the others, from the
// last file down to the first.
Status ApplyOpenSet(const OpenFlagsList& set) {
  for (int f = FileCount(); f >= 1; --f) {
    int flags = static_cast<size_t>(f) < set.size() ? set[static_cast<size_t>(f)] : -1;
    Status s = flags >= 0 ? DataFileOpen(f, flags) : DataFileClose(f);
    if (s.is_error()) return s;
  }
  return Status::kOk;
}

}  // namespace

Status OpenSet(Slice set) {
  if (!set.ok()) return set.status();
  {
    AreaMark mark;
    if (Upper(Trim(set)) == Slice("RESTORE")) {
      if (g_open_sets.empty()) {
        Status s = SetDetail(Status::kInternalError, "RESTORE");
        return RecordError(1, ErrorArea::kDataFile, s);
      }
      g_open_sets.pop_back();
      if (!g_open_sets.empty()) return ApplyOpenSet(g_open_sets.back());
      return DataFileCloseAll();
    }
  }
  OpenFlagsList flags;
  Status s = ParseOpenSet(set, &flags);
  if (!s.ok()) return RecordError(1, ErrorArea::kDataFile, s);
  g_open_sets.push_back(std::move(flags));
  return ApplyOpenSet(g_open_sets.back());
}

int OpenSetDepth() { return static_cast<int>(g_open_sets.size()); }

void ClearOpenSets() { g_open_sets.clear(); }

// ---- Installation -----------------------------------------------------------------------

void InstallRecordOperations() {
  recops::InstallFieldOperands();
  (void)SetLineTableEvaluator(LineTableEvaluator{&Condition, &EvaluateForErrors});
}

}  // namespace tessaly
