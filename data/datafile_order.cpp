// Key orders in blocks, and key texts.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "data/datafile_internal.h"

namespace tessaly::datafile {

// Blocks built from a whole order start three quarters full, so that the
// inserts that follow a load or a reorganisation split few of them.
static constexpr uint32_t kBlockFill = KeyOrder::kBlockMax * 3 / 4;
// A block that shrinks to this joins a neighbour when both fit in one.
static constexpr uint32_t kBlockLow = KeyOrder::kBlockMax / 4;

size_t KeyOrder::BlockOf(uint32_t pos) const {
  assert(pos < size_);
  size_t h = hint_;
  if (h < blocks_.size() && pos >= starts_[h] && pos - starts_[h] < blocks_[h].size()) return h;
  // Walks in key order move one entry at a time: try the neighbours first.
  if (h + 1 < blocks_.size() && pos >= starts_[h + 1] &&
      pos - starts_[h + 1] < blocks_[h + 1].size()) {
    return hint_ = h + 1;
  }
  if (h > 0 && h - 1 < blocks_.size() && pos >= starts_[h - 1] &&
      pos - starts_[h - 1] < blocks_[h - 1].size()) {
    return hint_ = h - 1;
  }
  auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
  return hint_ = static_cast<size_t>(it - starts_.begin()) - 1;
}

int32_t KeyOrder::At(uint32_t pos) const {
  size_t b = BlockOf(pos);
  return blocks_[b][pos - starts_[b]];
}

void KeyOrder::ShiftStarts(size_t from_block, int delta) {
  uint32_t* s = starts_.data();
  size_t n = starts_.size();
  uint32_t d = static_cast<uint32_t>(delta);
  for (size_t i = from_block; i < n; ++i) s[i] += d;
}

void KeyOrder::Insert(uint32_t pos, int32_t record) {
  assert(pos <= size_);
  if (blocks_.empty()) {
    blocks_.emplace_back();
    blocks_.back().reserve(kBlockMax);
    starts_.push_back(0);
  }
  size_t b;
  if (pos == size_) {
    b = blocks_.size() - 1;
  } else {
    b = BlockOf(pos);
  }
  std::vector<int32_t>& block = blocks_[b];
  block.insert(block.begin() + (pos - starts_[b]), record);
  ++size_;
  ShiftStarts(b + 1, 1);
  if (block.size() >= kBlockMax) {
    // Split in halves; the upper half becomes a new block after this one.
    size_t half = block.size() / 2;
    std::vector<int32_t> upper;
    upper.reserve(kBlockMax);
    upper.assign(block.begin() + static_cast<ptrdiff_t>(half), block.end());
    block.resize(half);
    uint32_t upper_start = starts_[b] + static_cast<uint32_t>(half);
    blocks_.insert(blocks_.begin() + static_cast<ptrdiff_t>(b + 1), std::move(upper));
    starts_.insert(starts_.begin() + static_cast<ptrdiff_t>(b + 1), upper_start);
  }
}

void KeyOrder::Erase(uint32_t pos) {
  assert(pos < size_);
  size_t b = BlockOf(pos);
  std::vector<int32_t>& block = blocks_[b];
  block.erase(block.begin() + (pos - starts_[b]));
  --size_;
  ShiftStarts(b + 1, -1);
  if (block.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<ptrdiff_t>(b));
    starts_.erase(starts_.begin() + static_cast<ptrdiff_t>(b));
  } else if (block.size() <= kBlockLow && b + 1 < blocks_.size() &&
             block.size() + blocks_[b + 1].size() <= kBlockFill) {
    block.insert(block.end(), blocks_[b + 1].begin(), blocks_[b + 1].end());
    blocks_.erase(blocks_.begin() + static_cast<ptrdiff_t>(b + 1));
    starts_.erase(starts_.begin() + static_cast<ptrdiff_t>(b + 1));
  }
  hint_ = 0;
}

void KeyOrder::Clear() {
  blocks_.clear();
  starts_.clear();
  size_ = 0;
  hint_ = 0;
}

void KeyOrder::Assign(const int32_t* records, size_t count) {
  Clear();
  size_t done = 0;
  while (done < count) {
    size_t n = std::min<size_t>(kBlockFill, count - done);
    std::vector<int32_t> block;
    block.reserve(kBlockMax);
    block.assign(records + done, records + done + n);
    starts_.push_back(static_cast<uint32_t>(done));
    blocks_.push_back(std::move(block));
    done += n;
  }
  size_ = static_cast<uint32_t>(count);
}

uint32_t KeyOrder::Scan(int32_t record, uint32_t from, uint32_t to) const {
  to = std::min(to, size_);
  if (from >= to) return kAbsent;
  size_t b = BlockOf(from);
  uint32_t pos = from;
  while (pos < to && b < blocks_.size()) {
    const std::vector<int32_t>& block = blocks_[b];
    size_t i = pos - starts_[b];
    size_t end = std::min<size_t>(block.size(), i + (to - pos));
    for (; i < end; ++i) {
      if (block[i] == record) return starts_[b] + static_cast<uint32_t>(i);
    }
    pos = starts_[b] + static_cast<uint32_t>(end);
    ++b;
  }
  return kAbsent;
}

// ---- Key texts -------------------------------------------------------------------------

void CopyKeyText(const Key& key, const char* record, char* out) {
  for (int i = 0; i < key.count; ++i) {
    std::memcpy(out, record + key.segments[i].offset, key.segments[i].length);
    out += key.segments[i].length;
  }
}

std::string KeyText(const Key& key, const char* record) {
  std::string text(key.length, ' ');
  CopyKeyText(key, record, text.data());
  return text;
}

}  // namespace tessaly::datafile
