// Text slice: a pointer to bytes and an unsigned 16-bit length, passed and
// returned by value. All text in the runtime, and every number passed between
// modules, travels as a slice.
//
// Three kinds:
//   valid        non-null pointer, any length (an empty text is a valid
//                pointer with length 0);
//   error slice  null pointer; the length holds a status code;
//   the status of any slice is 0 when the pointer is not null, else its
//   length, or 65535 when that length is 0.
//
// Lifetime: a slice owns nothing. A slice into the string area is valid until
// the string area is released below it (the caller's next mark); a slice into
// a table is valid until that table item changes. Keep what you need by
// copying it into the string area (AreaMark::Keep) or into an owning table.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/status.h"

namespace tessaly {

inline constexpr uint16_t kMaxTextLength = 65535;
inline constexpr uint16_t kNotFound = 65535;  // positions and indexes

class Slice {
 public:
  constexpr Slice() : data_(""), size_(0) {}
  constexpr Slice(const char* data, uint16_t size) : data_(data), size_(size) {}
  // From a zero-terminated string: a null pointer gives the error slice 163,
  // a text longer than 65535 bytes the error slice 146.
  Slice(const char* cstr)  // NOLINT: slices are made from literals everywhere
      : data_(cstr), size_(0) {
    if (cstr == nullptr) {
      size_ = Status::kBadInputData;
      return;
    }
    size_t n = std::strlen(cstr);
    if (n > kMaxTextLength) {
      data_ = nullptr;
      size_ = Status::kStringTooLong;
    } else {
      size_ = static_cast<uint16_t>(n);
    }
  }
  // From a view: longer than 65535 bytes gives the error slice 146.
  static Slice Of(std::string_view v) {
    if (v.size() > kMaxTextLength) return Error(Status::kStringTooLong);
    return Slice(v.data() ? v.data() : "", static_cast<uint16_t>(v.size()));
  }
  static constexpr Slice Error(Status status) {
    Slice s;
    s.data_ = nullptr;
    s.size_ = status.code();
    return s;
  }

  constexpr bool ok() const { return data_ != nullptr; }
  constexpr bool is_error() const { return data_ == nullptr; }
  constexpr Status status() const {
    return data_ != nullptr ? Status(0) : Status(size_ != 0 ? size_ : uint16_t{65535});
  }
  // REQUIRES: ok() for the bytes to be meaningful; an error slice has no data.
  constexpr const char* data() const { return data_; }
  // The length of a valid slice; 0 for an error slice.
  constexpr uint16_t size() const { return data_ != nullptr ? size_ : 0; }
  constexpr bool empty() const { return size() == 0; }
  constexpr unsigned char operator[](size_t i) const {
    assert(data_ != nullptr && i < size_);
    return static_cast<unsigned char>(data_[i]);
  }
  constexpr const char* begin() const { return data_; }
  constexpr const char* end() const { return data_ ? data_ + size_ : nullptr; }

  std::string_view view() const {
    return data_ ? std::string_view(data_, size_) : std::string_view();
  }
  std::string str() const { return std::string(view()); }

  // Byte equality of two valid slices; error slices equal only the same status.
  friend bool operator==(Slice a, Slice b) {
    if (a.ok() != b.ok()) return false;
    if (!a.ok()) return a.status() == b.status();
    return a.size_ == b.size_ && (a.size_ == 0 || std::memcmp(a.data_, b.data_, a.size_) == 0);
  }

 private:
  const char* data_;
  uint16_t size_;
};

}  // namespace tessaly
