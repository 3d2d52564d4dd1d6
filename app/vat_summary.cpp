#include "app/vat_summary.h"

#include <cstring>
#include <string>

#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"

namespace tessaly {
namespace {

bool Whole(Slice summary) { return summary.ok() && summary.size() % kVatEntrySize == 0; }

int64_t ReadValue(const char* p) {
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(p[i]);
  return static_cast<int64_t>(u);
}

void WriteValue(char* p, int64_t v) {
  auto u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i, u >>= 8) p[i] = static_cast<char>(u & 0xFF);
}

// The offset of the entry of `rate`; -1 when there is none.
int FindRate(std::string_view entries, int64_t rate) {
  for (size_t off = 0; off + kVatEntrySize <= entries.size(); off += kVatEntrySize) {
    if (ReadValue(entries.data() + off) == rate) return static_cast<int>(off);
  }
  return -1;
}

void AppendEntry(std::string& entries, int64_t rate, int64_t base) {
  char entry[kVatEntrySize];
  WriteValue(entry, rate);
  WriteValue(entry + 8, base);
  entries.append(entry, kVatEntrySize);
}

// Saturated, so that a runaway base cannot wrap to a negative one.
int64_t AddSaturated(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : -INT64_MAX;
  return sum;
}

Slice Result(AreaMark& mark, const std::string& entries) { return mark.Keep(Slice::Of(entries)); }

}  // namespace

Slice VatAdd(Slice summary, int64_t rate, int64_t amount) {
  AreaMark mark;
  if (!summary.ok()) return mark.Keep(summary);
  if (!Whole(summary)) return mark.Keep(Slice::Error(Status::kBadInputData));
  if (amount == 0) return mark.Keep(summary);
  std::string entries = summary.str();
  int off = FindRate(entries, rate);
  if (off < 0) {
    AppendEntry(entries, rate, amount);
  } else {
    WriteValue(entries.data() + off + 8, AddSaturated(ReadValue(entries.data() + off + 8), amount));
  }
  return Result(mark, entries);
}

Slice VatWithRates(Slice summary, Slice rates) {
  AreaMark mark;
  if (!summary.ok()) return mark.Keep(summary);
  if (!rates.ok()) return mark.Keep(rates);
  if (!Whole(summary)) return mark.Keep(Slice::Error(Status::kBadInputData));
  std::string entries = summary.str();
  const int count = CountItems(rates, ',');
  for (int i = 1; i <= count; ++i) {
    Slice item = Trim(Item(rates, ',', i));
    if (item.empty()) continue;
    if (!IsNumberText(item)) return mark.Keep(Slice::Error(Status::kBadInputData));
    int64_t rate = ParseNumber(item);
    if (FindRate(entries, rate) < 0) AppendEntry(entries, rate, 0);
  }
  return Result(mark, entries);
}

Status VatValue(Slice summary, int64_t n, int64_t selector, int64_t* value) {
  *value = 0;
  if (!summary.ok()) return summary.status();
  if (selector != 0 && selector != 1) return Status::kSyntaxError;
  if (!Whole(summary)) return Status::kBadInputData;
  const int64_t count = summary.size() / kVatEntrySize;
  if (n == 0) {
    *value = Scale(count);
  } else if (n >= 1 && n <= count) {
    *value = ReadValue(summary.data() + (n - 1) * kVatEntrySize + selector * 8);
  }
  return Status::kOk;
}

}  // namespace tessaly
