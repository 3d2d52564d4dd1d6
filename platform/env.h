// The operating system as the runtime sees it: files, folders, environment
// variables, the local clock and child processes.
//
// Env is the one door to the operating system. Every file access of the
// runtime goes through the current Env, so tests can put a fake in its place
// (see platform/fault_env.h) that fails the Nth write, an open or a rename,
// the way a full disk or a pulled network share would.
//
// Paths given to an Env are native: Linux paths in UTF-8, already translated
// from the runtime's written form (see platform/paths.h). Errors are errno
// values: 0 is success, anything else names what went wrong.
//
// This is the bottom layer: plain C++ types only, no runtime headers.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::platform {

// How a file is opened; combine the bits. kOpenCreate makes a missing file,
// kOpenTruncate empties an existing one, kOpenAppend sends every write to the
// end of the file (atomically, also against other processes).
enum OpenFlags : int {
  kOpenRead = 1,
  kOpenWrite = 2,
  kOpenCreate = 4,
  kOpenTruncate = 8,
  kOpenAppend = 16,
  // With kOpenCreate: fail with EEXIST when the file already exists.
  kOpenExclusive = 32,
};

// An open file. Reads and writes name their offset, so no hidden position is
// shared between users of one file; a write has reached the operating system
// (and survives the process being killed) when it returns.
class File {
 public:
  virtual ~File() = default;
  // Up to n bytes from offset: the count read (0 at or past the end), or
  // -errno. A short count means the end of the file was reached.
  virtual int64_t ReadAt(int64_t offset, void* buffer, size_t n) = 0;
  // Writes n bytes at offset (at the end for a file opened with
  // kOpenAppend): the count written, or -errno. A count below n is a short
  // write (a full disk).
  virtual int64_t WriteAt(int64_t offset, const void* data, size_t n) = 0;
  // The length in bytes, or -errno.
  virtual int64_t Size() = 0;
  // Forces the written bytes to the disk.
  virtual int Sync() = 0;
  virtual int Truncate(int64_t size) = 0;
  // True for the standard streams: they are read and written in sequence and
  // the offsets are ignored.
  virtual bool IsSequential() const { return false; }

  // A read-only view of the file's first `length` bytes that follows every
  // write made to the file afterwards, by this process or another (a shared
  // memory map). Bytes past the end of the file must not be touched. Null
  // when the file cannot be mapped (callers then read); release with Unmap.
  virtual const char* Map(size_t length) {
    (void)length;
    return nullptr;
  }
  virtual void Unmap(const char* view, size_t length) {
    (void)view;
    (void)length;
  }

  // Operating-system locks on a byte range (which may lie past the end of
  // the file). A lock belongs to this open file, not to the process: two
  // opens of one file in one process exclude each other. It is dropped when
  // the file is closed or the process dies, so a lock never outlives its
  // holder. kExclusive needs a file opened for writing.
  enum class LockMode { kUnlock, kShared, kExclusive };
  // 0; EAGAIN when another open file holds a lock that refuses this one and
  // `wait` is false; ENOTSUP when the file cannot be locked.
  virtual int Lock(int64_t offset, int64_t length, LockMode mode, bool wait) {
    (void)offset;
    (void)length;
    (void)mode;
    (void)wait;
    return ENOTSUP;
  }
  // Whether another open file holds a lock in the range that would refuse
  // one of `mode`: 0 with *held set, or an errno (ENOTSUP as above).
  virtual int TestLock(int64_t offset, int64_t length, LockMode mode, bool* held) {
    (void)offset;
    (void)length;
    (void)mode;
    *held = false;
    return ENOTSUP;
  }
};

// What a folder entry says about a file.
struct FileInfo {
  int64_t size = 0;
  // Seconds since the epoch. `created` is the birth time where the file
  // system keeps one, else the older of the change and modification times.
  int64_t created = 0;
  int64_t accessed = 0;
  int64_t written = 0;
  bool is_directory = false;
  bool is_regular = false;
  bool writable = false;  // this process may write it
  uint32_t permissions = 0;  // the mode's permission bits (07777)
};

// A moment of the local clock.
struct LocalTime {
  int year = 0;
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int weekday = 0;  // 0 Sunday - 6 Saturday
  int ms_of_day = 0;  // hours*3600000 + minutes*60000 + seconds*1000 + ms
};

class Env {
 public:
  virtual ~Env() = default;

  // ---- Files and folders (native paths) -----------------------------------
  // Opens `path`; a folder is refused with EISDIR.
  virtual int OpenFile(const std::string& path, int flags, std::unique_ptr<File>* file) = 0;
  // 0 stdin, 1 stdout, 2 stderr; owned by the Env, never null for 0-2.
  virtual File* StandardStream(int which) = 0;
  virtual int RemoveFile(const std::string& path) = 0;
  // With replace false an existing target is refused with EEXIST (the other
  // platform's rename never overwrote a file).
  virtual int RenameFile(const std::string& from, const std::string& to, bool replace) = 0;
  // Whether something of that name exists (a file, a folder, a device).
  virtual bool Exists(const std::string& path) = 0;
  // Follows symbolic links.
  virtual int Stat(const std::string& path, FileInfo* info) = 0;
  // The names in a folder, without "." and "..", in no particular order.
  virtual int ListFolder(const std::string& path, std::vector<std::string>* names) = 0;
  // One level; EEXIST when something of that name exists.
  virtual int MakeFolder(const std::string& path) = 0;
  virtual int SetPermissions(const std::string& path, uint32_t permissions) = 0;
  // Sets the time of the last write (seconds since the epoch), as a copy
  // that keeps its source's time needs. ENOTSUP where it cannot be set.
  virtual int SetWriteTime(const std::string& path, int64_t seconds) {
    (void)path;
    (void)seconds;
    return ENOTSUP;
  }
  virtual int RemoveFolder(const std::string& path) = 0;
  virtual int ChangeFolder(const std::string& path) = 0;
  virtual int CurrentFolder(std::string* path) = 0;

  // ---- Environment, clock, processes ----------------------------------------
  virtual std::optional<std::string> GetVariable(const std::string& name) = 0;
  virtual LocalTime Now() = 0;
  // Seconds since the epoch in local time.
  virtual LocalTime ToLocal(int64_t seconds) = 0;
  // Starts argv[0] (searched in PATH when it holds no '/') with the
  // arguments, without a shell. With wait, waits and stores the exit code
  // (128 + signal for a killed child); without, the child runs on and is
  // reaped later. 0 or errno (ENOENT for a program that cannot be found).
  virtual int Spawn(const std::vector<std::string>& argv, bool wait, int* exit_code) = 0;
};

// The Env in use; the POSIX one unless a test installed another.
Env& CurrentEnv();
// The POSIX Env (never replaced).
Env& PosixEnv();
// Installs `env` (null restores the POSIX one); returns the previous Env.
Env* SetEnv(Env* env);

// Installs an Env for the life of a scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(SetEnv(env)) {}
  ~ScopedEnv() { SetEnv(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// An Env that passes every call to another; fakes derive from it and
// override what they change.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  int OpenFile(const std::string& path, int flags, std::unique_ptr<File>* file) override {
    return target_->OpenFile(path, flags, file);
  }
  File* StandardStream(int which) override { return target_->StandardStream(which); }
  int RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  int RenameFile(const std::string& from, const std::string& to, bool replace) override {
    return target_->RenameFile(from, to, replace);
  }
  bool Exists(const std::string& path) override { return target_->Exists(path); }
  int Stat(const std::string& path, FileInfo* info) override { return target_->Stat(path, info); }
  int ListFolder(const std::string& path, std::vector<std::string>* names) override {
    return target_->ListFolder(path, names);
  }
  int MakeFolder(const std::string& path) override { return target_->MakeFolder(path); }
  int SetPermissions(const std::string& path, uint32_t permissions) override {
    return target_->SetPermissions(path, permissions);
  }
  int SetWriteTime(const std::string& path, int64_t seconds) override {
    return target_->SetWriteTime(path, seconds);
  }
  int RemoveFolder(const std::string& path) override { return target_->RemoveFolder(path); }
  int ChangeFolder(const std::string& path) override { return target_->ChangeFolder(path); }
  int CurrentFolder(std::string* path) override { return target_->CurrentFolder(path); }
  std::optional<std::string> GetVariable(const std::string& name) override {
    return target_->GetVariable(name);
  }
  LocalTime Now() override { return target_->Now(); }
  LocalTime ToLocal(int64_t seconds) override { return target_->ToLocal(seconds); }
  int Spawn(const std::vector<std::string>& argv, bool wait, int* exit_code) override {
    return target_->Spawn(argv, wait, exit_code);
  }

 private:
  Env* target_;
};

}  // namespace tessaly::platform
