// Navigation, actions and the life of instances: the order of fields and
// the line part, moving with checks, the dispatcher and its callbacks,
// closing, SCRBACK, shared definitions, switching, geometry, controls.

#include <string>
#include <vector>

#include "core/assertion.h"
#include "data/parameters.h"
#include "screen_fixture.h"

namespace tessaly {
namespace {

using Flow = ScreenTest;

TEST_F(Flow, NextFieldWrapsInsideTheLinePartAndEndsOutsideIt) {
  ASSERT_EQ(LoadCustom(3), Status::kOk) << GetDetail().str();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ASSERT_EQ(def->field_count(), 6);
  ASSERT_EQ(def->bounds_first, 3);
  ASSERT_EQ(def->bounds_last, 5);
  struct Case {
    int from, direction, to;
    bool wrapped;
  };
  const Case cases[] = {
      {5, +1, 3, true},    // last of the line part: back to its first
      {3, -1, 5, true},
      {4, +1, 5, false},
      {2, +1, 3, false},   // the header walks into the line part
      {6, +1, -1, false},  // past the last field: the end of the screen
      {1, -1, -1, false},
      {0, +1, 1, false},   // no field yet: the first one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " " + std::to_string(c.direction));
    SetWord(kScrStat, 0);
    EXPECT_EQ(ScreenNextField(c.from, c.direction), c.to);
    EXPECT_EQ(TestBits(kScrStat, 16), c.wrapped);
  }

  // End of header: the summary in line editing, else the end of the screen.
  ScreenCurrentInstance()->current_field = 4;
  EXPECT_EQ(ScreenDispatch(22), Status(64));
  ScreenCurrentInstance()->mode = kModeLineEditing;
  EXPECT_EQ(ScreenDispatch(22), Status::kOk);
  EXPECT_EQ(ScreenCurrentInstance()->current_field, 6);
  EXPECT_EQ(windows_.focus_field, 6);
}

TEST_F(Flow, HiddenNoeditAndUnusableFieldsAreNotVisited) {
  ASSERT_EQ(LoadCustom(1), Status::kOk);
  EXPECT_EQ(ScreenNextField(4, +1), 5);
  EXPECT_EQ(ScreenNextField(5, +1), -1);  // 6 not editable, 7 unusable, 8 hidden
  EXPECT_EQ(ScreenNextField(6, +1), -1);  // not a candidate itself
  EXPECT_EQ(ScreenNextField(0, -1), 5);
}

// Remembers the actions a handler saw and what its field hook answered.
struct Recorder {
  std::vector<std::string> seen;
  Status answer = Status::kOk;
  int hook_until = 0;
  static Status Action(void* self, int action) {
    auto* r = static_cast<Recorder*>(self);
    r->seen.push_back("a" + std::to_string(action));
    ScreenCurrentInstance()->mode = static_cast<uint8_t>(action);
    return r->answer;
  }
  static int Hook(void* self, int before, int after, int action) {
    auto* r = static_cast<Recorder*>(self);
    r->seen.push_back("h" + std::to_string(before) + "," + std::to_string(after));
    return action < r->hook_until ? action + 1 : -1;
  }
  static Status Close(void* self, int action, Status fallback) {
    static_cast<Recorder*>(self)->seen.push_back("c" + std::to_string(action) + "," +
                                                  std::to_string(fallback.code()));
    return fallback;
  }
};

TEST_F(Flow, MovingPastAFailingCheckIsRefusedAndReported) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'N3','b':'N3','c':'N3' /ALARM$=\"_SCRF1#>0,,_SCRF3#>0\"", 0),
            Status::kOk);
  Recorder r;
  ScreenActionSet({&Recorder::Action, nullptr, nullptr, &r});
  ASSERT_EQ(ScreenMoveTo(1), Status::kOk);
  EXPECT_EQ(ScreenMoveTo(2), Status::kBadUserData);
  EXPECT_EQ(r.seen, std::vector<std::string>{"a30"});
  EXPECT_EQ(ScreenCurrentInstance()->current_field, 1);
  EXPECT_EQ(Word(kCurEdFld), 2);

  ASSERT_EQ(Set(kMaskTyped, 1, "5"), Status::kOk);
  ASSERT_EQ(ScreenMoveTo(3), Status::kOk);
  EXPECT_EQ(ScreenCurrentInstance()->current_field, 3);
  EXPECT_EQ(windows_.focus_field, 3);
  ASSERT_EQ(Set(kMaskTyped, 1, "0"), Status::kOk);
  EXPECT_EQ(ScreenMoveTo(1), Status::kOk);  // going back checks nothing

  // The default actions: Enter through the fields; at the end the last
  // field's check decides between a refusal and the end of the screen.
  ScreenActionSet({});
  ASSERT_EQ(Set(kMaskTyped, 1, "1"), Status::kOk);
  EXPECT_EQ(ScreenDispatch(1), Status::kOk);
  EXPECT_EQ(ScreenDispatch(31), Status::kOk);
  EXPECT_EQ(ScreenCurrentInstance()->current_field, 3);
  EXPECT_EQ(ScreenDispatch(1), Status::kBadUserData);
  ASSERT_EQ(Set(kMaskTyped, 3, "2"), Status::kOk);
  EXPECT_EQ(ScreenDispatch(1), Status(64));
  EXPECT_EQ(ScreenDispatch(2), Status::kOk);
  EXPECT_EQ(ScreenCurrentInstance()->current_field, 2);
  EXPECT_EQ(ScreenDispatch(99), Status::kBadInputData);
}

TEST_F(Flow, RestoreFieldTakesTheSavedTextAgain) {
  ASSERT_EQ(LoadCustom(1), Status::kOk);
  SetWord(kCurFil, 1);
  Store("BALANCE", "12.5");
  ASSERT_EQ(ScreenRefreshRange(kMaskCompute, 1, -1), Status::kOk);
  ASSERT_EQ(ScreenTakeSaved(), Status::kOk);
  ASSERT_EQ(Set(kMaskTyped, 3, "99"), Status::kOk);
  ScreenCurrentInstance()->current_field = 3;
  EXPECT_EQ(ScreenDispatch(20), Status::kOk);
  EXPECT_EQ(Field(3), "     12.50");
  EXPECT_EQ(Field(6), "     25.00");  // and its dependants again
  EXPECT_EQ(Record("BALANCE"), "     12.50");
}

TEST_F(Flow, DispatcherRunsTheHandlerAndItsFieldHookInTurn) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'N3'", 0), Status::kOk);
  Recorder r;
  r.hook_until = 3;
  ScreenActionSet({&Recorder::Action, &Recorder::Hook, nullptr, &r});
  EXPECT_EQ(ScreenDispatch(1), Status::kOk);
  EXPECT_EQ(r.seen, (std::vector<std::string>{"a1", "h0,1", "a2", "h1,2", "a3", "h2,3"}));

  // Bit 2 of a result below 122 is dropped; a status stops the round.
  r.seen.clear();
  r.answer = Status(6);
  EXPECT_EQ(ScreenDispatch(1), Status(4));
  EXPECT_EQ(r.seen, std::vector<std::string>{"a1"});
  r.seen.clear();
  r.answer = Status(2);
  EXPECT_EQ(ScreenDispatch(3), Status::kOk);
  EXPECT_EQ(r.seen, (std::vector<std::string>{"a3", "h1,3"}));

  // Disabled callbacks: the defaults answer and nothing can be installed.
  r.seen.clear();
  ScreenCurrentInstance()->state = kStateCallbacksOff;
  EXPECT_EQ(ScreenDispatch(99), Status::kBadInputData);
  ScreenActionSet({});
  EXPECT_NE(ScreenCurrentInstance()->callbacks.action, nullptr);
  EXPECT_TRUE(r.seen.empty());
}

TEST_F(Flow, CloseHookPathAndCloseDecision) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'A3' /ON_CANCEL$=\"CANCELS=CANCELS+1\":"
                                "ON_CONFIRM$=\"SCRBACK=KEEP$\"",
                                0),
            Status::kOk);
  Recorder r;
  ScreenActionSet({nullptr, nullptr, &Recorder::Close, &r});
  ASSERT_EQ(Set(kMaskTyped, 1, "abc"), Status::kOk);

  EXPECT_EQ(ScreenCloseAction(21), Status(24));
  EXPECT_EQ(ScreenCloseAction(28), Status(4));
  EXPECT_EQ(Eval("CANCELS"), "2");
  SetWord(kLastKey, 9);
  EXPECT_EQ(ScreenCloseAction(25 | (100 << 8)), Status(24));
  EXPECT_EQ(Word(kLastKey), 0);
  EXPECT_EQ(Eval("KEEP$"), "abc");
  EXPECT_EQ(r.seen, (std::vector<std::string>{"c21,24", "c28,4", "c25,24"}));

  // SCRBACK as a restore fills the saved buffer.
  Run("KEEP$='xy'");
  bool handled = false;
  EXPECT_EQ(ScreenScrback("SCRBACK=KEEP$", ScrbackUse::kRestore, &handled), Status::kOk);
  EXPECT_TRUE(handled);
  EXPECT_EQ(Saved(1), "xy ");
  EXPECT_EQ(ScreenScrback("A=1", ScrbackUse::kRestore, &handled), Status::kOk);
  EXPECT_FALSE(handled);

  // The close decision.
  EXPECT_EQ(ScreenCloseDecision(25, Status(130), 0), Status(130));
  EXPECT_EQ(ScreenCloseDecision(21, Status::kOk, 0), Status(24));
  EXPECT_EQ(ScreenCloseDecision(25, Status(7), 0), Status(7));
  EXPECT_EQ(ScreenInstanceCount(), 1);
  EXPECT_EQ(ScreenCloseDecision(28, Status::kOk, 0), Status(4));
  EXPECT_EQ(ScreenInstanceCount(), 0);

  // A failing cancel check keeps the window open with its status.
  ASSERT_EQ(ScreenOpenFieldList("'a':'A3' /ON_CANCEL$=\"'x'+1\"", 0), Status::kOk);
  EXPECT_EQ(ScreenCloseAction(21), Status::kTypeMismatch);
}

TEST_F(Flow, SameScreenTwiceSharesOneDefinition) {
  ASSERT_EQ(LoadCustom(1), Status::kOk);
  ScreenGeometry g = ScreenGeometryInForce();
  EXPECT_EQ(g.columns, 90);  // SCREENSIZE$ of the options
  EXPECT_EQ(g.rows, 30);
  EXPECT_EQ(g.left, 1);
  ASSERT_EQ(LoadCustom(1), Status::kOk);
  EXPECT_EQ(ScreenInstanceCount(), 2);
  EXPECT_EQ(ScreenDefinitionCount(), 1);
  EXPECT_EQ(ScreenCurrentDefinition()->references, 2);
  EXPECT_EQ(windows_.Label(1, 2, 3), "Code:");  // drawn again for the new window
  EXPECT_EQ(strtab::Count(34), 2);  // each load's extra text for its first focus

  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);
  EXPECT_EQ(ScreenDefinitionCount(), 1);
  EXPECT_EQ(ScreenCurrentNumber(), 0);
  // Closing resets the geometry: no override, no base margins.
  g = ScreenGeometryInForce();
  EXPECT_EQ(g.columns, 80);
  EXPECT_EQ(g.left, 0);
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);
  EXPECT_EQ(ScreenDefinitionCount(), 0);
  EXPECT_EQ(ScreenCurrentNumber(), -1);
  EXPECT_EQ(ScreenCloseInstance(), Status::kScreenStructError);
  EXPECT_EQ(Field(1), "<143>");
}

TEST_F(Flow, SwitchingKeepsEachInstancesRecordAndKeyMap) {
  ASSERT_EQ(LoadCustom(1), Status::kOk);  // key map 1
  Store("CODE", "AAA");
  ASSERT_EQ(ScreenOpenFieldList("'x':'A1'", 0, 1), Status::kOk);  // key map 0, same file
  EXPECT_EQ(Word(kKeyMap), 0);
  Store("CODE", "BBB");
  ASSERT_EQ(ScreenSwitchTo(0), Status::kOk);
  EXPECT_EQ(Record("CODE"), "AAA   ");
  EXPECT_EQ(Word(kKeyMap), 1);
  ASSERT_EQ(ScreenSwitchTo(1), Status::kOk);
  EXPECT_EQ(Record("CODE"), "BBB   ");
  EXPECT_EQ(Word(kKeyMap), 0);
  // Closing the top makes the one below current with its record.
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);
  EXPECT_EQ(ScreenCurrentNumber(), 0);
  EXPECT_EQ(Record("CODE"), "AAA   ");
}

TEST_F(Flow, GeometryOverrideFollowsScreensize) {
  ScreenGeometrySetMargins(3, 2, 1);  // on the base while no override is in force
  EXPECT_EQ(ScreenBaseGeometry().left, 3);
  ScreenGeometrySet("100,,,5");
  ScreenGeometry g = ScreenGeometryInForce();
  EXPECT_EQ(g.columns, 100);
  EXPECT_EQ(g.rows, 24);  // copied from the base
  EXPECT_EQ(g.left, 3);
  EXPECT_EQ(g.top, 5);
  ScreenGeometrySet(",0");  // a height of 0 clears the top and bottom margins
  g = ScreenGeometryInForce();
  EXPECT_EQ(g.top, 0);
  EXPECT_EQ(g.bottom, 0);
  ScreenGeometrySet("0");  // a width of 0: the base is in force again
  EXPECT_EQ(ScreenGeometryInForce().columns, 80);
  ScreenGeometryReset();
  EXPECT_EQ(ScreenBaseGeometry().left, 0);
}

TEST_F(Flow, FieldControlsOfTheHeaderAndSummary) {
  (void)SetBits(kAuxStat, 16);
  ASSERT_EQ(LoadCustom(1), Status::kOk);
  ASSERT_EQ(ScreenSetWin(4), Status::kOk);
  EXPECT_EQ(ScreenCurrentDefinition()->window_flags, 4);
  EXPECT_EQ(windows_.CallsStartingWith("control"),
            (std::vector<std::string>{"control 1 1 2,9 6/6 A", "control 1 2 3,9 20/20 A",
                                      "control 1 3 4,9 10/10 2 a", "control 1 4 5,9 10/10 D",
                                      "control 1 5 6,9 1/1 L ac", "control 1 6 7,9 10/10 2 ra"}));
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);

  windows_.Clear();
  ASSERT_EQ(LoadCustom(3), Status::kOk);
  ASSERT_EQ(ScreenSetWin(0), Status::kOk);
  EXPECT_EQ(windows_.CallsStartingWith("control").size(), 3u);  // not the line part
  windows_.Clear();
  ASSERT_EQ(strtab::Push(38, "x"), Status::kOk);
  ASSERT_EQ(ScreenSetWin(1), Status::kOk);
  EXPECT_TRUE(windows_.calls.empty());
  EXPECT_EQ(strtab::Count(38), 0);
}

TEST_F(Flow, ScreenOptionsAreReadFromTheCurrentScreen) {
  ASSERT_EQ(ScreenOpenFieldList("'a':'A3' /SET$=\"A=1,B=2\":HELP$=\"%HOMEPATH%\"", 0), Status::kOk);
  AreaMark mark;
  EXPECT_EQ(ScreenOption(kKwSet, 2).str(), "B=2");
  EXPECT_EQ(ScreenCurrentDefinition()->set, "A=1,B=2");
  EXPECT_FALSE(ScreenOption(kKwHelp).empty());
  EXPECT_EQ(ScreenOption(kKwHelp).view().find('%'), std::string_view::npos);
  EXPECT_EQ(strtab::Count(strtab::kSettingsFiles), 0);  // the options are no longer pushed
}

void NoLog(Slice) {}

TEST_F(Flow, InstallingCallbacksWithoutAScreenIsAnAssertion) {
  SetAssertionLogWriter(&NoLog);
  EXPECT_EXIT(ScreenActionSet({}), ::testing::ExitedWithCode(kAssertionExitCode),
              "ScreenActionSet");
  SetAssertionLogWriter(nullptr);
}

}  // namespace
}  // namespace tessaly
