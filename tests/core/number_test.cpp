#include "core/number.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "core/flags.h"
#include "core/string_area.h"

namespace tessaly {
namespace {

// A text in a heap block of exactly its size (reads past it are reported by
// the address sanitizer).
class Exact {
 public:
  Exact(std::string_view s) : bytes_(new char[s.size()]), size_(s.size()) {  // NOLINT
    if (!s.empty()) std::memcpy(bytes_.get(), s.data(), s.size());
  }
  operator Slice() const { return Slice(bytes_.get(), static_cast<uint16_t>(size_)); }  // NOLINT

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_;
};

class NumberTest : public ::testing::Test {
 protected:
  void SetUp() override { depth_ = Area().Mark(); }
  void TearDown() override { Area().Release(depth_); }
  std::string Text(Slice s) {
    std::string r = s.ok() ? s.str() : "<error " + std::to_string(s.status()) + ">";
    Area().Release(depth_);
    return r;
  }
  int depth_ = 0;
};

TEST_F(NumberTest, Parse) {
  struct Case {
    const char* text;
    int decimals;
    int64_t value;
  };
  const Case cases[] = {
      {"1.005", 2, 101},
      {"-1.005", 2, -101},
      {"1.999", 2, 200},
      {"1.0049999", 2, 100},
      {"5D3", 2, 500000},
      {"5.5D1", 2, 5500},
      {"5D-1", 2, 50},
      {"-2D+2", 0, -200},
      {"  12.34\t", 2, 1234},
      {"", 2, 0},
      {"   ", 2, 0},
      {"-", 2, 0},
      {"abc", 2, 0},
      {".5", 2, 50},
      {"5.", 2, 500},
      {"+7", 0, 7},
      {"0.005", 2, 1},
      {"0.0049", 2, 0},
      {"-0.005", 2, -1},
      {"0.0005", 2, 0},
      {"12abc", 2, 1200},
      {"1,5", 2, 100},
      {"1.5", 0, 2},
      {"-2.5", 0, -3},
      {"123.456", 4, 1234560},
      {"00000000000000000000000001.5", 2, 150},
      {"1.00000000000000000000000009", 2, 100},
      {"9223372036854775807", 0, INT64_MAX},
      {"9223372036854775808", 0, INT64_MAX},
      {"92233720368547758.07", 2, INT64_MAX},
      {"92233720368547758.075", 2, INT64_MAX},
      {"-92233720368547758.07", 2, -INT64_MAX},
      {"-99999999999999999999", 2, -INT64_MAX},
      {"1D400", 2, INT64_MAX},
      {"1D-400", 2, 0},
      {"1D99999999999999999999", 2, INT64_MAX},
      {"0D99999", 2, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(Exact(c.text), c.decimals), c.value) << c.text;
  }
  EXPECT_EQ(ParseNumber(Slice::Error(Status::kBadInputData), 2), 0);
}

TEST_F(NumberTest, IsNumberText) {
  for (const char* yes : {"1", "-1.5", " +12.50 ", ".5", "5.", "5D3", "5D-3", "007"}) {
    EXPECT_TRUE(IsNumberText(Exact(yes))) << yes;
  }
  for (const char* no : {"", " ", "-", ".", "1.2.3", "12a", "5D", "D3", "1 2", "1e5", "--1"}) {
    EXPECT_FALSE(IsNumberText(Exact(no))) << no;
  }
}

TEST_F(NumberTest, Format) {
  struct Case {
    int64_t value;
    int decimals;
    const char* text;
  };
  const Case cases[] = {
      {100, 2, "1"},
      {12345, 2, "123.45"},
      {12300, 2, "123"},
      {12340, 2, "123.4"},
      {5, 2, "0.05"},
      {-5, 2, "-0.05"},
      {0, 2, "0"},
      {-1230, 3, "-1.23"},
      {7, 0, "7"},
      {-7, 0, "-7"},
      {INT64_MAX, 0, "9223372036854775807"},
      {INT64_MIN, 2, "-92233720368547758.08"},
      {1, 18, "0.000000000000000001"},
      {1, 40, "0.000000000000000001"},  // clamped to 18 decimals
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(FormatNumber(c.value, c.decimals)), c.text) << c.value;
  }
  for (const char* text : {"0.01", "-123.45", "99999999.99", "1"}) {
    EXPECT_EQ(Text(FormatNumber(ParseNumber(Exact(text), 2), 2)), text);
  }
}

TEST_F(NumberTest, RoundedDivisions) {
  struct Case {
    int64_t value, divisor, result;
  };
  const Case cases[] = {
      {7, 2, 4},
      {-7, 2, -4},
      {7, -2, -4},
      {6, 4, 2},
      {5, 4, 1},
      {4, 3, 1},
      {5, 3, 2},
      {-5, 3, -2},
      {1, 3, 0},
      {2, 3, 1},
      {10, 0, 0},
      {0, 7, 0},
      {INT64_MIN, -1, INT64_MAX},
      {INT64_MIN, 1, INT64_MIN},
      {INT64_MAX, 2, INT64_MAX / 2 + 1},
      {INT64_MIN, 2, INT64_MIN / 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DivideRounded(c.value, c.divisor), c.result) << c.value << " / " << c.divisor;
  }

  struct TenCase {
    int64_t value;
    int n;
    int64_t divided, multiplied;
  };
  const TenCase tens[] = {
      {15, 1, 2, 150},
      {-15, 1, -2, -150},
      {14, 1, 1, 140},
      {5, 0, 5, 5},
      {5, 2, 0, 500},
      {50, 2, 1, 5000},
      {INT64_MAX, 19, 1, INT64_MAX},
      {INT64_MAX, 20, 0, INT64_MAX},
      {INT64_MIN, 19, -1, -INT64_MAX},
      {4000000000000000000, 19, 0, INT64_MAX},
      {0, 30, 0, 0},
      {-1, 18, 0, -1000000000000000000},
  };
  for (const auto& c : tens) {
    EXPECT_EQ(DivideByTen(c.value, c.n), c.divided) << c.value << " n=" << c.n;
    EXPECT_EQ(TimesTen(c.value, c.n), c.multiplied) << c.value << " n=" << c.n;
  }
  EXPECT_EQ(TimesTen(1234, -2), 12);
  EXPECT_EQ(DivideByTen(12, -2), 1200);
  EXPECT_EQ(TimesTen(5, INT_MIN), 0);
  EXPECT_EQ(DivideByTen(5, INT_MIN), INT64_MAX);
  EXPECT_EQ(PowerOfTen(0), 1);
  EXPECT_EQ(PowerOfTen(18), 1000000000000000000);
  EXPECT_EQ(PowerOfTen(19), INT64_MAX);
  EXPECT_EQ(PowerOfTen(-3), 1);
}

// The current number of decimals comes from `_PRECIS`.
TEST_F(NumberTest, CurrentDecimals) {
  uint16_t old = Word(kPrecis);
  SetWord(kPrecis, 3);
  EXPECT_EQ(ParseNumber(Exact("1.0005")), 1001);
  EXPECT_EQ(Text(FormatCurrent(1500)), "1.5");
  EXPECT_EQ(IntegerOf(1500), 2);
  EXPECT_EQ(IntegerOf(-1499), -1);
  EXPECT_EQ(Scale(7), 7000);
  EXPECT_EQ(Scale(INT64_MAX / 10), INT64_MAX);
  SetWord(kPrecis, 2);
  EXPECT_EQ(Scale(-7), -700);
  EXPECT_EQ(IntegerOf(250), 3);
  SetWord(kPrecis, old ? old : 2);
}

TEST_F(NumberTest, Bases) {
  struct Case {
    int64_t n;
    int base;
    const char* text;
  };
  const Case cases[] = {
      {255, 16, "FF"},
      {-255, 16, "-FF"},
      {0, 2, "0"},
      {5, 2, "101"},
      {35, 36, "Z"},
      {INT64_MIN, 10, "-9223372036854775808"},
      {INT64_MAX, 2, "111111111111111111111111111111111111111111111111111111111111111"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(IntegerToText(c.n, c.base)), c.text) << c.n << " base " << c.base;
    if (c.n != INT64_MIN) {
      EXPECT_EQ(TextToInteger(Exact(c.text), c.base), c.n) << c.text << " base " << c.base;
    }
  }
  EXPECT_EQ(Text(IntegerToText(5, 1)), "<error 163>");
  EXPECT_EQ(Text(IntegerToText(5, 37)), "<error 163>");

  struct Back {
    const char* text;
    int base;
    int64_t n;
  };
  const Back backs[] = {
      {"ff", 16, 255},
      {"129", 8, 10},  // stops at the first digit the base does not have
      {"-z", 36, -35},
      {" 42", 10, 42},
      {"", 10, 0},
      {"xyz", 10, 0},
      {"ffffffffffffffffffff", 16, INT64_MAX},
      {"-ffffffffffffffffffff", 16, -INT64_MAX},
      {"zzzzzzzzzzzzzzzzzzzz", 36, INT64_MAX},
      {"12", 1, 0},
  };
  for (const auto& c : backs) {
    EXPECT_EQ(TextToInteger(Exact(c.text), c.base), c.n) << c.text << " base " << c.base;
  }
}

TEST_F(NumberTest, PadLeft) {
  struct Case {
    int64_t n;
    int width;
    char ch;
    const char* text;
  };
  const Case cases[] = {
      {42, 5, ' ', "   42"},  {42, 5, '0', "00042"},    {-42, 5, '0', "-0042"},
      {-42, 5, ' ', "  -42"}, {12345, 3, ' ', "12345"}, {0, 0, ' ', "0"},
      {7, -3, '*', "7"},      {7, 3, '*', "**7"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(PadLeft(c.n, c.width, c.ch)), c.text) << c.n << " " << c.width;
  }
  EXPECT_EQ(Text(PadLeft(1, 70000, ' ')), "<error 146>");
}

// Formatting and padding leave nothing but their result on the area.
TEST_F(NumberTest, FormattingLeavesOnlyTheResult) {
  StringArea& area = Area();
  size_t used = area.bytes_in_use();
  Slice r = FormatNumber(-123456, 2);
  EXPECT_EQ(area.Mark(), depth_ + 1);
  EXPECT_EQ(area.bytes_in_use(), used + r.size());
  area.Release(depth_);
  r = PadLeft(5, 10, '0');
  EXPECT_EQ(area.bytes_in_use(), used + r.size());
}

}  // namespace
}  // namespace tessaly
