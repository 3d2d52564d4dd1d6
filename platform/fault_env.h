// A stand-in for the operating system in tests: it passes everything to a
// real Env and fails the operations a test chooses, the way a full disk, a
// pulled network share or a refused rename would. It also answers
// environment variables, the clock and the standard streams from values the
// test sets, so tests never change the process's own.
//
//   FaultEnv env;
//   ScopedEnv use(&env);
//   env.FailNth(FaultEnv::kWrite, 3);         // the third write from now
//   env.FailNth(FaultEnv::kWrite, 1, ENOSPC, /*sticky=*/true);  // disk full
//
// A test that wants every failure point runs the operation once to count
// its writes (count(kWrite)), then once per write with that write failing.
#pragma once

#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace tessaly::platform {

// A file held in memory. Sequential ones behave like a standard stream:
// reads take from the front, writes add at the end, offsets are ignored.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::string contents = "", bool sequential = false)
      : data_(std::move(contents)), sequential_(sequential) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t n) override;
  int64_t WriteAt(int64_t offset, const void* data, size_t n) override;
  int64_t Size() override;
  int Sync() override { return 0; }
  int Truncate(int64_t size) override;
  bool IsSequential() const override { return sequential_; }
  const std::string& contents() const { return data_; }

 private:
  std::string data_;
  size_t read_ = 0;  // sequential reads taken so far
  bool sequential_;
};

class FaultEnv : public EnvWrapper {
 public:
  enum Op { kOpen, kWrite, kSync, kRename, kRemove, kMakeFolder, kSpawn, kOpCount };

  explicit FaultEnv(Env* target = &PosixEnv()) : EnvWrapper(target) {}

  // The nth operation of this kind from now on (1: the next one) fails with
  // `error`; with `sticky` every later one fails as well.
  void FailNth(Op op, int n, int error = ENOSPC, bool sticky = false);
  // A failing write first writes half of its bytes and reports that short
  // count, as a disk that fills in the middle of a write does.
  void set_torn_writes(bool torn) { torn_writes_ = torn; }
  // Operations of each kind seen since construction or Reset().
  int count(Op op) const { return counts_[op]; }
  // Forgets the counts and the planned failures.
  void Reset();

  // Environment variables as this Env answers them: a set value, or unset
  // (nullopt); names never set fall through to the real environment.
  void SetVariable(const std::string& name, std::optional<std::string> value);
  // A fixed local clock.
  void SetNow(const LocalTime& now) { now_ = now; }
  // Replaces a standard stream (0-2); the Env does not own it.
  void SetStandardStream(int which, File* file) { streams_[which] = file; }

  int OpenFile(const std::string& path, int flags, std::unique_ptr<File>* file) override;
  File* StandardStream(int which) override;
  int RemoveFile(const std::string& path) override;
  int RenameFile(const std::string& from, const std::string& to, bool replace) override;
  int MakeFolder(const std::string& path) override;
  std::optional<std::string> GetVariable(const std::string& name) override;
  LocalTime Now() override;
  int Spawn(const std::vector<std::string>& argv, bool wait, int* exit_code) override;

  // Counts one operation of this kind; its planned error, or 0.
  int Check(Op op);
  bool torn_writes() const { return torn_writes_; }

 private:
  struct Plan {
    int remaining = 0;  // operations until the failure; 0: none planned
    int error = 0;
    bool sticky = false;
    bool failing = false;  // a sticky failure has begun
  };
  Plan plans_[kOpCount];
  int counts_[kOpCount] = {};
  bool torn_writes_ = false;
  std::map<std::string, std::optional<std::string>> variables_;
  std::optional<LocalTime> now_;
  File* streams_[3] = {};
};

}  // namespace tessaly::platform
