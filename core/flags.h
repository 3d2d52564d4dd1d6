// Flag words: the integer system variables, read and written by index as
// 16-bit words of runtime array 7. Their indexes are fixed because the system
// variables are created first, in this order, at start-up.
#pragma once

#include <cstdint>

namespace tessaly {

enum SysWord : int {
  kAuxStat = 0,
  kRelRes = 1,
  kCurFil = 2,
  kCurEdFld = 3,
  kDevHig = 4,
  kDevWid = 5,
  kDevLin = 6,
  kDevPos = 7,
  kDevPag = 8,
  kCurRow = 9,
  kStat = 10,
  kLastKey = 11,
  kSgn = 12,
  kUpStat = 13,
  kIer = 14,
  kSysCompat = 15,
  kSqlStk = 16,
  kCount = 17,
  kHCount = 18,
  kAdmStat = 19,
  kCompat = 20,
  kScrStat = 21,
  kLMax = 22,
  kLNum = 23,
  kLLst = 24,
  kHNum = 25,
  kSafe = 26,
  kLb = 27,
  kAux = 28,
  kKeyMap = 29,
  kSerial = 30,
  kTrace = 31,
  kPrecis = 32,
  kBYear = 33,
  kBkYear = 34,
  kDx = 35,
  kInHnd = 36,
  kOutHnd = 37,
  kDate = 38,
  kDocSt = 39,
  kWMaxRow = 40,
  kUser01 = 41,
  kUser02 = 42,
  kUser03 = 43,
  kSysWordCount = 44,
};

// The word at `index` of runtime array 7; 0 when absent.
uint16_t Word(int index);
void SetWord(int index, uint16_t value);
inline int16_t SignedWord(int index) { return static_cast<int16_t>(Word(index)); }
// Whether any bit of `mask` is set.
bool TestBits(int index, uint16_t mask);
// Set or clear the bits and write the word back; returns whether `mask` is
// now set (all of it).
bool SetBits(int index, uint16_t mask);
bool ClearBits(int index, uint16_t mask);

// The current number of decimals of numbers (`_PRECIS`), clamped to 0-9.
int Decimals();

}  // namespace tessaly
