// The data file engine's operations (see data/datafile.h; the disk formats
// and invariants are in data/datafile_internal.h).
//
// Where the index reaches the disk: DataFileCommit and DataFileClose (when it
// changed, or in a shared open when another process changed it), and the end
// of a reorganisation. Inserts, rewrites and deletes only change the index in
// memory; the record itself is written at once, except in bulk writing,
// where records and index wait in memory for the next checkpoint.
#include "data/datafile.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstring>

#include "core/flags.h"
#include "core/string_area.h"
#include "data/datafile_internal.h"
#include "data/streams.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace tessaly {

using datafile::FileState;
using datafile::Index;
using datafile::JournalEntry;
using datafile::Key;
using datafile::KeyOrder;
using platform::File;

namespace datafile {

namespace {

std::array<std::unique_ptr<FileState>, kDataFileLimit + 1>& Files() {
  static std::array<std::unique_ptr<FileState>, kDataFileLimit + 1> files;
  return files;
}

DataFileCatalog*& CatalogSlot() {
  static DataFileCatalog* catalog = nullptr;
  return catalog;
}

constexpr uint16_t kCompatIndexTmp = 2;
constexpr uint16_t kCompatShortNames = 8;
constexpr uint16_t kUpStatScratch = 2;
constexpr uint16_t kRelResCreated = 4;

// Bulk writing (DataFileBulkBegin): on, and the held records that make a
// checkpoint due at the next DataFileBulkPoint.
struct Bulk {
  bool on = false;
  int64_t checkpoint_records = 0;
};
Bulk& BulkMode() {
  static Bulk bulk;
  return bulk;
}

int PartNo(DataFilePart part) { return static_cast<int>(part); }

}  // namespace

FileState& StateOf(int file) {
  auto& slot = Files()[static_cast<size_t>(file)];
  if (slot == nullptr) slot = std::make_unique<FileState>();
  return *slot;
}

// The runtime path of a data file's part: folder joined with the name, the
// name cut to 8 characters under `_COMPAT` bit 8, then the extension.
std::string PartPath(const DataFileLayout& layout, DataFilePart part) {
  std::string joined;
  {
    AreaMark mark;
    joined = PathJoin(Slice::Of(layout.folder), Slice::Of(layout.name)).str();
  }
  if (TestBits(kCompat, kCompatShortNames)) {
    size_t base = joined.find_last_of("\\/:");
    base = base == std::string::npos ? 0 : base + 1;
    if (joined.size() - base > 8) joined.resize(base + 8);
  }
  const char* ext = "DIR";
  switch (part) {
    case DataFilePart::kRecords:
      ext = "DIR";
      break;
    case DataFilePart::kIndex:
      ext = TestBits(kCompat, kCompatIndexTmp) ? "TMP" : "NDX";
      break;
    case DataFilePart::kLock:
      ext = "lock";
      break;
    case DataFilePart::kWork:
      ext = "TXT";
      break;
  }
  return joined + "." + ext;
}

// Fills the layout part of the state and the paths of its files (runtime and
// Linux forms). Scratch files get fresh names in the TEMP folder.
Status PrepareFile(FileState* st, const DataFileLayout& layout, bool scratch) {
  st->record_length = layout.record_length;
  st->has_line_number = layout.has_line_number;
  st->keys.clear();
  for (const DataKeyDef& def : layout.keys) {
    Key key;
    for (const DataKeySegment& seg : def.segments) {
      key.segments[key.count++] = seg;
      key.length = static_cast<uint16_t>(key.length + seg.length);
    }
    st->keys.push_back(key);
  }
  st->key_scratch.assign(2 * kMaxTextLength + 2, ' ');
  st->scratch = scratch;
  for (int p = 0; p < 4; ++p) st->paths[p] = PartPath(layout, static_cast<DataFilePart>(p));
  if (scratch) {
    static unsigned counter = 0;
    std::string folder = platform::EnvironmentValue("TEMP");
    if (folder.empty()) folder = "/tmp";
    std::string base =
        "TS" + std::to_string(platform::ProcessId()) + "_" + std::to_string(++counter);
    AreaMark mark;
    std::string joined = PathJoin(Slice::Of(folder), Slice::Of(base)).str();
    st->paths[PartNo(DataFilePart::kRecords)] = joined + ".DIR";
    st->paths[PartNo(DataFilePart::kIndex)] = joined + ".NDX";
  }
  for (int p = 0; p < 4; ++p) {
    if (platform::ResolvePath(st->paths[p], platform::Resolve::kForCreate, &st->natives[p]) != 0) {
      return Fail(Status::kFileNotFound, st->paths[p]);
    }
  }
  return Status::kOk;
}

// Records this process's change for a merge at commit (shared writers only).
void Journal(FileState* st, JournalEntry::Kind kind, int32_t record, uint32_t mask,
             const char* old_record) {
  if (!st->shared_writer()) return;
  JournalEntry e{kind, record, mask, {}};
  if (old_record != nullptr) {
    for (const Key& key : st->keys) e.old_keys += KeyText(key, old_record);
  }
  st->journal.push_back(std::move(e));
}

namespace {

// ---- Searching an order ---------------------------------------------------------------

// A probe that cannot read its record stops the search; the caller reports
// 136 for the record file.
struct Probe {
  FileState* st;
  const Key* key;
  bool failed = false;
  const char* Record(int32_t r) {
    const char* rec = st->records.Get(r);
    if (rec == nullptr) failed = true;
    return rec;
  }
};

// The first position whose key text, over m bytes, is not below `text`. In a
// sorted order this is where a binary search that stops on an equal probe
// and walks back to the first equal entry ends, and, when nothing is equal,
// the probe or the one after it: the same position and result, with no walk
// over long runs of equal keys.
uint32_t LowerBound(FileState* st, const KeyOrder& order, const Key& key, const char* text,
                    size_t m, bool* failed) {
  Probe probe{st, &key};
  uint32_t pos = order.PartitionPoint([&](int32_t r) {
    const char* rec = probe.Record(r);
    return rec != nullptr && CompareKey(key, text, m, rec) > 0;
  });
  *failed = probe.failed;
  return pos;
}

// The first position whose key text is above `text`: where an insert lands
// after walking forward past the last equal entry.
uint32_t UpperBound(FileState* st, const KeyOrder& order, const Key& key, const char* text,
                    bool* failed) {
  Probe probe{st, &key};
  uint32_t pos = order.PartitionPoint([&](int32_t r) {
    const char* rec = probe.Record(r);
    return rec != nullptr && CompareKey(key, text, key.length, rec) >= 0;
  });
  *failed = probe.failed;
  return pos;
}

}  // namespace

// Where record r sits in order k: among the entries whose key text equals
// `text` when it is given, else (or when not there) by a scan of the whole
// order. KeyOrder::kAbsent when it is not listed.
uint32_t FindEntry(FileState* st, Index& index, int k, int32_t r, const char* text) {
  KeyOrder& order = index.orders[static_cast<size_t>(k)];
  const Key& key = st->keys[static_cast<size_t>(k)];
  if (text != nullptr) {
    bool failed = false;
    uint32_t lo = LowerBound(st, order, key, text, key.length, &failed);
    if (!failed) {
      uint32_t hi = UpperBound(st, order, key, text, &failed);
      if (!failed && lo < hi) {
        uint32_t at = order.Scan(r, lo, hi);
        if (at != KeyOrder::kAbsent) return at;
      }
    }
  }
  return order.Scan(r, 0, order.size());
}

// Puts record r into order k after the last entry whose key text is not
// above `text` (at *at). False when a probe could not read its record.
bool InsertEntry(FileState* st, Index& index, int k, int32_t r, const char* text,
                 uint32_t* at = nullptr) {
  KeyOrder& order = index.orders[static_cast<size_t>(k)];
  bool failed = false;
  uint32_t pos = UpperBound(st, order, st->keys[static_cast<size_t>(k)], text, &failed);
  if (failed) return false;
  order.Insert(pos, r);
  if (at != nullptr) *at = pos;
  return true;
}

bool RemoveEntry(FileState* st, Index& index, int k, int32_t r, const char* text) {
  uint32_t at = FindEntry(st, index, k, r, text);
  if (at == KeyOrder::kAbsent) return false;
  index.orders[static_cast<size_t>(k)].Erase(at);
  return true;
}

// Replays this process's journal onto `disk`, another process's newer index.
void ReplayJournal(FileState* st, Index& disk) {
  int keys = static_cast<int>(st->keys.size());
  for (const JournalEntry& e : st->journal) {
    switch (e.kind) {
      case JournalEntry::kInsert: {
        auto it = std::find(disk.free.begin(), disk.free.end(), e.record);
        if (it != disk.free.end()) disk.free.erase(it);
        const char* rec = st->records.Get(e.record);
        if (rec == nullptr) break;
        std::string now = KeyText(st->keys[0], rec);
        if (FindEntry(st, disk, 0, e.record, now.data()) != KeyOrder::kAbsent) break;
        for (int k = 0; k < keys; ++k) {
          rec = st->records.Get(e.record);
          if (rec == nullptr) break;
          std::string text = KeyText(st->keys[static_cast<size_t>(k)], rec);
          (void)InsertEntry(st, disk, k, e.record, text.data());
        }
        break;
      }
      case JournalEntry::kRemove: {
        size_t at = 0;
        bool listed = false;
        for (int k = 0; k < keys; ++k) {
          const Key& key = st->keys[static_cast<size_t>(k)];
          listed |= RemoveEntry(st, disk, k, e.record, e.old_keys.data() + at);
          at += key.length;
        }
        if (listed || std::find(disk.free.begin(), disk.free.end(), e.record) == disk.free.end()) {
          disk.free.push_back(e.record);
        }
        break;
      }
      case JournalEntry::kRekey: {
        size_t at = 0;
        for (int k = 0; k < keys; ++k) {
          const Key& key = st->keys[static_cast<size_t>(k)];
          const char* old_text = e.old_keys.data() + at;
          at += key.length;
          if ((e.key_mask & (1u << k)) == 0) continue;
          if (!RemoveEntry(st, disk, k, e.record, old_text)) continue;
          const char* rec = st->records.Get(e.record);
          if (rec == nullptr) continue;
          std::string text = KeyText(key, rec);
          (void)InsertEntry(st, disk, k, e.record, text.data());
        }
        break;
      }
    }
  }
}

}  // namespace datafile

using namespace datafile;  // NOLINT: this file is the engine

namespace {

// ---- Files and buffers -------------------------------------------------------------------

Status ResolveFile(int file, int* resolved) {
  int f = file == 0 ? SignedWord(kCurFil) : file;
  int count = std::min(CurrentDataFileCatalog().FileCount(), kDataFileLimit);
  if (f < 1 || f > count) {
    Status s = SetDetail(Status::kDataOutBound, Slice::Of(std::to_string(file)));
    return RecordError(1, ErrorArea::kDataFile, s);
  }
  *resolved = f;
  return Status::kOk;
}

// The state and buffers of an open file: 168 for a bad number, 169 when it is
// not open or its buffers do not match its record length.
Status Open(int file, int* f, FileState** st, DataRecordBuffers* bufs) {
  Status s = ResolveFile(file, f);
  if (s != Status::kOk) return s;
  *st = &StateOf(*f);
  if (!(*st)->is_open()) return RecordError(1, ErrorArea::kDataFile, Status::kFileNotInit);
  *bufs = CurrentDataFileCatalog().Buffers(*f);
  if (bufs->current == nullptr || bufs->saved == nullptr || bufs->length != (*st)->record_length) {
    return Fail(Status::kFileNotInit, (*st)->paths[0]);
  }
  return Status::kOk;
}

void ClearBuffers(FileState* st, const DataRecordBuffers& b) {
  std::memset(b.current, ' ', b.length);
  std::memset(b.saved, ' ', b.length);
  st->loaded = -1;
}

// Loads record r into both buffers: false when it cannot be read.
bool Load(FileState* st, const DataRecordBuffers& b, int64_t r) {
  const char* rec = st->records.Get(r);
  if (rec == nullptr) return false;
  std::memcpy(b.current, rec, b.length);
  std::memcpy(b.saved, rec, b.length);
  st->loaded = r;
  return true;
}

int64_t OrderSize(FileState* st) {
  if (st->no_index) return st->records.records();
  return st->index.orders[static_cast<size_t>(st->ctrl.current_key - 1)].size();
}

int64_t EntryAt(FileState* st, int64_t pos) {
  if (st->no_index) return pos;
  return st->index.orders[static_cast<size_t>(st->ctrl.current_key - 1)].At(
      static_cast<uint32_t>(pos));
}

void ResetControl(FileState* st) {
  st->ctrl = DataFileCtrl();
  st->saved.clear();
}

// Lets go of everything an open holds, writing nothing.
void Abandon(FileState* st) {
  st->records.Close();
  if (st->exclusive) ReleaseLockFile(st);
  if (st->scratch) {
    platform::Env& env = platform::CurrentEnv();
    (void)env.RemoveFile(st->natives[PartNo(DataFilePart::kRecords)]);
    (void)env.RemoveFile(st->natives[PartNo(DataFilePart::kIndex)]);
  }
  st->lock.reset();
  st->index = Index();
  st->journal.clear();
  st->changed = false;
  st->exclusive = false;
  st->bulk = false;
  st->position = 0;
  st->loaded = -1;
}

// ---- Searching ------------------------------------------------------------------------

// The search of the engine (also used by insert, delete and ranges): sets the
// current key, the position and the last result, and loads as the flags say.
Status Search(int f, FileState* st, const DataRecordBuffers& b, int k, Slice text, int flags) {
  st->ctrl.current_key = static_cast<int16_t>(k);
  const Key& key = st->keys[static_cast<size_t>(k - 1)];
  const char* s = text.data();
  size_t m = text.size();
  if (m == 0) {
    s = " ";
    m = 1;
  }
  m = std::min<size_t>(m, key.length);
  int64_t n = OrderSize(st);
  int64_t pos = 0;
  int result = kResultEnd;
  if (n > 0) {
    bool failed = false;
    if (st->no_index) {
      int64_t lo = 0, hi = n;
      while (lo < hi && !failed) {
        int64_t mid = lo + (hi - lo) / 2;
        const char* rec = st->records.Get(mid);
        if (rec == nullptr) {
          failed = true;
        } else if (CompareKey(key, s, m, rec) > 0) {
          lo = mid + 1;
        } else {
          hi = mid;
        }
      }
      pos = lo;
    } else {
      pos = LowerBound(st, st->index.orders[static_cast<size_t>(k - 1)], key, s, m, &failed);
    }
    if (failed) return Fail(Status::kDiskReadError, st->paths[0]);
    if (pos < n) {
      const char* rec = st->records.Get(EntryAt(st, pos));
      if (rec == nullptr) return Fail(Status::kDiskReadError, st->paths[0]);
      result = CompareKey(key, s, m, rec) == 0 ? kResultFound : kResultNext;
    }
  }
  st->position = pos;
  st->ctrl.last_result = static_cast<int16_t>(result);
  if (result == kResultFound || (result == kResultNext && (flags & kFindNearest))) {
    if (!Load(st, b, EntryAt(st, pos))) return Fail(Status::kDiskReadError, st->paths[0]);
  } else if (flags & kFindPrepare) {
    ClearBuffers(st, b);
    Status stored =
        CurrentDataFileCatalog().StoreKeyParts(f, k, Slice(s, static_cast<uint16_t>(m)));
    if (stored.is_error()) return RecordError(1, ErrorArea::kDataFile, stored);
  }
  return Status(static_cast<uint16_t>(result));
}

// ---- Index to and from the disk --------------------------------------------------------

Status LoadIndex(FileState* st, bool create) {
  const std::string& path = st->paths[PartNo(DataFilePart::kIndex)];
  const std::string& native = st->natives[PartNo(DataFilePart::kIndex)];
  if (st->records.Refresh() != 0) return Fail(Status::kDiskIo, st->paths[0]);
  std::string image;
  bool exists = false;
  if (ReadIndexFile(native, &image, &exists) != 0) return Fail(Status::kDiskIo, path);
  if (!exists) {
    // An index missing beside a record file that holds records was lost:
    // opening it empty would hide the records. Reorganisation rebuilds it.
    if (st->records.records() > 0) return Fail(Status::kDiskIo, path);
    if (create) {
      std::unique_ptr<File> file;
      if (platform::CurrentEnv().OpenFile(native, platform::kOpenWrite | platform::kOpenCreate,
                                          &file) != 0) {
        return Fail(Status::kFileNotFound, path);
      }
    }
  }
  Index index;
  if (!ParseIndex(image, static_cast<int>(st->keys.size()), st->records.records(), &index, nullptr,
                  false)) {
    return Fail(Status::kDiskIo, path);
  }
  st->index = std::move(index);
  st->disk_digest = ImageDigest(image);
  st->changed = false;
  st->journal.clear();
  return Status::kOk;
}

// Writes the index when it changed; in a shared open, first merges what other
// processes committed since this one last met the index on the disk, and
// picks that up even when nothing changed here.
Status FlushIndex(FileState* st) {
  if (st->no_index) return Status::kOk;
  const std::string& path = st->paths[PartNo(DataFilePart::kIndex)];
  const std::string& native = st->natives[PartNo(DataFilePart::kIndex)];
  if (st->exclusive || st->scratch) {
    if (!st->changed) return Status::kOk;
    // Records first: the index must never name a record the disk lacks.
    if (st->records.Sync() != 0) return Fail(Status::kFileIo, st->paths[0]);
    if (WriteIndexFile(native, IndexImage(st->index)) != 0) return Fail(Status::kDiskIo, path);
    st->changed = false;
    return Status::kOk;
  }
  File* records = st->records.file();
  bool locked =
      !st->read_only && records->Lock(kWriteRange, 1, File::LockMode::kExclusive, true) == 0;
  Status result = Status::kOk;
  do {
    std::string image;
    bool exists = false;
    if (ReadIndexFile(native, &image, &exists) != 0) {
      result = Fail(Status::kDiskIo, path);
      break;
    }
    if (ImageDigest(image) != st->disk_digest) {
      if (st->records.Refresh() != 0) {
        result = Fail(Status::kDiskIo, st->paths[0]);
        break;
      }
      Index disk;
      if (!ParseIndex(image, static_cast<int>(st->keys.size()), st->records.records(), &disk,
                      nullptr, false)) {
        result = Fail(Status::kDiskIo, path);
        break;
      }
      ReplayJournal(st, disk);
      st->index = std::move(disk);
      st->changed = !st->journal.empty();
      st->disk_digest = ImageDigest(image);
    }
    if (st->changed && !st->read_only) {
      if (st->records.Sync() != 0) {
        result = Fail(Status::kFileIo, st->paths[0]);
        break;
      }
      std::string mine = IndexImage(st->index);
      if (WriteIndexFile(native, mine) != 0) {
        result = Fail(Status::kDiskIo, path);
        break;
      }
      st->disk_digest = ImageDigest(mine);
    }
    st->changed = false;
    st->journal.clear();
  } while (false);
  if (locked) (void)records->Lock(kWriteRange, 1, File::LockMode::kUnlock, false);
  return result;
}

// Brings a bulk file to the disk as a commit of the normal path would have
// left it: the held records first, forced to the disk, then the index,
// written whole and renamed into place (invariants 2 and 3).
Status Checkpoint(FileState* st) {
  bool wrote = st->records.held() > 0;
  if (st->records.WriteHeld() != 0) return Fail(Status::kDiskWriteError, st->paths[0]);
  if (!wrote && !st->changed) return Status::kOk;
  if (st->records.Sync() != 0) return Fail(Status::kFileIo, st->paths[0]);
  if (st->no_index || !st->changed) return Status::kOk;
  const std::string& path = st->paths[PartNo(DataFilePart::kIndex)];
  const std::string& native = st->natives[PartNo(DataFilePart::kIndex)];
  if (WriteIndexFile(native, IndexImage(st->index)) != 0) return Fail(Status::kDiskIo, path);
  st->changed = false;
  return Status::kOk;
}

// What closing writes: a bulk file's held records and index, else a changed
// index.
Status FlushForClose(FileState* st) {
  if (st->bulk) return Checkpoint(st);
  // Nothing of ours to write: what others committed no longer matters here.
  return st->scratch || !st->changed ? Status(Status::kOk) : FlushIndex(st);
}

// Whether an open takes part in bulk writing: only a file this process holds
// alone, so no other process can pick a slot the held records will fill.
bool TakesBulk(const FileState* st) {
  return BulkMode().on && st->exclusive && !st->scratch && !st->read_only;
}

void EnterBulk(FileState* st) {
  st->bulk = true;
  st->records.Hold(true);
}

// The slot of a new record, written with buffer 1. Shared writers choose and
// write under the write range, so two processes never take one slot.
Status WriteNewRecord(FileState* st, const char* record, int64_t* slot, bool* from_free) {
  File* file = st->records.file();
  bool locked =
      st->shared_writer() && file->Lock(kWriteRange, 1, File::LockMode::kExclusive, true) == 0;
  if (locked) (void)st->records.Refresh();
  *from_free = false;
  int64_t r = -1;
  std::vector<int32_t>& free = st->index.free;
  while (!st->no_index && !free.empty()) {
    int32_t candidate = free.back();
    if (!locked) {
      r = candidate;
      break;
    }
    // Another process may have reused a slot it freed too.
    const char* rec = st->records.Get(candidate);
    if (rec != nullptr && rec[0] == kDeletedMark) {
      r = candidate;
      break;
    }
    free.pop_back();
    st->changed = true;
  }
  if (r >= 0) {
    *from_free = true;
  } else {
    int64_t listed = st->no_index ? 0 : int64_t{st->index.live()} + int64_t(free.size());
    r = std::max(listed, st->records.records());
  }
  int err = r > INT32_MAX ? EFBIG : st->records.Put(r, record);
  if (locked) (void)file->Lock(kWriteRange, 1, File::LockMode::kUnlock, false);
  if (err != 0) return Fail(Status::kDiskWriteError, st->paths[0]);
  *slot = r;
  return Status::kOk;
}

}  // namespace

// ---- Catalog ---------------------------------------------------------------------------

DataFileTable& BuiltinDataFileTable() {
  static DataFileTable table;
  return table;
}

DataFileCatalog& CurrentDataFileCatalog() {
  DataFileCatalog* c = CatalogSlot();
  return c != nullptr ? *c : BuiltinDataFileTable();
}

DataFileCatalog* SetDataFileCatalog(DataFileCatalog* catalog) {
  (void)DataFileCloseAll();
  DataFileCatalog* old = CatalogSlot();
  CatalogSlot() = catalog;
  for (auto& st : Files()) {
    if (st != nullptr) ResetControl(st.get());
  }
  return old;
}

// ---- Files -----------------------------------------------------------------------------

Status DataFileResolve(int file, int* resolved) { return ResolveFile(file, resolved); }

DataFileCtrl* DataFileControl(int file) {
  int f = 0;
  if (ResolveFile(file, &f) != Status::kOk) return nullptr;
  return &StateOf(f).ctrl;
}

void DataFileReset(int file) {
  if (file < 1 || file > kDataFileLimit) return;
  FileState& st = StateOf(file);
  if (st.is_open()) (void)DataFileClose(file);
  ResetControl(&st);
}

bool DataFileIsOpen(int file) {
  int f = 0;
  return ResolveFile(file, &f) == Status::kOk && StateOf(f).is_open();
}

Status DataFileOpen(int file, int flags) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return s;
  if (flags & kDataMakeCurrent) SetWord(kCurFil, static_cast<uint16_t>(f));
  FileState* st = &StateOf(f);
  if (st->is_open() && ((st->ctrl.open_flags ^ flags) & ~kDataMakeCurrent) == 0) {
    return Status::kOk;
  }
  DataFileCatalog& catalog = CurrentDataFileCatalog();
  DataFileLayout layout;
  s = catalog.Layout(f, &layout);
  if (s != Status::kOk) return RecordError(1, ErrorArea::kDataFile, s);
  s = CheckDataFileLayout(layout);
  if (s != Status::kOk) return Fail(Status::kFileNotInit, layout.name);
  DataRecordBuffers b = catalog.Buffers(f);
  if (b.current == nullptr || b.saved == nullptr || b.length != layout.record_length) {
    return Fail(Status::kFileNotInit, layout.name);
  }
  std::memset(b.current, ' ', b.length);
  std::memset(b.saved, ' ', b.length);
  if (st->is_open()) (void)DataFileClose(f);
  ResetControl(st);

  bool scratch = TestBits(kUpStat, kUpStatScratch);
  s = PrepareFile(st, layout, scratch);
  if (s != Status::kOk) return s;
  st->read_only = (flags & kDataReadOnly) != 0 && !scratch;
  st->no_index = (flags & kDataNoIndex) != 0;
  st->exclusive = false;
  if ((flags & kDataExclusive) && !scratch) {
    s = AcquireLockFile(st);
    if (s != Status::kOk) return s;
    st->exclusive = true;
  }

  const std::string& path = st->paths[PartNo(DataFilePart::kRecords)];
  const std::string& native = st->natives[PartNo(DataFilePart::kRecords)];
  int err;
  if (st->read_only) {
    err = st->records.Open(native, platform::kOpenRead, layout.record_length);
    if (err != 0) {
      // A missing file is made, empty, and opened again read-only.
      err = st->records.Open(native,
                             platform::kOpenRead | platform::kOpenWrite | platform::kOpenCreate,
                             layout.record_length);
      st->records.Close();
      if (err == 0) err = st->records.Open(native, platform::kOpenRead, layout.record_length);
    }
  } else {
    int mode = platform::kOpenRead | platform::kOpenWrite | platform::kOpenCreate;
    if (scratch) mode |= platform::kOpenTruncate;
    err = st->records.Open(native, mode, layout.record_length);
  }
  if (err != 0) {
    Abandon(st);
    return Fail(err == EACCES || err == EPERM ? Status::kPermissionDenied : Status::kFileNotFound,
                path);
  }

  if (!scratch) {
    File* records = st->records.file();
    (void)records->Lock(kOpenRange, 1, File::LockMode::kShared, false);
    bool refused = false;
    std::string refused_path = path;
    if (st->exclusive) {
      bool others = false;
      refused =
          records->TestLock(kOpenRange, 1, File::LockMode::kExclusive, &others) == 0 && others;
    } else if (LockFileHeld(st->natives[PartNo(DataFilePart::kLock)])) {
      refused = true;
      refused_path = st->paths[PartNo(DataFilePart::kLock)];
    }
    if (refused) {
      Abandon(st);
      return Fail(Status::kPermissionDenied, refused_path);
    }
    // An interrupted reorganisation: the records are whole only in the work
    // file until a reorganisation finishes the job.
    if (platform::CurrentEnv().Exists(st->natives[PartNo(DataFilePart::kWork)])) {
      Abandon(st);
      return Fail(Status::kDiskIo, st->paths[PartNo(DataFilePart::kWork)]);
    }
  }
  if (!st->no_index) {
    if (scratch) {
      std::unique_ptr<File> fresh;
      (void)platform::CurrentEnv().OpenFile(
          st->natives[PartNo(DataFilePart::kIndex)],
          platform::kOpenWrite | platform::kOpenCreate | platform::kOpenTruncate, &fresh);
    }
    s = LoadIndex(st, !st->read_only);
    if (s != Status::kOk) {
      Abandon(st);
      return s;
    }
  }
  st->ctrl.open_flags = static_cast<uint8_t>(flags);
  st->ctrl.record_stream = static_cast<int16_t>(f);
  st->position = 0;
  st->loaded = -1;
  if (TakesBulk(st)) EnterBulk(st);
  return DataFileMove(f, kMoveFirst);
}

Status DataFileClose(int file) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return s;
  FileState* st = &StateOf(f);
  if (!st->is_open()) return Status::kOk;
  Status result = FlushForClose(st);
  Abandon(st);
  ResetControl(st);
  return result;
}

Status DataFileCloseAll() {
  Status first = Status::kOk;
  for (int f = 1; f <= kDataFileLimit; ++f) {
    auto& slot = Files()[static_cast<size_t>(f)];
    if (slot == nullptr || !slot->is_open()) continue;
    Status s = FlushForClose(slot.get());
    Abandon(slot.get());
    ResetControl(slot.get());
    if (first == Status::kOk && s != Status::kOk) first = s;
  }
  return first;
}

// ---- Searching and moving -------------------------------------------------------------

Status DataFileFind(int file, int key, Slice text, int flags) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (!text.ok()) return text.status();
  int k = key <= 0 ? st->ctrl.current_key : key;
  if (k < 1 || k > static_cast<int>(st->keys.size())) {
    return Fail(Status::kDataOutBound, st->paths[0]);
  }
  return Search(f, st, b, k, text, flags);
}

Status DataFileSetKey(int file, int key) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (key < 1 || key > static_cast<int>(st->keys.size())) {
    return Fail(Status::kDataOutBound, st->paths[0]);
  }
  st->ctrl.current_key = static_cast<int16_t>(key);
  return Status::kOk;
}

Status DataFileMove(int file, int code) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  int result;
  if (code & kMoveClear) {
    ClearBuffers(st, b);
    result = kResultCleared;
  } else {
    int64_t n = OrderSize(st);
    if (n == 0) {
      result = kResultEnd;
    } else {
      int64_t p = st->position;
      switch (code & (kMoveNext | kMoveLast | kMoveBackward)) {
        case kMoveNext:
          ++p;
          break;
        case kMovePrevious:
          --p;
          break;
        case kMoveLast:
          p = n - 1;
          break;
        case kMoveFirst:
          p = 0;
          break;
        default:
          break;
      }
      if (p < 0) {
        p = 0;
        result = kResultNext;
      } else if (p >= n) {
        p = n - 1;
        result = kResultEnd;
      } else {
        result = kResultFound;
      }
      st->position = p;
    }
    if (result == kResultFound || (result == kResultNext && (code & kMoveLoadNearest))) {
      if (!Load(st, b, EntryAt(st, st->position))) {
        return Fail(Status::kDiskReadError, st->paths[0]);
      }
    } else {
      ClearBuffers(st, b);
    }
  }
  st->ctrl.last_result = static_cast<int16_t>(result);
  return Status(static_cast<uint16_t>(result));
}

// ---- Writing --------------------------------------------------------------------------

Status DataFileInsert(int file) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  // A record that begins with the deletion mark would vanish at the next
  // reorganisation.
  if (b.current[0] == kDeletedMark) return Fail(Status::kBadInputData, st->paths[0]);
  int64_t slot = 0;
  bool from_free = false;
  s = WriteNewRecord(st, b.current, &slot, &from_free);
  if (s != Status::kOk) return s;
  if (st->no_index) {
    st->loaded = slot;
    return Status::kOk;
  }
  if (from_free) st->index.free.pop_back();
  int32_t r = static_cast<int32_t>(slot);
  int keys = static_cast<int>(st->keys.size());
  const int current = st->ctrl.current_key - 1;
  uint32_t at_current = 0;
  for (int k = 0; k < keys; ++k) {
    char* text = st->key_scratch.data();
    CopyKeyText(st->keys[static_cast<size_t>(k)], b.current, text);
    if (!InsertEntry(st, st->index, k, r, text, k == current ? &at_current : nullptr)) {
      // Take the record out of the orders it reached: every order lists the
      // same records, or none.
      for (int j = 0; j < k; ++j) {
        CopyKeyText(st->keys[static_cast<size_t>(j)], b.current, text);
        (void)RemoveEntry(st, st->index, j, r, text);
      }
      if (from_free) st->index.free.push_back(r);
      return Fail(Status::kDiskReadError, st->paths[0]);
    }
  }
  st->changed = true;
  Journal(st, JournalEntry::kInsert, r, 0, nullptr);
  st->loaded = r;
  if (st->has_line_number) return Status::kOk;
  // Is the new record the first of its key text in the current key? It went
  // in after every equal one, so only its neighbour before can tell; when
  // that one differs, the search of the key text would land on the new
  // record and load it, which the buffers already hold.
  const Key& key = st->current_key();
  char* text = st->key_scratch.data();
  CopyKeyText(key, b.current, text);
  bool repeated = false;
  if (at_current > 0) {
    const char* before =
        st->records.Get(st->index.orders[static_cast<size_t>(current)].At(at_current - 1));
    if (before == nullptr) return Fail(Status::kDiskReadError, st->paths[0]);
    repeated = CompareKey(key, text, key.length, before) == 0;
  }
  if (!repeated) {
    st->position = at_current;
    st->ctrl.last_result = kResultFound;
    std::memcpy(b.saved, b.current, b.length);
    return Status::kOk;
  }
  s = Search(f, st, b, st->ctrl.current_key, Slice(text, key.length), 0);
  if (s != kResultFound) return s;
  return EntryAt(st, st->position) == r ? Status::kOk : Status(kResultRepeated);
}

Status DataFileUpdate(int file) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (std::memcmp(b.current, b.saved, b.length) == 0) return Status::kOk;
  if (st->loaded < 0) return DataFileInsert(f);
  if (b.current[0] == kDeletedMark) return Fail(Status::kBadInputData, st->paths[0]);
  int32_t r = static_cast<int32_t>(st->loaded);
  // The keys that move are those whose text differs from the record as
  // stored, which is what the orders were sorted by. Buffer 2 is that record
  // when it was read; after an insert into a line file it may be another.
  std::string stored;
  if (!st->no_index) {
    const char* rec = st->records.Get(r);
    if (rec == nullptr) return Fail(Status::kDiskReadError, st->paths[0]);
    stored.assign(rec, b.length);
    // A slot that no key lists (freed, read by number) is no record to
    // rewrite: what the buffer holds is stored as a new one.
    if (FindEntry(st, st->index, 0, r, KeyText(st->keys[0], stored.data()).data()) ==
        KeyOrder::kAbsent) {
      return DataFileInsert(f);
    }
  }
  if (st->records.Put(r, b.current) != 0) return Fail(Status::kDiskWriteError, st->paths[0]);
  if (st->no_index) return Status::kOk;
  uint32_t mask = 0;
  int keys = static_cast<int>(st->keys.size());
  std::string new_text, stored_text;
  for (int k = 0; k < keys; ++k) {
    const Key& key = st->keys[static_cast<size_t>(k)];
    new_text = KeyText(key, b.current);
    stored_text = KeyText(key, stored.data());
    if (stored_text == new_text) continue;
    uint32_t at = FindEntry(st, st->index, k, r, stored_text.data());
    if (at == KeyOrder::kAbsent) continue;
    KeyOrder& order = st->index.orders[static_cast<size_t>(k)];
    order.Erase(at);
    if (!InsertEntry(st, st->index, k, r, new_text.data())) {
      order.Insert(at, r);
      return Fail(Status::kDiskReadError, st->paths[0]);
    }
    mask |= 1u << k;
  }
  if (mask != 0) {
    st->changed = true;
    Journal(st, JournalEntry::kRekey, r, mask, stored.data());
  }
  return Status::kOk;
}

Status DataFileDelete(int file, int flags) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (st->loaded < 0) return Status(kResultEnd);
  int32_t r = static_cast<int32_t>(st->loaded);
  std::string stored;
  if (!st->no_index) {
    const char* rec = st->records.Get(r);
    if (rec == nullptr) return Fail(Status::kDiskReadError, st->paths[0]);
    stored.assign(rec, b.length);
  }
  // A record that no key lists (a freed slot read by number, a record written
  // after the last commit) gets the mark but no second place on the free list.
  bool listed =
      !st->no_index && FindEntry(st, st->index, 0, r, KeyText(st->keys[0], stored.data()).data()) !=
                           KeyOrder::kAbsent;
  b.current[0] = kDeletedMark;
  if (st->records.Put(r, b.current) != 0) return Fail(Status::kDiskWriteError, st->paths[0]);
  st->loaded = -1;
  if (!listed) return Status::kOk;
  int keys = static_cast<int>(st->keys.size());
  for (int k = keys - 1; k >= 0; --k) {
    char* text = st->key_scratch.data();
    CopyKeyText(st->keys[static_cast<size_t>(k)], stored.data(), text);
    (void)RemoveEntry(st, st->index, k, r, text);
  }
  st->index.free.push_back(r);
  st->changed = true;
  Journal(st, JournalEntry::kRemove, r, 0, stored.data());
  if (flags & kDeleteReposition) {
    const Key& key = st->current_key();
    std::string old_text = KeyText(key, b.saved);
    s = Search(f, st, b, st->ctrl.current_key, Slice(old_text.data(), key.length), 0);
    if (s.is_error()) return s;
  }
  return Status::kOk;
}

// ---- Ranges -----------------------------------------------------------------------------

Status DataFileUpdateRange(int file, int key, Slice prefix, int flags,
                           const DataFileRecordAction& action) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (!prefix.ok()) return prefix.status();
  int k = key <= 0 ? st->ctrl.current_key : key;
  if (k < 1 || k > static_cast<int>(st->keys.size())) {
    return Fail(Status::kDataOutBound, st->paths[0]);
  }
  std::string p = prefix.str();
  if (p.empty()) p.push_back(' ');
  p.resize(std::min<size_t>(p.size(), st->keys[static_cast<size_t>(k - 1)].length));
  Slice ps(p.data(), static_cast<uint16_t>(p.size()));
  s = DataFileSaveState(f);
  if (s != Status::kOk) return s;
  Status result = Status::kOk;
  do {
    s = Search(f, st, b, k, ps, 0);
    if (s.is_error()) {
      result = s;
      break;
    }
    if (s != kResultFound && (flags & kRangeCreate)) {
      s = Search(f, st, b, k, ps, kFindPrepare);
      if (s.is_error()) {
        result = s;
        break;
      }
      s = DataFileInsert(f);
      if (s.failed()) {
        result = s;
        break;
      }
      SetWord(kRelRes, kRelResCreated);
      s = Search(f, st, b, k, ps, 0);
      if (s.is_error()) {
        result = s;
        break;
      }
    }
    const Key& rkey = st->keys[static_cast<size_t>(k - 1)];
    while (st->ctrl.last_result == kResultFound &&
           CompareKey(rkey, p.data(), p.size(), b.current) == 0) {
      if (action) {
        s = action(f);
        if (s != Status::kOk) {
          result = s;
          break;
        }
      }
      // The record that follows, found again after the rewrite: a rewrite
      // that moves this record within the order shifts its neighbours.
      int64_t next = st->position + 1 < OrderSize(st) ? EntryAt(st, st->position + 1) : -1;
      s = DataFileUpdate(f);
      if (s.failed()) {
        result = s;
        break;
      }
      if (next < 0) {
        s = DataFileMove(f, kMoveNext);
      } else {
        int64_t at = st->position;
        if (at + 1 < OrderSize(st) && EntryAt(st, at + 1) == next) {
          ++at;
        } else if (!(at < OrderSize(st) && EntryAt(st, at) == next)) {
          at = -1;
          for (int64_t i = 0, n = OrderSize(st); i < n && at < 0; ++i) {
            if (EntryAt(st, i) == next) at = i;
          }
        }
        if (at < 0) break;
        st->position = at;
        s = Load(st, b, next) ? Status(kResultFound) : Fail(Status::kDiskReadError, st->paths[0]);
        st->ctrl.last_result = kResultFound;
      }
      if (s.is_error()) {
        result = s;
        break;
      }
    }
  } while (false);
  Status restored = DataFileRestoreState(f);
  return result != Status::kOk ? result : restored;
}

Status DataFileRangeEnd(int file, Slice prefix, bool backward) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (st->ctrl.last_result > kResultNext) return Status(kResultEnd);
  if (!prefix.ok() || prefix.empty()) return Status::kOk;
  const Key& key = st->current_key();
  size_t m = std::min<size_t>(prefix.size(), key.length);
  int c = CompareKey(key, prefix.data(), m, b.current);
  if (c == 0) return Status::kOk;
  if (!backward && c < 0) return Status(kResultEnd);
  if (backward && c > 0) return Status(kResultEnd);
  return Status::kOk;
}

// ---- Commit, copy, records by number ----------------------------------------------------

Status DataFileCommit(int file) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  // Deferred to the next checkpoint: nobody else sees the file meanwhile.
  if (st->bulk) return Status::kOk;
  if (!st->read_only && st->no_index && st->records.Sync() != 0) {
    return Fail(Status::kFileIo, st->paths[0]);
  }
  s = FlushIndex(st);
  if (st->records.Refresh() != 0 && s == Status::kOk) s = Fail(Status::kFileIo, st->paths[0]);
  return s;
}

// ---- Bulk writing ---------------------------------------------------------------------

Status DataFileBulkBegin(int64_t checkpoint_records) {
  // REQUIRES: checkpoint_records >= 0.
  assert(checkpoint_records >= 0);
  Bulk& bulk = BulkMode();
  bulk.checkpoint_records = checkpoint_records;
  if (bulk.on) return Status::kOk;
  bulk.on = true;
  for (int f = 1; f <= kDataFileLimit; ++f) {
    auto& slot = Files()[static_cast<size_t>(f)];
    if (slot == nullptr || !slot->is_open() || !TakesBulk(slot.get())) continue;
    // What the normal path left uncommitted reaches the disk first.
    if (slot->changed) {
      Status s = FlushIndex(slot.get());
      if (s != Status::kOk) {
        (void)DataFileBulkEnd();
        return s;
      }
    }
    EnterBulk(slot.get());
  }
  return Status::kOk;
}

Status DataFileBulkCheckpoint() {
  Status first = Status::kOk;
  for (int f = 1; f <= kDataFileLimit; ++f) {
    auto& slot = Files()[static_cast<size_t>(f)];
    if (slot == nullptr || !slot->is_open() || !slot->bulk) continue;
    Status s = Checkpoint(slot.get());
    if (first == Status::kOk && s != Status::kOk) first = s;
  }
  return first;
}

Status DataFileBulkPoint() {
  const Bulk& bulk = BulkMode();
  if (!bulk.on) return Status::kOk;
  return DataFileBulkHeld() >= bulk.checkpoint_records ? DataFileBulkCheckpoint()
                                                       : Status(Status::kOk);
}

Status DataFileBulkEnd() {
  Status s = DataFileBulkCheckpoint();
  for (int f = 1; f <= kDataFileLimit; ++f) {
    auto& slot = Files()[static_cast<size_t>(f)];
    if (slot == nullptr || !slot->bulk) continue;
    // A file whose checkpoint failed keeps holding: its records are not on
    // the disk, and its close tries once more.
    if (slot->records.held() > 0) continue;
    slot->bulk = false;
    slot->records.Hold(false);
  }
  BulkMode().on = false;
  return s;
}

bool DataFileInBulk() { return BulkMode().on; }

int64_t DataFileBulkHeld() {
  int64_t held = 0;
  for (int f = 1; f <= kDataFileLimit; ++f) {
    auto& slot = Files()[static_cast<size_t>(f)];
    if (slot != nullptr && slot->bulk) held += static_cast<int64_t>(slot->records.held());
  }
  return held;
}

Status DataFileCopy(int file, Slice folder, int direction) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return s;
  if (!folder.ok()) return folder.status();
  DataFileLayout layout;
  s = CurrentDataFileCatalog().Layout(f, &layout);
  if (s != Status::kOk) return RecordError(1, ErrorArea::kDataFile, s);
  FileState* st = &StateOf(f);
  int reopen_flags = -1;
  if (st->is_open()) {
    if (direction == 0) {
      // A copy takes what the disk holds, so held records go there first.
      s = st->bulk ? Checkpoint(st) : DataFileCommit(f);
      if (s != Status::kOk) return s;
    } else {
      // Restoring under an open file would leave its index in memory stale.
      reopen_flags = st->ctrl.open_flags;
      s = DataFileClose(f);
      if (s != Status::kOk) return s;
    }
  }
  for (DataFilePart part : {DataFilePart::kRecords, DataFilePart::kIndex}) {
    std::string own = PartPath(layout, part);
    std::string other;
    {
      AreaMark mark;
      other = PathJoin(folder, Slice::Of(own)).str();
    }
    const std::string& from = direction == 0 ? own : other;
    const std::string& to = direction == 0 ? other : own;
    if (!platform::FileExists(from)) {
      // Never an index without its records.
      if (part == DataFilePart::kRecords) break;
      continue;
    }
    size_t cut = to.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) (void)platform::MakeFolders(to.substr(0, cut));
    if (platform::CopyFile(from, to) != 0) {
      s = Fail(Status::kFileIo, to);
      break;
    }
  }
  if (reopen_flags >= 0) {
    Status reopened = DataFileOpen(f, reopen_flags);
    if (s == Status::kOk && reopened.failed()) s = reopened;
  }
  return s;
}

Status DataFileReadRecord(int file, int64_t record) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (record < 0 || !Load(st, b, record)) return Fail(Status::kDiskReadError, st->paths[0]);
  return Status::kOk;
}

Status DataFileWriteRecord(int file, int64_t record) {
  int f = 0;
  FileState* st = nullptr;
  DataRecordBuffers b;
  Status s = Open(file, &f, &st, &b);
  if (s != Status::kOk) return s;
  if (record < 0 || record > INT32_MAX || st->records.Put(record, b.current) != 0) {
    return Fail(Status::kDiskWriteError, st->paths[0]);
  }
  return Status::kOk;
}

Slice DataFileKeyText(int file, int key, int which) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return Slice::Error(s);
  FileState* st = &StateOf(f);
  DataRecordBuffers b = CurrentDataFileCatalog().Buffers(f);
  std::vector<Key> keys;
  if (st->is_open()) {
    keys = st->keys;
  } else {
    DataFileLayout layout;
    if (CurrentDataFileCatalog().Layout(f, &layout) != Status::kOk) {
      return Slice::Error(Status::kFileNotInit);
    }
    for (const DataKeyDef& def : layout.keys) {
      Key k;
      for (const DataKeySegment& seg : def.segments) {
        if (k.count < kDataKeySegmentLimit) k.segments[k.count++] = seg;
        k.length = static_cast<uint16_t>(k.length + seg.length);
      }
      keys.push_back(k);
    }
  }
  int k = key <= 0 ? st->ctrl.current_key : key;
  if (k < 1 || k > static_cast<int>(keys.size())) return Slice::Error(Status::kDataOutBound);
  const char* record = which == 2 ? b.saved : b.current;
  if (record == nullptr) return Slice::Error(Status::kFileNotInit);
  const Key& kd = keys[static_cast<size_t>(k - 1)];
  for (int i = 0; i < kd.count; ++i) {
    if (kd.segments[i].offset + kd.segments[i].length > b.length) {
      return Slice::Error(Status::kFileNotInit);
    }
  }
  std::string text = KeyText(kd, record);
  return Area().Push(Slice::Of(text));
}

// ---- State ------------------------------------------------------------------------------

Status DataFileSaveState(int file) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return s;
  FileState* st = &StateOf(f);
  DataRecordBuffers b = CurrentDataFileCatalog().Buffers(f);
  SavedState saved{st->ctrl, {}, st->position, st->loaded};
  if (b.current != nullptr && b.saved != nullptr) {
    saved.buffers.assign(b.current, b.length);
    saved.buffers.append(b.saved, b.length);
  }
  st->saved.push_back(std::move(saved));
  return Status::kOk;
}

Status DataFileRestoreState(int file) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (s != Status::kOk) return s;
  FileState* st = &StateOf(f);
  if (st->saved.empty()) return RecordError(1, ErrorArea::kDataFile, Status::kInternalError);
  SavedState saved = std::move(st->saved.back());
  st->saved.pop_back();
  DataRecordBuffers b = CurrentDataFileCatalog().Buffers(f);
  if (b.current != nullptr && b.saved != nullptr && saved.buffers.size() == 2u * b.length) {
    std::memcpy(b.current, saved.buffers.data(), b.length);
    std::memcpy(b.saved, saved.buffers.data() + b.length, b.length);
  }
  // Whether the file is open is not the saved state's to say.
  int16_t stream = st->ctrl.record_stream;
  uint8_t flags = st->ctrl.open_flags;
  st->ctrl = saved.ctrl;
  st->ctrl.record_stream = stream;
  st->ctrl.open_flags = flags;
  if (!st->is_open()) return Status::kOk;
  if (st->ctrl.current_key < 1 || st->ctrl.current_key > static_cast<int>(st->keys.size())) {
    st->ctrl.current_key = 1;
  }
  st->position = saved.position;
  st->loaded = saved.loaded;
  // Records inserted meanwhile shift the order: find the loaded record again.
  if (st->loaded >= 0 && !st->no_index) {
    int64_t n = OrderSize(st);
    if (!(st->position >= 0 && st->position < n && EntryAt(st, st->position) == st->loaded)) {
      int k = st->ctrl.current_key - 1;
      std::string text = KeyText(st->keys[static_cast<size_t>(k)], b.saved);
      uint32_t at = FindEntry(st, st->index, k, static_cast<int32_t>(st->loaded), text.data());
      if (at != KeyOrder::kAbsent) st->position = at;
    }
  }
  return Status::kOk;
}

// ---- Queries -----------------------------------------------------------------------------

int64_t DataFileRecordCount(int file) {
  int f = 0;
  if (ResolveFile(file, &f) != Status::kOk) return -1;
  FileState* st = &StateOf(f);
  if (!st->is_open()) return -1;
  if (st->no_index) {
    (void)st->records.Refresh();
    return st->records.records();
  }
  return st->index.live();
}

int64_t DataFilePosition(int file) {
  int f = 0;
  if (ResolveFile(file, &f) != Status::kOk) return -1;
  FileState* st = &StateOf(f);
  return st->is_open() ? st->position : -1;
}

int64_t DataFileLoadedRecord(int file) {
  int f = 0;
  if (ResolveFile(file, &f) != Status::kOk) return -1;
  FileState* st = &StateOf(f);
  return st->is_open() ? st->loaded : -1;
}

std::string DataFilePath(int file, DataFilePart part) {
  int f = 0;
  if (ResolveFile(file, &f) != Status::kOk) return {};
  FileState* st = &StateOf(f);
  if (st->is_open()) return st->paths[PartNo(part)];
  DataFileLayout layout;
  if (CurrentDataFileCatalog().Layout(f, &layout) != Status::kOk) return {};
  return PartPath(layout, part);
}

}  // namespace tessaly
