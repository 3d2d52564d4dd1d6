#include "core/line_table.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/memory_blocks.h"
#include "core/string_area.h"
#include "core/text.h"

namespace tessaly {
namespace {

// The block of cells belongs to the local lists of the runtime.
constexpr ErrorArea kLineTableArea = ErrorArea::kLocalLists;

constexpr const char* kModeNames[] = {"ALONE", "DOCUMENT", "NAVIGATION"};
constexpr LineTableMode kModeValues[] = {kLinesAlone, kLinesDocument, kLinesNavigation};
static_assert(std::size(kModeNames) == std::size(kModeValues));

Status NoCondition(Slice text) {
  if (text.is_error()) return text.status();
  if (Trim(text).empty()) return Status(1);
  return SetDetail(Status::kBadExpression, text);
}

Status NoExpression(Slice text) {
  if (text.is_error()) return text.status();
  if (Trim(text).empty()) return Status::kOk;
  return SetDetail(Status::kBadExpression, text);
}

LineTableEvaluator g_evaluator;

}  // namespace

LineTableMode LineTableModeOf(Slice setting) {
  AreaMark mark;
  Slice name = Upper(Trim(setting));
  for (size_t i = 0; i < std::size(kModeNames); ++i) {
    if (name == Slice(kModeNames[i])) return kModeValues[i];
  }
  return kLinesDocument;
}

LineTableEvaluator SetLineTableEvaluator(LineTableEvaluator evaluator) {
  LineTableEvaluator old = g_evaluator;
  g_evaluator = evaluator;
  return old;
}

LineTable::LineTable(int column_capacity, int row_capacity, Slice mode_setting)
    : column_capacity_(std::max(column_capacity, 1)),
      row_capacity_(row_capacity > 0 ? row_capacity : kDefaultRowCapacity),
      mode_(LineTableModeOf(mode_setting)) {
  offsets_.reserve(column_capacity_);
  widths_.reserve(column_capacity_);
  values_.reserve(column_capacity_);
}

LineTable::~LineTable() {
  if (data_ != nullptr) (void)BlockFree(kLineTableArea, data_);
}

Status LineTable::Fail(Status status) {
  status_ = status;
  return status;
}

Status LineTable::AddColumn(uint16_t width, uint16_t value) {
  if (columns_ >= column_capacity_) return Fail(Status::kDataOutBound);
  if (width == 0) return Fail(Status::kBadInputData);
  if (uint32_t{row_length_} + width > kMaxTextLength) return Fail(Status::kDataOutBound);
  uint16_t length = static_cast<uint16_t>(row_length_ + width);
  if (columns_ + 1 == column_capacity_) {
    size_t size = static_cast<size_t>(row_capacity_) * length;
    data_ = static_cast<char*>(BlockAllocate(kLineTableArea, size, ' '));
    if (data_ == nullptr) return Fail(Status::kMemoryAllocError);
  }
  offsets_.push_back(row_length_);
  widths_.push_back(width);
  values_.push_back(value);
  row_length_ = length;
  ++columns_;
  return Status::kOk;
}

char* LineTable::RowPointer(int row) const {
  assert(data_ != nullptr && row >= 1 && row <= row_capacity_);
  return data_ + static_cast<size_t>(row - 1) * row_length_;
}

void LineTable::BlankRows(int from, int to) {
  if (data_ == nullptr) return;
  from = std::max(from, 1);
  to = std::min(to, row_capacity_);
  if (from > to) return;
  std::memset(RowPointer(from), ' ', static_cast<size_t>(to - from + 1) * row_length_);
}

void LineTable::Mirror() const {
  SetWord(kLNum, static_cast<uint16_t>(current_row_));
  SetWord(kLLst, static_cast<uint16_t>(used_rows_));
}

void LineTable::Clear() {
  BlankRows(1, used_rows_);
  current_row_ = 0;
  used_rows_ = 0;
  changed_ |= kLinesCellsChanged | kLinesRowsChanged;
  Mirror();
}

uint16_t LineTable::ColumnOffset(int column) const {
  return column >= 1 && column <= columns_ ? offsets_[column - 1] : 0;
}
uint16_t LineTable::ColumnWidth(int column) const {
  return column >= 1 && column <= columns_ ? widths_[column - 1] : 0;
}
uint16_t LineTable::ColumnValue(int column) const {
  return column >= 1 && column <= columns_ ? values_[column - 1] : 0;
}

Slice LineTable::Cell(int row, int column) const {
  if (row == -1) row = current_row_;
  if (data_ == nullptr || row < 1 || row > row_capacity_ || column < 1 || column > columns_) {
    return Slice();
  }
  return Slice(RowPointer(row) + offsets_[column - 1], widths_[column - 1]);
}

Status LineTable::SetCell(int row, int column, Slice text) {
  if (text.is_error()) return Fail(text.status());
  if (row == -1) row = current_row_;
  if (data_ == nullptr || row < 1 || row > row_capacity_ || column < 1 || column > columns_) {
    return Fail(Status::kDataOutBound);
  }
  if (used_rows_ < row) {
    BlankRows(used_rows_ + 1, row);
    used_rows_ = row;
    changed_ |= kLinesRowsChanged;
  }
  char* cell = RowPointer(row) + offsets_[column - 1];
  uint16_t width = widths_[column - 1];
  uint16_t n = std::min(width, text.size());
  if (n > 0) std::memmove(cell, text.data(), n);
  std::memset(cell + n, ' ', width - n);
  changed_ |= kLinesCellsChanged;
  Mirror();
  return Status::kOk;
}

Slice LineTable::Row(int row) const {
  if (data_ == nullptr || row < 1 || row > row_capacity_) return Slice();
  return Slice(RowPointer(row), row_length_);
}

Slice LineTable::RowText() const { return Row(current_row_); }

Status LineTable::MoveRows(int n) {
  if (data_ == nullptr || (n != 1 && n != -1)) return Fail(Status::kBadInputData);
  int p = current_row_;
  if (p < 1 || used_rows_ + n < 0 || used_rows_ + n > row_capacity_ + 1) {
    return Fail(Status::kBadInputData);
  }
  if (n > 0) {
    // The rows from p move down by one; in a full table the last one falls
    // off rather than past the end of the block.
    int last = std::min(used_rows_, row_capacity_ - 1);
    if (last >= p) {
      std::memmove(RowPointer(p + 1), RowPointer(p),
                   static_cast<size_t>(last - p + 1) * row_length_);
    }
    BlankRows(p, p);
    if (used_rows_ + 1 <= row_capacity_) ++used_rows_;
  } else {
    if (p > used_rows_) return Status::kOk;
    if (p < used_rows_) {
      std::memmove(RowPointer(p), RowPointer(p + 1),
                   static_cast<size_t>(used_rows_ - p) * row_length_);
    }
    BlankRows(used_rows_, used_rows_);
    --used_rows_;
  }
  changed_ |= kLinesCellsChanged | kLinesRowsChanged;
  Mirror();
  return Status::kOk;
}

Status LineTable::MoveWithExpression(int n, Slice text) {
  if (text.is_error()) return Fail(text.status());
  AreaMark mark;
  auto condition = g_evaluator.condition ? g_evaluator.condition : NoCondition;
  auto for_errors = g_evaluator.for_errors ? g_evaluator.for_errors : NoExpression;
  Status c = condition(Item(text, ',', 1));
  if (c != 1) return c;
  Status moved = MoveRows(n);
  if (!moved.ok()) return moved;
  Status e = for_errors(Rest(text, ','));
  return e.is_error() ? Fail(e) : Status(Status::kOk);
}

void LineTable::Trim() {
  int before = used_rows_;
  while (used_rows_ >= 2 && tessaly::Trim(Row(used_rows_), kTrimBoth, Slice(" ", 1)).empty()) {
    --used_rows_;
  }
  BlankRows(used_rows_ + 1, before);
  if (used_rows_ != before) changed_ |= kLinesRowsChanged;
  current_row_ = used_rows_;
  Mirror();
}

int LineTable::AppendRow() {
  if (data_ == nullptr || used_rows_ >= row_capacity_) return 0;
  ++used_rows_;
  BlankRows(used_rows_, used_rows_);
  current_row_ = used_rows_;
  changed_ |= kLinesCellsChanged | kLinesRowsChanged;
  Mirror();
  return current_row_;
}

void LineTable::SetCurrentRow(int row) {
  current_row_ = std::clamp(row, 0, row_capacity_);
  Mirror();
}

void LineTable::SetUsedRows(int rows) {
  rows = std::clamp(rows, 0, row_capacity_);
  if (rows < used_rows_) BlankRows(rows + 1, used_rows_);
  if (rows != used_rows_) changed_ |= kLinesRowsChanged;
  used_rows_ = rows;
  Mirror();
}

Slice LinePositionText(int current, int total, int width) {
  std::string text = " " + std::to_string(current) + " / " + std::to_string(total);
  if (width < 0 || text.size() > static_cast<size_t>(width)) return Area().Push(Slice());
  return Area().Push(Slice::Of(text));
}

}  // namespace tessaly
