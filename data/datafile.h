// The data file engine: fixed-length record files with key indexes.
//
// Owns, for each file number 1-29, the open data file: its record file, its
// index (one order of record numbers per key, and the free slots), the lock
// that serialises exclusive opens, and the per-file control `DataFileCtrl`.
// It finds records by full or partial key, moves in key order, inserts,
// rewrites and deletes records keeping every key order consistent, commits
// the index to the disk, and rebuilds an index from its records
// (reorganisation). The disk formats are drawn in data/datafile_internal.h.
//
// What a file looks like (record length, keys, name and folder) comes from a
// DataFileCatalog: the file structures in the running system, or a
// DataFileTable filled by hand (tools, tests). The catalog also holds each
// file's two record buffers:
//   buffer 1  the current record: what a save writes;
//   buffer 2  the record as it was last read, so that a change can be seen
//             and the relational updates can revert the old contents.
// After a search or move that loads a record both buffers hold its bytes.
//
// Results. Searches and moves answer with a result code below 122 (0 found,
// 1 positioned on the next key, 2 end of file, 3 cleared, 5 key exists, 6
// repeated key), anything of 122 and above is a status. A failing operation
// sets the error detail (the path of the file concerned) and records the
// error in the DataFile area.
//
// The loaded record. The engine remembers which record the buffers were last
// loaded from (by a search, a move, DataFileReadRecord or an insert). Rewrite
// and delete act on that record, never on whatever now sits at the current
// position, so a save after a failed search cannot overwrite a neighbour:
// a rewrite with no loaded record stores buffer 1 as a new record, and a
// delete with no loaded record does nothing and answers 2.
//
// Sharing between processes. An exclusive open (flag 2) holds the lock file
// and refuses while another process has the file open in any mode; a shared
// open refuses while a live process holds the lock file (both 175). A lock
// file that no live process holds is stale and is taken over. Shared opens
// that write coordinate the choice of new record slots, and a commit merges
// this process's changes into the index that other processes committed
// meanwhile, so records committed by either are found by both after their
// next commit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

inline constexpr int kDataFileLimit = 29;
inline constexpr int kDataKeySegmentLimit = 5;
inline constexpr char kDeletedMark = 27;  // first byte of a deleted record

// Result codes of searches and moves (and the last result of a file).
enum DataResult : uint16_t {
  kResultFound = 0,
  kResultNext = 1,       // not found: on the first greater key, or before the first
  kResultEnd = 2,        // beyond the last record
  kResultCleared = 3,    // buffers cleared, no record
  kResultKeyExists = 5,  // refused by the record operations
  kResultRepeated = 6,   // the inserted record repeats an existing key
};

// Open flags.
enum DataOpenFlags : int {
  kDataReadOnly = 0x01,
  kDataExclusive = 0x02,
  kDataMakeCurrent = 0x08,
  kDataNoIndex = 0x10,  // record file only, read in record-number order
};

// Move codes. Bit 1 clears instead of moving; bit 2 loads the record also
// when the result is 1; any code not among next, previous, last and first
// stays on the current position and reads it again.
enum DataMoveCodes : int {
  kMoveClear = 0x01,
  kMoveLoadNearest = 0x02,
  kMoveBackward = 0x04,
  kMoveNext = 0x10,
  kMovePrevious = 0x14,
  kMoveLast = 0x20,
  kMoveFirst = 0x24,
};

// Search flags.
enum DataFindFlags : int {
  kFindPrepare = 0x01,  // not found: blank the buffers and store the key
  kFindNearest = 0x02,  // result 1: load the record found
};

inline constexpr int kDeleteReposition = 0x02;
inline constexpr int kRangeCreate = 0x04;

// The per-file control. The reserved fields keep their reset values.
struct DataFileCtrl {
  int16_t current_key = 1;     // key used by searches and moves
  int16_t last_result = 2;     // result of the last search or move
  int16_t record_stream = -1;  // -1 while closed
  int16_t reserved1[2] = {-1, -1};
  int16_t relupdate_base = -1;  // relational update definitions; -1 not loaded
  int16_t reserved2[6] = {};
  int16_t list_slot = 0;  // record list in use, 0 none
  int16_t saved_list_slots[2] = {};
  uint8_t open_flags = 0;  // 0 while closed
  uint8_t reserved3 = 0;
};
static_assert(sizeof(DataFileCtrl) == 32, "DataFileCtrl is 15 words and 2 bytes");

// ---- What the engine is told about a file -------------------------------------------

struct DataKeySegment {
  uint16_t offset = 0;  // 0-based in the record
  uint16_t length = 0;
};

struct DataKeyDef {
  std::vector<DataKeySegment> segments;  // 1 to 5
};

struct DataFileLayout {
  std::string name;    // runtime path without extension
  std::string folder;  // joined before the name; may be empty
  uint16_t record_length = 0;
  std::vector<DataKeyDef> keys;  // at least one
  bool has_line_number = false;  // a field named N_LINE: repeated keys are lines
};

struct DataRecordBuffers {
  char* current = nullptr;  // buffer 1
  char* saved = nullptr;    // buffer 2
  uint16_t length = 0;
};

// Where the engine learns which files exist and where their buffers live.
class DataFileCatalog {
 public:
  virtual ~DataFileCatalog() = default;
  // Files 1..FileCount() are defined.
  virtual int FileCount() = 0;
  // 168 for a file that is not defined.
  virtual Status Layout(int file, DataFileLayout* layout) = 0;
  // The file's two buffers; null pointers for a file without buffers.
  virtual DataRecordBuffers Buffers(int file) = 0;
  // Stores the parts of a searched key text into buffer 1, each part into
  // the field its segment belongs to (a search that prepares a new record).
  // The default copies each part into its segment, padded with blanks.
  virtual Status StoreKeyParts(int file, int key, Slice text);
};

// A catalog filled by hand: the data file tools, the benchmarks and tests.
// It owns the buffers of the files it defines.
class DataFileTable : public DataFileCatalog {
 public:
  // Defines `file` (1-29); files below it that are not defined stay empty
  // (168 when used). 163 for a layout without record length or key, or with
  // a key segment outside the record.
  Status Define(int file, DataFileLayout layout);
  void Clear();

  int FileCount() override;
  Status Layout(int file, DataFileLayout* layout) override;
  DataRecordBuffers Buffers(int file) override;

 private:
  struct Entry {
    bool defined = false;
    DataFileLayout layout;
    std::string buffers;  // both buffers, side by side
  };
  std::vector<Entry> files_;
};

// Checks a layout: a record length, 1 or more keys of 1 to 5 segments, each
// non-empty and inside the record. 0 or 163.
Status CheckDataFileLayout(const DataFileLayout& layout);

// The catalog in use; a process-wide DataFileTable until one is installed.
DataFileCatalog& CurrentDataFileCatalog();
// Installs `catalog` (null restores the built-in table); returns the old one.
// Every file is closed first.
DataFileCatalog* SetDataFileCatalog(DataFileCatalog* catalog);
// The built-in table.
DataFileTable& BuiltinDataFileTable();

// Takes the layouts and buffers from the file structures (data/structures.h)
// and has the structures close and reset a file when it is defined or
// removed. The start-up sequence calls it once.
void UseStructuresForDataFiles();

// ---- Files ---------------------------------------------------------------------------

// The file that `file` stands for (0: `_CURFIL`); 168 when it is not a
// defined file.
Status DataFileResolve(int file, int* resolved);
// The control of a defined file (null otherwise); open or not.
DataFileCtrl* DataFileControl(int file);
// Resets the control (and closes the file when it is open): a structure
// (re)defined.
void DataFileReset(int file);

// Opens (or reopens with other flags) and moves to the first record of the
// current key: the result of that move (0, 2), or a status. Reopening with
// the same flags, bit 8 aside, does nothing.
Status DataFileOpen(int file, int flags);
// Writes a changed index back, closes, removes the lock file.
Status DataFileClose(int file);
// Closes every open file; the first failure is returned, all are closed.
Status DataFileCloseAll();
bool DataFileIsOpen(int file);

// Searches `key` (-1 or 0: the current key; it becomes the current key) for
// `text`, compared over its own length (cut to the key length; empty reads as
// one blank), positioning on the first record whose key starts with it.
Status DataFileFind(int file, int key, Slice text, int flags);
Status DataFileMove(int file, int code);
// Makes `key` the current key without searching.
Status DataFileSetKey(int file, int key);

// Stores buffer 1 as a new record: 0, 6 (its key repeats one of the current
// key, in a file without N_LINE), or a status. The new record takes the last
// freed slot, else the slot after the last record of the file.
Status DataFileInsert(int file);
// Rewrites the loaded record from buffer 1 when it differs from buffer 2;
// only the key orders whose key text changed move the record.
Status DataFileUpdate(int file);
// Deletes the loaded record: deletion mark on disk, slot on the free list.
// kDeleteReposition searches the current key for the deleted key text.
Status DataFileDelete(int file, int flags);

// Runs `action` and rewrites each record whose `key` text starts with
// `prefix`; kRangeCreate inserts a record carrying the prefix when there is
// none (and sets `_RELRES` to 4). An action answering anything but 0 stops
// the loop with that status. The file's state is put back afterwards.
using DataFileRecordAction = std::function<Status(int file)>;
Status DataFileUpdateRange(int file, int key, Slice prefix, int flags,
                           const DataFileRecordAction& action);
// Whether a scan has left the range of `prefix`: 2 when the last result is
// above 1, or when the current record's key no longer starts with the prefix
// and lies beyond it in the scan's direction; else 0.
Status DataFileRangeEnd(int file, Slice prefix, bool backward);

// Rebuilds the index from the records: deleted records go, the survivors are
// packed in their order, every key order is rebuilt with equal keys in
// record order. The file is left closed. `progress` hears (record, count).
using DataFileProgress = std::function<void(int64_t done, int64_t total)>;
Status DataFileReorganize(int file, const DataFileProgress& progress = {});
// Files 1..n in order, stopping at the first failure.
Status DataFileReorganizeAll(const DataFileProgress& progress = {});

// Forces the records and a changed index to the disk and picks up what other
// processes committed. For a file in bulk writing it does nothing (below).
Status DataFileCommit(int file);

// ---- Bulk writing ----------------------------------------------------------------------
//
// For long batch writers (the demo-data generator, imports) that would
// otherwise force the records and rewrite the whole index at every commit.
// Between DataFileBulkBegin and DataFileBulkEnd every file this process has
// open exclusive (flag 2) for update, and every such file opened meanwhile,
// is a bulk file:
//  - its record writes are held in memory; searches, moves and reads see
//    them as if written; the disk keeps the file as of the last checkpoint;
//  - DataFileCommit (and so every commit of the record operations and of
//    the relational updates) does nothing;
//  - a checkpoint writes the held records, forces them to the disk and
//    writes the index whole, as one commit of the normal path would; the
//    files are then byte for byte what the normal path writes.
// Checkpoints happen at DataFileBulkCheckpoint, at DataFileBulkPoint once
// the held records reach the limit, at DataFileBulkEnd, and when a bulk file
// is closed, copied or reorganised. Call DataFileBulkPoint where the batch's
// data is consistent across files (after a whole document with its
// relational updates): a crash then loses what was written since the last
// checkpoint and leaves every file as that checkpoint wrote it, readable
// and clean for DataFileCheck. Memory grows with the records held, so a
// writer that never reaches a point holds all it writes.
// Shared and read-only opens, scratch files and everything outside the
// bulk span behave as always.

// Enters bulk writing (or sets the limit again when already in it);
// `checkpoint_records` is the count of held records that makes
// DataFileBulkPoint checkpoint. Open exclusive files with a changed index
// are committed first. 0 or the status of that commit.
// REQUIRES: checkpoint_records >= 0.
Status DataFileBulkBegin(int64_t checkpoint_records);
// A consistent point of the batch: checkpoints when enough is held. 0 or
// the status of the checkpoint.
Status DataFileBulkPoint();
// Checkpoints every bulk file now: the first failure (137 a record write,
// 131 forcing the records, 130 the index), all files tried.
Status DataFileBulkCheckpoint();
// Checkpoints and leaves bulk writing. A file whose checkpoint failed keeps
// its held records (and stays in bulk) until it is closed.
Status DataFileBulkEnd();
bool DataFileInBulk();
// Records held in memory over all bulk files.
int64_t DataFileBulkHeld();
// Copies the record file, then the index file, between their own paths and
// the same paths joined onto `folder`: direction 0 backs up, any other
// restores. A missing source is skipped.
Status DataFileCopy(int file, Slice folder, int direction);

// Loads record `record` (by number) into both buffers: 136 on failure.
Status DataFileReadRecord(int file, int64_t record);
// Writes buffer 1 at record number `record`, index untouched: 137.
Status DataFileWriteRecord(int file, int64_t record);
// The key text of `key` (0 or -1: current) in buffer `which` (1 or 2), on the
// string area.
Slice DataFileKeyText(int file, int key, int which);

// Pushes (and pops back) the control, both buffers and the position.
Status DataFileSaveState(int file);
Status DataFileRestoreState(int file);

// Live records; for a file opened without index, the record file's length
// divided by the record length (deleted slots included). -1 when closed.
int64_t DataFileRecordCount(int file);
// The current position in the current key order; -1 when closed.
int64_t DataFilePosition(int file);
// The record number the buffers were loaded from; -1 when none.
int64_t DataFileLoadedRecord(int file);

// The disk paths of an open file, in runtime form.
enum class DataFilePart { kRecords, kIndex, kLock, kWork };
std::string DataFilePath(int file, DataFilePart part);

// ---- Checking ----------------------------------------------------------------------

// Checks an index against its record file and reports every inconsistency
// (sizes, counts, record numbers out of range or repeated, key orders that
// are not permutations of the live records or not in key order, live records
// carrying the deletion mark, freed slots without it, slots neither live nor
// free). The file must be closed; it stays closed. 0 when none was found,
// 130 otherwise, or the status of a file that cannot be read.
Status DataFileCheck(int file, std::vector<std::string>* problems);

}  // namespace tessaly
