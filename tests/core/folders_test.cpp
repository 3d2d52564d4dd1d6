#include "core/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/core/startup_fixture.h"

namespace tessaly::testing {
namespace {

struct ResolveCase {
  const char* path;
  const char* base;
  const char* resolved;
};

TEST(Folders, ResolvesRelativePaths) {
  const ResolveCase cases[] = {
      {"..\\data", "\\srv\\apps\\shop", "\\srv\\apps\\data"},
      {"..\\..\\x", "\\a\\b\\c", "\\a\\x"},
      {"..\\data", "/home/ana/tienda", "/home/ana/data"},
      {"Help", "/home/ana/tienda/", "/home/ana/tienda/Help"},
      {"Help", "\\srv\\shop", "\\srv\\shop\\Help"},
      {".\\x", "\\a", "\\a\\x"},  // "." stays in the folder
      {"a\\.\\b", "\\r", "\\r\\a\\b"},
      {"..\\APPS", "\\", "\\APPS"},  // the root has no parent
      {"..\\x", "C:\\", "C:\\x"},
      {"..\\x", "apps", "x"},  // a relative base: the current folder
      {"..\\..\\x", "apps", "..\\x"},
      {"..\\x", "..", "..\\..\\x"},
      {"\\abs\\x", "\\a", "\\abs\\x"},
      {"D:\\x", "\\a", "D:\\x"},
      {"x", "", "x"},
      {"", "\\a", "\\a"},
  };
  for (const ResolveCase& c : cases) {
    AreaMark mark;
    EXPECT_EQ(ResolveRelative(c.path, c.base).str(), c.resolved) << c.path << " against " << c.base;
  }
}

TEST(Folders, TakesTheFolderPartOfAPath) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\usr\\bin\\tessaly", "\\usr\\bin"},
      {"/usr/bin/tessaly", "/usr/bin"},
      {"/tessaly", "/"},
      {"tessaly", ""},
      {"C:\\tessaly.exe", "C:\\"},
      {"C:x", "C:"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(FolderPart(path).str(), folder) << path;
}

class FoldersTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    std::string cwd;
    ASSERT_EQ(platform::CurrentFolder(&cwd), 0);
    cwd_ = cwd;
    ASSERT_EQ(platform::ChangeFolder(app_.path()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(platform::ChangeFolder(cwd_), 0);
    StartupTest::TearDown();
  }
  std::string Folder(int n) {
    AreaMark mark;
    return tessaly::Folder(n).str();
  }
  std::string Expand(const std::string& text) {
    AreaMark mark;
    return ExpandNames(Slice::Of(text)).str();
  }
  std::string Cwd() {
    AreaMark mark;
    return CurrentFolderPath().str();
  }
  std::string cwd_;
};

TEST_F(FoldersTest, GivesTheSevenFolders) {
  Environment("\"/opt/tessaly/bin/tessaly\" /DPATH=x");
  SetEnv(kEnvDefaultFolder, "/home/ana/tienda,/home/ana/common");
  SetEnv(kEnvDatabase, " 'db.local' , \"shop\" ,ana,secret");
  EXPECT_EQ(Folder(kFolderRunPath), "/opt/tessaly/bin");
  EXPECT_EQ(Folder(kFolderDefault), "/home/ana/tienda,/home/ana/common");
  EXPECT_EQ(Folder(kFolderData), "/home/ana/data");
  EXPECT_EQ(Folder(kFolderDocs), Cwd());
  EXPECT_EQ(Folder(kFolderHelp), "/home/ana/tienda/Help");
  EXPECT_EQ(Folder(kFolderBackup), Cwd() + "\\Backups");
  EXPECT_EQ(Folder(kFolderBackRel), Cwd() + "\\Backups\\db.local\\shop");
  EXPECT_EQ(Folder(0), "");
  EXPECT_EQ(Folder(8), "");

  SetEnv(kEnvDocumentsFolder, "/home/ana/docs");
  SetEnv(kEnvHelpFolder, "/usr/share/tessaly/help");
  EXPECT_EQ(Folder(kFolderDocs), "/home/ana/docs");
  EXPECT_EQ(Folder(kFolderBackup), "/home/ana/docs/Backups");
  EXPECT_EQ(Folder(kFolderHelp), "/usr/share/tessaly/help");

  // A program on a local disk of the other platform keeps its data beside
  // the documents folder.
  Environment("\"C:\\KV\\tessaly.exe\"");
  SetEnv(kEnvDefaultFolder, "F:\\APPS\\SHOP");
  SetEnv(kEnvDocumentsFolder, "C:\\DOCS\\SHOP");
  EXPECT_EQ(Folder(kFolderData), "C:\\DOCS\\data");
  Environment("\"H:\\KV\\tessaly.exe\"");
  SetEnv(kEnvDefaultFolder, "F:\\APPS\\SHOP");
  EXPECT_EQ(Folder(kFolderData), "F:\\APPS\\data");
}

TEST_F(FoldersTest, ExpandsNames) {
  env_.values["TMPDIR"] = "/var/tmp/t";
  env_.values["TEMP"] = std::nullopt;
  env_.values["temp"] = std::nullopt;
  Environment("\"/opt/bin/tessaly\" /X=1");
  SetEnv(kEnvApplicationName, "TYRBNQD1:VizuzIzeri");
  SetEnv(kEnvDescription, "Tessaly");
  SetEnv(kEnvLanguage, "ES");
  SetEnv(kEnvDefaultFolder, "/srv/shop");
  SetEnv(kEnvDocumentsFolder, "/srv/docs");
  SetEnv(kEnvDatabase, "host, 'base' ,user,pw");
  const std::pair<const char*, const char*> cases[] = {
      {"%APNAME%FSTAT.DAT", "TYFSTAT.DAT"},
      {"%DATAPATH%", "/srv/shop"},
      {"%HELPPATH%", "/srv/docs"},  // the names run one slot behind
      {"%LANGMODULE.DOCPATH%", "ES"},
      {"%APDESCRIP%", "Tessaly"},
      {"%COMMANDLINE%", "\"/opt/bin/tessaly\" /X=1"},
      {"%DOCPATH%x", "x"},
      {"[%NOSUCHNAME%]", "[]"},
      {"%APPPATH_DATA%\\%APNAME%PARINI.DAT", "/srv/data\\TYPARINI.DAT"},
      {"%APPPATH_RUNPATH%", "/opt/bin"},
      {"%temp%\\x", "/var/tmp/t\\x"},
      {"%TEMP%", "/var/tmp/t"},
      {"%DATABASE_DBNAME%.%DATABASE_HOST%", "base.host"},
      {"100% sure", "100% sure"},
      {"%APNAME%%APNAME%", "TYTY"},
  };
  for (const auto& [text, expanded] : cases) EXPECT_EQ(Expand(text), expanded) << text;
}

TEST_F(FoldersTest, ExpandsNamesInsideValuesAndStops) {
  Environment("p");
  SetEnv(kEnvApplicationName, "TY");
  SetEnv(kEnvDefaultFolder, "/srv/%APNAME%");
  EXPECT_EQ(Expand("%DATAPATH%\\x"), "/srv/TY\\x");
  SetEnv(kEnvDefaultFolder, "%DATAPATH%%DATAPATH%");  // names itself: bounded
  std::string expanded = Expand("%DATAPATH%");
  EXPECT_GT(expanded.size(), 1000u);
  EXPECT_LE(expanded.size(), 65535u);
}

TEST_F(FoldersTest, FindsAFileAsWrittenThenInEachFolder) {
  std::filesystem::create_directories(app_ / "a");
  std::filesystem::create_directories(app_ / "b");
  WriteFile(app_ / "b/Found.DAT", "x");
  WriteFile(app_ / "here.dat", "x");
  AreaMark mark;
  std::string list = app_ / "a" + "," + app_ / "b";
  EXPECT_EQ(FindFile(Slice::Of(list), "FOUND.DAT").str(), app_ / "b" + "/FOUND.DAT");
  EXPECT_EQ(FindFile(Slice::Of(list), "here.dat").str(), "here.dat");
  EXPECT_EQ(FindFile(Slice::Of(list), "missing.dat").str(), "");
  EXPECT_EQ(FindFile(Slice::Of(list), "").str(), "");
}

TEST_F(FoldersTest, ResolvesFoldersAtStartAndOnReselection) {
  Environment("\"/opt/bin/tessaly\" --DPATH=\"/home/ana/tienda\"");
  ASSERT_EQ(ResolveFolders(kFoldersAtStart), Status::kOk);
  EXPECT_EQ(Env(kEnvDefaultFolder), "/opt/bin");
  EXPECT_EQ(Env(kEnvHelpFolder), "/opt/bin/Help");

  ASSERT_EQ(ResolveFolders(kFoldersReselect), Status::kOk);
  EXPECT_EQ(Env(kEnvDefaultFolder), "/home/ana/tienda");
  EXPECT_EQ(Env(kEnvHelpFolder), "/home/ana/tienda/Help");  // follows the new folder

  Environment("\"/opt/bin/tessaly\"");
  ASSERT_EQ(ResolveFolders(kFoldersReselect), Status::kOk);
  AreaMark mark;
  EXPECT_EQ(Env(kEnvDefaultFolder), ResolveRelative("..\\APPS", CurrentFolderPath()).str());
}

TEST_F(FoldersTest, CreatesTheBackupFolder) {
  Environment("p");
  SetEnv(kEnvDocumentsFolder, app_ / "docs/shop");
  ASSERT_EQ(ResolveFolders(kFoldersAtStart | kFoldersMakeBackup), Status::kOk);
  EXPECT_TRUE(std::filesystem::is_directory(app_ / "docs/shop/Backups"));
}

TEST_F(FoldersTest, FillsTheCodeMask) {
  Environment("p");
  SetEnv(kEnvApplicationName, "TYRBNQD1:x");
  AreaMark mark;
  EXPECT_EQ(FillCodeMask("\\\\MENU").str(), "TYMENU");
  EXPECT_EQ(FillCodeMask("\\\\LANGVARS.DAT").str(), "TYLANGVARS.DAT");
  SetEnv(kEnvApplicationName, "T");
  EXPECT_EQ(FillCodeMask("\\\\MENU").str(), "T MENU");
}

}  // namespace
}  // namespace tessaly::testing
