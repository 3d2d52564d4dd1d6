// The runtime log: lines by level, the log name, framed entries.
#include "data/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "platform/fault_env.h"
#include "platform/files.h"

namespace tessaly {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    ClearDetail();
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_log_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(SetEnvironment(kEnvApplicationName, "RU"), Status::kOk);
    ASSERT_EQ(SetEnvironment(kEnvLanguage, "EN"), Status::kOk);
    path_ = dir_ + "/run.log";
    ASSERT_EQ(LogSetName(Slice::Of(path_)), Status::kOk);
  }
  void TearDown() override {
    strtab::ClearAll();
    rtarray::FreeAll();
    Area().Release(depth_);
    std::filesystem::remove_all(dir_);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  int depth_ = 0;
  std::string dir_, path_;
};

TEST_F(LogTest, LinesAreKeptWhenTheirLevelMeetsTrace) {
  struct Case {
    int level;
    uint16_t trace;
    Slice text;
    const char* written;
  } cases[] = {
      {8, 0x01, "quiet", ""},
      {8, 0x09, "traced", "traced\r\n"},
      {1, 0x01, Slice::Error(Status::kFileNotFound), "Error #164\r\n"},
      {0x10, 0x101, "other bits", ""},
      {0x110, 0x100, "", "\r\n"},
  };
  std::string expected;
  for (const Case& c : cases) {
    SetWord(kTrace, c.trace);
    LogLine(c.text, c.level);
    expected += c.written;
    EXPECT_EQ(Read(path_), expected.empty() ? "<missing>" : expected) << c.level;
  }
}

TEST_F(LogTest, SettingANameStartsTheLogEmpty) {
  SetWord(kTrace, 0x01);
  LogLine("first run", 1);
  ASSERT_EQ(LogSetName(Slice::Of(path_)), Status::kOk);
  EXPECT_EQ(Read(path_), "<missing>");
  LogLine("second run", 1);
  EXPECT_EQ(Read(path_), "second run\r\n");

  // Without a name: the application code + "log.txt" in the current folder.
  ASSERT_EQ(LogSetName(""), Status::kOk);
  {
    AreaMark mark;
    EXPECT_EQ(LogFileName(), Slice("RUlog.txt"));
  }
  std::string here;
  ASSERT_EQ(platform::CurrentFolder(&here), 0);
  ASSERT_EQ(platform::ChangeFolder(dir_), 0);
  LogLine("default", 1);
  ASSERT_EQ(platform::ChangeFolder(here), 0);
  EXPECT_EQ(Read(dir_ + "/RUlog.txt"), "default\r\n");
}

TEST_F(LogTest, EntriesAreFramedWithTheDateTimeAndUser) {
  platform::FaultEnv env;
  platform::ScopedEnv use(&env);
  env.SetNow({2017, 3, 5, 0, 14 * 3600000 + 7 * 60000 + 33 * 1000});

  ASSERT_EQ(LogEntry("Backup done", Slice()), Status::kOk);
  ASSERT_EQ(SetEnvironment(kEnvLanguage, "ES"), Status::kOk);  // day first
  ASSERT_EQ(LogEntry("Copia hecha", Slice()), Status::kOk);
  EXPECT_EQ(Read(path_),
            "*****************************\r\n Date:03-05-2017 - Time:14:07 - User:0\r\n"
            "Backup done\r\n**********************\r\n\r\n"
            "*****************************\r\n Date:05-03-2017 - Time:14:07 - User:0\r\n"
            "Copia hecha\r\n**********************\r\n\r\n");

  // A file of its own; one that cannot be opened is 164 naming it.
  const std::string other = dir_ + "/other.txt";
  ASSERT_EQ(LogEntry("x", Slice::Of(other)), Status::kOk);
  EXPECT_EQ(Read(other).find("*****************************\r\n Date:"), 0u);
  const std::string nowhere = dir_ + "/missing/folder/log.txt";
  EXPECT_EQ(LogEntry("x", Slice::Of(nowhere)), Status::kFileNotFound);
  EXPECT_NE(GetDetail().view().find("missing/folder/log.txt"), std::string_view::npos);
}

}  // namespace
}  // namespace tessaly
