// Data files across processes: a process killed at any moment loses nothing
// it committed (and reorganisation brings back everything it wrote), two
// processes sharing a file see each other's commits, and exclusive opens
// are serialised by a lock file that a killed holder does not leave locked.
//
// TESSALY_CRASH_ROUNDS sets the number of kills (quick by default).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/flags.h"
#include "data/datafile.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kLength = 24;  // key 1: bytes 0-7, key 2: bytes 8-11

std::string Rec(int n, const std::string& tag) {
  char buf[kLength + 1];
  std::snprintf(buf, sizeof buf, "%08d%-4s%-12s", n, tag.substr(0, 4).c_str(), "payload");
  return std::string(buf, kLength);
}

std::string Key(int n) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08d", n);
  return buf;
}

// A child reports through a pipe and fails by its exit code.
[[noreturn]] void ChildFail(int line) { _exit(100 + line % 100); }
#define CHILD_EXPECT(cond)            \
  do {                                \
    if (!(cond)) ChildFail(__LINE__); \
  } while (0)

void Send(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w <= 0) _exit(99);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

bool Receive(int fd, void* data, size_t n) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

void Signal(int fd, char c) { Send(fd, &c, 1); }
char Await(int fd) {
  char c = 0;
  if (!Receive(fd, &c, 1)) return 0;
  return c;
}

int ExitCode(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class DataFileProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dfp_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetDataFileCatalog(nullptr);
    BuiltinDataFileTable().Clear();
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
    DataFileLayout layout;
    layout.name = "shared";
    layout.folder = dir_.string();
    layout.record_length = kLength;
    layout.keys = {DataKeyDef{{{0, 8}}}, DataKeyDef{{{8, 4}}}};
    ASSERT_EQ(BuiltinDataFileTable().Define(1, layout), Status::kOk);
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    BuiltinDataFileTable().Clear();
    fs::remove_all(dir_);
  }

  static Status Insert(const std::string& r) {
    std::memcpy(BuiltinDataFileTable().Buffers(1).current, r.data(), kLength);
    return DataFileInsert(1);
  }
  static bool Found(int n) { return DataFileFind(1, 1, Slice::Of(Key(n)), 0) == kResultFound; }

  fs::path dir_;
};

// Killed while inserting and committing: what was committed is found at the
// next open, and what was written comes back with reorganisation.
TEST_F(DataFileProcessTest, KilledWriterLosesNothingCommitted) {
  const char* env = std::getenv("TESSALY_CRASH_ROUNDS");
  const int rounds = env != nullptr && *env != '\0' ? std::atoi(env) : 6;
  std::mt19937 rnd(12345);
  std::set<int> written, committed;
  int next = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const int first = next;
    const unsigned seed = rnd();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipe_fds[0]);
      std::mt19937 child(seed);
      // Alternate the open modes: an exclusive holder leaves a stale lock.
      Status s = DataFileOpen(1, (seed & 1) ? kDataExclusive : 0);
      CHILD_EXPECT(s == kResultFound || s == kResultEnd);
      for (int n = first;; ++n) {
        CHILD_EXPECT(Insert(Rec(n, "w")) == Status::kOk);
        int32_t msg[2] = {0, n};
        Send(pipe_fds[1], msg, sizeof msg);
        if (child() % 8 == 0) {
          CHILD_EXPECT(DataFileCommit(1) == Status::kOk);
          int32_t done[2] = {1, n};
          Send(pipe_fds[1], done, sizeof done);
        }
      }
    }
    ::close(pipe_fds[1]);
    // Let it run for a while, then kill it wherever it is.
    int messages = 50 + static_cast<int>(rnd() % 400);
    for (int i = 0; i < messages; ++i) {
      int32_t msg[2];
      ASSERT_TRUE(Receive(pipe_fds[0], msg, sizeof msg));
      if (msg[0] == 0) {
        written.insert(msg[1]);
        next = std::max(next, msg[1] + 1);
      } else {
        for (int n = first; n <= msg[1]; ++n) committed.insert(n);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rnd() % 3000));
    ::kill(pid, SIGKILL);
    // What it sent before dying still counts.
    int32_t msg[2];
    while (Receive(pipe_fds[0], msg, sizeof msg)) {
      if (msg[0] == 0) {
        written.insert(msg[1]);
        next = std::max(next, msg[1] + 1);
      } else {
        for (int n = first; n <= msg[1]; ++n) committed.insert(n);
      }
    }
    ::close(pipe_fds[0]);
    EXPECT_EQ(ExitCode(pid), 128 + SIGKILL);
    next += 1000;  // numbers the child may have written without telling

    Status s = DataFileOpen(1, kDataExclusive);  // a stale lock does not stop it
    ASSERT_TRUE(s == kResultFound || s == kResultEnd) << s;
    for (int n : committed) ASSERT_TRUE(Found(n)) << "committed record " << n;
    ASSERT_EQ(DataFileClose(1), Status::kOk);
    ASSERT_EQ(DataFileReorganize(1), Status::kOk);
    ASSERT_EQ(DataFileOpen(1, 0), kResultFound);
    for (int n : written) ASSERT_TRUE(Found(n)) << "written record " << n;
    for (int n : written) committed.insert(n);
    ASSERT_EQ(DataFileClose(1), Status::kOk);
    std::vector<std::string> problems;
    EXPECT_EQ(DataFileCheck(1, &problems), Status::kOk) << (problems.empty() ? "" : problems[0]);
  }
}

// Two processes insert, delete and reuse slots on one file between their
// commits; each finds the other's committed records after its own commit,
// and no record of either is lost.
TEST_F(DataFileProcessTest, SharedWritersMergeTheirCommits) {
  int to_child[2], to_parent[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(to_parent), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(to_child[1]);
    ::close(to_parent[0]);
    int in = to_child[0], out = to_parent[1];
    CHILD_EXPECT(Await(in) == 'o');
    Status s = DataFileOpen(1, 0);
    CHILD_EXPECT(s == kResultEnd || s == kResultFound);
    CHILD_EXPECT(Insert(Rec(2, "c")) == Status::kOk);  // before the parent's commit
    Signal(out, '1');
    CHILD_EXPECT(Await(in) == '2');  // the parent committed record 1
    CHILD_EXPECT(!Found(1));         // not before our own commit
    CHILD_EXPECT(DataFileCommit(1) == Status::kOk);
    CHILD_EXPECT(Found(1) && Found(2));
    Signal(out, '3');
    CHILD_EXPECT(Await(in) == '4');  // the parent deleted 1 and committed
    CHILD_EXPECT(DataFileCommit(1) == Status::kOk);
    CHILD_EXPECT(!Found(1));
    // Both now list the freed slot; the parent reuses it first.
    CHILD_EXPECT(Await(in) == '5');
    CHILD_EXPECT(Insert(Rec(4, "c")) == Status::kOk);
    CHILD_EXPECT(DataFileFind(1, 1, Slice::Of(Key(2)), 0) == kResultFound);
    std::memcpy(BuiltinDataFileTable().Buffers(1).current, Rec(2, "cc").data(), kLength);
    CHILD_EXPECT(DataFileUpdate(1) == Status::kOk);  // rewrite: key 2 moves
    CHILD_EXPECT(DataFileCommit(1) == Status::kOk);
    CHILD_EXPECT(Found(4) && Found(2));  // 3 is not committed yet
    CHILD_EXPECT(DataFileClose(1) == Status::kOk);
    Signal(out, '6');
    _exit(0);
  }
  ::close(to_child[0]);
  ::close(to_parent[1]);
  int in = to_parent[0], out = to_child[1];
  ASSERT_EQ(DataFileOpen(1, 0), kResultEnd);
  Signal(out, 'o');
  ASSERT_EQ(Await(in), '1');
  ASSERT_EQ(Insert(Rec(1, "p")), Status::kOk);  // takes the slot after the child's
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  Signal(out, '2');
  ASSERT_EQ(Await(in), '3');
  ASSERT_FALSE(Found(2));
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  ASSERT_TRUE(Found(2));
  ASSERT_TRUE(Found(1));
  ASSERT_EQ(DataFileDelete(1, 0), Status::kOk);
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  Signal(out, '4');
  ASSERT_EQ(Insert(Rec(3, "p")), Status::kOk);  // reuses the freed slot
  Signal(out, '5');
  ASSERT_EQ(Await(in), '6');
  EXPECT_EQ(ExitCode(pid), 0);
  ASSERT_EQ(DataFileCommit(1), Status::kOk);
  EXPECT_FALSE(Found(1));
  for (int n : {2, 3, 4}) EXPECT_TRUE(Found(n)) << n;
  ASSERT_EQ(DataFileFind(1, 2, "cc", 0), kResultFound);
  EXPECT_EQ(DataFileRecordCount(1), 3);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  std::vector<std::string> problems;
  EXPECT_EQ(DataFileCheck(1, &problems), Status::kOk) << (problems.empty() ? "" : problems[0]);
}

// An exclusive holder in another process refuses every open; killed, it
// leaves its lock file behind, which the next exclusive open takes over.
TEST_F(DataFileProcessTest, LockFileOfAKilledHolderIsTakenOver) {
  int to_parent[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(to_parent[0]);
    CHILD_EXPECT(DataFileOpen(1, kDataExclusive) == kResultEnd);
    Signal(to_parent[1], 'x');
    for (;;) ::pause();
  }
  ::close(to_parent[1]);
  ASSERT_EQ(Await(to_parent[0]), 'x');
  EXPECT_EQ(DataFileOpen(1, kDataExclusive), Status::kPermissionDenied);
  EXPECT_EQ(DataFileOpen(1, 0), Status::kPermissionDenied);
  EXPECT_EQ(DataFileReorganize(1), Status::kPermissionDenied);
  ::kill(pid, SIGKILL);
  EXPECT_EQ(ExitCode(pid), 128 + SIGKILL);
  EXPECT_TRUE(fs::exists(dir_ / "shared.lock"));
  ASSERT_EQ(DataFileOpen(1, kDataExclusive), kResultEnd);
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_FALSE(fs::exists(dir_ / "shared.lock"));
}

}  // namespace
}  // namespace tessaly
