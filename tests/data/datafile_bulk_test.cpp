// Bulk writing: a batch written in bulk leaves the files byte for byte as
// the same batch written with a commit after every step, whatever the
// checkpoint limit; nothing reaches the disk between checkpoints, so a
// process that dies there leaves every file as the last checkpoint wrote
// it, clean for the check; a failed checkpoint is a status, and the records
// it could not write are still held and written at close.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/flags.h"
#include "data/datafile.h"
#include "platform/fault_env.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kLength = 20;  // key 1: bytes 0-5; key 2: bytes 6-9; then a quantity
constexpr int kDocs = 1;          // keyed documents, two keys
constexpr int kStock = 2;         // a few records rewritten in place by every step

std::string Doc(int n, const std::string& group) {
  char buf[kLength + 1];
  std::snprintf(buf, sizeof buf, "%06d%-4s%-10s", n, group.c_str(), "doc");
  return std::string(buf, kLength);
}

std::string Stock(int item, int quantity) {
  char buf[kLength + 1];
  std::snprintf(buf, sizeof buf, "%06d%-4s%10d", item, "ST", quantity);
  return std::string(buf, kLength);
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class DataFileBulkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("dfbulk_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    SetDataFileCatalog(nullptr);
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
  }
  void TearDown() override {
    (void)DataFileBulkEnd();
    (void)DataFileCloseAll();
    BuiltinDataFileTable().Clear();
    fs::remove_all(root_);
  }

  // Defines both files in `folder` (under the test's root).
  void UseFolder(const std::string& folder) {
    (void)DataFileCloseAll();
    BuiltinDataFileTable().Clear();
    fs::create_directories(root_ / folder);
    DataFileLayout docs;
    docs.name = "docs";
    docs.folder = (root_ / folder).string();
    docs.record_length = kLength;
    docs.keys = {DataKeyDef{{{0, 6}}}, DataKeyDef{{{6, 4}}}};
    ASSERT_EQ(BuiltinDataFileTable().Define(kDocs, docs), Status::kOk);
    DataFileLayout stock = docs;
    stock.name = "stock";
    stock.keys = {DataKeyDef{{{0, 6}}}};
    ASSERT_EQ(BuiltinDataFileTable().Define(kStock, stock), Status::kOk);
  }

  static void Put(int file, const std::string& r) {
    std::memcpy(BuiltinDataFileTable().Buffers(file).current, r.data(), kLength);
  }
  static std::string Current(int file) {
    return std::string(BuiltinDataFileTable().Buffers(file).current, kLength);
  }

  // One step of a batch as a window saves it: the record written, the
  // commit, the related stock record rewritten and committed.
  static void Step(int n, Status* failed) {
    auto keep = [&](Status s) {
      if (s.failed() && failed->ok()) *failed = s;
    };
    Put(kDocs, Doc(n, n % 3 == 0 ? "AAA" : "BBB"));
    keep(DataFileInsert(kDocs));
    keep(DataFileCommit(kDocs));
    int item = n % 4;
    keep(DataFileFind(kStock, 1, Slice::Of(Stock(item, 0).substr(0, 6)), 0));
    std::string rec = Current(kStock);
    int quantity = std::atoi(rec.substr(10).c_str());
    Put(kStock, Stock(item, quantity - n));
    keep(DataFileUpdate(kStock));
    keep(DataFileCommit(kStock));
    // Now and then a document moves within key 2, or goes and its slot is
    // taken again by the next insert.
    if (n % 7 == 0) {
      keep(DataFileFind(kDocs, 1, Slice::Of(Doc(n - 3, "").substr(0, 6)), 0));
      Put(kDocs, Doc(n - 3, "CCC"));
      keep(DataFileUpdate(kDocs));
      keep(DataFileCommit(kDocs));
    }
    if (n % 11 == 0) {
      keep(DataFileFind(kDocs, 1, Slice::Of(Doc(n - 5, "").substr(0, 6)), 0));
      keep(DataFileDelete(kDocs, 0));
      keep(DataFileCommit(kDocs));
    }
  }

  // The batch: the stock records, then `steps` steps, a consistent point
  // after each, the files closed and reopened halfway.
  static Status Batch(int steps, bool bulk, int64_t limit) {
    Status failed;
    for (int f : {kDocs, kStock}) {
      Status s = DataFileOpen(f, kDataExclusive);
      if (s.failed()) return s;
    }
    if (bulk && (failed = DataFileBulkBegin(limit)).failed()) return failed;
    for (int item = 0; item < 4; ++item) {
      Put(kStock, Stock(item, 1000));
      (void)DataFileInsert(kStock);
    }
    for (int n = 1; n <= steps; ++n) {
      Step(n, &failed);
      if (bulk && failed.ok()) failed = DataFileBulkPoint();
      if (n == steps / 2) {
        (void)DataFileClose(kDocs);
        Status s = DataFileOpen(kDocs, kDataExclusive);
        if (s.failed() && failed.ok()) failed = s;
      }
    }
    if (bulk) {
      Status s = DataFileBulkEnd();
      if (s.failed() && failed.ok()) failed = s;
    }
    Status s = DataFileCloseAll();
    return failed.ok() ? s : failed;
  }

  static std::vector<std::string> Problems(int file) {
    std::vector<std::string> problems;
    (void)DataFileCheck(file, &problems);
    return problems;
  }

  fs::path root_;
};

TEST_F(DataFileBulkTest, WritesTheFilesTheNormalPathWrites) {
  UseFolder("normal");
  ASSERT_EQ(Batch(120, false, 0), Status::kOk);
  // Limits: a checkpoint at every point, every few steps, and only at the end.
  for (int64_t limit : {0, 25, 1000000}) {
    SCOPED_TRACE(limit);
    const std::string folder = "bulk" + std::to_string(limit);
    UseFolder(folder);
    ASSERT_EQ(Batch(120, true, limit), Status::kOk);
    for (const char* name : {"docs.DIR", "docs.NDX", "stock.DIR", "stock.NDX"}) {
      EXPECT_EQ(ReadAll(root_ / folder / name), ReadAll(root_ / "normal" / name)) << name;
    }
    EXPECT_FALSE(fs::exists(root_ / folder / "docs.lock"));
    EXPECT_FALSE(DataFileInBulk());
  }
}

TEST_F(DataFileBulkTest, HoldsEverythingUntilACheckpoint) {
  UseFolder("f");
  ASSERT_EQ(DataFileOpen(kDocs, kDataExclusive), kResultEnd);
  ASSERT_EQ(DataFileOpen(kStock, 0), kResultEnd);  // shared: no part in bulk writing
  ASSERT_EQ(DataFileBulkBegin(3), Status::kOk);
  for (int n = 1; n <= 2; ++n) {
    Put(kDocs, Doc(n, "AAA"));
    ASSERT_EQ(DataFileInsert(kDocs), Status::kOk);
    ASSERT_EQ(DataFileCommit(kDocs), Status::kOk);
  }
  Put(kStock, Stock(1, 5));
  ASSERT_EQ(DataFileInsert(kStock), Status::kOk);
  ASSERT_EQ(DataFileCommit(kStock), Status::kOk);
  // The engine sees the held records; the disk does not yet.
  EXPECT_EQ(DataFileFind(kDocs, 2, Slice::Of("AAA"), 0), kResultFound);
  EXPECT_EQ(DataFileRecordCount(kDocs), 2);
  EXPECT_EQ(DataFileBulkHeld(), 2);
  EXPECT_EQ(fs::file_size(root_ / "f/docs.DIR"), 0u);
  EXPECT_EQ(fs::file_size(root_ / "f/stock.DIR"), kLength);  // the shared file as always
  ASSERT_EQ(DataFileBulkPoint(), Status::kOk);  // 2 held, limit 3: not yet
  EXPECT_EQ(fs::file_size(root_ / "f/docs.DIR"), 0u);
  Put(kDocs, Doc(3, "AAA"));
  ASSERT_EQ(DataFileInsert(kDocs), kResultRepeated);  // key 2 is current
  ASSERT_EQ(DataFileBulkPoint(), Status::kOk);
  EXPECT_EQ(DataFileBulkHeld(), 0);
  EXPECT_EQ(fs::file_size(root_ / "f/docs.DIR"), 3u * kLength);
  EXPECT_EQ(fs::file_size(root_ / "f/docs.NDX"), 8u + 2 * 3 * 4);
}

// A process that dies in bulk writing leaves the files of its last
// checkpoint: clean for the check, read by a normal open, the rewrites after
// the checkpoint gone with the inserts.
TEST_F(DataFileBulkTest, ADeathBetweenCheckpointsLeavesTheLastCheckpoint) {
  UseFolder("f");
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Status failed;
    bool ok = !DataFileOpen(kDocs, kDataExclusive).failed() &&
              !DataFileOpen(kStock, kDataExclusive).failed() && DataFileBulkBegin(1000000).ok();
    for (int item = 0; item < 4; ++item) {
      Put(kStock, Stock(item, 1000));
      ok = ok && DataFileInsert(kStock).ok();
    }
    for (int n = 1; n <= 40; ++n) Step(n, &failed);
    ok = ok && failed.ok() && DataFileBulkCheckpoint().ok();
    for (int n = 41; n <= 60; ++n) Step(n, &failed);
    ::_exit(ok && failed.ok() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  for (int f : {kDocs, kStock}) EXPECT_EQ(Problems(f), std::vector<std::string>()) << f;
  // The same 40 steps written the normal way, for comparison.
  UseFolder("normal");
  {
    Status failed;
    ASSERT_EQ(DataFileOpen(kDocs, kDataExclusive), kResultEnd);
    ASSERT_EQ(DataFileOpen(kStock, kDataExclusive), kResultEnd);
    for (int item = 0; item < 4; ++item) {
      Put(kStock, Stock(item, 1000));
      ASSERT_EQ(DataFileInsert(kStock), Status::kOk);
    }
    for (int n = 1; n <= 40; ++n) Step(n, &failed);
    ASSERT_EQ(failed, Status::kOk);
    ASSERT_EQ(DataFileCloseAll(), Status::kOk);
  }
  for (const char* name : {"docs.DIR", "docs.NDX", "stock.DIR", "stock.NDX"}) {
    EXPECT_EQ(ReadAll(root_ / "f" / name), ReadAll(root_ / "normal" / name)) << name;
  }
  UseFolder("f");
  EXPECT_EQ(DataFileOpen(kDocs, 0), kResultFound);  // the dead holder's lock is stale
}

TEST_F(DataFileBulkTest, AFailedCheckpointIsReportedAndTheRecordsStayHeld) {
  UseFolder("f");
  platform::FaultEnv env;
  platform::ScopedEnv use(&env);
  ASSERT_EQ(DataFileOpen(kDocs, kDataExclusive), kResultEnd);
  ASSERT_EQ(DataFileBulkBegin(0), Status::kOk);
  for (int n = 1; n <= 3; ++n) {
    Put(kDocs, Doc(n, "AAA"));
    ASSERT_EQ(DataFileInsert(kDocs), Status::kOk);
  }
  env.FailNth(platform::FaultEnv::kWrite, 2);
  EXPECT_EQ(DataFileBulkPoint(), Status::kDiskWriteError);
  EXPECT_EQ(DataFileBulkHeld(), 2);
  // The next checkpoint writes them.
  EXPECT_EQ(DataFileBulkEnd(), Status::kOk);
  EXPECT_EQ(DataFileBulkHeld(), 0);
  ASSERT_EQ(DataFileClose(kDocs), Status::kOk);
  EXPECT_EQ(Problems(kDocs), std::vector<std::string>());
  ASSERT_EQ(DataFileOpen(kDocs, 0), kResultFound);
  EXPECT_EQ(DataFileRecordCount(kDocs), 3);
}

}  // namespace
}  // namespace tessaly
