// The string area: the stack of temporary strings in which every operation
// builds its result.
//
// One buffer (slot limit x 1024 bytes) and one slot table. Slot 0 is an empty
// string at the start of the buffer; each new string is placed right after the
// top string. An operation takes a mark on entry and, on exit, releases
// everything above the mark and pushes its result (keep), so the area never
// grows across calls. Use AreaMark, which does this on every return path.
//
// A result must be used or kept by the caller before the caller's own next
// mark. In debug builds released bytes are overwritten with kReleasedFill so
// that a slice used after its release shows up in tests.
//
// Numbers travel as 8-byte little-endian slices of the scaled 64-bit value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/slice.h"

namespace tessaly {

class StringArea {
 public:
  static constexpr int kDefaultSlotLimit = 128;
  static constexpr int kRuntimeSlotLimit = 512;
  static constexpr unsigned char kReleasedFill = 0xDB;
  static constexpr int kNoFill = 255;

  explicit StringArea(int slot_limit = kDefaultSlotLimit);
  StringArea(const StringArea&) = delete;
  StringArea& operator=(const StringArea&) = delete;

  // The current depth (number of the top slot).
  int Mark() const { return depth_; }
  // Releases every string above `depth` when depth is a live slot below the
  // slot limit; returns the depth now current.
  int Release(int depth);
  // Copies `text` into a new top string. The error slice 145 when the buffer
  // or the slot table is full; an error slice is returned unchanged.
  Slice Push(Slice text);
  // A new top string of n bytes, filled with `fill` unless it is kNoFill.
  // Write into it through MutableTop().
  Slice Reserve(size_t n, int fill = kNoFill);
  // Release(depth) then Push(text); `text` may lie in the released part.
  Slice Keep(int depth, Slice text);
  // Shortens the top string to n bytes (n not above its length).
  Slice TruncateTop(uint16_t n);

  Slice Top() const;
  char* MutableTop();

  Slice PushNumber(int64_t value);
  // The top string as a number: 0 for length 0, the value for length 8,
  // -1 for any other length.
  int64_t TopNumber() const;

  int slot_limit() const { return slot_limit_; }
  size_t capacity() const { return buffer_size_; }
  size_t bytes_in_use() const;
  size_t free_bytes() const { return buffer_size_ - bytes_in_use(); }
  int highest_depth() const { return highest_depth_; }
  size_t highest_use() const { return highest_use_; }

  // Whether `p` points into this area's buffer.
  bool Contains(const char* p) const {
    return p >= buffer_.get() && p < buffer_.get() + buffer_size_;
  }

 private:
  struct SlotEntry {
    uint32_t offset;
    uint16_t length;
  };
  size_t EndOf(int slot) const { return slots_[slot].offset + slots_[slot].length; }
  void FillReleased(size_t from, size_t to);

  int slot_limit_;
  size_t buffer_size_;
  std::unique_ptr<char[]> buffer_;
  std::vector<SlotEntry> slots_;
  int depth_ = 0;
  int highest_depth_ = 0;
  size_t highest_use_ = 0;
};

// The runtime's string area. The entry point resizes it to 512 slots before
// anything else runs (ResizeArea); tests may swap in their own.
StringArea& Area();
// Replaces the runtime's area by a new one of `slot_limit` slots.
void ResizeArea(int slot_limit);

// Number slices: the 8-byte little-endian form of a scaled value.
int64_t NumberOf(Slice s);  // 0 for length 0, -1 for a length other than 8
inline bool IsNumberSlice(Slice s) { return s.ok() && s.size() == 8; }

// Mark on entry, keep on exit. Every return path releases what the
// operation pushed above the mark; Keep releases and pushes the result.
class AreaMark {
 public:
  AreaMark() : area_(Area()), depth_(area_.Mark()) {}
  explicit AreaMark(StringArea& area) : area_(area), depth_(area.Mark()) {}
  ~AreaMark() {
    if (!kept_) area_.Release(depth_);
  }
  AreaMark(const AreaMark&) = delete;
  AreaMark& operator=(const AreaMark&) = delete;

  Slice Keep(Slice result) {
    kept_ = true;
    return area_.Keep(depth_, result);
  }
  Slice KeepNumber(int64_t value) {
    area_.Release(depth_);
    kept_ = true;
    return area_.PushNumber(value);
  }
  // For operations that answer with a status: release and pass it on.
  Status Release(Status status) {
    area_.Release(depth_);
    return status;
  }
  int depth() const { return depth_; }

 private:
  StringArea& area_;
  int depth_;
  bool kept_ = false;
};

}  // namespace tessaly
