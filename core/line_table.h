// Line tables: the lines of a document while it is edited.
//
// A table has a fixed number of columns of fixed width and room for a fixed
// number of rows, all in one blank-filled block in which every row is its
// cells side by side:
//
//   row r (1-based) starts at (r-1) x row_length
//   +-----------+-----------+--- ... ---+----------+
//   | column 1  | column 2  |           | column n |   row_length = sum of widths
//   +-----------+-----------+--- ... ---+----------+
//   offset 0    width 1     ...
//
// The block is taken from the memory blocks when the last column is added.
// Cells are text: a value set into a cell is cut or padded with blanks to the
// column width.
//
// Invariants:
//   1. 0 <= used_rows <= row_capacity, 0 <= current_row <= row_capacity.
//   2. Every row above used_rows is blank, so a grown table never shows the
//      cells of lines deleted or cleared before.
//   3. `_LNUM` and `_LLST` hold current_row and used_rows after every
//      operation that changes them, so that expressions can read them.
//
// Inserting and deleting with an expression evaluate a condition and an
// expression; the expression evaluator lives in a higher layer and installs
// itself through SetLineTableEvaluator. Until it does, only the empty
// condition (true) and the empty expression (no error) are understood.
#pragma once

#include <cstdint>
#include <vector>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// The modes of the lines of a document, items of "ALONE,DOCUMENT,NAVIGATION".
enum LineTableMode : uint8_t {
  kLinesAlone = 1,
  kLinesDocument = 2,
  kLinesNavigation = 4,
};
// The mode a setting names ("ALONE" 1, "DOCUMENT" 2, "NAVIGATION" 4, compared
// after trimming, in upper case); 2 for anything else.
LineTableMode LineTableModeOf(Slice setting);

// Change bits, set by every change and cleared by the owner once it has
// stored the lines.
enum LineTableChange : uint8_t {
  kLinesCellsChanged = 0x01,  // a cell was written or rows moved
  kLinesRowsChanged = 0x02,   // the number or order of rows changed
};

class LineTable {
 public:
  static constexpr int kDefaultRowCapacity = 100;

  // Room for `column_capacity` columns (at least 1) and `row_capacity` rows
  // (0: 100). No data until the last column is added. `mode_setting` is the
  // document's lines mode text (see LineTableModeOf).
  LineTable(int column_capacity, int row_capacity, Slice mode_setting = Slice());
  ~LineTable();
  LineTable(const LineTable&) = delete;
  LineTable& operator=(const LineTable&) = delete;

  // Adds a column of `width` (1 or more) carrying `value` for the owner.
  // 168 when every column is already added or the row would pass 65535
  // bytes, 163 for a width of 0, 154 when the data block cannot be taken
  // (after the last column; the column is then not added).
  Status AddColumn(uint16_t width, uint16_t value = 0);

  // Current and used rows to 0 (and `_LNUM`, `_LLST`); the rows are blanked.
  void Clear();

  // The cell of `row` (-1: the current row) and `column` (1-based): a view
  // valid until the table changes. Empty when the row is 0 or above the
  // capacity, the column 0 or above the columns added, or there is no data.
  Slice Cell(int row, int column) const;
  // Writes `text`, cut or padded to the column width. Rows up to `row` that
  // are not used yet are blanked and become used first. 168 when the row or
  // the column is out of range (or there is no data).
  Status SetCell(int row, int column, Slice text);
  // The whole current row (row length bytes); empty when there is none.
  Slice RowText() const;
  Slice Row(int row) const;

  // Inserts a blank row at the current row (rows from it move down; when the
  // table is full the last row falls off) or deletes the current row (rows
  // after it move up, the freed last row is blanked). 163 when there is no
  // data or no current row, or the used rows would leave 0..capacity+1.
  // Deleting a row above the used rows does nothing.
  Status InsertRow() { return MoveRows(+1); }
  Status DeleteRow() { return MoveRows(-1); }
  Status MoveRows(int n);

  // `text` is "condition,expression": when the condition is true the row is
  // inserted (or deleted) and the expression evaluated. A condition that is
  // not true ends with its result (0, or its status of 122 and more); of the
  // expression only a status of 128 and more is returned.
  Status InsertWithExpression(Slice text) { return MoveWithExpression(+1, text); }
  Status DeleteWithExpression(Slice text) { return MoveWithExpression(-1, text); }

  // Drops trailing blank rows, keeping at least 1 used row when there are
  // rows; the current row becomes the number of used rows.
  void Trim();

  // Appends a blank row after the used rows and makes it current: its number,
  // or 0 when the table is full or has no data.
  int AppendRow();

  // `row` becomes the current row (clamped to 0..capacity).
  void SetCurrentRow(int row);
  // `rows` become the used rows (clamped to 0..capacity); rows above are
  // blanked.
  void SetUsedRows(int rows);

  int column_capacity() const { return column_capacity_; }
  int columns() const { return columns_; }
  int row_capacity() const { return row_capacity_; }
  uint16_t row_length() const { return row_length_; }
  int current_row() const { return current_row_; }
  int used_rows() const { return used_rows_; }
  LineTableMode mode() const { return mode_; }
  bool has_data() const { return data_ != nullptr; }
  // Offset, width and owner's value of a column (1-based); 0 out of range.
  uint16_t ColumnOffset(int column) const;
  uint16_t ColumnWidth(int column) const;
  uint16_t ColumnValue(int column) const;

  uint8_t changed() const { return changed_; }
  void ClearChanged(uint8_t bits = kLinesCellsChanged | kLinesRowsChanged) {
    changed_ &= static_cast<uint8_t>(~bits);
  }
  // The status of the last operation that failed (0 when none did).
  Status last_status() const { return status_; }

 private:
  char* RowPointer(int row) const;   // REQUIRES: 1 <= row <= row_capacity_
  void BlankRows(int from, int to);  // inclusive, clamped
  void Mirror() const;
  Status Fail(Status status);
  Status MoveWithExpression(int n, Slice text);

  std::vector<uint16_t> offsets_;
  std::vector<uint16_t> widths_;
  std::vector<uint16_t> values_;
  int column_capacity_ = 1;
  int columns_ = 0;
  uint16_t row_length_ = 0;
  int row_capacity_ = kDefaultRowCapacity;
  int current_row_ = 0;
  int used_rows_ = 0;
  Status status_;
  LineTableMode mode_ = kLinesDocument;
  uint8_t changed_ = 0;
  char* data_ = nullptr;
};

// " current / total" when it fits in `width` characters; else empty. On the
// string area.
Slice LinePositionText(int current, int total, int width);

// What the line tables need from the expression evaluator.
struct LineTableEvaluator {
  // 1 true, 0 false, or a status of 122 and more; an empty text is true.
  Status (*condition)(Slice text) = nullptr;
  // 0, or the status of 128 and more of evaluating the statements.
  Status (*for_errors)(Slice text) = nullptr;
};
// Installs the evaluator (null members: the built-in one that understands
// only empty texts). Returns the previous one.
LineTableEvaluator SetLineTableEvaluator(LineTableEvaluator evaluator);

}  // namespace tessaly
