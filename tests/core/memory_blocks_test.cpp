#include "core/memory_blocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tessaly {
namespace {

constexpr ErrorArea kStrings = ErrorArea::kStringInit;
constexpr ErrorArea kArrays = ErrorArea::kStructFuncs;

TEST(MemoryBlocks, AllocateFillsGuardsAndFrees) {
  int before = BlocksInUse();
  auto* block = static_cast<unsigned char*>(BlockAllocate(kStrings, 10, 'x'));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(BlockSize(block), 10u);
  EXPECT_EQ(std::memcmp(block, "xxxxxxxxxx", 10), 0);
  const unsigned char guard[4] = {0x00, 0x21, 0x21, 0x00};
  EXPECT_EQ(std::memcmp(block + 10, guard, 4), 0);
  EXPECT_EQ(BlocksInUse(), before + 1);
  EXPECT_EQ(BlockFree(kStrings, block), Status::kOk);
  EXPECT_EQ(BlocksInUse(), before);
  EXPECT_EQ(BlockSize(block), 0u);

  void* empty = BlockAllocate(kStrings, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(BlockFree(kStrings, empty), Status::kOk);
}

// A free that fails its checks leaves the block where it was, so the owner
// can still use it and the leak report still counts it.
TEST(MemoryBlocks, BadFreesAreRefusedAndChangeNothing) {
  int before = BlocksInUse();
  int owned = BlocksInUse(kArrays);
  auto* block = static_cast<unsigned char*>(BlockAllocate(kArrays, 8));
  ASSERT_NE(block, nullptr);
  int local = 0;
  struct Case {
    const char* what;
    ErrorArea area;
    void* pointer;
    bool overrun;
    uint16_t status;
  };
  const Case cases[] = {
      {"foreign pointer", kArrays, &local, false, Status::kMemoryAllocError},
      {"null", kArrays, nullptr, false, Status::kMemoryAllocError},
      {"inside the block", kArrays, block + 1, false, Status::kMemoryAllocError},
      {"other owner", kStrings, block, false, Status::kInternalError},
      {"overrun", kArrays, block, true, Status::kMemoryOverflow},
      {"overrun and other owner", kStrings, block, true, Status::kMemoryOverflow},
  };
  for (const auto& c : cases) {
    if (c.overrun) block[8] = '!';  // one byte past the end
    EXPECT_EQ(BlockFree(c.area, c.pointer).code(), c.status) << c.what;
    block[8] = 0x00;
    EXPECT_EQ(BlocksInUse(), before + 1) << c.what;
    EXPECT_EQ(BlockSize(block), 8u) << c.what;
  }
  EXPECT_EQ(BlocksInUse(kArrays), owned + 1);
  EXPECT_EQ(BlockFree(kArrays, block), Status::kOk);
  EXPECT_EQ(BlockFree(kArrays, block).code(), Status::kMemoryAllocError);  // twice
  EXPECT_EQ(BlocksInUse(), before);
}

// The table grows past its first 64 entries and refuses only at its limit.
TEST(MemoryBlocks, TableGrowsToItsLimit) {
  int before = BlocksInUse();
  std::vector<void*> blocks;
  for (;;) {
    void* b = BlockAllocate(ErrorArea::kLocalLists, 1, 255);
    if (b == nullptr) break;
    blocks.push_back(b);
    ASSERT_LE(blocks.size(), static_cast<size_t>(kMaxBlockSlots));
  }
  EXPECT_EQ(BlocksInUse(), kMaxBlockSlots);
  EXPECT_EQ(static_cast<int>(blocks.size()), kMaxBlockSlots - before);
  EXPECT_EQ(BlocksInUse(ErrorArea::kLocalLists), static_cast<int>(blocks.size()));
  for (void* b : blocks) ASSERT_EQ(BlockFree(ErrorArea::kLocalLists, b), Status::kOk);
  EXPECT_EQ(BlocksInUse(), before);
}

}  // namespace
}  // namespace tessaly
