// Procedure commands: how arguments reach a dispatcher, the commands whose
// layers come later, and the commands of this layer run from procedures.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "data/dictionary.h"
#include "proc_fixture.h"

namespace tessaly {
namespace {

// ---- Dispatch -------------------------------------------------------------------------------

struct Captured {
  int command = 0;
  int kind = 0;
  int value = 0;
  int64_t number = 0;
  std::string text, written;
};
std::vector<Captured> g_captured;

Status CaptureArguments(int command, int count, const CommandArgument* args) {
  g_captured.clear();
  for (int i = 0; i < count; ++i) {
    g_captured.push_back({command, args[i].kind, args[i].value, args[i].number, args[i].text.str(),
                          args[i].written.str()});
  }
  return Status::kOk;
}

TEST_F(ProcedureTest, ArgumentsReachTheHandlerWithKindValueAndText) {
  ASSERT_EQ(SetCommandHandler(kCmdWinOpen, &CaptureArguments), Status::kOk);
  ASSERT_EQ(RunScript("X$='v'\nN=4\nWINOPEN 'T',3*2,,X$,[N+1],70000.5,-2,FN$MIDS('abc',2,1)\n"),
            Status::kOk)
      << Detail();
  struct Expected {
    int kind, value;
    int64_t number;
    const char* text;
    const char* written;
  } expected[] = {
      {1, 0, 0, "T", "'T'"},     {0, 6, 600, "6", "3*2"},
      {1, 0, 0, "", ""},         {1, 0, 0, "v", "X$"},
      {0, 5, 500, "5", "5"},     {0, 32767, 7000050, "70000.5", "70000.5"},
      {0, -2, -200, "-2", "-2"}, {1, 0, 0, "b", "FN$MIDS('abc',2,1)"},
  };
  ASSERT_EQ(g_captured.size(), std::size(expected));
  for (size_t i = 0; i < g_captured.size(); ++i) {
    const Captured& c = g_captured[i];
    EXPECT_EQ(c.command, kCmdWinOpen);
    EXPECT_EQ(c.kind, expected[i].kind) << i;
    EXPECT_EQ(c.value, expected[i].value) << i;
    EXPECT_EQ(c.number, expected[i].number) << i;
    EXPECT_EQ(c.text, expected[i].text) << i;
    EXPECT_EQ(c.written, expected[i].written) << i;
  }
  EXPECT_EQ(RunScript("WINOPEN 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\n"), Status::kOutOfMemory);
  EXPECT_EQ(RunScript("WINOPEN 1,'a'+1\n"), Status::kTypeMismatch);
  EXPECT_NE(Detail().find("Line: 1 (+ remmarks):\r\nWINOPEN 1,'a'+1"), std::string::npos)
      << Detail();
}

TEST_F(ProcedureTest, CommandsOfLaterLayersAnswerWithTheirName) {
  for (const char* name : {"ACCEPT", "BOUNDS", "COLOR", "DEVICE", "DPRINT", "ENDDEVICE", "PRINT",
                           "REPORT", "DOCPRINT", "WINMENU", "WINOPEN", "WINCLOSE", "WINSELECT",
                           "WINPROG", "FILESELECT", "REMOTE", "CONNECT"}) {
    ClearDetail();
    EXPECT_EQ(RunScript(std::string("A=1\n") + name + " 'x'\n"), Status::kFeatureRemoved) << name;
    EXPECT_EQ(Detail(), std::string(name) + "\r\nLine: 2 (+ remmarks):\r\n" + name + " 'x'");
  }
}

TEST_F(ProcedureTest, ADispatcherInAnEarlierSlotTakesEveryCommand) {
  ASSERT_EQ(CommandRegister(3, &CaptureArguments), Status::kOk);
  EXPECT_EQ(RunScript("MESSAGE 'hi'\nFILESTRUCT 'w','A;1;A'\n"), Status::kOk);
  EXPECT_EQ(FileCount(), 0) << "FILESTRUCT went to the earlier dispatcher";
  ASSERT_EQ(g_captured.size(), 2u);
  EXPECT_EQ(g_captured[0].command, kCmdFileStruct);
  EXPECT_EQ(CommandRegister(16, &CaptureArguments), Status::kDataOutBound);
}

// ---- Messages, programs, waiting and progress --------------------------------------------------

TEST_F(ProcedureTest, MessageShowsABoxAndKeepsTheAnswer) {
  RecordingMessageBoxUi ui;
  ScopedMessageBoxUi scoped(&ui);
  ui.Answer(BoxButton::kNo);
  ui.Answer(BoxButton::kYes);
  ui.Answer(BoxButton::kCancel);
  ASSERT_EQ(RunScript("MESSAGE 'Go on?','Ask',5\nOUT$=FN$TRIM(_STAT)\n"
                      "MESSAGE 'Go on?','',5\nOUT$=OUT$+FN$TRIM(_STAT)\n"
                      "MESSAGE 'Sure?','',6\nOUT$=OUT$+FN$TRIM(_STAT)\nMESSAGE 12.5\n"),
            Status::kOk);
  EXPECT_EQ(Eval("OUT$"), "210");
  ASSERT_EQ(ui.boxes.size(), 4u);
  EXPECT_EQ(ui.boxes[0].text, "Go on?");
  EXPECT_EQ(ui.boxes[0].caption, "Ask");
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::kYesNo);
  EXPECT_EQ(ui.boxes[3].text, "12.5");
  EXPECT_EQ(ui.boxes[3].kind, BoxKind::kInformation);
}

TEST_F(ProcedureTest, ProgramsGetTheirArgumentsAsTheyAre) {
  ASSERT_EQ(RunScript("SYSTEM '/bin/sh','-c','printf %s \"$1\" > out.txt; exit 3','sh',"
                      "'a;b $HOME \"q\" %TEMP%'\n"),
            Status::kOk)
      << Detail();
  EXPECT_EQ(Read("out.txt"), "a;b $HOME \"q\" %TEMP%");
  EXPECT_EQ(Word(kStat), 3);
  EXPECT_EQ(RunScript("SYSTEM 'no-such-program-here'\n"), Status::kChildExecError);
  EXPECT_NE(Detail().find("no-such-program-here"), std::string::npos);
  ASSERT_EQ(RunScript("SHELL '/bin/sh','-c','echo started > shell.txt'\n"), Status::kOk);
  for (int i = 0; i < 500 && Read("shell.txt") != "started\n"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Read("shell.txt"), "started\n");
}

bool AlwaysBreak() { return true; }

TEST_F(ProcedureTest, WaitPausesAndABreakEndsIt) {
  EXPECT_EQ(RunScript("WAIT 5\nWAIT -1\nOUT$='done'\n"), Status::kOk);
  EXPECT_EQ(Eval("OUT$"), "done");
  SetMessagePump(&AlwaysBreak);
  EXPECT_EQ(CommandDispatch(kCmdWait, "100000", 4), Status::kUserCanceled);
  EXPECT_NE(Detail().find("Line: 4 (+ remmarks):\r\nWAIT 100000"), std::string::npos) << Detail();
}

class RecordingProgress : public ProgressDisplay {
 public:
  void Start(Slice text, int64_t total) override {
    events.push_back("start " + text.str() + " " + std::to_string(total));
  }
  void Step(int64_t done, int64_t total) override {
    events.push_back("step " + std::to_string(done) + "/" + std::to_string(total));
  }
  void End() override { events.push_back("end"); }
  std::vector<std::string> events;
};

TEST_F(ProcedureTest, StatStepsDrivesTheProgressDisplay) {
  RecordingProgress progress;
  SetProgressDisplay(&progress);
  ASSERT_EQ(RunScript("STATSTEPS 2,'Copying'\nSTATSTEPS\nSTATSTEPS\nSTATSTEPS\nSTATSTEPS 0\n"
                      "STATSTEPS 5\n"),
            Status::kOk);
  EXPECT_EQ(progress.events, (std::vector<std::string>{"start Copying 2", "step 1/2", "step 2/2",
                                                       "step 2/2", "end", "start  5", "end"}))
      << "the last one ended by the run's cleanup";
}

// ---- Text files ------------------------------------------------------------------------------

TEST_F(ProcedureTest, ReadTakesLinesOfFilesAndStreams) {
  Write("lines.txt", "one\r\ntwo\nthree");
  ASSERT_EQ(RunScript("READ 'lines.txt',A$,2\nOUT$=A$+','+FN$TRIM(_IER)+','\n"
                      "READ 'lines.txt',B$,9\nOUT$=OUT$+B$+'|'+FN$TRIM(_IER)+','\n"
                      "H=FILESEL('lines.txt';8)\nDO\n  READ H,L$\n  IF _IER==0\n"
                      "    OUT$=OUT$+L$+';'\n  ENDIF\nLOOP_UNTIL _IER<>0\nX=FILESEL(H)\n"),
            Status::kOk)
      << Detail();
  EXPECT_EQ(Eval("OUT$"), "two,0,|2,one;two;three;");
  EXPECT_EQ(RunScript("READ 'lines.txt',N\n"), Status::kTypeMismatch);
  EXPECT_EQ(RunScript("READ 'nothere.txt',A$\n"), Status::kFileNotFound);
  EXPECT_EQ(RunScript("READ 33,A$\n"), Status::kFileNotInit);
}

TEST_F(ProcedureTest, KillDeletesFilesButNoneInUse) {
  Write("a.tmp", "a");
  Write("B.TMP", "b");
  Write("c.txt", "c");
  std::filesystem::create_directory(dir_ + "/sub.tmp");
  ASSERT_EQ(RunScript("KILL '*.tmp','nothere.txt'\nOUT$=FN$TRIM(_COUNT)\n"), Status::kOk)
      << Detail();
  EXPECT_EQ(Eval("OUT$"), "2");
  EXPECT_EQ(Read("a.tmp"), "<missing>");
  EXPECT_EQ(Read("c.txt"), "c");
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/sub.tmp"));
  EXPECT_EQ(RunScript("KILL 'sub.tmp'\n"), Status::kPermissionDenied);
  EXPECT_EQ(RunScript("FILESTRUCT 'w','K;2;A'\nK{w}='x'\nRC_INSERT 'w'\nKILL 'W.DIR'\n"),
            Status::kPermissionDenied);
  EXPECT_EQ(Read("w.DIR"), "x ");
}

// ---- Structures and records --------------------------------------------------------------------

TEST_F(ProcedureTest, LoadStructAddsADictionaryOrAStructureFileForTheRun) {
  std::string folders = dir_ + "," + std::string(TESSALY_FIXTURES) + "/recops";
  ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(folders)), Status::kOk);
  Write("work.stp", "; a structure file\r\nwork\r\nCODE;6;A\r\n\r\nQTY;5;N\r\n<0001006>\r\n");
  ASSERT_EQ(RunScript("LOADSTRUCT 'RO'\nOUT$=FN$TRIM(customers+invlines)+','\n"
                      "LOADSTRUCT 'work'\nOUT$=OUT$+FN$TRIM(_CURFIL)\nFILESTRUCT RESTORE\n"
                      "LOCATE 'customers','x'\n"),
            Status::kOk)
      << Detail();
  EXPECT_EQ(Eval("OUT$"), "4,4");
  EXPECT_EQ(FileCount(), 0);
  EXPECT_EQ(RunScript("LOADSTRUCT 'work'\nFILESTRUCT RESTORE\nLOCATE 'work','x'\n"),
            Status::kFileOpening);
  EXPECT_EQ(FileCount(), 0);
  EXPECT_EQ(RunScript("LOADSTRUCT 'ZZ'\n"), Status::kFileNotFound);
  EXPECT_EQ(RunScript("LOADSTRUCT 'none.stp'\n"), Status::kFileNotFound);
  EXPECT_EQ(StructMarkCount(), 0);
}

TEST_F(ProcedureTest, RecordCommandsFindWriteAndScan) {
  ASSERT_EQ(
      DictionaryLoad("RO", Slice::Of(dir_), Slice::Of(std::string(TESSALY_FIXTURES) + "/recops")),
      Status::kOk);
  const char* script =
      "RC_UPDATE 'customers'\nOUT$=FN$TRIM(_IER)+','\n"
      "CODE{1}='C2'\nNAME{1}='Bea'\nBALANCE{1}='10'\n"
      "RC_INSERT 'customers'\nOUT$=OUT$+FN$TRIM(_IER)+','\n"
      "RC_INSERT 1\nOUT$=OUT$+FN$TRIM(_IER)+','\n"
      "CODE{1}='C1'\nNAME{1}='Al'\nBALANCE{1}='5'\nRC_INSERT 'customers'\n"
      "LOCATE 'customers','C9'\nOUT$=OUT$+FN$TRIM(_IER)+','\n"
      "LOCATE 'customers','C1'\nOUT$=OUT$+FN$TRIM(_IER)+FN$TRIM(NAME{1})+','\n"
      "BALANCE{1}='7'\nRC_UPDATE 'customers'\n"
      "DLOCATE 'customers','BALANCE{1}>8'\nOUT$=OUT$+FN$TRIM(_IER)+FN$TRIM(CODE{1})+','\n"
      "DLOCATE 'customers','BALANCE{1}>8','NXT'\nOUT$=OUT$+FN$TRIM(_IER)+','\n"
      "DLOCATE 'customers','BALANCE{1}<8','BOT'\nOUT$=OUT$+FN$TRIM(CODE{1})+','\n"
      "FILELOCATE('NEW';1)\nCODE{1}='C3'\nNAME{1}='Cy'\nBALANCE{1}='1'\nRC_WRITE 'customers'\n"
      "FILELOCATE('NEW';1)\nCODE{1}='C1'\nNAME{1}='Al2'\nBALANCE{1}='2'\nRC_WRITE 'customers'\n"
      "FILESCAN 'customers','BALANCE{1}<5','BALANCE{1}=BALANCE{1}+100'\n"
      "OUT$=OUT$+FN$TRIM(_COUNT)+','\n"
      "FILESCAN 'customers','BALANCE{1}<0'\nOUT$=OUT$+FN$TRIM(_COUNT)+FN$TRIM(_IER)\n"
      "LOCATE 'customers','C2'\nRC_DELETE 'customers'\n"
      "EXPORT 'customers','c.txt'\n";
  ASSERT_EQ(RunScript(script), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), "2,0,5,2,0Al,0C2,2,C1,2,02");
  EXPECT_EQ(Read("c.txt"), "CODE;NAME;BALANCE\r\nC1;Al2;102.00\r\nC3;Cy;101.00\r\n");
  EXPECT_EQ(RunScript("LOCATE 'nosuch','x'\n"), Status::kFileOpening);
  // A bare name is a file variable when one exists, else a file's name; a
  // misspelt one never falls back on the current file.
  EXPECT_EQ(RunScript("custmers=1\nLOCATE custmers,'C1'\nOUT$=FN$TRIM(_IER)\n"), Status::kOk);
  EXPECT_EQ(Eval("OUT$"), "0");
  EXPECT_EQ(RunScript("LOCATE customers,'C3'\nOUT$=FN$TRIM(_IER)\n"), Status::kOk);
  EXPECT_EQ(Eval("OUT$"), "0");
  EXPECT_EQ(RunScript("RC_DELETE custmers\n"), Status::kFileOpening);
  // A failed search leaves no record to delete or rewrite.
  ASSERT_EQ(RunScript("LOCATE 1,'C1'\nLOCATE 1,'C0'\nRC_DELETE 1\nOUT$=FN$TRIM(_IER)\n"
                      "LOCATE 1,'C9'\nRC_UPDATE 1\nOUT$=OUT$+FN$TRIM(_IER)\nLOCATE 1,'C1'\n"
                      "OUT$=OUT$+FN$TRIM(_IER)\n"),
            Status::kOk);
  EXPECT_EQ(Eval("OUT$"), "220");
  EXPECT_EQ(Detail().substr(0, 8), "custmers");
  EXPECT_EQ(RunScript("LOCATE 9,'x'\n"), Status::kDataOutBound);
  EXPECT_EQ(RunScript("DLOCATE 1,'1','SVE'\n"), Status::kSyntaxError);
}

// ---- Export and import --------------------------------------------------------------------------

TEST_F(ProcedureTest, ExportThenImportIntoAnEmptyFileGivesTheSameRecords) {
  ASSERT_EQ(EvaluateForErrors("OUT$=''"), Status::kOk);
  ASSERT_EQ(ProcedureRunEntry("MAIN", "export.prx", 0), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), "exported=3,imported=3,skipped=3");
  EXPECT_EQ(Read("items.txt"),
            "CODE;NAME;PRICE;QTY;DAY;ACTIVE\r\n"
            "A1;\"  lead blanks\";;;;\r\n"
            "B2;\"Semi;colon \"\"q\"\"\";-12.50;7;20240131;1\r\n"
            "C3;Zoe;1234.56;-3;;0\r\n");
  ASSERT_EQ(FileCount(), 2);
  std::vector<std::string> records[2];
  for (int file = 1; file <= 2; ++file) {
    for (Status s = DataFileMove(file, kMoveFirst); s == kResultFound;
         s = DataFileMove(file, kMoveNext)) {
      RecordBuffers b = FileRecordBuffers(file);
      records[file - 1].emplace_back(b.current, b.length);
    }
  }
  EXPECT_EQ(records[0].size(), 3u);
  EXPECT_EQ(records[0], records[1]);
}

TEST_F(ProcedureTest, ImportRefusesBadTextNamingTheLine) {
  struct Case {
    const char* text;
    Status status;
    const char* detail;
    int64_t kept;
  } cases[] = {
      {"CODE;NOPE\r\nA;1\r\n", Status::kBadInputData, "bad.txt line 1: NOPE", 0},
      {"", Status::kBadInputData, "bad.txt line 1", 0},
      {"CODE;NAME\r\nA;\"open\r\n", Status::kBadInputData, "bad.txt line 2", 0},
      {"CODE;NAME\r\nA;\"x\"y\r\n", Status::kBadInputData, "bad.txt line 2", 0},
      {"CODE;NAME\r\nAAAAAAA;x\r\n", Status::kDataOutBound, "bad.txt line 2: CODE", 0},
      {"CODE;NAME\r\nA;\x1b\r\n", Status::kBadInputData, "bad.txt line 2: NAME", 0},
      {"code;name\r\nA;ok\r\n\r\nB;\"two\r\nlines\"\r\nC;x;y\r\n", Status::kBadInputData,
       "bad.txt line 6", 2},
  };
  for (const Case& c : cases) {
    Write("bad.txt", c.text);
    Write("imp.prx",
          "DEF_FN M\nFILESTRUCT 'target','CODE;6;A,NAME;20;A','<0001006>'\n"
          "IMPORT 'bad.txt','target'\n");
    ClearDetail();
    EXPECT_EQ(ProcedureRunEntry("M", "imp.prx", 0), c.status) << c.text;
    EXPECT_NE(Detail().find(c.detail), std::string::npos) << c.text << ": " << Detail();
    EXPECT_EQ(DataFileRecordCount(1), c.kept) << c.text;
    std::vector<std::string> problems;
    (void)DataFileCloseAll();
    EXPECT_EQ(DataFileCheck(1, &problems), Status::kOk) << c.text;
    StructClearAll();
    std::filesystem::remove(dir_ + "/target.DIR");
    std::filesystem::remove(dir_ + "/target.NDX");
  }
}

}  // namespace
}  // namespace tessaly
