// The engine against a plain model of the same rules: random sequences of
// opens, finds, moves, inserts, rewrites, deletes, commits and
// reorganisations must give the same results, buffers, positions, key orders
// and disk bytes. The model keeps each key order as one vector and searches
// it with the textbook binary search and walks of the file format's rules.
//
// TESSALY_MODEL_STEPS sets the number of steps per case (quick by default),
// TESSALY_MODEL_SEED the first seed; TESSALY_MODEL_COMMIT_FROM=n commits and
// compares the disk after every step from step n on (to find the first step
// at which a failing sequence goes wrong).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/flags.h"
#include "data/datafile.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// Records of 12 bytes: key 1 is bytes 0-2; key 2 is bytes 6-7 then 3-4 (two
// segments); bytes 8-11 are data. Few letters, so that equal keys and shared
// prefixes are common.
constexpr uint16_t kLength = 12;
const std::vector<DataKeyDef> kKeys = {DataKeyDef{{{0, 3}}}, DataKeyDef{{{6, 2}, {3, 2}}}};
constexpr char kLetters[] = "AB C";

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Model {
 public:
  explicit Model(bool line_number) : line_number_(line_number) {}

  static std::string Key(int k, const std::string& rec) {
    std::string t;
    for (const DataKeySegment& s : kKeys[static_cast<size_t>(k - 1)].segments) {
      t += rec.substr(s.offset, s.length);
    }
    return t;
  }
  static size_t KeyLength(int k) { return Key(k, std::string(kLength, ' ')).size(); }

  uint16_t Open() {
    open_ = true;
    key_ = 1;
    pos_ = 0;
    loaded_ = -1;
    b1_ = b2_ = Blank();
    return Move(0x24);
  }
  void Close() { open_ = false; }

  uint16_t Find(int k, std::string s, int flags) {
    key_ = k;
    if (s.empty()) s = " ";
    s.resize(std::min(s.size(), KeyLength(k)));
    auto [result, pos] = Search(k, s);
    pos_ = static_cast<int64_t>(pos);
    last_ = result;
    const auto& order = orders_[static_cast<size_t>(k - 1)];
    if (result == 0 || (result == 1 && (flags & 2))) {
      Load(order[pos]);
    } else if (flags & 1) {
      b1_ = b2_ = Blank();
      loaded_ = -1;
      size_t at = 0;
      for (const DataKeySegment& seg : kKeys[static_cast<size_t>(k - 1)].segments) {
        std::string part = at < s.size() ? s.substr(at, seg.length) : "";
        part.resize(seg.length, ' ');
        b1_.replace(seg.offset, seg.length, part);
        at += seg.length;
      }
    }
    return result;
  }

  uint16_t Move(int code) {
    uint16_t result;
    if (code & 1) {
      b1_ = b2_ = Blank();
      loaded_ = -1;
      result = 3;
    } else {
      const auto& order = orders_[static_cast<size_t>(key_ - 1)];
      int64_t n = static_cast<int64_t>(order.size());
      if (n == 0) {
        result = 2;
      } else {
        int64_t p = pos_;
        switch (code & 0x34) {
          case 0x10:
            ++p;
            break;
          case 0x14:
            --p;
            break;
          case 0x20:
            p = n - 1;
            break;
          case 0x24:
            p = 0;
            break;
          default:
            break;
        }
        if (p < 0) {
          p = 0;
          result = 1;
        } else if (p >= n) {
          p = n - 1;
          result = 2;
        } else {
          result = 0;
        }
        pos_ = p;
      }
      if (result == 0 || (result == 1 && (code & 2))) {
        Load(order[static_cast<size_t>(pos_)]);
      } else {
        b1_ = b2_ = Blank();
        loaded_ = -1;
      }
    }
    last_ = result;
    return result;
  }

  uint16_t Insert() {
    if (b1_[0] == 27) return Status::kBadInputData;
    int32_t slot;
    if (!free_.empty()) {
      slot = free_.back();
      free_.pop_back();
      recs_[static_cast<size_t>(slot)] = b1_;
    } else {
      slot = static_cast<int32_t>(recs_.size());
      recs_.push_back(b1_);
    }
    for (int k = 1; k <= 2; ++k) InsertAfterEqual(k, slot);
    loaded_ = slot;
    if (line_number_) return 0;
    uint16_t r = Find(key_, Key(key_, b1_), 0);
    EXPECT_EQ(r, 0);
    return orders_[static_cast<size_t>(key_ - 1)][static_cast<size_t>(pos_)] == slot ? 0 : 6;
  }

  uint16_t Update() {
    if (b1_ == b2_) return 0;
    if (loaded_ < 0) return Insert();
    if (b1_[0] == 27) return Status::kBadInputData;
    int32_t r = static_cast<int32_t>(loaded_);
    if (std::find(orders_[0].begin(), orders_[0].end(), r) == orders_[0].end()) return Insert();
    std::string stored = recs_[static_cast<size_t>(r)];
    recs_[static_cast<size_t>(r)] = b1_;
    for (int k = 1; k <= 2; ++k) {
      if (Key(k, stored) == Key(k, b1_)) continue;
      auto& order = orders_[static_cast<size_t>(k - 1)];
      auto it = std::find(order.begin(), order.end(), r);
      if (it == order.end()) continue;
      order.erase(it);
      InsertAfterEqual(k, r);
    }
    return 0;
  }

  uint16_t Delete(int flags) {
    if (loaded_ < 0) return 2;
    int32_t r = static_cast<int32_t>(loaded_);
    auto& first = orders_[0];
    bool listed = std::find(first.begin(), first.end(), r) != first.end();
    b1_[0] = 27;
    recs_[static_cast<size_t>(r)] = b1_;
    loaded_ = -1;
    if (!listed) return 0;
    for (auto& order : orders_) order.erase(std::find(order.begin(), order.end(), r));
    free_.push_back(r);
    if (flags & 2) Find(key_, Key(key_, b2_), 0);
    return 0;
  }

  uint16_t ReadRecord(int64_t r) {
    if (r < 0 || r >= static_cast<int64_t>(recs_.size())) return Status::kDiskReadError;
    Load(static_cast<int32_t>(r));
    return 0;
  }

  void Reorganise() {
    std::vector<std::string> kept;
    for (const std::string& r : recs_) {
      if (r[0] != 27) kept.push_back(r);
    }
    recs_ = kept;
    free_.clear();
    for (int k = 1; k <= 2; ++k) {
      auto& order = orders_[static_cast<size_t>(k - 1)];
      order.resize(recs_.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
      std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        return Key(k, recs_[static_cast<size_t>(a)]) < Key(k, recs_[static_cast<size_t>(b)]);
      });
    }
    open_ = false;
  }

  std::string IndexImage() const {
    std::string out;
    auto put = [&](int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    put(static_cast<int32_t>(free_.size()));
    put(static_cast<int32_t>(orders_[0].size()));
    for (int32_t v : free_) put(v);
    for (const auto& o : orders_) {
      for (int32_t v : o) put(v);
    }
    return out;
  }
  std::string RecordFile() const {
    std::string out;
    for (const std::string& r : recs_) out += r;
    return out;
  }

  std::string b1_, b2_;
  int key_ = 1;
  uint16_t last_ = 2;
  int64_t pos_ = 0;
  int64_t loaded_ = -1;
  std::vector<std::string> recs_;
  std::vector<std::vector<int32_t>> orders_{2};
  std::vector<int32_t> free_;
  bool open_ = false;

 private:
  static std::string Blank() { return std::string(kLength, ' '); }
  void Load(int32_t r) {
    b1_ = b2_ = recs_[static_cast<size_t>(r)];
    loaded_ = r;
  }

  // The binary search of the file format: stop on an equal probe and walk
  // back to the first equal; otherwise the probe or the one after it.
  std::pair<uint16_t, size_t> Search(int k, const std::string& s) const {
    const auto& order = orders_[static_cast<size_t>(k - 1)];
    size_t n = order.size();
    if (n == 0) return {2, 0};
    size_t low = 0, high = n, probe = 0;
    int cmp = 0;
    auto text = [&](size_t i) {
      return Key(k, recs_[static_cast<size_t>(order[i])]).substr(0, s.size());
    };
    while (low < high) {
      probe = low + (high - low) / 2;
      cmp = s.compare(text(probe));
      if (cmp == 0) {
        while (probe > 0 && text(probe - 1) == s) --probe;
        return {0, probe};
      }
      if (cmp > 0) {
        low = probe + 1;
      } else {
        high = probe;
      }
    }
    if (cmp < 0) return {1, probe};
    return {probe + 1 == n ? uint16_t{2} : uint16_t{1}, probe + 1};
  }

  void InsertAfterEqual(int k, int32_t r) {
    std::string text = Key(k, recs_[static_cast<size_t>(r)]);
    auto [result, pos] = Search(k, text);
    auto& order = orders_[static_cast<size_t>(k - 1)];
    if (result == 0) {
      while (pos < order.size() && Key(k, recs_[static_cast<size_t>(order[pos])]) == text) ++pos;
    }
    order.insert(order.begin() + static_cast<ptrdiff_t>(pos), r);
  }

  bool line_number_;
};

struct ModelCase {
  bool line_number;
  int open_flags;
};

class DataFileModelTest : public ::testing::TestWithParam<ModelCase> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dfm_" + std::to_string(::getpid()) + "_" + std::to_string(GetParam().line_number) +
            std::to_string(GetParam().open_flags));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetDataFileCatalog(nullptr);
    BuiltinDataFileTable().Clear();
    SetWord(kCompat, 0);
    SetWord(kUpStat, 0);
    DataFileLayout layout;
    layout.name = "model";
    layout.folder = dir_.string();
    layout.record_length = kLength;
    layout.keys = kKeys;
    layout.has_line_number = GetParam().line_number;
    ASSERT_EQ(BuiltinDataFileTable().Define(1, layout), Status::kOk);
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    BuiltinDataFileTable().Clear();
    fs::remove_all(dir_);
  }

  fs::path dir_;
};

TEST_P(DataFileModelTest, EngineAndModelAgree) {
  const int steps = EnvInt("TESSALY_MODEL_STEPS", 500);
  const int seed =
      EnvInt("TESSALY_MODEL_SEED", 1) + GetParam().line_number * 7 + GetParam().open_flags;
  std::mt19937 rnd(static_cast<unsigned>(seed));
  auto pick = [&](int n) { return static_cast<int>(rnd() % static_cast<unsigned>(n)); };
  auto letter = [&] { return kLetters[pick(4)]; };
  DataRecordBuffers b = BuiltinDataFileTable().Buffers(1);
  Model model(GetParam().line_number);
  const int flags = GetParam().open_flags;
  const int commit_from = EnvInt("TESSALY_MODEL_COMMIT_FROM", -1);

  auto open = [&] {
    uint16_t want = model.Open();
    ASSERT_EQ(DataFileOpen(1, flags), want);
  };
  auto compare_disk = [&] {
    std::string index = ReadFile(dir_ / "model.NDX");
    std::string image = model.IndexImage();
    if (!(index.empty() && image == std::string(8, '\0'))) {
      ASSERT_EQ(index, image);
    }
    ASSERT_EQ(ReadFile(dir_ / "model.DIR"), model.RecordFile());
  };
  open();
  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step) + " seed " + std::to_string(seed));
    int op = pick(100);
    uint16_t want = 0, got = 0;
    std::string what;
    if (op < 22) {
      what = "find";
      int k = 1 + pick(2);
      std::string s;
      for (int i = pick(6); i > 0; --i) s += letter();
      int f = pick(4);
      want = model.Find(k, s, f);
      got = DataFileFind(1, k, Slice::Of(s), f);
    } else if (op < 44) {
      what = "move";
      static const int kCodes[] = {0x10, 0x14, 0x20, 0x24, 0x12, 0x16, 0x01, 0x00, 0x02, 0x26};
      int code = kCodes[pick(10)];
      want = model.Move(code);
      got = DataFileMove(1, code);
    } else if (op < 64) {
      what = "insert";
      std::string r(kLength, ' ');
      for (int i = 0; i < 8; ++i) r[static_cast<size_t>(i)] = letter();
      for (int i = 8; i < kLength; ++i)
        r[static_cast<size_t>(i)] = static_cast<char>('0' + pick(10));
      if (pick(40) == 0) r[0] = 27;
      model.b1_ = r;
      std::memcpy(b.current, r.data(), kLength);
      want = model.Insert();
      got = DataFileInsert(1);
    } else if (op < 78) {
      what = "update";
      for (int i = 1 + pick(2); i > 0; --i) {
        size_t at = static_cast<size_t>(pick(kLength));
        model.b1_[at] = at < 8 ? letter() : static_cast<char>('0' + pick(10));
      }
      std::memcpy(b.current, model.b1_.data(), kLength);
      want = model.Update();
      got = DataFileUpdate(1);
    } else if (op < 88) {
      what = "delete";
      int f = pick(2) * 2;
      want = model.Delete(f);
      got = DataFileDelete(1, f);
    } else if (op < 91) {
      what = "read by number";
      int64_t r = pick(static_cast<int>(model.recs_.size()) + 2) - 1;
      want = model.ReadRecord(r);
      got = DataFileReadRecord(1, r);
    } else if (op < 95) {
      what = "commit";
      got = DataFileCommit(1);
      want = 0;
      ASSERT_EQ(got, want);
      compare_disk();
    } else if (op < 97) {
      what = "close and open";
      ASSERT_EQ(DataFileClose(1), Status::kOk);
      model.Close();
      compare_disk();
      open();
    } else {
      what = "reorganise";
      model.Reorganise();
      ASSERT_EQ(DataFileReorganize(1), Status::kOk);
      compare_disk();
      open();
    }
    SCOPED_TRACE(what);
    ASSERT_EQ(got, want);
    ASSERT_EQ(std::string(b.current, kLength), model.b1_);
    ASSERT_EQ(std::string(b.saved, kLength), model.b2_);
    ASSERT_EQ(DataFileControl(1)->last_result, model.last_);
    ASSERT_EQ(DataFileControl(1)->current_key, model.key_);
    ASSERT_EQ(DataFilePosition(1), model.pos_);
    ASSERT_EQ(DataFileLoadedRecord(1), model.loaded_);
    ASSERT_EQ(DataFileRecordCount(1), static_cast<int64_t>(model.orders_[0].size()));
    if (commit_from >= 0 && step >= commit_from) {
      ASSERT_EQ(DataFileCommit(1), Status::kOk);
      compare_disk();
    }
  }
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  compare_disk();
  std::vector<std::string> problems;
  EXPECT_EQ(DataFileCheck(1, &problems), Status::kOk) << (problems.empty() ? "" : problems[0]);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataFileModelTest,
                         ::testing::Values(ModelCase{false, 0}, ModelCase{true, 0},
                                           ModelCase{false, kDataExclusive},
                                           ModelCase{true, kDataExclusive}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                           return std::string(info.param.line_number ? "Lines" : "Plain") +
                                  (info.param.open_flags ? "Exclusive" : "Shared");
                         });

}  // namespace
}  // namespace tessaly
