// Selection windows over the recording window layer: the user's picks are
// scripts of row selections and actions.

#include "ui/choose.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "ui/recording_window_layer.h"

namespace tessaly {
namespace {

constexpr int kOk = 25 | (100 << 8);
constexpr int kCancelButton = 25 | (101 << 8);
constexpr int kEnterOnRow = 94;
constexpr int kEsc = 21;
constexpr int kCloseBox = 28;
constexpr int kNone = -2;  // leave the selection as it is
constexpr int kUnselect = -1;

struct Step {
  int select;  // row to select first, kNone or kUnselect
  int action;
};

struct PickCase {
  const char* name;
  bool several;
  std::vector<Step> steps;
  const char* expected;  // ChooseItem's number, or ChooseItems' list
};

class ChooseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    strtab::ClearAll();
    windows_.top = kNoWindow;
    old_ = SetWindowLayer(&windows_);
  }
  void TearDown() override { SetWindowLayer(old_); }

  // Plays `steps` as the user in the window being run; the window must
  // close by the last step.
  void Script(const std::vector<Step>& steps) {
    windows_.on_run = [steps](RecordingWindowLayer& w, WindowId window) {
      int view = w.list_views.begin()->first;
      for (const Step& step : steps) {
        ASSERT_EQ(w.open.count(window), 1u);
        ASSERT_FALSE(w.open[window].closed) << "closed before the last step";
        if (step.select == kUnselect) {
          (void)w.ListViewSelect(view, w.ListViewSelected(view), false);
        } else if (step.select != kNone) {
          ASSERT_EQ(w.ListViewSelect(view, step.select, true), Status::kOk);
        }
        EXPECT_EQ(w.Dispatch(window, step.action), Status::kOk);
      }
      EXPECT_TRUE(w.open[window].closed) << "still open after the last step";
    };
  }

  RecordingWindowLayer windows_;
  WindowLayer* old_ = nullptr;
};

class ChoosePickTest : public ChooseTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(ChoosePickTest, PicksAsTheUserDid) {
  const PickCase& c = GetParam();
  Script(c.steps);
  AreaMark mark;
  std::string got;
  if (c.several) {
    Slice picked = ChooseItems("Target File", " A.PRX, B.PRX ,C.PRX,D.PRX");
    ASSERT_TRUE(picked.ok());
    got = picked.str();
  } else {
    got = std::to_string(ChooseItem("Font", "24;12;;Mono,20;10;BOLD;Mono,16;8;;Sans"));
  }
  EXPECT_EQ(got, c.expected);
  EXPECT_TRUE(windows_.list_views.empty()) << "the list view slot is given back";
  EXPECT_EQ(windows_.WindowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Picks, ChoosePickTest,
    ::testing::Values(
        PickCase{"EnterTakesTheFirstRowSelectedAtTheStart", false, {{kNone, kEnterOnRow}}, "1"},
        PickCase{"OkTakesTheSelectedRow", false, {{2, kOk}}, "3"},
        PickCase{"EscPicksNone", false, {{1, kEsc}}, "0"},
        PickCase{"CancelButtonPicksNone", false, {{1, kCancelButton}}, "0"},
        PickCase{"CloseBoxPicksNone", false, {{1, kCloseBox}}, "0"},
        PickCase{"OkWithoutASelectionWaits", false, {{kUnselect, kOk}, {1, kOk}}, "2"},
        PickCase{"EnterMarksAndOkTakesTheMarks",
                 true,
                 {{2, kEnterOnRow}, {0, kEnterOnRow}, {3, kEnterOnRow}, {3, kEnterOnRow}, {1, kOk}},
                 "1,3"},
        PickCase{"OkWithoutMarksTakesTheSelectedRow", true, {{3, kOk}}, "4"},
        PickCase{"EscDropsTheMarks", true, {{1, kEnterOnRow}, {kNone, kEsc}}, ""}),
    [](const ::testing::TestParamInfo<PickCase>& info) { return info.param.name; });

TEST_F(ChooseTest, TheWindowListsTheTrimmedItemsWithOkAndCancel) {
  WindowId run = kNoWindow;
  windows_.on_run = [&run](RecordingWindowLayer& w, WindowId window) {
    run = window;
    ASSERT_EQ(w.list_views.size(), 1u);
    const auto& view = w.list_views.begin()->second;
    EXPECT_EQ(view.window, window);
    ASSERT_EQ(view.rows.size(), 3u);
    // The mark column first, then the item.
    EXPECT_EQ(view.rows[1][1], "B.PRX");
    EXPECT_EQ(view.rows[1][0], "");
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(w.control_texts[std::make_pair(window, 3100)], "Ok");
    EXPECT_EQ(w.control_texts[std::make_pair(window, 3101)], "Cancel");
    (void)w.Dispatch(window, kEnterOnRow);
    EXPECT_EQ(w.list_views.begin()->second.rows[0][0], "X");
    (void)w.Dispatch(window, kOk);
  };
  AreaMark mark;
  EXPECT_EQ(ChooseItems("Target File", "A.PRX, B.PRX ,C.PRX").str(), "1");
  std::vector<std::string> opened = windows_.CallsStartingWith("open ");
  ASSERT_EQ(opened.size(), 1u);
  std::string kind_4 = "open " + std::to_string(run) + " 4 ";
  EXPECT_EQ(opened[0].substr(0, kind_4.size()), kind_4);
  EXPECT_NE(opened[0].find("Target File"), std::string::npos);
}

TEST_F(ChooseTest, WithoutWindowsThereIsNothingToChooseIn) {
  SetWindowLayer(nullptr);
  AreaMark mark;
  EXPECT_EQ(ChooseItem("Font", "a,b"), -1);
  Slice many = ChooseItems("Target File", "a,b");
  EXPECT_FALSE(many.ok());
  EXPECT_EQ(many.status(), Status::kFeatureRemoved);
  // Nothing offered: nothing chosen, with or without windows.
  EXPECT_EQ(ChooseItem("Font", ""), 0);
}

}  // namespace
}  // namespace tessaly
