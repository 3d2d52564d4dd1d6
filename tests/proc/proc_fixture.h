// The procedure tests' world: fresh core tables, variables and structures,
// the procedure layer installed, and a fresh folder that is both the
// current folder (PrcLog.txt, data files) and the first folder of
// environment slot 5, followed by tests/fixtures/procs where the fixture
// procedures live.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/runtime_arrays.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/builtins_data.h"
#include "data/datafile.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/functions.h"
#include "expr/variables.h"
#include "proc/commands.h"
#include "proc/procedures.h"

namespace tessaly {

class ProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    ResetFunctions();
    ResetVariables();
    ClearExpressionCache();
    StructClearAll();
    ClearRecordLists();
    ClearOpenSets();
    ClearDetail();
    ForceLastError(0, 0);
    UseStructuresForDataFiles();
    InstallRecordOperations();
    InstallDataBuiltinFunctions();
    UnloadAllProcedures();
    ClearCommands();
    InstallProcedures();
    SetMessagePump(nullptr);
    ClearProcedureBreak();
    SetHeadlessAnswer(HeadlessAnswer::kSafeDefault);
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_proc_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    std::string folders = dir_ + "," + std::string(TESSALY_FIXTURES) + "/procs";
    ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(folders)), Status::kOk);
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    ClearRecordLists();
    ClearOpenSets();
    StructClearAll();
    UnloadAllProcedures();
    StreamCloseAll();
    SetMessagePump(nullptr);
    SetRunResources(RunResourceKind::kDevices, nullptr);
    SetRunResources(RunResourceKind::kWindows, nullptr);
    SetProgressDisplay(nullptr);
    EndProgress();
    EXPECT_EQ(Area().Mark(), depth_) << "the string area grew across calls";
    Area().Release(depth_);
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }

  // Writes a file into the test folder.
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Runs a procedure written on the spot, from its start, through a run
  // text; `statements` run first (their variables outlive the run).
  Status RunScript(const std::string& script, const std::string& statements = "OUT$=''") {
    Write("script.prx", script);
    return Run("script.prx,," + statements);
  }
  static Status Run(const std::string& run_text) { return ProcedureRun(Slice::Of(run_text)); }
  // An expression's value as text (numbers formatted); "<status>" on failure.
  static std::string Eval(const std::string& expression) {
    AreaMark mark;
    Slice v = EvaluateToText(Slice::Of(expression));
    return v.ok() ? v.str() : "<" + std::to_string(v.status().code()) + ">";
  }
  static std::string Detail() { return GetDetail().str(); }

  int depth_ = 0;
  std::string dir_;
  std::filesystem::path old_cwd_;
};

}  // namespace tessaly
