// The procedure compiler and runner: fixture scripts with their expected
// output, the texts of load-time errors with compiled line numbers, the
// limits, calls and their arguments, the trace, the user break and the
// cleanup after a run from the start.

#include <string>
#include <vector>

#include "core/process.h"
#include "proc_fixture.h"

namespace tessaly {
namespace {

// ---- Scripts and their output ------------------------------------------------------------

struct ScriptCase {
  const char* file;
  const char* output;
};

class ScriptTest : public ProcedureTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptTest, RunsToItsExpectedOutput) {
  const ScriptCase& c = GetParam();
  ASSERT_EQ(Run(std::string(c.file) + ",,OUT$=''"), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), c.output);
  EXPECT_EQ(ProcedureCount(), 0) << "the run unloads what it loaded";
  EXPECT_EQ(FileCount(), 0) << "the structures of the run are removed";
  EXPECT_EQ(strtab::Count(strtab::kFunctionArgs), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ScriptTest,
    ::testing::Values(ScriptCase{"blocks.prx", "other,two,other,i=0,zero,j3,j3,"},
                      ScriptCase{"gosub.prx", "aiai."},
                      ScriptCase{"caller.prx", "sum=5.5,Ana Ruiz,x=0"},
                      ScriptCase{"FILESTRUCT.PRX", "current=1,back=0,ier=0,Ana"}),
    [](const auto& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find('.'));
    });

TEST_F(ProcedureTest, APrcExecRequestRunsItsParametersAsARunText) {
  ASSERT_EQ(RunProcess("PrcExec gosub,,OUT$='>'"), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), ">aiai.");
  EXPECT_EQ(RunProcess("PrcExec missing.prx"), Status::kFileNotFound);
  EXPECT_EQ(Detail(), "missing.prx");
}

// ---- Compiling ----------------------------------------------------------------------------

TEST_F(ProcedureTest, LoadErrorsNameTheCompiledLineBeforeAnythingRuns) {
  struct Case {
    const char* file;
    Status status;
    const char* text;
  } cases[] = {
      {"badlabel.prx", Status::kSyntaxError,
       "\r\nLabel 'NOWHERE' in line 3 (+ remmarks) not found"},
      {"badendif.prx", Status::kSyntaxError,
       "\r\nFinal of Conditional or loop without \r\nBegin (Loop, Endif...) in line 3 (+ "
       "remmarks)"},
      {"openblock.prx", Status::kSyntaxError,
       "\r\nFinal of Conditional or loop without \r\nBegin (Loop, Endif...) in line 2 (+ "
       "remmarks)"},
  };
  for (const Case& c : cases) {
    ClearDetail();
    EXPECT_EQ(Run(std::string(c.file) + ",,OUT$=''"), c.status) << c.file;
    std::string detail = Detail();
    EXPECT_EQ(detail.substr(detail.size() - std::string(c.text).size()), c.text) << detail;
    EXPECT_NE(detail.find(c.file), std::string::npos) << "the file is named: " << detail;
    EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kExecCompiler));
    ForceLastError(0, 0);
    EXPECT_EQ(ProcedureCount(), 0);
  }
}

TEST_F(ProcedureTest, CompiledLinesCarryTheirTargets) {
  CompiledProcedure p;
  ASSERT_EQ(ProcedureCompileText("; remark\r\n:TOP\r\nIF A\nB=1\n  else\nB=2\nENDIF\nDO\n"
                                 "GOSUB TOP\nLOOP_UNTIL 1\nDEF_FN E1\n:END\n",
                                 "t", &p),
            Status::kOk)
      << Detail();
  struct Expected {
    uint16_t keyword, target;
    const char* argument;
  } lines[] = {{kPkIf, 3, "A"},          {kPkStatement, 0, "B=1"}, {kPkElse, 5, ""},
               {kPkStatement, 0, "B=2"}, {kPkEndif, 2, ""},        {kPkDo, 8, ""},
               {kPkGosub, 0, "TOP"},     {kPkLoopUntil, 5, "1"}};
  ASSERT_EQ(p.lines.size(), std::size(lines));
  for (size_t i = 0; i < p.lines.size(); ++i) {
    EXPECT_EQ(p.lines[i].keyword, lines[i].keyword) << i;
    EXPECT_EQ(p.lines[i].target, lines[i].target) << i;
    EXPECT_EQ(p.lines[i].argument, lines[i].argument) << i;
  }
  ASSERT_EQ(p.entry_names, std::vector<std::string>{"E1"});
  EXPECT_EQ(p.entry_lines[0], 8);
}

std::string Repeat(const std::string& line, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += line + "\n";
  return out;
}
std::string Labels(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += ":L" + std::to_string(i) + "\nA=1\n";
  return out;
}

TEST_F(ProcedureTest, CompilerLimitsAndBadSourceAreRefusedWithAStatus) {
  struct Case {
    std::string source;
    Status status;
  } cases[] = {
      {Labels(128), Status::kOk},
      {Labels(129), Status::kOutOfMemory},
      {Repeat("DEF_FN E", 129), Status::kOutOfMemory},
      {Repeat("IF 1", 16) + Repeat("ENDIF", 16), Status::kOk},
      {Repeat("IF 1", 17) + Repeat("ENDIF", 17), Status::kOutOfMemory},
      {"ELSE\nENDIF\n", Status::kSyntaxError},
      {"A=1\nB=\x01"
       "2\n",
       Status::kBadInputData},
      {std::string("A=\0", 3) + "1\n", Status::kBadInputData},
      {"A='" + std::string(508, 'x') + "'\n", Status::kOk},
      {"A='" + std::string(509, 'x') + "'\n", Status::kStringTooLong},
      {"goto x\n:x\n", Status::kOk},
      {"GOTO X\n:x\n", Status::kSyntaxError},
  };
  for (const Case& c : cases) {
    CompiledProcedure p;
    EXPECT_EQ(ProcedureCompileText(Slice::Of(c.source), "t", &p), c.status)
        << c.source.substr(0, 40) << " " << Detail();
  }
}

TEST_F(ProcedureTest, ABinaryOrOverLongFileIsRefusedNamingItsLine) {
  Write("binary.prx", std::string("A=1\r\n\x7f"
                                  "ELF\x02\x01\x01\0\0\0",
                                  14));
  EXPECT_EQ(ProcedureLoad("binary.prx"), Status::kBadInputData);
  EXPECT_NE(Detail().find("binary.prx line 2"), std::string::npos) << Detail();
  Write("long.prx", "A=1\r\nB=2\r\nC$='" + std::string(4000, 'y') + "'\r\n");
  EXPECT_EQ(ProcedureLoad("long.prx"), Status::kStringTooLong);
  EXPECT_NE(Detail().find("long.prx line 3"), std::string::npos) << Detail();
  EXPECT_EQ(ProcedureCount(), 0);
}

// ---- Running ------------------------------------------------------------------------------

TEST_F(ProcedureTest, FailuresEndTheRunNamingTheLine) {
  struct Case {
    std::string script;
    Status status;
    const char* line_text;
  } cases[] = {
      {"A=1\n; remark\nB='x'+1\nC=1\n", Status::kTypeMismatch, "Line: 2 (+ remmarks):\r\n B='x'+1"},
      {"IF 'a'-'b'\nENDIF\n", Status::kSyntaxError, "Line: 1 (+ remmarks):\r\nIF 'a'-'b'"},
      {"X=[1+]\n", Status::kSyntaxError, "Line: 1 (+ remmarks):\r\n X=[1+]"},
      {":R\nGOSUB R\n", Status::kOutOfMemory, "Line: 1 (+ remmarks):\r\nGOSUB R"},
      {"CALL NOSUCH\n", Status::kSyntaxError, "NOSUCH\r\nLine: 1 (+ remmarks):\r\nCALL NOSUCH"},
  };
  for (const Case& c : cases) {
    ClearDetail();
    EXPECT_EQ(RunScript(c.script), c.status) << c.script;
    EXPECT_NE(Detail().find(c.line_text), std::string::npos) << c.script << ": " << Detail();
  }
}

TEST_F(ProcedureTest, WithoutADispatcherOnlyCommandLinesFail) {
  ClearCommands();
  EXPECT_EQ(RunScript("A=1\nIF A==1\nOUT$='flow'\nENDIF\n"), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), "flow");
  ClearDetail();
  EXPECT_EQ(RunScript("A=1\n# remark\nMESSAGE 'X'\nOUT$='after'\n"), Status::kFeatureRemoved);
  EXPECT_EQ(Detail(), "MESSAGE\r\nLine: 2 (+ remmarks):\r\nMESSAGE 'X'");
  EXPECT_EQ(Eval("OUT$"), "");
}

TEST_F(ProcedureTest, CallArgumentsMustAllBeTakenAndMatchTheirVariables) {
  struct Case {
    const char* call;
    Status status;
    const char* detail;
  } cases[] = {
      {"CALL NOARGS,library.prx 1", Status::kSyntaxError, "LOCALVARS"},
      {"CALL SUM,library.prx 1", Status::kSyntaxError, "LOCALVARS"},
      {"CALL SUM,library.prx 'x',2", Status::kTypeMismatch, "A#"},
      {"CALL BADNAME,library.prx 'x'", Status::kTypeMismatch, ".tab$"},
      {"CALL SUM,library.prx 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17", Status::kOutOfMemory, ""},
      {"CALL SUM,nosuch.prx 1,2", Status::kFileNotFound, "nosuch.prx"},
      {"CALL SUM,library.prx 1,2", Status::kOk, ""},
      {"CALL SUM,library.prx,0 1,2", Status::kOk, ""},
  };
  for (const Case& c : cases) {
    ClearDetail();
    EXPECT_EQ(RunScript(std::string(c.call) + "\n"), c.status) << c.call;
    EXPECT_NE(Detail().find(c.detail), std::string::npos) << c.call << ": " << Detail();
    EXPECT_EQ(strtab::Count(strtab::kFunctionArgs), 0) << c.call;
  }
  // Without the release flags the callee's locals survive the call and the
  // run.
  Write("keep.prx", "CALL SUM,library.prx,0 1,2\n");
  ASSERT_EQ(ProcedureRunEntry("", "keep.prx", 0), Status::kOk) << Detail();
  EXPECT_EQ(Eval("X#"), "1");
  EXPECT_EQ(Eval("TOTAL#"), "3");
}

TEST_F(ProcedureTest, CallsNestOnlySoDeep) {
  EXPECT_EQ(RunScript("DEF_FN R\nN=N+1\nCALL R\n", "N=0"), Status::kProcStackError);
  EXPECT_EQ(Eval("N"), std::to_string(kMaxCallDepth));
}

TEST_F(ProcedureTest, EachRunKeepsItsOwnGosubReturns) {
  // The entry calls itself between a GOSUB and its RETURN: the inner run's
  // RETURN must not take the outer run's return line.
  Write("self.prx",
        "DEF_FN MAIN\nGOSUB S\nOUT$=OUT$+'back'\nEND\n:S\nIF D==0\nD=1\nCALL INNER\nENDIF\n"
        "OUT$=OUT$+'s'\nRETURN\nDEF_FN INNER\nOUT$=OUT$+'i'\nRETURN\n");
  ASSERT_EQ(Run("self.prx,MAIN,OUT$='',D=0"), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), "isback");
}

TEST_F(ProcedureTest, ARunTextLoadsLibrariesAndUnloadsEverything) {
  Write("main.prx", "CALL SUM 2,3\nOUT$=OUT$+FN$TRIM(TOTAL#)\n");
  ASSERT_EQ(Run("main.prx;nosuch;library.prx,,OUT$='',TOTAL#=0"), Status::kFileNotFound);
  EXPECT_EQ(ProcedureCount(), 0);
  ASSERT_EQ(Run("main.prx;library.prx,,OUT$='',TOTAL#=0"), Status::kOk) << Detail();
  EXPECT_EQ(Eval("OUT$"), "5");
  EXPECT_EQ(ProcedureCount(), 0);
  EXPECT_EQ(Run("library.prx,NOARGS"), Status::kOk) << Detail();
  EXPECT_EQ(Run("library.prx,SUM"), Status::kSyntaxError) << "LOCALVARS without a call";
  EXPECT_EQ(Run(""), Status::kBadInputData);
}

TEST_F(ProcedureTest, EndGivesTheResultTheCallerAskedFor) {
  struct Case {
    const char* script;
    const char* result;
  } cases[] = {
      {"A=2\nEND A*3\nA=9\n", "6"},
      {"A$='last'\nIF 1\nENDIF\n", "last"},
      {"GOSUB X\nEND\n:X\nB$='sub'\nRETURN\n", "sub"},
  };
  for (const Case& c : cases) {
    Write("r.prx", c.script);
    int before = strtab::Count(strtab::kProcedureResults);
    ASSERT_EQ(ProcedureRunEntry("", "r.prx", kRunResult | kRunRelease), Status::kOk) << Detail();
    ASSERT_EQ(strtab::Count(strtab::kProcedureResults), before + 1);
    EXPECT_EQ(strtab::Top(strtab::kProcedureResults).str(), c.result) << c.script;
    ASSERT_EQ(ProcedureRunEntry("", "r.prx", kRunRelease), Status::kOk);
    EXPECT_EQ(strtab::Count(strtab::kProcedureResults), before + 1) << "nobody asked";
  }
  EXPECT_EQ(FindVariable("A$").index, kNotFound) << "released with the run";
}

TEST_F(ProcedureTest, TheTraceGrowsByOneLinePerExecutedLine) {
  // A false IF goes on after its ENDIF: line 5 never runs.
  ASSERT_EQ(RunScript("_TRACE=9\nA=1\nIF A==2\nB=1\nENDIF\nWAIT 0\n_TRACE=1\nC=1\n"), Status::kOk)
      << Detail();
  EXPECT_EQ(Read(kProcedureLogName), "2\t A=1\r\n3\tIF A==2\r\n6\tWAIT 0\r\n7\t _TRACE=1\r\n");
}

// ---- User break -----------------------------------------------------------------------------

int g_pump_calls = 0;
bool BreakOnTheTenthLine() { return ++g_pump_calls == 10; }
bool SignalOnTheTenthLine() {
  if (++g_pump_calls == 10) RequestProcedureBreak();
  return false;
}

TEST_F(ProcedureTest, AnEndlessLoopIsBrokenByTheUser) {
  for (MessagePump pump : {&BreakOnTheTenthLine, &SignalOnTheTenthLine}) {
    g_pump_calls = 0;
    SetMessagePump(pump);
    ClearDetail();
    EXPECT_EQ(RunScript("FILESTRUCT 'w','A;1;A'\nDO\nN=N+1\nLOOP\n", "N=0"), Status::kUserCanceled);
    EXPECT_EQ(g_pump_calls, 10);
    EXPECT_NE(Detail().find("Line: "), std::string::npos) << Detail();
    EXPECT_EQ(FileCount(), 0) << "the cleanup ran";
    EXPECT_FALSE(ProcedureBreakPending());
  }
  SetMessagePump(nullptr);
  RequestProcedureBreak();  // asked for while nothing ran: a new run starts afresh
  EXPECT_EQ(RunScript("A=1\n"), Status::kOk);
}

// ---- Cleanup after a run from the start -------------------------------------------------------

class CountingResources : public RunResources {
 public:
  int Mark() override { return open; }
  void ReleaseTo(int mark) override {
    released_to.push_back(mark);
    if (open > mark) open = mark;
  }
  int open = 0;
  std::vector<int> released_to;
};
CountingResources* g_windows = nullptr;

Status OpenWindowCommand(int, int, const CommandArgument*) {
  ++g_windows->open;
  return Status::kOk;
}

Status OpenSetFunction(FunctionCall& call) {
  AreaMark mark;
  Status kind = call.Evaluate(1);
  if (kind != kTextValue) return kind.failed() ? kind : Status(Status::kTypeMismatch);
  return mark.Release(OpenSet(Area().Top()));
}

TEST_F(ProcedureTest, ARunFromTheStartPutsBackWhatItOpened) {
  ASSERT_EQ(FileStructDefine("base", "K;2;A", ""), Status::kOk);
  int outside_marks = StructMarkCount();
  ASSERT_EQ(RegisterFunction("TESTOPEN#", &OpenSetFunction), Status::kOk);
  CountingResources windows, devices;
  g_windows = &windows;
  windows.open = 1;  // a window open before the run stays
  SetRunResources(RunResourceKind::kWindows, &windows);
  SetRunResources(RunResourceKind::kDevices, &devices);
  ASSERT_EQ(SetCommandHandler(kCmdWinOpen, &OpenWindowCommand), Status::kOk);

  const std::string script =
      "FILESTRUCT 'temp','K;2;A'\nTESTOPEN#('temp')\nWINOPEN\nWINOPEN\n"
      "RC_INSERT 'base'\nSTATSTEPS 10,'x'\n";
  for (const char* end : {"", "A='x'+1\n"}) {
    ASSERT_EQ(RunScript(script + end), *end ? Status::kTypeMismatch : Status::kOk) << Detail();
    EXPECT_EQ(OpenSetDepth(), 0);
    EXPECT_EQ(FileCount(), 1);
    EXPECT_EQ(StructMarkCount(), outside_marks);
    EXPECT_FALSE(DataFileIsOpen(1)) << "files opened during the run are closed";
    EXPECT_EQ(windows.open, 1);
    EXPECT_FALSE(CurrentProgress().running);
  }
  EXPECT_EQ(windows.released_to, (std::vector<int>{1, 1}));
  EXPECT_EQ(devices.released_to, (std::vector<int>{0, 0}));

  // A run of a named entry is part of a larger run: it puts nothing back.
  Write("entry.prx", "DEF_FN E\nFILESTRUCT 'temp','K;2;A'\n");
  ASSERT_EQ(ProcedureRunEntry("E", "entry.prx", 0), Status::kOk) << Detail();
  EXPECT_EQ(FileCount(), 2);
}

}  // namespace
}  // namespace tessaly
