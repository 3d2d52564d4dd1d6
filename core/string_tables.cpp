#include "core/string_tables.h"

#include <string>
#include <deque>

namespace tessaly::strtab {
namespace {

// Deques: the queues pop at the front, the stacks at the back, both in O(1).
struct Store {
  std::deque<std::string> tables[kTableCount];
  int items = 0;
  size_t text_bytes = 0;
};

Store& S() {
  static Store store;
  return store;
}

constexpr size_t kCountBytes = 2 * kTableCount;

bool ValidTable(int table) { return table >= 0 && table < kTableCount; }

Status Full() {
  RecordError(1, ErrorArea::kStringAssign, Status::kLoadStrError, Status::kOk);
  return Status::kStrOutBound;
}

bool IsQueue(int table) { return table == kLineQueue || table == kQueue2; }

// Whether the store has room for `new_items` more items and a change of
// `delta` text bytes.
bool Fits(int new_items, long delta) {
  Store& s = S();
  long items = s.items + new_items;
  long bytes = static_cast<long>(kCountBytes) + 2 * items + static_cast<long>(s.text_bytes) + delta;
  return items <= kMaxItems && bytes <= static_cast<long>(kMaxStoreBytes);
}

}  // namespace

Slice Get(int table, int item) {
  if (!ValidTable(table)) return Slice::Error(Status::kStrOutBound);
  auto& t = S().tables[table];
  if (item < 0 || item >= static_cast<int>(t.size())) return Slice();
  const std::string& s = t[item];
  return Slice(s.data(), static_cast<uint16_t>(s.size()));
}

Status Set(int table, int item, Slice text) {
  if (!ValidTable(table) || item < 0) return Full();
  if (!text.ok()) return text.status();
  Store& s = S();
  auto& t = s.tables[table];
  int add = item >= static_cast<int>(t.size()) ? item + 1 - static_cast<int>(t.size()) : 0;
  long old_len = add ? 0 : static_cast<long>(t[item].size());
  if (!Fits(add, static_cast<long>(text.size()) - old_len)) return Full();
  if (add) t.resize(item + 1);
  t[item].assign(text.data(), text.size());
  s.items += add;
  s.text_bytes = s.text_bytes - old_len + text.size();
  return Status::kOk;
}

Status Push(int table, Slice text) {
  if (!ValidTable(table)) return Full();
  return Set(table, static_cast<int>(S().tables[table].size()), text);
}

Slice Top(int table) {
  if (!ValidTable(table)) return Slice::Error(Status::kStrOutBound);
  auto& t = S().tables[table];
  if (t.empty()) return Slice();
  return Get(table, IsQueue(table) ? 0 : static_cast<int>(t.size()) - 1);
}

Status Pop(int table) {
  if (!ValidTable(table) || S().tables[table].empty()) return Status::kStrOutBound;
  return Delete(table, IsQueue(table) ? 0 : static_cast<int>(S().tables[table].size()) - 1);
}

Status Delete(int table, int item) {
  if (!ValidTable(table)) return Status::kStrOutBound;
  Store& s = S();
  auto& t = s.tables[table];
  if (item < 0 || item >= static_cast<int>(t.size())) return Status::kStrOutBound;
  s.text_bytes -= t[item].size();
  s.items -= 1;
  t.erase(t.begin() + item);
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
}

void ClearAll() {
  for (int t = 0; t < kTableCount; ++t) Clear(t);
}

int ItemsInUse() { return S().items; }
size_t BytesInUse() { return kCountBytes + 2 * S().items + S().text_bytes; }

}  // namespace tessaly::strtab
