#include "core/status.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>

#include "core/assertion.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/runtime_arrays.h"
#include "core/slice.h"
#include "core/string_area.h"
#include "core/string_tables.h"

namespace tessaly {

// Failures show texts, not bytes. (The same inline definition in every test
// file of the layer.)
inline void PrintTo(const Slice& s, std::ostream* os) {
  if (s.ok()) {
    *os << '"' << s.view() << '"';
  } else {
    *os << "error slice " << s.status().code();
  }
}

namespace {

class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    strtab::ClearAll();
    ResetLanguage();
    ForceLastError(0, 0);
    depth_ = Area().Mark();
  }
  void TearDown() override {
    Area().Release(depth_);
    ForceLastError(0, 0);
    strtab::ClearAll();
    SetHeadlessAnswer(HeadlessAnswer::kFromEnvironment);
  }
  RecordingMessageBoxUi ui_;
  ScopedMessageBoxUi scoped_{&ui_};
  int depth_ = 0;
};

TEST_F(StatusTest, Names) {
  const struct {
    uint16_t code;
    const char* name;
  } kCases[] = {
      {121, "Undefined"},           {122, "User Canceled"}, {145, "OUTOFMEMORY"},
      {164, "File Not Found"},      {174, "Undefined"},     {182, "Undefined"},
      {185, "Graphic Support Low"}, {186, "Undefined"},     {0, "Undefined"},
      {65535, "Undefined"},
  };
  for (const auto& c : kCases) EXPECT_STREQ(StatusName(c.code), c.name) << c.code;
  EXPECT_STREQ(ErrorAreaName(9), "ExecRunTime");
  EXPECT_STREQ(ErrorAreaName(22), "HtmlScan");
  EXPECT_STREQ(ErrorAreaName(23), "");
}

TEST_F(StatusTest, RecordingLevels) {
  EXPECT_EQ(RecordError(1, ErrorArea::kDataFile, 124, Status(7)), 7);  // a warning is not recorded
  EXPECT_EQ(GetLastError().code, 0);
  (void)RecordError(0, ErrorArea::kDataFile, Status::kDiskIo);
  EXPECT_EQ(GetLastError().code, 0);
  (void)RecordError(1, ErrorArea::kStreams, Status::kDiskIo);
  (void)RecordError(1, ErrorArea::kExpExec, Status::kBadExpression);
  EXPECT_EQ(GetLastError().code, Status::kDiskIo);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kStreams));
  (void)RecordError(2, ErrorArea::kExpExec, Status::kBadExpression);
  EXPECT_EQ(GetLastError().code, Status::kBadExpression);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kExpExec));

  Slice value("v");
  EXPECT_EQ(ErrorSliceOr(0, ErrorArea::kSort, 150, value), value);
  EXPECT_EQ(ErrorSliceOr(2, ErrorArea::kSort, 150, value), Slice::Error(150));
  EXPECT_EQ(GetLastError().code, 150);
}

TEST_F(StatusTest, DetailReplacesAndAppendsWithinItsLimit) {
  EXPECT_EQ(SetDetail(Status::kFileNotFound, "a.dat"), Status::kFileNotFound);
  EXPECT_EQ(GetDetail(), Slice("a.dat"));
  (void)SetDetail(Status::kOk, "b.dat", true);
  EXPECT_EQ(GetDetail(), Slice("a.dat\r\nb.dat"));
  (void)SetDetail(Status::kOk, "c.dat");
  EXPECT_EQ(GetDetail(), Slice("c.dat"));

  // Many appends: the earliest lines are kept, the text stays bounded.
  for (int i = 0; i < 500; ++i) (void)SetDetail(Status::kOk, "line of twenty bytes", true);
  (void)SetDetail(Status::kOk, "newest", true);
  std::string d = GetDetail().str();
  EXPECT_LE(d.size(), 1024u + 2 + 6);
  EXPECT_EQ(d.substr(0, 7), "c.dat\r\n");
  EXPECT_EQ(d.substr(d.size() - 8), "\r\nnewest");

  // An earlier text without any CR is cut at 1024 bytes.
  (void)SetDetail(Status::kOk, Slice::Of(std::string(3000, 'x')));
  (void)SetDetail(Status::kOk, "y", true);
  EXPECT_EQ(GetDetail().str(), std::string(1024, 'x') + "\r\ny");
  ClearDetail();
  EXPECT_EQ(GetDetail(), Slice(""));
}

TEST_F(StatusTest, StatusText) {
  const struct {
    uint16_t code;
    uint16_t recorded_area;
    const char* detail;
    const char* expected;
  } kCases[] = {
      {0, 0, "", "Process Completed Succesfully"},
      {5, 0, "x", "Warning "},
      {121, 0, "", "Undefined"},
      {121, 0, "stopped", "stopped"},
      {126, 0, "", "Bad user data"},
      {126, 0, "Field 3", "Field 3"},
      {124, 9, "x", "Undef.Warning"},
      {145, 9, "x", "Error OUTOFMEMORY(ExecRunTime): x"},
      {164, 0, "", "Error File Not Found"},
      {164, 0, "CLI.DAT", "Error File Not Found: CLI.DAT"},
      {174, 18, "", "Error Undefined(DataFile)"},
      {131, 40, "", "Error File I/O(40)"},
  };
  for (const auto& c : kCases) {
    ForceLastError(c.code, c.recorded_area);
    (void)SetDetail(Status::kOk, c.detail);
    EXPECT_EQ(StatusText(c.code).str(), c.expected) << c.code;
  }
  ForceLastError(Status::kFileIo, 17);
  (void)SetDetail(Status::kOk, "");
  EXPECT_EQ(StatusText(Status::kUndefined), Slice("Error File I/O(Streams)"));
}

TEST_F(StatusTest, ShowErrorPicksCaptionAndIconAndDeletesTheDetail) {
  (void)SetDetail(Status::kOk, "CLI.DAT");
  ForceLastError(Status::kFileNotFound, 0);
  EXPECT_EQ(ShowError(Status::kFileNotFound), Status::kFileNotFound);
  (void)SetDetail(Status::kOk, "");
  EXPECT_EQ(ShowError(Status::kUserCanceled), Status::kUserCanceled);
  ForceLastError(Status::kDiskIo, 0);
  EXPECT_EQ(ShowError(Status::kUndefined), Status::kDiskIo);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[0].text, "Error File Not Found: CLI.DAT");
  EXPECT_EQ(ui_.boxes[0].caption, "Fatal Error Ocurred");
  EXPECT_EQ(ui_.boxes[0].icon, BoxIcon::kStop);
  EXPECT_EQ(ui_.boxes[1].text, "User Canceled");
  EXPECT_EQ(ui_.boxes[1].caption, "Information Message");
  EXPECT_EQ(ui_.boxes[1].icon, BoxIcon::kWarning);
  EXPECT_EQ(ui_.boxes[2].text, "Error Disk I/O");
  EXPECT_EQ(GetDetail(), Slice(""));
}

TEST_F(StatusTest, BoxKindsCaptionsAndAnswers) {
  const struct {
    BoxKind kind;
    const char* caption;
    BoxIcon icon;
    BoxButton pressed;
    int answer;
  } kCases[] = {
      {BoxKind::kInformation, "Information Request", BoxIcon::kInformation, BoxButton::kOk, 'Y'},
      {BoxKind::kWarning, "Information Message", BoxIcon::kWarning, BoxButton::kOk, 'Y'},
      {BoxKind::kOkCancel, "Information Request", BoxIcon::kInformation, BoxButton::kCancel, 3},
      {BoxKind::kStop, "Fatal Error Ocurred", BoxIcon::kStop, BoxButton::kOk, 'Y'},
      {BoxKind::kRetryCancel, "Information Message", BoxIcon::kStop, BoxButton::kRetry, 'Y'},
      {BoxKind::kYesNo, "Information Request", BoxIcon::kInformation, BoxButton::kNo, 'N'},
      {BoxKind::kYesNoCancel, "Information Request", BoxIcon::kInformation, BoxButton::kCancel, 3},
      // A button the box does not have counts as closing it.
      {BoxKind::kYesNo, "Information Request", BoxIcon::kInformation, BoxButton::kRetry, 'N'},
      {static_cast<BoxKind>(9), "Information Request", BoxIcon::kInformation, BoxButton::kOk, 'Y'},
  };
  for (const auto& c : kCases) {
    ui_.Answer(c.pressed);
    EXPECT_EQ(ShowMessageBox("text", c.kind), c.answer) << static_cast<int>(c.kind);
    EXPECT_EQ(ui_.boxes.back().caption, c.caption);
    EXPECT_EQ(ui_.boxes.back().icon, c.icon);
  }
  EXPECT_EQ(ui_.drains, static_cast<int>(std::size(kCases)));
  ui_.has_main_window = true;
  (void)ShowMessageBox("text", "My caption", BoxKind::kWarning);
  EXPECT_EQ(ui_.boxes.back().caption, "My caption");
  EXPECT_EQ(ui_.drains, static_cast<int>(std::size(kCases)));

  ui_.Answer(BoxButton::kYes);
  EXPECT_TRUE(AskYesNo("Continue?"));
  ui_.Answer(BoxButton::kNo);
  EXPECT_FALSE(AskYesNo("Continue?"));
  EXPECT_EQ(ui_.boxes.back().kind, BoxKind::kYesNo);
}

TEST_F(StatusTest, HeadlessAnswers) {
  const struct {
    HeadlessAnswer answer;
    BoxKind kind;
    BoxButton expected;
  } kCases[] = {
      {HeadlessAnswer::kSafeDefault, BoxKind::kInformation, BoxButton::kOk},
      {HeadlessAnswer::kSafeDefault, BoxKind::kOkCancel, BoxButton::kCancel},
      {HeadlessAnswer::kSafeDefault, BoxKind::kYesNo, BoxButton::kNo},
      {HeadlessAnswer::kSafeDefault, BoxKind::kYesNoCancel, BoxButton::kCancel},
      {HeadlessAnswer::kYes, BoxKind::kOkCancel, BoxButton::kOk},
      {HeadlessAnswer::kYes, BoxKind::kRetryCancel, BoxButton::kRetry},
      {HeadlessAnswer::kYes, BoxKind::kYesNoCancel, BoxButton::kYes},
      {HeadlessAnswer::kNo, BoxKind::kYesNoCancel, BoxButton::kNo},
      {HeadlessAnswer::kNo, BoxKind::kOkCancel, BoxButton::kCancel},
      {HeadlessAnswer::kNo, BoxKind::kStop, BoxButton::kOk},
      {HeadlessAnswer::kCancel, BoxKind::kYesNo, BoxButton::kNo},
      {HeadlessAnswer::kCancel, BoxKind::kRetryCancel, BoxButton::kCancel},
  };
  for (const auto& c : kCases) {
    SetHeadlessAnswer(c.answer);
    EXPECT_EQ(HeadlessButton(c.kind), c.expected);
  }

  SetHeadlessAnswer(HeadlessAnswer::kFromEnvironment);
  const struct {
    const char* env;
    BoxButton expected;
  } kEnv[] = {{"Y", BoxButton::kYes},    {"si", BoxButton::kYes},  {"N", BoxButton::kNo},
              {"C", BoxButton::kCancel}, {"", BoxButton::kCancel}, {nullptr, BoxButton::kCancel}};
  for (const auto& e : kEnv) {
    if (e.env) {
      setenv("TESSALY_ANSWER", e.env, 1);
    } else {
      unsetenv("TESSALY_ANSWER");
    }
    EXPECT_EQ(HeadlessButton(BoxKind::kYesNoCancel), e.expected) << (e.env ? e.env : "unset");
  }
  unsetenv("TESSALY_ANSWER");

  // The headless box itself, through the public path.
  InstallMessageBoxUi(nullptr);
  SetHeadlessAnswer(HeadlessAnswer::kYes);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(AskYesNo("\xBFSeguro?"));
  std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown, "[Information Request]\n\xC2\xBFSeguro?\n");
}

class AssertionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("tessaly_assert_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, old_;
};

TEST_F(AssertionTest, FalseConditionShowsLogsAndEnds) {
  GTEST_FLAG_SET(death_test_style, "fast");
  Check(true, "never shown");
  EXPECT_FALSE(std::filesystem::exists(kAssertionLogName));
  SetHeadlessAnswer(HeadlessAnswer::kSafeDefault);
  EXPECT_EXIT(Check(false, "index out of step"), testing::ExitedWithCode(kAssertionExitCode),
              "\\[Assertion Fail\\]\nindex out of step");
  EXPECT_EXIT(Check(false, "second"), testing::ExitedWithCode(kAssertionExitCode), "second");
  std::ifstream log(kAssertionLogName, std::ios::binary);
  std::stringstream content;
  content << log.rdbuf();
  EXPECT_EQ(content.str(), "index out of step\r\nsecond\r\n");
  SetHeadlessAnswer(HeadlessAnswer::kFromEnvironment);
}

TEST(SharedStores, StringTableLimitsGive159) {
  strtab::ClearAll();
  ForceLastError(0, 0);
  EXPECT_EQ(strtab::Set(39, 0, "x"), Status::kStrOutBound);
  EXPECT_EQ(GetLastError().code, Status::kLoadStrError);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kStringAssign));
  EXPECT_EQ(strtab::Get(-1, 0), Slice::Error(Status::kStrOutBound));
  EXPECT_EQ(strtab::Pop(3), Status::kStrOutBound);

  // The text store is full before the item slots are.
  ForceLastError(0, 0);
  std::string big(30000, 'b');
  EXPECT_TRUE(strtab::Push(1, Slice::Of(big)).ok());
  EXPECT_TRUE(strtab::Push(1, Slice::Of(big)).ok());
  EXPECT_EQ(strtab::Push(1, Slice::Of(big)), Status::kStrOutBound);
  EXPECT_EQ(GetLastError().code, 0);
  EXPECT_EQ(strtab::Count(1), 2);
  strtab::Clear(1);

  // Item slots: 2048 in all.
  for (int i = 0; i < strtab::kMaxItems; ++i) ASSERT_TRUE(strtab::Push(2, "").ok()) << i;
  EXPECT_EQ(strtab::Push(3, ""), Status::kStrOutBound);
  EXPECT_EQ(strtab::Set(4, 1 << 30, ""), Status::kStrOutBound);
  EXPECT_EQ(GetLastError().code, Status::kLoadStrError);
  strtab::ClearAll();
  ForceLastError(0, 0);
}

TEST(SharedStores, RuntimeArraysGive176) {
  rtarray::FreeAll();
  uint32_t v = 7;
  EXPECT_EQ(rtarray::Delete(3, 0), Status::kStructMemError);
  ASSERT_TRUE(rtarray::Store(3, 0, &v, sizeof v).ok());
  EXPECT_EQ(rtarray::Store(3, 1, &v, 2), Status::kStructMemError);  // another element size
  EXPECT_EQ(rtarray::Delete(3, 5), Status::kStructMemError);
  EXPECT_EQ(rtarray::Store(3, 0x7FFFFFFF, &v, sizeof v), Status::kStructMemError);
  EXPECT_EQ(rtarray::Store(24, 0, &v, sizeof v), Status::kStructMemError);
  // Storing an element of the array into a new place of the same array.
  ASSERT_TRUE(rtarray::Store(3, 1000, rtarray::Get(3, 0), sizeof v).ok());
  EXPECT_EQ(*static_cast<uint32_t*>(rtarray::Get(3, 1000)), 7u);
  EXPECT_EQ(rtarray::Count(3), 1001);
  rtarray::FreeAll();
}

Slice HookA(int, Slice, void*) { return Slice("a"); }

TEST(SharedStores, HooksBeyond24AreRefused) {
  ClearHooks();
  EXPECT_EQ(RegisterHook(24, HookA), 24);
  EXPECT_EQ(RegisterHook(25, HookA), kHookRejected);
  EXPECT_EQ(RegisterHook(-1, HookA), kHookRejected);
  EXPECT_EQ(GetHook(25), nullptr);
  EXPECT_EQ(CallHook(24, 0, Slice()), Slice("a"));
  EXPECT_EQ(CallHook(3, 0, Slice()), Slice::Error(Status::kFeatureRemoved));
  ClearHooks();
}

}  // namespace
}  // namespace tessaly
