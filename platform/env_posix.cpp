// The POSIX Env: the only code of the runtime that calls the operating system
// for files, folders, environment variables, the clock and processes.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/env.h"

extern char** environ;

namespace tessaly::platform {
namespace {

class PosixFile final : public File {
 public:
  PosixFile(int fd, bool append) : fd_(fd), append_(append) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int64_t ReadAt(int64_t offset, void* buffer, size_t n) override {
    if (offset < 0) return -EINVAL;
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, out + done, n - done, offset + static_cast<int64_t>(done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? static_cast<int64_t>(done) : -errno;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
  }

  int64_t WriteAt(int64_t offset, const void* data, size_t n) override {
    if (offset < 0 && !append_) return -EINVAL;
    const char* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
      // An append file takes write(): O_APPEND puts each piece at the end
      // even when another process appends to the same file.
      ssize_t w = append_ ? ::write(fd_, in + done, n - done)
                          : ::pwrite(fd_, in + done, n - done, offset + static_cast<int64_t>(done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? static_cast<int64_t>(done) : -errno;
      }
      if (w == 0) break;
      done += static_cast<size_t>(w);
    }
    return static_cast<int64_t>(done);
  }

  int64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -errno;
    return st.st_size;
  }

  int Sync() override { return ::fsync(fd_) == 0 ? 0 : errno; }

  int Truncate(int64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }

  const char* Map(size_t length) override {
    if (length == 0) return nullptr;
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
    return view == MAP_FAILED ? nullptr : static_cast<const char*>(view);
  }
  void Unmap(const char* view, size_t length) override {
    if (view != nullptr) ::munmap(const_cast<char*>(view), length);
  }

  // Open-file-description locks: owned by this open file, so they exclude
  // other opens in the same process too, and fcntl's per-process locks
  // (dropped by closing any descriptor of the file) are avoided.
  int Lock(int64_t offset, int64_t length, LockMode mode, bool wait) override {
    struct flock fl = {};
    fl.l_type = mode == LockMode::kExclusive ? F_WRLCK
                : mode == LockMode::kShared  ? F_RDLCK
                                             : F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    int r;
    do {
      r = ::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return 0;
    return errno == EACCES ? EAGAIN : errno;
  }
  int TestLock(int64_t offset, int64_t length, LockMode mode, bool* held) override {
    struct flock fl = {};
    fl.l_type = mode == LockMode::kExclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return errno;
    *held = fl.l_type != F_UNLCK;
    return 0;
  }

 private:
  int fd_;
  bool append_;
};

// The standard streams go through stdio so that their bytes keep their order
// with whatever else the process prints.
class StdioFile final : public File {
 public:
  explicit StdioFile(FILE* stream) : stream_(stream) {}

  int64_t ReadAt(int64_t, void* buffer, size_t n) override {
    size_t r = std::fread(buffer, 1, n, stream_);
    if (r == 0 && std::ferror(stream_)) {
      std::clearerr(stream_);
      return -EIO;
    }
    // A terminal may deliver more after an end of input.
    if (std::feof(stream_)) std::clearerr(stream_);
    return static_cast<int64_t>(r);
  }
  int64_t WriteAt(int64_t, const void* data, size_t n) override {
    size_t w = std::fwrite(data, 1, n, stream_);
    std::fflush(stream_);
    if (w == 0 && n > 0) return -EIO;
    return static_cast<int64_t>(w);
  }
  int64_t Size() override { return -ESPIPE; }
  int Sync() override { return std::fflush(stream_) == 0 ? 0 : EIO; }
  int Truncate(int64_t) override { return EINVAL; }
  bool IsSequential() const override { return true; }

 private:
  FILE* stream_;
};

int64_t Seconds(const struct statx_timestamp& t) { return t.tv_sec; }

class PosixEnvImpl final : public Env {
 public:
  int OpenFile(const std::string& path, int flags, std::unique_ptr<File>* file) override {
    int oflags = O_CLOEXEC;
    bool read = flags & kOpenRead;
    bool write = flags & (kOpenWrite | kOpenAppend);
    oflags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    if (flags & kOpenCreate) oflags |= O_CREAT;
    if (flags & kOpenTruncate) oflags |= O_TRUNC;
    if (flags & kOpenAppend) oflags |= O_APPEND;
    if ((flags & kOpenExclusive) && (flags & kOpenCreate)) oflags |= O_EXCL;
    int fd;
    do {
      fd = ::open(path.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd);
      return err;
    }
    *file = std::make_unique<PosixFile>(fd, (flags & kOpenAppend) != 0);
    return 0;
  }

  File* StandardStream(int which) override {
    static StdioFile in(stdin), out(stdout), err(stderr);
    switch (which) {
      case 0:
        return &in;
      case 1:
        return &out;
      default:
        return &err;
    }
  }

  int RemoveFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
  }

  int RenameFile(const std::string& from, const std::string& to, bool replace) override {
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: check, then rename.
    if (Exists(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  bool Exists(const std::string& path) override {
    return ::faccessat(AT_FDCWD, path.c_str(), F_OK, 0) == 0;
  }

  int Stat(const std::string& path, FileInfo* info) override {
    struct statx st;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
      return errno;
    }
    info->size = static_cast<int64_t>(st.stx_size);
    info->accessed = Seconds(st.stx_atime);
    info->written = Seconds(st.stx_mtime);
    if (st.stx_mask & STATX_BTIME) {
      info->created = Seconds(st.stx_btime);
    } else {
      info->created = std::min(Seconds(st.stx_ctime), Seconds(st.stx_mtime));
    }
    info->is_directory = S_ISDIR(st.stx_mode);
    info->is_regular = S_ISREG(st.stx_mode);
    info->permissions = st.stx_mode & 07777;
    info->writable = ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
    return 0;
  }

  int ListFolder(const std::string& path, std::vector<std::string>* names) override {
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (dir == nullptr) return errno;
    names->clear();
    errno = 0;
    while (struct dirent* entry = ::readdir(dir)) {
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      names->emplace_back(name);
    }
    int err = errno;
    ::closedir(dir);
    return err;
  }

  int MakeFolder(const std::string& path) override {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
  }

  int SetPermissions(const std::string& path, uint32_t permissions) override {
    return ::chmod(path.c_str(), static_cast<mode_t>(permissions)) == 0 ? 0 : errno;
  }

  int SetWriteTime(const std::string& path, int64_t seconds) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : errno;
  }

  int RemoveFolder(const std::string& path) override {
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
  }

  int ChangeFolder(const std::string& path) override {
    return ::chdir(path.c_str()) == 0 ? 0 : errno;
  }

  int CurrentFolder(std::string* path) override {
    std::string buffer(512, '\0');
    for (;;) {
      if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
        buffer.resize(std::char_traits<char>::length(buffer.c_str()));
        *path = std::move(buffer);
        return 0;
      }
      if (errno != ERANGE || buffer.size() > (1u << 20)) return errno;
      buffer.resize(buffer.size() * 2);
    }
  }

  std::optional<std::string> GetVariable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  LocalTime Now() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    LocalTime t = ToLocal(ts.tv_sec);
    t.ms_of_day += static_cast<int>(ts.tv_nsec / 1000000);
    return t;
  }

  LocalTime ToLocal(int64_t seconds) override {
    time_t s = static_cast<time_t>(seconds);
    struct tm tm;
    LocalTime t;
    if (::localtime_r(&s, &tm) == nullptr) return t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.weekday = tm.tm_wday;
    t.ms_of_day = tm.tm_hour * 3600000 + tm.tm_min * 60000 + tm.tm_sec * 1000;
    return t;
  }

  int Spawn(const std::vector<std::string>& argv, bool wait, int* exit_code) override {
    ReapChildren();
    if (argv.empty() || argv[0].empty()) return EINVAL;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int err = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (err != 0) return err;
    if (!wait) {
      children_.push_back(pid);
      return 0;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return errno;
    }
    if (exit_code != nullptr) {
      *exit_code = WIFEXITED(status) ? WEXITSTATUS(status)
                                      : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    return 0;
  }

 private:
  // Children started without waiting are collected on later calls, so that
  // a long session leaves no zombies behind.
  void ReapChildren() {
    for (size_t i = 0; i < children_.size();) {
      pid_t r = ::waitpid(children_[i], nullptr, WNOHANG);
      if (r == children_[i] || (r < 0 && errno == ECHILD)) {
        children_[i] = children_.back();
        children_.pop_back();
      } else {
        ++i;
      }
    }
  }

  std::vector<pid_t> children_;
};

Env* g_current = nullptr;

}  // namespace

Env& PosixEnv() {
  static PosixEnvImpl env;
  return env;
}

Env& CurrentEnv() { return g_current != nullptr ? *g_current : PosixEnv(); }

Env* SetEnv(Env* env) {
  Env* previous = &CurrentEnv();
  g_current = env;
  return previous;
}

}  // namespace tessaly::platform
