#include "data/record_ops.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recops_fixture.h"

namespace tessaly {
namespace {

using Strings = std::vector<std::string>;

// Relational updates that log what ran: per run the file, `_SGN`, the
// balance the run saw, and whether `_UPSTAT` bit 32 was set.
class LoggingUpdates : public RelationalUpdateSource {
 public:
  Slice Select(int file, Slice selection) override {
    selections.push_back(selection.str());
    if (fail_selection) return Slice::Error(Status::kBadExpression);
    return Area().Push(Slice::Of("run" + std::to_string(file)));
  }
  Status Execute(int file, Slice) override {
    std::string entry = std::to_string(SignedWord(kSgn)) + ":" + Trimmed(Get(file, "BALANCE"));
    if (TestBits(kUpStat, 32)) entry += "+sql";
    log.push_back(entry);
    if (fail_sign != 0 && SignedWord(kSgn) == fail_sign) return Status::kBadExpression;
    return Status::kOk;
  }
  static std::string Get(int file, const char* field) {
    AreaMark mark;
    return FieldFetch(file, FieldByName(file, field)).str();
  }
  static std::string Trimmed(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    return s;
  }
  Strings log;
  Strings selections;
  int fail_sign = 0;
  bool fail_selection = false;
};

class RecordOpsTest : public RecordFixture {
 protected:
  // Customers A01..A05, B01, B02 with balances 10, 20, ... 70.
  void AddSeven() {
    const char* codes[] = {"A01", "A02", "A03", "A04", "A05", "B01", "B02"};
    int balance = 10;
    for (const char* c : codes) {
      AddCustomer(c, std::string("Name ") + c, std::to_string(balance));
      balance += 10;
    }
  }
  void Find(int file, const char* key) {
    ASSERT_EQ(DataFileFind(file, 1, key, 0), kResultFound) << key;
  }
};

TEST(RecordOpCodes, NamesSynonymsAndFlagWords) {
  struct Case {
    const char* code;
    int number;
    int flags;
  } cases[] = {
      {"NEW", 1, 0xF01},  {"top", 2, 0xF24},    {"PRV", 3, 0xF16},  {"PREVIOUS", 3, 0xF16},
      {"RLD", 4, 0x000},  {" next ", 5, 0xF12}, {"BOT", 6, 0xF20},  {"Bottom", 6, 0xF20},
      {"FND", 7, 0x040},  {"SVE", 8, 0xF00},    {"INS", 9, 0xD00},  {"DEL", 10, 0x642},
      {"LST", 11, 0x042}, {"NLS", 12, 0x0FF},   {"BLS", 13, 0x046}, {"TSL", 18, 0x0FF},
      {"NX", 0, -1},      {"", 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordOpNumber(c.code), c.number) << c.code;
    EXPECT_EQ(RecordOpFlags(c.number), c.flags) << c.code;
  }
  EXPECT_EQ(RecordOpName(5).str(), "NXT");
  EXPECT_TRUE(RecordOpName(19).empty());
}

TEST_F(RecordOpsTest, MovesStopAtTheEndsOfTheFile) {
  Open(kCustomers);
  AddSeven();
  struct Step {
    const char* code;
    uint16_t result;
    const char* code_after;  // CODE of buffer 1 afterwards; "" blank
  } steps[] = {
      {"TOP", 0, "A01"}, {"PRV", 1, "A01"},  // at the start PRV loads the first record
      {"NXT", 0, "A02"}, {"BOT", 0, "B02"}, {"NXT", 2, ""},  // beyond the end: blank
      {"BOT", 0, "B02"}, {"NEW", 3, ""},    {"TOP", 0, "A01"},
      {"PRN", 0, "A01"},  // no record action
  };
  for (const Step& s : steps) {
    EXPECT_EQ(RecordOperation(kCustomers, s.code), s.result) << s.code;
    std::string code = Get(kCustomers, "CODE");
    EXPECT_EQ(code.substr(0, code.find(' ')), s.code_after) << s.code;
  }
  EXPECT_EQ(Current(kCustomers), Saved(kCustomers));
  ASSERT_EQ(RecordOperation(kCustomers, "BOT"), kResultFound);
  ASSERT_EQ(RecordOperation(kCustomers, "NXT"), kResultEnd);
  EXPECT_EQ(Current(kCustomers), std::string(36, ' '));
  EXPECT_EQ(Saved(kCustomers), std::string(36, ' '));

  // RLD puts back what was read; FND without a key reloads too.
  ASSERT_EQ(RecordOperation(kCustomers, "TOP"), kResultFound);
  Set(kCustomers, "NAME", "changed");
  EXPECT_TRUE(RecordChanged(kCustomers));
  EXPECT_EQ(RecordOperation(kCustomers, "RLD"), kResultFound);
  EXPECT_FALSE(RecordChanged(kCustomers));
  EXPECT_EQ(RecordOperation(kCustomers, kOpFnd), kResultFound);

  EXPECT_EQ(RecordOperation(kCustomers, "JUMP"), Status::kBadInputData);
  EXPECT_EQ(GetDetail().str(), "JUMP");
  EXPECT_EQ(RecordOperation(kCustomers, 0), Status::kBadInputData);
  EXPECT_EQ(RecordOperation(9, "TOP"), Status::kDataOutBound);
}

TEST_F(RecordOpsTest, DelFromAProcedureDeletesTheLoadedRecord) {
  Open(kCustomers);
  AddSeven();
  Find(kCustomers, "A03");
  EXPECT_EQ(RecordOperation(kCustomers, "DEL"), Status::kOk);
  EXPECT_EQ(Walk(kCustomers, "CODE"), (Strings{"A01", "A02", "A04", "A05", "B01", "B02"}));
  // Nothing loaded: nothing deleted.
  EXPECT_EQ(RecordOperation(kCustomers, "NEW"), kResultCleared);
  EXPECT_EQ(RecordOperation(kCustomers, "DEL"), kResultEnd);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 6);
}

TEST_F(RecordOpsTest, InsertChecksEmptyRecordsAndExistingKeys) {
  Open(kCustomers);
  AddCustomer("C1", "First", "1");
  const int ins = RecordOpFlags(kOpIns);

  // An existing key 1 is refused and nothing is written.
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C1");
  Set(kCustomers, "NAME", "Second");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), Slice()), kResultKeyExists);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 1);
  // The check leaves the buffers as they were.
  EXPECT_EQ(Get(kCustomers, "NAME").substr(0, 6), "Second");

  // Allowed by `_UPSTAT` bit 64: stored, and the repeat reported.
  SetBits(kUpStat, 64);
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), Slice()), kResultRepeated);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 2);
  ClearBits(kUpStat, 64);

  // A blank key 1 is an empty record: nothing is written, and that is fine.
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "NAME", "No code");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), Slice()), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 2);

  // The emptiness expression: the same over the record as over a blank one.
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C2");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), "NAME{1}"), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 2);
  Set(kCustomers, "NAME", "Named");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), "NAME{1}"), Status::kOk);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 3);
  EXPECT_FALSE(RecordChanged(kCustomers));  // what was written is what is read

  // An emptiness expression that fails keeps the record from being written.
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C3");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), "NAME{1}+1"), Status::kTypeMismatch);
  EXPECT_EQ(DataFileRecordCount(kCustomers), 3);
}

TEST_F(RecordOpsTest, SavesRevertTheOldContentsAndApplyTheNew) {
  Open(kCustomers);
  LoggingUpdates updates;
  (void)SetRelationalUpdateSource(&updates);
  AddCustomer("C1", "First", "10");
  EXPECT_EQ(updates.log, (Strings{"1:10.00"}));  // INS applies only

  const int sve = RecordOpFlags(kOpSve);
  struct Step {
    const char* balance;  // nullptr: leave the record as it is
    Strings log;
  } steps[] = {
      {"25", {"-1:10.00", "1:25.00"}},
      {nullptr, {}},  // unchanged: nothing written, nothing run
      // A second save reverts what the first applied, not the first read.
      {"30", {"-1:25.00", "1:30.00"}},
  };
  Find(kCustomers, "C1");
  for (const Step& s : steps) {
    updates.log.clear();
    if (s.balance) Set(kCustomers, "BALANCE", s.balance);
    EXPECT_EQ(RecordSave(sve, kCustomers, Slice(), Slice()), Status::kOk);
    EXPECT_EQ(updates.log, s.log) << (s.balance ? s.balance : "unchanged");
  }
  EXPECT_EQ(SignedWord(kSgn), 0);

  // DEL deletes and reverts over the deleted record's contents.
  updates.log.clear();
  Find(kCustomers, "C1");
  EXPECT_EQ(RecordSave(RecordOpFlags(kOpDel), kCustomers, "SEL", Slice()), Status::kOk);
  EXPECT_EQ(updates.log, (Strings{"-1:30.00"}));
  EXPECT_EQ(updates.selections.back(), "SEL");
  EXPECT_EQ(DataFileRecordCount(kCustomers), 0);

  // A record never loaded is stored as new by SVE: no old contents to revert.
  updates.log.clear();
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C2");
  Set(kCustomers, "BALANCE", "7");
  EXPECT_EQ(RecordSave(sve, kCustomers, Slice(), Slice()), Status::kOk);
  EXPECT_EQ(updates.log, (Strings{"1:7.00"}));
  EXPECT_EQ(DataFileRecordCount(kCustomers), 1);
}

TEST_F(RecordOpsTest, WhenRelationalUpdatesRun) {
  Open(kCustomers);
  LoggingUpdates updates;
  (void)SetRelationalUpdateSource(&updates);
  const int ins = RecordOpFlags(kOpIns);

  // `_UPSTAT` bit 1 clear: records are written, no definition runs.
  ClearBits(kUpStat, 1);
  AddCustomer("C1", "First", "10");
  EXPECT_TRUE(updates.log.empty());
  SetBits(kUpStat, 1);

  // 0x1000: none either.
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C2");
  EXPECT_EQ(RecordSave(ins | kOpNoRelUpdates, kCustomers, Slice(), Slice()), Status::kOk);
  EXPECT_TRUE(updates.log.empty());

  // SQL definitions: bit 32 is set while they run and cleared afterwards.
  SetBits(kAuxStat, 0x800);
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C3");
  Set(kCustomers, "BALANCE", "3");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), Slice()), Status::kOk);
  EXPECT_EQ(updates.log, (Strings{"1:3.00+sql"}));
  EXPECT_FALSE(TestBits(kUpStat, 32));
  ClearBits(kAuxStat, 0x800);

  // A failing revert stops the definitions; the rewrite stays.
  updates.log.clear();
  updates.fail_sign = -1;
  Find(kCustomers, "C3");
  Set(kCustomers, "BALANCE", "4");
  EXPECT_EQ(RecordSave(RecordOpFlags(kOpSve), kCustomers, Slice(), Slice()),
            Status::kBadExpression);
  EXPECT_EQ(updates.log, (Strings{"-1:3.00"}));
  EXPECT_EQ(SignedWord(kSgn), 0);
  Find(kCustomers, "C3");
  EXPECT_EQ(Get(kCustomers, "BALANCE"), "      4.00");

  // A failing selection runs nothing; the insert stays.
  updates.log.clear();
  updates.fail_sign = 0;
  updates.fail_selection = true;
  ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
  Set(kCustomers, "CODE", "C4");
  EXPECT_EQ(RecordSave(ins, kCustomers, Slice(), Slice()), Status::kBadExpression);
  EXPECT_TRUE(updates.log.empty());
  EXPECT_EQ(DataFileRecordCount(kCustomers), 4);
}

// The default execution of the statements is the evaluator's.
class StatementUpdates : public RelationalUpdateSource {
 public:
  Slice Select(int, Slice) override { return Area().Push(Slice("TOT#=TOT#+_SGN*BALANCE{1}")); }
};

TEST_F(RecordOpsTest, StatementsKeepATotalThroughInsertChangeAndDelete) {
  Open(kCustomers);
  StatementUpdates updates;
  (void)SetRelationalUpdateSource(&updates);
  AddCustomer("C1", "First", "10");
  AddCustomer("C2", "Second", "5.5");
  EXPECT_EQ(Eval("TOT#"), "15.5");
  Find(kCustomers, "C1");
  Set(kCustomers, "BALANCE", "12");
  ASSERT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpNxt), Slice(), Slice(), Slice()),
            kResultFound);  // saves the change, then moves on
  EXPECT_EQ(Get(kCustomers, "CODE"), "C2    ");
  EXPECT_EQ(Eval("TOT#"), "17.5");
  ASSERT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpDel), "C2", Slice(), Slice()),
            kResultEnd);  // deleted; the key that followed is searched: none
  EXPECT_EQ(Eval("TOT#"), "12");
  EXPECT_EQ(DefaultRelationalSelection(kInvLines, Slice(), 0).str(), "1+(N_LINE{}>0)");
  EXPECT_EQ(DefaultRelationalSelection(kCustomers, Slice(), 2).str(), "1");
  EXPECT_EQ(DefaultRelationalSelection(kCustomers, Slice(), 3).str(), "");
  EXPECT_EQ(DefaultRelationalSelection(kCustomers, "2,3", 3).str(), "2,3");
}

TEST_F(RecordOpsTest, WindowOperationsSaveOnlyChangedRecordsAndRefuseBadKeys) {
  Open(kCustomers);
  AddSeven();
  Find(kCustomers, "A02");
  // Unchanged: NXT only moves.
  EXPECT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpNxt), Slice(), Slice(), Slice()),
            kResultFound);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A03   ");
  // FND with a key, nearest not loaded.
  EXPECT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpFnd), "B", Slice(), Slice()), kResultFound);
  EXPECT_EQ(Get(kCustomers, "CODE"), "B01   ");
  // INS of an existing key: refused, no move.
  EXPECT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpIns), Slice(), Slice(), Slice()),
            kResultKeyExists);
  EXPECT_EQ(Get(kCustomers, "CODE"), "B01   ");
  // SVE of a change stays on the saved record.
  Set(kCustomers, "NAME", "Renamed");
  EXPECT_EQ(RecordExecute(kCustomers, RecordOpFlags(kOpSve), Slice(), Slice(), Slice()),
            Status::kOk);
  EXPECT_FALSE(RecordChanged(kCustomers));
  EXPECT_EQ(Walk(kCustomers, "NAME", 2).front(), "Name A01");
  EXPECT_EQ(Walk(kCustomers, "NAME", 2).back(), "Renamed");
}

TEST_F(RecordOpsTest, OpenSetsStackAndRestore) {
  struct State {
    int flags[4];  // open flags of files 1-3, -1 closed
    int current;
  };
  auto Check = [](const State& want, const char* what) {
    for (int f = 1; f <= 3; ++f) {
      if (want.flags[f] < 0) {
        EXPECT_FALSE(DataFileIsOpen(f)) << what << " file " << f;
      } else {
        ASSERT_TRUE(DataFileIsOpen(f)) << what << " file " << f;
        EXPECT_EQ(DataFileControl(f)->open_flags, want.flags[f]) << what << " file " << f;
      }
    }
    EXPECT_EQ(Word(kCurFil), want.current) << what;
  };
  ASSERT_EQ(OpenSet("CUSTOMERS,INVOICES"), Status::kOk);
  Check({{0, kDataReadOnly, kDataMakeCurrent, -1}, 2}, "first set");
  ASSERT_EQ(OpenSet("1;0, 3"), Status::kOk);  // an explicit update mode is kept
  Check({{0, 0, -1, kDataMakeCurrent}, 3}, "second set");
  EXPECT_EQ(OpenSetDepth(), 2);

  // An unknown file: 166 naming it, nothing pushed, nothing opened or closed.
  EXPECT_EQ(OpenSet("invoices,NOSUCH"), Status::kFileOpening);
  EXPECT_EQ(GetDetail().str(), "NOSUCH");
  EXPECT_EQ(OpenSet("4"), Status::kFileOpening);
  EXPECT_EQ(OpenSetDepth(), 2);
  Check({{0, 0, -1, kDataMakeCurrent}, 3}, "after the refusals");

  ASSERT_EQ(OpenSet("restore"), Status::kOk);
  Check({{0, kDataReadOnly, kDataMakeCurrent, -1}, 2}, "restored");
  ASSERT_EQ(OpenSet("RESTORE"), Status::kOk);
  Check({{0, -1, -1, -1}, 2}, "all restored");
  EXPECT_EQ(OpenSet("RESTORE"), Status::kInternalError);
  EXPECT_EQ(OpenSetDepth(), 0);
}

TEST_F(RecordOpsTest, ScansAndCountsWithinARange) {
  Open(kCustomers);
  AddSeven();
  Find(kCustomers, "B01");
  struct Case {
    const char* start;
    const char* end;
    const char* condition;
    int64_t count;
  } cases[] = {
      {"A", "A", "", 5},     {"A", "A", "BALANCE{1}>25", 3},
      {"A03", "A", "", 3},   {"", "", "", 7},
      {"Z", "Z", "", 0},     {"A", "Z", "", 7},  // the end prefix is an upper limit
      {"A02", "A03", "", 2}, {"B", "A", "", 0},  // the start lies past the end
  };
  for (const Case& c : cases) {
    int64_t n = -1;
    EXPECT_EQ(RecordCount(kCustomers, 1, c.start, c.end, c.condition, &n), Status::kOk)
        << c.start << "/" << c.condition;
    EXPECT_EQ(n, c.count) << c.start << "/" << c.end << "/" << c.condition;
  }
  // The count leaves the file where it was.
  EXPECT_EQ(Get(kCustomers, "CODE"), "B01   ");
  int64_t n = 0;
  EXPECT_EQ(RecordCount(kCustomers, 1, "A", "A", "BALANCE{1}+'X'", &n), Status::kTypeMismatch);
  EXPECT_EQ(Get(kCustomers, "CODE"), "B01   ");

  // Forward from A02 for a balance above 30, within "A".
  Find(kCustomers, "A02");
  Strings visited;
  auto visit = [&](Slice key) {
    visited.push_back(key.str());
    return Status(Status::kOk);
  };
  EXPECT_EQ(RecordScan(kCustomers, kMoveNext, "BALANCE{1}>30", "A", visit), Status::kOk);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A04   ");
  EXPECT_EQ(visited, (Strings{"A02   ", "A03   ", "A04   "}));
  EXPECT_EQ(RecordScan(kCustomers, kMoveNext | kScanMoveFirst, "BALANCE{1}>60", "A"), kResultEnd);
  // Backward from B02, moving first, for a balance below 25.
  Find(kCustomers, "B02");
  EXPECT_EQ(RecordScan(kCustomers, kMovePrevious | kScanMoveFirst, "BALANCE{1}<25", ""),
            Status::kOk);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A02   ");
  EXPECT_EQ(RecordScan(kCustomers, kMovePrevious | kScanMoveFirst, "BALANCE{1}>100", ""),
            kResultEnd);
  // An action that stops the scan.
  Find(kCustomers, "A01");
  EXPECT_EQ(RecordScan(kCustomers, kMoveNext, "0", "",
                       [](Slice) { return Status(Status::kUserCanceled); }),
            Status::kUserCanceled);

  // A file opened without index counts its record slots, deleted ones too.
  Find(kCustomers, "A01");
  ASSERT_EQ(RecordOperation(kCustomers, "DEL"), Status::kOk);
  Open(kCustomers, kDataNoIndex);
  EXPECT_EQ(RecordCount(kCustomers, 1, "", "", "", &n), Status::kOk);
  EXPECT_EQ(n, 7);
  ASSERT_EQ(DataFileClose(kCustomers), Status::kOk);
  EXPECT_EQ(RecordCount(kCustomers, 1, "", "", "", &n), Status::kFileNotInit);
}

TEST_F(RecordOpsTest, ListsOverAPrefix) {
  Open(kCustomers);
  AddSeven();
  ASSERT_EQ(RecordListBuild(kCustomers, 1, "A", -1, 0, "BALANCE{1}<>30"), Status::kOk);
  EXPECT_EQ(RecordListCount(kCustomers), 4);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A01   ");  // the first listed record is loaded
  EXPECT_EQ(DataFileControl(kCustomers)->list_slot, 1);
  ASSERT_EQ(RecordListGet(kCustomers, kListLoadBuffers, 2), Status::kOk);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A04   ");
  EXPECT_EQ(RecordListGet(kCustomers, kListLoadBuffers, 4), Status::kDataOutBound);
  // Positioned on the record, the next move goes on from it.
  ASSERT_EQ(RecordListGet(kCustomers, kListLoadPosition, 1), Status::kOk);
  EXPECT_EQ(RecordOperation(kCustomers, "NXT"), kResultFound);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A03   ");
  ASSERT_EQ(RecordListFree(kCustomers), Status::kOk);
  EXPECT_EQ(RecordListCount(kCustomers), 0);
  EXPECT_EQ(RecordListsInUse(), 0);

  struct Case {
    const char* prefix;
    int max;
    int mode;
    Strings codes;
  } cases[] = {
      {"A", 2, 0, {"A01", "A02"}},
      {"A", -1, 2, {"B01", "B02"}},  // after the range
      {"A0", 3, 2, {"B01", "B02"}},
      {"B02", -1, 0, {"B02"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RecordListBuild(kCustomers, 1, c.prefix, c.max, c.mode, ""), Status::kOk) << c.prefix;
    Strings codes;
    for (int i = 0; i < RecordListCount(kCustomers); ++i) {
      ASSERT_EQ(RecordListGet(kCustomers, kListLoadBuffers, i), Status::kOk);
      codes.push_back(Get(kCustomers, "CODE").substr(0, 3));
    }
    EXPECT_EQ(codes, c.codes) << c.prefix << " mode " << c.mode;
    ASSERT_EQ(RecordListFree(kCustomers), Status::kOk);
  }
}

TEST_F(RecordOpsTest, AListOverNothingKeepsTheRecordAndHoldsNoSlot) {
  Open(kCustomers);
  AddSeven();
  Find(kCustomers, "A03");
  Set(kCustomers, "NAME", "edited");
  std::string before = Current(kCustomers);
  for (const char* prefix : {"Z", "A1", "C"}) {
    EXPECT_EQ(RecordListBuild(kCustomers, 1, prefix, -1, 0, ""), kResultEnd) << prefix;
  }
  EXPECT_EQ(RecordListBuild(kCustomers, 1, "A", -1, 0, "BALANCE{1}>1000"), kResultEnd);
  EXPECT_EQ(RecordListBuild(kCustomers, 1, "B", -1, 2, ""), kResultEnd);  // nothing after B
  EXPECT_EQ(Current(kCustomers), before);
  EXPECT_EQ(RecordListsInUse(), 0);
  EXPECT_EQ(DataFileControl(kCustomers)->list_slot, 0);
  // A failing condition: its status, and no list either.
  EXPECT_EQ(RecordListBuild(kCustomers, 1, "A", -1, 0, "NAME{1}*2"), Status::kTypeMismatch);
  EXPECT_EQ(RecordListsInUse(), 0);
  EXPECT_EQ(Current(kCustomers), before);
}

TEST_F(RecordOpsTest, ListsStackTwoPerFileAndEightInAll) {
  for (int f = 1; f <= 3; ++f) Open(f);
  AddSeven();
  // Invoices and lines get one record each so that lists over them exist.
  ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
  Set(kInvoices, "DOC", "F1");
  ASSERT_EQ(RecordSave(kOpInsertRecord, kInvoices, Slice(), Slice()), Status::kOk);
  ASSERT_EQ(DataFileMove(kInvLines, kMoveClear), kResultCleared);
  Set(kInvLines, "DOC", "F1");
  Set(kInvLines, "N_LINE", "1");
  ASSERT_EQ(RecordSave(kOpInsertRecord, kInvLines, Slice(), Slice()), Status::kOk);

  ASSERT_EQ(RecordListBuild(kCustomers, 1, "A", -1, 0, ""), Status::kOk);    // 5 entries
  ASSERT_EQ(RecordListBuild(kCustomers, 1, "B", -1, 0, ""), Status::kOk);    // 2
  ASSERT_EQ(RecordListBuild(kCustomers, 1, "A05", -1, 0, ""), Status::kOk);  // 1
  EXPECT_EQ(RecordListBuild(kCustomers, 1, "A", -1, 0, ""), Status::kDataOutBound);
  EXPECT_EQ(RecordListsInUse(), 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(RecordListBuild(kInvoices, 1, "F", -1, 0, ""), Status::kOk);
  }
  ASSERT_EQ(RecordListBuild(kInvLines, 1, "F", -1, 0, ""), Status::kOk);
  ASSERT_EQ(RecordListBuild(kInvLines, 1, "F", -1, 0, ""), Status::kOk);
  EXPECT_EQ(RecordListsInUse(), 8);
  EXPECT_EQ(RecordListBuild(kInvLines, 1, "F", -1, 0, ""), Status::kDataOutBound);
  EXPECT_EQ(RecordListsInUse(), 8);
  EXPECT_EQ(RecordListCount(kInvLines), 1);

  // Freeing takes the lists set aside back, newest first.
  std::vector<int> counts;
  for (int i = 0; i < 3; ++i) {
    counts.push_back(RecordListCount(kCustomers));
    ASSERT_EQ(RecordListFree(kCustomers), Status::kOk);
  }
  EXPECT_EQ(counts, (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(RecordListCount(kCustomers), 0);
  EXPECT_EQ(RecordListFree(kCustomers), Status::kOk);
  EXPECT_EQ(RecordListsInUse(), 5);
}

TEST_F(RecordOpsTest, DeleteAllTakesOnlyTheListedRecords) {
  Open(kCustomers);
  AddSeven();
  EXPECT_EQ(RecordDeleteAll(kCustomers, 1, "A", "BALANCE{1}>=30"), Status::kOk);
  EXPECT_EQ(Walk(kCustomers, "CODE"), (Strings{"A01", "A02", "B01", "B02"}));
  EXPECT_EQ(RecordDeleteAll(kCustomers, 1, "C", ""), kResultEnd);
  EXPECT_EQ(RecordListsInUse(), 0);
  // The slots of the deleted records are reused.
  AddCustomer("C01", "New", "1");
  EXPECT_EQ(DataFileRecordCount(kCustomers), 5);
}

TEST_F(RecordOpsTest, AccumulateIntoTheArrayOrThroughAnExpression) {
  Open(kCustomers);
  Open(kInvoices);
  AddSeven();
  AccumulateRequest sum;
  sum.file = kCustomers;
  sum.key = 1;
  sum.start = "A";
  sum.end = "A";
  sum.condition = "BALANCE{1}>10";
  sum.base = 5;
  ASSERT_EQ(RecordAccumulate(sum), Status::kOk);
  // BALANCE is field 3: accumulator 5 + 3 - 1.
  EXPECT_EQ(Eval("1"), "1");
  int index = 7;
  ASSERT_EQ(ReadElement("_#", &index, 1), kNumberValue);
  EXPECT_EQ(Area().TopNumber(), 14000);  // 20 + 30 + 40 + 50
  index = 6;
  ASSERT_EQ(ReadElement("_#", &index, 1), kNumberValue);
  EXPECT_EQ(Area().TopNumber(), 0);  // NAME is no number
  // A second run starts from 0 again.
  ASSERT_EQ(RecordAccumulate(sum), Status::kOk);
  index = 7;
  ASSERT_EQ(ReadElement("_#", &index, 1), kNumberValue);
  EXPECT_EQ(Area().TopNumber(), 14000);
  EXPECT_EQ(RecordListsInUse(), 0);

  // Through an expression, writing an invoice per customer above 40.
  AccumulateRequest run;
  run.file = kCustomers;
  run.start = "";
  run.expression = "T#=T#+BALANCE{1};DOC{2}=CODE{1};CUST{2}=CODE{1}";
  run.target = kInvoices;
  run.write_condition = "BALANCE{1}>40";
  ASSERT_EQ(RecordAccumulate(run), Status::kOk);
  EXPECT_EQ(Eval("T#"), "280");
  EXPECT_EQ(Walk(kInvoices, "DOC"), (Strings{"A05", "B01", "B02"}));
  // A failing expression stops and frees the list.
  run.expression = "T#=T#+NAME{1}";
  EXPECT_EQ(RecordAccumulate(run), Status::kTypeMismatch);
  EXPECT_EQ(RecordListsInUse(), 0);
}

TEST_F(RecordOpsTest, GenerateInsertsWhileTheConditionsSaySo) {
  Open(kInvoices);
  ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
  GenerateRequest g;
  g.target = kInvoices;
  g.start_condition = "1";
  g.record_condition = "(N=N+1)>0";
  g.write_condition = "N<>2";
  g.stop_condition = "N>=4";
  int progress = 0;
  g.on_insert = [](int64_t inserted) {
    return FieldStore(kInvoices, 1, Slice::Of("G" + std::to_string(inserted)));
  };
  g.progress = [&](int64_t) {
    ++progress;
    return Status(Status::kOk);
  };
  Set(kInvoices, "DOC", "G0");
  int64_t inserted = 0;
  ASSERT_EQ(RecordGenerate(g, &inserted), Status::kOk);
  EXPECT_EQ(inserted, 3);
  EXPECT_EQ(progress, 4);
  EXPECT_EQ(Walk(kInvoices, "DOC"), (Strings{"G0", "G1", "G2"}));

  // A false start condition does nothing; a cancelled progress stops.
  g.start_condition = "0";
  ASSERT_EQ(RecordGenerate(g, &inserted), Status::kOk);
  EXPECT_EQ(inserted, 0);
  g.start_condition = "";
  g.progress = [](int64_t) { return Status(Status::kUserCanceled); };
  EXPECT_EQ(RecordGenerate(g, &inserted), Status::kUserCanceled);
  EXPECT_EQ(inserted, 1);
}

TEST_F(RecordOpsTest, RelationsFindCreateUpdateAndDelete) {
  Open(kCustomers);
  Open(kInvoices);
  AddCustomer("C1", "First", "10");
  AddCustomer("C3", "Third", "30");
  ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
  Set(kInvoices, "DOC", "F1");
  Set(kInvoices, "CUST", "C1");
  SetWord(kCurFil, kInvoices);
  EXPECT_EQ(RelationValue(kCustomers, 1).str(), "C1    ");
  EXPECT_EQ(RelationValue(kCustomers, 2).status(), Status::kBadInputData);  // EMPTY$ is empty
  EXPECT_EQ(RelationValue(kCustomers, 3).status(), Status::kBadInputData);  // no relation

  struct Step {
    const char* cust;
    int flags;
    const char* update;
    uint16_t result;
    uint16_t relres;
    const char* balance_after;  // of the customer file's buffer 1
  } steps[] = {
      {"C1", 0, "", 0, kRelResNone, "10.00"},
      {"C2", 0, "", 1, kRelResNone, "10.00"},            // not found: the buffers stay
      {"C2", kRelNearest, "", 1, kRelResNone, "30.00"},  // the nearest: C3
      {"C1", 0, "BALANCE{1}=BALANCE{1}+5", 0, kRelResNone, "15.00"},
      {"C1", kRelNoUpdate, "BALANCE{1}=0", 0, kRelResNone, "15.00"},
      {"C2", kRelCreate, "NAME{1}='Made';BALANCE{1}=2", 1, kRelResCreated, "2.00"},
      {"C3", kRelDelete, "", 0, kRelResDeleted, "30.00"},
  };
  for (const Step& s : steps) {
    Set(kInvoices, "CUST", s.cust);
    SetWord(kRelRes, 99);
    EXPECT_EQ(RelationFind(kInvoices, kCustomers, 1, s.flags, s.update), s.result)
        << s.cust << " flags " << s.flags;
    EXPECT_EQ(Word(kRelRes), s.relres) << s.cust << " flags " << s.flags;
    std::string b = Get(kCustomers, "BALANCE");
    b.erase(0, b.find_first_not_of(' '));
    EXPECT_EQ(b, s.balance_after) << s.cust << " flags " << s.flags;
  }
  EXPECT_EQ(Walk(kCustomers, "CODE"), (Strings{"C1", "C2"}));
  EXPECT_EQ(Walk(kCustomers, "BALANCE"), (Strings{"15.00", "2.00"}));
  EXPECT_EQ(Walk(kCustomers, "NAME"), (Strings{"First", "Made"}));

  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 2, 0, ""), Status::kBadInputData);
  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 4, 0, ""), Status::kBadInputData);
}

TEST_F(RecordOpsTest, RelationsPageAndUpdateRanges) {
  Open(kCustomers);
  Open(kInvoices);
  AddSeven();
  ASSERT_EQ(DataFileMove(kInvoices, kMoveClear), kResultCleared);
  Set(kInvoices, "CUST", "A02");

  // Paging on the related field moves on and clears the paging bit.
  SetBits(kScrStat, 0x40);
  SetWord(kLastKey, 28);
  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 1, kRelNearest, ""), kResultFound);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A03   ");
  EXPECT_EQ(Word(kRelRes), kRelResMoved);
  EXPECT_FALSE(TestBits(kScrStat, 0x40));
  SetBits(kScrStat, 0x40);
  SetWord(kLastKey, 23);
  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 1, kRelNearest, ""), kResultFound);
  EXPECT_EQ(Get(kCustomers, "CODE"), "A01   ");

  // While SQL definitions run, every record of the range is updated, and
  // one is made when there is none.
  SetBits(kUpStat, 0x20);
  Set(kInvoices, "CUST", "A02");
  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 1, 0, "BALANCE{1}=BALANCE{1}+1"), Status::kOk);
  Set(kInvoices, "CUST", "A09");
  SetWord(kRelRes, 0);
  EXPECT_EQ(RelationFind(kInvoices, kCustomers, 1, kRelCreate, "BALANCE{1}=9"), Status::kOk);
  EXPECT_EQ(Word(kRelRes), kRelResCreated);
  ClearBits(kUpStat, 0x20);
  EXPECT_EQ(Walk(kCustomers, "BALANCE"),
            (Strings{"10.00", "21.00", "30.00", "40.00", "50.00", "9.00", "60.00", "70.00"}));
}

TEST_F(RecordOpsTest, FieldsAsOperands) {
  Open(kCustomers);
  AddCustomer("C1", "First", "12.5");
  SetWord(kCurFil, kCustomers);
  struct Case {
    const char* expression;
    const char* result;
  } cases[] = {
      {"BALANCE{1}*2", "25"},
      {"BALANCE{}+0.25", "12.75"},
      {"NAME{CUSTOMERS}", "First               "},
      {"3{1}", "12.5"},  // a field by number
      {"BALANCE{1}=7.125", "7.13"},
      {"BALANCE{1}", "7.13"},
      {"NAME{1}=5", "5"},
      {"NAME{1}", "5                   "},
      {"NOSUCH{1}", "<163>"},
      {"CODE{9}", "<161>"},
      {"BALANCE{1}='ABC'", "<128>"},  // the stored value is kept
      {"BALANCE{1}='12'", "12"},
      {"BALANCE{1}=''", ""},  // a field may be cleared
  };
  for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
  EXPECT_EQ(Get(kCustomers, "BALANCE"), "          ");
  EXPECT_EQ(Eval("BALANCE{1}=7.125"), "7.13");
  EXPECT_EQ(Eval("BALANCE{1}='X'"), "<128>");
  EXPECT_EQ(Get(kCustomers, "BALANCE"), "      7.13");
  InstallRecordOperations();  // again: still one check, still the structures behind it
  EXPECT_EQ(Eval("BALANCE{1}"), "7.13");
}

}  // namespace
}  // namespace tessaly
