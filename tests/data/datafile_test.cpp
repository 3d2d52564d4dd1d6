// The data file engine: searches, moves, inserts, rewrites, deletes, the disk
// formats byte for byte, damage, locks, scratch files, ranges and faults.
#include "data/datafile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/string_area.h"
#include "data/structures.h"
#include "platform/fault_env.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// Records of 16 bytes: key 1 is bytes 0-3, key 2 is bytes 4-7, then data.
constexpr uint16_t kLength = 16;

std::string Rec(const std::string& k1, const std::string& k2, const std::string& data = "") {
  std::string r = k1;
  r.resize(4, ' ');
  std::string b = k2;
  b.resize(4, ' ');
  r += b + data;
  r.resize(kLength, ' ');
  return r;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The index image the file layout gives for these lists.
std::string Image(const std::vector<int32_t>& free,
                  const std::vector<std::vector<int32_t>>& orders) {
  std::string out;
  auto put = [&](int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  put(static_cast<int32_t>(free.size()));
  put(static_cast<int32_t>(orders.empty() ? 0 : orders[0].size()));
  for (int32_t v : free) put(v);
  for (const auto& o : orders) {
    for (int32_t v : o) put(v);
  }
  return out;
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dft_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetDataFileCatalog(nullptr);
    BuiltinDataFileTable().Clear();
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
    SetWord(kCurFil, 0);
    Define(1, "cust");
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    BuiltinDataFileTable().Clear();
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
    fs::remove_all(dir_);
  }

  void Define(int file, const std::string& name, bool line_number = false) {
    DataFileLayout layout;
    layout.name = name;
    layout.folder = dir_.string();
    layout.record_length = kLength;
    layout.keys = {DataKeyDef{{{0, 4}}}, DataKeyDef{{{4, 4}}}};
    layout.has_line_number = line_number;
    ASSERT_EQ(BuiltinDataFileTable().Define(file, layout), Status::kOk);
  }

  DataRecordBuffers Buf(int file = 1) { return BuiltinDataFileTable().Buffers(file); }
  std::string Current(int file = 1) { return std::string(Buf(file).current, kLength); }
  std::string Saved(int file = 1) { return std::string(Buf(file).saved, kLength); }
  void SetCurrent(const std::string& r, int file = 1) {
    std::memcpy(Buf(file).current, r.data(), kLength);
  }
  Status Insert(const std::string& r, int file = 1) {
    SetCurrent(r, file);
    return DataFileInsert(file);
  }
  // The records in the order of `key`, walking with moves.
  std::vector<std::string> Walk(int key, int file = 1) {
    std::vector<std::string> out;
    EXPECT_EQ(DataFileSetKey(file, key), Status::kOk);
    for (Status s = DataFileMove(file, kMoveFirst); s == kResultFound;
         s = DataFileMove(file, kMoveNext)) {
      out.push_back(Current(file).substr(0, 8));
    }
    return out;
  }
  fs::path Path(const std::string& name) { return dir_ / name; }

  fs::path dir_;
};

TEST_F(DataFileTest, NewFileCreatesEmptyRecordAndIndexFiles) {
  EXPECT_EQ(DataFileOpen(1, 0), kResultEnd);
  EXPECT_TRUE(fs::exists(Path("cust.DIR")));
  EXPECT_TRUE(fs::exists(Path("cust.NDX")));
  EXPECT_EQ(DataFileFind(1, 1, "A", 0), kResultEnd);
  EXPECT_EQ(DataFileMove(1, kMoveFirst), kResultEnd);
  EXPECT_EQ(DataFileMove(1, kMovePrevious | kMoveLoadNearest), kResultEnd);
  EXPECT_EQ(DataFileRecordCount(1), 0);
  EXPECT_EQ(DataFileClose(1), Status::kOk);
  // Nothing changed: the index is left as it was made.
  EXPECT_EQ(ReadFile(Path("cust.NDX")), "");
}

struct FindCase {
  const char* text;
  int flags;
  uint16_t result;
  const char* loaded;  // key 1 of the record in buffer 1 afterwards ("" blank)
};

TEST_F(DataFileTest, SearchComparesTheSearchTextsLength) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"AC", "ABD", "AA", "ABC"}) ASSERT_EQ(Insert(Rec(k, "x")), Status::kOk);
  const FindCase cases[] = {
      {"AB", 0, kResultFound, "ABC "},  // the first key starting with AB
      {"ABD", 0, kResultFound, "ABD "},
      {"ABZ", 0, kResultNext, ""},  // positioned on AC, not loaded
      {"ABZ", kFindNearest, kResultNext, "AC  "},
      {"0", kFindNearest, kResultNext, "AA  "},  // before every key
      {"", kFindNearest, kResultNext, "AA  "},   // empty reads as one blank
      {"B", 0, kResultEnd, ""},
      {"AC  and more", 0, kResultFound, "AC  "},  // cut to the key length
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(DataFileMove(1, kMoveClear), kResultCleared);
    EXPECT_EQ(DataFileFind(1, 1, c.text, c.flags), c.result);
    EXPECT_EQ(DataFileControl(1)->last_result, c.result);
    EXPECT_EQ(Current().substr(0, 4), std::string(c.loaded).empty() ? "    " : c.loaded);
  }
  // A not-found search that prepares a new record blanks both buffers and
  // stores the key.
  SetCurrent(Rec("ZZ", "zz", "old"));
  EXPECT_EQ(DataFileFind(1, 2, "zz", kFindPrepare), kResultEnd);
  EXPECT_EQ(Current(), Rec("", "zz"));
  EXPECT_EQ(Saved(), std::string(kLength, ' '));
  EXPECT_EQ(DataFileControl(1)->current_key, 2);
}

TEST_F(DataFileTest, EqualKeysKeepInsertionOrderAndReportRepeats) {
  Define(2, "lines", /*line_number=*/true);
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(DataFileOpen(2, 0), kResultEnd);
  for (int file : {1, 2}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(Insert(Rec("K", "2", "first"), file), Status::kOk);
    EXPECT_EQ(Insert(Rec("J", "1"), file), Status::kOk);
    // Without N_LINE the repeat is reported; the record is stored anyway.
    EXPECT_EQ(Insert(Rec("K", "0", "second"), file),
              file == 1 ? Status(kResultRepeated) : Status(Status::kOk));
    EXPECT_EQ(DataFileRecordCount(file), 3);
    EXPECT_EQ(Walk(1, file), (std::vector<std::string>{"J   1   ", "K   2   ", "K   0   "}));
    EXPECT_EQ(Walk(2, file), (std::vector<std::string>{"K   0   ", "J   1   ", "K   2   "}));
  }
}

TEST_F(DataFileTest, DeletedSlotIsReusedAndTheFileDoesNotGrow) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"A", "B", "C"}) ASSERT_EQ(Insert(Rec(k, k)), Status::kOk);
  ASSERT_EQ(DataFileFind(1, 1, "B", 0), kResultFound);
  ASSERT_EQ(DataFileDelete(1, kDeleteReposition), Status::kOk);
  EXPECT_EQ(DataFileControl(1)->last_result, kResultNext);  // on C, which followed
  EXPECT_EQ(DataFilePosition(1), 1);
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.DIR")).substr(kLength, 1), "\x1b");
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({1}, {{0, 2}, {0, 2}}));
  ASSERT_EQ(Insert(Rec("D", "D")), Status::kOk);
  EXPECT_EQ(DataFileLoadedRecord(1), 1);
  EXPECT_EQ(fs::file_size(Path("cust.DIR")), 3u * kLength);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({}, {{0, 2, 1}, {0, 2, 1}}));
}

TEST_F(DataFileTest, PreviousFromTheFirstRecordStaysThere) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"A", "B"}) ASSERT_EQ(Insert(Rec(k, k)), Status::kOk);
  ASSERT_EQ(DataFileMove(1, kMoveFirst), kResultFound);
  EXPECT_EQ(DataFileMove(1, kMovePrevious | kMoveLoadNearest), kResultNext);
  EXPECT_EQ(Current().substr(0, 1), "A");
  EXPECT_EQ(DataFileMove(1, kMovePrevious), kResultNext);
  EXPECT_EQ(Current(), std::string(kLength, ' '));
  EXPECT_EQ(DataFileMove(1, kMoveNext), kResultFound);
  EXPECT_EQ(Current().substr(0, 1), "B");
  EXPECT_EQ(DataFileMove(1, kMoveNext), kResultEnd);  // and the buffers are blank
  EXPECT_EQ(Current(), std::string(kLength, ' '));
  EXPECT_EQ(DataFileMove(1, kMovePrevious), kResultFound);
  EXPECT_EQ(Current().substr(0, 1), "A");
  EXPECT_EQ(DataFileMove(1, 0), kResultFound);  // stays and reads again
  EXPECT_EQ(DataFileMove(1, kMoveLast), kResultFound);
  EXPECT_EQ(Current().substr(0, 1), "B");
}

TEST_F(DataFileTest, RewriteMovesTheRecordOnlyInTheKeysThatChanged) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("B", "B")), Status::kOk);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  ASSERT_EQ(Insert(Rec("C", "C")), Status::kOk);
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({}, {{1, 0, 2}, {1, 0, 2}}));
  ASSERT_EQ(DataFileFind(1, 1, "A", 0), kResultFound);
  SetCurrent(Rec("A", "Z", "new"));
  ASSERT_EQ(DataFileUpdate(1), Status::kOk);
  EXPECT_EQ(DataFilePosition(1), 0);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({}, {{1, 0, 2}, {0, 2, 1}}));
  EXPECT_EQ(ReadFile(Path("cust.DIR")).substr(kLength, kLength), Rec("A", "Z", "new"));
}

TEST_F(DataFileTest, SaveWithoutALoadedRecordNeverOverwritesANeighbour) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  ASSERT_EQ(Insert(Rec("C", "C")), Status::kOk);
  // Not found: positioned on C, a new record prepared in the buffers.
  ASSERT_EQ(DataFileFind(1, 1, "B", kFindPrepare), kResultNext);
  SetCurrent(Rec("B", "B", "typed"));
  EXPECT_EQ(DataFileUpdate(1), Status::kOk);  // stored as a new record
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"A   A   ", "B   B   ", "C   C   "}));
  ASSERT_EQ(DataFileMove(1, kMoveClear), kResultCleared);
  EXPECT_EQ(DataFileDelete(1, 0), kResultEnd);  // nothing loaded, nothing deleted
  EXPECT_EQ(DataFileRecordCount(1), 3);
  SetCurrent("\x1b" + Rec("X", "X").substr(1));
  EXPECT_EQ(DataFileInsert(1), Status::kBadInputData);
}

TEST_F(DataFileTest, ReorganisingDropsDeletedRecordsAndKeepsEqualOnes) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("M", "2")), Status::kOk);      // 0
  ASSERT_EQ(Insert(Rec("Z", "9")), Status::kOk);      // 1: deleted below
  ASSERT_EQ(Insert(Rec("M", "1")), kResultRepeated);  // 2
  ASSERT_EQ(Insert(Rec("A", "1")), Status::kOk);      // 3
  ASSERT_EQ(DataFileFind(1, 1, "Z", 0), kResultFound);
  ASSERT_EQ(DataFileDelete(1, 0), Status::kOk);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  int64_t calls = 0, total = 0;
  ASSERT_EQ(DataFileReorganize(1,
                               [&](int64_t, int64_t t) {
                                 ++calls;
                                 total = t;
                               }),
            Status::kOk);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(total, 4);
  EXPECT_FALSE(DataFileIsOpen(1));
  EXPECT_FALSE(fs::exists(Path("cust.TXT")));
  EXPECT_FALSE(fs::exists(Path("cust.lock")));
  EXPECT_EQ(ReadFile(Path("cust.DIR")), Rec("M", "2") + Rec("M", "1") + Rec("A", "1"));
  // Equal keys in record order: M2 before M1 in key 1; 1 and 1 in key 2.
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({}, {{2, 0, 1}, {1, 2, 0}}));
}

struct NameCase {
  uint16_t compat;
  const char* name;
  const char* records;
  const char* index;
};

TEST_F(DataFileTest, CompatibilityBitsShapeTheFileNames) {
  const NameCase cases[] = {
      {0, "customers", "customers.DIR", "customers.NDX"},
      {8, "customers", "customer.DIR", "customer.NDX"},
      {2, "customers", "customers.DIR", "customers.TMP"},
      {10, "sub\\customers", "sub/customer.DIR", "sub/customer.TMP"},
  };
  fs::create_directories(Path("sub"));
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.compat);
    SetWord(kCompat, c.compat);
    Define(3, c.name);
    ASSERT_EQ(DataFileOpen(3, 0), kResultEnd);
    ASSERT_EQ(Insert(Rec("A", "A"), 3), Status::kOk);
    ASSERT_EQ(DataFileClose(3), Status::kOk);
    EXPECT_EQ(ReadFile(Path(c.records)), Rec("A", "A"));
    EXPECT_EQ(ReadFile(Path(c.index)), Image({}, {{0}, {0}}));
    fs::remove(Path(c.records));
    fs::remove(Path(c.index));
  }
}

struct DamageCase {
  const char* what;
  std::string index;
};

TEST_F(DataFileTest, DamagedIndexIsRefusedNamingTheFileAndReorganisationRebuildsIt) {
  const std::string records = Rec("B", "1") + Rec("A", "2") + Rec("C", "3");
  const DamageCase cases[] = {
      {"shorter than its header", std::string("\0\0\0", 3)},
      {"truncated", Image({}, {{1, 0, 2}, {0, 1, 2}}).substr(0, 20)},
      {"more records than the file", Image({}, {{1, 0, 2, 3}, {0, 1, 2, 3}})},
      {"record out of range", Image({}, {{1, 0, 7}, {0, 1, 7}})},
      {"negative record", Image({}, {{1, -1, 2}, {0, 1, 2}})},
      {"repeated record", Image({}, {{1, 1, 2}, {0, 1, 2}})},
      {"orders disagree", Image({}, {{1, 0}, {0, 2}})},
      {"free and live", Image({0}, {{1, 0}, {0, 1}})},
      {"garbage", std::string(37, '\x7f')},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(Path("cust.DIR"), records);
    WriteFile(Path("cust.NDX"), c.index);
    EXPECT_EQ(DataFileOpen(1, 0), Status::kDiskIo);
    EXPECT_FALSE(DataFileIsOpen(1));
    EXPECT_NE(GetDetail().view().find("cust.NDX"), std::string_view::npos);
    std::vector<std::string> problems;
    EXPECT_EQ(DataFileCheck(1, &problems), Status::kDiskIo);
    EXPECT_FALSE(problems.empty());
    ASSERT_EQ(DataFileReorganize(1), Status::kOk);
    ASSERT_EQ(DataFileOpen(1, 0), kResultFound);
    EXPECT_EQ(Walk(1), (std::vector<std::string>{"A   2   ", "B   1   ", "C   3   "}));
    ASSERT_EQ(DataFileClose(1), Status::kOk);
    problems.clear();
    EXPECT_EQ(DataFileCheck(1, &problems), Status::kOk);
    EXPECT_TRUE(problems.empty());
  }
  // An index lost beside records it listed hides nothing: refused too.
  fs::remove(Path("cust.NDX"));
  EXPECT_EQ(DataFileOpen(1, 0), Status::kDiskIo);
}

TEST_F(DataFileTest, CheckReportsRecordsTheIndexDoesNotKnow) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  // A record written after the last commit, and a live record out of order.
  WriteFile(Path("cust.DIR"), Rec("Z", "Z") + Rec("B", "B"));
  WriteFile(Path("cust.NDX"), Image({}, {{0}, {0}}));
  std::vector<std::string> problems;
  EXPECT_EQ(DataFileCheck(1, &problems), Status::kDiskIo);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("record 1"), std::string::npos);
  WriteFile(Path("cust.NDX"), Image({}, {{0, 1}, {1, 0}}));
  problems.clear();
  EXPECT_EQ(DataFileCheck(1, &problems), Status::kDiskIo);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("key 1"), std::string::npos);
}

TEST_F(DataFileTest, ExclusiveOpenHoldsTheLockFileAndTakesOverAStaleOne) {
  Define(2, "cust");  // the same disk file under a second number
  ASSERT_EQ(DataFileOpen(1, kDataExclusive), kResultEnd);
  EXPECT_EQ(ReadFile(Path("cust.lock")), " ");
  EXPECT_EQ(DataFileOpen(2, kDataExclusive), Status::kPermissionDenied);
  EXPECT_EQ(DataFileOpen(2, 0), Status::kPermissionDenied);  // an exclusive holder is alive
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_FALSE(fs::exists(Path("cust.lock")));
  // A shared open keeps exclusive ones out.
  ASSERT_EQ(DataFileOpen(2, 0), kResultEnd);
  EXPECT_EQ(DataFileOpen(1, kDataExclusive), Status::kPermissionDenied);
  EXPECT_FALSE(fs::exists(Path("cust.lock")));
  ASSERT_EQ(DataFileClose(2), Status::kOk);
  // A lock file whose holder died: nobody holds it, so it is taken over.
  WriteFile(Path("cust.lock"), " ");
  EXPECT_EQ(DataFileOpen(2, 0), kResultEnd);
  ASSERT_EQ(DataFileClose(2), Status::kOk);
  ASSERT_EQ(DataFileOpen(1, kDataExclusive), kResultEnd);
  EXPECT_EQ(ReadFile(Path("cust.lock")), " ");
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_FALSE(fs::exists(Path("cust.lock")));
}

TEST_F(DataFileTest, ScratchModeUsesFreshTemporaryFiles) {
  platform::FaultEnv env;
  platform::ScopedEnv use(&env);
  fs::create_directories(Path("temp"));
  env.SetVariable("TEMP", Path("temp").string());
  SetWord(kUpStat, 2);
  ASSERT_EQ(DataFileOpen(1, kDataExclusive), kResultEnd);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  EXPECT_EQ(DataFileFind(1, 1, "A", 0), kResultFound);
  EXPECT_FALSE(fs::exists(Path("cust.DIR")));
  EXPECT_FALSE(fs::exists(Path("cust.lock")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("temp")), fs::directory_iterator()), 2);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);  // a new pair each time
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_TRUE(fs::is_empty(Path("temp")));
}

TEST_F(DataFileTest, UpdateRangeRewritesEveryRecordOfThePrefix) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"AA1", "AB1", "AB2", "AB3", "AC1"}) {
    ASSERT_EQ(Insert(Rec(k, "x", "0")), Status::kOk);
  }
  ASSERT_EQ(DataFileFind(1, 1, "AC1", 0), kResultFound);
  int runs = 0;
  // Each run moves the record to the end of key 1 ("Z..."), which shifts the
  // records after it: none may be skipped.
  auto action = [&](int file) {
    ++runs;
    DataRecordBuffers b = BuiltinDataFileTable().Buffers(file);
    b.current[8] = static_cast<char>('0' + runs);
    b.current[0] = 'Z';
    return Status(Status::kOk);
  };
  ASSERT_EQ(DataFileUpdateRange(1, 1, "AB", 0, action), Status::kOk);
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(Current().substr(0, 3), "AC1");  // state put back
  EXPECT_EQ(DataFileControl(1)->current_key, 1);
  EXPECT_EQ(Walk(1),
            (std::vector<std::string>{"AA1 x   ", "AC1 x   ", "ZB1 x   ", "ZB2 x   ", "ZB3 x   "}));
  // Nothing with the prefix: created, once.
  SetWord(kRelRes, 0);
  ASSERT_EQ(DataFileUpdateRange(1, 2, "q", kRangeCreate, nullptr), Status::kOk);
  EXPECT_EQ(Word(kRelRes), 4);
  EXPECT_EQ(DataFileRecordCount(1), 6);
  EXPECT_EQ(DataFileFind(1, 2, "q", 0), kResultFound);
  // An action that fails stops the loop with its status.
  EXPECT_EQ(DataFileUpdateRange(1, 1, "Z", 0, [](int) { return Status(Status::kBadExpression); }),
            Status::kBadExpression);
}

TEST_F(DataFileTest, RangeEndLooksInTheScanDirection) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"A1", "B1", "B2", "C1"}) ASSERT_EQ(Insert(Rec(k, "x")), Status::kOk);
  ASSERT_EQ(DataFileFind(1, 1, "B2", 0), kResultFound);
  EXPECT_EQ(DataFileRangeEnd(1, "B", false), Status::kOk);
  EXPECT_EQ(DataFileRangeEnd(1, "A", false), kResultEnd);  // scanning forward, past A
  EXPECT_EQ(DataFileRangeEnd(1, "A", true), Status::kOk);
  EXPECT_EQ(DataFileRangeEnd(1, "C", true), kResultEnd);
  ASSERT_EQ(DataFileMove(1, kMoveLast), kResultFound);
  ASSERT_EQ(DataFileMove(1, kMoveNext), kResultEnd);
  EXPECT_EQ(DataFileRangeEnd(1, "", false), kResultEnd);
}

TEST_F(DataFileTest, SavedStateComesBackWithItsPosition) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"B", "D"}) ASSERT_EQ(Insert(Rec(k, k)), Status::kOk);
  ASSERT_EQ(DataFileFind(1, 1, "D", 0), kResultFound);
  ASSERT_EQ(DataFileSaveState(1), Status::kOk);
  ASSERT_EQ(DataFileFind(1, 2, "B", 0), kResultFound);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);  // shifts D in key 1
  ASSERT_EQ(DataFileRestoreState(1), Status::kOk);
  EXPECT_EQ(DataFileControl(1)->current_key, 1);
  EXPECT_EQ(Current().substr(0, 1), "D");
  EXPECT_EQ(DataFilePosition(1), 2);
  EXPECT_EQ(DataFileMove(1, kMovePrevious), kResultFound);
  EXPECT_EQ(Current().substr(0, 1), "B");
  EXPECT_EQ(DataFileRestoreState(1), Status::kInternalError);
}

TEST_F(DataFileTest, CopyBacksUpAndRestoresRecordsWithTheirIndex) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  const std::string backup = (dir_ / "backup").string();
  ASSERT_EQ(DataFileCopy(1, Slice::Of(backup), 0), Status::kOk);  // commits first
  fs::path copy = fs::path(backup + dir_.string()) / "cust.DIR";
  EXPECT_EQ(ReadFile(copy), Rec("A", "A"));
  EXPECT_EQ(ReadFile(copy.replace_extension("NDX")), Image({}, {{0}, {0}}));
  ASSERT_EQ(Insert(Rec("B", "B")), Status::kOk);
  ASSERT_EQ(DataFileCopy(1, Slice::Of(backup), 1), Status::kOk);
  EXPECT_TRUE(DataFileIsOpen(1));  // reopened on the restored files
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"A   A   "}));
  EXPECT_EQ(DataFileCopy(1, Slice::Of((dir_ / "none").string()), 1), Status::kOk);
}

TEST_F(DataFileTest, NoIndexOpenReadsInRecordOrder) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"C", "A", "B"}) ASSERT_EQ(Insert(Rec(k, k)), Status::kOk);
  ASSERT_EQ(DataFileFind(1, 1, "A", 0), kResultFound);
  ASSERT_EQ(DataFileDelete(1, 0), Status::kOk);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  ASSERT_EQ(DataFileOpen(1, kDataNoIndex | kDataReadOnly), kResultFound);
  EXPECT_EQ(DataFileRecordCount(1), 3);  // the deleted slot counts
  std::vector<std::string> seen;
  for (Status s = DataFileMove(1, kMoveFirst); s == kResultFound; s = DataFileMove(1, kMoveNext)) {
    seen.push_back(Current().substr(0, 1));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"C", "\x1b", "B"}));
}

TEST_F(DataFileTest, KeyTextAndRecordsByNumber) {
  ASSERT_EQ(DataFileOpen(1, kDataMakeCurrent), kResultEnd);
  EXPECT_EQ(Word(kCurFil), 1);
  ASSERT_EQ(Insert(Rec("A", "B", "data")), Status::kOk);
  ASSERT_EQ(DataFileReadRecord(0, 0), Status::kOk);
  AreaMark mark;
  EXPECT_EQ(DataFileKeyText(0, 2, 1).str(), "B   ");
  SetCurrent(Rec("Q", "B", "other"));
  EXPECT_EQ(DataFileKeyText(0, 0, 1).str(), "Q   ");
  EXPECT_EQ(DataFileKeyText(0, 0, 2).str(), "A   ");
  EXPECT_EQ(DataFileReadRecord(0, 5), Status::kDiskReadError);
  EXPECT_EQ(DataFileWriteRecord(0, 0), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.DIR")), Rec("Q", "B", "other"));
  EXPECT_EQ(DataFileOpen(7, 0), Status::kDataOutBound);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_EQ(DataFileMove(1, kMoveFirst), Status::kFileNotInit);
}

TEST_F(DataFileTest, FailedWritesLeaveTheIndexAndTheDiskWhole) {
  platform::FaultEnv env;
  platform::ScopedEnv use(&env);
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  ASSERT_EQ(Insert(Rec("A", "A")), Status::kOk);
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  const std::string committed = ReadFile(Path("cust.NDX"));

  env.FailNth(platform::FaultEnv::kWrite, 1);
  EXPECT_EQ(Insert(Rec("B", "B")), Status::kDiskWriteError);
  EXPECT_EQ(DataFileRecordCount(1), 1);
  EXPECT_EQ(fs::file_size(Path("cust.DIR")), kLength);

  // The index cannot be written: the old one stays, the next commit succeeds.
  ASSERT_EQ(Insert(Rec("C", "C")), Status::kOk);
  env.FailNth(platform::FaultEnv::kWrite, 1);
  EXPECT_EQ(DataFileCommit(1), Status::kDiskIo);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), committed);
  env.FailNth(platform::FaultEnv::kRename, 1);
  EXPECT_EQ(DataFileCommit(1), Status::kDiskIo);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), committed);
  EXPECT_FALSE(fs::exists(Path("cust.NDX.new")));
  EXPECT_EQ(DataFileCommit(1), Status::kOk);
  EXPECT_EQ(ReadFile(Path("cust.NDX")), Image({}, {{0, 1}, {0, 1}}));
}

TEST_F(DataFileTest, InterruptedReorganisationIsFinishedByTheNextOne) {
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  for (const char* k : {"C", "A", "B"}) ASSERT_EQ(Insert(Rec(k, k)), Status::kOk);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  // Stopped after the records moved to the work file and part was rewritten.
  fs::rename(Path("cust.DIR"), Path("cust.TXT"));
  WriteFile(Path("cust.DIR"), Rec("C", "C"));
  fs::remove(Path("cust.NDX"));
  EXPECT_EQ(DataFileOpen(1, 0), Status::kDiskIo);
  EXPECT_NE(GetDetail().view().find("cust.TXT"), std::string_view::npos);
  ASSERT_EQ(DataFileReorganize(1), Status::kOk);
  ASSERT_EQ(DataFileOpen(1, 0), kResultFound);
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"A   A   ", "B   B   ", "C   C   "}));
}

TEST_F(DataFileTest, UnknownFileNumbersAndKeys) {
  EXPECT_EQ(DataFileOpen(0, 0), Status::kDataOutBound);  // no current file
  EXPECT_EQ(DataFileOpen(30, 0), Status::kDataOutBound);
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  EXPECT_EQ(DataFileFind(1, 3, "A", 0), Status::kDataOutBound);
  EXPECT_EQ(DataFileFind(1, 1, Slice::Error(Status::kBadInputData), 0), Status::kBadInputData);
}

}  // namespace
}  // namespace tessaly

namespace tessaly {
namespace {

// The engine over the file structures: layouts, buffers and key stores come
// from them, and removing a structure closes its file.
class DataFileStructuresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dfs_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
    StructClearAll();
    UseStructuresForDataFiles();
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    StructClearAll();
    (void)SetStructureEventHandler(nullptr);
    SetDataFileCatalog(nullptr);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(DataFileStructuresTest, LayoutsBuffersAndKeyPartsComeFromTheStructures) {
  ASSERT_EQ(StructPushMark(), Status::kOk);
  ASSERT_EQ(StructDefineFile(1, "Orders", Slice::Of(dir_.string())), Status::kOk);
  ASSERT_EQ(StructDefineField("SERIES", 2, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineField("N_LINE", 3, 'N'), Status::kOk);
  ASSERT_EQ(StructDefineField("TEXT", 5, 'A'), Status::kOk);
  ASSERT_EQ(StructDefineKey(1, "<0001005>"), Status::kOk);  // over two fields
  ASSERT_EQ(StructDefineKey(1, "<0003003>"), Status::kOk);  // N_LINE alone
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  EXPECT_TRUE(fs::exists(dir_ / "orders.DIR"));  // names are lower-cased
  RecordBuffers b = FileRecordBuffers(1);
  // A key part that is one numeric field is stored as the field keeps it.
  EXPECT_EQ(DataFileFind(1, 2, "7", kFindPrepare), kResultEnd);
  EXPECT_EQ(std::string(b.current, b.length), "    7     ");
  EXPECT_EQ(DataFileFind(1, 1, "AB12", kFindPrepare), kResultEnd);
  EXPECT_EQ(std::string(b.current, b.length), "AB12      ");
  std::memcpy(b.current, "AB  7hello", 10);
  ASSERT_EQ(DataFileInsert(1), Status::kOk);
  EXPECT_EQ(DataFileFind(1, 2, "  7", 0), kResultFound);
  EXPECT_EQ(std::string(b.saved, b.length), "AB  7hello");
  // Removing the structure closes the file first.
  StructRestore();
  EXPECT_FALSE(DataFileIsOpen(1));
  EXPECT_EQ(fs::file_size(dir_ / "orders.DIR"), 10u);
}

}  // namespace
}  // namespace tessaly
