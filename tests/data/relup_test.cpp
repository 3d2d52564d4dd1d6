// Relational updates: definitions loaded from RURELUP.DAT, selected and run
// by the saves of the record operations.
#include "data/relup.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/message_box.h"
#include "relup_fixture.h"

namespace tessaly {
namespace {

using RelUpdateTest = RelupFixture;

const std::string kStockDefinition = "STOCK{2}=STOCK{2}-_SGN*QTY{};LINES#=LINES#+_SGN";

// Saves line 1 of document D1 by `op` after putting `item` and `qty` into the
// buffer (a change loads the line first).
Status SaveLine(RecordOpCode op, const std::string& item, const std::string& qty) {
  std::string key = RelupFixture::LineKey("D1", 1);
  if (op == kOpIns) {
    EXPECT_EQ(DataFileMove(kLinesFile, kMoveClear), kResultCleared);
    RelupFixture::Set(kLinesFile, "DOC", "D1");
    RelupFixture::Set(kLinesFile, "N_LINE", "1");
  } else {
    EXPECT_EQ(DataFileFind(kLinesFile, 1, Slice::Of(key), 0), kResultFound);
  }
  if (!item.empty()) RelupFixture::Set(kLinesFile, "ITEM", item);
  if (!qty.empty()) RelupFixture::Set(kLinesFile, "QTY", qty);
  return RecordCommit(kLinesFile, RecordSave(RecordOpFlags(op), kLinesFile, Slice(), Slice()));
}

TEST_F(RelUpdateTest, SavingALineMovesTheStockOfItsArticle) {
  OpenAll();
  AddArticle("A1", "100");
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);

  // The window shows the line's article: the statement works on it.
  struct Step {
    RecordOpCode op;
    const char* qty;
    const char* stock;
    const char* lines;
    const char* saves;  // definition 0 runs first at every revert and apply
  } steps[] = {
      {kOpIns, "5", "95", "1", "1"},  // applies
      {kOpSve, "8", "92", "1", "3"},  // reverts 5, applies 8
      {kOpSve, "8", "92", "1", "3"},  // unchanged: nothing written, nothing run
      {kOpDel, "", "100", "0", "4"},  // reverts
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(RecordOpName(step.op).view()) + " " + step.qty);
    ASSERT_EQ(DataFileFind(kArticlesFile, 1, "A1", 0), kResultFound);
    EXPECT_EQ(SaveLine(step.op, step.op == kOpIns ? "A1" : "", step.qty), Status::kOk);
    EXPECT_EQ(Stock("A1"), step.stock);
    EXPECT_EQ(Eval("LINES#"), step.lines);
    EXPECT_EQ(Eval("SAVES#"), step.saves);
    EXPECT_EQ(Eval("_SGN"), "0");
  }
  EXPECT_EQ(Eval("HEADERS#"), "0");  // a line record selects definition 2, not 1
  EXPECT_EQ(DataFileRecordCount(kLinesFile), 0);

  // What the updates wrote is on the disk.
  ASSERT_EQ(DataFileCloseAll(), Status::kOk);
  OpenAll();
  EXPECT_EQ(Stock("A1"), "100");
}

TEST_F(RelUpdateTest, ALineThatChangesArticleGivesBackToTheOldOne) {
  // The statement finds the article through the line's relation, so the
  // revert reaches the old article and the apply the new one.
  UseDefinitions("0302FILEREL(3;2;1);STOCK{2}=STOCK{2}-_SGN*QTY{}\r\n");
  OpenAll();
  AddArticle("A1", "100");
  AddArticle("B2", "50");
  ASSERT_EQ(DataFileMove(kArticlesFile, kMoveClear), kResultCleared);
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);

  ASSERT_EQ(SaveLine(kOpIns, "A1", "5"), Status::kOk);
  EXPECT_EQ(Stock("A1"), "95");
  ASSERT_EQ(SaveLine(kOpSve, "B2", "7"), Status::kOk);
  EXPECT_EQ(Stock("A1"), "100");
  EXPECT_EQ(Stock("B2"), "43");
  ASSERT_EQ(SaveLine(kOpDel, "", ""), Status::kOk);
  EXPECT_EQ(Stock("A1"), "100");
  EXPECT_EQ(Stock("B2"), "50");
}

TEST_F(RelUpdateTest, DefinitionsAreJoinedAndSelected) {
  OpenAll();
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  ASSERT_EQ(RelUpdateLoad(kArticlesFile, Slice()), Status::kOk);
  EXPECT_EQ(RelUpdateDefinition(kLinesFile, 0), Slice("SAVES#=SAVES#+1"));
  EXPECT_EQ(RelUpdateDefinition(kLinesFile, 2), Slice::Of(kStockDefinition));
  EXPECT_EQ(RelUpdateDefinitionCount(kLinesFile), 2);
  EXPECT_EQ(RelUpdateDefinitionCount(kArticlesFile), 1);
  EXPECT_EQ(RelUpdateDefinitionCount(kCustomersFile), -1);
  EXPECT_EQ(DataFileControl(kLinesFile)->relupdate_base, 0);
  EXPECT_EQ(DataFileControl(kArticlesFile)->relupdate_base, 3);

  const std::string def0 = "SAVES#=SAVES#+1", def1 = "HEADERS#=HEADERS#+_SGN";
  struct Case {
    int file;
    const char* n_line;  // of the line record in the buffer
    const char* selection;
    std::string statements;
  } cases[] = {
      {kLinesFile, "1", "", def0 + ";" + kStockDefinition},  // a line: definition 2
      {kLinesFile, "", "", def0 + ";" + def1},               // a header: definition 1
      {kLinesFile, "1", "NONE", ""},
      {kLinesFile, "1", "'1,2'", def0 + ";" + def1 + ";" + kStockDefinition},
      {kLinesFile, "1", "'2,2,0'", def0 + ";" + kStockDefinition},  // each runs once
      {kLinesFile, "1", "7", def0},  // beyond the definitions: nothing more
      {kLinesFile, "1", "3-(N_LINE{}>0)*2", def0 + ";" + def1},
      {kArticlesFile, "", "", "ARTICLES#=ARTICLES#+_SGN"},  // one definition: "1"
      {kCustomersFile, "", "", ""},                         // none loaded
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection);
    Set(kLinesFile, "N_LINE", c.n_line);
    AreaMark mark;
    Slice s = RelUpdateSelect(c.file, Slice(c.selection));
    ASSERT_TRUE(s.ok()) << s.status().code();
    EXPECT_EQ(s.str(), c.statements);
  }
  AreaMark mark;
  EXPECT_EQ(RelUpdateSelect(kLinesFile, "'A'+1").status(), Status::kTypeMismatch);
}

TEST_F(RelUpdateTest, LoadingUnloadingAndBadDefinitionFiles) {
  // NONE loads nothing.
  ASSERT_EQ(RelUpdateLoad(kLinesFile, "NONE"), Status::kOk);
  EXPECT_FALSE(RelUpdateLoaded(kLinesFile));
  EXPECT_EQ(RelUpdateMark(), 0);

  // A window's mark: what was loaded after it goes when the window closes.
  ASSERT_EQ(RelUpdateLoad(kArticlesFile, Slice()), Status::kOk);
  int mark = RelUpdateMark();
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);  // once
  EXPECT_EQ(RelUpdateMark(), mark + 3);
  ASSERT_EQ(RelUpdateUnload(kLinesFile, mark), Status::kOk);
  EXPECT_FALSE(RelUpdateLoaded(kLinesFile));
  EXPECT_TRUE(RelUpdateLoaded(kArticlesFile));
  EXPECT_EQ(RelUpdateMark(), mark);
  ASSERT_EQ(RelUpdateUnload(kArticlesFile, -1), Status::kOk);
  EXPECT_FALSE(RelUpdateLoaded(kArticlesFile));
  EXPECT_EQ(RelUpdateMark(), 0);

  // A file the definition file has nothing for selects nothing, and does
  // not share the table position of the next file loaded.
  ASSERT_EQ(RelUpdateLoad(kCustomersFile, Slice()), Status::kOk);
  ASSERT_EQ(RelUpdateLoad(kArticlesFile, Slice()), Status::kOk);
  {
    AreaMark area;
    EXPECT_EQ(RelUpdateSelect(kCustomersFile, "1"), Slice(""));
  }
  RelUpdateReset();

  struct Case {
    std::string text;
    Status status;
  } cases[] = {
      {"", Status::kOk},                        // nothing for file 3
      {"03x1A=1\r\n", Status::kBadInputData},   // no definition number
      {"0301A=1\r\n03 2B=2\r\n", Status::kOk},  // a blank reads as 0
      {"0301" + std::string(600, 'A') + "\r\n", Status::kStringTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 16));
    UseDefinitions(c.text);
    EXPECT_EQ(RelUpdateLoad(kLinesFile, Slice()), c.status);
    EXPECT_EQ(RelUpdateLoaded(kLinesFile), c.status == Status::kOk);
    if (c.status != Status::kOk) {
      EXPECT_NE(GetDetail().view().find("RURELUP.DAT"), std::string_view::npos)
          << GetDetail().view();
      EXPECT_EQ(RelUpdateMark(), 0);
    }
    EXPECT_EQ(strtab::Count(strtab::kLineQueue), 0);
    RelUpdateReset();
  }
  UseDefinitions("0301A=1\r\n03 2B=2\r\n");
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  EXPECT_EQ(RelUpdateDefinition(kLinesFile, 2), Slice("B=2"));

  // No definition file at all: nothing to run, and no error.
  RelUpdateReset();
  std::filesystem::remove(dir_ + "/RURELUP.DAT");
  EXPECT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  AreaMark area;
  EXPECT_EQ(RelUpdateSelect(kLinesFile, Slice()), Slice(""));
}

TEST_F(RelUpdateTest, SavesWriteButRunNothingWhenUpdatesAreOffOrNotSelected) {
  OpenAll();
  AddArticle("A1", "100");
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  ASSERT_EQ(DataFileFind(kArticlesFile, 1, "A1", 0), kResultFound);

  ClearBits(kUpStat, 0x01);
  EXPECT_EQ(SaveLine(kOpIns, "A1", "5"), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kLinesFile), 1);
  EXPECT_EQ(Stock("A1"), "100");
  EXPECT_EQ(Eval("SAVES#"), "0");

  SetBits(kUpStat, 0x01);
  ASSERT_EQ(DataFileFind(kLinesFile, 1, Slice::Of(LineKey("D1", 1)), 0), kResultFound);
  Set(kLinesFile, "QTY", "6");
  ASSERT_EQ(DataFileFind(kArticlesFile, 1, "A1", 0), kResultFound);
  EXPECT_EQ(RecordSave(RecordOpFlags(kOpSve), kLinesFile, "NONE", Slice()), Status::kOk);
  EXPECT_EQ(Stock("A1"), "100");
  EXPECT_EQ(Eval("SAVES#"), "0");
}

TEST_F(RelUpdateTest, AFailingStatementStopsTheUpdatesAndIsReported) {
  UseDefinitions("0302STOCK{2}=STOCK{2}-_SGN*QTY{};BAD#='a'+1;AFTER#=1\r\n");
  OpenAll();
  AddArticle("A1", "100");
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  ASSERT_EQ(DataFileFind(kArticlesFile, 1, "A1", 0), kResultFound);
  EXPECT_EQ(SaveLine(kOpIns, "A1", "5"), Status::kTypeMismatch);
  EXPECT_EQ(DataFileRecordCount(kLinesFile), 1);  // the write stays
  EXPECT_EQ(Stock("A1"), "95");                   // and so does what ran before
  EXPECT_EQ(Eval("AFTER#"), "0");
  EXPECT_NE(GetDetail().view().find("Relational Update salelines"), std::string_view::npos)
      << GetDetail().view();
  std::string log = ReadFile(dir_ + "/log.txt");
  EXPECT_NE(log.find("Type Mismatch"), std::string::npos) << log;
  EXPECT_NE(log.find("Relational Update salelines"), std::string::npos) << log;
}

TEST_F(RelUpdateTest, RunRevertsOverTheRecordAsReadAndMarksSqlDefinitions) {
  OpenAll();
  ASSERT_EQ(DataFileMove(kLinesFile, kMoveClear), kResultCleared);
  Set(kLinesFile, "QTY", "4");
  RecordBuffers b = FileRecordBuffers(kLinesFile);
  std::memcpy(b.saved, b.current, b.length);  // the record as read: 4
  Set(kLinesFile, "QTY", "9");                // as changed: 9
  const std::string changed(b.current, b.length);

  const char* statements = "SEEN#=QTY{};SIGN=_SGN;SQL=_UPSTAT&32";
  ASSERT_EQ(RelUpdateRun(kLinesFile, statements, RelUpdateMode::kRevert), Status::kOk);
  EXPECT_EQ(Eval("SEEN#"), "4");
  EXPECT_EQ(Eval("SIGN"), "-1");
  EXPECT_EQ(Eval("SQL"), "0");
  EXPECT_EQ(std::string(b.current, b.length), changed);
  EXPECT_EQ(Eval("_SGN"), "0");

  SetWord(kAuxStat, 0x800);
  {
    AreaMark mark;
    EXPECT_EQ(RelUpdateFileName(), Slice("RURELUPSQL.DAT"));
  }
  ASSERT_EQ(RelUpdateRun(kLinesFile, statements, RelUpdateMode::kApply), Status::kOk);
  EXPECT_EQ(Eval("SEEN#"), "9");
  EXPECT_EQ(Eval("SIGN"), "1");
  EXPECT_EQ(Eval("SQL"), "32");
  EXPECT_FALSE(TestBits(kUpStat, 0x20));

  // Definitions off: nothing runs.
  ClearBits(kUpStat, 0x01);
  ASSERT_EQ(RelUpdateRun(kLinesFile, "SEEN#=99", RelUpdateMode::kApply), Status::kOk);
  EXPECT_EQ(Eval("SEEN#"), "9");
}

TEST_F(RelUpdateTest, SqlDefinitionsComeFromTheirOwnFile) {
  UseDefinitions("0302FROM$='sql'\r\n", "RURELUPSQL.DAT");
  SetWord(kAuxStat, 0x800);
  ASSERT_EQ(RelUpdateLoad(kLinesFile, Slice()), Status::kOk);
  EXPECT_EQ(RelUpdateDefinition(kLinesFile, 2), Slice("FROM$='sql'"));
}

}  // namespace
}  // namespace tessaly
