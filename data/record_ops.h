// Record operations: what windows, procedures and built-in functions ask of
// the data files, built from the primitives of the data file engine
// (data/datafile.h) over the file structures (data/structures.h).
//
// Owns:
// - the 18 operation codes and the flag word each one executes;
// - the save of a record with its checks and its relational updates;
// - open sets (the files a window opens, stacked, undone by RESTORE);
// - conditional scans and counts, record lists (8 slots), range deletes,
//   accumulation into the `_#` array and record generation;
// - lookups and updates through the relations between files.
// Documents of header and lines are in data/documents.h.
//
// Buffers. Every operation works on the two record buffers of a file:
// buffer 1 the current record (what a save writes), buffer 2 the record as it
// was last read or written. A record has changed when they differ.
//
// Results. Searches, moves and saves answer with a result code below 122
// (0 found, 1 not found but positioned on the next key, 2 end of file, 3
// cleared, 5 key exists, 6 repeated key) or a status of 122 and more.
#pragma once

#include <cstdint>
#include <functional>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// ---- Operation codes ----------------------------------------------------------------

// Items of "NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,NLS,BLS,IMP,MDE,DDE,
// PRN,TSL", numbered from 1.
enum RecordOpCode : int {
  kOpNew = 1,
  kOpTop,
  kOpPrv,
  kOpRld,
  kOpNxt,
  kOpBot,
  kOpFnd,
  kOpSve,
  kOpIns,
  kOpDel,
  kOpLst,
  kOpNls,
  kOpBls,
  kOpImp,
  kOpMde,
  kOpDde,
  kOpPrn,
  kOpTsl,
};
inline constexpr int kRecordOpCount = 18;

// Bits of a flag word.
enum RecordOpFlags : int {
  kOpMoveMask = 0x00FF,  // move code of the engine, or kOpFindKey
  kOpFindKey = 0x0040,   // find by the key the window supplies
  kOpApply = 0x0100,     // apply the relational updates (sign +1) after writing
  kOpRevert = 0x0200,    // revert them (sign -1) over the record as read
  kOpActionMask = 0x0700,
  kOpInsertRecord = 0x0500,
  kOpDeleteRecord = 0x0600,
  kOpRewriteRecord = 0x0700,
  kOpCheck = 0x0800,  // skip an empty record; refuse an existing key on insert
  kOpNoRelUpdates = 0x1000,
  kOpNoRecordAction = 0x00FF,  // the codes that only the windows handle
};

// The number (1-18) of an operation code: the synonyms NEXT, PREVIOUS and
// BOTTOM first, compared in upper case after trimming; 0 when unknown.
int RecordOpNumber(Slice code);
// The code of a number ("NXT" for 5); empty outside 1-18.
Slice RecordOpName(int number);
// The flag word of a number (0xF12 for NXT); -1 outside 1-18.
int RecordOpFlags(int number);

// Carries out an operation for a built-in function or a procedure: DEL
// deletes the loaded record (no repositioning, no relational updates), the
// codes without a record action do nothing, every other code is the move of
// its flag word's low byte (FND, LST and BLS, which have no key here, reload
// the current record). A result code below 128, or a status; an unknown
// code is 163 with the code as detail.
Status RecordOperation(int file, Slice code);
Status RecordOperation(int file, int number);

// What a window does with a flag word (its operation's, possibly masked):
// the save part first (a rewrite is done only when the record changed; an
// insert or a delete always), then, unless the save failed or refused, the
// find with `key` (kOpFindKey codes; without a key the current record is
// reloaded) or the move of the low byte. A code whose low byte is 0 after a
// save stays on the saved record. Answers the save's result when it is not
// 0, else the move's.
Status RecordExecute(int file, int flags, Slice key, Slice selection, Slice emptiness);

// ---- Saving -----------------------------------------------------------------------------

// Saves buffer 1 of `file` by flag word `flags`:
// 1. kOpCheck: an empty record (blank key 1, or `emptiness` evaluating to the
//    same value over the record and over a blank record) is neither written
//    nor updated: 0. An insert (0x300 part 0x100) of a key 1 already present
//    is refused with 5 unless `_UPSTAT` bit 64 is set.
// 2. Insert (0x500) or rewrite (0x700) buffer 1. A rewrite of an unchanged
//    record writes nothing and runs no relational update.
// 3. kOpRevert: a delete (0x600) deletes the loaded record; then, unless
//    kOpNoRelUpdates, the selected relational updates run with `_SGN` -1
//    over buffer 2 (the record as read).
// 4. kOpApply: they run with `_SGN` 1 over buffer 1.
// Updates run only while `_UPSTAT` bit 1 is set; meanwhile `_UPSTAT` bit 32
// mirrors `_AUXSTAT` bit 2048. A failing update stops the others; the write
// stays. After a write buffer 2 holds what was written, so that a second
// save reverts what the first applied and nothing twice.
// Answers 0 or 6 (the key repeats an existing one; the record is stored),
// 5, or a status.
Status RecordSave(int flags, int file, Slice selection, Slice emptiness);

// `previous` when it is not 0 (the commit runs anyway), else the commit's.
Status RecordCommit(int file, Status previous);

// Whether buffer 1 differs from buffer 2. False for a file without buffers.
bool RecordChanged(int file);

// ---- Relational updates -------------------------------------------------------------

// Where the statements of the relational updates come from. Until the
// relational updates are installed no definition is selected, so saves
// write records and run nothing.
class RelationalUpdateSource {
 public:
  virtual ~RelationalUpdateSource() = default;
  // The statements of the definitions that `selection` chooses for `file`,
  // joined with ';' (empty when none), on the string area; an error slice
  // when the selection fails.
  virtual Slice Select(int file, Slice selection) = 0;
  // Runs the statements: 0, or a status of 128 and more.
  virtual Status Execute(int file, Slice statements);
};
// Installs the source (null: none); returns the old one. Not owned.
RelationalUpdateSource* SetRelationalUpdateSource(RelationalUpdateSource* source);
// The selection that an empty text stands for: "1+(N_LINE{}>0)" for a file
// with an N_LINE field, else "1" when the file has one or two definitions
// (`definitions`), else empty. Any other text comes back as it is.
Slice DefaultRelationalSelection(int file, Slice selection, int definitions);

// ---- Open sets --------------------------------------------------------------------------

// Opens the files of `set`, a comma list of FILE or FILE;MODE items (FILE a
// number or a name, MODE the open flags). Without a MODE every file but the
// last is opened read-only and the last for update; the last also becomes
// the current file. Files the set does not name are closed. The set is
// pushed; "RESTORE" pops it and applies the one before (or closes every file
// when none is left).
// An unknown file is 166 naming it, before anything is pushed or opened;
// RESTORE with nothing pushed is 141. Applying stops at the first status of
// 128 and more (the set stays pushed: the caller restores).
Status OpenSet(Slice set);
int OpenSetDepth();
// Forgets every set (files stay as they are): a fresh start for tests.
void ClearOpenSets();

// ---- Scans and counts --------------------------------------------------------------------

// Scan codes: the move code (next 0x10 or previous 0x14) and bit 0x80 to
// move before the first test.
inline constexpr int kScanMoveFirst = 0x80;

// Runs on each record a scan visits, before the test, with the text of the
// first field of the current key (a date in date form 2). A status of 122
// and more stops the scan with it.
using RecordVisitAction = std::function<Status(Slice key_field)>;

// Positions `file` on the next record, in the direction of `code`, that
// satisfies `condition` within the records whose current-key text starts
// with `prefix`: 0 on such a record, 2 when the range or the file ends, or
// the status of the condition or the action.
Status RecordScan(int file, int code, Slice condition, Slice prefix,
                  const RecordVisitAction& action = {});

// The records from `start` (searched on `key`, nearest loaded) within the
// records starting with `end` that satisfy `condition`. The file's position
// and buffers are put back. A file opened without index counts its record
// slots. 0 or a status.
Status RecordCount(int file, int key, Slice start, Slice end, Slice condition, int64_t* count);

// ---- Record lists -------------------------------------------------------------------------

inline constexpr int kRecordListSlots = 8;
inline constexpr int kRecordListStack = 2;  // lists a file can set aside

// Builds a list of the record numbers, in key order, of the records of `file`
// whose `key` text starts with `prefix` and that satisfy `condition`, at most
// `max` of them (-1: no limit). `start_mode` 2 starts after the range of the
// prefix (its last character raised by one) and lists on without a range.
// A file already using a list sets it aside (at most 2; a third is 168);
// 168 when all 8 slots are taken.
// Answers 0 with the first listed record loaded, or 2 when nothing was
// listed: then the buffers are as before and no list is kept (do not free).
Status RecordListBuild(int file, int key, Slice prefix, int max, int start_mode, Slice condition);
// The same over `start` (searched) within the range of `end`.
Status RecordListBuildRange(int file, int key, Slice start, Slice end, int max, Slice condition);

// Load modes of RecordListGet.
enum RecordListLoad : int {
  kListLoadBuffers = 0,   // both buffers
  kListLoadPosition = 1,  // and the current key positioned on the record
};
// Loads entry `index` (0-based) of the file's list: 168 beyond the list or
// without a list.
Status RecordListGet(int file, int load_mode, int index);
// Entries of the file's list; 0 without one.
int RecordListCount(int file);
// The record number of entry `index`; -1 outside.
int64_t RecordListEntry(int file, int index);
// Releases the file's list and takes back the one set aside.
Status RecordListFree(int file);
// Lists held in all; for tests and the leak report.
int RecordListsInUse();
// Releases every list.
void ClearRecordLists();

// Deletes every record of `key` starting with `prefix` that satisfies
// `condition` (no relational updates). 0, 2 when none matched, or a status.
Status RecordDeleteAll(int file, int key, Slice prefix, Slice condition);

// ---- Accumulating and generating -----------------------------------------------------------

struct AccumulateRequest {
  int file = 0;
  int key = 0;  // 0: the current key
  Slice start;  // the search text
  Slice end;    // the range prefix
  Slice condition;
  int base = 0;  // first `_#` accumulator; 0: run `expression` instead
  Slice expression;
  int target = 0;  // file that receives a record per listed record; 0: none
  Slice write_condition;
};
// Over the listed records: with a base, `_#` is cleared and each numeric
// field j (types N, L, 1-9) is added to accumulator base + j - 1; otherwise
// the expression runs. Then, with a target, its current record is inserted
// when the write condition is true. A status of 128 and more stops.
Status RecordAccumulate(const AccumulateRequest& request);

using RecordStepAction = std::function<Status(int64_t inserted)>;
struct GenerateRequest {
  int target = 0;
  Slice start_condition;
  Slice record_condition;
  Slice write_condition;
  Slice selection;  // relational update selection of the inserts
  Slice stop_condition;
  RecordStepAction on_insert;  // after each insert
  RecordStepAction progress;   // after each pass
  int64_t max_passes = -1;     // -1: until the stop condition
};
// When the start condition holds, repeats until the stop condition (tested
// before each further pass) holds: insert the target's current record when
// the record and write conditions hold. Stops on a status above 121.
Status RecordGenerate(const GenerateRequest& request, int64_t* inserted);

// ---- Relations ----------------------------------------------------------------------------

// Flags of a relational lookup.
enum RelationFlags : int {
  kRelNearest = 0x02,   // load the nearest record when not found
  kRelCreate = 0x04,    // create the record when not found
  kRelNoUpdate = 0x08,  // only look
  kRelDelete = 0x0C,    // both: delete the found record
};
// Values of `_RELRES`.
enum RelationResult : uint16_t {
  kRelResNone = 0,
  kRelResMoved = 2,
  kRelResCreated = 4,
  kRelResDeleted = 12,
};

// Looks up (and updates) the record of file `b` that relation `r` of file
// `a` points at, the relation's key expression evaluated over a's current
// record; `update` holds assignments run on it. Answers the search result
// (0, 1, 2) or a status; 163 for a relation without key or value.
Status RelationFind(int a, int b, int r, int flags, Slice update);
// The key value relation (b, r) of the current file computes; 163 when there
// is none or it is empty.
Slice RelationValue(int b, int r);

// ---- Installation --------------------------------------------------------------------------

// Installs record fields as expression operands (NAME{F}, through the file
// structures) and the evaluator of the line tables' insert and delete
// expressions. Start-up calls it once; calling it again is harmless.
void InstallRecordOperations();

}  // namespace tessaly
