// The lock file of exclusive opens.
//
// The file says "held" to anything that only looks for it; the operating
// system lock on it says whether its holder is still alive. A holder that
// died leaves the file but not the lock, so the next exclusive open takes
// the file over instead of being refused for ever.
#include <cerrno>

#include "data/datafile_internal.h"
#include "platform/process.h"

namespace tessaly::datafile {

namespace {

using platform::File;

// Whether `held` (whose lock we hold) is still the file that `native` names:
// a holder that removed the lock file between our open and our lock leaves us
// locking a file nobody can see. The test locks a byte that only this
// process uses on our open file and looks for that lock through the path.
bool StillNamed(File* held, const std::string& native) {
  int64_t mine = 2 + platform::ProcessId();
  if (held->Lock(mine, 1, File::LockMode::kExclusive, false) != 0) return false;
  std::unique_ptr<File> again;
  bool same = false;
  if (platform::CurrentEnv().OpenFile(native, platform::kOpenRead, &again) == 0) {
    bool locked = false;
    same = again->TestLock(mine, 1, File::LockMode::kExclusive, &locked) == 0 && locked;
  }
  (void)held->Lock(mine, 1, File::LockMode::kUnlock, false);
  return same;
}

}  // namespace

Status AcquireLockFile(FileState* state) {
  const std::string& native = state->natives[static_cast<int>(DataFilePart::kLock)];
  const std::string& path = state->paths[static_cast<int>(DataFilePart::kLock)];
  platform::Env& env = platform::CurrentEnv();
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::unique_ptr<File> file;
    bool created = true;
    int err = env.OpenFile(native,
                           platform::kOpenRead | platform::kOpenWrite | platform::kOpenCreate |
                               platform::kOpenExclusive,
                           &file);
    if (err == EEXIST) {
      created = false;
      err = env.OpenFile(native, platform::kOpenRead | platform::kOpenWrite, &file);
      if (err == ENOENT) continue;  // its holder just removed it
    }
    if (err == EACCES || err == EPERM) return Fail(Status::kPermissionDenied, path);
    if (err != 0) return Fail(Status::kFileNotFound, path);
    err = file->Lock(0, 1, File::LockMode::kExclusive, false);
    if (err == EAGAIN) return Fail(Status::kPermissionDenied, path);
    if (err == ENOTSUP) {
      // No operating-system locks here: only the file's presence tells.
      if (!created) return Fail(Status::kPermissionDenied, path);
    } else if (err != 0) {
      return Fail(Status::kPermissionDenied, path);
    } else if (!StillNamed(file.get(), native)) {
      continue;
    }
    // Ours now, new or taken over from a holder that died: one blank.
    if (file->Truncate(0) != 0 || file->WriteAt(0, " ", 1) != 1) {
      (void)env.RemoveFile(native);
      return Fail(Status::kDiskWriteError, path);
    }
    state->lock = std::move(file);
    return Status::kOk;
  }
  return Fail(Status::kPermissionDenied, path);
}

void ReleaseLockFile(FileState* state) {
  if (state->lock == nullptr) return;
  // Removed while still locked, so nobody can take over a file about to go.
  (void)platform::CurrentEnv().RemoveFile(state->natives[static_cast<int>(DataFilePart::kLock)]);
  state->lock.reset();
}

bool LockFileHeld(const std::string& native) {
  std::unique_ptr<File> file;
  int err = platform::CurrentEnv().OpenFile(native, platform::kOpenRead, &file);
  if (err == ENOENT) return false;
  if (err != 0) return true;
  bool held = false;
  err = file->TestLock(0, 1, File::LockMode::kExclusive, &held);
  if (err == ENOTSUP) return true;
  return err != 0 || held;
}

}  // namespace tessaly::datafile
