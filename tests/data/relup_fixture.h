// The relational update and backup tests' application (tests/fixtures/relup),
// dictionary "RU", its data files in a fresh folder:
//
//   1 customers  CODE 6 A | NAME 20 A | BALANCE 10 2      key 1 CODE
//   2 articles   CODE 6 A | NAME 20 A | STOCK 8 2         key 1 CODE
//   3 salelines  DOC 8 A | N_LINE 3 N | ITEM 6 A | QTY 6 2
//                key 1 DOC+N_LINE, key 2 ITEM; relation 2R1K1=ITEM{}
//
// RURELUP.DAT: 0201 counts article saves; 0300 counts every line save; 0301
// counts headers; 0302 moves the stock and counts lines.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/builtins_data.h"
#include "data/datafile.h"
#include "data/dictionary.h"
#include "data/log.h"
#include "data/record_ops.h"
#include "data/relup.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"

namespace tessaly {

enum RelupFile : int { kCustomersFile = 1, kArticlesFile = 2, kLinesFile = 3 };

class RelupFixture : public ::testing::Test {
 protected:
  void SetUp() override {
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
    InstallDataBuiltinFunctions();
    RelUpdateReset();
    InstallRelationalUpdates();
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_relup_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fixtures_ = std::string(TESSALY_FIXTURES) + "/relup";
    ASSERT_EQ(SetEnvironment(kEnvApplicationName, "RU"), Status::kOk);
    ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(fixtures_)), Status::kOk);
    ASSERT_EQ(DictionaryLoad("RU", Slice::Of(dir_), Slice::Of(fixtures_)), Status::kOk);
    ASSERT_EQ(FileCount(), 3);
    ASSERT_EQ(LogSetName(Slice::Of(dir_ + "/log.txt")), Status::kOk);
    SetWord(kUpStat, 0x01);
    SetWord(kTrace, 0x01);
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    ClearRecordLists();
    ClearOpenSets();
    RelUpdateReset();
    (void)SetRelationalUpdateSource(nullptr);
    StructClearAll();
    strtab::ClearAll();
    Area().Release(depth_);
    std::filesystem::remove_all(dir_);
  }

  // Definitions of the test's own, found in the test's folder.
  void UseDefinitions(const std::string& text, const char* name = "RURELUP.DAT") {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(dir_)), Status::kOk);
  }

  // Shared with the tests' free helpers.
 public:
  static void Set(int file, const char* field, const std::string& value) {
    int n = FieldByName(file, field);
    ASSERT_GT(n, 0) << field;
    ASSERT_EQ(FieldStore(file, n, Slice::Of(value)), Status::kOk) << field << "=" << value;
  }
  static std::string Eval(const std::string& expression) {
    AreaMark mark;
    Slice v = EvaluateToText(Slice::Of(expression));
    return v.ok() ? v.str() : "<" + std::to_string(v.status().code()) + ">";
  }
  static void OpenAll() {
    for (int f = 1; f <= 3; ++f) ASSERT_FALSE(DataFileOpen(f, 0).failed()) << f;
  }
  static void AddArticle(const std::string& code, const std::string& stock) {
    ASSERT_EQ(DataFileMove(kArticlesFile, kMoveClear), kResultCleared);
    Set(kArticlesFile, "CODE", code);
    Set(kArticlesFile, "NAME", "Article " + code);
    Set(kArticlesFile, "STOCK", stock);
    ASSERT_EQ(RecordCommit(kArticlesFile,
                           RecordSave(RecordOpFlags(kOpIns), kArticlesFile, "NONE", Slice())),
              Status::kOk);
  }
  static void AddCustomer(const std::string& code) {
    ASSERT_EQ(DataFileMove(kCustomersFile, kMoveClear), kResultCleared);
    Set(kCustomersFile, "CODE", code);
    Set(kCustomersFile, "NAME", "Customer " + code);
    ASSERT_EQ(RecordCommit(kCustomersFile,
                           RecordSave(RecordOpFlags(kOpIns), kCustomersFile, "NONE", Slice())),
              Status::kOk);
  }
  // The stock of an article as stored.
  static std::string Stock(const std::string& code) {
    if (DataFileFind(kArticlesFile, 1, Slice::Of(code), 0) != kResultFound) return "<none>";
    return Eval("STOCK{2}");
  }
  // The key of line n of a document: DOC (8) and N_LINE (3, right-aligned).
  static std::string LineKey(const std::string& doc, int n) {
    std::string key = doc;
    key.resize(8, ' ');
    std::string number = std::to_string(n);
    return key + std::string(3 - number.size(), ' ') + number;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 protected:
  int depth_ = 0;
  std::string dir_;
  std::string fixtures_;
};

}  // namespace tessaly
