// Inside the data file engine: the disk formats, the in-memory index and the
// per-file state shared by datafile*.cpp.
//
// Record file (extension "DIR"; L = record length of the file structure):
//
//   offset      size  content
//   ----------  ----  -----------------------------------------------------
//   0           L     record 0
//   r*L         L     record r: the fields' stored forms at their offsets,
//                     unused bytes blank; no header, no separators, no line
//                     ends. A deleted record has 27 (ESC) as its first byte
//                     and its number on the free list of the index.
//
// Index file (extension "NDX", "TMP" under `_COMPAT` bit 2); every number is
// a 32-bit signed little-endian integer; K keys:
//
//   offset            size   content
//   ----------------  -----  ----------------------------------------------
//   0                 4      F: free record slots
//   4                 4      N: live records
//   8                 4F     the free record numbers, in the order freed
//   8+4F              4N     key 1: the live record numbers in ascending
//                            order of their key-1 text (equal texts in the
//                            order they were inserted)
//   8+4F+4N(k-1)      4N     key k, for k up to K
//
// A zero-length index reads as F = N = 0 (a new file). Any other length that
// is not 8+4F+4NK, a count or record number that the record file cannot
// hold, a record number repeated, or key orders that do not list the same
// records is damage: the open fails with 130 naming the index file, and
// reorganisation rebuilds it from the records.
//
// Lock file (extension "lock"): one blank. It exists while a process holds
// the data file open exclusively; that process also holds an operating-system
// lock on it, so a lock file nobody holds is stale (its holder died).
//
// Work file (extension "TXT"): during reorganisation, the old record file.
// While it exists a reorganisation was interrupted and the record file may be
// incomplete: opens refuse, and the next reorganisation starts again from it.
//
// Invariants (for a file this process has open):
//  1. Every key order lists the same N record numbers; the free list holds F
//     others; all are below the record file's count of records.
//  2. A record reaches the record file before the index in memory lists it
//     (write first, then index), so an index never names an unwritten
//     record, even after a failed write.
//  3. The index reaches the disk only at commit and close (and at the end of
//     a reorganisation): written whole to "<index>.new", forced to the disk
//     after the records, then renamed over the index. A process killed at
//     any moment leaves either the old or the new index, never a mixture.
//  4. New records take the last freed slot, else the slot after the last
//     record of the record file. When the index on disk lags behind the
//     record file (a process ended between a write and its commit) the
//     records past the index are kept, not overwritten, so reorganisation
//     can bring them back.
//  5. Between processes: every open holds a shared lock on the open range of
//     the record file; an exclusive open holds the lock file and finds no
//     other holder of the open range. Shared writers take the write range
//     while they choose a slot and write a new record, and while they merge
//     and write the index at commit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/datafile.h"
#include "platform/env.h"

namespace tessaly::datafile {

// ---- Key orders -----------------------------------------------------------------------

// One key order: a sequence of record numbers kept in blocks of at most
// kBlockMax entries, so that an insertion or removal shifts one block and a
// table of block starts, not the whole order.
class KeyOrder {
 public:
  static constexpr uint32_t kBlockMax = 2048;

  uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // REQUIRES: pos < size().
  int32_t At(uint32_t pos) const;
  // REQUIRES: pos <= size().
  void Insert(uint32_t pos, int32_t record);
  // REQUIRES: pos < size().
  void Erase(uint32_t pos);
  void Clear();
  void Assign(const int32_t* records, size_t count);
  // The position of `record` within [from, to), scanning; kAbsent when not
  // there.
  static constexpr uint32_t kAbsent = 0xFFFFFFFFu;
  uint32_t Scan(int32_t record, uint32_t from, uint32_t to) const;

  // Calls f(data, count) for each block in order.
  template <class F>
  void ForEachBlock(F f) const {
    for (const auto& b : blocks_) f(b.data(), b.size());
  }

  // The first position whose entry is not `before` (entries for which it
  // holds come first). Searches the blocks by their last entries, then the
  // block: about log2(size) calls, as a binary search over the whole order.
  template <class Before>
  uint32_t PartitionPoint(Before before) const {
    size_t lo = 0, hi = blocks_.size();
    while (lo < hi) {
      size_t mid = lo + (hi - lo) / 2;
      if (before(blocks_[mid].back())) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo == blocks_.size()) return size_;
    const std::vector<int32_t>& b = blocks_[lo];
    size_t l = 0, h = b.size();
    while (l < h) {
      size_t mid = l + (h - l) / 2;
      if (before(b[mid])) {
        l = mid + 1;
      } else {
        h = mid;
      }
    }
    return starts_[lo] + static_cast<uint32_t>(l);
  }

 private:
  // The block holding pos (pos < size_), remembering it for the next call.
  size_t BlockOf(uint32_t pos) const;
  void ShiftStarts(size_t from_block, int delta);

  std::vector<std::vector<int32_t>> blocks_;
  std::vector<uint32_t> starts_;  // position of each block's first entry
  uint32_t size_ = 0;
  mutable size_t hint_ = 0;
};

// ---- Keys -----------------------------------------------------------------------------

struct Key {
  DataKeySegment segments[kDataKeySegmentLimit];
  int count = 0;
  uint16_t length = 0;  // sum of the segment lengths
};

// The key text of a record into `out` (key.length bytes).
void CopyKeyText(const Key& key, const char* record, char* out);
std::string KeyText(const Key& key, const char* record);
// Compares the first m bytes of `text` with the first m bytes of the
// record's key text (m <= key.length): <0, 0, >0 by unsigned bytes.
inline int CompareKey(const Key& key, const char* text, size_t m, const char* record) {
  for (int i = 0; i < key.count && m > 0; ++i) {
    size_t n = m < key.segments[i].length ? m : key.segments[i].length;
    int c = std::memcmp(text, record + key.segments[i].offset, n);
    if (c != 0) return c;
    text += n;
    m -= n;
  }
  return 0;
}

// ---- Record file ----------------------------------------------------------------------

// The record file through a shared read-only map that follows every write;
// records are written with one positioned write each.
class RecordFile {
 public:
  RecordFile() = default;
  ~RecordFile() { Close(); }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // errno-style: 0 or the error of the open.
  int Open(const std::string& native, int platform_flags, uint16_t record_length);
  void Close();
  bool is_open() const { return file_ != nullptr; }
  platform::File* file() { return file_.get(); }
  uint16_t record_length() const { return length_; }

  // Whole records in the file as last seen, held records included.
  int64_t records() const { return std::max(size_, held_end_) / length_; }
  int64_t bytes() const { return std::max(size_, held_end_); }
  // Asks the file for its length again (another process may have written).
  int Refresh();

  // The bytes of record r, valid until the next call on this object; null
  // when r is beyond the file or cannot be read.
  const char* Get(int64_t r) {
    if (!held_.empty()) {
      auto it = held_.find(r);
      if (it != held_.end()) return it->second.data();
    }
    int64_t end = (r + 1) * length_;
    if (r >= 0 && end <= size_ && static_cast<size_t>(end) <= map_length_) {
      return map_ + r * length_;
    }
    return GetSlow(r);
  }
  // 0, or an errno (EIO for a short write). While holding, the record is
  // kept in memory instead (see Hold).
  int Put(int64_t r, const char* data);
  int Sync();

  // Bulk writing: while holding, Put keeps each record in memory, Get reads
  // the held copy first and records() counts held records past the end, so
  // the engine sees the file as if written; the disk keeps what it held at
  // the last WriteHeld. Close drops what is held.
  void Hold(bool on) { holding_ = on; }
  bool holding() const { return holding_; }
  size_t held() const { return held_.size(); }
  // Writes the held records in record-number order and forgets them: 0 or
  // an errno. On failure the records not yet written stay held.
  int WriteHeld();

 private:
  const char* GetSlow(int64_t r);
  void Remap(int64_t needed);

  std::unique_ptr<platform::File> file_;
  uint16_t length_ = 1;
  int64_t size_ = 0;
  const char* map_ = nullptr;
  size_t map_length_ = 0;
  bool mappable_ = true;
  std::string scratch_;
  bool holding_ = false;
  std::unordered_map<int64_t, std::string> held_;
  int64_t held_end_ = 0;  // bytes the file will hold once the held records are written
};

// ---- Index ----------------------------------------------------------------------------

struct Index {
  std::vector<KeyOrder> orders;  // K
  std::vector<int32_t> free;     // F, oldest first
  uint32_t live() const { return orders.empty() ? 0 : orders[0].size(); }
};

// A problem found in an index image; `what` says it in words (for the check
// tool), `fatal` when the index cannot be used.
struct IndexProblem {
  std::string what;
};

// Parses and checks an index image against a record file of `records`
// records; false when it is damaged (problems say why; with `all` every
// problem is listed, else the first).
bool ParseIndex(const std::string& image, int keys, int64_t records, Index* index,
                std::vector<std::string>* problems, bool all);
// The image of an index in the file layout.
std::string IndexImage(const Index& index);
// Reads the whole index file; *exists is false when there is none. 0 or an
// errno.
int ReadIndexFile(const std::string& native, std::string* image, bool* exists);
// Writes the image beside the index ("<index>.new"), forces it to the disk
// and renames it over the index. 0 or an errno; the old index stays whole
// when anything fails.
int WriteIndexFile(const std::string& native, const std::string& image);
// A 64-bit digest of an index image: tells whether another process wrote
// the index since this one last read or wrote it.
uint64_t ImageDigest(const std::string& image);

// ---- Per-file state -------------------------------------------------------------------

// A change this process made to the index since it last met the disk's,
// replayed onto another process's newer index at commit (shared opens only).
struct JournalEntry {
  enum Kind : uint8_t { kInsert, kRemove, kRekey } kind;
  int32_t record;
  uint32_t key_mask;     // kRekey: the keys whose text changed
  std::string old_keys;  // kRemove, kRekey: every key's old text, concatenated
};

struct SavedState {
  DataFileCtrl ctrl;
  std::string buffers;
  int64_t position;
  int64_t loaded;
};

struct FileState {
  DataFileCtrl ctrl;
  std::vector<SavedState> saved;

  // Set while open.
  uint16_t record_length = 0;
  std::vector<Key> keys;
  bool has_line_number = false;
  bool scratch = false;
  bool exclusive = false;  // holds the lock file
  bool no_index = false;
  bool read_only = false;
  std::string paths[4];    // runtime form, by DataFilePart
  std::string natives[4];  // Linux form
  RecordFile records;
  std::unique_ptr<platform::File> lock;  // the held lock file
  Index index;
  bool changed = false;
  bool bulk = false;  // an exclusive open during bulk writing: records held, commits deferred
  uint64_t disk_digest = 0;  // digest of the index as last read or written
  std::vector<JournalEntry> journal;
  int64_t position = 0;
  int64_t loaded = -1;
  std::string key_scratch;

  // Open flags 0 are an open for update, so the stream slot tells.
  bool is_open() const { return ctrl.record_stream >= 0; }
  bool shared_writer() const { return !exclusive && !scratch && !read_only; }
  const Key& current_key() const { return keys[static_cast<size_t>(ctrl.current_key - 1)]; }
};

// The state of file number `file` (1-29), made on first use.
FileState& StateOf(int file);
// The runtime path of a part of the file a layout describes.
std::string PartPath(const DataFileLayout& layout, DataFilePart part);
// Fills the layout part of a state and the paths of its files.
Status PrepareFile(FileState* st, const DataFileLayout& layout, bool scratch);

// The lock ranges of the record file, far past any record.
inline constexpr int64_t kOpenRange = int64_t{1} << 46;
inline constexpr int64_t kWriteRange = kOpenRange + 1;

// Takes the lock file of `state` (natives[kLock]): 0, 175 when a live process
// holds it, or the status of a file that cannot be made.
Status AcquireLockFile(FileState* state);
// Removes and lets go of the lock file.
void ReleaseLockFile(FileState* state);
// Whether a live process holds the lock file at `native`.
bool LockFileHeld(const std::string& native);

// Sets the detail to `path`, records the error in the DataFile area and
// returns `code`.
Status Fail(Status code, const std::string& path);

}  // namespace tessaly::datafile
