#include "platform/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fault_env.h"
#include "platform/paths.h"
#include "tests/platform/temp_folder.h"

namespace tessaly::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetAllPaths();
    env_.SetVariable("TESSALY_DRIVE_T", folder_.path());
  }
  // Names in the folder, for checking that nothing was left behind.
  std::vector<std::string> Entries(const std::string& sub) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder_ / sub)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_{"mixedcase"};
  FaultEnv env_;
  ScopedEnv use_{&env_};
};

TEST_F(FilesTest, OpenCreatesInsideTheMatchedFolder) {
  std::unique_ptr<File> file;
  ASSERT_EQ(OpenFile("T:\\DATA\\NEW.DAT", kOpenRead | kOpenWrite | kOpenCreate, &file), 0);
  ASSERT_EQ(file->WriteAt(0, "abc", 3), 3);
  file.reset();
  EXPECT_EQ(Contents(folder_ / "data/NEW.DAT"), "abc");
  EXPECT_FALSE(fs::exists(folder_ / "DATA"));
  // Reading finds it under any spelling.
  ASSERT_EQ(OpenFile("t:\\Data\\new.dat", kOpenRead, &file), 0);
  char buffer[8];
  EXPECT_EQ(file->ReadAt(1, buffer, sizeof buffer), 2);
  EXPECT_EQ(OpenFile("T:\\DATA", kOpenRead, &file), EISDIR);
}

TEST_F(FilesTest, RenameNeverOverwrites) {
  EXPECT_EQ(RenameFile("T:\\DATA\\CUSTOMERS.DIR", "T:\\DATA\\invoices.ndx"), EEXIST);
  EXPECT_EQ(Contents(folder_ / "data/Invoices.NDX"), "index");
  // Another spelling of the same name changes the spelling.
  EXPECT_EQ(RenameFile("T:\\DATA\\CUSTOMERS.DIR", "T:\\DATA\\CUSTOMERS.DIR"), 0);
  EXPECT_TRUE(fs::exists(folder_ / "data/CUSTOMERS.DIR"));
  EXPECT_EQ(RenameFile("T:\\DATA\\CUSTOMERS.DIR", "T:\\REPORTS\\OLD.DIR"), 0);
  EXPECT_TRUE(fs::exists(folder_ / "Reports/OLD.DIR"));
  EXPECT_EQ(RenameFile("T:\\DATA\\CUSTOMERS.DIR", "T:\\X"), ENOENT);
}

TEST_F(FilesTest, ListingsAndPatterns) {
  std::vector<std::string> names;
  ASSERT_EQ(ListFiles("T:\\DATA\\*.*", &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"Customers.dir", "Invoices.NDX"}));
  ASSERT_EQ(ListFiles("T:\\REPORTS\\*.TXT", &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"A\xF1o.txt", "Sales.txt"}));
  ASSERT_EQ(ListFiles("T:\\DATA\\CUSTOMERS.DIR", &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"Customers.dir"}));
  ASSERT_EQ(ListFiles("T:\\DATA\\*.XYZ", &names), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(ListFiles("T:\\NOWHERE\\*.*", &names), ENOENT);

  EXPECT_TRUE(FileExists("T:\\DATA\\*.ndx"));
  EXPECT_FALSE(FileExists("T:\\DATA\\*.txt"));
  FileInfo info;
  std::string name;
  ASSERT_EQ(StatFile("T:\\REPORTS\\S*.TXT", &info, &name), 0);
  EXPECT_EQ(name, "Sales.txt");
  EXPECT_EQ(info.size, 8);
}

TEST_F(FilesTest, MakeFoldersReusesMatchedParents) {
  ASSERT_EQ(MakeFolders("T:\\DATA\\BACKUPS\\2024"), 0);
  EXPECT_TRUE(fs::is_directory(folder_ / "data/BACKUPS/2024"));
  EXPECT_EQ(MakeFolders("t:\\data\\backups"), 0);
  EXPECT_EQ(MakeFolders("T:\\DATA\\CUSTOMERS.DIR"), ENOTDIR);
}

TEST_F(FilesTest, CurrentFolderInRuntimeForm) {
  std::string before;
  ASSERT_EQ(CurrentFolder(&before), 0);
  ASSERT_EQ(ChangeFolder("T:\\REPORTS"), 0);
  std::string now;
  ASSERT_EQ(CurrentFolder(&now), 0);
  EXPECT_EQ(now, RuntimeFormOf(fs::canonical(folder_ / "Reports").string()));
  // A relative path now starts from the new folder.
  EXPECT_TRUE(FileExists("SALES.TXT"));
  ASSERT_EQ(ChangeFolder(before), 0);
}

// A copy or replace that fails part-way leaves the target as it was and no
// stray file beside it.
TEST_F(FilesTest, FailedCopyAndReplaceKeepTheTarget) {
  std::string big(200000, 'x');
  std::ofstream(folder_ / "data/big.bin", std::ios::binary) << big;
  auto before = Entries("data");

  env_.FailNth(FaultEnv::kWrite, 2);
  EXPECT_EQ(CopyFile("T:\\DATA\\BIG.BIN", "T:\\DATA\\CUSTOMERS.DIR"), ENOSPC);
  EXPECT_EQ(Contents(folder_ / "data/Customers.dir"), "Ana Lopez\r\nBeatriz Ruiz\r\n");
  EXPECT_EQ(Entries("data"), before);

  env_.Reset();
  env_.set_torn_writes(true);
  env_.FailNth(FaultEnv::kWrite, 3, ENOSPC, /*sticky=*/true);
  int64_t written = 0;
  EXPECT_EQ(ReplaceFile("T:\\DATA\\CUSTOMERS.DIR", big, 512, &written), ENOSPC);
  EXPECT_EQ(written, 512 * 2 + 256);
  EXPECT_EQ(Contents(folder_ / "data/Customers.dir"), "Ana Lopez\r\nBeatriz Ruiz\r\n");
  EXPECT_EQ(Entries("data"), before);

  env_.Reset();
  EXPECT_EQ(CopyFile("T:\\DATA\\BIG.BIN", "T:\\REPORTS\\COPY.BIN"), 0);
  EXPECT_EQ(Contents(folder_ / "Reports/COPY.BIN"), big);
  // A replaced file keeps its permissions.
  fs::permissions(folder_ / "data/Customers.dir", fs::perms(0664));
  EXPECT_EQ(ReplaceFile("T:\\DATA\\CUSTOMERS.DIR", "new", 512, &written), 0);
  EXPECT_EQ(Contents(folder_ / "data/Customers.dir"), "new");
  EXPECT_EQ(fs::status(folder_ / "data/Customers.dir").permissions(), fs::perms(0664));
}

TEST(FaultEnv, FailsTheNthWriteOnceOrFromThenOn) {
  TempFolder folder;
  FaultEnv env;
  ScopedEnv use(&env);
  std::unique_ptr<File> file;
  ASSERT_EQ(env.OpenFile(folder / "f", kOpenRead | kOpenWrite | kOpenCreate, &file), 0);
  env.FailNth(FaultEnv::kWrite, 2);
  EXPECT_EQ(file->WriteAt(0, "a", 1), 1);
  EXPECT_EQ(file->WriteAt(1, "b", 1), -ENOSPC);
  EXPECT_EQ(file->WriteAt(1, "c", 1), 1);
  env.FailNth(FaultEnv::kWrite, 1, EIO, /*sticky=*/true);
  EXPECT_EQ(file->WriteAt(2, "d", 1), -EIO);
  EXPECT_EQ(file->WriteAt(2, "e", 1), -EIO);
  EXPECT_EQ(env.count(FaultEnv::kWrite), 5);
  EXPECT_EQ(Contents(folder / "f"), "ac");
  env.FailNth(FaultEnv::kOpen, 1, EMFILE);
  EXPECT_EQ(env.OpenFile(folder / "f", kOpenRead, &file), EMFILE);
}

}  // namespace
}  // namespace tessaly::platform
