// Memory blocks: the longer-lived storage of the runtime, each block owned by
// an error area and guarded by the four bytes 00 21 21 00 after its end.
// Counting the blocks still in use at the end gives the leak report (178).
//
// The block table starts with room for kDefaultBlockSlots entries and grows
// on demand up to kMaxBlockSlots live blocks; past that, or when the system
// has no memory, BlockAllocate answers null (callers report 145 or 154).
// A free that fails its checks changes nothing: the block stays in the
// table and is counted by the leak report.
#pragma once

#include <cstddef>

#include "core/status.h"

namespace tessaly {

inline constexpr int kDefaultBlockSlots = 64;
inline constexpr int kMaxBlockSlots = 65536;

// A block of `size` bytes filled with `fill` unless it is 255; null when the
// table is full or the system has no memory.
void* BlockAllocate(ErrorArea area, size_t size, int fill = 0);
// 154 for a pointer not in the table, 180 when the guard bytes were
// overwritten, 141 for another area's tag.
Status BlockFree(ErrorArea area, void* block);
int BlocksInUse();
// The blocks still held by one owner.
int BlocksInUse(ErrorArea area);
// 0 for a pointer not in the table.
size_t BlockSize(const void* block);

}  // namespace tessaly
