// Record fields in expressions: operands written NAME{F} (a field name or
// number, and a file number or name; "{}" is the current file).
//
// The data layer owns the files, their structures and record buffers; it
// installs its access here at start-up, and the evaluator reaches fields only
// through it. Until one is installed there are no files: every reference
// gives 161 with "Field:" and the reference as error detail.
#pragma once

#include "core/slice.h"

namespace tessaly {

class RecordFieldAccess {
 public:
  virtual ~RecordFieldAccess() = default;

  // The type letter of the field `reference` names ('A', 'N', '1' ...), or
  // 0 when it names no field. The scanner uses it to tell text fields
  // ("ABCDF", operand kind 9) from numeric ones (kind 8).
  virtual char FieldType(Slice reference) = 0;

  // Pushes the field's value from its file's current record: a number (the
  // 8-byte scaled value) for the numeric types 'N', 'L' and '1'-'9', the
  // text for the others. Returns kNumberValue, kTextValue, or a status with
  // the error detail set. A numeric field may also be answered as text; the
  // evaluator then reads it as a number where a number is needed.
  virtual Status Read(Slice reference) = 0;

  // Stores `text` into the field of the current record (numbers arrive
  // formatted with `_PRECIS` decimals). Returns a status.
  virtual Status Write(Slice reference, Slice text) = 0;
};

// Installs the data layer's access (null: no files). Not owned.
void SetRecordFieldAccess(RecordFieldAccess* access);
// The installed access, or the built-in one that knows no files.
RecordFieldAccess& RecordFields();

}  // namespace tessaly
