// The record file: reads through a shared map, writes one record at a time.
//
// A binary search reads about log2(N) records; through the map a probe is a
// memory access, not a seek and a read call. The map is shared and read-only,
// so it shows every write to the file at once, this process's positioned
// writes included. It reserves room past the end of the file and is made
// again, larger, when the file outgrows it; bytes past the end of the file
// are never touched.
//
// During bulk writing the records are held in memory and written together
// at the next checkpoint, so the disk never shows half a batch.
#include <algorithm>
#include <cerrno>
#include <vector>

#include "data/datafile_internal.h"

namespace tessaly::datafile {

namespace {
constexpr size_t kMinMap = size_t{16} << 20;
constexpr size_t kPage = 4096;
}  // namespace

int RecordFile::Open(const std::string& native, int platform_flags, uint16_t record_length) {
  Close();
  length_ = record_length == 0 ? 1 : record_length;
  std::unique_ptr<platform::File> file;
  int err = platform::CurrentEnv().OpenFile(native, platform_flags, &file);
  if (err != 0) return err;
  file_ = std::move(file);
  mappable_ = true;
  scratch_.assign(length_, ' ');
  int64_t size = file_->Size();
  if (size < 0) {
    Close();
    return static_cast<int>(-size);
  }
  size_ = size;
  return 0;
}

void RecordFile::Close() {
  held_.clear();
  held_end_ = 0;
  holding_ = false;
  if (map_ != nullptr && file_ != nullptr) file_->Unmap(map_, map_length_);
  map_ = nullptr;
  map_length_ = 0;
  file_.reset();
  size_ = 0;
}

int RecordFile::Refresh() {
  if (file_ == nullptr) return EBADF;
  int64_t size = file_->Size();
  if (size < 0) return static_cast<int>(-size);
  size_ = size;
  return 0;
}

void RecordFile::Remap(int64_t needed) {
  if (map_ != nullptr) file_->Unmap(map_, map_length_);
  map_ = nullptr;
  map_length_ = 0;
  size_t want = std::max(kMinMap, static_cast<size_t>(needed) * 2);
  want = (want + kPage - 1) / kPage * kPage;
  map_ = file_->Map(want);
  if (map_ == nullptr) {
    mappable_ = false;
    return;
  }
  map_length_ = want;
}

const char* RecordFile::GetSlow(int64_t r) {
  if (r < 0 || file_ == nullptr) return nullptr;
  int64_t end = (r + 1) * length_;
  if (end > size_) {
    // Written by another process since we last looked?
    if (Refresh() != 0 || end > size_) return nullptr;
  }
  if (static_cast<size_t>(end) <= map_length_) return map_ + r * length_;
  if (mappable_) {
    Remap(size_);
    if (static_cast<size_t>(end) <= map_length_) return map_ + r * length_;
  }
  int64_t got = file_->ReadAt(r * length_, scratch_.data(), length_);
  return got == length_ ? scratch_.data() : nullptr;
}

int RecordFile::Put(int64_t r, const char* data) {
  if (r < 0 || file_ == nullptr) return EINVAL;
  if (holding_) {
    held_[r].assign(data, length_);
    held_end_ = std::max({held_end_, size_, (r + 1) * length_});
    return 0;
  }
  int64_t w = file_->WriteAt(r * length_, data, length_);
  if (w < 0) return static_cast<int>(-w);
  if (w < length_) return EIO;
  size_ = std::max(size_, (r + 1) * length_);
  return 0;
}

int RecordFile::WriteHeld() {
  if (held_.empty()) return 0;
  if (file_ == nullptr) return EBADF;
  std::vector<int64_t> order;
  order.reserve(held_.size());
  for (const auto& entry : held_) order.push_back(entry.first);
  // In record order the new records go to the end of the file as one run.
  std::sort(order.begin(), order.end());
  for (int64_t r : order) {
    auto it = held_.find(r);
    int64_t w = file_->WriteAt(r * length_, it->second.data(), length_);
    if (w < 0) return static_cast<int>(-w);
    if (w < length_) return EIO;
    size_ = std::max(size_, (r + 1) * length_);
    held_.erase(it);
  }
  held_end_ = 0;
  return 0;
}

int RecordFile::Sync() { return file_ == nullptr ? 0 : file_->Sync(); }

}  // namespace tessaly::datafile
