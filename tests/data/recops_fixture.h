// The record operations' test application (tests/fixtures/recops): three
// files in a fresh folder, loaded from the dictionary "RO":
//
//   1 customers  CODE 6 A | NAME 20 A | BALANCE 10 2       key 1 CODE, key 2 NAME
//   2 invoices   DOC 8 A | CUST 6 A | TOTAL 10 2           key 1 DOC; relation 1R1K1=CUST{}
//   3 invlines   DOC 8 A | N_LINE 3 N | ITEM 6 A | QTY 6 2 | PRICE 8 2
//                                                          key 1 DOC+N_LINE, key 2 ITEM
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/datafile.h"
#include "data/dictionary.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"

namespace tessaly {

enum FixtureFile : int { kCustomers = 1, kInvoices = 2, kInvLines = 3 };

class RecordFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVariables();  // frees the storage of arrays before their descriptors go
    rtarray::FreeAll();
    strtab::ClearAll();
    ResetVariables();
    ClearExpressionCache();
    StructClearAll();
    ClearRecordLists();
    ClearOpenSets();
    ClearDetail();
    ForceLastError(0, 0);
    UseStructuresForDataFiles();
    InstallRecordOperations();
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_recops_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(
        DictionaryLoad("RO", Slice::Of(dir_), Slice::Of(std::string(TESSALY_FIXTURES) + "/recops")),
        Status::kOk);
    ASSERT_EQ(FileCount(), 3);
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    ClearRecordLists();
    ClearOpenSets();
    (void)SetRelationalUpdateSource(nullptr);
    while (ParameterDepth() > 0) (void)strtab::Pop(strtab::kSettingsFiles);
    StructClearAll();
    ResetVariables();
    Area().Release(depth_);
    std::filesystem::remove_all(dir_);
  }
  static int ParameterDepth() { return strtab::Count(strtab::kSettingsFiles); }

  static void Set(int file, const char* field, const std::string& value) {
    int n = FieldByName(file, field);
    ASSERT_GT(n, 0) << field;
    ASSERT_EQ(FieldStore(file, n, Slice::Of(value)), Status::kOk) << field << "=" << value;
  }
  static std::string Get(int file, const char* field) {
    AreaMark mark;
    return FieldFetch(file, FieldByName(file, field)).str();
  }
  // Buffer 1 of a file, whole.
  static std::string Current(int file) {
    RecordBuffers b = FileRecordBuffers(file);
    return std::string(b.current, b.length);
  }
  static std::string Saved(int file) {
    RecordBuffers b = FileRecordBuffers(file);
    return std::string(b.saved, b.length);
  }
  static void Open(int file, int flags = 0) {
    Status s = DataFileOpen(file, flags);
    ASSERT_FALSE(s.failed()) << s.code();
  }
  // Inserts a customer through the save of INS.
  static void AddCustomer(const std::string& code, const std::string& name,
                          const std::string& balance) {
    ASSERT_EQ(DataFileMove(kCustomers, kMoveClear), kResultCleared);
    Set(kCustomers, "CODE", code);
    Set(kCustomers, "NAME", name);
    Set(kCustomers, "BALANCE", balance);
    ASSERT_EQ(RecordSave(RecordOpFlags(kOpIns), kCustomers, Slice(), Slice()), Status::kOk) << code;
  }
  // The trimmed texts of `field` over the records of `file` in the order of
  // `key`.
  static std::vector<std::string> Walk(int file, const char* field, int key = 1) {
    std::vector<std::string> out;
    EXPECT_EQ(DataFileSetKey(file, key), Status::kOk);
    for (Status s = DataFileMove(file, kMoveFirst); s == kResultFound;
         s = DataFileMove(file, kMoveNext)) {
      std::string v = Get(file, field);
      size_t a = v.find_first_not_of(' ');
      size_t b = v.find_last_not_of(' ');
      out.push_back(a == std::string::npos ? "" : v.substr(a, b - a + 1));
    }
    return out;
  }
  // Evaluates and returns the text (numbers formatted).
  static std::string Eval(const char* expression) {
    AreaMark mark;
    Slice v = EvaluateToText(expression);
    return v.ok() ? v.str() : "<" + std::to_string(v.status().code()) + ">";
  }

  int depth_ = 0;
  std::string dir_;
};

}  // namespace tessaly
