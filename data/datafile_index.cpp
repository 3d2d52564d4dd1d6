// The index file: its image in memory, the checks that tell damage, and the
// safe way it reaches the disk (the layout is drawn in datafile_internal.h).
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "core/status.h"
#include "data/datafile_internal.h"

namespace tessaly::datafile {

static_assert(std::endian::native == std::endian::little,
              "the index file is little-endian and is copied as it is");

namespace {

constexpr size_t kProblemLimit = 200;

int32_t ReadInt(const std::string& image, size_t at) {
  int32_t v;
  std::memcpy(&v, image.data() + at, 4);
  return v;
}

class Problems {
 public:
  Problems(std::vector<std::string>* out, bool all) : out_(out), all_(all) {}
  // Returns whether the caller should go on looking.
  bool Add(std::string what) {
    ++count_;
    if (out_ != nullptr) {
      if (out_->size() < kProblemLimit) {
        out_->push_back(std::move(what));
      } else if (out_->size() == kProblemLimit) {
        out_->push_back("(more problems not listed)");
      }
    }
    return all_;
  }
  int count() const { return count_; }

 private:
  std::vector<std::string>* out_;
  bool all_;
  int count_ = 0;
};

}  // namespace

bool ParseIndex(const std::string& image, int keys, int64_t records, Index* index,
                std::vector<std::string>* problems, bool all) {
  Problems found(problems, all);
  index->orders.assign(static_cast<size_t>(keys), KeyOrder());
  index->free.clear();
  if (image.empty()) return true;
  if (image.size() < 8) {
    found.Add("the index is " + std::to_string(image.size()) +
              " bytes long, shorter than its 8-byte header");
    return false;
  }
  int32_t f = ReadInt(image, 0);
  int32_t n = ReadInt(image, 4);
  if (f < 0 || n < 0) {
    found.Add("the index header holds a negative count (free " + std::to_string(f) + ", live " +
              std::to_string(n) + ")");
    return false;
  }
  uint64_t expected = 8 + 4 * (static_cast<uint64_t>(f) + static_cast<uint64_t>(n) * keys);
  if (image.size() != expected) {
    found.Add("the index is " + std::to_string(image.size()) + " bytes long; " + std::to_string(f) +
              " free and " + std::to_string(n) + " live records with " + std::to_string(keys) +
              " keys need " + std::to_string(expected));
    return false;
  }
  if (static_cast<int64_t>(f) + n > records) {
    if (!found.Add("the index holds " + std::to_string(static_cast<int64_t>(f) + n) + " records (" +
                   std::to_string(n) + " live, " + std::to_string(f) +
                   " free) but the record file holds " + std::to_string(records))) {
      return false;
    }
  }

  // What each slot is: 0 unseen, 1 free, 2 live (listed by key 1).
  std::vector<uint8_t> kind(static_cast<size_t>(records), 0);
  std::vector<int32_t> all_entries(image.size() / 4 - 2);
  if (!all_entries.empty()) {
    std::memcpy(all_entries.data(), image.data() + 8, all_entries.size() * 4);
  }
  const int32_t* free_list = all_entries.data();
  for (int32_t i = 0; i < f; ++i) {
    int32_t r = free_list[i];
    if (r < 0 || r >= records) {
      if (!found.Add("free slot " + std::to_string(i + 1) + " names record " + std::to_string(r) +
                     ", beyond the record file")) {
        return false;
      }
      continue;
    }
    if (kind[static_cast<size_t>(r)] != 0) {
      if (!found.Add("record " + std::to_string(r) + " is listed twice as free")) return false;
      continue;
    }
    kind[static_cast<size_t>(r)] = 1;
  }
  std::vector<int32_t> seen_in;  // for keys 2..K: the last key that listed the slot
  if (keys > 1) seen_in.assign(static_cast<size_t>(records), 0);
  for (int k = 1; k <= keys; ++k) {
    const int32_t* order = free_list + f + static_cast<size_t>(n) * (k - 1);
    for (int32_t i = 0; i < n; ++i) {
      int32_t r = order[i];
      auto where = [&] {
        return "entry " + std::to_string(i + 1) + " of key " + std::to_string(k);
      };
      if (r < 0 || r >= records) {
        if (!found.Add(where() + " names record " + std::to_string(r) +
                       ", beyond the record file")) {
          return false;
        }
        continue;
      }
      uint8_t& slot = kind[static_cast<size_t>(r)];
      if (k == 1) {
        if (slot == 2) {
          if (!found.Add(where() + " repeats record " + std::to_string(r))) return false;
        } else if (slot == 1) {
          if (!found.Add(where() + " names record " + std::to_string(r) + ", which is free")) {
            return false;
          }
        } else {
          slot = 2;
        }
        if (keys > 1) seen_in[static_cast<size_t>(r)] = 1;
        continue;
      }
      if (slot != 2) {
        if (!found.Add(where() + " names record " + std::to_string(r) +
                       ", which key 1 does not list")) {
          return false;
        }
        continue;
      }
      if (seen_in[static_cast<size_t>(r)] == k) {
        if (!found.Add(where() + " repeats record " + std::to_string(r))) return false;
        continue;
      }
      seen_in[static_cast<size_t>(r)] = k;
    }
    if (k > 1 && found.count() > 0) {
      for (int64_t r = 0; r < records; ++r) {
        if (kind[static_cast<size_t>(r)] == 2 && seen_in[static_cast<size_t>(r)] != k &&
            !found.Add("key " + std::to_string(k) + " does not list record " + std::to_string(r))) {
          return false;
        }
      }
    }
  }
  if (found.count() > 0) return false;

  index->free.assign(free_list, free_list + f);
  for (int k = 0; k < keys; ++k) {
    index->orders[static_cast<size_t>(k)].Assign(free_list + f + static_cast<size_t>(n) * k,
                                                 static_cast<size_t>(n));
  }
  return true;
}

std::string IndexImage(const Index& index) {
  uint32_t f = static_cast<uint32_t>(index.free.size());
  uint32_t n = index.live();
  std::string image(8 + 4 * (static_cast<size_t>(f) + static_cast<size_t>(n) * index.orders.size()),
                    '\0');
  char* out = image.data();
  int32_t header[2] = {static_cast<int32_t>(f), static_cast<int32_t>(n)};
  std::memcpy(out, header, 8);
  out += 8;
  if (f > 0) std::memcpy(out, index.free.data(), 4 * static_cast<size_t>(f));
  out += 4 * static_cast<size_t>(f);
  for (const KeyOrder& order : index.orders) {
    order.ForEachBlock([&](const int32_t* data, size_t count) {
      std::memcpy(out, data, 4 * count);
      out += 4 * count;
    });
  }
  return image;
}

uint64_t ImageDigest(const std::string& image) {
  // Two multiply-rotate lanes over 8-byte words; enough to tell two index
  // images apart, and fast enough to run over an 8 MB index at each commit.
  uint64_t a = 0x9E3779B97F4A7C15ull ^ image.size(), b = 0xC2B2AE3D27D4EB4Full;
  size_t i = 0;
  const char* p = image.data();
  for (; i + 16 <= image.size(); i += 16) {
    uint64_t x, y;
    std::memcpy(&x, p + i, 8);
    std::memcpy(&y, p + i + 8, 8);
    a = std::rotl((a ^ x) * 0x87C37B91114253D5ull, 31);
    b = std::rotl((b ^ y) * 0x4CF5AD432745937Full, 33);
  }
  for (; i < image.size(); ++i) a = (a ^ static_cast<unsigned char>(p[i])) * 0x100000001B3ull;
  return a ^ (b * 0x9E3779B97F4A7C15ull);
}

int ReadIndexFile(const std::string& native, std::string* image, bool* exists) {
  image->clear();
  *exists = false;
  platform::Env& env = platform::CurrentEnv();
  std::unique_ptr<platform::File> file;
  int err = env.OpenFile(native, platform::kOpenRead, &file);
  if (err == ENOENT) return 0;
  if (err != 0) return err;
  *exists = true;
  int64_t size = file->Size();
  if (size < 0) return static_cast<int>(-size);
  image->resize(static_cast<size_t>(size));
  int64_t got = size == 0 ? 0 : file->ReadAt(0, image->data(), image->size());
  if (got < 0) return static_cast<int>(-got);
  // A shorter read: the file shrank under us; the image is what is there.
  image->resize(static_cast<size_t>(got));
  return 0;
}

int WriteIndexFile(const std::string& native, const std::string& image) {
  platform::Env& env = platform::CurrentEnv();
  std::string side = native + ".new";
  std::unique_ptr<platform::File> file;
  int err = env.OpenFile(
      side, platform::kOpenWrite | platform::kOpenCreate | platform::kOpenTruncate, &file);
  if (err != 0) return err;
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t at = 0; at < image.size() && err == 0; at += kPiece) {
    size_t n = std::min(kPiece, image.size() - at);
    int64_t w = file->WriteAt(static_cast<int64_t>(at), image.data() + at, n);
    if (w < 0) {
      err = static_cast<int>(-w);
    } else if (static_cast<size_t>(w) < n) {
      err = ENOSPC;
    }
  }
  if (err == 0) err = file->Sync();
  file.reset();
  if (err == 0) err = env.RenameFile(side, native, /*replace=*/true);
  if (err != 0) (void)env.RemoveFile(side);
  return err;
}

Status Fail(Status code, const std::string& path) {
  Status s = SetDetail(code, Slice::Of(path));
  return RecordError(1, ErrorArea::kDataFile, s);
}

}  // namespace tessaly::datafile
