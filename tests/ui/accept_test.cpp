// The data capture window on the recording window layer: a script stands
// for the user (typing into controls and sending the actions the keys
// give), then the stored values, the last values, the condition text, the
// OUTPUT file and batch input are checked.

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/message_box.h"
#include "core/process.h"
#include "core/startup_services.h"
#include "data/parameters.h"
#include "proc/commands.h"
#include "screen_fixture.h"
#include "ui/accept.h"

namespace tessaly {
namespace {

// Key indexes and the actions key map 0 gives them.
struct Key {
  int index;
  int action;
};
constexpr Key kEnter{0, 1};
constexpr Key kTab{9, 1};
constexpr Key kShiftTab{8, 2};
constexpr Key kEsc{3, 21};
constexpr Key kPgUp{23, 25 | (3 << 8)};
constexpr Key kDown{28, 31};
constexpr Key kCtrlEnd{32, 22};
constexpr int kOkButton = 25 | (100 << 8);
constexpr int kCloseFrame = 28;

class AcceptTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetStartupServices();
    windows_.top = kNoWindow;
  }
  void TearDown() override {
    if (stream_ != 0) service::CloseInput(stream_);
    SetWord(kInHnd, 0);
    (void)SetEnvironment(kEnvCommandLine, Slice());
    ScreenTest::TearDown();
  }

  // The user's part, run when the capture's window is shown (its first
  // focus, action 95, then each step types into the current field and
  // presses a key).
  struct Step {
    std::string type;  // typed into the current field before the key
    Key key;
  };
  void User(std::vector<Step> steps) {
    windows_.on_run = [steps](RecordingWindowLayer& w, WindowId window) {
      (void)w.Dispatch(window, 95);
      for (const Step& step : steps) {
        if (w.open.count(window) == 0 || w.open[window].closed) return;
        int field = ScreenCurrentInstance()->current_field;
        if (!step.type.empty()) w.Type(window, field, step.type);
        SetWord(kLastKey, static_cast<uint16_t>(step.key.index));
        (void)w.Dispatch(window, step.key.action);
      }
    };
  }

  void Input(const std::string& lines) {
    const std::string path = dir_ + "/input.txt";
    std::ofstream(path, std::ios::binary) << lines;
    Status s;
    stream_ = service::OpenInput(Slice::Of(path), &s);
    ASSERT_GT(stream_, 0) << s.code();
    SetWord(kInHnd, static_cast<uint16_t>(stream_));
  }
  std::string UseOutputFile() {
    std::string path = dir_ + "/output.txt";
    AreaMark mark;
    EXPECT_EQ(SetEnvironment(kEnvCommandLine, NormaliseCommandLine(Slice::Of("prog OUTPUT=\"" + path + "\""))),
              Status::kOk);
    return path;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::string LastValues() { return strtab::Get(kLastValuesTable, kLastValuesSlot).str(); }

  int stream_ = 0;
};

constexpr char kTwoFields[] = "'Nombre:':'A10':NOM$,'Importe:':'N5':IMP#";

TEST_F(AcceptTest, EnterOnTheLastFieldConfirmsAndStoresEveryField) {
  Run("NOM$='old';IMP#=1");
  User({{"Ana", kEnter}, {"42", kEnter}});
  AcceptResult r = AcceptAndStore("Cliente", kTwoFields);
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(r.last_key, 0);
  EXPECT_EQ(Eval("NOM$"), "Ana");
  EXPECT_EQ(Eval("IMP#"), "42");
  EXPECT_EQ(r.values, "'Ana','   42'") << "a number keeps its field's width";
  EXPECT_EQ(LastValues(), r.values);
  EXPECT_EQ(ScreenInstanceCount(), 0);
  EXPECT_EQ(windows_.WindowCount(), 0);

  // A modal dialog sized to its fields (at least 25 columns), titled, with
  // the labels right-aligned before their fields and the "Ok" button.
  ASSERT_FALSE(windows_.CallsStartingWith("open ").empty());
  EXPECT_EQ(windows_.CallsStartingWith("open ")[0], "open 2 5 25,2 Cliente");
  EXPECT_EQ(windows_.Label(2, 1, 1), "Nombre:");
  EXPECT_EQ(windows_.Label(2, 2, 0), "Importe:");
  EXPECT_EQ(windows_.CallsStartingWith("button ").at(0), "button 2 3100 -1,-14 12 Ok ^");
}

TEST_F(AcceptTest, OnlyConfirmingKeysStore) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    Status status;
  };
  const Case cases[] = {
      {"Tab past the last field", {{"Eva", kTab}, {"7", kTab}}, Status::kOk},
      {"Down past the last field", {{"Eva", kDown}, {"7", kDown}}, Status::kOk},
      {"Ctrl+End", {{"Eva", kCtrlEnd}}, Status::kOk},
      {"the Ok button", {{"Eva", kEnter}, {"", {4, kOkButton}}}, Status::kOk},
      {"Esc after editing", {{"Eva", kEnter}, {"7", kEsc}}, Status::kUserCanceled},
      {"Shift+Tab, then the frame closed",
       {{"Eva", kEnter}, {"7", kShiftTab}, {"", {8, kCloseFrame}}}, Status::kUserCanceled},
      {"PgUp, then the frame closed",
       {{"Eva", kPgUp}, {"", {23, kCloseFrame}}}, Status::kUserCanceled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (void)strtab::Set(kLastValuesTable, kLastValuesSlot, "'x','1'");
    Run("NOM$='old'");
    windows_.Clear();
    windows_.on_run = nullptr;
    User(c.steps);
    AcceptResult r = AcceptAndStore("", kTwoFields);
    EXPECT_EQ(r.status, c.status) << GetDetail().str();
    EXPECT_EQ(ScreenInstanceCount(), 0);
    EXPECT_EQ(windows_.WindowCount(), 0);
    if (c.status.ok()) {
      EXPECT_EQ(Eval("NOM$"), "Eva");
    } else {
      EXPECT_EQ(Eval("NOM$"), "old");
      EXPECT_EQ(LastValues(), "'x','1'") << "a cancelled capture keeps the last values";
      EXPECT_EQ(r.last_key, 3) << "closing without confirming reads as Esc";
    }
  }
}

TEST_F(AcceptTest, FieldsWithoutDefaultsTakeTheLastValues) {
  const char* dates = "'Desde:':'D8':DESDE$,'Hasta:':'D8':HASTA$,'Serie:':'A2':SER$:'B'";
  (void)strtab::Set(kLastValuesTable, kLastValuesSlot, "'20260101','20261231','A'");
  User({{"", kCtrlEnd}});
  AcceptResult r = AcceptAndStore("", dates);
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  // Part 4 wins over the last values; the others round-trip unchanged.
  EXPECT_EQ(r.values, "'20260101','20261231','B'");
  EXPECT_EQ(Eval("DESDE$"), "20260101");
  EXPECT_EQ(Eval("HASTA$"), "20261231");
}

TEST_F(AcceptTest, LastValuesThatDoNotFitAFieldLeaveItEmpty) {
  // The previous capture asked for a name; this one asks for a date first.
  (void)strtab::Set(kLastValuesTable, kLastValuesSlot, "'Ana','7'");
  User({{"", kCtrlEnd}});
  AcceptResult r = AcceptAndStore("", "'Fecha:':'D8':F$,'Kilos:':'N3':K#");
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(r.values, "'','  7'");
}

TEST_F(AcceptTest, LimitFieldsMakeTheConditionAndReadFromAndTo) {
  const char* limits = "CODE{1}:'A6':CODE{1}>=,CODE{1}:'A6':CODE{1}<=,'Saldo:':'N6':BALANCE{1}>";
  User({{"A", kEnter}, {"M", kEnter}, {"100", kEnter}});
  windows_.on_run = [inner = windows_.on_run, this](RecordingWindowLayer& w, WindowId window) {
    EXPECT_EQ(w.Label(window, 1, 0), "CODE(From):");
    EXPECT_EQ(w.Label(window, 2, 0), "CODE(To)  :");
    inner(w, window);
  };
  AcceptResult r = AcceptAndStore("", limits);
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(r.condition, "CODE{1}>='A'&&CODE{1}<='M'&&BALANCE{1}>100");
  EXPECT_EQ(strtab::Get(kLastValuesTable, kLastConditionSlot).str(), r.condition);
}

TEST_F(AcceptTest, ALabelOnlyFieldIsStoredButAssignedToNothing) {
  User({{"12", kEnter}});
  AcceptResult r = AcceptAndStore("", "'Amount':'N3'");
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(r.values, "'12'");
}

TEST_F(AcceptTest, AFailingListOrDefaultOpensNoWindowAndStoresNothing) {
  (void)strtab::Set(kLastValuesTable, kLastValuesSlot, "'keep'");
  std::string too_long;  // more than a screen buffer holds
  for (int i = 0; i < 7; ++i) too_long += std::string(i > 0 ? "," : "") + "'A:':'A9999':X$";
  const std::string cases[] = {
      too_long,
      "'A:':'A5':X$:(1",  // the default cannot be evaluated
      "'A:':'A5':X$,'B:':'A5':Y$:'b'+(",
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c.substr(0, 40));
    windows_.Clear();
    bool ran = false;
    windows_.on_run = [&ran](RecordingWindowLayer&, WindowId) { ran = true; };
    AcceptResult r = AcceptAndStore("", Slice::Of(c));
    EXPECT_TRUE(r.status.is_error()) << r.status.code();
    EXPECT_FALSE(ran);
    EXPECT_EQ(windows_.WindowCount(), 0);
    EXPECT_EQ(ScreenInstanceCount(), 0);
    EXPECT_EQ(LastValues(), "'keep'");
    ClearDetail();
  }
}

TEST_F(AcceptTest, AnUnparsableTargetStopsStoringAtThatField) {
  (void)strtab::Set(kLastValuesTable, kLastValuesSlot, "'keep'");
  User({{"a", kEnter}, {"b", kEnter}});
  AcceptResult r = AcceptAndStore("", "'A:':'A5':AA$,'B:':'A5':BB$:'':(X$");
  EXPECT_TRUE(r.status.is_error());
  EXPECT_EQ(Eval("AA$"), "a") << "fields before the bad one are assigned";
  EXPECT_EQ(LastValues(), "'keep'");
  ClearDetail();
}

TEST_F(AcceptTest, FiveFieldsNameTheScreenAfterTheirLabelsAndOneRowDrawsNoLabels) {
  windows_.top = 1;
  AcceptWindowRequest request;
  request.field_list = "'Alfa':'A1','Beta':'A1','Gama':'A1','Delta':'A1','Eco':'A1'";
  request.owner = 1;
  WindowId window = kNoWindow;
  ASSERT_EQ(OpenAcceptWindow(request, &window), Status::kOk) << GetDetail().str();
  EXPECT_EQ(window, 1);
  EXPECT_EQ(ScreenCurrentDefinition()->name, "ABGDE");
  EXPECT_EQ(windows_.CallsStartingWith("control ").size(), 5u);
  (void)ScreenCloseInstance(-1);

  windows_.Clear();
  request.flags = kAcceptOneRow;
  ASSERT_EQ(OpenAcceptWindow(request, &window), Status::kOk);
  EXPECT_TRUE(windows_.CallsStartingWith("label ").empty());
  (void)ScreenCloseInstance(-1);
}

TEST_F(AcceptTest, BatchLinesGiveTheValuesAndTheOutputFileGetsThem) {
  std::string output = UseOutputFile();
  Input("'Luis',5\nMarta\n");
  bool ran = false;
  windows_.on_run = [&ran](RecordingWindowLayer&, WindowId) { ran = true; };
  const char* list = "'Nombre:':'A10':NOM$,'Importe:':'N5':IMP#:9";

  AcceptResult first = AcceptAndStore("", list);
  ASSERT_EQ(first.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(Eval("NOM$"), "Luis");
  EXPECT_EQ(Eval("IMP#"), "5");
  // A line with fewer values leaves the other fields at their defaults.
  AcceptResult second = AcceptAndStore("", list);
  ASSERT_EQ(second.status, Status::kOk);
  EXPECT_EQ(Eval("NOM$"), "Marta");
  EXPECT_EQ(Eval("IMP#"), "9");
  EXPECT_FALSE(ran) << "a batch capture opens no window";
  EXPECT_EQ(ReadFile(output), "'Luis','    5'\r\n'Marta','    9'\r\n");

  // At the end of the file a window is needed again.
  windows_.on_run = nullptr;
  User({{"", kEsc}});
  EXPECT_EQ(AcceptAndStore("", list).status, Status::kUserCanceled);
}

TEST_F(AcceptTest, AcceptLeavesAConfirmedCaptureToItsContinuation) {
  struct Seen {
    int last_key = -1;
    std::string list;
    AcceptResult stored;
  } seen;
  auto continuation = [](void* context, int last_key) {
    auto* s = static_cast<Seen*>(context);
    s->last_key = last_key;
    s->list = strtab::Top(kAcceptListTable).str();
    s->stored = AcceptStoreAbove(Slice::Of(s->list));
    return s->stored.status;
  };
  User({{"Rosa", kEnter}, {"3", kEnter}});
  AcceptResult r = Accept("", kTwoFields, continuation, &seen);
  EXPECT_EQ(r.status, Status::kOk);
  EXPECT_EQ(seen.last_key, 0);
  EXPECT_EQ(seen.list, kTwoFields);
  EXPECT_EQ(seen.stored.values, "'Rosa','    3'");
  EXPECT_EQ(Eval("NOM$"), "Rosa");
  EXPECT_EQ(ScreenInstanceCount(), 0);
  (void)strtab::Pop(kAcceptListTable);
}

TEST_F(AcceptTest, TheAcceptCommandStoresAndSaysHowItEnded) {
  InstallStandardCommands();
  InstallCaptureWindows();
  User({{"Pablo", kEnter}, {"", kEsc}});
  ASSERT_EQ(CommandDispatch(kCmdAccept, "\"'Nombre:':'A10':NOM$\",'Cliente'"), Status::kOk)
      << GetDetail().str();
  EXPECT_EQ(Eval("NOM$"), "Pablo");
  EXPECT_EQ(Word(kStat), 0);
  windows_.on_run = nullptr;
  User({{"x", kEsc}});
  ASSERT_EQ(CommandDispatch(kCmdAccept, "\"'Nombre:':'A10':NOM$\""), Status::kOk);
  EXPECT_EQ(Word(kStat), 122);
  EXPECT_EQ(Eval("NOM$"), "Pablo");
  EXPECT_EQ(CommandDispatch(kCmdAccept, ""), Status::kSyntaxError);
  ClearDetail();
  ClearCommands();
}

TEST_F(AcceptTest, F1AsksTheHelpHookElseShowsTheScreensHelpPage) {
  RecordingMessageBoxUi boxes;
  ScopedMessageBoxUi scoped(&boxes);
  constexpr Key kF1{11, 19};
  // Without a help hook: the page of HELP$, here one that does not exist.
  User({{"", kF1}, {"", kEsc}});
  EXPECT_EQ(AcceptAndStore("", "'A:':'A5':X$ /HELP$=nosuch.html").status, Status::kUserCanceled);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_NE(boxes.boxes[0].text.find("nosuch.html,1"), std::string::npos) << boxes.boxes[0].text;

  // The application's help hook gets the capture's screen instead.
  static int asked = 0;
  RegisterHook(kHookHelp, [](int, Slice, void* object) {
    asked += object == ScreenCurrentInstance() ? 1 : 100;
    return Slice();
  });
  User({{"", kF1}, {"", kEsc}});
  EXPECT_EQ(AcceptAndStore("", "'A:':'A5':X$ /HELP$=nosuch.html").status, Status::kUserCanceled);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

// ---- Captures by request -----------------------------------------------------------------

class CaptureByRequest : public AcceptTest {
 protected:
  void SetUp() override {
    AcceptTest::SetUp();
    // The data folder of the parameter file: "..\data" from the default folder.
    std::filesystem::create_directories(dir_ + "/app");
    std::filesystem::create_directories(dir_ + "/data");
    ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(dir_ + "/app")), Status::kOk);
    std::ofstream(dir_ + "/app/CAPT.PPN", std::ios::binary)
        << "01 FD$=\"EMPRESA$,NIF$\":PARM_FILE$=\"empresa.dat\"\r\n"
        << "01 PARM_FILE_WRITE$=\"EMPRESA$,NIF$\"\r\n"
        << "02 ACBOUND$=\"'Mes:':'N2':MES#,'Anio:':'N4':ANIO#\":WINNAME$=\"Periodo\"\r\n"
        << "02 ACCEPT_PRC%=6\r\n";
    std::ofstream(dir_ + "/app/CAPT.PAN", std::ios::binary)
        << " 0100201Empresa:|\r\n"
        << " 0100301NIF:|\r\n"
        << " 0110210000030A|\r\n"
        << " 0110310000009A|\r\n";
    std::ofstream(dir_ + "/data/empresa.dat", std::ios::binary)
        << "EMPRESA$='Vieja SL';OTRA$='se queda'\r\n";
    RegisterHook(4, &ParameterFileCaptureHook);
  }
};

TEST_F(CaptureByRequest, TheParameterFileCaptureMergesWhatWasTyped) {
  Input("'Nueva SL','B12345678'\n");
  std::string output = UseOutputFile();
  SetWord(kOutHnd, 1);
  const std::string base = dir_ + "/app/CAPT";
  Status s = AcceptRunProcess(kProcAcceptRun, Slice::Of(base + ",1,40,4,0,,0"));
  SetWord(kOutHnd, 0);
  ASSERT_EQ(s, Status::kOk) << GetDetail().str();
  // The OUTPUT file gets the fields as they were confirmed, at their widths.
  EXPECT_EQ(ReadFile(output), "'Nueva SL" + std::string(22, ' ') + "','B12345678'\r\n");
  std::string written = ReadFile(dir_ + "/data/empresa.dat");
  EXPECT_NE(written.find("EMPRESA$='Nueva SL'"), std::string::npos) << written;
  EXPECT_NE(written.find("NIF$='B12345678'"), std::string::npos) << written;
  EXPECT_NE(written.find("OTRA$='se queda'"), std::string::npos) << written;
  EXPECT_EQ(Eval("EMPRESA$"), "Nueva SL");
  EXPECT_EQ(ScreenInstanceCount(), 0);
  EXPECT_EQ(strtab::Count(34), 0) << "the loader's extra text is not left behind";
}

TEST_F(CaptureByRequest, TheFileIsReadFirstSoTheCaptureStartsFromIt) {
  // The window shows what the file holds; Esc leaves the file as it was.
  windows_.on_run = [](RecordingWindowLayer& w, WindowId window) {
    (void)w.Dispatch(window, 95);
    SetWord(kLastKey, 3);
    (void)w.Dispatch(window, 21);
  };
  const std::string base = dir_ + "/app/CAPT";
  ASSERT_EQ(AcceptRunProcess(kProcAcceptRun, Slice::Of(base + ",1,40,4,0,,0")), Status::kOk)
      << GetDetail().str();
  EXPECT_EQ(Eval("EMPRESA$"), "Vieja SL");
  EXPECT_EQ(windows_.CallsStartingWith("open ").at(0).substr(0, 9), "open 2 3 ");

  // The request's extra text goes into the field the input enters first.
  windows_.Clear();
  ASSERT_EQ(AcceptRunProcess(kProcAcceptRun, Slice::Of(base + ",1,40,4,0,,0,'Otra SL'")),
            Status::kOk);
  EXPECT_EQ(windows_.Text(3, 1), "Otra SL");
  EXPECT_EQ(strtab::Count(34), 0);
  EXPECT_EQ(ReadFile(dir_ + "/data/empresa.dat"), "EMPRESA$='Vieja SL';OTRA$='se queda'\r\n");
}

TEST_F(CaptureByRequest, AParameterSetCaptureRunsItsHookOnConfirm) {
  Input("4,2026\n");
  const std::string base = dir_ + "/app/CAPT";
  // Hook 6 of the application runs STEPS$; here a stand-in that records.
  static std::string seen;
  RegisterHook(6, [](int event, Slice argument, void*) {
    seen = std::to_string(event) + " " + argument.str();
    return Slice();
  });
  ASSERT_EQ(AcceptRunProcess(kProcAcceptRun, Slice::Of(base + ",2")), Status::kOk)
      << GetDetail().str();
  EXPECT_EQ(seen, "25 ' 4','2026'");
  EXPECT_EQ(Eval("MES#"), "4");

  // Without a field list, or with hook 0, nothing runs.
  EXPECT_EQ(AcceptFromParameters(Slice::Of(base), 1, -1).status, Status::kBadInputData);
  EXPECT_EQ(GetDetail().str(), "ACBOUND$");
  ClearDetail();
}

}  // namespace
}  // namespace tessaly
