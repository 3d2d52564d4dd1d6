#include "core/memory_blocks.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace tessaly {
namespace {

// Written after the end of every block: a write past the block's size
// changes them, and the free that follows reports it.
constexpr unsigned char kGuard[4] = {0x00, 0x21, 0x21, 0x00};
constexpr int kNoFill = 255;

struct BlockEntry {
  size_t size;
  ErrorArea area;
};

// Keyed by the block's address, so that a free of a foreign pointer is found
// out without reading the memory around it.
std::unordered_map<const void*, BlockEntry>& Table() {
  static std::unordered_map<const void*, BlockEntry> table(kDefaultBlockSlots);
  return table;
}

}  // namespace

void* BlockAllocate(ErrorArea area, size_t size, int fill) {
  auto& table = Table();
  if (table.size() >= static_cast<size_t>(kMaxBlockSlots)) return nullptr;
  if (size > SIZE_MAX - sizeof kGuard) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + sizeof kGuard));
  if (block == nullptr) return nullptr;
  if (fill != kNoFill) std::memset(block, fill, size);
  std::memcpy(block + size, kGuard, sizeof kGuard);
  table.emplace(block, BlockEntry{size, area});
  return block;
}

Status BlockFree(ErrorArea area, void* block) {
  auto& table = Table();
  auto it = table.find(block);
  if (it == table.end()) {
    return RecordError(1, area, Status::kMemoryAllocError, Status::kMemoryAllocError);
  }
  const BlockEntry& entry = it->second;
  if (std::memcmp(static_cast<unsigned char*>(block) + entry.size, kGuard, sizeof kGuard) != 0) {
    return RecordError(1, area, Status::kMemoryOverflow, Status::kMemoryOverflow);
  }
  if (entry.area != area) {
    return RecordError(1, area, Status::kInternalError, Status::kInternalError);
  }
  table.erase(it);
  std::free(block);
  return Status::kOk;
}

int BlocksInUse() { return static_cast<int>(Table().size()); }

int BlocksInUse(ErrorArea area) {
  int n = 0;
  for (const auto& [block, entry] : Table()) n += entry.area == area;
  return n;
}

size_t BlockSize(const void* block) {
  auto& table = Table();
  auto it = table.find(block);
  return it == table.end() ? 0 : it->second.size;
}

}  // namespace tessaly
