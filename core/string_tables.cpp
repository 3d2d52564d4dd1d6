#include "core/string_tables.h"

#include <string>
#include <deque>

namespace tessaly::strtab {
namespace {

// Deques: the queues pop at the front, the stacks at the back, both in O(1).
struct Store {
  std::deque<std::string> tables[kTableCount];
  uint32_t versions[kTableCount] = {};
  int items = 0;
  size_t text_bytes = 0;
};

Store& S() {
  static Store store;
  return store;
}

constexpr size_t kCountBytes = 2 * kTableCount;

bool ValidTable(int table) { return table >= 0 && table < kTableCount; }

// A bad table number or no item slot left: 159, with 156 recorded for the
// string assignment area so that the shown error says which store failed.
Status OutOfSlots() {
  (void)RecordError(1, ErrorArea::kStringAssign, Status::kLoadStrError, Status::kOk);
  return Status::kStrOutBound;
}

bool IsQueue(int table) { return table == kLineQueue || table == kQueue2; }

// Whether the store has room for `new_items` more items, and for a change
// of `delta` text bytes.
bool ItemsFit(long new_items) { return S().items + new_items <= kMaxItems; }
bool BytesFit(long new_items, long delta) {
  Store& s = S();
  long items = s.items + new_items;
  long bytes = static_cast<long>(kCountBytes) + 2 * items + static_cast<long>(s.text_bytes) + delta;
  return bytes <= static_cast<long>(kMaxStoreBytes);
}

}  // namespace

Slice Get(int table, int item) {
  if (!ValidTable(table)) return Slice::Error(OutOfSlots());
  auto& t = S().tables[table];
  if (item < 0 || item >= static_cast<int>(t.size())) return Slice();
  const std::string& s = t[item];
  return Slice(s.data(), static_cast<uint16_t>(s.size()));
}

Status Set(int table, int item, Slice text) {
  if (!ValidTable(table) || item < 0) return OutOfSlots();
  if (!text.ok()) return text.status();
  Store& s = S();
  auto& t = s.tables[table];
  long size = static_cast<long>(t.size());
  long add = item >= size ? static_cast<long>(item) + 1 - size : 0;
  long old_len = add ? 0 : static_cast<long>(t[item].size());
  if (!ItemsFit(add)) return OutOfSlots();
  if (!BytesFit(add, static_cast<long>(text.size()) - old_len)) return Status::kStrOutBound;
  if (add) t.resize(item + 1);
  t[item].assign(text.data(), text.size());
  ++s.versions[table];
  s.items += static_cast<int>(add);
  s.text_bytes = s.text_bytes - old_len + text.size();
  return Status::kOk;
}

Status Push(int table, Slice text) {
  if (!ValidTable(table)) return OutOfSlots();
  return Set(table, static_cast<int>(S().tables[table].size()), text);
}

Slice Top(int table) {
  if (!ValidTable(table)) return Slice::Error(OutOfSlots());
  auto& t = S().tables[table];
  if (t.empty()) return Slice();
  return Get(table, IsQueue(table) ? 0 : static_cast<int>(t.size()) - 1);
}

Status Pop(int table) {
  if (!ValidTable(table)) return OutOfSlots();
  if (S().tables[table].empty()) return Status::kStrOutBound;
  return Delete(table, IsQueue(table) ? 0 : static_cast<int>(S().tables[table].size()) - 1);
}

Status Delete(int table, int item) {
  if (!ValidTable(table)) return OutOfSlots();
  Store& s = S();
  auto& t = s.tables[table];
  if (item < 0 || item >= static_cast<int>(t.size())) return Status::kStrOutBound;
  s.text_bytes -= t[item].size();
  s.items -= 1;
  t.erase(t.begin() + item);
  ++s.versions[table];
  return Status::kOk;
}

int Count(int table) {
  return ValidTable(table) ? static_cast<int>(S().tables[table].size()) : 0;
}

void Clear(int table) {
  if (!ValidTable(table)) return;
  Store& s = S();
  for (auto& item : s.tables[table]) s.text_bytes -= item.size();
  s.items -= static_cast<int>(s.tables[table].size());
  s.tables[table].clear();
  ++s.versions[table];
}

void ClearAll() {
  for (int t = 0; t < kTableCount; ++t) Clear(t);
}

int ItemsInUse() { return S().items; }
size_t BytesInUse() { return kCountBytes + 2 * S().items + S().text_bytes; }

uint32_t Version(int table) { return ValidTable(table) ? S().versions[table] : 0; }

}  // namespace tessaly::strtab
