#include "core/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "core/string_area.h"

namespace tessaly {
namespace {

// A text in a heap block of exactly its size, so that the address sanitizer
// reports any read past the end of a slice.
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

std::string S(Slice s) { return s.ok() ? s.str() : "<error " + std::to_string(s.status()) + ">"; }
std::string Err(uint16_t code) { return "<error " + std::to_string(code) + ">"; }

// Every test leaves the string area as it found it.
class TextTest : public ::testing::Test {
 protected:
  void SetUp() override { depth_ = Area().Mark(); }
  void TearDown() override { Area().Release(depth_); }
  int depth_ = 0;
};

constexpr uint16_t kNF = kNotFound;

// ---- Searching ---------------------------------------------------------------

struct SearchCase {
  const char* what;
  std::function<uint16_t(Slice)> op;
  std::string text;
  uint16_t expected;
};

TEST_F(TextTest, Searches) {
  const SearchCase cases[] = {
      {"char", [](Slice t) { return FindChar(t, ','); }, "a,b", 1},
      {"char skips quotes", [](Slice t) { return FindChar(t, ','); }, "'a,b',c", 5},
      {"char plain", [](Slice t) { return FindChar(t, ',', true); }, "'a,b',c", 2},
      {"other quote inside", [](Slice t) { return FindChar(t, ','); }, "\"x'y,\",z", 6},
      {"unclosed quote", [](Slice t) { return FindChar(t, ','); }, "'abc,d", kNF},
      {"before unclosed quote", [](Slice t) { return FindChar(t, ','); }, "ab,'c", 2},
      {"quote outside quotes", [](Slice t) { return FindChar(t, '\''); }, "\"it's\"'", 6},
      {"quote plain", [](Slice t) { return FindChar(t, '\'', true); }, "\"it's\"'", 3},
      {"empty text", [](Slice t) { return FindChar(t, ','); }, "", kNF},
      {"from", [](Slice t) { return FindCharFrom(t, 2, ','); }, "a,b,c", 3},
      {"from at end", [](Slice t) { return FindCharFrom(t, 5, ','); }, "a,b,c", kNF},
      {"from beyond", [](Slice t) { return FindCharFrom(t, 900, ','); }, "a,b,c", kNF},
      {"first of", [](Slice t) { return FindFirstOf(t, ";,"); }, "x'a;b'c;d", 7},
      {"first of plain", [](Slice t) { return FindFirstOf(t, ";,", true); }, "x'a;b'c;d", 3},
      {"first of a quote", [](Slice t) { return FindFirstOf(t, "',"); }, "\"a,b\"x'", 6},
      {"first of empty set", [](Slice t) { return FindFirstOf(t, ""); }, "abc", kNF},
      {"text", [](Slice t) { return FindText(t, "ab"); }, "xx'ab'ab", 6},
      {"text plain", [](Slice t) { return FindText(t, "ab", true); }, "xx'ab'ab", 3},
      {"text longer than text", [](Slice t) { return FindText(t, "abcd"); }, "abc", kNF},
      {"text at the very end", [](Slice t) { return FindText(t, "bc"); }, "abc", 1},
      {"text partial at end", [](Slice t) { return FindText(t, "cd"); }, "abc", kNF},
      {"last char", [](Slice t) { return FindLast(t, ",", FindKind::kChar, false); }, "a,'b,c'", 1},
      {"last char plain", [](Slice t) { return FindLast(t, ",", FindKind::kChar); }, "a,'b,c'", 4},
      {"last text", [](Slice t) { return FindLast(t, "aa", FindKind::kText); }, "aaa", 1},
      {"last text aware", [](Slice t) { return FindLast(t, "ab", FindKind::kText, false); },
       "ab'ab'", 0},
      {"last any of", [](Slice t) { return FindLast(t, ",;", FindKind::kAnyOf); }, "a;b,c", 3},
      {"last none", [](Slice t) { return FindLast(t, "z", FindKind::kChar); }, "abc", kNF},
      {"count", [](Slice t) { return CountText(t, "aa"); }, "aaaaa", 2},
      {"count skips quotes", [](Slice t) { return CountText(t, "a"); }, "a'a'a", 2},
      {"count plain", [](Slice t) { return CountText(t, "a", true); }, "a'a'a", 3},
      {"count quotes", [](Slice t) { return CountText(t, "'"); }, "a'a'a'", 3},
      {"nul", [](Slice t) { return FindNul(t); }, std::string("ab\0c", 4), 2},
      {"no nul", [](Slice t) { return FindNul(t); }, "abc", kNF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.op(Exact(c.text)), c.expected) << c.what << ": " << c.text;
  }
}

TEST_F(TextTest, SearchesReadErrorSlicesAsNotFound) {
  Slice bad = Slice::Error(Status::kBadInputData);
  EXPECT_EQ(FindChar(bad, ','), kNF);
  EXPECT_EQ(FindText("abc", bad), kNF);
  EXPECT_EQ(FindFirstOf(bad, ","), kNF);
  EXPECT_EQ(CountText(bad, "a"), 0);
}

TEST_F(TextTest, FindElementFindsTheFirstMatchOfEitherWidth) {
  const uint16_t words[] = {3, 7, 0, 0};
  const uint32_t longs[] = {9, 0x10000, 5};
  EXPECT_EQ(FindElement(words, 4, 0, 2), 2);
  EXPECT_EQ(FindElement(words, 2, 0, 2), -1);
  EXPECT_EQ(FindElement(longs, 3, 0x10000, 4), 1);
  EXPECT_EQ(FindElement(longs, 3, 0x10000, 3), -1);
}

// ---- Items ---------------------------------------------------------------------

TEST_F(TextTest, ItemsAndCounts) {
  struct Case {
    std::string list;
    char sep;
    int n;
    const char* item;
    int count;
  };
  const Case cases[] = {
      {"a,b,", ',', 3, "", 3},
      {"a,b,", ',', 4, "", 3},
      {"a,b,", ',', 0, "", 3},
      {"a,b,", ',', -1, "", 3},
      {"", ',', 1, "", 0},
      {",", ',', 2, "", 2},
      {"'a,b',c", ',', 1, "'a,b'", 2},
      {"'a,b',c", ',', 2, "c", 2},
      {"x:\"p:q\":y", ':', 3, "y", 3},
      {"a,'b,c", ',', 2, "'b,c", 2},                  // an unclosed quote runs to the end
      {std::string("a'x\0y'", 6), '\0', 2, "y'", 2},  // NUL splits plainly
  };
  for (const auto& c : cases) {
    Exact list(c.list);
    EXPECT_EQ(S(Item(list, c.sep, c.n)), c.item) << c.list << " item " << c.n;
    EXPECT_EQ(CountItems(list, c.sep), c.count) << c.list;
  }
  EXPECT_EQ(Item(Slice::Error(Status::kBadInputData), ',', 1).status(), Status::kBadInputData);
  EXPECT_EQ(CountItems(Slice::Error(Status::kBadInputData), ','), 0);
}

TEST_F(TextTest, ItemNumberTrimsUnquotesAndReadsYesWords) {
  Exact list(" 12 ,'7',S,x9,-3");
  EXPECT_EQ(ItemNumber(list, ',', 1), 12);
  EXPECT_EQ(ItemNumber(list, ',', 2), 7);
  EXPECT_EQ(ItemNumber(list, ',', 3), 1);
  EXPECT_EQ(ItemNumber(list, ',', 4), 0);
  EXPECT_EQ(ItemNumber(list, ',', 5), -3);
  EXPECT_EQ(ItemNumber(list, ',', 6), 0);
}

TEST_F(TextTest, ItemPosition) {
  struct Case {
    const char* list;
    const char* value;
    int position;
  };
  const Case cases[] = {
      {"A,B,C", "B", 2}, {"A", "AB", 0},   {"A,B,C", "", 0},    {"A,,B", "", 2},
      {"", "", 0},       {"AB,A", "A", 2}, {"'A,B',C", "C", 2}, {"A,B", "b", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ItemPosition(Exact(c.list), Exact(c.value), ','), c.position)
        << c.list << " / " << c.value;
  }
  EXPECT_EQ(ItemPosition(Slice::Error(Status::kBadInputData), "A", ','), 0);
  EXPECT_EQ(ItemPosition("A", Slice::Error(Status::kBadInputData), ','), 0);
}

TEST_F(TextTest, RestAndSetItem) {
  EXPECT_EQ(S(Rest(Exact("a,b,c"), ',')), "b,c");
  EXPECT_EQ(S(Rest(Exact("a"), ',')), "");
  EXPECT_EQ(S(Rest(Exact("'x,y',z"), ',')), "z");

  struct Case {
    const char* list;
    const char* value;
    int n;
    const char* result;
  };
  const Case cases[] = {
      {"a,b,c", "X", 2, "a,X,c"},  {"a,b,c", "X", 1, "X,b,c"}, {"a,b,c", "X", 3, "a,b,X"},
      {"a", "X", 3, "a,,X"},       {"", "X", 2, ",X"},         {"", "X", 1, "X"},
      {"a,b,", "X", 3, "a,b,X"},   {"a,b", "X", 0, "a,b,X"},   {"", "X", 0, "X"},
      {"a,b,c", "", -2, "a,c"},    {"a,b,c", "", -1, "b,c"},   {"a,b,c", "", -3, "a,b"},
      {"a,b,c", "", -4, "a,b,c"},  {"a", "", -1, ""},          {"'p,q',r", "X", 2, "'p,q',X"},
      {"a,b", "", INT_MIN, "a,b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(S(SetItem(Exact(c.list), Exact(c.value), ',', c.n)), c.result)
        << c.list << " n=" << c.n;
  }
  EXPECT_EQ(SetItem("a", Slice::Error(Status::kStringTooLong), ',', 1).status(),
            Status::kStringTooLong);
}

TEST_F(TextTest, ShortestLongestAndSplit) {
  EXPECT_EQ(ShortestItem(Exact("ab,c,,def"), ','), 0);
  EXPECT_EQ(LongestItem(Exact("ab,c,,def"), ','), 3);
  EXPECT_EQ(ShortestItem(Exact("ab,cde"), ','), 2);
  EXPECT_EQ(ShortestItem(Exact(""), ','), 0);
  EXPECT_EQ(LongestItem(Exact("'a,b,c',d"), ','), 7);

  Exact list("a,'b,c',");
  std::vector<Slice> items = Split(list, ',');
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(S(VectorItem(items, 1)), "a");
  EXPECT_EQ(S(VectorItem(items, 2)), "'b,c'");
  EXPECT_EQ(S(VectorItem(items, 3)), "");
  EXPECT_EQ(S(VectorItem(items, 0)), "");
  EXPECT_EQ(S(VectorItem(items, 4)), "");
  EXPECT_TRUE(Split(Exact(""), ',').empty());
}

TEST_F(TextTest, ListAlgebra) {
  struct Case {
    const char* what;
    Slice (*op)(Slice, char, Slice, char);
    const char* a;
    char sep_a;
    const char* b;
    char sep_b;
    const char* result;
  };
  const Case cases[] = {
      {"union", ListUnion, "a,b", ',', "b;c;c", ';', "a,b,c"},
      {"union into empty", ListUnion, "", ',', "x;y", ';', "x,y"},
      {"union of empty", ListUnion, "a", ',', "", ';', "a"},
      {"union keeps empty items", ListUnion, "", ',', ";y", ';', ",y"},
      {"union quoted", ListUnion, "'a,b'", ',', "'a,b';c", ';', "'a,b',c"},
      {"difference", ListDifference, "a,b,c", ',', "b", ',', "a,c"},
      {"difference of all", ListDifference, "a,b", ',', "b:a", ':', ""},
      {"difference keeps empties", ListDifference, "a,,c", ',', "a", ',', ",c"},
      {"intersection", ListIntersection, "a,b,c", ',', "c;b;z", ';', "b,c"},
      {"intersection none", ListIntersection, "a,b", ',', "", ',', ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(S(c.op(Exact(c.a), c.sep_a, Exact(c.b), c.sep_b)), c.result) << c.what;
    Area().Release(depth_);
  }
  EXPECT_EQ(ListUnion(Slice::Error(Status::kBadInputData), ',', "a", ',').status(),
            Status::kBadInputData);
  EXPECT_EQ(ListDifference("a", ',', Slice::Error(Status::kStringTooLong), ',').status(),
            Status::kStringTooLong);
}

TEST_F(TextTest, CollapseAndRangeIndex) {
  EXPECT_EQ(S(Collapse(Exact("a,,,b,,"), ',')), "a,b,");
  EXPECT_EQ(S(Collapse(Exact("  x  y "), ' ')), " x y ");
  EXPECT_EQ(S(Collapse(Exact(""), ' ')), "");

  struct Case {
    const char* ranges;
    int64_t value;
    int index;
  };
  const Case cases[] = {
      {"1-5,10-20,-3--1", 15, 2},
      {"1-5,10-20,-3--1", 1, 1},
      {"1-5,10-20,-3--1", 20, 2},
      {"1-5,10-20,-3--1", 7, 0},
      {"1-5,10-20,-3--1", -2, 3},
      {"1-5, 5 - 9", 5, 1},
      {"x-y,7", 7, 2},
      {"", 0, 0},
      {"9000000000000000000-9223372036854775807", INT64_MAX, 1},
      {"-9223372036854775808-0", INT64_MIN, 1},
      {"1-99999999999999999999", INT64_MAX, 1},  // saturated bound
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RangeIndex(Exact(c.ranges), c.value), c.index) << c.ranges << " " << c.value;
  }
}

// ---- Building --------------------------------------------------------------------

// Each op answers its result as a string, so that views into temporary
// inputs are read while those inputs live.
struct BuildCase {
  const char* what;
  std::function<std::string()> op;
  std::string expected;
};

void RunBuildCases(const BuildCase* begin, const BuildCase* end) {
  for (const BuildCase* c = begin; c != end; ++c) {
    int depth = Area().Mark();
    EXPECT_EQ(c->op(), c->expected) << c->what;
    Area().Release(depth);
  }
}

TEST_F(TextTest, Building) {
  const Slice e163 = Slice::Error(Status::kBadInputData);
  const BuildCase cases[] = {
      {"concat", [] { return S(Concat(Exact("ab"), Exact("cd"))); }, "abcd"},
      {"concat empties", [] { return S(Concat(Exact(""), Exact(""))); }, ""},
      {"concat error first", [&] { return S(Concat(e163, Exact("x"))); }, Err(163)},
      {"concat error second",
       [] { return S(Concat(Exact("x"), Slice::Error(Status::kStringTooLong))); }, Err(146)},
      {"concat many",
       [] {
         return S(Concat({Exact("a"), Exact(""), Exact("bc"), Exact("d")}));
       },
       "abcd"},
      {"concat many error",
       [&] {
         return S(Concat({Exact("a"), e163, Exact("b")}));
       },
       Err(163)},
      {"join", [] { return S(Join(Exact("a"), Exact(", "), Exact("b"))); }, "a, b"},
      {"join empty right", [] { return S(Join(Exact("a"), Exact(","), Exact(""))); }, "a"},
      {"join empty left", [] { return S(Join(Exact(""), Exact(","), Exact("b"))); }, "b"},
      {"pair", [] { return S(Pair(Exact("N"), Exact("v"))); }, "N=v"},
      {"pair empty value", [] { return S(Pair(Exact("N"), Exact(""))); }, Err(163)},
      {"pair empty name", [] { return S(Pair(Exact(""), Exact("v"))); }, Err(163)},
      {"either first", [] { return S(Either(Exact("a"), Exact("b"))); }, "a"},
      {"either second", [] { return S(Either(Exact(""), Exact("b"))); }, "b"},
      {"either error", [&] { return S(Either(e163, Exact("b"))); }, Err(163)},
      {"copy", [] { return S(Copy(Exact("xyz"))); }, "xyz"},
      {"repeat", [] { return S(Repeat(Exact(" "), 20)); }, std::string(20, ' ')},
      {"repeat text", [] { return S(Repeat(Exact("ab"), 3)); }, "ababab"},
      {"repeat none", [] { return S(Repeat(Exact("ab"), 0)); }, ""},
      {"repeat negative", [] { return S(Repeat(Exact("ab"), -4)); }, ""},
      {"overwrite", [] { return S(Overwrite(Exact("abcdef"), 4, Exact("XYZ"))); }, "abcdXY"},
      {"overwrite from end", [] { return S(Overwrite(Exact("abcdef"), -2, Exact("XY"))); },
       "abcdXY"},
      {"overwrite clamped", [] { return S(Overwrite(Exact("abc"), -10, Exact("X"))); }, "Xbc"},
      {"overwrite beyond", [] { return S(Overwrite(Exact("abc"), 10, Exact("X"))); }, "abc"},
      {"one char", [] { return S(OneChar('\xf1')); }, "\xf1"},
      {"one char nul", [] { return S(OneChar('\0')); }, std::string(1, '\0')},
      {"substring from end", [] { return S(Substring(Exact("abcdef"), -2, 1)); }, "ef"},
      {"substring beyond", [] { return S(Substring(Exact("abc"), 5, 2)); }, ""},
      {"substring at end", [] { return S(Substring(Exact("abc"), 3, 2)); }, ""},
      {"substring to end", [] { return S(Substring(Exact("abc"), 1, 65535)); }, "bc"},
      {"substring middle", [] { return S(Substring(Exact("abcdef"), 1, 3)); }, "bcd"},
      {"substring cut", [] { return S(Substring(Exact("abc"), 2, 9)); }, "c"},
      {"substring all from end", [] { return S(Substring(Exact("abc"), -5)); }, "abc"},
      {"substring of empty", [] { return S(Substring(Exact(""), -1)); }, ""},
      {"replace", [] { return S(ReplaceAll(Exact("a,b,'c,d'"), Exact(","), Exact(";"))); },
       "a;b;'c,d'"},
      {"replace plain",
       [] { return S(ReplaceAll(Exact("a,b,'c,d'"), Exact(","), Exact(";"), true)); }, "a;b;'c;d'"},
      {"replace a quote", [] { return S(ReplaceAll(Exact("it's"), Exact("'"), Exact("''"))); },
       "it''s"},
      {"replace growing", [] { return S(ReplaceAll(Exact("aaa"), Exact("a"), Exact("bb"))); },
       "bbbbbb"},
      {"replace shrinking", [] { return S(ReplaceAll(Exact("abcabc"), Exact("bc"), Exact(""))); },
       "aa"},
      {"replace non-overlapping",
       [] { return S(ReplaceAll(Exact("aaaa"), Exact("aa"), Exact("b"))); }, "bb"},
      {"replace empty pattern", [] { return S(ReplaceAll(Exact("abc"), Exact(""), Exact("x"))); },
       "abc"},
      {"keep chars", [] { return S(KeepChars(Exact("a1b2c3"), Exact("0123456789"))); }, "123"},
      {"keep none", [] { return S(KeepChars(Exact("abc"), Exact(""))); }, ""},
      {"translate", [] { return S(Translate(Exact("hello"), Exact("lo"), Exact("01"))); }, "he001"},
      {"translate short to", [] { return S(Translate(Exact("abc"), Exact("abc"), Exact("X"))); },
       "Xbc"},
      {"translate first place", [] { return S(Translate(Exact("aa"), Exact("aa"), Exact("xy"))); },
       "xx"},
  };
  RunBuildCases(std::begin(cases), std::end(cases));
}

TEST_F(TextTest, CStringIsTerminatedAndErrorsGiveEmpty) {
  const char* c = CString(Exact("abc"));
  EXPECT_STREQ(c, "abc");
  EXPECT_STREQ(CString(Slice::Error(Status::kBadInputData)), "");
}

TEST_F(TextTest, WriteIntoNeverPassesTheBuffer) {
  struct Case {
    size_t pos;
    const char* text;
    uint16_t status;
    const char* buffer;
  };
  const Case cases[] = {
      {0, "ab", 0, "ab..."},
      {3, "xy", 0, "...xy"},
      {3, "xyz", Status::kStrConcatError, "...xy"},
      {5, "x", Status::kStrConcatError, "....."},
      {9, "x", Status::kStrConcatError, "....."},
      {9, "", 0, "....."},
  };
  for (const auto& c : cases) {
    auto buffer = std::make_unique<char[]>(5);
    std::memset(buffer.get(), '.', 5);
    EXPECT_EQ(WriteInto(buffer.get(), 5, c.pos, Exact(c.text)).code(), c.status) << c.pos;
    EXPECT_EQ(std::string(buffer.get(), 5), c.buffer) << c.pos;
  }
  char b[2];
  EXPECT_EQ(WriteInto(b, 2, 0, Slice::Error(Status::kBadInputData)).code(), 163);
}

// ---- Case, trimming and quotes ---------------------------------------------------

TEST_F(TextTest, CaseTrimAndQuotes) {
  const BuildCase cases[] = {
      {"upper",
       [] {
         return S(
             Upper(Exact("\xf1"
                         "aZ1 b")));
       },
       "\xf1"
       "AZ1 B"},
      {"lower",
       [] {
         return S(
             Lower(Exact("\xd1"
                         "aZ1 B")));
       },
       "\xd1"
       "az1 b"},
      {"trim both", [] { return S(Trim(Exact(" \t a b\t "))); }, "a b"},
      {"trim left", [] { return S(Trim(Exact("  a  "), kTrimLeft)); }, "a  "},
      {"trim right", [] { return S(Trim(Exact("  a  "), kTrimRight)); }, "  a"},
      {"trim set", [] { return S(Trim(Exact("00120"), kTrimLeft, Exact("0"))); }, "120"},
      {"trim all", [] { return S(Trim(Exact("   "))); }, ""},
      {"unquote", [] { return S(Unquote(Exact("'x'"))); }, "x"},
      {"unquote double", [] { return S(Unquote(Exact("\"x y\""))); }, "x y"},
      {"unquote mixed", [] { return S(Unquote(Exact("'x\""))); }, "'x\""},
      {"unquote one quote", [] { return S(Unquote(Exact("'"))); }, "'"},
      {"unquote empty quotes", [] { return S(Unquote(Exact("''"))); }, ""},
      {"clean trims", [] { return S(CleanValue(Exact(" x "))); }, "x"},
      {"clean upper-cases", [] { return S(CleanValue(Exact("x"))); }, "X"},
      {"clean unquotes", [] { return S(CleanValue(Exact("'x'"))); }, "x"},
      {"clean both", [] { return S(CleanValue(Exact(" 'a b' "))); }, "a b"},
      {"enclose", [] { return S(Enclose(Exact("a"), '(')); }, "(a)"},
      {"enclose self", [] { return S(Enclose(Exact("a"), '%')); }, "%a%"},
      {"quote", [] { return S(Quote(Exact("abc"), '"')); }, "\"abc\""},
      {"quote switches", [] { return S(Quote(Exact("it's"), '\'')); }, "\"it's\""},
      {"quote keeps other", [] { return S(Quote(Exact("say \"hi\""), '\'')); }, "'say \"hi\"'"},
      {"quote both", [] { return S(Quote(Exact("it's \"x\""), '\'')); }, Err(163)},
      {"bracketed nested", [] { return S(Bracketed(Exact("f(a(b)c)d"), '(')); }, "a(b)c"},
      {"bracketed square", [] { return S(Bracketed(Exact("x[a[b]c]"), '[')); }, "a[b]c"},
      {"bracketed quoted close", [] { return S(Bracketed(Exact("f(a')'b)"), '(')); }, "a')'b"},
      {"bracketed plain", [] { return S(Bracketed(Exact("f(a')'b)"), '(', true)); }, "a'"},
      {"bracketed quoted open", [] { return S(Bracketed(Exact("'(x' (y)"), '(')); }, "y"},
      {"bracketed self", [] { return S(Bracketed(Exact("x%y%z"), '%')); }, "y"},
      {"bracketed quote", [] { return S(Bracketed(Exact("say 'hi' now"), '\'')); }, "hi"},
      {"bracketed unbalanced", [] { return S(Bracketed(Exact("f(a(b"), '(')); }, ""},
      {"bracketed none", [] { return S(Bracketed(Exact("none"), '(')); }, ""},
      {"bracketed empty", [] { return S(Bracketed(Exact("f()"), '(')); }, ""},
  };
  RunBuildCases(std::begin(cases), std::end(cases));

  EXPECT_EQ(PartnerOf('<'), '>');
  EXPECT_EQ(PartnerOf('{'), '}');
  EXPECT_EQ(PartnerOf(']'), ']');
  EXPECT_TRUE(StartsAndEndsWithPair(Exact("(x)"), '('));
  EXPECT_TRUE(StartsAndEndsWithPair(Exact("''"), '\''));
  EXPECT_FALSE(StartsAndEndsWithPair(Exact("'"), '\''));
  EXPECT_FALSE(StartsAndEndsWithPair(Exact("(x"), '('));
  EXPECT_FALSE(StartsAndEndsWithPair(Exact(""), '('));
}

// ---- Comparison -------------------------------------------------------------------

TEST_F(TextTest, Comparison) {
  struct Case {
    std::string a, b;
    uint16_t result;
  };
  const Case cases[] = {
      {"ab", "abc", 65535}, {"b", "abc", 1},  {"abc", "abc", 0}, {"", "", 0},
      {"", "a", 65535},     {"\xe9", "z", 1}, {"abd", "abc", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compare(Exact(c.a), Exact(c.b)), c.result) << c.a << " vs " << c.b;
  }
  EXPECT_EQ(Compare(Slice::Error(Status::kBadInputData), "a"), 163);
  EXPECT_EQ(Compare("a", Slice::Error(Status::kStringTooLong)), 146);
  EXPECT_EQ(CompareBytes(nullptr, "a", 1), Status::kStrOutBound);
  EXPECT_EQ(CompareBytes("a", nullptr, 0), Status::kStrOutBound);
  EXPECT_EQ(CompareBytes("\x80", "\x7f", 1), 1);
  EXPECT_EQ(CompareBytes("ab", "ac", 2), -1);
  EXPECT_EQ(Max16(-3, 2), 2);
  EXPECT_EQ(Min16(-3, 2), -3);
  EXPECT_EQ(FirstNonZero(0, 5), 5);
}

TEST_F(TextTest, YesWordsAndIntegers) {
  for (const char* yes : {"YES", "si", "Y", "s", "On"}) EXPECT_TRUE(IsYes(Exact(yes))) << yes;
  for (const char* no : {"no", "", "yes ", "SIX", "1", "OFF"}) EXPECT_FALSE(IsYes(Exact(no))) << no;

  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"12abc", 12},
      {"S", 1},
      {"  -7", -7},
      {"abc", 0},
      {"", 0},
      {"+5", 5},
      {"si", 1},
      {"1.9", 1},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(Integer(Exact(c.text)), c.value) << c.text;
}

// ---- NAME=value -------------------------------------------------------------------

TEST_F(TextTest, ValueOf) {
  struct Case {
    std::string text;
    const char* name;
    int flags;
    const char* value;
  };
  const Case cases[] = {
      {"A:1 B:2", "B", 0, "2"},
      {"XA:1 A=2", "A", 0, "2"},  // only at the start or after a separator
      {"A=1:A:2", "A", 0, "2"},   // "name:" wins over an earlier "name="
      {"A=x:B=y", "A", 0, "x"},
      {"/D=x&E=y", "E", 0, "y"},
      {"/D=x&E=y", "D", 0, "x"},
      {"P='a b':Q=3", "P", 0, "'a b'"},
      {"P='a b':Q=3", "P", kValueUnquote, "a b"},
      {"P= 'a b' ", "P", kValueClean, ""},  // the blank ends the value
      {"P=abc", "P", kValueClean, "ABC"},
      {"P='abc'", "P", kValueClean, "abc"},
      {"Q='A=1' A=2", "A", 0, "2"},  // a name inside quotes does not count
      {"A=", "A", 0, ""},
      {"A", "A", 0, ""},
      {"", "A", 0, ""},
      {"A=1", "B", 0, ""},
      {"AB=1 B=2", "B", 0, "2"},
      {std::string("A=x y\0B=z/w", 11), "B", kValueNulSeparated, "z/w"},
      {std::string("A=x y\0B=z/w", 11), "A", kValueNulSeparated, "x y"},
      {std::string("XB=1\0B='q'", 10), "B", kValueNulSeparated | kValueUnquote, "q"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(S(ValueOf(Exact(c.text), Exact(c.name), c.flags)), c.value)
        << c.text << " / " << c.name;
    Area().Release(depth_);
  }
  EXPECT_EQ(ValueOf(Slice::Error(Status::kBadInputData), "A").status(), Status::kBadInputData);
}

// ---- Sorting -------------------------------------------------------------------------

// The adjacent-swap walk that defines the order of a record sort.
std::string WalkSort(std::string data, size_t size) {
  size_t count = data.size() / size;
  size_t i = 0;
  while (i + 1 < count) {
    char* a = data.data() + i * size;
    if (std::memcmp(a, a + size, size) > 0) {
      std::swap_ranges(a, a + size, a + size);
      if (i > 0) --i;
    } else {
      ++i;
    }
  }
  return data;
}

TEST_F(TextTest, SortRecordsMatchesTheSwapWalk) {
  EXPECT_EQ(S(SortRecords(Exact("dbca"), 1, 4)), "abcd");
  EXPECT_EQ(S(SortRecords(Exact("b2a9b1"), 2, 3)), "a9b1b2");
  EXPECT_EQ(S(SortRecords(Exact("xyz"), 1, 2)), "xy");  // only count records
  EXPECT_EQ(S(SortRecords(Exact("ab"), 2, 2)), Err(Status::kStrOutBound));
  EXPECT_EQ(S(SortRecords(Exact("ab"), 0, 2)), "");

  std::mt19937 rng(7);
  for (size_t size : {1u, 3u, 8u}) {
    for (size_t count : {2u, 9u, 17u, 100u, 2001u}) {
      std::string data(size * count, '\0');
      // Few distinct bytes, so that equal records are common.
      for (char& c : data) c = static_cast<char>('a' + rng() % 3 + (rng() % 2) * 0x7d);
      Area().Release(depth_);
      EXPECT_EQ(S(SortRecords(Exact(data), static_cast<int>(size), static_cast<int>(count))),
                WalkSort(data, size))
          << size << " x " << count;
    }
  }
}

// ---- Limits: 65535 bytes and a full string area ---------------------------------

TEST_F(TextTest, ResultsPastTheLengthLimitAreError146) {
  std::string big(40000, 'x');
  Exact a(big);
  const BuildCase cases[] = {
      {"concat", [&] { return S(Concat(a, a)); }, Err(146)},
      {"concat many",
       [&] {
         return S(Concat({a, Exact("y"), a}));
       },
       Err(146)},
      {"repeat", [&] { return S(Repeat(a, 2)); }, Err(146)},
      {"repeat huge n", [] { return S(Repeat(Exact("ab"), INT_MAX)); }, Err(146)},
      {"enclose", [] { return S(Enclose(Exact(std::string(65534, 'x')), '(')); }, Err(146)},
      {"join", [&] { return S(Join(a, Exact(","), a)); }, Err(146)},
      {"replace", [&] { return S(ReplaceAll(a, Exact("x"), Exact("yy"))); }, Err(146)},
      {"set item", [&] { return S(SetItem(a, a, ',', 2)); }, Err(146)},
      {"set item far", [] { return S(SetItem(Exact("a"), Exact("b"), ',', 70000)); }, Err(146)},
      {"union", [&] { return S(ListUnion(a, ',', Exact(big + "y"), ',')); }, Err(146)},
  };
  RunBuildCases(std::begin(cases), std::end(cases));
  EXPECT_STREQ(CString(Exact(std::string(65535, 'x'))), "");
  EXPECT_EQ(Area().Mark(), depth_);
}

class FullAreaTest : public ::testing::Test {
 protected:
  void SetUp() override { ResizeArea(4); }  // 4 KiB, 3 strings
  void TearDown() override { ResizeArea(StringArea::kDefaultSlotLimit); }
};

TEST_F(FullAreaTest, BuildersAnswer145AndLeaveTheAreaAsItWas) {
  std::string half(2500, 'x');
  Exact a(half);
  const BuildCase cases[] = {
      {"concat", [&] { return S(Concat(a, a)); }, Err(145)},
      {"copy", [&] { return S(Copy(Exact(std::string(5000, 'y')))); }, Err(145)},
      {"upper", [] { return S(Upper(Exact(std::string(5000, 'y')))); }, Err(145)},
      {"repeat", [] { return S(Repeat(Exact("ab"), 3000)); }, Err(145)},
      {"replace", [&] { return S(ReplaceAll(a, Exact("x"), Exact("yy"))); }, Err(145)},
      {"difference",
       [&] { return S(ListDifference(Concat(a, Exact(",b")), ',', Exact("b"), ',')); }, Err(145)},
  };
  RunBuildCases(std::begin(cases), std::end(cases));
  EXPECT_EQ(Area().Mark(), 0);
  EXPECT_STREQ(CString(Exact(std::string(5000, 'y'))), "");
  for (int i = 0; i < 3; ++i) (void)Area().Push("s");  // every slot taken
  EXPECT_EQ(Concat("a", "b").status(), Status::kOutOfMemory);
  EXPECT_EQ(Enclose("a", '(').status(), Status::kOutOfMemory);
}

TEST_F(FullAreaTest, SortWithoutRoomForASecondCopySortsInPlace) {
  std::string data(2500, '\0');
  std::mt19937 rng(3);
  for (char& c : data) c = static_cast<char>(rng());
  EXPECT_EQ(S(SortRecords(Exact(data), 5, 500)), WalkSort(data, 5));
}

// Every operation leaves at most its result on the string area, and calling
// it again and again never raises the area's highest use.
TEST_F(TextTest, OperationsLeaveOnlyTheirResult) {
  std::string long_list;
  for (int i = 0; i < 200; ++i) long_list += "item" + std::to_string(i) + ",";
  Exact list(long_list);
  Exact text("  f(a,'b,c')  ");
  const std::function<Slice()> ops[] = {
      [&] { return Item(list, ',', 150); },
      [&] { return SetItem(list, "X", ',', 150); },
      [&] { return SetItem(list, "", ',', -3); },
      [&] { return ListUnion(list, ',', "a,b,item3", ','); },
      [&] { return ListDifference(list, ',', "item3,item9", ','); },
      [&] { return ListIntersection(list, ',', "item3,item9", ','); },
      [&] { return Collapse(list, ','); },
      [&] {
        return Concat({text, list, text});
      },
      [&] { return Join(text, ",", list); },
      [&] { return Pair("N", text); },
      [&] { return Repeat(text, 9); },
      [&] { return Overwrite(list, -5, text); },
      [&] { return ReplaceAll(list, "item", "it"); },
      [&] { return KeepChars(list, "0123456789"); },
      [&] { return Translate(list, "it", "IT"); },
      [&] { return Upper(list); },
      [&] { return CleanValue(text); },
      [&] { return Quote(text, '\''); },
      [&] { return Bracketed(text, '('); },
      [&] { return ValueOf("A=1 B='x y'", "B", kValueClean); },
      [&] { return SortRecords(list, 4, 200); },
      [&] { return Slice(CString(text)); },
  };
  StringArea& area = Area();
  for (const auto& op : ops) {
    size_t used = area.bytes_in_use();
    Slice r = op();
    ASSERT_TRUE(r.ok());
    bool on_area = area.Contains(r.data()) && area.Mark() == depth_ + 1;
    EXPECT_LE(area.Mark(), depth_ + 1);
    EXPECT_LE(area.bytes_in_use(), used + (on_area ? r.size() + 1 : 0));
    area.Release(depth_);
    size_t highest = area.highest_use();
    int highest_depth = area.highest_depth();
    for (int i = 0; i < 200; ++i) {
      (void)op();
      area.Release(depth_);
    }
    EXPECT_EQ(area.highest_use(), highest);
    EXPECT_EQ(area.highest_depth(), highest_depth);
    EXPECT_EQ(area.bytes_in_use(), used);
  }
}

}  // namespace
}  // namespace tessaly
