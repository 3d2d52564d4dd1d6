#include "core/line_table.h"

#include <gtest/gtest.h>

#include <string>

#include "core/flags.h"
#include "core/memory_blocks.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"

namespace tessaly {
namespace {

class LineTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    depth_ = Area().Mark();
  }
  void TearDown() override {
    (void)SetLineTableEvaluator({});
    Area().Release(depth_);
    rtarray::FreeAll();
  }
  // A table of an article code (4) and a quantity (3): "ART1 10" per row.
  static void AddColumns(LineTable& t) {
    ASSERT_EQ(t.AddColumn(4, 'A'), Status::kOk);
    ASSERT_EQ(t.AddColumn(3, 'N'), Status::kOk);
  }
  // The rows 1..used as "row|row|...".
  static std::string Rows(const LineTable& t) {
    std::string s;
    for (int r = 1; r <= t.used_rows(); ++r) {
      if (r > 1) s += '|';
      s += t.Row(r).str();
    }
    return s;
  }
  static void Fill(LineTable& t, std::initializer_list<const char*> codes) {
    int r = 0;
    for (const char* c : codes) ASSERT_EQ(t.SetCell(++r, 1, c), Status::kOk);
  }
  int depth_ = 0;
};

TEST_F(LineTableTest, ColumnsLayTheRowAndTheLastOneTakesTheBlock) {
  int before = BlocksInUse(ErrorArea::kLocalLists);
  {
    LineTable t(2, 0);
    EXPECT_EQ(t.row_capacity(), 100);  // 0 means the default
    EXPECT_EQ(t.mode(), kLinesDocument);
    ASSERT_EQ(t.AddColumn(4, 'A'), Status::kOk);
    EXPECT_FALSE(t.has_data());
    EXPECT_EQ(t.SetCell(1, 1, "X"), Status::kDataOutBound);  // no data yet
    ASSERT_EQ(t.AddColumn(3, 'N'), Status::kOk);
    EXPECT_TRUE(t.has_data());
    EXPECT_EQ(BlocksInUse(ErrorArea::kLocalLists), before + 1);
    EXPECT_EQ(BlockSize(t.Row(1).data()), 700u);
    EXPECT_EQ(t.row_length(), 7);
    EXPECT_EQ(t.ColumnOffset(2), 4);
    EXPECT_EQ(t.ColumnValue(2), 'N');
    EXPECT_EQ(t.AddColumn(1, 0), Status::kDataOutBound);
    EXPECT_EQ(t.last_status(), Status::kDataOutBound);
  }
  EXPECT_EQ(BlocksInUse(ErrorArea::kLocalLists), before);

  LineTable zero(1, 5);
  EXPECT_EQ(zero.AddColumn(0), Status::kBadInputData);
  LineTable wide(2, 5);
  ASSERT_EQ(wide.AddColumn(65000), Status::kOk);
  EXPECT_EQ(wide.AddColumn(1000), Status::kDataOutBound);
}

TEST_F(LineTableTest, ModesByName) {
  struct Case {
    const char* setting;
    LineTableMode mode;
  } cases[] = {{"ALONE", kLinesAlone},
               {" navigation ", kLinesNavigation},
               {"DOCUMENT", kLinesDocument},
               {"", kLinesDocument},
               {"OTHER", kLinesDocument}};
  for (const Case& c : cases) {
    EXPECT_EQ(LineTableModeOf(c.setting), c.mode) << c.setting;
    EXPECT_EQ(LineTable(1, 1, c.setting).mode(), c.mode);
  }
}

TEST_F(LineTableTest, SettingACellBlanksTheRowsBeforeAndMirrorsTheCounts) {
  LineTable t(2, 10);
  AddColumns(t);
  t.SetCurrentRow(2);
  EXPECT_EQ(Word(kLNum), 2);
  ASSERT_EQ(t.SetCell(5, 2, "12"), Status::kOk);
  EXPECT_EQ(t.used_rows(), 5);
  EXPECT_EQ(Word(kLLst), 5);
  EXPECT_EQ(Rows(t), "       |       |       |       |    12 ");
  EXPECT_EQ(t.changed(), kLinesCellsChanged | kLinesRowsChanged);

  // Cut to the width; -1 is the current row.
  ASSERT_EQ(t.SetCell(-1, 1, "ABCDEFG"), Status::kOk);
  EXPECT_EQ((t.Cell(2, 1)).str(), "ABCD");
  EXPECT_EQ((t.Cell(-1, 2)).str(), "   ");
  EXPECT_EQ((t.RowText()).str(), "ABCD   ");

  struct Out {
    int row, column;
  } outside[] = {{0, 1}, {11, 1}, {1, 0}, {1, 3}};
  for (const Out& o : outside) {
    EXPECT_TRUE(t.Cell(o.row, o.column).empty()) << o.row << "," << o.column;
    EXPECT_EQ(t.SetCell(o.row, o.column, "X"), Status::kDataOutBound);
  }
  t.SetCurrentRow(0);
  EXPECT_EQ(t.SetCell(-1, 1, "X"), Status::kDataOutBound);
  EXPECT_TRUE(t.RowText().empty());
  EXPECT_EQ(t.SetCell(1, 1, Slice::Error(Status::kBadExpression)), Status::kBadExpression);
  EXPECT_EQ(t.used_rows(), 5);
}

TEST_F(LineTableTest, InsertAndDeleteMoveTheRowsAroundTheCurrentOne) {
  LineTable t(2, 4);
  AddColumns(t);
  Fill(t, {"A", "B", "C"});
  t.ClearChanged();
  t.SetCurrentRow(2);
  ASSERT_EQ(t.InsertRow(), Status::kOk);
  EXPECT_EQ(Rows(t), "A      |       |B      |C      ");
  EXPECT_EQ(Word(kLLst), 4);
  EXPECT_EQ(t.current_row(), 2);
  EXPECT_NE(t.changed(), 0);

  // Full table: the last row falls off, the count stays at the capacity.
  ASSERT_EQ(t.InsertRow(), Status::kOk);
  EXPECT_EQ(Rows(t), "A      |       |       |B      ");
  EXPECT_EQ(t.used_rows(), 4);

  t.SetCurrentRow(1);
  ASSERT_EQ(t.DeleteRow(), Status::kOk);
  EXPECT_EQ(Rows(t), "       |       |B      ");
  // The freed row is blank when the table grows again.
  ASSERT_EQ(t.SetCell(4, 2, "1"), Status::kOk);
  EXPECT_EQ(t.Row(4).str(), "    1  ");

  // Deleting above the used rows does nothing.
  t.SetCurrentRow(4);
  ASSERT_EQ(t.DeleteRow(), Status::kOk);
  ASSERT_EQ(t.DeleteRow(), Status::kOk);
  t.SetCurrentRow(4);
  EXPECT_EQ(t.DeleteRow(), Status::kOk);
  EXPECT_EQ(t.used_rows(), 3);

  // No current row, or a bad step: refused.
  t.SetCurrentRow(0);
  EXPECT_EQ(t.InsertRow(), Status::kBadInputData);
  t.SetCurrentRow(1);
  EXPECT_EQ(t.MoveRows(2), Status::kBadInputData);
  EXPECT_EQ(t.MoveRows(0), Status::kBadInputData);
}

TEST_F(LineTableTest, DeletingTheOnlyRowLeavesNone) {
  LineTable t(2, 4);
  AddColumns(t);
  Fill(t, {"A"});
  t.SetCurrentRow(1);
  ASSERT_EQ(t.DeleteRow(), Status::kOk);
  EXPECT_EQ(t.used_rows(), 0);
  EXPECT_EQ(Word(kLLst), 0);
  EXPECT_EQ((t.Row(1)).str(), "       ");
  EXPECT_EQ(t.DeleteRow(), Status::kBadInputData);  // used rows would be -1
}

TEST_F(LineTableTest, TrimDropsTrailingBlankRowsButKeepsOne) {
  LineTable t(2, 10);
  AddColumns(t);
  Fill(t, {"A", "", "B", "", ""});
  t.Trim();
  EXPECT_EQ(t.used_rows(), 3);
  EXPECT_EQ(t.current_row(), 3);
  EXPECT_EQ(Word(kLNum), 3);

  LineTable blank(2, 10);
  AddColumns(blank);
  Fill(blank, {"", "", ""});
  blank.Trim();
  EXPECT_EQ(blank.used_rows(), 1);

  LineTable empty(2, 10);
  AddColumns(empty);
  empty.Trim();
  EXPECT_EQ(empty.used_rows(), 0);
  EXPECT_EQ(empty.current_row(), 0);
}

TEST_F(LineTableTest, ClearForgetsTheRowsAndTheirCells) {
  LineTable t(2, 10);
  AddColumns(t);
  Fill(t, {"A", "B"});
  t.SetCurrentRow(2);
  t.Clear();
  EXPECT_EQ(Word(kLNum), 0);
  EXPECT_EQ(Word(kLLst), 0);
  EXPECT_EQ((t.Cell(2, 1)).str(), "    ");
  EXPECT_EQ(t.AppendRow(), 1);
  EXPECT_EQ(Word(kLNum), 1);
  EXPECT_EQ((t.Row(1)).str(), "       ");
}

TEST_F(LineTableTest, AppendStopsAtTheCapacity) {
  LineTable t(1, 2);
  ASSERT_EQ(t.AddColumn(2), Status::kOk);
  EXPECT_EQ(t.AppendRow(), 1);
  EXPECT_EQ(t.AppendRow(), 2);
  EXPECT_EQ(t.AppendRow(), 0);
  t.SetUsedRows(1);
  EXPECT_EQ(Word(kLLst), 1);
}

// A stand-in evaluator: conditions "1" and "0", "ERR" fails, anything else
// is recorded as run.
std::string g_ran;
Status FakeCondition(Slice text) {
  if (text.empty() || text == Slice("1")) return Status(1);
  if (text == Slice("ERR")) return Status::kBadExpression;
  return Status::kOk;
}
Status FakeStatements(Slice text) {
  g_ran += text.str() + ";";
  if (text == Slice("WARN")) return Status::kOutOfData;
  if (text == Slice("FAIL")) return Status::kSyntaxError;
  return Status::kOk;
}

TEST_F(LineTableTest, InsertAndDeleteWithExpression) {
  LineTable t(2, 10);
  AddColumns(t);
  Fill(t, {"A", "B"});
  t.SetCurrentRow(1);

  // Without an evaluator only empty texts are understood.
  EXPECT_EQ(t.InsertWithExpression(","), Status::kOk);
  EXPECT_EQ(t.used_rows(), 3);
  EXPECT_EQ(t.InsertWithExpression("1,X=1"), Status::kBadExpression);
  EXPECT_EQ(t.used_rows(), 3);

  (void)SetLineTableEvaluator({FakeCondition, FakeStatements});
  struct Case {
    const char* text;
    int n;
    uint16_t status;
    int used_after;
    const char* ran;
  } cases[] = {
      {"0,X=1", +1, 0, 3, ""},              // false condition: nothing
      {"ERR,X=1", +1, 140, 3, ""},          // failing condition: its status
      {"1,X=1,Y=2", +1, 0, 4, "X=1,Y=2;"},  // the rest is the expression
      {"1,WARN", -1, 0, 3, "WARN;"},        // warnings are not returned
      {",FAIL", -1, 147, 2, "FAIL;"},       // errors are, after the delete
  };
  for (const Case& c : cases) {
    g_ran.clear();
    Status s = c.n > 0 ? t.InsertWithExpression(c.text) : t.DeleteWithExpression(c.text);
    EXPECT_EQ(s, c.status) << c.text;
    EXPECT_EQ(t.used_rows(), c.used_after) << c.text;
    EXPECT_EQ(g_ran, c.ran) << c.text;
  }
  // A refused move runs no expression.
  t.SetCurrentRow(0);
  g_ran.clear();
  EXPECT_EQ(t.InsertWithExpression("1,X=1"), Status::kBadInputData);
  EXPECT_EQ(g_ran, "");
}

TEST_F(LineTableTest, PositionText) {
  EXPECT_EQ((LinePositionText(3, 12, 10)).str(), " 3 / 12");
  EXPECT_EQ((LinePositionText(3, 12, 7)).str(), " 3 / 12");
  EXPECT_TRUE(LinePositionText(3, 12, 6).empty());
}

}  // namespace
}  // namespace tessaly
