// Backup and restore, the copy rule, copies of single files, reorganisation,
// the processes Copy and Reorg, choosing a folder and starting viewers.
#include "data/backup.h"

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/folders.h"
#include "core/message_box.h"
#include "core/process.h"
#include "core/startup_services.h"
#include "core/text.h"
#include "data/choices.h"
#include "data/viewer.h"
#include "platform/fault_env.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "relup_fixture.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class BackupTest : public RelupFixture {
 protected:
  void SetUp() override {
    RelupFixture::SetUp();
    ResetStartupServices();
    InstallBackupProcesses();
    ASSERT_EQ(platform::CurrentFolder(&home_), 0);
    fs::create_directories(dir_ + "/work");
    ASSERT_EQ(platform::ChangeFolder(dir_ + "/work"), 0);
  }
  void TearDown() override {
    if (stream_ != 0) service::CloseInput(stream_);
    SetWord(kInHnd, 0);
    ClearProcessHandlers();
    (void)platform::ChangeFolder(home_);
    RelupFixture::TearDown();
  }

  // The batch INPUT file's next lines: the answers of the headless choices.
  void Answer(const std::string& lines) {
    if (stream_ != 0) service::CloseInput(stream_);
    const std::string path = dir_ + "/answers.txt";
    std::ofstream(path, std::ios::binary) << lines;
    Status s;
    stream_ = service::OpenInput(Slice::Of(path), &s);
    ASSERT_GT(stream_, 0) << s.code();
    SetWord(kInHnd, static_cast<uint16_t>(stream_));
  }
  // The Linux path of a data file's part, and of its copy in a backup.
  static std::string Own(int file, DataFilePart part) {
    return platform::TranslatePath(DataFilePath(file, part));
  }
  static std::string CopyOf(const std::string& folder, int file, DataFilePart part) {
    return platform::TranslatePath(folder + DataFilePath(file, part));
  }
  static ino_t Inode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }
  static std::vector<std::string> Codes(int file, int key = 1) {
    std::vector<std::string> out;
    EXPECT_EQ(DataFileSetKey(file, key), Status::kOk);
    for (Status s = DataFileMove(file, kMoveFirst); s == kResultFound;
         s = DataFileMove(file, kMoveNext)) {
      AreaMark mark;
      out.push_back(Trim(FieldFetch(file, file == kLinesFile ? 3 : 1)).str());
    }
    return out;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : boxes_.boxes) out.push_back(b.text);
    return out;
  }

  std::string home_;
  int stream_ = 0;
  RecordingMessageBoxUi boxes_;
  ScopedMessageBoxUi use_boxes_{&boxes_};
};

TEST_F(BackupTest, ASecondBackupWithTheCopyRuleCopiesNothingAndCounts) {
  OpenAll();
  AddCustomer("C1");
  AddArticle("A1", "10");
  SetWord(kAuxStat, kAuxStatCopyChanged);
  const std::string folder = dir_ + "/keep/monday/early";  // not there yet

  Answer(folder + "\r\n" + folder + "\r\n" + folder + "\r\n" + folder + "\r\n");
  ASSERT_EQ(BackupRun(kBackupCopy), Status::kOk);
  EXPECT_TRUE(fs::is_directory(dir_ + "/work/Backups"));  // the backup folder
  for (int f = 1; f <= 3; ++f) {
    for (DataFilePart part : {DataFilePart::kRecords, DataFilePart::kIndex}) {
      EXPECT_EQ(ReadFile(CopyOf(folder, f, part)), ReadFile(Own(f, part))) << f;
    }
  }
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Process Completed Succesfully"}));
  const ino_t first = Inode(CopyOf(folder, kArticlesFile, DataFilePart::kRecords));

  ASSERT_EQ(BackupRun(kBackupCopy), Status::kOk);
  EXPECT_EQ(Word(kCount), 3);
  EXPECT_EQ(Word(kHCount), 0);
  EXPECT_EQ(Inode(CopyOf(folder, kArticlesFile, DataFilePart::kRecords)), first);

  // Only what changed is copied, with its index.
  AddCustomer("C2");
  ASSERT_EQ(BackupRun(kBackupCopy), Status::kOk);
  EXPECT_EQ(Word(kCount), 5);
  for (DataFilePart part : {DataFilePart::kRecords, DataFilePart::kIndex}) {
    EXPECT_EQ(ReadFile(CopyOf(folder, kCustomersFile, part)), ReadFile(Own(kCustomersFile, part)));
  }
  EXPECT_EQ(Inode(CopyOf(folder, kArticlesFile, DataFilePart::kRecords)), first);

  // A copy newer than its source is left alone too.
  const std::string articles = CopyOf(folder, kArticlesFile, DataFilePart::kRecords);
  fs::last_write_time(articles, fs::last_write_time(articles) + std::chrono::hours(1));
  ASSERT_EQ(BackupRun(kBackupCopy), Status::kOk);
  EXPECT_EQ(Word(kHCount), 1);
  EXPECT_EQ(Word(kCount), 7);
}

TEST_F(BackupTest, RestoreReplacesOneFileFromItsBackup) {
  OpenAll();
  AddCustomer("C1");
  AddArticle("A1", "10");
  const std::string folder = dir_ + "/keep";
  const std::string backup = CopyOf(folder, kCustomersFile, DataFilePart::kRecords);
  Answer(folder + "\r\n\"" + backup + "\"\r\n");
  ASSERT_EQ(BackupRun(kBackupCopy), Status::kOk);
  AddCustomer("C2");
  AddArticle("A2", "20");

  ASSERT_EQ(BackupRun(kBackupRestore), Status::kOk);
  EXPECT_TRUE(DataFileIsOpen(kCustomersFile));  // opened again on the restored files
  EXPECT_EQ(Codes(kCustomersFile), (std::vector<std::string>{"C1"}));
  EXPECT_EQ(Codes(kArticlesFile), (std::vector<std::string>{"A1", "A2"}));

  // A backup without its index: the index is rebuilt from the records.
  fs::remove(CopyOf(folder, kCustomersFile, DataFilePart::kIndex));
  AddCustomer("C3");
  Answer(backup + "\r\n");
  ASSERT_EQ(BackupRun(kBackupRestore), Status::kOk);
  EXPECT_EQ(Codes(kCustomersFile), (std::vector<std::string>{"C1"}));

  // Bad choices change nothing.
  std::ofstream(folder + "/short.DIR", std::ios::binary) << "C9";
  const std::string damaged = folder + "/damaged/CUSTOMERS.DIR";
  fs::create_directories(folder + "/damaged");
  std::ofstream(damaged, std::ios::binary) << "C9   ";
  struct Case {
    std::string answer;
    Status status;
  } cases[] = {
      {CopyOf(folder, kCustomersFile, DataFilePart::kIndex), Status::kBadInputData},
      {folder + "/short.DIR", Status::kBadInputData},  // no such data file
      {damaged, Status::kBadInputData},                // not whole records
      {folder + "/gone/ARTICLES.DIR", Status::kFileNotFound},
      {"", Status::kUserCanceled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    Answer(c.answer + "\r\n");
    EXPECT_EQ(BackupRun(kBackupRestore), c.status);
    EXPECT_EQ(Codes(kCustomersFile), (std::vector<std::string>{"C1"}));
    EXPECT_EQ(Codes(kArticlesFile), (std::vector<std::string>{"A1", "A2"}));
  }
}

TEST_F(BackupTest, ChoicesComeFromTheInstalledDialogsOrCancel) {
  struct Scripted : Choices {
    Slice ChooseFolder(Slice start, Slice title) override {
      asked.push_back(start.str() + "|" + title.str());
      return Slice::Of(folder);
    }
    Slice ChooseFile(Slice, Slice, Slice) override { return Slice(); }
    int ChooseItem(Slice title, Slice items) override {
      asked.push_back(title.str() + "|" + items.str());
      return 0;
    }
    void ProgressOpen(Slice, int64_t steps) override {
      asked.push_back("open " + std::to_string(steps));
    }
    bool ProgressStep(int64_t done, int64_t total) override {
      asked.push_back(std::to_string(done) + "/" + std::to_string(total));
      return done < 2;  // stops after the second file
    }
    void ProgressClose() override { asked.push_back("close"); }
    std::string folder;
    std::vector<std::string> asked;
  } scripted;
  scripted.folder = dir_ + "/keep";
  Choices* old = InstallChoices(&scripted);
  OpenAll();
  EXPECT_EQ(BackupRun(kBackupCopy), Status::kUserCanceled);
  EXPECT_EQ(ReorganizeChosen(), Status::kUserCanceled);
  (void)InstallChoices(old);
  std::string backups;
  {
    AreaMark mark;
    backups = Folder(kFolderBackRel).str();
  }
  EXPECT_EQ(scripted.asked,
            (std::vector<std::string>{backups + "|Choose Selection", "open 3", "1/3", "2/3",
                                      "close", "Table Selection|customers,articles,salelines"}));
  EXPECT_TRUE(Boxes().empty());

  // Headless without an INPUT file: nothing is chosen.
  EXPECT_EQ(BackupRun(kBackupCopy), Status::kUserCanceled);
  EXPECT_EQ(BackupRun(kBackupRestore), Status::kUserCanceled);
  EXPECT_EQ(ReorganizeChosen(), Status::kUserCanceled);
  AreaMark mark;
  EXPECT_EQ(FolderChoose(Slice(), Slice()), Slice(""));
}

TEST_F(BackupTest, ReorganisationDropsDeletedRecordsAndKeepsEqualKeys) {
  OpenAll();
  const char* items[] = {"X", "Y", "X"};
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(DataFileMove(kLinesFile, kMoveClear), kResultCleared);
    Set(kLinesFile, "DOC", "D1");
    Set(kLinesFile, "N_LINE", std::to_string(n));
    Set(kLinesFile, "ITEM", items[n - 1]);
    ASSERT_EQ(DataFileInsert(kLinesFile), Status::kOk);
  }
  ASSERT_EQ(DataFileFind(kLinesFile, 1, Slice::Of(LineKey("D1", 2)), 0), kResultFound);
  ASSERT_EQ(DataFileDelete(kLinesFile, 0), Status::kOk);
  ASSERT_EQ(DataFileCommit(kLinesFile), Status::kOk);
  const std::string records = Own(kLinesFile, DataFilePart::kRecords);
  ASSERT_EQ(fs::file_size(records), 3u * RecordLength(kLinesFile));

  // By name, any letter case, and by the headless selection.
  Answer("SaleLines\r\n");
  for (const char* request : {"Reorg SALELINES", "Reorg 3", "Reorg"}) {
    SCOPED_TRACE(request);
    ASSERT_EQ(RunProcess(request), Status::kOk);
    EXPECT_TRUE(DataFileIsOpen(kLinesFile));
    EXPECT_EQ(fs::file_size(records), 2u * RecordLength(kLinesFile));
    EXPECT_EQ(Codes(kLinesFile, 2), (std::vector<std::string>{"X", "X"}));
    EXPECT_EQ(DataFileRecordCount(kLinesFile), 2);
  }
  EXPECT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(RunProcess("Reorg stock"), Status::kBadInputData);
}

TEST_F(BackupTest, ProcessesAndModes) {
  struct Case {
    const char* request;
    Status status;
  } cases[] = {
      {"Copy 2", Status::kFeatureRemoved},
      {"Copy 7", Status::kBadInputData},
      {"Copy x", Status::kBadInputData},
      {"Copy", Status::kUserCanceled},  // mode 0, nobody answers
      {"Copy 1", Status::kUserCanceled},
  };
  for (const Case& c : cases) EXPECT_EQ(RunProcess(c.request), c.status) << c.request;
  EXPECT_TRUE(Boxes().empty());  // failures are shown by whoever asked
}

class FileCopyTest : public BackupTest {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Names in the folder other than the test's own.
  std::vector<std::string> Leftovers(const std::string& folder) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
      std::string name = e.path().filename().string();
      if (name.find(".part") != std::string::npos) out.push_back(name);
    }
    return out;
  }
};

TEST_F(FileCopyTest, CopiesInUnitsAndNeverLeavesAHalfTarget) {
  std::string source(30000, 's');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>('a' + i % 26);
  Write("source", source);
  Write("target", std::string(40000, 'o'));

  std::vector<std::string> calls;
  auto progress = [&](int64_t total, int64_t unit) {
    calls.push_back(std::to_string(total) + ":" + std::to_string(unit));
    return 0;
  };
  ASSERT_EQ(FileCopy(Slice::Of(Path("source")), Slice::Of(Path("target")), progress), Status::kOk);
  EXPECT_EQ(ReadFile(Path("target")), source);  // exactly the source's size
  EXPECT_EQ(calls, (std::vector<std::string>{"30000:12288", "30000:12288", "30000:5424"}));
  using std::chrono::floor;
  using std::chrono::seconds;
  EXPECT_EQ(floor<seconds>(fs::last_write_time(Path("target"))),
            floor<seconds>(fs::last_write_time(Path("source"))));

  // Stopped by its progress, or failing on the disk: the old target stays.
  Write("target", "old");
  int units = 0;
  EXPECT_EQ(FileCopy(Slice::Of(Path("source")), Slice::Of(Path("target")),
                     [&](int64_t, int64_t) { return ++units == 2 ? 1 : 0; }),
            Status::kUserCanceled);
  {
    platform::FaultEnv env;
    platform::ScopedEnv use(&env);
    env.FailNth(platform::FaultEnv::kWrite, 2, ENOSPC);
    EXPECT_EQ(FileCopy(Slice::Of(Path("source")), Slice::Of(Path("target")), progress),
              Status::kFileIo);
  }
  EXPECT_EQ(ReadFile(Path("target")), "old");
  EXPECT_TRUE(Leftovers(dir_).empty());

  // Missing names and sources, new folders.
  EXPECT_EQ(FileCopy(Slice::Of(Path("none")), Slice::Of(Path("target"))), Status::kFileNotFound);
  EXPECT_NE(GetDetail().view().find("/none"), std::string_view::npos);
  EXPECT_EQ(FileCopy("", Slice::Of(Path("target"))), Status::kBadInputData);
  ASSERT_EQ(FileCopy(Slice::Of(Path("source")), Slice::Of(Path("a/b/c/copy"))), Status::kOk);
  EXPECT_EQ(ReadFile(Path("a/b/c/copy")), source);

  // The copy rule: the copy keeps its source's time, so a second copy is
  // not made.
  SetWord(kAuxStat, kAuxStatCopyChanged);
  EXPECT_EQ(FileCopy(Slice::Of(Path("source")), Slice::Of(Path("a/b/c/copy"))),
            Status::kUndefWarning);
  EXPECT_EQ(Word(kCount), 1);

  // A range lands in place at its offset.
  Write("range", "0123456789");
  ASSERT_EQ(FileCopyRange(Slice::Of(Path("source")), 2, Slice::Of(Path("range")), 4, 3),
            Status::kOk);
  EXPECT_EQ(ReadFile(Path("range")), "0123cde789");
}

// Spawns nothing: records what would have been started.
class SpawnRecorder : public platform::FaultEnv {
 public:
  int Spawn(const std::vector<std::string>& argv, bool wait, int*) override {
    started.push_back(argv);
    waited = waited || wait;
    return fail;
  }
  std::vector<std::vector<std::string>> started;
  bool waited = false;
  int fail = 0;
};

TEST_F(FileCopyTest, ViewersStartWithoutAShellAndWithoutWaiting) {
  Write("report.pdf", "%PDF");
  SpawnRecorder env;
  platform::ScopedEnv use(&env);
  env.SetVariable("TESSALY_VIEWER3", "/opt/reader/bin/reader");
  env.SetVariable("TESSALY_VIEWER1", std::nullopt);

  EXPECT_EQ(ViewerStart(3, Slice::Of("\"" + Path("report.pdf") + "\"")), 0);
  EXPECT_EQ(ViewerStart(1, "https://example.org/a b;rm -rf"), 0);
  EXPECT_EQ(ViewerStart(6, "x"), -1);
  env.fail = ENOENT;
  EXPECT_EQ(ViewerStart(2, "x"), -1);
  EXPECT_EQ(env.started,
            (std::vector<std::vector<std::string>>{{"/opt/reader/bin/reader", Path("report.pdf")},
                                                   {"xdg-open", "https://example.org/a b;rm -rf"},
                                                   {"xdg-open", "x"}}));
  EXPECT_FALSE(env.waited);
}

}  // namespace
}  // namespace tessaly
