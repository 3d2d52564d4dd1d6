#include "platform/fault_env.h"

#include <algorithm>
#include <cstring>

namespace tessaly::platform {
namespace {

// A file of the real Env whose writes and syncs ask the FaultEnv first.
class FaultFile final : public File {
 public:
  FaultFile(FaultEnv* env, std::unique_ptr<File> target)
      : env_(env), target_(std::move(target)) {}

  int64_t ReadAt(int64_t offset, void* buffer, size_t n) override {
    return target_->ReadAt(offset, buffer, n);
  }
  int64_t WriteAt(int64_t offset, const void* data, size_t n) override {
    int err = env_->Check(FaultEnv::kWrite);
    if (err == 0) return target_->WriteAt(offset, data, n);
    if (env_->torn_writes() && n > 1) {
      int64_t w = target_->WriteAt(offset, data, n / 2);
      if (w > 0) return w;
    }
    return -err;
  }
  int64_t Size() override { return target_->Size(); }
  int Sync() override {
    int err = env_->Check(FaultEnv::kSync);
    return err != 0 ? err : target_->Sync();
  }
  int Truncate(int64_t size) override {
    int err = env_->Check(FaultEnv::kWrite);
    return err != 0 ? err : target_->Truncate(size);
  }
  bool IsSequential() const override { return target_->IsSequential(); }
  const char* Map(size_t length) override { return target_->Map(length); }
  void Unmap(const char* view, size_t length) override { target_->Unmap(view, length); }
  int Lock(int64_t offset, int64_t length, LockMode mode, bool wait) override {
    return target_->Lock(offset, length, mode, wait);
  }
  int TestLock(int64_t offset, int64_t length, LockMode mode, bool* held) override {
    return target_->TestLock(offset, length, mode, held);
  }

 private:
  FaultEnv* env_;
  std::unique_ptr<File> target_;
};

}  // namespace

int64_t MemoryFile::ReadAt(int64_t offset, void* buffer, size_t n) {
  size_t from = sequential_ ? read_ : static_cast<size_t>(std::max<int64_t>(offset, 0));
  if (offset < 0 && !sequential_) return -EINVAL;
  if (from >= data_.size()) return 0;
  size_t count = std::min(n, data_.size() - from);
  std::memcpy(buffer, data_.data() + from, count);
  if (sequential_) read_ += count;
  return static_cast<int64_t>(count);
}

int64_t MemoryFile::WriteAt(int64_t offset, const void* data, size_t n) {
  if (sequential_) {
    data_.append(static_cast<const char*>(data), n);
    return static_cast<int64_t>(n);
  }
  if (offset < 0) return -EINVAL;
  size_t at = static_cast<size_t>(offset);
  if (data_.size() < at + n) data_.resize(at + n, '\0');
  std::memcpy(data_.data() + at, data, n);
  return static_cast<int64_t>(n);
}

int64_t MemoryFile::Size() {
  if (sequential_) return -ESPIPE;
  return static_cast<int64_t>(data_.size());
}

int MemoryFile::Truncate(int64_t size) {
  if (sequential_ || size < 0) return EINVAL;
  data_.resize(static_cast<size_t>(size), '\0');
  return 0;
}

void FaultEnv::FailNth(Op op, int n, int error, bool sticky) {
  plans_[op] = Plan{std::max(n, 1), error, sticky, false};
}

void FaultEnv::Reset() {
  for (Plan& p : plans_) p = Plan{};
  std::fill(std::begin(counts_), std::end(counts_), 0);
}

int FaultEnv::Check(Op op) {
  ++counts_[op];
  Plan& p = plans_[op];
  if (p.failing) return p.error;
  if (p.remaining == 0) return 0;
  if (--p.remaining > 0) return 0;
  if (p.sticky) {
    p.failing = true;
  }
  return p.error;
}

int FaultEnv::OpenFile(const std::string& path, int flags, std::unique_ptr<File>* file) {
  int err = Check(kOpen);
  if (err != 0) return err;
  std::unique_ptr<File> real;
  err = target()->OpenFile(path, flags, &real);
  if (err != 0) return err;
  *file = std::make_unique<FaultFile>(this, std::move(real));
  return 0;
}

File* FaultEnv::StandardStream(int which) {
  if (which >= 0 && which < 3 && streams_[which] != nullptr) return streams_[which];
  return target()->StandardStream(which);
}

int FaultEnv::RemoveFile(const std::string& path) {
  int err = Check(kRemove);
  return err != 0 ? err : target()->RemoveFile(path);
}

int FaultEnv::RenameFile(const std::string& from, const std::string& to, bool replace) {
  int err = Check(kRename);
  return err != 0 ? err : target()->RenameFile(from, to, replace);
}

int FaultEnv::MakeFolder(const std::string& path) {
  int err = Check(kMakeFolder);
  return err != 0 ? err : target()->MakeFolder(path);
}

std::optional<std::string> FaultEnv::GetVariable(const std::string& name) {
  auto it = variables_.find(name);
  if (it != variables_.end()) return it->second;
  return target()->GetVariable(name);
}

void FaultEnv::SetVariable(const std::string& name, std::optional<std::string> value) {
  variables_[name] = std::move(value);
}

LocalTime FaultEnv::Now() { return now_ ? *now_ : target()->Now(); }

int FaultEnv::Spawn(const std::vector<std::string>& argv, bool wait, int* exit_code) {
  int err = Check(kSpawn);
  return err != 0 ? err : target()->Spawn(argv, wait, exit_code);
}

}  // namespace tessaly::platform
