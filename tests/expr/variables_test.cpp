#include "expr/variables.h"

#include <gtest/gtest.h>

#include <string>

#include "core/flags.h"
#include "core/memory_blocks.h"
#include "core/string_tables.h"
#include "tests/expr/expr_fixture.h"

namespace tessaly {
namespace {

using Variables = ExprTest;

TEST_F(Variables, SystemVariablesComeFirstAtTheirWordIndexes) {
  struct {
    const char* name;
    int index;
    int value;
  } cases[] = {
      {"_AUXSTAT", kAuxStat, 0}, {"_DEVHIG", kDevHig, 24}, {"_DEVWID", kDevWid, 80},
      {"_LASTKEY", kLastKey, 4}, {"_UPSTAT", kUpStat, 1},  {"_LB", kLb, 128},
      {"_TRACE", kTrace, 1},     {"_PRECIS", kPrecis, 2},  {"_BYEAR", kBYear, 2000},
      {"_BKYEAR", kBkYear, 80},  {"_USER03", kUser03, 0},
  };
  for (const auto& c : cases) {
    VariableRef ref = FindVariable(Slice(c.name));
    EXPECT_EQ(ref.kind, kIntegerVariable) << c.name;
    EXPECT_EQ(ref.index, c.index) << c.name;
    EXPECT_EQ(Word(c.index), c.value) << c.name;
  }
  Slice integers = strtab::Get(strtab::kVariableNames, 0);
  EXPECT_EQ(integers.view().substr(0, 24), "_AUXSTAT,_RELRES,_CURFIL");
  EXPECT_EQ(integers.view().substr(integers.size() - 15), "_USER02,_USER03");
  EXPECT_EQ(strtab::Get(strtab::kVariableNames, 2).str(), "_ACUM$,_ACUMX$,_LTEXT$");
  // Writing a word by index is writing the variable.
  SetWord(kDevWid, 132);
  EXPECT_EQ(Eval("_DEVWID"), "=132");
}

TEST_F(Variables, KindsByNameMarkers) {
  struct {
    const char* name;
    int kind;
  } cases[] = {
      {"A", kIntegerVariable}, {"A$", kTextVariable},   {"A#", kNumberVariable},
      {"A(", kArrayVariable},  {"A@", kNotVariable},    {"A#$", kTextVariable},
      {"A$#", kTextVariable},  {"A$(", kArrayVariable}, {"A(@", kNotVariable},
  };
  for (const auto& c : cases) EXPECT_EQ(VariableKindOf(Slice(c.name)), c.kind) << c.name;
}

TEST_F(Variables, NewNamesAreAppendedToTheirListAndIndexedByPosition) {
  Run("ZB#=1;ZA#=2;Q$='x';Total=1;TOTAL=2");
  EXPECT_EQ(strtab::Get(strtab::kVariableNames, 1).str(), "ZB#,ZA#");
  EXPECT_EQ(FindVariable("ZA#").index, 1);
  EXPECT_EQ(FindVariable("Q$").index, 3);  // after the three system texts
  EXPECT_EQ(strtab::Get(strtab::kTextVariables, 3).str(), "x");
  EXPECT_NE(FindVariable("Total").index, FindVariable("TOTAL").index);
  EXPECT_EQ(FindVariable("NEVER#").index, kNotFound);
}

TEST_F(Variables, ReadAndAssignThroughThePublicOperations) {
  {
    AreaMark mark;
    EXPECT_EQ(AssignNumber("N", 370).code(), kNumberValue);
    EXPECT_EQ(NumberOf(Area().Top()), 370);  // the value stays on top
  }
  {
    AreaMark mark;
    EXPECT_EQ(ReadVariable("N").code(), kNumberValue);
    EXPECT_EQ(NumberOf(Area().Top()), 400);
    EXPECT_EQ(ReadVariable("UNSET$").code(), kTextValue);
    EXPECT_EQ(Area().Top().size(), 0);
    EXPECT_EQ(ReadVariable(".tab$").code(), kTextValue);
    EXPECT_EQ(Area().Top().str(), "\t");
    EXPECT_EQ(ReadVariable("X@").code(), 147);
  }
  int depth = Area().Mark();
  EXPECT_EQ(AssignText(".lf$", "x").code(), 147);
  EXPECT_EQ(AssignText("N", "x").code(), 128);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kVarNameAssign));
  EXPECT_EQ(AssignText("A,B$", "x").code(), 157);
  EXPECT_EQ(Area().Mark(), depth);
}

TEST_F(Variables, ArraysAreRowMajorWithBoundsPlusOne) {
  const int bounds[] = {2, 3};
  ASSERT_EQ(DeclareArray("M(2;3)", kNumberVariable, 0, bounds, 2).code(), 0);
  const int last[] = {2, 3};
  const int first[] = {0, 0};
  Slice a = ArrayElement("M", first, 2);
  Slice b = ArrayElement("M", last, 2);
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(b.data() - a.data(), 11 * 8);  // 12 elements of 8 bytes
  const int beyond[] = {3, 0};
  EXPECT_EQ(ArrayElement("M", beyond, 2).status().code(), 168);
  const int negative[] = {-1, 0};
  EXPECT_EQ(ArrayElement("M", negative, 2).status().code(), 168);
  EXPECT_EQ(ArrayElement("NONE", first, 2).status().code(), 149);

  EXPECT_EQ(Eval("M(1;2)=2.5;M(1;2)*2"), "=5");
  EXPECT_EQ(Eval("M(2;3)"), "=0");
  EXPECT_EQ(Eval("M(2;4)"), "#168");
  EXPECT_EQ(Eval("M('a';1)"), "#128");
  EXPECT_EQ(Eval("M(1;1)='x'"), "#128");

  const int one[] = {4};
  ASSERT_EQ(DeclareArray("W$", kTextVariable, 3, one, 1).code(), 0);
  EXPECT_EQ(Eval("W$(4)='abcdef';W$(4)+'|'+W$(0)"), "abc|");
  ASSERT_EQ(DeclareArray("I", kIntegerVariable, 0, one, 1).code(), 0);
  EXPECT_EQ(Eval("I(1)=3.7;I(1)"), "=3");  // an integer element takes the integer part

  const int five[] = {1, 1, 1, 1, 1};
  EXPECT_EQ(DeclareArray("F", kNumberVariable, 0, five, 5).code(), 149);
  const int zero[] = {0};
  EXPECT_EQ(DeclareArray("Z", kNumberVariable, 0, zero, 1).code(), 147);
  EXPECT_EQ(DeclareArray("Z", kTextVariable, 0, one, 1).code(), 147);
  const int huge[] = {100000, 100000};
  EXPECT_EQ(DeclareArray("H", kNumberVariable, 0, huge, 2).code(), 154);

  // Declaring again replaces the storage; forgetting frees it.
  int blocks = BlocksInUse();
  ASSERT_EQ(DeclareArray("M", kNumberVariable, 0, bounds, 2).code(), 0);
  EXPECT_EQ(BlocksInUse(), blocks);
  EXPECT_EQ(Eval("M(1;2)"), "=0");
  ReleaseVariables();
  EXPECT_EQ(BlocksInUse(), blocks - 3);  // M, W$ and I
  EXPECT_EQ(Eval("M(1;2)"), "#149");
  EXPECT_EQ(Eval("X#=1;X#"), "=1");  // other variables live on
}

TEST_F(Variables, ScreenFieldPairs) {
  char letter = 0;
  int number = 0;
  EXPECT_EQ(ReadPair(3, &letter, &number).code(), 181);
  Run("_V3$='N12'");
  ASSERT_EQ(ReadPair(3, &letter, &number).code(), 0);
  EXPECT_EQ(letter, 'N');
  EXPECT_EQ(number, 12);
}

TEST_F(Variables, FileVariablesNameTheFileNumber) {
  static int seen = 0;
  SetFileVariablesHandler([](int file, Slice) -> Status {
    seen = file;
    return Status::kOk;
  });
  EXPECT_EQ(DefineFileVariables(4, "clientes").code(), 0);
  EXPECT_EQ(seen, 4);
  EXPECT_EQ(Eval("clientes"), "=4");
  EXPECT_EQ(DefineFileVariables(30, "x").code(), 151);
  SetFileVariablesHandler(nullptr);
}

TEST_F(Variables, ResetForgetsEverythingAndStartsAgain) {
  Run("A#=5;B$='x';_PRECIS=3");
  ResetVariables();
  EXPECT_EQ(Eval("A#"), "=0");
  EXPECT_EQ(Eval("B$"), "");
  EXPECT_EQ(Eval("_PRECIS"), "=2");
}

}  // namespace
}  // namespace tessaly
