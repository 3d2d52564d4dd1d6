#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/clock.h"
#include "platform/fault_env.h"
#include "platform/process.h"
#include "tests/platform/temp_folder.h"

namespace tessaly::platform {
namespace {

TEST(EnvironmentValue, OtherPlatformNamesMapToLinux) {
  FaultEnv env;
  ScopedEnv use(&env);
  for (const char* name : {"TEMP", "TMP", "USERPROFILE", "HOMEPATH", "HOMEDRIVE", "SYSTEMDRIVE",
                           "APPDATA", "ALLUSERSPROFILE", "ProgramFiles", "CommonProgramFiles",
                           "SystemRoot", "USERNAME", "TMPDIR", "XDG_CONFIG_HOME", "LOGNAME"}) {
    env.SetVariable(name, std::nullopt);
  }
  env.SetVariable("HOME", "/home/ana");
  env.SetVariable("USER", "ana");
  struct Case {
    const char* name;
    const char* value;
  };
  const Case unset[] = {
      {"TEMP", "/tmp"},           {"temp", "/tmp"},
      {"USERPROFILE", "/home/ana"}, {"HOMEPATH", "/home/ana"},
      {"HOMEDRIVE", ""},          {"SYSTEMDRIVE", ""},
      {"APPDATA", "/home/ana/.config"}, {"ALLUSERSPROFILE", "/etc/xdg"},
      {"ProgramFiles", "/usr"},   {"PROGRAMFILES", "/usr"},
      {"CommonProgramFiles", "/usr"}, {"SystemRoot", "/usr"},
      {"USERNAME", "ana"},        {"NOT_A_VARIABLE", ""},
  };
  for (const Case& c : unset) EXPECT_EQ(EnvironmentValue(c.name), c.value) << c.name;

  env.SetVariable("TMPDIR", "/var/tmp");
  env.SetVariable("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(EnvironmentValue("TEMP"), "/var/tmp");
  EXPECT_EQ(EnvironmentValue("APPDATA"), "/cfg");
  // A variable set under the other platform's name wins, also when the
  // application spells it in lower case.
  env.SetVariable("TEMP", "/data/tmp");
  env.SetVariable("APNAME", "KV");
  EXPECT_EQ(EnvironmentValue("TEMP"), "/data/tmp");
  EXPECT_EQ(EnvironmentValue("apname"), "KV");
  // Values reach the runtime in its code page.
  env.SetVariable("SHOP", "Año");
  EXPECT_EQ(EnvironmentValue("SHOP"), "A\xF1o");
}

TEST(Clock, ReadsThroughTheEnv) {
  FaultEnv env;
  ScopedEnv use(&env);
  LocalTime fixed;
  fixed.year = 2024;
  fixed.month = 2;
  fixed.day = 29;
  fixed.ms_of_day = 13 * 3600000 + 5 * 60000 + 7000 + 250;
  env.SetNow(fixed);
  EXPECT_EQ(DateNumber(LocalNow()), 20240229);
  EXPECT_EQ(LocalNow().ms_of_day, 47107250);
  // The real clock: a plausible moment.
  LocalTime now = PosixEnv().Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_LT(now.ms_of_day, 86400000);
}

TEST(Programs, ArgumentsNeverPassThroughAShell) {
  testing::TempFolder folder;
  std::string odd = folder / "a; rm -rf b $(x) 'q'";
  int code = -1;
  ASSERT_EQ(RunProgram({"touch", odd}, &code), 0);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(std::filesystem::exists(odd));
  ASSERT_EQ(RunProgram({"false"}, &code), 0);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(RunProgram({"no-such-program-anywhere"}, &code), ENOENT);
  EXPECT_EQ(StartProgram({"true"}), 0);
  EXPECT_EQ(StartProgram({}), EINVAL);
}

TEST(Programs, AProgramNamedWithAFolderIsARuntimePath) {
  FaultEnv env;
  ScopedEnv use(&env);
  env.SetVariable("TESSALY_DRIVE_B", "/");
  int code = -1;
  ASSERT_EQ(RunProgram({"B:\\BIN\\TRUE"}, &code), 0);
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace tessaly::platform
