// A clean runtime for the screen model: fresh variables, tables and
// structures, the screen-field handler as hook 0, a recording window layer
// with window 1 on top, and the customers file of the fixture screens:
//
//   1 customers  CODE 6 A | NAME 20 A | BALANCE 10 2 | SINCE 8 D | ACTIVE 1 L, key CODE
//                in a fresh folder
//
// tests/fixtures/screens/CUSTOM.PAN and .PPN hold screen 1 (the customers,
// bound to the file) and screen 3 (a document with a line part).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/memory_blocks.h"
#include "core/runtime_arrays.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/datafile.h"
#include "data/record_ops.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/functions.h"
#include "expr/variables.h"
#include "ui/recording_window_layer.h"
#include "ui/screen.h"

namespace tessaly {

inline const std::string kScreenFixtures = std::string(TESSALY_FIXTURES) + "/screens";
inline const std::string kCustomScreens = kScreenFixtures + "/CUSTOM";

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenResetAll();
    rtarray::FreeAll();
    strtab::ClearAll();
    ClearHooks();
    ResetFunctions();
    ResetVariables();
    ClearExpressionCache();
    StructClearAll();
    ClearOpenSets();
    ClearDetail();
    ForceLastError(0, 0);
    UseStructuresForDataFiles();
    InstallRecordOperations();
    InstallScreenFieldHandler();
    ASSERT_EQ(strtab::Set(strtab::kEnvironment, 4, "EN"), Status::kOk);
    old_layer_ = SetWindowLayer(&windows_);
    blocks_ = BlocksInUse(ErrorArea::kScreens);
    char folder[] = "/tmp/tessaly_screens_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir_ = folder;
    ASSERT_EQ(StructDefineFile(10, "customers", Slice::Of(dir_)), Status::kOk);
    ASSERT_EQ(StructDefineField("CODE", 6, 'A'), Status::kOk);
    ASSERT_EQ(StructDefineField("NAME", 20, 'A'), Status::kOk);
    ASSERT_EQ(StructDefineField("BALANCE", 10, '2'), Status::kOk);
    ASSERT_EQ(StructDefineField("SINCE", 8, 'D'), Status::kOk);
    ASSERT_EQ(StructDefineField("ACTIVE", 1, 'L'), Status::kOk);
    ASSERT_EQ(StructDefineKey(1, "<0001006>"), Status::kOk);
    depth_ = Area().Mark();
  }
  void TearDown() override {
    ScreenResetAll();
    (void)DataFileCloseAll();
    EXPECT_EQ(BlocksInUse(ErrorArea::kScreens), blocks_) << "screen memory left behind";
    EXPECT_EQ(Area().Mark(), depth_) << "the string area grew across the test";
    Area().Release(depth_);
    while (strtab::Count(strtab::kSettingsFiles) > 0) (void)strtab::Pop(strtab::kSettingsFiles);
    StructClearAll();
    (void)SetWindowLayer(old_layer_);
    std::filesystem::remove_all(dir_);
  }

  static Status LoadCustom(int number, int main_file = 0) {
    ScreenLoadRequest request;
    request.file = Slice::Of(kCustomScreens);
    request.number = number;
    request.main_file = main_file;
    return ScreenLoad(request);
  }

  // A field's buffer text, or "<status>".
  static std::string Field(int n) {
    Slice s = ScreenFieldText(n);
    return s.ok() ? s.str() : "<" + std::to_string(s.status().code()) + ">";
  }
  static std::string Saved(int n) {
    Slice s = ScreenSavedText(n);
    return s.ok() ? s.str() : "<" + std::to_string(s.status().code()) + ">";
  }
  // Evaluates and returns the text (numbers formatted), or "<status>".
  static std::string Eval(const std::string& expression) {
    AreaMark mark;
    Slice v = EvaluateToText(Slice::Of(expression));
    return v.ok() ? v.str() : "<" + std::to_string(v.status().code()) + ">";
  }
  static void Run(const std::string& expression) {
    AreaMark mark;
    Status s = Evaluate(Slice::Of(expression));
    ASSERT_FALSE(s.failed()) << expression << " gave " << s.code();
  }
  static std::string Record(const char* field) {
    AreaMark mark;
    return FieldFetch(1, FieldByName(1, field)).str();
  }
  static void Store(const char* field, const char* value) {
    ASSERT_EQ(FieldStore(1, FieldByName(1, field), value), Status::kOk) << field;
  }
  static Status Set(uint16_t mask, int n, const std::string& text) {
    return ScreenSetField(mask, n, Slice::Of(text));
  }
  static const ScreenField& Def(int n) { return *ScreenCurrentDefinition()->field(n); }

  RecordingWindowLayer windows_;
  WindowLayer* old_layer_ = nullptr;
  std::string dir_;  // where the customers file lives
  int blocks_ = 0;
  int depth_ = 0;
};

}  // namespace tessaly
