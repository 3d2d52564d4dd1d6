#include "data/documents.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/parameters.h"
#include "recops_fixture.h"

namespace tessaly {
namespace {

using Strings = std::vector<std::string>;

// Stock follows the quantities of the lines, and a document counter the
// headers, through the relational updates of both files.
class StockUpdates : public RelationalUpdateSource {
 public:
  Slice Select(int file, Slice) override {
    if (file == kInvLines) return Area().Push(Slice("STOCK#=STOCK#+_SGN*QTY{3}"));
    if (file == kInvoices) return Area().Push(Slice("DOCS=DOCS+_SGN"));
    return Area().Push(Slice());
  }
};

class DocumentsTest : public RecordFixture {
 protected:
  void SetUp() override {
    RecordFixture::SetUp();
    ASSERT_EQ(OpenSet("CUSTOMERS;0,INVOICES;0,INVLINES"), Status::kOk);
    (void)SetRelationalUpdateSource(&updates_);
    table_ = MakeTable(3, 20);
    doc_ = Spec(table_.get());
  }
  // Columns ITEM, QTY, PRICE, and a fourth one computed on reading.
  static std::unique_ptr<LineTable> MakeTable(int columns, int rows) {
    auto t = std::make_unique<LineTable>(columns, rows);
    const uint16_t widths[] = {6, 6, 8, 10};
    for (int c = 0; c < columns; ++c) EXPECT_EQ(t->AddColumn(widths[c], 0), Status::kOk);
    return t;
  }
  static DocumentSpec Spec(LineTable* table) {
    DocumentSpec d;
    d.header_file = kInvoices;
    d.line_file = kInvLines;
    d.lines = table;
    d.column_fields = {0, 3, 4, 5, 0};
    return d;
  }
  static void Params(const char* set) {
    while (ParameterSetDepth() > 0) ASSERT_EQ(ParameterSetPop(), Status::kOk);
    ASSERT_EQ(ParameterSetPush(set), Status::kOk);
  }
  // Seven lines: I1..I7, quantity n, price n.50.
  void FillSeven() {
    for (int n = 1; n <= 7; ++n) {
      ASSERT_EQ(table_->SetCell(n, 1, Slice::Of("I" + std::to_string(n))), Status::kOk);
      ASSERT_EQ(table_->SetCell(n, 2, Slice::Of(std::to_string(n))), Status::kOk);
      ASSERT_EQ(table_->SetCell(n, 3, Slice::Of(std::to_string(n) + ".50")), Status::kOk);
    }
  }
  void Header(const char* doc, const char* cust) {
    ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
    Set(kInvoices, "DOC", doc);
    Set(kInvoices, "CUST", cust);
  }
  static std::string Rows(const LineTable& t, int column) {
    std::string s;
    for (int r = 1; r <= t.used_rows(); ++r) {
      std::string cell = t.Cell(r, column).str();
      cell.erase(cell.find_last_not_of(' ') + 1);
      cell.erase(0, cell.find_first_not_of(' '));
      s += (r > 1 ? "," : "") + cell;
    }
    return s;
  }

  StockUpdates updates_;
  std::unique_ptr<LineTable> table_;
  DocumentSpec doc_;
};

TEST_F(DocumentsTest, LineKeysEndInTheLineNumber) {
  ASSERT_EQ(DataFileMove(kInvLines, kMoveClear), kResultCleared);
  Set(kInvLines, "DOC", "F0001");
  SetWord(kCurFil, kInvLines);
  struct Case {
    int line;
    const char* key;
  } cases[] = {{7, "F0001     7"}, {123, "F0001   123"}, {0, "F0001      "}, {-1, "F0001   "}};
  for (const Case& c : cases) {
    AreaMark mark;
    EXPECT_EQ(DocumentLineKey(c.line).str(), c.key) << c.line;
  }
  AreaMark mark;
  EXPECT_EQ(DocumentLineKey(1234).status(), Status::kDataOutBound);  // wider than N_LINE
  EXPECT_EQ(DocumentLineKeyOf(kCustomers, 1).status(), Status::kBadInputData);
  Header("F0002", "C1");
  EXPECT_EQ(DocumentKey(kInvoices).str(), "F0002   ");
  EXPECT_EQ(DocumentKey(kInvLines).str(), "F0001   ");
}

TEST_F(DocumentsTest, WrittenReadChangedSavedAndDeleted) {
  Params(
      "NUMCAB$=1:WRITELINS$='LINES=LINES+1':READLINS$='B=B+1,A=A+1':SAVED$='SAVED=SAVED+1'"
      ":LNASSIGN$=',,,QTY{3}*PRICE{3}'");
  FillSeven();
  Header("F0001", "C1");
  ASSERT_EQ(DocumentSave(doc_, "F0001", false), Status::kOk);
  EXPECT_EQ(Walk(kInvoices, "DOC"), (Strings{"F0001"}));
  EXPECT_EQ(Walk(kInvLines, "N_LINE"), (Strings{"1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(Walk(kInvLines, "ITEM"), (Strings{"I1", "I2", "I3", "I4", "I5", "I6", "I7"}));
  EXPECT_EQ(Walk(kInvLines, "DOC"), Strings(7, "F0001"));
  EXPECT_EQ(Eval("LINES"), "7");
  EXPECT_EQ(Eval("STOCK#"), "28");
  EXPECT_EQ(Eval("DOCS"), "1");
  EXPECT_EQ(Eval("SAVED"), "1");
  EXPECT_EQ(table_->changed(), 0);

  // Read back into a fresh table with a computed fourth column.
  auto read = MakeTable(4, 20);
  DocumentSpec doc2 = Spec(read.get());
  ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
  ASSERT_EQ(DocumentHeadersRead(kInvoices, 1, "F0001"), kResultFound);
  EXPECT_EQ(Get(kInvoices, "CUST"), "C1    ");
  EXPECT_FALSE(RecordChanged(kInvoices));
  ASSERT_EQ(DocumentLinesRead(doc2, "F0001"), Status::kOk);
  EXPECT_EQ(read->used_rows(), 7);
  EXPECT_EQ(read->current_row(), 8);  // the first free line
  EXPECT_EQ(Rows(*read, 1), "I1,I2,I3,I4,I5,I6,I7");
  EXPECT_EQ(Rows(*read, 2), "1.00,2.00,3.00,4.00,5.00,6.00,7.00");
  EXPECT_EQ(Rows(*read, 4), "1.5,5,10.5,18,27.5,39,52.5");
  EXPECT_EQ(Eval("B"), "7");
  EXPECT_EQ(Eval("A"), "7");
  EXPECT_EQ(RecordListsInUse(), 0);

  // Change line 3, drop line 5, and save over the stored document.
  ASSERT_EQ(read->SetCell(3, 2, "10"), Status::kOk);
  read->SetCurrentRow(5);
  ASSERT_EQ(read->DeleteRow(), Status::kOk);
  ASSERT_EQ(DocumentSave(doc2, "F0001", true), Status::kOk);
  EXPECT_EQ(Walk(kInvoices, "DOC"), (Strings{"F0001"}));
  EXPECT_EQ(Walk(kInvLines, "N_LINE"), (Strings{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(Walk(kInvLines, "ITEM"), (Strings{"I1", "I2", "I3", "I4", "I6", "I7"}));
  EXPECT_EQ(Eval("STOCK#"), "30");  // 28 - 3 - 5 + 10: the old lines reverted once
  EXPECT_EQ(Eval("DOCS"), "1");
  EXPECT_EQ(Eval("SAVED"), "2");

  // The same key as a new document would mix two documents: refused.
  EXPECT_EQ(DocumentSave(doc_, "F0001", false), kResultKeyExists);
  EXPECT_EQ(DataFileRecordCount(kInvLines), 6);
  EXPECT_EQ(Eval("STOCK#"), "30");

  ASSERT_EQ(DocumentDelete(doc_, "F0001"), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kInvoices), 0);
  EXPECT_EQ(DataFileRecordCount(kInvLines), 0);
  EXPECT_EQ(Eval("STOCK#"), "0");
  EXPECT_EQ(Eval("DOCS"), "0");
  EXPECT_EQ(DocumentHeadersRead(kInvoices, 1, "F0001"), kResultEnd);
}

TEST_F(DocumentsTest, LineInsertAndDeleteExpressionsRunThroughTheEvaluator) {
  FillSeven();
  table_->SetCurrentRow(2);
  ASSERT_EQ(table_->InsertWithExpression("_LLST<20,INSERTED=_LNUM"), Status::kOk);
  EXPECT_EQ(Eval("INSERTED"), "2");
  EXPECT_EQ(Rows(*table_, 1), "I1,,I2,I3,I4,I5,I6,I7");
  EXPECT_EQ(table_->InsertWithExpression("_LLST<5,INSERTED=0"), Status::kOk);
  EXPECT_EQ(table_->used_rows(), 8);  // the condition did not hold
  EXPECT_EQ(table_->DeleteWithExpression(",X='A'*2"), Status::kTypeMismatch);
  EXPECT_EQ(Rows(*table_, 1), "I1,I2,I3,I4,I5,I6,I7");
}

TEST_F(DocumentsTest, ReadingStopsWhenTheTableIsFull) {
  Params("NUMCAB$=1");
  FillSeven();
  Header("F0001", "C1");
  ASSERT_EQ(DocumentSave(doc_, "F0001", false), Status::kOk);
  auto small = MakeTable(3, 3);
  DocumentSpec doc2 = Spec(small.get());
  ASSERT_EQ(DocumentLinesRead(doc2, "F0001"), Status::kOk);
  EXPECT_EQ(Rows(*small, 1), "I1,I2,I3");
  EXPECT_EQ(small->current_row(), 3);
  // Importing on from a given line, into the room that is left.
  auto more = MakeTable(3, 20);
  DocumentSpec doc3 = Spec(more.get());
  ASSERT_EQ(DocumentLinesRead(doc3, "F0001", "F0001     5"), Status::kOk);
  EXPECT_EQ(Rows(*more, 1), "I5,I6,I7");
  // A document without lines reads none.
  ASSERT_EQ(DocumentLinesRead(doc3, "F0009"), Status::kOk);
  EXPECT_EQ(more->used_rows(), 3);
}

TEST_F(DocumentsTest, AShortKeyNeverReachesAnotherDocument) {
  Params("NUMCAB$=1");
  for (const char* key : {"A1", "A10"}) {
    table_->Clear();
    ASSERT_EQ(table_->SetCell(1, 1, Slice::Of(key)), Status::kOk);
    Header(key, "C1");
    ASSERT_EQ(DocumentSave(doc_, key, false), Status::kOk) << key;
  }
  ASSERT_EQ(DocumentDelete(doc_, "A1"), Status::kOk);
  EXPECT_EQ(Walk(kInvoices, "DOC"), (Strings{"A10"}));
  EXPECT_EQ(Walk(kInvLines, "DOC"), (Strings{"A10"}));

  EXPECT_EQ(DocumentSave(doc_, "", false), Status::kBadInputData);
  EXPECT_EQ(DocumentSave(doc_, "   ", false), Status::kBadInputData);
  EXPECT_EQ(DocumentSave(doc_, "TOOLONGKEY", false), Status::kBadInputData);
  EXPECT_EQ(DocumentLinesDelete(kInvLines, "", Slice()), Status::kBadInputData);
  DocumentSpec no_lines = doc_;
  no_lines.lines = nullptr;
  EXPECT_EQ(DocumentSave(no_lines, "A2", false), Status::kBadInputData);
  DocumentSpec wrong = doc_;
  wrong.line_file = kCustomers;
  EXPECT_EQ(DocumentLinesWrite(wrong, "A2", 1, 1), Status::kBadInputData);
  EXPECT_EQ(DataFileRecordCount(kInvoices), 1);
  EXPECT_EQ(DataFileRecordCount(kInvLines), 1);
  // Blanks past the key's width are no part of it.
  ASSERT_EQ(DocumentDelete(doc_, "A10         "), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kInvoices), 0);
  EXPECT_EQ(DataFileRecordCount(kInvLines), 0);
}

TEST_F(DocumentsTest, HeaderCountsAndConditions) {
  struct Case {
    const char* params;
    int64_t headers;
    const char* variable;
    const char* value;
  } cases[] = {
      // Nothing true: the last header is written all the same.
      {"NUMCAB$=3:WRITECAB1$='0':WRITECAB2$='0':WRITECAB3$='0'", 1, "_HNUM", "3"},
      // WRITECAB1$ and 3$ absent: the first expression (empty: true) decides.
      {"NUMCAB$=3:WRITECAB2$='0'", 2, "_HNUM", "3"},
      // Beyond NUMCAB$ while item 2 holds; item 3 after each header.
      {"NUMCAB$=1:WRITECABS$=',_HNUM<3,H=H+1,'", 3, "H", "3"},
      // Item 4 decides for every header.
      {"NUMCAB$=4:WRITECABS$=',,,_HNUM==2'", 1, "_HNUM", "4"},
      // WRITECAB0$ runs first, then stands as the condition.
      {"WRITECAB0$='W=W+1'", 1, "W", "2"},
  };
  for (const Case& c : cases) {
    Params(c.params);
    Header("F0001", "C1");
    int64_t before = DataFileRecordCount(kInvoices);
    Status s = DocumentHeadersWrite(doc_);
    EXPECT_FALSE(s.failed()) << c.params;
    EXPECT_EQ(DataFileRecordCount(kInvoices) - before, c.headers) << c.params;
    EXPECT_EQ(Eval(c.variable), c.value) << c.params;
  }
  // A definition that never stops is refused.
  Params("WRITECABS$=',1,,0'");
  EXPECT_EQ(DocumentHeadersWrite(doc_), Status::kLoopFailure);
}

TEST_F(DocumentsTest, HeadersReadThroughReadcabs) {
  for (const char* cust : {"C1", "C2", "C3"}) {
    Header("F1", cust);
    ASSERT_FALSE(RecordSave(kOpInsertRecord, kInvoices, Slice(), Slice()).failed());
  }
  Header("F2", "C9");
  ASSERT_FALSE(RecordSave(kOpInsertRecord, kInvoices, Slice(), Slice()).failed());

  Params("READCABS$='N=N+1,R=R+1'");
  ASSERT_EQ(DocumentHeadersRead(kInvoices, 1, "F1"), kResultFound);
  EXPECT_EQ(Eval("N"), "2");  // each header but the first
  EXPECT_EQ(Eval("R"), "1");
  EXPECT_EQ(Get(kInvoices, "CUST"), "C3    ");
  EXPECT_FALSE(RecordChanged(kInvoices));
  EXPECT_EQ(RecordListsInUse(), 0);
  EXPECT_EQ(DocumentHeadersRead(kInvoices, 1, "F3"), kResultEnd);
  EXPECT_EQ(Eval("R"), "2");  // item 2 also when there is no such document
  Params("READCABS$='N=N+1,CUST{2}*2'");
  EXPECT_EQ(DocumentHeadersRead(kInvoices, 1, "F2"), Status::kTypeMismatch);

  // Without READCABS$ the key is searched.
  Params("NUMCAB$=1");
  EXPECT_EQ(DocumentHeadersRead(kInvoices, 1, "F2"), kResultFound);
  EXPECT_EQ(Get(kInvoices, "CUST"), "C9    ");
  EXPECT_EQ(DocumentHeadersRead(kInvoices, 1, "F0"), kResultEnd);

  // Header and lines in one file: the header is the record with a blank
  // line number, and only it is listed.
  ASSERT_EQ(DataFileMove(kInvLines, kMoveClear), kResultCleared);
  Set(kInvLines, "DOC", "D1");
  Set(kInvLines, "ITEM", "HEAD");
  ASSERT_FALSE(RecordSave(kOpInsertRecord, kInvLines, Slice(), Slice()).failed());
  for (const char* n : {"1", "2"}) {
    Set(kInvLines, "N_LINE", n);
    Set(kInvLines, "ITEM", std::string("L") + n);
    ASSERT_FALSE(RecordSave(kOpInsertRecord, kInvLines, Slice(), Slice()).failed());
  }
  Params("READCABS$='M=M+1'");
  ASSERT_EQ(DataFileMove(kInvLines, kMoveClear), kResultCleared);
  ASSERT_EQ(DocumentHeadersRead(kInvLines, 1, "D1      "), kResultFound);
  EXPECT_EQ(Get(kInvLines, "ITEM"), "HEAD  ");
  EXPECT_EQ(Eval("M"), "0");
}

}  // namespace
}  // namespace tessaly
