#include "core/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/core/startup_fixture.h"

namespace tessaly::testing {
namespace {

struct SplitCase {
  const char* request;
  int number;
  const char* name;
  const char* parameters;
};

TEST(ProcessRequests, SplitsNameAndParameters) {
  const SplitCase cases[] = {
      {"PrcExec", kProcPrcExec, "PrcExec", ""},
      {"PrcExec CLOSE.PRX 1", kProcPrcExec, "PrcExec", "CLOSE.PRX 1"},
      {"Help,About", kProcHelp, "Help", "About"},    // no blank: a comma
      {"Report a,b", kProcReport, "Report", "a,b"},  // a blank wins
      {"  ExpEval A=1  ", kProcExpEval, "ExpEval", "A=1"},
      {"ExpEval A$='x y'", kProcExpEval, "ExpEval", "A$='x y'"},
      {"MantMain", kProcMantMain, "MantMain", ""},
      {"Menu", kProcMenu, "Menu", ""},
      {"expeval 1", 0, "expeval", "1"},  // names are exact
      {"Bogus 1", 0, "Bogus", "1"},
      {"", 0, "", ""},
  };
  for (const SplitCase& c : cases) {
    ProcessRequest r;
    Status s = SplitRequest(c.request, &r);
    EXPECT_EQ(s, c.number ? Status::kOk : Status::kBadInputData) << c.request;
    EXPECT_EQ(r.number, c.number) << c.request;
    EXPECT_EQ(r.name.str(), c.name) << c.request;
    EXPECT_EQ(r.parameters.str(), c.parameters) << c.request;
  }
  EXPECT_EQ(ProcessName(kProcExpEval).str(), "ExpEval");
  EXPECT_EQ(ProcessNumberOf(ProcessCode(kProcFontSet)), kProcFontSet);
}

std::vector<std::string>& Ran() {
  static std::vector<std::string> ran;
  return ran;
}

Status RecordingHandler(int number, Slice parameters) {
  Ran().push_back(ProcessName(number).str() + ":" + parameters.str());
  return Status::kOk;
}

Status FailingHandler(int, Slice) { return Status::kUserCanceled; }

class ProcessTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    Ran().clear();
    Environment("p");
    SetEnv(kEnvApplicationName, "TYRBNQD1:VizuzIzeri");
    SetEnv(kEnvDescription, "Tessaly");
    SetEnv(kEnvLanguage, "ES");
    SetEnv(kEnvDefaultFolder, app_.path());
  }
  Status Dispatch(int number, const char* parameters) {
    return RuntimeDispatch(ProcessCode(number), parameters);
  }
  std::string Detail() {
    std::string d = GetDetail().str();
    ClearDetail();
    return d;
  }
};

TEST_F(ProcessTest, RunsWhatTheRuntimeOwnsAndNamesWhatIsMissing) {
  struct Case {
    int number;
    const char* parameters;
    Status status;
    const char* detail;
  } cases[] = {
      {kProcFileTrans, "", Status::kFeatureRemoved, "FileTransWizzard"},
      {kProcAcceptRun, "X.PAN", Status::kFeatureRemoved,
       "AcceptRun (data capture window not available in this build)"},
      {kProcPrcExec, "X.PRX", Status::kFeatureRemoved,
       "PrcExec (procedure runner not available in this build)"},
      {kProcMenu, "", Status::kBadInputData, "Process not defined: Menu"},
      {kProcWizzSelect, "", Status::kBadInputData, "Process not defined: WizzSelect"},
      {kProcMantMain, "", Status::kBadInputData, "Process not defined: MantMain"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Dispatch(c.number, c.parameters), c.status) << c.number;
    EXPECT_EQ(Detail(), c.detail) << c.number;
  }
  EXPECT_EQ(RunProcess("Bogus x"), Status::kBadInputData);
  EXPECT_EQ(Detail(), "Process not defined: Bogus");
}

TEST_F(ProcessTest, ExpEvalReturnsOnlyErrors) {
  Fake().evaluate_status = Status::kTypeWarning;
  EXPECT_EQ(RunProcess("ExpEval A=1;B$='x'"), Status::kOk);
  Fake().evaluate_status = Status::kBadExpression;
  EXPECT_EQ(RunProcess("ExpEval A=+"), Status::kBadExpression);
  EXPECT_EQ(Fake().evaluated, (std::vector<std::string>{"A=1;B$='x'", "A=+"}));
}

TEST_F(ProcessTest, HandsProcessesToRegisteredHandlersAndGuardsWindows) {
  SetProcessHandler(kProcReport, &RecordingHandler, /*needs_window=*/false);
  SetProcessHandler(kProcMantAux, &RecordingHandler, /*needs_window=*/true);
  EXPECT_EQ(RunProcess("Report SALES.PDC"), Status::kOk);

  env_.values["DISPLAY"] = std::nullopt;
  env_.values["WAYLAND_DISPLAY"] = std::nullopt;
  env_.values["QT_QPA_PLATFORM"] = std::nullopt;
  EXPECT_EQ(RunProcess("MantAux CUSTOMERS"), Status::kScreenEnviron);
  EXPECT_NE(Detail().find("MantAux"), std::string::npos);
  env_.values["DISPLAY"] = ":0";
  EXPECT_EQ(RunProcess("MantAux CUSTOMERS"), Status::kOk);
  EXPECT_EQ(Ran(), (std::vector<std::string>{"Report:SALES.PDC", "MantAux:CUSTOMERS"}));
}

TEST_F(ProcessTest, RunsTheProceduresChosenFromASelection) {
  SetProcessHandler(kProcPrcExec, &RecordingHandler, false);
  for (const char* name : {"a.prx", "b.prx", "c.prx"}) WriteFile(app_ / name, "");
  Fake().choose_many = "1,3";
  std::string request = "PrcExec " + app_ / "*.prx";
  EXPECT_EQ(RunProcess(Slice::Of(request)), Status::kOk);
  EXPECT_EQ(Ran(),
            (std::vector<std::string>{"PrcExec:" + app_ / "a.prx", "PrcExec:" + app_ / "c.prx"}));
  EXPECT_EQ(Fake().chooser_titles, (std::vector<std::string>{"Target File"}));

  std::string none = "PrcExec " + app_ / "*.none";
  EXPECT_EQ(RunProcess(Slice::Of(none)), Status::kBadInputData);
  EXPECT_EQ(Detail(), "Process not defined");
}

TEST_F(ProcessTest, RunsAListOfRequestsWithExclusions) {
  SetProcessHandler(kProcReport, &RecordingHandler, false);
  SetProcessHandler(kProcCopy, &FailingHandler, false);
  EXPECT_EQ(RunRequestList("Report A,Report B", ""), Status::kOk);
  const char exclusions[] = {static_cast<char>(kProcReport), 0};
  EXPECT_EQ(RunRequestList("Help x,Report C", exclusions), Status::kUndefWarning);
  EXPECT_EQ(RunRequestList("Copy 1,Report D", ""), Status::kUserCanceled);  // stops
  EXPECT_EQ(Ran(), (std::vector<std::string>{"Report:A", "Report:B"}));
  EXPECT_EQ(Fake().evaluated.size(), 5u);  // each item evaluated before it runs
}

TEST_F(ProcessTest, TheApplicationDispatcherTakesRequests) {
  SetProcessDispatcher([](uint32_t code, Slice parameters) -> Status {
    Ran().push_back("app " + ProcessName(ProcessNumberOf(code)).str() + ":" + parameters.str());
    return Status::kOk;
  });
  EXPECT_EQ(RunProcess("MantMain CUSTOMERS"), Status::kOk);
  EXPECT_EQ(Ran(), (std::vector<std::string>{"app MantMain:CUSTOMERS"}));
}

TEST_F(ProcessTest, MainWindowEventsRunMenuActionsAndShowFailures) {
  ASSERT_EQ(strtab::Set(strtab::kMenuActions, 3, "Bogus"), Status::kOk);
  ASSERT_EQ(strtab::Set(strtab::kMenuActions, 2, "ExpEval X=1"), Status::kOk);
  EXPECT_EQ(MainWindowEvent(kEventMenuAction | (2 << 8)), Status::kOk);
  EXPECT_EQ(Fake().evaluated, (std::vector<std::string>{"X=1"}));
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(MainWindowEvent(kEventMenuAction | (3 << 8)), Status::kBadInputData);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "Error BADINPUTDATA: Process not defined: Bogus");
}

TEST_F(ProcessTest, CloseRequestCountsWindowsThenAsks) {
  // Two screens open: message 0032 and no close.
  ASSERT_EQ(rtarray::Store(rtarray::kScreens, 1, nullptr, 4), Status::kOk);
  bool close = true;
  EXPECT_EQ(MainWindowEvent(kEventClose, &close), Status::kOk);
  EXPECT_FALSE(close);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "There are windows open (2 Screens, 0 Windows)");
  EXPECT_EQ(boxes_.boxes[0].kind, BoxKind::kWarning);

  rtarray::Free(rtarray::kScreens);
  boxes_.Answer(BoxButton::kNo);
  EXPECT_FALSE(CloseRequest());
  EXPECT_EQ(boxes_.boxes.back().kind, BoxKind::kYesNo);
  EXPECT_NE(boxes_.boxes.back().text.find("(0 Screens, 0 Windows)"), std::string::npos);
  boxes_.Answer(BoxButton::kYes);
  EXPECT_TRUE(CloseRequest());

  SetBits(kAuxStat, 0x20);  // close without asking
  size_t shown = boxes_.boxes.size();
  EXPECT_TRUE(CloseRequest());
  EXPECT_EQ(boxes_.boxes.size(), shown);
}

TEST_F(ProcessTest, HelpWithParametersShowsTheAboutBox) {
  SetWord(kPrecis, 3);
  EXPECT_EQ(RunProcess("Help About"), Status::kOk);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  const std::string& text = boxes_.boxes[0].text;
  EXPECT_EQ(boxes_.boxes[0].caption, "About Box");
  for (const char* part : {"2017 Tessaly", "2.20.0", "Language: ES", "Decimals: 3", "1700"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
  EXPECT_NE(text.find(app_.path()), std::string::npos);
}

TEST_F(ProcessTest, HelpFindsTheLocalPageInTheLanguage) {
  AreaMark mark;
  EXPECT_EQ(FindHelpPage().str(), "");
  EXPECT_EQ(HelpProcess(Slice()), Status::kOk);  // no page: message 0072
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].caption, "Help Pages");
  EXPECT_EQ(boxes_.boxes[0].text, "Help Page not defined\r\nTYindex.html");

  WriteFile(app_ / "index_es.html", "");
  EXPECT_EQ(FindHelpPage().str(), app_ / "index_es.html");
  WriteFile(app_ / "index.html", "");  // the name as written comes first
  EXPECT_EQ(FindHelpPage().str(), app_ / "index.html");
  std::filesystem::create_directories(app_ / "Help");
  WriteFile(app_ / "Help/TYindex.html", "");
  SetEnv(kEnvHelpFolder, app_ / "Help");
  EXPECT_EQ(FindHelpPage().str(), app_ / "Help/TYindex.html");
  EXPECT_EQ(HelpFileName("").str(), "TYHELP.HLP");
}

TEST_F(ProcessTest, FontSetMovesTheChosenFontFirst) {
  WriteFile(app_ / "KVFONT.PPN", "24;12;;Lucida Console\r\n20;10;bold;DejaVu Sans Mono\r\n");
  Fake().choose = 2;
  EXPECT_EQ(RunProcess("FontSet"), Status::kOk);
  EXPECT_EQ(ReadFile(app_ / "KVFONT.PPN"), "20;10;bold;DejaVu Sans Mono\r\n24;12;;Lucida Console");
  ASSERT_NE(WindowFontEntry(), 0);
  const FontEntry* font = GetFont(WindowFontEntry());
  EXPECT_EQ(font->face, "DejaVu Sans Mono");
  EXPECT_TRUE(font->bold);
  EXPECT_EQ(Fake().chooser_titles, (std::vector<std::string>{"Font"}));

  Fake().choose = 0;
  EXPECT_EQ(RunProcess("FontSet"), Status::kUserCanceled);
  Fake().choose = -1;  // no selection window
  EXPECT_EQ(RunProcess("FontSet"), Status::kFeatureRemoved);
  ClearDetail();
  std::filesystem::remove(app_ / "KVFONT.PPN");
  EXPECT_EQ(RunProcess("FontSet"), Status::kFileNotFound);
  ClearDetail();
}

}  // namespace
}  // namespace tessaly::testing
