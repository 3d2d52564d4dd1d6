// Shared by the start-up tests: a core started afresh for each test, with
// recording stand-ins for the services of the higher layers and for the
// message box, and a temporary application folder.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/process.h"
#include "core/runtime_arrays.h"
#include "core/startup.h"
#include "core/startup_services.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "platform/env.h"
#include "platform/files.h"
#include "tests/platform/temp_folder.h"

namespace tessaly {

inline void PrintTo(const Slice& s, std::ostream* os) {
  if (s.ok()) {
    *os << '"' << s.view() << '"';
  } else {
    *os << "error slice " << s.status().code();
  }
}

namespace testing {

// Environment variables as a test sets them; everything else from the
// real environment.
class VariablesEnv : public platform::EnvWrapper {
 public:
  VariablesEnv() : EnvWrapper(&platform::PosixEnv()) {}
  std::optional<std::string> GetVariable(const std::string& name) override {
    auto it = values.find(name);
    if (it != values.end()) {
      if (!it->second) return std::nullopt;
      return it->second;
    }
    return target()->GetVariable(name);
  }
  // A name mapped to nullopt reads as unset.
  std::map<std::string, std::optional<std::string>> values;
};

// What the fake services saw and answer.
struct FakeServices {
  std::vector<std::string> evaluated;
  Status evaluate_status = Status::kOk;
  std::map<std::string, std::string> assigned;
  std::vector<std::string> dictionary_loads;  // "code|default|list"
  std::string dictionary_folder;              // loads succeed when the list starts with it
  int reindexes = 0;
  int define_file_variables = 0;
  std::vector<std::string> log;
  std::vector<std::string> chooser_titles;
  int choose = -1;
  std::string choose_many;
};

inline FakeServices& Fake() {
  static FakeServices fake;
  return fake;
}

inline Status FakeEvaluate(Slice text) {
  Fake().evaluated.push_back(text.str());
  return Fake().evaluate_status;
}
inline Slice FakeEvaluateToText(Slice text) {
  Fake().evaluated.push_back(text.str());
  return Area().Push(text);
}
inline Status FakeAssign(Slice name, Slice value) {
  Fake().assigned[name.str()] = value.str();
  return Status::kOk;
}
inline Status FakeLoadDictionary(Slice code, Slice default_folder, Slice list) {
  Fake().dictionary_loads.push_back(code.str() + "|" + default_folder.str() + "|" + list.str());
  if (!Fake().dictionary_folder.empty() && list.str().rfind(Fake().dictionary_folder, 0) == 0) {
    return Status::kOk;
  }
  return SetDetail(Status::kFileNotFound, "DICC.DAT");
}
inline Status FakeDefineFileVariables() {
  ++Fake().define_file_variables;
  return Status::kOk;
}
inline Status FakeReindex() {
  ++Fake().reindexes;
  return Status::kOk;
}
inline void FakeLog(Slice text, int level) {
  if (level & Word(kTrace)) Fake().log.push_back(text.str());
}
inline int FakeChoose(Slice title, Slice) {
  Fake().chooser_titles.push_back(title.str());
  return Fake().choose;
}
inline Slice FakeChooseMany(Slice title, Slice) {
  Fake().chooser_titles.push_back(title.str());
  return Area().Push(Slice::Of(Fake().choose_many));
}

// A fresh core for each test: tables, variables' words, services, boxes.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fake() = FakeServices();
    StartupServices services;
    services.evaluate_for_errors = &FakeEvaluate;
    services.evaluate_to_text = &FakeEvaluateToText;
    services.assign_text = &FakeAssign;
    services.load_dictionary = &FakeLoadDictionary;
    services.define_file_variables = &FakeDefineFileVariables;
    services.reindex_files = &FakeReindex;
    services.log_line = &FakeLog;
    services.choose_item = &FakeChoose;
    services.choose_items = &FakeChooseMany;
    InstallStartupServices(services);
    SetProcessDispatcher(nullptr);
    ClearProcessHandlers();
    ForgetSession();
    ClearFonts();
    env_.values["TESSALY_ANSWER"] = std::nullopt;
    env_.values["TESSALY_HELP_URL"] = std::nullopt;
    SetHeadlessAnswer(HeadlessAnswer::kFromEnvironment);
    depth_ = Area().Mark();
  }
  void TearDown() override {
    EXPECT_EQ(Area().Mark(), depth_) << "the string area grew across the test";
    ResetStartupServices();
    SetProcessDispatcher(nullptr);
    ClearProcessHandlers();
    ForgetSession();
    SetHeadlessAnswer(HeadlessAnswer::kFromEnvironment);
  }

  // Starts the environment on a command line (program first).
  void Environment(const std::string& command_line) {
    ASSERT_EQ(InitialiseEnvironment(Slice::Of(command_line)), Status::kOk);
  }
  std::string Env(int slot) { return GetEnvironment(slot).str(); }
  void SetEnv(int slot, const std::string& text) {
    ASSERT_EQ(SetEnvironment(slot, Slice::Of(text)), Status::kOk);
  }
  static void WriteFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  static std::string ReadFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  }

  VariablesEnv env_;
  platform::ScopedEnv scoped_env_{&env_};
  RecordingMessageBoxUi boxes_;
  ScopedMessageBoxUi scoped_boxes_{&boxes_};
  TempFolder app_;
  int depth_ = 0;
};

}  // namespace testing
}  // namespace tessaly
