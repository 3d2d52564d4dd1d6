// Reorganisation (rebuilding a file's index from its records) and the check
// of an index against its record file.
//
// Reorganising gives what inserting the surviving records one by one into
// empty files would give: the records packed in their order, and each key
// order sorted by key text with equal keys in record order. It builds that
// with one pass over the records and one sort per key.
//
// Steps, each one safe to interrupt:
//   1. Hold the lock file; refuse while another process has the file open.
//   2. Rename the record file to the work file ("TXT"), unless a work file
//      is already there: then an earlier reorganisation was interrupted and
//      the work file holds the records.
//   3. Remove the index; write the surviving records to a new record file.
//   4. Write the new index beside its name and rename it into place.
//   5. Remove the work file; let go of the lock file.
// Until step 5 the work file exists, opens refuse, and a new reorganisation
// starts again from the work file.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "core/flags.h"
#include "data/datafile_internal.h"

namespace tessaly {

using datafile::FileState;
using datafile::Key;
using platform::File;

namespace {

constexpr uint16_t kUpStatScratch = 2;

int Part(DataFilePart p) { return static_cast<int>(p); }

// One key of every surviving record: the first 8 bytes (big-endian) decide
// most comparisons without touching the key texts.
struct SortEntry {
  uint64_t prefix;
  uint32_t record;
};

std::vector<int32_t> SortedOrder(const std::string& texts, uint16_t length, uint32_t count) {
  std::vector<SortEntry> entries(count);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* t =
        reinterpret_cast<const unsigned char*>(texts.data()) + static_cast<size_t>(i) * length;
    uint64_t p = 0;
    for (int j = 0; j < 8; ++j) p = (p << 8) | (j < length ? t[j] : 0);
    entries[i] = SortEntry{p, i};
  }
  const char* base = texts.data();
  // Ties end on the record number: the same order a stable sort of the
  // records as they lie in the file gives.
  std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (length > 8) {
      int c = std::memcmp(base + static_cast<size_t>(a.record) * length + 8,
                          base + static_cast<size_t>(b.record) * length + 8, length - 8u);
      if (c != 0) return c < 0;
    }
    return a.record < b.record;
  });
  std::vector<int32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = static_cast<int32_t>(entries[i].record);
  return order;
}

Status KeyTextFailure(Status code, const Key& key, const char* record) {
  Status s = SetDetail(code, Slice::Of(datafile::KeyText(key, record)));
  return RecordError(1, ErrorArea::kDataFile, s);
}

// Steps 2-5 with the lock file held.
Status Rebuild(FileState* st, const DataFileProgress& progress) {
  platform::Env& env = platform::CurrentEnv();
  const std::string& rec_native = st->natives[Part(DataFilePart::kRecords)];
  const std::string& idx_native = st->natives[Part(DataFilePart::kIndex)];
  const std::string& work_native = st->natives[Part(DataFilePart::kWork)];
  const std::string& rec_path = st->paths[Part(DataFilePart::kRecords)];
  const uint16_t length = st->record_length;

  if (!env.Exists(work_native)) {
    if (!env.Exists(rec_native)) {
      // Nothing recorded yet: an empty file and an empty index.
      std::unique_ptr<File> made;
      if (env.OpenFile(rec_native, platform::kOpenWrite | platform::kOpenCreate, &made) != 0) {
        return datafile::Fail(Status::kFileNotFound, rec_path);
      }
      (void)env.RemoveFile(idx_native);
      return Status::kOk;
    }
    if (env.RenameFile(rec_native, work_native, /*replace=*/false) != 0) {
      return datafile::Fail(Status::kFileIo, rec_path);
    }
  }
  int err = env.RemoveFile(idx_native);
  if (err != 0 && err != ENOENT) {
    return datafile::Fail(Status::kDiskIo, st->paths[Part(DataFilePart::kIndex)]);
  }

  std::unique_ptr<File> work;
  if (env.OpenFile(work_native, platform::kOpenRead, &work) != 0) {
    return datafile::Fail(Status::kFileNotFound, st->paths[Part(DataFilePart::kWork)]);
  }
  int64_t size = work->Size();
  if (size < 0) return datafile::Fail(Status::kDiskReadError, st->paths[Part(DataFilePart::kWork)]);
  int64_t total = size / length;
  if (total > INT32_MAX) return datafile::Fail(Status::kDiskReadError, rec_path);

  std::unique_ptr<File> out;
  if (env.OpenFile(rec_native,
                   platform::kOpenRead | platform::kOpenWrite | platform::kOpenCreate |
                       platform::kOpenTruncate,
                   &out) != 0) {
    return datafile::Fail(Status::kFileNotFound, rec_path);
  }

  size_t keys = st->keys.size();
  std::vector<std::string> texts(keys);
  for (size_t k = 0; k < keys; ++k) {
    texts[k].reserve(static_cast<size_t>(total) * st->keys[k].length);
  }
  const size_t batch = std::max<size_t>(1, (size_t{1} << 20) / length);
  std::string in(batch * length, ' ');
  std::string pending;
  pending.reserve(in.size());
  int64_t pending_first = 0;  // record number, in the new file, of pending's first record
  uint32_t live = 0;
  auto flush = [&]() -> Status {
    if (pending.empty()) return Status::kOk;
    int64_t w = out->WriteAt(pending_first * length, pending.data(), pending.size());
    if (w != static_cast<int64_t>(pending.size())) {
      return KeyTextFailure(Status::kDiskWriteError, st->keys[0], pending.data());
    }
    pending_first += static_cast<int64_t>(pending.size() / length);
    pending.clear();
    return Status::kOk;
  };
  for (int64_t done = 0; done < total;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(batch), total - done));
    int64_t got = work->ReadAt(done * length, in.data(), n * length);
    if (got != static_cast<int64_t>(n * length)) {
      return datafile::Fail(Status::kDiskReadError, st->paths[Part(DataFilePart::kWork)]);
    }
    for (size_t i = 0; i < n; ++i) {
      const char* rec = in.data() + i * length;
      if (progress) progress(done + static_cast<int64_t>(i), total);
      if (rec[0] == kDeletedMark) continue;
      pending.append(rec, length);
      for (size_t k = 0; k < keys; ++k) {
        size_t at = texts[k].size();
        texts[k].resize(at + st->keys[k].length);
        datafile::CopyKeyText(st->keys[k], rec, texts[k].data() + at);
      }
      ++live;
    }
    done += static_cast<int64_t>(n);
    if (pending.size() >= in.size()) {
      Status s = flush();
      if (s != Status::kOk) return s;
    }
  }
  Status s = flush();
  if (s != Status::kOk) return s;
  if (out->Sync() != 0) return datafile::Fail(Status::kDiskWriteError, rec_path);
  out.reset();

  std::string image(8 + 4 * static_cast<size_t>(live) * keys, '\0');
  int32_t header[2] = {0, static_cast<int32_t>(live)};
  std::memcpy(image.data(), header, 8);
  for (size_t k = 0; k < keys; ++k) {
    std::vector<int32_t> order = SortedOrder(texts[k], st->keys[k].length, live);
    texts[k].clear();
    texts[k].shrink_to_fit();
    if (live > 0) {
      std::memcpy(image.data() + 8 + 4 * static_cast<size_t>(live) * k, order.data(),
                  4 * static_cast<size_t>(live));
    }
  }
  if (datafile::WriteIndexFile(idx_native, image) != 0) {
    return datafile::Fail(Status::kDiskIo, st->paths[Part(DataFilePart::kIndex)]);
  }
  work.reset();
  (void)env.RemoveFile(work_native);
  return Status::kOk;
}

}  // namespace

Status DataFileReorganize(int file, const DataFileProgress& progress) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (s != Status::kOk) return s;
  DataFileLayout layout;
  s = CurrentDataFileCatalog().Layout(f, &layout);
  if (s != Status::kOk) return RecordError(1, ErrorArea::kDataFile, s);
  if (CheckDataFileLayout(layout) != Status::kOk) {
    return datafile::Fail(Status::kFileNotInit, layout.name);
  }
  FileState* st = &datafile::StateOf(f);
  // Its index is about to be rebuilt from the records; what it holds in
  // memory goes to the disk first all the same.
  if (st->is_open()) (void)DataFileClose(f);
  // Scratch files live only while open: nothing on the disk to rebuild.
  if (TestBits(kUpStat, kUpStatScratch)) return Status::kOk;

  s = datafile::PrepareFile(st, layout, false);
  if (s != Status::kOk) return s;
  s = datafile::AcquireLockFile(st);
  if (s != Status::kOk) return s;
  platform::Env& env = platform::CurrentEnv();
  {
    // Nobody else may have the file open while its records move.
    std::unique_ptr<File> probe;
    if (env.OpenFile(st->natives[Part(DataFilePart::kRecords)], platform::kOpenRead, &probe) == 0) {
      bool others = false;
      (void)probe->Lock(datafile::kOpenRange, 1, File::LockMode::kShared, false);
      if (probe->TestLock(datafile::kOpenRange, 1, File::LockMode::kExclusive, &others) == 0 &&
          others) {
        datafile::ReleaseLockFile(st);
        return datafile::Fail(Status::kPermissionDenied, st->paths[Part(DataFilePart::kRecords)]);
      }
    }
  }
  s = Rebuild(st, progress);
  datafile::ReleaseLockFile(st);
  st->ctrl = DataFileCtrl();
  return s;
}

Status DataFileReorganizeAll(const DataFileProgress& progress) {
  int count = std::min(CurrentDataFileCatalog().FileCount(), kDataFileLimit);
  for (int f = 1; f <= count; ++f) {
    Status s = DataFileReorganize(f, progress);
    if (s != Status::kOk) return s;
  }
  return Status::kOk;
}

// ---- Checking ----------------------------------------------------------------------------

Status DataFileCheck(int file, std::vector<std::string>* problems) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (s != Status::kOk) return s;
  DataFileLayout layout;
  s = CurrentDataFileCatalog().Layout(f, &layout);
  if (s != Status::kOk) return RecordError(1, ErrorArea::kDataFile, s);
  if (CheckDataFileLayout(layout) != Status::kOk) {
    return datafile::Fail(Status::kFileNotInit, layout.name);
  }
  if (datafile::StateOf(f).is_open()) {
    return datafile::Fail(Status::kPermissionDenied, datafile::StateOf(f).paths[0]);
  }
  FileState check;
  s = datafile::PrepareFile(&check, layout, false);
  if (s != Status::kOk) return s;
  const std::string& rec_path = check.paths[Part(DataFilePart::kRecords)];
  const std::string& idx_path = check.paths[Part(DataFilePart::kIndex)];
  auto report = [&](std::string what) {
    if (problems != nullptr) problems->push_back(std::move(what));
  };
  bool any = false;
  auto note = [&](std::string what) {
    any = true;
    report(std::move(what));
  };

  platform::Env& env = platform::CurrentEnv();
  if (env.Exists(check.natives[Part(DataFilePart::kWork)])) {
    note("an interrupted reorganisation left its work file (\"TXT\"); reorganise to finish it");
  }
  int err = check.records.Open(check.natives[Part(DataFilePart::kRecords)], platform::kOpenRead,
                               layout.record_length);
  if (err == ENOENT) {
    note("the record file is missing");
    return datafile::Fail(Status::kDiskIo, rec_path);
  }
  if (err != 0) return datafile::Fail(Status::kFileNotFound, rec_path);
  int64_t records = check.records.records();
  int64_t partial = check.records.bytes() % layout.record_length;
  if (partial != 0) {
    note("the record file ends with " + std::to_string(partial) + " bytes of an incomplete record");
  }

  std::string image;
  bool exists = false;
  if (datafile::ReadIndexFile(check.natives[Part(DataFilePart::kIndex)], &image, &exists) != 0) {
    return datafile::Fail(Status::kDiskIo, idx_path);
  }
  if (!exists && records > 0) note("the index file is missing");
  datafile::Index index;
  std::vector<std::string> found;
  int keys = static_cast<int>(check.keys.size());
  if (!datafile::ParseIndex(image, keys, records, &index, &found, true)) {
    any = true;
    for (std::string& what : found) report(std::move(what));
  } else {
    std::vector<uint8_t> kind(static_cast<size_t>(records), 0);
    for (int32_t r : index.free) {
      kind[static_cast<size_t>(r)] = 1;
      const char* rec = check.records.Get(r);
      if (rec != nullptr && rec[0] != kDeletedMark) {
        note("free slot " + std::to_string(r) + " holds a record without the deletion mark");
      }
    }
    for (int k = 0; k < keys; ++k) {
      const datafile::KeyOrder& order = index.orders[static_cast<size_t>(k)];
      const Key& key = check.keys[static_cast<size_t>(k)];
      std::string previous;
      int32_t previous_record = -1;
      int reported = 0;
      for (uint32_t i = 0; i < order.size(); ++i) {
        int32_t r = order.At(i);
        const char* rec = check.records.Get(r);
        if (rec == nullptr) {
          note("record " + std::to_string(r) + " cannot be read");
          continue;
        }
        if (k == 0) {
          kind[static_cast<size_t>(r)] = 2;
          if (rec[0] == kDeletedMark) {
            note("live record " + std::to_string(r) + " carries the deletion mark");
          }
        }
        std::string text = datafile::KeyText(key, rec);
        if (previous_record >= 0 && text < previous && reported < 50) {
          ++reported;
          note("key " + std::to_string(k + 1) + ": record " + std::to_string(previous_record) +
               " (entry " + std::to_string(i) + ") sorts after record " + std::to_string(r) +
               " (entry " + std::to_string(i + 1) + ")");
        }
        previous = std::move(text);
        previous_record = r;
      }
    }
    int unlisted = 0;
    for (int64_t r = 0; r < records; ++r) {
      if (kind[static_cast<size_t>(r)] != 0) continue;
      if (++unlisted <= 50) {
        note("record " + std::to_string(r) +
             " is neither in the key orders nor on the free list (written after the last "
             "commit?)");
      }
    }
    if (unlisted > 50) note(std::to_string(unlisted) + " records are not in the index in all");
  }
  return any ? datafile::Fail(Status::kDiskIo, idx_path) : Status::kOk;
}

}  // namespace tessaly
