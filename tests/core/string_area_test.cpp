#include "core/string_area.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

// An operation in the house style: mark on entry, keep only the result.
Slice Shout(Slice in) {
  AreaMark mark;
  StringArea& area = Area();
  Slice scratch = area.Push(in);
  (void)area.Push(Slice("!"));
  Slice both = area.Reserve(scratch.size() + 1);
  if (!both.ok()) return both;
  char* out = area.MutableTop();
  for (uint16_t i = 0; i < scratch.size(); ++i) out[i] = static_cast<char>(scratch[i] & ~0x20);
  out[scratch.size()] = '!';
  return mark.Keep(both);
}

TEST(StringArea, KeepReleasesEverythingButTheResult) {
  StringArea& area = Area();
  int depth = area.Mark();
  size_t used = area.bytes_in_use();
  Slice r = Shout("hola");
  EXPECT_EQ(r, Slice("HOLA!"));
  EXPECT_EQ(area.Mark(), depth + 1);
  EXPECT_EQ(area.bytes_in_use(), used + 5);
  area.Release(depth);
  // Repeated calls never grow the area.
  for (int i = 0; i < 10000; ++i) {
    (void)Shout("abc");
    area.Release(depth);
  }
  EXPECT_EQ(area.Mark(), depth);
  EXPECT_EQ(area.bytes_in_use(), used);
}

TEST(StringArea, FullAreaGivesOutOfMemory) {
  StringArea area(2);  // 2 KiB, 2 slots: slot 0 and one string
  std::string big(1500, 'x');
  Slice first = area.Push(Slice::Of(big));
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(area.Push(Slice("y")).status(), Status::kOutOfMemory);
  area.Release(0);
  std::string huge(3000, 'x');
  EXPECT_EQ(area.Push(Slice::Of(huge)).status(), Status::kOutOfMemory);
  EXPECT_EQ(area.Mark(), 0);
}

TEST(StringArea, ErrorSlicesPassThroughPushAndKeep) {
  StringArea area;
  int depth = area.Mark();
  (void)area.Push(Slice("scratch"));
  Slice r = area.Keep(depth, Slice::Error(Status::kBadInputData));
  EXPECT_EQ(r.status(), Status::kBadInputData);
  EXPECT_EQ(area.Mark(), depth);
}

TEST(StringArea, NumbersAreEightByteSlices) {
  StringArea area;
  (void)area.PushNumber(-123456789012LL);
  EXPECT_EQ(area.TopNumber(), -123456789012LL);
  (void)area.Push(Slice(""));
  EXPECT_EQ(area.TopNumber(), 0);
  (void)area.Push(Slice("abc"));
  EXPECT_EQ(area.TopNumber(), -1);
}

#ifndef NDEBUG
TEST(StringArea, ReleasedBytesAreFilledInDebugBuilds) {
  StringArea area;
  Slice s = area.Push(Slice("secret"));
  const char* p = s.data();
  area.Release(0);
  EXPECT_EQ(static_cast<unsigned char>(p[0]), StringArea::kReleasedFill);
}
#endif

TEST(Slice, StatusOfTheThreeKinds) {
  EXPECT_EQ(Slice("").status(), 0);
  EXPECT_EQ(Slice(static_cast<const char*>(nullptr)).status(), Status::kBadInputData);
  EXPECT_EQ(Slice::Error(0).status(), 65535);
  EXPECT_EQ(Slice::Error(Status::kFileNotFound).status(), Status::kFileNotFound);
}

}  // namespace
}  // namespace tessaly
