#include "core/string_area.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

StringArea::StringArea(int slot_limit)
    : slot_limit_(std::max(slot_limit, 2)),
      buffer_size_(static_cast<size_t>(slot_limit_) * 1024),
      buffer_(new char[buffer_size_]),
      slots_(static_cast<size_t>(slot_limit_)) {
  slots_[0] = {0, 0};
  std::memset(buffer_.get(), 0, buffer_size_);
}

size_t StringArea::bytes_in_use() const { return EndOf(depth_); }

void StringArea::FillReleased([[maybe_unused]] size_t from, [[maybe_unused]] size_t to) {
#ifndef NDEBUG
  if (to > from) std::memset(buffer_.get() + from, kReleasedFill, to - from);
#endif
}

int StringArea::Release(int depth) {
  if (depth < 0 || depth >= slot_limit_ || depth > depth_) return depth_;
  if (depth < depth_) {
    FillReleased(EndOf(depth), EndOf(depth_));
    depth_ = depth;
  }
  return depth_;
}

Slice StringArea::Reserve(size_t n, int fill) {
  if (n > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
  size_t start = EndOf(depth_);
  if (depth_ + 1 >= slot_limit_ || start + n > buffer_size_) {
    return Slice::Error(Status::kOutOfMemory);
  }
  ++depth_;
  slots_[depth_] = {static_cast<uint32_t>(start), static_cast<uint16_t>(n)};
  if (fill != kNoFill) std::memset(buffer_.get() + start, fill, n);
  highest_depth_ = std::max(highest_depth_, depth_);
  highest_use_ = std::max(highest_use_, start + n);
  return Slice(buffer_.get() + start, static_cast<uint16_t>(n));
}

Slice StringArea::Push(Slice text) {
  if (!text.ok()) return text;
  const char* src = text.data();
  uint16_t n = text.size();
  size_t start = EndOf(depth_);
  if (depth_ + 1 >= slot_limit_ || start + n > buffer_size_) {
    return Slice::Error(Status::kOutOfMemory);
  }
  // The source may overlap the destination when it lies in a released part.
  if (n) std::memmove(buffer_.get() + start, src, n);
  ++depth_;
  slots_[depth_] = {static_cast<uint32_t>(start), n};
  highest_depth_ = std::max(highest_depth_, depth_);
  highest_use_ = std::max(highest_use_, start + n);
  return Slice(buffer_.get() + start, n);
}

Slice StringArea::Keep(int depth, Slice text) {
  if (depth < 0 || depth >= slot_limit_ || depth > depth_) return Push(text);
  size_t old_end = EndOf(depth_);
  if (!text.ok()) {
    Release(depth);
    return text;
  }
  size_t start = EndOf(depth);
  uint16_t n = text.size();
  if (depth + 1 >= slot_limit_ || start + n > buffer_size_) {
    Release(depth);
    return Slice::Error(Status::kOutOfMemory);
  }
  if (n) std::memmove(buffer_.get() + start, text.data(), n);
  depth_ = depth + 1;
  slots_[depth_] = {static_cast<uint32_t>(start), n};
  highest_depth_ = std::max(highest_depth_, depth_);
  highest_use_ = std::max(highest_use_, start + n);
  FillReleased(start + n, old_end);
  return Slice(buffer_.get() + start, n);
}

Slice StringArea::TruncateTop(uint16_t n) {
  SlotEntry& top = slots_[depth_];
  if (n < top.length) {
    FillReleased(top.offset + n, top.offset + top.length);
    top.length = n;
  }
  return Top();
}

Slice StringArea::Top() const {
  const SlotEntry& top = slots_[depth_];
  return Slice(buffer_.get() + top.offset, top.length);
}

char* StringArea::MutableTop() { return buffer_.get() + slots_[depth_].offset; }

Slice StringArea::PushNumber(int64_t value) {
  char bytes[8];
  uint64_t u = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return Push(Slice(bytes, 8));
}

int64_t StringArea::TopNumber() const { return NumberOf(Top()); }

int64_t NumberOf(Slice s) {
  if (!s.ok()) return -1;
  if (s.size() == 0) return 0;
  if (s.size() != 8) return -1;
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | s[i];
  return static_cast<int64_t>(u);
}

namespace {
std::unique_ptr<StringArea>& AreaHolder() {
  static std::unique_ptr<StringArea> area = std::make_unique<StringArea>();
  return area;
}
}  // namespace

StringArea& Area() { return *AreaHolder(); }

void ResizeArea(int slot_limit) { AreaHolder() = std::make_unique<StringArea>(slot_limit); }

}  // namespace tessaly
