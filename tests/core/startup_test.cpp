#include "core/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/memory_blocks.h"
#include "tests/core/startup_fixture.h"

namespace tessaly::testing {
namespace {

std::vector<int>& Phases() {
  static std::vector<int> phases;
  return phases;
}

Status PhaseResult(int phase);
Status RecordingApplication(int32_t argument) {
  Phases().push_back(argument);
  return PhaseResult(argument & 0x0F);
}
Status g_phase_status[4] = {};
Status PhaseResult(int phase) { return g_phase_status[phase]; }

class StartTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    Phases().clear();
    for (Status& s : g_phase_status) s = Status::kOk;
    parameters_.callback = &RecordingApplication;
    Fake().dictionary_folder = app_.path();
  }
  void TearDown() override {
    ClearDetail();
    StartupTest::TearDown();
  }
  Status StartWith(const std::string& arguments) {
    parameters_.command_line = "\"/opt/bin/tessaly\" " + arguments;
    return Start(parameters_);
  }
  std::string Dpath() { return "--DPATH=\"" + app_.path() + "\""; }

  StartupParameters parameters_;
};

TEST_F(StartTest, RunsThePhasesAndSettlesTheEnvironment) {
  ASSERT_EQ(StartWith(Dpath() + " -TRACE=8"), Status::kOk);
  EXPECT_EQ(Phases(), (std::vector<int>{2 * 16 + 1, 2 * 16 + 2}));
  EXPECT_EQ(Env(kEnvLanguage), "ES");
  EXPECT_EQ(Env(kEnvApplicationName), "TYRBNQD1:VizuzIzeri");
  EXPECT_EQ(Env(kEnvDescription), "Tessaly");
  EXPECT_EQ(Word(kTrace), 9);
  EXPECT_EQ(Word(kPrecis), 2);
  EXPECT_EQ(Word(kDevWid), 80);
  // The program's folder held no dictionary: reselected through DPATH.
  EXPECT_EQ(
      Fake().dictionary_loads,
      (std::vector<std::string>{"TY|/opt/bin|/opt/bin", "TY|" + app_.path() + "|" + app_.path()}));
  EXPECT_EQ(Env(kEnvDefaultFolder), app_.path());
  EXPECT_EQ(Env(kEnvHelpFolder), app_.path() + "/Help");
  EXPECT_EQ(Fake().define_file_variables, 1);
  Slice locale = GetEnvironment(kEnvLocale);
  EXPECT_EQ(locale.size(), BuiltInMessage(19).size() + BuiltInMessage(117).size() + 3);
  EXPECT_EQ(GetLastError().code, 0);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(StartTest, KeepsTheSecondItemOfTheApplicationName) {
  ASSERT_EQ(StartWith(Dpath() + " apname=SHOP"), Status::kOk);
  EXPECT_EQ(Env(kEnvApplicationName), "SHOP");
  EXPECT_EQ(Fake().dictionary_loads.back().substr(0, 3), "SH|");
}

TEST_F(StartTest, ALanguageSetInTheInitialisePhaseStays) {
  parameters_.callback = [](int32_t argument) -> Status {
    if ((argument & 0x0F) == kPhaseInitialise) return SetEnvironment(kEnvLanguage, "EN");
    return Status::kOk;
  };
  ASSERT_EQ(StartWith(Dpath()), Status::kOk);
  EXPECT_EQ(Env(kEnvLanguage), "EN");
}

TEST_F(StartTest, StopsAtFailuresAndShowsThem) {
  struct Case {
    const char* name;
    int failing_phase;  // 0: none
    std::string arguments;
    Status status;
    std::vector<int> phases;
    size_t boxes;
  } cases[] = {
      {"phase 1 fails", 1, Dpath(), Status::kCommonCtlError, {33}, 1},
      {"dictionary missing twice", 0, "--DPATH=/nowhere", Status::kFileNotFound, {33}, 1},
      {"a code of one character", 0, Dpath() + " APNAME=T", Status::kOk, {33, 34}, 0},
      {"trace stops silently", 0, Dpath() + " TRACE=273", Status::kSilent, {33}, 0},
      {"phase 2 fails", 2, Dpath(), Status::kUserCanceled, {33, 34}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Phases().clear();
    boxes_.boxes.clear();
    for (Status& s : g_phase_status) s = Status::kOk;
    if (c.failing_phase) g_phase_status[c.failing_phase] = c.status;
    EXPECT_EQ(StartWith(c.arguments), c.status);
    EXPECT_EQ(Phases(), c.phases);
    EXPECT_EQ(boxes_.boxes.size(), c.boxes);
  }
}

TEST_F(StartTest, AnOptionalDictionaryMayBeMissing) {
  parameters_.flags = kStartLoadDictionary | kStartDictionaryOptional;
  EXPECT_EQ(StartWith("--DPATH=/nowhere"), Status::kOk);
  parameters_.flags = 0;
  Fake().dictionary_loads.clear();
  EXPECT_EQ(StartWith("--DPATH=/nowhere"), Status::kOk);
  EXPECT_TRUE(Fake().dictionary_loads.empty());
}

TEST_F(StartTest, TraceShowsTheAboutBoxOrLogsAndStops) {
  ASSERT_EQ(StartWith(Dpath() + " TRACE=256"), Status::kOk);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].caption, "About Box");
  EXPECT_TRUE(Fake().log.empty());

  EXPECT_EQ(StartWith(Dpath() + " TRACE=272"), Status::kSilent);
  EXPECT_EQ(Fake().log, (std::vector<std::string>{"0,ES"}));
}

TEST_F(StartTest, ReadsTheWindowFont) {
  WriteFile(app_ / "KVFONT.PPN",
            "\r\n 18 ; 9 ;Bold; DejaVu Sans Mono \r\n24;12;;Lucida Console\r\n");
  ASSERT_EQ(StartWith(Dpath()), Status::kOk);
  ASSERT_EQ(WindowFontEntry(), 1);  // the entry point's own font is not registered by Start
  const FontEntry* font = GetFont(WindowFontEntry());
  EXPECT_EQ(font->height, 18);
  EXPECT_EQ(font->width, 9);
  EXPECT_TRUE(font->bold);
  EXPECT_EQ(font->face, "DejaVu Sans Mono");
}

TEST_F(StartTest, TheFontTableHoldsSixEntries) {
  for (int i = 1; i <= kFontLimit; ++i)
    EXPECT_EQ(RegisterFont(FontEntry{i, i, 400, false, "F"}), i);
  EXPECT_EQ(RegisterFont(FontEntry{7, 7, 400, false, "F"}), 0);
  EXPECT_EQ(FontCount(), kFontLimit);
  EXPECT_EQ(GetFont(7), nullptr);
}

// ---- Parameter files ----------------------------------------------------------------

class ParameterFilesTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    Environment("p");
    SetEnv(kEnvApplicationName, "TY");
    SetEnv(kEnvDefaultFolder, app_.path());
  }
};

TEST_F(ParameterFilesTest, EvaluatesEachFileWithItsLinesJoined) {
  WriteFile(app_ / "TYCLCFIX.DAT", "A=1\r\nB$='x'\r\n");
  WriteFile(app_ / "KVCLCUSR.DAT", "C#=2\nD=3");
  EXPECT_EQ(LoadParameterFiles("missing.dat,%APNAME%CLCFIX.DAT;1, KVCLCUSR.DAT"), Status::kOk);
  EXPECT_EQ(Fake().evaluated, (std::vector<std::string>{"A=1;B$='x'", "C#=2;D=3"}));
}

TEST_F(ParameterFilesTest, ARequiredFileMustExist) {
  EXPECT_EQ(LoadParameterFiles("%APNAME%CLCFIX.DAT;1,KVCLCUSR.DAT"), Status::kFileNotFound);
  EXPECT_EQ(GetDetail().str(), "TYCLCFIX.DAT");
  ClearDetail();
}

TEST_F(ParameterFilesTest, OnlyErrorsStopTheList) {
  WriteFile(app_ / "one.dat", "A=1");
  WriteFile(app_ / "two.dat", "B=2");
  Fake().evaluate_status = Status::kBadExpression;
  EXPECT_EQ(LoadParameterFiles("one.dat,two.dat"), Status::kBadExpression);
  EXPECT_EQ(Fake().evaluated.size(), 1u);
  EXPECT_NE(GetDetail().str().find("one.dat"), std::string::npos);
  ClearDetail();
}

TEST_F(ParameterFilesTest, AssignsTheLanguageVariables) {
  WriteFile(app_ / "TYLANGVARS.DAT", "CANCEL$=0020\r\n\r\nbad line\r\nVIEW$ = 0040\r\n");
  EXPECT_EQ(LoadParameterFiles(""), Status::kOk);
  EXPECT_EQ(Fake().assigned.at("CANCEL$"), "Cancel");
  EXPECT_EQ(Fake().assigned.at("VIEW$"), "View Log?");
  EXPECT_EQ(Fake().assigned.size(), 2u);
}

TEST_F(ParameterFilesTest, TheEmbeddedListReadsFromTheDataFolder) {
  std::filesystem::create_directories(app_ / "app");
  std::filesystem::create_directories(app_ / "data");
  SetEnv(kEnvDefaultFolder, app_ / "app");
  WriteFile(app_ / "app/TYCLCFIX.DAT", "FIX=1");
  WriteFile(app_ / "data/TYPARINI.DAT", "INI=1");
  EXPECT_EQ(LoadParameterFiles(kApplicationParameterFiles), Status::kOk);
  EXPECT_EQ(Fake().evaluated, (std::vector<std::string>{"INI=1", "FIX=1"}));
}

// ---- Session status file ---------------------------------------------------------------

class SessionTest : public ParameterFilesTest {
 protected:
  std::string File() { return app_ / "TYFSTAT.DAT"; }
};

TEST_F(SessionTest, MarksTheSessionRunningThenClean) {
  ASSERT_EQ(SessionStatus(kSessionStart), Status::kOk);
  EXPECT_EQ(ReadFile(File())[0], '1');
  EXPECT_EQ(SessionStatus(kSessionCheck), Status::kOk);
  ASSERT_EQ(SessionStatus(kSessionEnd), Status::kOk);
  EXPECT_EQ(ReadFile(File())[0], '0');
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(Fake().reindexes, 0);
}

TEST_F(SessionTest, AnUncleanEndOffersRecovery) {
  struct Case {
    BoxButton answer;
    Status status;
    int reindexes;
  } cases[] = {{BoxButton::kNo, Status::kUserCanceled, 0}, {BoxButton::kYes, Status::kOk, 1}};
  for (const Case& c : cases) {
    ForgetSession();
    Fake().reindexes = 0;
    WriteFile(File(), "1");
    boxes_.Answer(c.answer);
    EXPECT_EQ(SessionStatus(kSessionStart), c.status);
    EXPECT_EQ(boxes_.boxes.back().text, "Last session uncorrectly closed. Recovering data");
    EXPECT_EQ(ReadFile(File())[0], '1');
    EXPECT_EQ(Fake().reindexes, c.reindexes);
  }
}

TEST_F(SessionTest, ARewriteByAnotherProcessRefusesRequests) {
  ASSERT_EQ(SessionStatus(kSessionStart), Status::kOk);
  std::string ours = ReadFile(File());
  WriteFile(File(), "1\r\nsession of another process\r\n");
  EXPECT_EQ(SessionStatus(kSessionCheck), Status::kNetAccessError);
  EXPECT_EQ(GetDetail().str(), File());
  ClearDetail();
  // Its mark stays: that session is still running.
  EXPECT_EQ(SessionStatus(kSessionEnd), Status::kOk);
  EXPECT_EQ(ReadFile(File())[0], '1');
}

TEST_F(SessionTest, TheStandardStartPhaseOpensTheSession) {
  WriteFile(app_ / "TYCLCFIX.DAT", "A=1");
  ASSERT_EQ(StandardStartPhase(kApplicationParameterFiles), Status::kOk);
  EXPECT_EQ(Env(kEnvHelpFolder), app_ / "Help");
  EXPECT_EQ(ReadFile(File())[0], '1');
  std::filesystem::remove(app_ / "TYCLCFIX.DAT");
  ForgetSession();
  EXPECT_EQ(StandardStartPhase(kApplicationParameterFiles), Status::kFileNotFound);
  ClearDetail();
}

// ---- Main menu run and shutdown ---------------------------------------------------------------

std::vector<std::string>& Dispatched() {
  static std::vector<std::string> dispatched;
  return dispatched;
}

Status RecordingDispatcher(uint32_t code, Slice parameters) {
  Dispatched().push_back(ProcessName(ProcessNumberOf(code)).str() + ":" + parameters.str() +
                         " in=" + std::to_string(Word(kInHnd)) +
                         " out=" + std::to_string(Word(kOutHnd)));
  return parameters == Slice("fail") ? Status(Status::kBadExpression) : Status(Status::kOk);
}

class MainMenuTest : public ParameterFilesTest {
 protected:
  void SetUp() override {
    ParameterFilesTest::SetUp();
    Dispatched().clear();
    SetProcessDispatcher(&RecordingDispatcher);
  }
  Status Run(const std::string& arguments, const std::string& menu = "") {
    Environment("p " + arguments);
    SetEnv(kEnvApplicationName, "TY");
    SetEnv(kEnvDefaultFolder, app_.path());
    return MainMenuRun(Slice::Of(menu));
  }
};

TEST_F(MainMenuTest, FindsTheMainMenuFile) {
  AreaMark mark;
  EXPECT_EQ(MainMenuFile("P1MENU").str(), "");
  WriteFile(app_ / "P1MENU.PPN", "");
  EXPECT_EQ(MainMenuFile("P1MENU").str(), app_ / "P1MENU.PPN");
  WriteFile(app_ / "P1MENU.PMT", "");
  EXPECT_EQ(MainMenuFile("P1MENU").str(), app_ / "P1MENU.PMT");
  WriteFile(app_ / "TYMENU.PMT", "");
  EXPECT_EQ(MainMenuFile("").str(), app_ / "TYMENU.PMT");
  Environment("p APSTART=OTHER.PPN");
  SetEnv(kEnvDefaultFolder, app_.path());
  EXPECT_EQ(MainMenuFile("").str(), "OTHER.PPN");
}

TEST_F(MainMenuTest, RunsTheInputFileThenTheRunRequest) {
  WriteFile(app_ / "in.txt", "ExpEval A=1\r\n\r\nHelp,x\r\n");
  std::string args = "INPUT=\"" + app_ / "in.txt" + "\" OUTPUT=out.txt RUN=\"ExpEval B=2\"";
  EXPECT_EQ(Run(args), Status::kOk);
  ASSERT_EQ(Dispatched().size(), 3u);
  // The stream is in _INHND while the file runs, and _OUTHND is set
  // already, for the captures the file answers.
  EXPECT_NE(Dispatched()[0].find("ExpEval:A=1 in="), std::string::npos);
  EXPECT_EQ(Dispatched()[0].find("in=0"), std::string::npos);
  EXPECT_EQ(Dispatched()[0].back(), '1');
  EXPECT_EQ(Dispatched()[1].substr(0, 7), "Help:x ");
  EXPECT_EQ(Dispatched()[2], "ExpEval:B=2 in=0 out=1");
  EXPECT_TRUE(TestBits(kScrStat, 0x08));
  EXPECT_FALSE(TestBits(kScrStat, 0x02));
}

TEST_F(MainMenuTest, AFailingInputLineStopsTheRun) {
  WriteFile(app_ / "in.txt", "ExpEval fail\nExpEval never\n");
  std::string args = "INPUT=\"" + app_ / "in.txt" + "\" RUN=\"ExpEval B=2\"";
  EXPECT_EQ(Run(args), Status::kBadExpression);
  EXPECT_EQ(Dispatched().size(), 1u);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
}

TEST_F(MainMenuTest, NeedsAMenuOrARunRequest) {
  EXPECT_EQ(Run(""), Status::kBadInputData);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
  // A menu without a window layer says what is missing.
  EXPECT_EQ(Run("", "P1MENU.PMT"), Status::kFeatureRemoved);
  EXPECT_TRUE(TestBits(kScrStat, 0x02));
  EXPECT_NE(boxes_.boxes.back().text.find("main menu window"), std::string::npos);
  // With a window layer but no display the menu is refused, not waited for.
  StartupServices services = InstalledStartupServices();
  services.run_main_menu = [](Slice) -> Status { return Status::kOk; };
  InstallStartupServices(services);
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    env_.values[name] = std::nullopt;
  }
  EXPECT_EQ(Run("", "P1MENU.PMT"), Status::kScreenEnviron);
  env_.values["WAYLAND_DISPLAY"] = "wayland-0";
  EXPECT_EQ(Run("", "P1MENU.PMT"), Status::kOk);
  // A missing INPUT file is shown and stops the run.
  EXPECT_EQ(Run("INPUT=nothere.txt RUN=\"ExpEval 1\""), Status::kFileNotFound);
  EXPECT_TRUE(Dispatched().empty());
}

TEST_F(MainMenuTest, AppendsLinesToTheOutputFile) {
  Environment("p");
  EXPECT_EQ(AppendOutputLine("ignored"), Status::kOk);  // no OUTPUT option
  std::string option = "p OUTPUT=\"" + app_ / "out.txt" + "\"";
  Environment(option);
  EXPECT_EQ(AppendOutputLine("'A','1'"), Status::kOk);
  EXPECT_EQ(AppendOutputLine("'B','2'"), Status::kOk);
  EXPECT_EQ(ReadFile(app_ / "out.txt"), "'A','1'\r\n'B','2'\r\n");
  Environment("p OUTPUT=\"" + app_ / "no/such/folder/out.txt" + "\"");
  EXPECT_EQ(AppendOutputLine("x"), Status::kFileIo);
  ClearDetail();
}

TEST_F(MainMenuTest, ShutdownReportsLeaksAndChoosesTheExitCode) {
  StartupParameters p;
  p.callback = &RecordingApplication;
  for (Status& s : g_phase_status) s = Status::kOk;
  Phases().clear();
  EXPECT_EQ(Shutdown(p, Status::kOk), Status::kOk);
  EXPECT_EQ(Phases(), (std::vector<int>{2 * 16 + 3}));

  g_phase_status[kPhaseEnd] = Status::kDiskWriteError;
  EXPECT_EQ(Shutdown(p, Status::kOk), Status::kDiskWriteError);
  EXPECT_EQ(Shutdown(p, Status::kBadInputData), Status::kBadInputData);
  g_phase_status[kPhaseEnd] = Status::kOk;

  void* leaked = BlockAllocate(ErrorArea::kVarStruct, 16);
  EXPECT_EQ(Shutdown(p, Status::kOk), Status::kMemoryLeaks);
  EXPECT_NE(boxes_.boxes.back().text.find("Memory Leaks Detected: 1 blocks"), std::string::npos);
  ASSERT_EQ(BlockFree(ErrorArea::kVarStruct, leaked), Status::kOk);

  struct Exit {
    Status status;
    int code;
  } exits[] = {{Status::kOk, 0},
               {Status::kUserCanceled, 0},
               {Status::kTypeMismatch, 128},
               {Status::kBadInputData, 163},
               {Status::kUndefined, 255}};
  for (const Exit& e : exits) EXPECT_EQ(ExitCodeOf(e.status), e.code) << e.status.code();
}

}  // namespace
}  // namespace tessaly::testing
