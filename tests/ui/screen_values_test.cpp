// Field values: computing from files and expressions, setting with type
// conversion and control updates, the record, dependants, the screen-field
// handler, selections.

#include <string>
#include <vector>

#include "core/messages.h"
#include "screen_fixture.h"

namespace tessaly {
namespace {

class Values : public ScreenTest {
 protected:
  // The customers screen with a record in the file's buffers.
  void LoadCustomer() {
    ASSERT_EQ(LoadCustom(1), Status::kOk) << GetDetail().str();
    SetWord(kCurFil, 1);
    Store("CODE", "C001");
    Store("NAME", "Ana");
    Store("BALANCE", "12.5");
    Store("SINCE", "20170305");
    Store("ACTIVE", "1");
  }
  int Counter(const char* name) { return std::stoi(Eval(name)); }
};

TEST_F(Values, ComputingFromTheRecordAndExpressionsFillsBufferAndControls) {
  LoadCustomer();
  ASSERT_EQ(ScreenRefreshRange(kMaskCompute, 1, -1), Status::kOk) << GetDetail().str();
  struct Expect {
    int field;
    const char* buffer;
    const char* shown;
  };
  const Expect expect[] = {
      {1, "C001  ", "C001"},
      {2, "Ana                 ", "Ana"},
      {3, "     12.50", "12.50"},
      {4, "20170305", "03-05-2017"},  // a D10 field: 8 stored, 10 shown
      {5, "1", "Y"},  // the word fitted to the field's width
      {6, "     25.00", "25.00"},      // ASSIGN$ BALANCE{CUSTOMERS}*2
  };
  for (const Expect& e : expect) {
    SCOPED_TRACE(e.field);
    EXPECT_EQ(Field(e.field), e.buffer);
    EXPECT_EQ(windows_.Text(1, e.field), e.shown);
  }
  EXPECT_EQ(Field(7), "<163>");  // the unreadable line
  EXPECT_EQ(Counter("CNT"), 0);  // mask 6 runs no dependants
  EXPECT_EQ(Saved(3), "          ");
  ASSERT_EQ(ScreenTakeSaved(), Status::kOk);
  EXPECT_EQ(Saved(3), "     12.50");
}

TEST_F(Values, TypedTextGoesToTheRecordAndRecomputesTheUpdateList) {
  LoadCustomer();
  ASSERT_EQ(Set(kMaskTyped, 3, "20"), Status::kOk) << GetDetail().str();
  EXPECT_EQ(Field(3), "     20.00");
  EXPECT_EQ(Record("BALANCE"), "     20.00");
  EXPECT_EQ(Field(6), "     40.00");  // UPDFIELDS$ of the balance
  EXPECT_EQ(windows_.Text(1, 6), "40.00");
  EXPECT_EQ(Counter("CNT"), 1);        // its ALARM$

  // The same text again changes nothing and runs nothing, but the control
  // still shows it; bit 128 stores and runs all the same.
  windows_.calls.clear();
  ASSERT_EQ(Set(kMaskTyped, 3, "20.00"), Status::kOk);
  EXPECT_EQ(Counter("CNT"), 1);
  EXPECT_EQ(windows_.CallsStartingWith("text 1 3"), std::vector<std::string>{"text 1 3 20.00"});
  ASSERT_EQ(Set(kMaskTyped | kMaskForce, 3, "20.00"), Status::kOk);
  EXPECT_EQ(Counter("CNT"), 2);

  // A date typed in the language's form is stored as YYYYMMDD.
  ASSERT_EQ(Set(kMaskTyped, 4, "12/31/2020"), Status::kOk);
  EXPECT_EQ(Field(4), "20201231");
  EXPECT_EQ(Record("SINCE"), "20201231");
  EXPECT_EQ(windows_.Text(1, 4), "12-31-2020");
  EXPECT_EQ(Set(kMaskTyped, 4, "2/30/2020"), Status::kBadInputData);
  EXPECT_EQ(Field(4), "20201231");
}

TEST_F(Values, LogicalsHiddenFieldsAndCheckBoxes) {
  LoadCustomer();
  ASSERT_EQ(Set(kMaskTyped, 5, "n"), Status::kOk);
  EXPECT_EQ(Field(5), "0");
  EXPECT_EQ(windows_.Text(1, 5), "N");
  ASSERT_EQ(Set(kMaskTyped, 5, "1"), Status::kOk);  // a stored form passes as it is
  EXPECT_EQ(Field(5), "1");
  (void)SetBits(kAuxStat, 16);
  ASSERT_EQ(Set(kMaskTyped, 5, "N"), Status::kOk);
  EXPECT_EQ(windows_.calls.back(), "check 1 5 0");

  // A hidden field keeps its value but never reaches a control.
  windows_.calls.clear();
  ASSERT_EQ(Set(kMaskTyped, 8, "secret"), Status::kOk);
  EXPECT_EQ(Field(8), "secret  ");
  EXPECT_TRUE(windows_.calls.empty());
  EXPECT_EQ(Eval("_SCRF8$"), "secret  ");
}

TEST_F(Values, ClearingTakesEmptyTextsWithoutConversion) {
  LoadCustomer();
  ASSERT_EQ(ScreenRefreshRange(kMaskCompute, 1, -1), Status::kOk);
  ASSERT_EQ(ScreenRefreshRange(kMaskStoreEmpty, 1, -1), Status::kOk);
  for (int n : {1, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Field(n).find_first_not_of(' '), std::string::npos);
    EXPECT_EQ(windows_.Text(1, n), "");
  }
  EXPECT_EQ(Record("CODE"), "      ");  // mask 17 clears the record too
  EXPECT_EQ(Record("BALANCE"), "          ");
}

TEST_F(Values, FailuresStopAtTheFieldAndLeaveItsValue) {
  // ASSIGN$ that fails: message 0017 in the detail, the refresh stops there.
  ASSERT_EQ(ScreenOpenFieldList("'a':'N3','b':'N3' /ASSIGN$=\"'x'+1,7\"", 0), Status::kOk);
  ClearDetail();
  EXPECT_EQ(ScreenRefreshRange(kMaskCompute, 1, -1), Status::kTypeMismatch);
  EXPECT_NE(GetDetail().view().find("Bad params for screen field 1\r\n ('x'+1)"),
            std::string_view::npos)
      << GetDetail().str();
  EXPECT_EQ(Field(2), "   ");
  ASSERT_EQ(ScreenRefreshFields(kMaskCompute, {2}), Status::kOk);
  EXPECT_EQ(Field(2), "  7");

  // A number that does not fit, and a control that cannot be set.
  EXPECT_EQ(Set(kMaskTyped, 2, "12345"), Status::kDataOutBound);
  EXPECT_EQ(Field(2), "  7");
  windows_.failing_field = 2;
  EXPECT_EQ(Set(kMaskTyped, 2, "8"), Status::kWindowsControlError);
  EXPECT_EQ(Field(2), "  7");
  EXPECT_EQ(Set(kMaskTyped, 3, "8"), Status::kDataOutBound);  // beyond the screen
}

TEST_F(Values, CalculatorAppletsAddEachAmount) {
  // Tot is recomputed after Kgs changes.
  ASSERT_EQ(ScreenOpenFieldList("'Kgs:':'26','Tot:':'26' /FD$=\"_SUM#,_TOT#\":"
                                "ASSIGN$=\",_SUM#+_TOT#\":_SUM#$=\"_TOT#\":NOEDIT$=\"_TOT#\"",
                                0),
            Status::kOk);
  ASSERT_EQ(Set(kMaskTypedFiles, 1, "5"), Status::kOk) << GetDetail().str();
  ASSERT_EQ(Set(kMaskTypedFiles, 1, "3"), Status::kOk);
  EXPECT_EQ(Eval("_TOT#"), "8");
  EXPECT_EQ(Def(2).edit_order, 0);
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);

  // The amount field returns to 0 after each addition.
  ASSERT_EQ(ScreenOpenFieldList("'Kgs:':'26':,'Tot:':'26' /ASSIGN$=\"0,_SCRF1#+_SCRF2#\":"
                                "_SCRF1#$=\"_SCRF2#,_SCRF1#\":NOEDIT$=\"_SCRF2#\"",
                                0),
            Status::kOk);
  ASSERT_EQ(Set(kMaskTypedFiles, 1, "5"), Status::kOk) << GetDetail().str();
  ASSERT_EQ(Set(kMaskTypedFiles, 1, "3.5"), Status::kOk);
  EXPECT_EQ(Field(2), "  8.50");
  EXPECT_EQ(Field(1), "  0.00");
  EXPECT_EQ(windows_.Text(1, 1), "0.00");
}

TEST_F(Values, UpdateListsCloseOverEachFieldOnce) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'N3','b':'N3','c':'N3' /FD$=\"_A#,_B#,_C#\":"
                                "UPDFIELDS$=\"_B#,_C#,_A#\":ASSIGN$=\"NA=NA+1,NB=NB+1,NC=NC+1\"",
                                0),
            Status::kOk);
  ASSERT_EQ(Set(kMaskTyped, 1, "5"), Status::kOk) << GetDetail().str();
  EXPECT_EQ(Eval("NA"), "1");
  EXPECT_EQ(Eval("NB"), "1");
  EXPECT_EQ(Eval("NC"), "1");
  EXPECT_EQ(Field(1), "  1");  // recomputed last, without dependants of its own
}

TEST_F(Values, ScreenFieldHandlerReadsAndAssignsFieldsByName) {
  ASSERT_EQ(ScreenOpenFieldList("'Host:':'A10','On:':'L1','Qty:':'N3','Bad':'A1':1BAD@", 0),
            Status::kOk);
  ASSERT_EQ(Set(kMaskTyped, 1, "srv"), Status::kOk);
  EXPECT_EQ(Eval("_SCRF1$"), "srv       ");
  EXPECT_EQ(Eval("_SCRF2#"), "0");  // a blank logical reads 0

  // Assigning changes the buffer only: no control, no checks.
  windows_.calls.clear();
  Run("_SCRF3#=7.4");
  EXPECT_EQ(Field(3), "  7");
  EXPECT_TRUE(windows_.calls.empty());
  Run("_SCRF3#='12'");
  EXPECT_EQ(Field(3), " 12");
  {
    AreaMark mark;
    EXPECT_EQ(ScreenFieldHook(kScreenFieldReadSaved, "_SCRF3#", nullptr).str(), "   ");
    EXPECT_EQ(ScreenFieldHook(kScreenFieldRead, "_NONE$,_SCRF1$", nullptr).str(), "srv       ");
    EXPECT_EQ(ScreenFieldHook(kScreenFieldRead, "_SCRF4$", nullptr).status(),
              Status::kVarNameError);  // unusable: its own status
    EXPECT_EQ(ScreenFieldHook(kScreenFieldRead, "_OTHER$", nullptr).status(),
              Status::kBadInputData);
  }
  EXPECT_EQ(Eval("_SCRF3#=1234"), "<168>");  // does not fit: the storing status
  EXPECT_EQ(Field(3), " 12");

  // Names that are no fields are ordinary variables.
  Run("_OTHER$='x'");
  EXPECT_EQ(Eval("_OTHER$"), "x");
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);
  EXPECT_EQ(Eval("_SCRF1$"), "");
}

TEST_F(Values, SelectionsByMaskNameAndFilledCondition) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'A3','b':'N3','c':'A3','d':'A3' /FD$=\"_A$,_B#,_C$,_D$\":"
                                "EDIT$=\"_D$,_A$\":ASSIGN$=\",1\":HIDDEN$=\"_C$\"",
                                0),
            Status::kOk);
  EXPECT_EQ(ScreenFieldByName("_C$"), 3);
  EXPECT_EQ(ScreenFieldByName("_c$"), 0);
  EXPECT_EQ(ScreenFieldsByNames("_D$,_X$;_A$"), (std::vector<int>{4, 1}));
  EXPECT_EQ(ScreenSelectFields(kFieldComputed, 1, -1), (std::vector<int>{2}));
  EXPECT_EQ(ScreenSelectFields(0, 2, 3), (std::vector<int>{2, 3}));
  EXPECT_EQ(ScreenSelectFields(kFieldEditable, 1, -1), (std::vector<int>{4, 1, 2}));
  EXPECT_EQ(ScreenSelectFields(kFieldEditable, 2, 3), (std::vector<int>{1, 2}));

  ASSERT_EQ(Set(kMaskTyped, 1, "x"), Status::kOk);
  ASSERT_EQ(Set(kMaskTyped, 2, "5"), Status::kOk);
  AreaMark mark;
  Slice joined = ScreenFilledCondition("A='[_A$]',B==2,C==3,D==4,E==5", 18);
  EXPECT_EQ(joined.str(), "A='x'&&B==2&&E==5");
}

}  // namespace
}  // namespace tessaly
