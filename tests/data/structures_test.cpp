#include "data/structures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "expr/evaluator.h"
#include "expr/fields.h"
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

class StructuresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    StructClearAll();
    depth_ = Area().Mark();
  }
  void TearDown() override {
    StructClearAll();
    (void)SetStructureEventHandler(nullptr);
    Area().Release(depth_);
  }
  // A customers file: CODE 6 A, NAME 30 A, BALANCE 10 2.
  static int DefineCustomers() {
    EXPECT_EQ(StructDefineFile(10, "CUSTOMERS", "DATA"), Status::kOk);
    EXPECT_EQ(StructDefineField("CODE", 6, 'A'), Status::kOk);
    EXPECT_EQ(StructDefineField("NAME", 30, 'A'), Status::kOk);
    EXPECT_EQ(StructDefineField("BALANCE", 10, '2'), Status::kOk);
    return FileCount();
  }
  int depth_ = 0;
};

TEST_F(StructuresTest, FieldsLieOneAfterAnother) {
  int f = DefineCustomers();
  EXPECT_EQ(FileName(f), Slice("customers"));  // lower-cased
  EXPECT_EQ(FileFolder(f), Slice("DATA"));
  EXPECT_EQ(FileAttribute(f), 10);
  EXPECT_EQ(RecordLength(f), 46);
  FieldDesc d;
  ASSERT_EQ(FieldInfo(f, 3, &d), Status::kOk);
  EXPECT_EQ(d.offset, 36);
  EXPECT_EQ(d.width, 10);
  EXPECT_EQ(d.type, '2');
  EXPECT_EQ(d.name, Slice("BALANCE"));
  EXPECT_EQ(FieldByName(f, "NAME"), 2);
  EXPECT_EQ(FieldByName(f, "name"), -1);  // names compare exactly
  EXPECT_EQ(FieldInfo(f, 4, &d), Status::kDataOutBound);
  EXPECT_EQ(GetDetail(), Slice("(File:1, Field:4)"));

  // The global field index counts the fields of the files before.
  ASSERT_EQ(StructDefineFile(0, "OTHER", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("X", 1, 'A'), Status::kOk);
  ASSERT_EQ(FieldInfo(2, 1, &d), Status::kOk);
  EXPECT_EQ(d.global, 4);
}

TEST_F(StructuresTest, FileNamesKeepTheirCaseWithAuxStatBit8) {
  SetWord(kAuxStat, 8);
  ASSERT_EQ(StructDefineFile(0, "Customers", ""), Status::kOk);
  EXPECT_EQ(FileName(1), Slice("Customers"));
  EXPECT_EQ(FileByName("Customers"), 1);
  EXPECT_EQ(FileByName("customers"), 0);
  SetWord(kAuxStat, 0);
  EXPECT_EQ(FileByName("CUSTOMERS"), 0);
}

TEST_F(StructuresTest, LimitsOfFilesFieldsAndMarks) {
  EXPECT_EQ(StructDefineField("X", 1, 'A'), Status::kFileOutBound);  // no file yet
  for (int i = 1; i <= kMaxFiles; ++i) {
    ASSERT_EQ(StructDefineFile(0, Slice::Of("F" + std::to_string(i)), ""), Status::kOk);
  }
  EXPECT_EQ(StructDefineFile(0, "F30", ""), Status::kFileOutBound);
  EXPECT_EQ(StructDefineField("X", 0, 'A'), Status::kBadInputData);
  EXPECT_EQ(StructDefineField("X", 5, 'Q'), Status::kBadInputData);
  EXPECT_EQ(StructAddRelation(30, "1R1K1=X"), Status::kBadFileNumber);

  for (int i = 0; i < kMaxStructureMarks; ++i) ASSERT_EQ(StructPushMark(), Status::kOk);
  EXPECT_EQ(StructPushMark(), Status::kDataOutBound);
  EXPECT_EQ(StructMarkCount(), kMaxStructureMarks);
}

TEST_F(StructuresTest, KeySegmentTexts) {
  struct Case {
    const char* text;
    int count;
    std::vector<std::pair<int, int>> segments;
  };
  const Case cases[] = {
      {"31<00010100011005>", 2, {{0, 10}, {10, 5}}},
      {"<0001006>", 1, {{0, 6}}},
      {"<0001006)", 1, {{0, 6}}},  // any last character closes the list
      {"<00010010002001000300100040010005001>", 5, {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}},
      {"<000100100020010003001000400100050010006001>", -1, {}},  // six groups
      {"<0001006", -1, {}},   // the last character is eaten as the closer
      {"0001006>", -1, {}},   // no '<'
      {"<00A1006>", -1, {}},  // letters where digits belong
      {"<0000006>", -1, {}},  // offsets are 1-based
      {"<0001000>", -1, {}},  // empty segment
      {"<>", -1, {}},
      {"<", -1, {}},
  };
  for (const Case& c : cases) {
    KeySegment segs[kMaxKeySegments];
    int n = ParseKeySegments(c.text, segs);
    EXPECT_EQ(n, c.count) << c.text;
    for (int i = 0; i < n && i < static_cast<int>(c.segments.size()); ++i) {
      EXPECT_EQ(segs[i].offset, c.segments[i].first) << c.text;
      EXPECT_EQ(segs[i].length, c.segments[i].second) << c.text;
    }
  }
}

TEST_F(StructuresTest, KeysMapToTheFieldsHoldingTheirEnds) {
  int f = DefineCustomers();
  ASSERT_EQ(StructDefineKey(f, "<00070300001006>"), Status::kOk);
  KeyLayout k;
  ASSERT_EQ(KeySegments(f, 1, &k), Status::kOk);
  EXPECT_EQ(k.count, 2);
  EXPECT_EQ(k.fields[0], 2);  // NAME
  EXPECT_EQ(k.fields[1], 1);  // CODE
  EXPECT_EQ(k.length, 36);
  // A segment whose end lies inside a field maps to that field.
  ASSERT_EQ(StructDefineKey(f, "<0001010>"), Status::kOk);
  ASSERT_EQ(KeySegments(f, 2, &k), Status::kOk);
  EXPECT_EQ(k.fields[0], 2);
  // Beyond the last field.
  ASSERT_EQ(StructDefineKey(f, "<0040010>"), Status::kOk);
  EXPECT_EQ(KeySegments(f, 3, &k), Status::kInternalError);
  EXPECT_EQ(KeySegments(f, 4, &k), Status::kDataOutBound);
  EXPECT_EQ(StructDefineKey(2, "<0001006>"), Status::kBadFileNumber);
  EXPECT_EQ(StructDefineKey(f, "<0001x06>"), Status::kBadInputData);
}

TEST_F(StructuresTest, DefaultKeysGoToKeylessFilesBeforeTheKeyedOne) {
  // 1 keyed, 2 with N_LINE, 3 without, 4 keyed: a key for 4 gives 2 and 3
  // their default keys; a later key for 1 gives nobody anything.
  DefineCustomers();
  ASSERT_EQ(StructDefineKey(1, "<0001006>"), Status::kOk);
  ASSERT_EQ(StructDefineFile(0, "LINES", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("DOC", 8, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineField("N_LINE", 4, 'N'), Status::kOk);
  ASSERT_EQ(StructDefineField("ITEM", 6, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineFile(0, "PLAIN", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("A", 3, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineField("B", 3, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineFile(0, "LAST", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("Z", 2, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineKey(4, "<0001002>"), Status::kOk);

  KeyLayout k;
  ASSERT_EQ(KeyCount(2), 1);
  ASSERT_EQ(KeySegments(2, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].offset, 0);
  EXPECT_EQ(k.segments[0].length, 12);  // up to the end of N_LINE
  ASSERT_EQ(KeyCount(3), 1);
  ASSERT_EQ(KeySegments(3, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].length, 3);  // field 1
  EXPECT_TRUE(FileHasLineNumber(2));
  EXPECT_FALSE(FileHasLineNumber(3));

  ASSERT_EQ(StructDefineKey(1, "<0007030>"), Status::kOk);
  EXPECT_EQ(KeyCount(1), 2);
  EXPECT_EQ(KeyCount(2), 1);
  EXPECT_EQ(KeyCount(3), 1);
}

TEST_F(StructuresTest, FileStructDefinesAndRestoreRemovesOnlyTheNewest) {
  SetWord(kCurFil, 0);
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 5, "C:\\APP,D:\\OTHER"), Status::kOk);
  ASSERT_EQ(FileStructDefine("TMPA", "CODE;6;A,NAME;30;A", "<0001006>"), Status::kOk);
  EXPECT_EQ(FileCount(), 1);
  EXPECT_EQ(Word(kCurFil), 1);
  EXPECT_EQ(RecordLength(1), 36);
  EXPECT_EQ(FileFolder(1), Slice("C:\\APP"));
  FieldDesc d;
  ASSERT_EQ(FieldInfo(1, 2, &d), Status::kOk);
  EXPECT_EQ(d.offset, 6);
  EXPECT_EQ(KeyCount(1), 1);

  ASSERT_EQ(FileStructDefine("TMPB", "X;4;Number,Y;2;L", ""), Status::kOk);
  EXPECT_EQ(Word(kCurFil), 2);
  ASSERT_EQ(FieldInfo(2, 1, &d), Status::kOk);
  EXPECT_EQ(d.type, 'N');     // the first character of the third part
  EXPECT_EQ(KeyCount(2), 1);  // no keys given: the default key

  FileStructRestore();
  EXPECT_EQ(FileCount(), 1);
  EXPECT_EQ(Word(kCurFil), 1);  // current at the second mark
  EXPECT_EQ(FileName(1), Slice("tmpa"));
  FileStructRestore();
  EXPECT_EQ(FileCount(), 0);
  EXPECT_EQ(Word(kCurFil), 0);

  // With no mark on the stack every structure goes.
  DefineCustomers();
  FileStructRestore();
  EXPECT_EQ(FileCount(), 0);
}

TEST_F(StructuresTest, FailedFileStructLeavesNothingBehind) {
  DefineCustomers();
  SetWord(kCurFil, 1);
  const char* bad_fields[] = {"CODE;x;A", "CODE;6", "CODE;6;Q", ""};
  for (const char* fields : bad_fields) {
    EXPECT_NE(FileStructDefine("TMP", fields, ""), Status::kOk) << fields;
    EXPECT_EQ(FileCount(), 1) << fields;
    EXPECT_EQ(StructMarkCount(), 0) << fields;
    EXPECT_EQ(Word(kCurFil), 1) << fields;
  }
  EXPECT_EQ(FileStructDefine("TMP", "CODE;6;A", "<0005006>"), Status::kInternalError);
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(StructuresTest, RestoreTakesBackFieldsAndKeysOfOlderFiles) {
  DefineCustomers();
  ASSERT_EQ(StructPushMark(), Status::kOk);
  ASSERT_EQ(StructDefineField("EXTRA", 4, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineKey(1, "<0001006>"), Status::kOk);
  EXPECT_EQ(RecordLength(1), 50);
  StructRestore();
  EXPECT_EQ(RecordLength(1), 46);
  EXPECT_EQ(FieldCount(1), 3);
  EXPECT_EQ(KeyCount(1), 0);
  EXPECT_EQ(FileRecordBuffers(1).length, 46);
}

TEST_F(StructuresTest, FieldReferences) {
  DefineCustomers();
  ASSERT_EQ(StructDefineFile(0, "LINES", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("DOC", 8, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineField("N_LINE", 4, 'N'), Status::kOk);
  SetWord(kCurFil, 2);
  struct Case {
    const char* ref;
    uint16_t status;
    int file;
    int field;
    const char* detail;
  };
  const Case cases[] = {
      {"N_LINE{}", 0, 2, 2, ""},
      {"NAME{CUSTOMERS}", 0, 1, 2, ""},
      {"NAME{customers}", 0, 1, 2, ""},
      {" NAME{ 1 } ", 0, 1, 2, ""},
      {"3{1}", 0, 1, 3, ""},
      {"DOC{LINES}", 0, 2, 1, ""},
      {"NAME{}", Status::kBadInputData, 0, 0, "Field:NAME{}"},
      {"BOGUS{1}", Status::kBadInputData, 0, 0, "Field:BOGUS{1}"},
      {"NAME{NOFILE}", Status::kBadInputData, 0, 0, "Field:NAME{NOFILE}"},
      {"NAME{7}", Status::kFileOutBound, 0, 0, "Field:NAME{7}"},
      {"NAME{0}", Status::kFileOutBound, 0, 0, "Field:NAME{0}"},
      {"9{1}", Status::kDataOutBound, 0, 0, "(File:1, Field:9)"},
      {"NAME", Status::kBadInputData, 0, 0, "Field:NAME"},
      {"NAME{1", Status::kBadInputData, 0, 0, "Field:NAME{1"},
      {"{1}", Status::kBadInputData, 0, 0, "Field:{1}"},
      {"NAME{#}", Status::kBadInputData, 0, 0, "Field:NAME{#}"},
      {"NAME{{1}}", Status::kBadInputData, 0, 0, "Field:NAME{{1}}"},
  };
  for (const Case& c : cases) {
    ClearDetail();
    FieldDesc d;
    Status st = FieldReference(c.ref, &d);
    EXPECT_EQ(st.code(), c.status) << c.ref;
    if (st.ok()) {
      EXPECT_EQ(d.file, c.file) << c.ref;
      EXPECT_EQ(d.number, c.field) << c.ref;
    } else {
      EXPECT_EQ(GetDetail(), Slice(c.detail)) << c.ref;
    }
  }
  // The current file undefined.
  SetWord(kCurFil, 0);
  FieldDesc d;
  EXPECT_EQ(FieldReference("DOC{}", &d), Status::kFileOutBound);
}

TEST_F(StructuresTest, RelationKeysAreMatchedFromTheItemStart) {
  DefineCustomers();
  ASSERT_EQ(StructAddRelation(1, "12R1K3=NAME{}"), Status::kOk);
  ASSERT_EQ(StructAddRelation(1, "2R1K2=CODE{}+'X'"), Status::kOk);
  ASSERT_EQ(StructAddRelation(1, "2R2K1="), Status::kOk);
  EXPECT_EQ(FileRelations(1), Slice(":12R1K3=NAME{}:2R1K2=CODE{}+'X':2R2K1="));
  int key = 0;
  Slice expr;
  ASSERT_EQ(RelationKey(1, 2, 1, &key, &expr), Status::kOk);
  EXPECT_EQ(key, 2);
  EXPECT_EQ(expr, Slice("CODE{}+'X'"));
  ASSERT_EQ(RelationKey(1, 12, 1, &key, &expr), Status::kOk);
  EXPECT_EQ(key, 3);
  EXPECT_EQ(RelationKey(1, 2, 2, &key, &expr), Status::kBadInputData);  // no expression
  EXPECT_EQ(RelationKey(1, 5, 1, &key, &expr), Status::kBadInputData);
  EXPECT_EQ(RelationKey(4, 2, 1, &key, &expr), Status::kBadFileNumber);
}

TEST_F(StructuresTest, FieldsStoreAndFetchThroughBufferOne) {
  int f = DefineCustomers();
  RecordBuffers b = FileRecordBuffers(f);
  ASSERT_NE(b.current, nullptr);
  EXPECT_EQ(std::string(b.current, b.length), std::string(46, ' '));

  ASSERT_EQ(FieldStore(f, 1, "AB1"), Status::kOk);
  ASSERT_EQ(FieldStore(f, 3, "12.5"), Status::kOk);
  EXPECT_EQ(FieldFetch(f, 1), Slice("AB1   "));
  EXPECT_EQ(FieldFetch(f, 3), Slice("     12.50"));
  EXPECT_EQ(std::string(b.saved, b.length), std::string(46, ' '));  // buffer 2 untouched

  // A whole number too wide is refused, never cut; the field keeps its value.
  ASSERT_EQ(StructDefineField("COUNT", 3, 'N'), Status::kOk);
  ASSERT_EQ(FieldStore(f, 4, "12"), Status::kOk);
  EXPECT_EQ(FieldStore(f, 4, "1234"), Status::kDataOutBound);
  EXPECT_EQ(GetDetail(), Slice("(File:1, Field:4)"));
  EXPECT_EQ(FieldFetch(f, 4), Slice(" 12"));
  EXPECT_EQ(FieldStore(f, 5, "x"), Status::kBadFileNumber);
  EXPECT_EQ(FieldFetch(f, 5).status(), Status::kDataOutBound);

  // Adding a field keeps what the buffers hold.
  ASSERT_EQ(StructDefineField("MORE", 2, 'A'), Status::kOk);
  EXPECT_EQ(FieldFetch(f, 1), Slice("AB1   "));
  ClearRecordBuffers(f);
  EXPECT_EQ(FieldFetch(f, 1), Slice("      "));
}

TEST_F(StructuresTest, SixDigitDatesKeepTheirCentury) {
  ASSERT_EQ(StructDefineFile(0, "DATES", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("D", 6, 'F'), Status::kOk);
  SetWord(kCompat, 4);
  struct Case {
    const char* value;
    const char* stored;
    const char* fetched;
  };
  const Case cases[] = {
      {"20170305", "B7 3 5", "20170305"},
      {"19991231", "991231", "19991231"},
      {"20000101", "A0 1 1", "20000101"},
      {"", "      ", "        "},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(FieldStore(1, 1, c.value), Status::kOk) << c.value;
    EXPECT_EQ(std::string(FileRecordBuffers(1).current, 6), c.stored) << c.value;
    EXPECT_EQ(FieldFetch(1, 1), Slice(c.fetched)) << c.value;
  }
  // A century the six digits cannot tell.
  EXPECT_EQ(FieldStore(1, 1, "18991231"), Status::kDataOutBound);
  // Without the compatibility bit the field holds YYMMDD as it is.
  SetWord(kCompat, 0);
  ASSERT_EQ(FieldStore(1, 1, "20170305"), Status::kOk);
  EXPECT_EQ(FieldFetch(1, 1), Slice("170305"));
}

TEST_F(StructuresTest, EncodedNumbersRoundTrip) {
  ASSERT_EQ(StructDefineFile(0, "NUMS", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("AMOUNT", 6, '2'), Status::kOk);
  ASSERT_EQ(StructDefineField("COUNT", 4, 'N'), Status::kOk);
  struct Case {
    int field;
    char type;
    uint16_t width;
    const char* value;
    const char* fetched;
  };
  const Case cases[] = {
      {1, '2', 6, "123456.78", "123456.78"},
      {1, '2', 6, "-9999.5", "-9999.50"},
      {1, '2', 6, "0.01", "  0.01"},
      {2, 'N', 4, "45000", "45000"},
      {2, 'N', 4, "-1", "  -1"},
  };
  for (const Case& c : cases) {
    Slice encoded = EncodeNumberField(c.type, c.value, c.width);
    ASSERT_TRUE(encoded.ok()) << c.value;
    ASSERT_EQ(encoded.size(), c.width) << c.value;
    EXPECT_EQ(encoded[0], 'D');
    FieldDesc d;
    ASSERT_EQ(FieldInfo(1, c.field, &d), Status::kOk);
    std::memcpy(FileRecordBuffers(1).current + d.offset, encoded.data(), c.width);
    EXPECT_EQ(FieldFetch(1, c.field), Slice(c.fetched)) << c.value;
  }
  EXPECT_EQ(EncodeNumberField('N', "99999999", 4).status(), Status::kDataOutBound);
  // Text that is no valid encoding comes back as it is.
  EXPECT_EQ(DecodeNumberField('N', "D$1 ", 4), Slice("D$1 "));
  EXPECT_EQ(DecodeNumberField('N', "D   ", 4), Slice("D   "));
  EXPECT_EQ(DecodeNumberField('N', "DZZZZZZZZZZZZZZZZZ", 18), Slice("DZZZZZZZZZZZZZZZZZ"));
}

TEST_F(StructuresTest, ExpressionsReadAndWriteFields) {
  ResetVariables();
  UseStructuresForExpressions();
  int f = DefineCustomers();
  ASSERT_EQ(StructDefineFile(0, "LINES", ""), Status::kOk);
  ASSERT_EQ(StructDefineField("N_LINE", 4, 'N'), Status::kOk);
  ASSERT_EQ(StructDefineField("PAID", 1, 'L'), Status::kOk);
  SetWord(kCurFil, 2);
  ASSERT_EQ(FieldStore(f, 3, "12.5"), Status::kOk);
  ASSERT_EQ(FieldStore(2, 1, "3"), Status::kOk);
  ASSERT_EQ(FieldStore(2, 2, "1"), Status::kOk);
  EXPECT_EQ(EvaluateToText("BALANCE{CUSTOMERS}*2"), Slice("25"));
  EXPECT_EQ(EvaluateToText("1+(N_LINE{}>0)"), Slice("2"));
  EXPECT_EQ(EvaluateToText("PAID{}+1"), Slice("2"));
  EXPECT_FALSE(Evaluate("CODE{1}='AB'").failed());
  EXPECT_EQ(FieldFetch(f, 1), Slice("AB    "));
  EXPECT_EQ(EvaluateToText("CODE{1}+'!'"), Slice("AB    !"));
  EXPECT_EQ(Evaluate("NOPE{1}"), Status::kBadInputData);
  EXPECT_NE(GetDetail().str().find("Field:NOPE{1}"), std::string::npos);
  SetRecordFieldAccess(nullptr);
}

std::vector<std::pair<int, StructureEvent>> g_events;
void RecordEvent(int file, StructureEvent event) { g_events.emplace_back(file, event); }

TEST_F(StructuresTest, TheEngineHearsOfDefinedAndRemovedFiles) {
  g_events.clear();
  (void)SetStructureEventHandler(RecordEvent);
  ASSERT_EQ(StructPushMark(), Status::kOk);
  DefineCustomers();
  ASSERT_EQ(StructDefineFile(0, "B", ""), Status::kOk);
  StructRestore();
  using E = StructureEvent;
  std::vector<std::pair<int, StructureEvent>> want = {
      {1, E::kFileDefined}, {2, E::kFileDefined}, {2, E::kFileRemoving}, {1, E::kFileRemoving}};
  EXPECT_EQ(g_events, want);
}

}  // namespace
}  // namespace tessaly
