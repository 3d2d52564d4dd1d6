#include "data/definitions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/parameters.h"
#include "data/streams.h"
#include "expr/variables.h"

namespace tessaly {

inline void PrintTo(const Slice& s, std::ostream* os) {
  if (s.ok()) {
    *os << '"' << s.view() << '"';
  } else {
    *os << "<status " << s.status().code() << ">";
  }
}

namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(TESSALY_FIXTURES) + "/dict";

class DefinitionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    ResetVariables();
    ClearDetail();
    ForceLastError(0, 0);
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_defs_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    StreamCloseAll();
    Area().Release(depth_);
    fs::remove_all(dir_);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    return dir_ + "/" + name;
  }
  // Pops the `count` queued lines of table 37.
  static std::vector<std::string> Queued(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
      lines.push_back(strtab::Top(strtab::kLineQueue).str());
      EXPECT_EQ(strtab::Pop(strtab::kLineQueue), Status::kOk);
    }
    return lines;
  }
  int depth_ = 0;
  std::string dir_;
};

TEST_F(DefinitionsTest, LayoutsPlaceTheNumberAndTheContent) {
  struct Case {
    const char* line;
    int layout;
    int number;
    const char* content;
  };
  const Case cases[] = {
      {"05 TITLE$='Sales'", 1, 5, "TITLE$='Sales'"},
      {" 5 X", 1, 5, "X"},  // blanks read as zeros
      {"5 X", 1, 50, ""},   // ... on either side
      {"05", 1, 5, ""},
      {"x12ABCDEF>", 2, 12, "ABCDEF"},
      {"x12ABCD", 2, 12, "ABC"},
      {"x12A", 2, 12, ""},
      {"0123 REST", 3, 123, "REST"},
      {"05TITLE", 4, 5, "TITLE"},
      {"00042 whole line", 6, 42, "00042 whole line"},
      {"anything at all", 0, 0, "anything at all"},
      {"anything at all", 5, 0, "anything at all"},
      {"", 0, 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DefinitionLineNumber(c.line, c.layout), c.number) << c.line;
    EXPECT_EQ(DefinitionLineContent(c.line, c.layout), Slice(c.content)) << c.line;
  }
  const std::pair<const char*, int> no_number[] = {
      {"*comment", 1}, {"5", 1}, {"", 4}, {"A5 X", 1}, {"0x23 y", 3}, {"1234", 6}, {"ok", 7},
  };
  for (auto [line, layout] : no_number) {
    EXPECT_EQ(DefinitionLineNumber(line, layout), -1) << line << " " << layout;
  }
}

TEST_F(DefinitionsTest, TaggedFilesOfLayoutsOneAndFour) {
  std::string ppn = kFixtures + "/TSSALES.PPN";
  ASSERT_EQ(DefinitionLines(Slice::Of(ppn), 1, 5), 5);
  std::vector<std::string> want = {
      "TITLE$='Sales'", "FD$=\"_SUM#,_TOT#\"", "ASSIGN$=,_SUM#+_TOT#",
      "INIT.TITLE$='Init sales':INIT.EMPTY$=", "LIST$='a,b,c':PCT%='x'"};
  EXPECT_EQ(Queued(5), want);
  ASSERT_EQ(DefinitionLines(Slice::Of(ppn), 1, 6), 1);
  EXPECT_EQ(Queued(1), std::vector<std::string>{"TITLE$='Other'"});
  EXPECT_EQ(DefinitionLines(Slice::Of(ppn), 1, 7), 0);

  std::string pdc = kFixtures + "/TSREPORT.PDC";
  ASSERT_EQ(DefinitionLines(Slice::Of(pdc), 4, 5), 2);
  EXPECT_EQ(Queued(2), (std::vector<std::string>{"TITLE", ""}));
  EXPECT_EQ(strtab::Count(strtab::kLineQueue), 0);
}

TEST_F(DefinitionsTest, MissingFilesAreLookedForInTheDefaultFolders) {
  EXPECT_EQ(DefinitionLines("TSSALES.PPN", 1, 5), -1);
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 5, Slice::Of("\\nowhere, " + kFixtures)),
            Status::kOk);
  EXPECT_EQ(DefinitionLines("TSSALES.PPN", 1, 6), 1);
  EXPECT_EQ(DefinitionLines("tssales.ppn", 1, 6), 1);  // names in any letter case
  // A name with a folder is not looked for elsewhere.
  EXPECT_EQ(DefinitionLines("sub\\TSSALES.PPN", 1, 6), -1);
  EXPECT_EQ(DefinitionLines("CON", 0, 0), -1);  // never a standard stream
  EXPECT_EQ(GetLastError().code, 0);            // not found is no error
}

TEST_F(DefinitionsTest, DamagedFilesGiveAStatusAndTakeTheirLinesBack) {
  ASSERT_EQ(strtab::Push(strtab::kLineQueue, "someone else's"), Status::kOk);
  std::string path = Write("LONG.PPN", "05 A=1\n05 " + std::string(600, 'x') + "\n05 B=2\n");
  EXPECT_EQ(DefinitionLines(Slice::Of(path), 1, 5), -Status::kStringTooLong);
  EXPECT_EQ(GetDetail().str(), path + " line 2");
  EXPECT_EQ(strtab::Count(strtab::kLineQueue), 1);
  EXPECT_EQ(strtab::Top(strtab::kLineQueue), Slice("someone else's"));
  EXPECT_EQ(ParameterSetLoad(Slice::Of(path), 1, 5), Status::kStringTooLong);
  EXPECT_EQ(ParameterSetDepth(), 0);
  ASSERT_EQ(strtab::Pop(strtab::kLineQueue), Status::kOk);

  // A 512-byte line is the longest read; binary bytes and a final Ctrl-Z are
  // no trouble.
  std::string bytes("05 \x00\x01\xff", 6);
  path = Write("EDGE.PPN", "05 " + std::string(509, 'y') + "\r\n" + bytes + "\r\n\x1a");
  EXPECT_EQ(DefinitionLines(Slice::Of(path), 1, 5), 2);
  EXPECT_EQ(Queued(2)[1], bytes.substr(3));
}

TEST_F(DefinitionsTest, ParameterSetsAndTheirValues) {
  std::string ppn = kFixtures + "/TSSALES.PPN";
  ASSERT_EQ(ParameterSetLoad(Slice::Of(ppn), 1, 5), Status::kOk);
  EXPECT_EQ(ParameterSetDepth(), 1);
  EXPECT_EQ(ParameterValue(kKwTitle), Slice("Sales"));
  EXPECT_EQ(ParameterValue(kKwFd), Slice("_SUM#,_TOT#"));
  EXPECT_EQ(ParameterValue(kKwFd, 2), Slice("_TOT#"));
  EXPECT_EQ(ParameterValue(kKwAssign), Slice(",_SUM#+_TOT#"));
  EXPECT_EQ(ParameterValueByName("LIST$", 3), Slice("c"));
  EXPECT_EQ(ParameterValueByName("PCT%"), Slice("'x'"));  // '%' keeps its quotes

  // `_AUX` selects a prefix; an absent qualified keyword falls back to the
  // plain one, a present empty one does not.
  ASSERT_EQ(strtab::Set(9, 8, "INIT,LOAD"), Status::kOk);
  SetWord(kAux, 1);
  EXPECT_EQ(ParameterValue(kKwTitle), Slice("Init sales"));
  EXPECT_EQ(ParameterValue(kKwFd, 1), Slice("_SUM#"));
  EXPECT_TRUE(ParameterPresent("EMPTY$"));
  SetWord(kAux, 2);
  EXPECT_EQ(ParameterValue(kKwTitle), Slice("Sales"));
  EXPECT_FALSE(ParameterPresent("EMPTY$"));
  SetWord(kAux, 0);

  // Absent keywords are read as variables, except those with '('.
  ASSERT_FALSE(AssignText("DOC$", "INVOICE").failed());
  EXPECT_EQ(ParameterValue(kKwDoc), Slice("INVOICE"));
  ASSERT_FALSE(AssignNumber("MAXLINE", 1500).failed());
  EXPECT_EQ(ParameterValue(kKwMaxLine), Slice("15"));
  EXPECT_EQ(ParameterValue(kKwIk1), Slice(""));

  // A nested set hides the outer one until popped.
  ASSERT_EQ(ParameterSetLoad(Slice::Of(ppn), 1, 6), Status::kOk);
  EXPECT_EQ(ParameterValue(kKwTitle), Slice("Other"));
  EXPECT_EQ(ParameterSetPop(), Status::kOk);
  EXPECT_EQ(ParameterValue(kKwTitle), Slice("Sales"));
  EXPECT_EQ(ParameterSetPop(), Status::kOk);
  EXPECT_EQ(ParameterSetPop(), Status::kStrOutBound);

  // No matching line pushes an empty set; a missing file pushes nothing.
  ASSERT_EQ(ParameterSetLoad(Slice::Of(ppn), 1, 9), Status::kOk);
  EXPECT_EQ(ParameterSet(), Slice(""));
  EXPECT_EQ(ParameterSetLoad("NOSUCH.PPN", 1, 1), Status::kFileNotFound);
  EXPECT_EQ(ParameterSetDepth(), 1);
}

TEST_F(DefinitionsTest, KeywordNumbersFollowTheirSets) {
  const std::pair<int, const char*> cases[] = {
      {1, "MODULES$"},
      {9, "STATMSG$"},
      {10, ""},
      {11, "SCREENSIZE$"},
      {29, "VOIDMODE%"},
      {30, ""},
      {31, "NUMCAB$"},
      {48, "MAXLIN%"},
      {49, ""},
      {51, "FD$"},
      {65, "IK$(1)"},
      {67, "IK$(3)"},
      {71, "ATEND$"},
      {80, "TITLE$"},
      {81, "WD"},
      {91, "DEVICE$"},
      {99, "PRCNAME$"},
      {100, ""},
      {101, "ACCEPT_PRC%"},
      {116, "STRUCT$"},
      {117, ""},
      {0, ""},
      {-3, ""},
  };
  for (auto [number, name] : cases) {
    EXPECT_EQ(KeywordName(number), Slice(name)) << number;
    if (*name) {
      EXPECT_EQ(KeywordNumber(name), number) << name;
    }
  }
  EXPECT_EQ(KeywordNumber("title$"), 0);
}

TEST_F(DefinitionsTest, DefinitionFileNames) {
  EXPECT_EQ(DefinitionFileName("MENU", kDefMenu), Slice("MENU.PPN"));
  EXPECT_EQ(DefinitionFileName("A", kDefProcedure), Slice("A.PRX"));
  EXPECT_EQ(DefinitionFileName("A", kDefData2), Slice("A.DAT"));
  EXPECT_EQ(DefinitionFileName("A", kDefConfig), Slice("A.CFG"));
  EXPECT_EQ(DefinitionFileName("A", 0), Slice("A"));
  EXPECT_EQ(DefinitionFileName("A", 15), Slice("A"));
}

TEST_F(DefinitionsTest, BracketExpansion) {
  ASSERT_FALSE(AssignText("X$", " hi ").failed());
  ASSERT_FALSE(AssignText("E$", "").failed());
  ASSERT_FALSE(AssignText("R$", "[X$]").failed());
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 1, "prog /OPT=val"), Status::kOk);
  ASSERT_EQ(setenv("TESSALY_BRACKET_TEST", "envval", 1), 0);
  struct Case {
    const char* text;
    int flags;
    const char* list;
    const char* want;
  };
  const Case cases[] = {
      {"n=[1+2]", 0, "", "n=3"},
      {"a[X$]b", 0, "", "ahib"},
      {"a[X$]b", kBracketNoTrim, "", "a hi b"},
      {"a[X$]b", kBracketQuote, "", "a'hi'b"},
      {"a[X$]b", kBracketQuote | kBracketDoubleQuote, "", "a\"hi\"b"},
      {"[E$]", 0, "", "0"},
      {"[E$]", kBracketKeepEmpty, "", ""},
      {"[1][2]", kBracketFirstOnly, "", "1[2]"},
      {"[R$]", 0, "", "[X$]"},  // the inserted value is not scanned again
      {"\\{x\\}[1]", kBracketEscapes, "", "[x]1"},
      {"\\{x\\}", 0, "", "\\{x\\}"},
      {"[NAME]", kBracketLookup, "NAME=Ana:B=2", "Ana"},
      {"[OPT]", kBracketLookup, "", "val"},
      {"[TESSALY_BRACKET_TEST]", kBracketLookup, "", "envval"},
      {"<[NOPE%]>", kBracketLookup, "", "<>"},  // not found, not evaluated
      {"[X$]", kBracketLookup, "", "hi"},       // not found: evaluated
      {"open [abc", 0, "", "open [abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BracketExpand(c.text, c.flags, c.list), Slice(c.want)) << c.text;
  }
  EXPECT_TRUE(BracketExpand("a[1+]b", 0).is_error());
  unsetenv("TESSALY_BRACKET_TEST");
}

}  // namespace
}  // namespace tessaly
