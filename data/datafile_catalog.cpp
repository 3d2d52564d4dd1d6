// Where the engine learns what a file looks like, and the table filled by hand.
#include <cstring>

#include "data/datafile.h"

namespace tessaly {

Status DataFileCatalog::StoreKeyParts(int file, int key, Slice text) {
  DataFileLayout layout;
  Status s = Layout(file, &layout);
  if (s != Status::kOk) return s;
  DataRecordBuffers b = Buffers(file);
  if (key < 1 || key > static_cast<int>(layout.keys.size())) return Status::kDataOutBound;
  if (b.current == nullptr || b.length != layout.record_length) return Status::kFileNotInit;
  size_t at = 0;
  for (const DataKeySegment& seg : layout.keys[static_cast<size_t>(key - 1)].segments) {
    char* out = b.current + seg.offset;
    std::memset(out, ' ', seg.length);
    if (at < text.size()) {
      size_t n = std::min<size_t>(seg.length, text.size() - at);
      std::memcpy(out, text.data() + at, n);
    }
    at += seg.length;
  }
  return Status::kOk;
}

Status CheckDataFileLayout(const DataFileLayout& layout) {
  if (layout.record_length == 0 || layout.keys.empty()) return Status::kBadInputData;
  for (const DataKeyDef& key : layout.keys) {
    if (key.segments.empty() || key.segments.size() > kDataKeySegmentLimit) {
      return Status::kBadInputData;
    }
    size_t total = 0;
    for (const DataKeySegment& seg : key.segments) {
      if (seg.length == 0 || seg.offset + seg.length > layout.record_length) {
        return Status::kBadInputData;
      }
      total += seg.length;
    }
    if (total > kMaxTextLength) return Status::kBadInputData;
  }
  return Status::kOk;
}

Status DataFileTable::Define(int file, DataFileLayout layout) {
  if (file < 1 || file > kDataFileLimit) return Status::kDataOutBound;
  Status s = CheckDataFileLayout(layout);
  if (s != Status::kOk) return s;
  if (files_.size() < static_cast<size_t>(file)) files_.resize(static_cast<size_t>(file));
  Entry& e = files_[static_cast<size_t>(file - 1)];
  e.defined = true;
  e.buffers.assign(2 * static_cast<size_t>(layout.record_length), ' ');
  e.layout = std::move(layout);
  return Status::kOk;
}

void DataFileTable::Clear() { files_.clear(); }

int DataFileTable::FileCount() { return static_cast<int>(files_.size()); }

Status DataFileTable::Layout(int file, DataFileLayout* layout) {
  if (file < 1 || file > FileCount() || !files_[static_cast<size_t>(file - 1)].defined) {
    return Status::kDataOutBound;
  }
  *layout = files_[static_cast<size_t>(file - 1)].layout;
  return Status::kOk;
}

DataRecordBuffers DataFileTable::Buffers(int file) {
  if (file < 1 || file > FileCount() || !files_[static_cast<size_t>(file - 1)].defined) return {};
  Entry& e = files_[static_cast<size_t>(file - 1)];
  return DataRecordBuffers{e.buffers.data(), e.buffers.data() + e.layout.record_length,
                           e.layout.record_length};
}

}  // namespace tessaly
