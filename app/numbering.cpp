#include "app/numbering.h"

#include <string>
#include <string_view>

#include "core/flags.h"
#include "core/folders.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/dates.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/variables.h"
#include "platform/env.h"

namespace tessaly {
namespace {

constexpr char kLocalChoice[] = "CCO";
constexpr char kKeyJoiner[] = "_";
constexpr std::string_view kForbiddenInKey("\0,\r\n'\"", 6);

int64_t SlotOffset(int position) {
  return kCounterHeaderSize + int64_t{kCounterSlotSize} * (position - 1);
}

// The header's names, without the blanks (or zeros of a damaged file) that
// pad it.
std::string_view HeaderNames(std::string_view header) {
  size_t end = header.find_last_not_of(std::string_view(" \t\r\n\0", 5));
  return end == std::string_view::npos ? std::string_view() : header.substr(0, end + 1);
}

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::string_view();
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The 1-based place of `key` among the names; 0 when absent. `count` gets
// the number of names.
int NamePosition(std::string_view names, std::string_view key, int* count) {
  int n = 0, found = 0;
  if (!names.empty()) {
    size_t start = 0;
    while (true) {
      size_t comma = names.find(',', start);
      ++n;
      std::string_view name = TrimBlanks(names.substr(start, comma - start));
      if (found == 0 && name == key) found = n;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  if (count) *count = n;
  return found;
}

// Closes the stream on every return path.
class OpenStream {
 public:
  OpenStream(Slice path, int flags) : slot_(StreamOpen(path, flags, &status_)) {}
  ~OpenStream() {
    if (slot_ != kNoStream) StreamClose(slot_);
  }
  OpenStream(const OpenStream&) = delete;
  OpenStream& operator=(const OpenStream&) = delete;

  bool ok() const { return slot_ != kNoStream; }
  int slot() const { return slot_; }
  Status status() const { return status_; }
  // Waits for the lock on the header; a file system without locks goes on
  // without (a single user).
  void LockHeader(platform::File::LockMode mode) {
    platform::File* file = StreamFile(slot_);
    if (file) (void)file->Lock(0, kCounterHeaderSize, mode, true);
  }

 private:
  Status status_;
  int slot_;
};

// The header text of an open counter file; empty when the file is shorter
// than its header. `whole` says whether the header block is intact.
std::string ReadHeader(int slot, bool* whole) {
  *whole = false;
  if (StreamSize(slot) < kCounterHeaderSize) return std::string();
  std::string block(kCounterHeaderSize, ' ');
  int n = StreamRead(slot, 0, kCounterHeaderSize, block.data(), block.size());
  if (n != kCounterHeaderSize) return std::string();
  *whole = block.compare(kCounterHeaderText, 2, "\r\n") == 0;
  block.resize(kCounterHeaderText);
  return block;
}

// The value in slot `position`; 0 when it is missing or not a number.
int64_t ReadSlot(int slot, int position) {
  char text[kCounterSlotSize];
  int n = StreamRead(slot, SlotOffset(position), kCounterSlotSize, text, sizeof text);
  if (n != kCounterSlotSize) return 0;
  Slice value = Trim(Slice(text, kCounterSlotSize));
  return IsNumberText(value) ? ParseNumber(value) : 0;
}

Status WriteFailed(Slice path) { return SetDetail(Status::kDiskWriteError, path); }

// The blank blocks from `from` up to `to`: every block 4094 blanks and CR LF.
std::string BlockFill(int64_t from, int64_t to) {
  std::string fill;
  fill.reserve(static_cast<size_t>(to - from));
  for (int64_t at = from; at < to; ++at) {
    int64_t in_block = at % kCounterHeaderSize;
    fill += in_block == kCounterHeaderText ? '\r' : in_block == kCounterHeaderText + 1 ? '\n' : ' ';
  }
  return fill;
}

}  // namespace

Slice CounterFilePath() {
  AreaMark mark;
  bool local = false;
  Status kind = ReadVariable(Slice(kLocalChoice));
  if (kind == kNumberValue) local = NumberOf(Area().Top()) == 0;
  return mark.Keep(ExpandNames(Slice(local ? kCounterFileLocalName : kCounterFileName)));
}

Slice CounterKey(Slice name) {
  AreaMark mark;
  int file = 0;
  Slice file_name;
  if (ResolveFile(0, &file).ok()) file_name = FileName(file);
  return mark.Keep(Concat({file_name, Slice(kKeyJoiner), name}));
}

Status NextCounterValue(Slice path, Slice key, int64_t* next) {
  *next = Scale(1);
  if (!path.ok()) return path.status();
  if (!key.ok()) return key.status();
  if (FileExists(path) != Status::kOk) return Status::kOk;
  OpenStream file(path, kStreamReadOnly | kStreamSilent);
  if (!file.ok()) return Status::kOk;
  file.LockHeader(platform::File::LockMode::kShared);
  bool whole = false;
  std::string header = ReadHeader(file.slot(), &whole);
  int position = NamePosition(HeaderNames(header), key.view(), nullptr);
  if (position > 0) {
    int64_t value = ReadSlot(file.slot(), position);
    if (__builtin_add_overflow(value, Scale(1), next)) *next = value;
  }
  return Status::kOk;
}

Status StoreCounter(Slice path, Slice key, int64_t value) {
  if (!path.ok()) return path.status();
  if (!key.ok()) return key.status();
  if (key.view().find_first_of(kForbiddenInKey) != std::string_view::npos) {
    return SetDetail(Status::kBadInputData, key);
  }
  AreaMark mark;
  Slice slot_text = PadLeft(IntegerOf(value), kCounterSlotSize, ' ');
  if (!slot_text.ok()) return mark.Release(slot_text.status());
  if (slot_text.size() > kCounterSlotSize)
    return mark.Release(SetDetail(Status::kDataOutBound, slot_text));

  OpenStream file(path, kStreamUpdate);
  if (!file.ok())
    return mark.Release(
        SetDetail(file.status().ok() ? Status(Status::kDiskOpenError) : file.status(), path));
  file.LockHeader(platform::File::LockMode::kExclusive);

  bool whole = false;
  std::string header = ReadHeader(file.slot(), &whole);
  std::string names(HeaderNames(header));
  int count = 0;
  int position = NamePosition(names, key.view(), &count);
  bool rewrite_header = !whole;
  if (position == 0) {
    if (!names.empty()) names += ',';
    names.append(key.view());
    if (names.size() > kCounterHeaderText) {
      return mark.Release(SetDetail(Status::kDataOutBound, path));
    }
    position = count + 1;
    rewrite_header = true;
  }

  const int64_t size = StreamSize(file.slot());
  const int64_t slot_end = SlotOffset(position) + kCounterSlotSize;
  if (size < slot_end) {
    const int64_t blocks = (slot_end + kCounterHeaderSize - 1) / kCounterHeaderSize;
    std::string fill = BlockFill(size, blocks * kCounterHeaderSize);
    if (StreamWrite(file.slot(), size, fill.data(), fill.size()) < 0) {
      return mark.Release(WriteFailed(path));
    }
  }
  if (StreamWrite(file.slot(), SlotOffset(position), slot_text) < 0) {
    return mark.Release(WriteFailed(path));
  }
  if (rewrite_header) {
    std::string block = names;
    block.resize(kCounterHeaderText, ' ');
    block += "\r\n";
    if (StreamWrite(file.slot(), 0, block.data(), block.size()) < 0) {
      return mark.Release(WriteFailed(path));
    }
  }
  return mark.Release(Status::kOk);
}

Slice SeriesCode(Slice series, Slice date) {
  AreaMark mark;
  if (!series.ok()) return mark.Keep(series);
  if (!date.ok()) return mark.Keep(date);
  Slice when = Trim(date);
  if (when.empty()) when = DateFromNumber(TodayDate());
  if (!when.ok()) return mark.Keep(when);
  if (when.size() < 4) return mark.Keep(Slice::Error(SetDetail(Status::kBadInputData, date)));
  char code[3] = {series.empty() ? ' ' : series.data()[0], when.data()[2], when.data()[3]};
  if (TestBits(kCompat, kCompatLetterYears) && code[1] >= '0' && code[1] < '2') {
    code[1] = static_cast<char>(code[1] + 17);
  }
  return mark.Keep(Slice(code, 3));
}

}  // namespace tessaly
