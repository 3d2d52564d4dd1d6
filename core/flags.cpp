#include "core/flags.h"

#include "core/runtime_arrays.h"

namespace tessaly {

uint16_t Word(int index) {
  const void* p = rtarray::Get(rtarray::kIntegerVariables, index);
  return p ? *static_cast<const uint16_t*>(p) : 0;
}

void SetWord(int index, uint16_t value) {
  (void)rtarray::Store(rtarray::kIntegerVariables, index, &value, sizeof value);
}

bool TestBits(int index, uint16_t mask) { return (Word(index) & mask) != 0; }

bool SetBits(int index, uint16_t mask) {
  uint16_t w = Word(index) | mask;
  SetWord(index, w);
  return (w & mask) == mask;
}

bool ClearBits(int index, uint16_t mask) {
  uint16_t w = Word(index) & static_cast<uint16_t>(~mask);
  SetWord(index, w);
  return (w & mask) == mask;
}

int Decimals() {
  // Absent before start-up creates the system variables: the default is 2.
  if (rtarray::Get(rtarray::kIntegerVariables, kPrecis) == nullptr) return 2;
  int d = SignedWord(kPrecis);
  return d < 0 ? 0 : (d > 9 ? 9 : d);
}

}  // namespace tessaly
