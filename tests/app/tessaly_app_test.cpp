#include "app/tessaly_app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/app_hooks.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/process.h"
#include "core/startup_services.h"
#include "core/string_tables.h"
#include "data/parameters.h"
#include "expr/functions.h"
#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kInitialise = kTessalyStartFlags * 16 + kPhaseInitialise;
constexpr int32_t kStart = kTessalyStartFlags * 16 + kPhaseStart;
constexpr int32_t kEnd = kTessalyStartFlags * 16 + kPhaseEnd;

class TessalyApp : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ResetFunctions();
    ForgetSession();
    ClearProcessHandlers();
    SetProcessDispatcher(nullptr);
    StartupServices services;
    services.evaluate_for_errors = &EvaluateForErrors;
    services.evaluate_to_text = &EvaluateToText;
    services.assign_text = &AssignText;
    InstallStartupServices(services);
    apps_ = Scratch() / "apps";
    fs::create_directories(apps_);
    fs::create_directories(Scratch() / "data");
    (void)strtab::Set(strtab::kEnvironment, 2, kTessalyIdentifier);
    (void)strtab::Set(strtab::kEnvironment, 5, Slice::Of(apps_.string()));
  }
  void TearDown() override {
    while (ParameterSetDepth() > 0) (void)ParameterSetPop();
    ForgetSession();
    ClearProcessHandlers();
    ClearHooks();
    ResetStartupServices();
    AppTest::TearDown();
  }

  fs::path apps_;
};

TEST_F(TessalyApp, InitialiseRegistersHooksAndFunctionsInOrder) {
  ClearHooks();
  ASSERT_EQ(TessalyCallback(kInitialise).code(), 0);
  EXPECT_EQ(GetHook(6), &ProcessListHook);
  EXPECT_EQ(GetHook(7), &StepsStubHook);
  EXPECT_EQ(GetHook(23), &LowLevelTaskHook);
  EXPECT_EQ(GetHook(10), nullptr);  // the invoicing batch comes with its window
  const char* names[] = {"VATv",    "VAT$",     "AUTONUM", "DocSer$",
                         "FN$TXTN", "PayDate$", "Iban$",   "Mod"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(FunctionCode(names[i]), 34 + i) << names[i];
  // The start phase registers again without moving a code.
  ASSERT_EQ(RegisterApplicationFunctions().code(), 0);
  EXPECT_EQ(FunctionCode("Mod"), 41);
  EXPECT_EQ(FunctionName(42).str(), "");
  EXPECT_EQ(TessalyCallback(kEnd).code(), 0);
}

TEST_F(TessalyApp, StartSetsDefaultsThenReadsTheParameterFilesAndOpensTheSession) {
  WriteAll(apps_ / "TYCLCFIX.DAT", "DOCSS$='INVOICE'\r\nFIXED=1\r\n");
  WriteAll(Scratch() / "data" / "TYPARINI.DAT", "DOCSO$='PEDIDO'\r\n");
  WriteAll(apps_ / "KVCLCUSR.DAT", "SERIE$=DocSer$('A';'20170829')\r\n");
  ASSERT_EQ(TessalyCallback(kInitialise).code(), 0);
  ASSERT_EQ(TessalyCallback(kStart).code(), 0) << GetDetail().str();
  EXPECT_EQ(Eval("RLV"), "=1");
  EXPECT_EQ(Eval("DOCSB$"), "BUDGET");
  EXPECT_EQ(Eval("DOCSO$"), "PEDIDO");  // a parameter file overrides a default
  EXPECT_EQ(Eval("DOCSS$"), "INVOICE");
  EXPECT_EQ(Eval("FIXED"), "=1");
  EXPECT_EQ(Eval("SERIE$"), "A17");  // the functions are there for the files
  EXPECT_EQ(fs::path(strtab::Get(strtab::kEnvironment, 7).str()), apps_ / "Help");
  EXPECT_EQ(ReadAll(apps_ / "TYFSTAT.DAT").substr(0, 1), "1");
}

TEST_F(TessalyApp, StartStopsWithoutTheRequiredParameterFile) {
  ASSERT_EQ(TessalyCallback(kInitialise).code(), 0);
  EXPECT_EQ(TessalyCallback(kStart).code(), Status::kFileNotFound);
  EXPECT_NE(GetDetail().str().find("TYCLCFIX.DAT"), std::string::npos);
}

int g_handled = 0;

TEST_F(TessalyApp, DispatcherChecksTheSessionAndPassesProcessesOn) {
  WriteAll(apps_ / "TYCLCFIX.DAT", "");
  ASSERT_EQ(TessalyCallback(kInitialise).code(), 0);
  ASSERT_EQ(TessalyCallback(kStart).code(), 0);
  SetProcessDispatcher(&TessalyDispatch);

  EXPECT_EQ(RunProcess("ExpEval X=5").code(), 0);
  EXPECT_EQ(Eval("X"), "=5");
  EXPECT_EQ(RunProcess("FileTrans").code(), Status::kFeatureRemoved);
  EXPECT_NE(GetDetail().str().find("FileTransWizzard"), std::string::npos);
  // The windows of processes 5 and 8 are not in this build: 148 says so.
  ClearDetail();
  EXPECT_EQ(RunProcess("MantMain CUSTOMER").code(), Status::kFeatureRemoved);
  EXPECT_NE(GetDetail().str().find("MantMain"), std::string::npos);
  // Once registered, they run.
  g_handled = 0;
  SetProcessHandler(
      kProcMantMain,
      [](int, Slice p) -> Status {
        g_handled = p.str() == "CUSTOMER" ? 1 : -1;
        return Status::kOk;
      },
      false);
  EXPECT_EQ(RunProcess("MantMain CUSTOMER").code(), 0);
  EXPECT_EQ(g_handled, 1);

  // Another process takes the session over: every request is refused.
  WriteAll(apps_ / "TYFSTAT.DAT", "1 another session");
  g_handled = 0;
  EXPECT_EQ(RunProcess("MantMain CUSTOMER").code(), Status::kNetAccessError);
  EXPECT_EQ(RunProcess("ExpEval X=6").code(), Status::kNetAccessError);
  EXPECT_EQ(g_handled, 0);
  EXPECT_EQ(Eval("X"), "=5");
}

TEST_F(TessalyApp, ProcessListHookRunsStepsOnConfirm) {
  ASSERT_EQ(ParameterSetPush("COND$=A>1:STEPS$=\"'ExpEval Y=2','ExpEval Z=3'\"").code(), 0);
  Slice answer = ProcessListHook(kConfirmEvent - 1, Slice(), nullptr);
  EXPECT_TRUE(answer.ok());
  EXPECT_EQ(Eval("Y"), "=0");  // only the confirming event acts

  answer = ProcessListHook(kConfirmEvent, Slice(), nullptr);
  EXPECT_TRUE(answer.ok()) << answer.status().code();
  EXPECT_EQ(Eval("Y"), "=2");
  EXPECT_EQ(Eval("Z"), "=3");
  EXPECT_EQ(strtab::Get(kSettingsTable, kReportConditionItem).str(), "A>1");

  ASSERT_EQ(ParameterSetPush("STEPS$=\"'ExpEval 1+','ExpEval W=1'\"").code(), 0);
  answer = ProcessListHook(kConfirmEvent, Slice(), nullptr);
  EXPECT_TRUE(answer.status().is_error()) << answer.status().code();
  EXPECT_EQ(Eval("W"), "=0");  // stopped at the first failure
}

TEST_F(TessalyApp, StubHooksAnswerWithTheRuntimesDefault) {
  EXPECT_TRUE(StepsStubHook(1, Slice(), nullptr).ok());
  EXPECT_EQ(StepsStubHook(kConfirmEvent, Slice(), nullptr).status().code(),
            Status::kFeatureRemoved);
  EXPECT_EQ(LowLevelTaskHook(0, Slice(), nullptr).status().code(), Status::kFeatureRemoved);
  EXPECT_EQ(GetDetail().str(), kLowLevelTask);
}

TEST_F(TessalyApp, StartupParametersCarryTheApplication) {
  StartupParameters p = TessalyStartupParameters("tessaly /APNAME=X");
  EXPECT_EQ(p.command_line, "tessaly /APNAME=X");
  EXPECT_EQ(p.application_id, "TYRBNQD1:VizuzIzeri");
  EXPECT_EQ(p.title, "Tessaly");
  EXPECT_EQ(p.flags, 2);
  EXPECT_EQ(p.callback, &TessalyCallback);
  EXPECT_EQ(p.dispatcher, &TessalyDispatch);
}

}  // namespace
}  // namespace tessaly
