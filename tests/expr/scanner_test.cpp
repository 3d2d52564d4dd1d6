#include "expr/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expr/expr_fixture.h"

namespace tessaly {
namespace {

using Scanner = ExprTest;

std::string Prepared(const char* text) {
  AreaMark mark;
  Slice p = Prepare(Slice(text));
  return p.ok() ? p.str() : "#" + std::to_string(p.status().code());
}

TEST_F(Scanner, PreparationRemovesBlanksChecksAndExpandsMacros) {
  struct {
    const char* text;
    const char* prepared;
  } cases[] = {
      {"A = B + 1", "A=B+1"},
      {"  A=1  ", "A=1"},
      {"A +  B", "A+B"},
      {"X$ = 'a b'", "X$='a b'"},
      {"A B", "#147"},
      {"'x' 'y'", "#147"},
      {"(1+2", "#129"},
      {"F('(')", "F('(')"},
      {"_ACCEPT#(3)", "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);3);'FIT'))"},
      {"_ACCEPT$(2)+'x'", "FN$TRIM(FN$PARM(_$(.envvar;.dialog);2);'FIT')+'x'"},
      {"_ACCEPT$(1;9)", "FN$TRIM(FN$PARM(_$(.envvar;.dialog);1);'FIT')"},
      {"_ACCEPT#(_ACCEPT#(1))",
       "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);"
       "1);'FIT')));'FIT'))"},
      {"'_ACCEPT$(1)'", "'_ACCEPT$(1)'"},
  };
  for (const auto& c : cases) EXPECT_EQ(Prepared(c.text), c.prepared) << c.text;
}

struct Scanned {
  std::string operand;
  int kind;
  int op;
  int separator;
};

std::vector<Scanned> Scan(const char* text) {
  std::vector<Scanned> out;
  Token t;
  t.expression = Slice(text);
  t.end = 0;
  while (t.end < t.expression.size()) {
    (void)NextToken(t);
    out.push_back({std::string(text + t.position, t.length), t.kind, t.op,
                   t.separator == kNotFound ? -1 : t.separator});
  }
  return out;
}

TEST_F(Scanner, TokensCarryOperandKindOperatorAndSeparator) {
  auto t = Scan("a>=b");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].op, kOpGreaterEqual);
  EXPECT_EQ(OperatorPriority(t[0].op), 2);
  EXPECT_EQ(Scan("a=b")[0].op, kOpAssign);
  EXPECT_EQ(Scan("a==b")[0].op, kOpEqual);
  EXPECT_EQ(Scan("a<>b")[0].op, kOpNotEqual);
  EXPECT_EQ(Scan("a=-b")[0].op, kOpAssign);
  EXPECT_EQ(Scan("a@@b")[0].op, kOpExclusive);
  EXPECT_EQ(Scan("a\xF7" "b")[0].op, kOpLessPercent);
  EXPECT_EQ(Scan("a:b")[0].op, kOpNone);

  auto k = Scan("'x'+X$+N#+V+12+.datem+F{1}+CHK#(1;2)+ARR(1)+(3);z,w");
  std::vector<int> kinds;
  for (const auto& s : k) kinds.push_back(s.kind);
  EXPECT_EQ(kinds, (std::vector<int>{1, 3, 6, 2, 0, 0, 8, 32, 16, 64, 2, 2}));
  EXPECT_EQ(k[7].operand, "CHK#(1;2)");
  EXPECT_EQ(k[9].separator, 0);
  EXPECT_EQ(k[10].separator, 1);
  // Operator characters inside quotes belong to the operand.
  EXPECT_EQ(Scan("'a+b;c'")[0].operand, "'a+b;c'");
}

TEST_F(Scanner, PrioritiesFollowTheOperatorTable) {
  const int expected[] = {0, 4, 4, 4, 4, 4, 3, 3, 0, 2, 2, 2, 2, 2, 2, 1, 5, 1, 1, 1, 1};
  for (int op = 0; op <= kOperatorCount; ++op) EXPECT_EQ(OperatorPriority(op), expected[op]);
  EXPECT_EQ(OperatorText(kOpBitOr).str(), "|");
  EXPECT_EQ(OperatorText(kOpNone).str(), "");
}

TEST_F(Scanner, ArgumentsAreSplitAtTheTopLevelOnly) {
  Slice args("'a;b';'FIT'");
  EXPECT_EQ(SkipArgument(args, 1).str(), "'a;b'");
  EXPECT_EQ(SkipArgument(args, 2).str(), "'FIT'");
  EXPECT_EQ(SkipArgument(args, 3).str(), "");
  Slice nested("F(1;2),X;");
  EXPECT_EQ(SkipArgument(nested, 1).str(), "F(1;2)");
  EXPECT_EQ(SkipArgument(nested, 2).str(), "X");
  EXPECT_EQ(SkipArgument(nested, 3).str(), "");
  EXPECT_EQ(SkipArgument("a;b)", 2).str(), "b");
}

TEST_F(Scanner, TokenCountListsTopLevelOperands) {
  std::vector<OperandSpan> spans = TokenCount("A+F(B;C)*2;'x'");
  ASSERT_EQ(spans.size(), 4u);
  EXPECT_EQ(spans[1].position, 2);
  EXPECT_EQ(spans[1].length, 6);
  EXPECT_EQ(spans[3].position, 11);
  EXPECT_EQ(spans[3].length, 3);
}

TEST_F(Scanner, IsTextLooksAtTheFirstOperand) {
  struct {
    const char* text;
    int text_result;
  } cases[] = {
      {"'a'", 1},      {"A$", 1},       {"A$='x'", 1},       {"A$+B$", 1}, {"A$==B$", 0},
      {"A#", 0},       {"12", 0},       {"FN$TRIM(X)", 1},   {"CHK#(1)", 0}, {"(A$)", 1},
      {"((A$)+'b')", 1}, {"(1)", 0},    {"A B", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsText(Slice(c.text)), c.text_result) << c.text;
}

}  // namespace
}  // namespace tessaly
