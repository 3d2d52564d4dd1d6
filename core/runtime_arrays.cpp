#include "core/runtime_arrays.h"

#include <cstring>
#include <vector>

namespace tessaly::rtarray {
namespace {

struct RuntimeArray {
  size_t element_size = 0;
  int count = 0;
  std::vector<unsigned char> bytes;
};

RuntimeArray* Arrays() {
  static RuntimeArray arrays[kArrayCount];
  return arrays;
}

bool Valid(int array) { return array >= 0 && array < kArrayCount; }

// The most one array may hold; far above any real use (open screens,
// variables, descriptors).
constexpr size_t kMaxArrayBytes = size_t{256} << 20;

}  // namespace

void* Get(int array, int index) {
  if (!Valid(array)) return nullptr;
  RuntimeArray& a = Arrays()[array];
  if (index < 0 || index >= a.count) return nullptr;
  return a.bytes.data() + static_cast<size_t>(index) * a.element_size;
}

Status Store(int array, int index, const void* value, size_t size) {
  if (!Valid(array) || index < 0 || size == 0) return Status::kStructMemError;
  RuntimeArray& a = Arrays()[array];
  if (a.count == 0) a.element_size = size;
  if (a.element_size != size) return Status::kStructMemError;
  // The value may be an element of this same array, which growing moves.
  std::vector<unsigned char> own;
  if (index >= a.count) {
    // A wild index must give a status, not exhaust the memory.
    if (static_cast<size_t>(index) + 1 > kMaxArrayBytes / size) return Status::kStructMemError;
    if (value && !a.bytes.empty() && value >= static_cast<const void*>(a.bytes.data()) &&
        value < static_cast<const void*>(a.bytes.data() + a.bytes.size())) {
      own.assign(static_cast<const unsigned char*>(value),
                 static_cast<const unsigned char*>(value) + size);
      value = own.data();
    }
    // Geometric growth: stores of ascending indexes stay amortised O(1).
    size_t need = (static_cast<size_t>(index) + 1) * size;
    if (a.bytes.capacity() < need) a.bytes.reserve(need * 2);
    a.bytes.resize(need, 0);
    a.count = index + 1;
  }
  unsigned char* dst = a.bytes.data() + static_cast<size_t>(index) * size;
  if (value) {
    std::memmove(dst, value, size);
  } else {
    std::memset(dst, 0, size);
  }
  return Status::kOk;
}

Status Delete(int array, int index) {
  if (!Valid(array)) return Status::kStructMemError;
  RuntimeArray& a = Arrays()[array];
  if (index < 0 || index >= a.count) return Status::kStructMemError;
  size_t off = static_cast<size_t>(index) * a.element_size;
  a.bytes.erase(a.bytes.begin() + off, a.bytes.begin() + off + a.element_size);
  if (--a.count == 0) Free(array);
  return Status::kOk;
}

int Count(int array) { return Valid(array) ? Arrays()[array].count : 0; }

size_t ElementSize(int array) { return Valid(array) ? Arrays()[array].element_size : 0; }

void Free(int array) {
  if (!Valid(array)) return;
  Arrays()[array] = RuntimeArray();
}

void FreeAll() {
  for (int i = 0; i < kArrayCount; ++i) Free(i);
}

}  // namespace tessaly::rtarray
