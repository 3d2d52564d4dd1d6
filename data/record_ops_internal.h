// Inside the record operations: helpers shared by record_ops.cpp,
// record_lists.cpp, relations.cpp and documents.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "core/flags.h"
#include "core/slice.h"
#include "core/status.h"
#include "data/structures.h"

namespace tessaly::recops {

// Bits of the system words used here.
inline constexpr uint16_t kUpStatRelUpdates = 0x01;   // definitions run
inline constexpr uint16_t kUpStatSqlRun = 0x20;       // set while SQL definitions run
inline constexpr uint16_t kUpStatAllowRepeat = 0x40;  // inserts may repeat key 1
inline constexpr uint16_t kAuxStatSql = 0x800;
inline constexpr uint16_t kScrStatPaging = 0x40;  // PgUp/PgDn on a field
inline constexpr uint16_t kLastKeyPrevious = 23;

// The two buffers of a resolved file as one value; empty for a file without
// buffers.
struct Buffers {
  char* current = nullptr;
  char* saved = nullptr;
  uint16_t length = 0;
  bool ok() const { return current != nullptr && saved != nullptr && length > 0; }
};
Buffers BuffersOf(int file);

// A copy of buffer 1 or 2 (which 1 or 2), to be put back with Restore.
std::string CopyBuffer(int file, int which);
void PutBuffer(int file, int which, const std::string& bytes);

// The text of `key` (0: current) from buffer 1 as a string; false on error
// (the status in *status).
bool KeyText(int file, int key, std::string* text, Status* status);

// Whether every byte of `text` is a blank.
bool IsBlank(std::string_view text);

// Evaluates `expression` with `file` as the current file (`_CURFIL`).
Slice EvaluateOver(int file, Slice expression);

// Runs a save (RecordSave) without resolving again; the part shared with
// the document storage.
Status Save(int flags, int file, Slice selection, Slice emptiness);

// Builds a list over `start` within `range` (an empty range: no end).
Status BuildList(int file, int key, Slice start, Slice range, int max, Slice condition);

// Installs record fields as expression operands: the structures' access,
// refusing texts that are no number for numeric fields.
void InstallFieldOperands();

// Sets the last result of a file directly (after loading a record by
// number, the file counts as positioned on it).
void SetLastResult(int file, int result);

}  // namespace tessaly::recops
