#include "data/streams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "core/string_area.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace tessaly {
namespace {

namespace pf = platform;

struct Slot {
  std::unique_ptr<pf::File> file;
  std::string path;  // as given, for the error detail
  int flags = 0;
  int64_t position = 0;
};

// Slots 0-2 are never stored: they are the current Env's standard streams,
// so a test that installs another Env gets its streams too.
struct StreamTable {
  std::array<Slot, kStreamSlots> slots;
  // A byte read ahead from a standard stream after a CR that turned out not
  // to start a CR LF pair; -1 when none.
  std::array<int, kFirstFileSlot> pending = {-1, -1, -1};
};

StreamTable& Table() {
  static StreamTable table;
  return table;
}

bool IsFileSlot(int slot) {
  return slot >= kFirstFileSlot && slot < kStreamSlots && Table().slots[slot].file != nullptr;
}
bool IsStandard(int slot) { return slot >= 0 && slot < kFirstFileSlot; }

pf::File* FileOf(int slot) {
  if (IsStandard(slot)) return pf::CurrentEnv().StandardStream(slot);
  return IsFileSlot(slot) ? Table().slots[slot].file.get() : nullptr;
}

bool Silent(int slot) { return IsFileSlot(slot) && (Table().slots[slot].flags & kStreamSilent); }

Slice NameOf(int slot) {
  if (!IsFileSlot(slot)) return Slice();
  return Slice::Of(Table().slots[slot].path);
}

// Records a failure as the current error with the path as its detail; a
// silent caller only gets the code back.
Status Fail(Status code, Slice path, bool silent = false) {
  if (silent || !code.is_error()) return code;
  (void)RecordError(1, ErrorArea::kStreams, code);
  return SetDetail(code, path.ok() ? path : Slice());
}

Status StatusOfError(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return Status::kFileNotFound;
    case EEXIST:
      return Status::kFileExist;
    case EACCES:
    case EPERM:
    case EROFS:
      return Status::kPermissionDenied;
    default:
      return Status::kFileIo;
  }
}

bool GoodPath(Slice path) {
  return path.ok() && !path.empty() && path.size() <= kMaxPathLength;
}

bool IsConsole(Slice path) {
  return path.size() == 3 && (path[0] | 0x20) == 'c' && (path[1] | 0x20) == 'o' &&
         (path[2] | 0x20) == 'n';
}

int PlatformFlags(int flags) {
  bool update = !(flags & kStreamReadOnly);
  if (flags & kStreamWrite) {
    return pf::kOpenWrite | pf::kOpenCreate | pf::kOpenTruncate | (update ? pf::kOpenRead : 0);
  }
  if (flags & kStreamAppend) {
    return pf::kOpenAppend | pf::kOpenCreate | (update ? pf::kOpenRead : 0);
  }
  return pf::kOpenRead | (update ? pf::kOpenWrite : 0);
}

// One byte of a standard stream, the byte held back first; -1 at the end.
int NextByte(int slot, pf::File* file) {
  int& pending = Table().pending[slot];
  if (pending >= 0) {
    int c = pending;
    pending = -1;
    return c;
  }
  unsigned char c;
  return file->ReadAt(0, &c, 1) == 1 ? c : -1;
}

// A line of a standard stream, read one byte at a time since it cannot be
// read ahead and put back. A line longer than the buffer is dropped up to
// its end: the next call reads the next line.
int ReadSequentialLine(int slot, pf::File* file, char* buffer, size_t size) {
  size_t len = 0;
  bool any = false;
  bool too_long = false;
  for (;;) {
    int c = NextByte(slot, file);
    if (c < 0) {
      if (!any) return -1;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (c == '\r') {
      int next = NextByte(slot, file);
      if (next >= 0 && next != '\n') Table().pending[slot] = next;
      break;
    }
    if (len < size) {
      buffer[len++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  if (too_long) return -1;
  if (len < size) buffer[len] = '\0';
  return static_cast<int>(len);
}

struct ReadResult {
  int64_t count;  // bytes of the line or block; -1 none
  int error;      // errno of a failing read, 0 otherwise
  bool too_long = false;  // a file's line did not fit; the stream is at its start
};

// Block read from a file stream in transfer units, never past the end.
ReadResult ReadBlock(Slot& s, int64_t pos, size_t want, char* buffer) {
  size_t done = 0;
  int err = 0;
  while (done < want) {
    size_t piece = std::min<size_t>(kTransferUnit, want - done);
    int64_t r = s.file->ReadAt(pos + static_cast<int64_t>(done), buffer + done, piece);
    if (r < 0) {
      err = static_cast<int>(-r);
      break;
    }
    done += static_cast<size_t>(r);
    if (static_cast<size_t>(r) < piece) break;  // the end of the file
  }
  s.position = pos + static_cast<int64_t>(done);
  if (done == 0 && want > 0) return {-1, err};
  return {static_cast<int64_t>(done), 0};
}

// One line of a file stream, read in transfer units from `pos`. On success
// the stream is left after the terminator. A line that does not fit the
// buffer leaves the stream at `pos`, the start of that line.
ReadResult ReadLine(Slot& s, int64_t pos, char* buffer, size_t size) {
  char chunk[kTransferUnit];
  size_t len = 0;
  int64_t at = pos;
  for (;;) {
    int64_t r = s.file->ReadAt(at, chunk, sizeof chunk);
    if (r < 0) return {-1, static_cast<int>(-r)};
    if (r == 0) {
      // The end of the file: what was gathered is the last line, less a
      // Ctrl-Z that marked the end of the text.
      if (len > 0 && buffer[len - 1] == 26) --len;
      s.position = at;
      if (len == 0) return {-1, 0};
      break;
    }
    size_t n = static_cast<size_t>(r);
    size_t i = 0;
    while (i < n && chunk[i] != '\r' && chunk[i] != '\n') ++i;
    if (len + i > size) {
      s.position = pos;  // at the start of the line: nothing is lost
      return {-1, 0, true};
    }
    std::copy(chunk, chunk + i, buffer + len);
    len += i;
    if (i == n) {
      at += r;
      continue;
    }
    int64_t skip = 1;
    if (chunk[i] == '\r') {
      char next = 0;
      if (i + 1 < n) {
        next = chunk[i + 1];
      } else if (s.file->ReadAt(at + r, &next, 1) != 1) {
        next = 0;
      }
      if (next == '\n') skip = 2;
    }
    s.position = at + static_cast<int64_t>(i) + skip;
    break;
  }
  if (len < size) buffer[len] = '\0';
  return {static_cast<int64_t>(len), 0};
}

// StreamRead with the reason of a failure kept apart.
ReadResult Read(int slot, int64_t position, int count, char* buffer, size_t size) {
  assert(buffer != nullptr || size == 0);
  pf::File* file = FileOf(slot);
  if (file == nullptr || count < -1) return {-1, 0};
  if (file->IsSequential()) {
    if (count == -1) return {ReadSequentialLine(slot, file, buffer, size), 0};
    size_t want = std::min(static_cast<size_t>(count), size);
    size_t done = 0;
    while (done < want) {
      int c = NextByte(slot, file);
      if (c < 0) break;
      buffer[done++] = static_cast<char>(c);
    }
    return {done == 0 && want > 0 ? -1 : static_cast<int64_t>(done), 0};
  }
  Slot& s = Table().slots[slot];
  int64_t pos = position == -1 ? s.position : position;
  if (pos < 0) return {-1, 0};
  if (count == -1) return ReadLine(s, pos, buffer, size);
  return ReadBlock(s, pos, std::min(static_cast<size_t>(count), size), buffer);
}

// Writes in transfer units at `pos` (a file opened for appending puts each
// piece at the end); the bytes written.
size_t WriteUnits(pf::File* file, int64_t pos, const char* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    size_t piece = std::min<size_t>(kTransferUnit, n - done);
    int64_t w = file->WriteAt(pos + static_cast<int64_t>(done), data + done, piece);
    if (w > 0) done += static_cast<size_t>(w);
    if (w < static_cast<int64_t>(piece)) break;
  }
  return done;
}

}  // namespace

const char* StreamMode(int flags) {
  static constexpr const char* kModes[] = {"rb+", "rb", "wb+", "wb", "ab+", "ab"};
  static_assert(sizeof kModes / sizeof kModes[0] == 6);
  int kind = (flags & kStreamWrite) ? 2 : (flags & kStreamAppend) ? 4 : 0;
  return kModes[kind + ((flags & kStreamReadOnly) ? 1 : 0)];
}

// ---- Streams ------------------------------------------------------------------

int StreamOpen(Slice path, int flags, Status* status) {
  bool silent = flags & kStreamSilent;
  auto failed = [&](Status code) {
    Status s = Fail(code, path, silent);
    if (status != nullptr) *status = s;
    return kNoStream;
  };
  if (status != nullptr) *status = Status::kOk;
  if (!GoodPath(path)) return failed(Status::kBadInputData);
  StreamTable& table = Table();
  int slot = kFirstFileSlot;
  while (slot < kStreamSlots && table.slots[slot].file != nullptr) ++slot;
  if (slot == kStreamSlots) return failed(Status::kDataOutBound);
  if (IsConsole(path)) return (flags & ~kStreamSilent) == kStreamWrite ? 1 : 0;

  std::unique_ptr<pf::File> file;
  std::string name = path.str();
  int err = pf::OpenFile(name, PlatformFlags(flags), &file);
  if (err == ENOENT && !(flags & (kStreamReadOnly | kStreamWrite | kStreamAppend))) {
    // Opening for update creates a missing file. Only a missing one: an
    // existing file that failed to open for another reason is never
    // emptied.
    err = pf::OpenFile(name, PlatformFlags(flags) | pf::kOpenCreate, &file);
  }
  if (err != 0) return failed(Status::kFileNotFound);
  Slot& s = table.slots[slot];
  s.file = std::move(file);
  s.path = std::move(name);
  s.flags = flags;
  s.position = 0;
  return slot;
}

void StreamClose(int slot) {
  if (slot < kFirstFileSlot || slot >= kStreamSlots) return;
  Slot& s = Table().slots[slot];
  s.file.reset();
  s.path.clear();
  s.flags = 0;
  s.position = 0;
}

void StreamCloseAll() {
  for (int slot = kFirstFileSlot; slot < kStreamSlots; ++slot) StreamClose(slot);
  Table().pending = {-1, -1, -1};
}

bool StreamIsOpen(int slot) { return IsStandard(slot) || IsFileSlot(slot); }

Slice StreamName(int slot) { return NameOf(slot); }

platform::File* StreamFile(int slot) { return FileOf(slot); }

int64_t StreamSize(int slot) {
  if (!IsFileSlot(slot)) return -1;
  int64_t size = Table().slots[slot].file->Size();
  return size < 0 ? -1 : size;
}

bool StreamAtEnd(int slot) {
  if (IsStandard(slot)) return false;
  if (!IsFileSlot(slot)) return true;
  int64_t size = StreamSize(slot);
  return size < 0 || Table().slots[slot].position >= size;
}

int64_t StreamTell(int slot) {
  if (slot == 0) return 0;
  if (IsStandard(slot)) return 0;
  if (!IsFileSlot(slot)) return -1;
  return Table().slots[slot].position;
}

Status StreamSeek(int slot, int64_t position) {
  if (!IsFileSlot(slot) || position < 0) {
    return Fail(Status::kDiskIo, NameOf(slot), Silent(slot) || !IsFileSlot(slot));
  }
  Table().slots[slot].position = position;
  return Status::kOk;
}

int StreamRead(int slot, int64_t position, int count, char* buffer, size_t size) {
  ReadResult r = Read(slot, position, count, buffer, size);
  if (r.error != 0) (void)Fail(Status::kDiskIo, NameOf(slot), Silent(slot));
  return static_cast<int>(r.count);
}

Slice StreamReadNew(int slot, int64_t position, int count) {
  if (count < -1) return Slice::Error(Status::kBadInputData);
  AreaMark mark;
  StringArea& area = Area();
  size_t room = std::min<size_t>(area.free_bytes(), kMaxTextLength);
  if (count >= 0 && static_cast<size_t>(count) > room) {
    return Slice::Error(Fail(Status::kOutOfMemory, NameOf(slot), Silent(slot)));
  }
  // Most lines are short: try a small space first and take the whole free
  // area only for a line that did not fit (a file stream is then still at
  // its start). Standard input cannot read a line twice.
  constexpr size_t kFirstTry = 1024;
  size_t size = count >= 0 ? static_cast<size_t>(count)
                : IsFileSlot(slot) ? std::min(room, kFirstTry)
                                   : room;
  for (;;) {
    Slice space = area.Reserve(size);
    if (!space.ok()) return space;
    ReadResult r = Read(slot, position, count, area.MutableTop(), size);
    if (r.count >= 0) return mark.Keep(area.TruncateTop(static_cast<uint16_t>(r.count)));
    area.Release(mark.depth());
    if (r.error != 0) return Slice::Error(Fail(Status::kDiskIo, NameOf(slot), Silent(slot)));
    if (!r.too_long) return Slice::Error(Status::kDiskIo);  // the end: not an error
    if (size == room) return Slice::Error(Fail(Status::kOutOfMemory, NameOf(slot), Silent(slot)));
    size = room;
  }
}

int StreamWrite(int slot, int64_t position, const void* data, size_t n) {
  assert(data != nullptr || n == 0);
  pf::File* file = FileOf(slot);
  if (file == nullptr || position < -1) return -1;
  if (n == 0) return 0;
  const char* bytes = static_cast<const char*>(data);
  if (file->IsSequential()) {
    return WriteUnits(file, 0, bytes, n) == n ? static_cast<int>(n) : -1;
  }
  Slot& s = Table().slots[slot];
  int64_t pos = position;
  if (pos == -1) {
    pos = file->Size();
    if (pos < 0) return -1;
  }
  size_t done = WriteUnits(file, pos, bytes, n);
  s.position = (s.flags & kStreamAppend) ? std::max<int64_t>(file->Size(), 0)
                                          : pos + static_cast<int64_t>(done);
  if (done < n) {
    (void)Fail(Status::kFileIo, NameOf(slot), Silent(slot));
    return -1;
  }
  return static_cast<int>(n);
}

int StreamWrite(int slot, int64_t position, Slice bytes) {
  if (!bytes.ok()) return -1;
  return StreamWrite(slot, position, bytes.data(), bytes.size());
}

int StreamWriteAll(int slot, int64_t position, Slice text) {
  if (!text.ok()) return -1;
  return StreamWrite(slot, position, text.data(), text.size()) == text.size() ? 0 : -1;
}

Status StreamSync(int slot) {
  pf::File* file = FileOf(slot);
  if (file == nullptr) return Status::kDiskIo;
  if (file->Sync() != 0) return Fail(Status::kDiskIo, NameOf(slot), Silent(slot));
  return Status::kOk;
}

// ---- Whole files ------------------------------------------------------------

Slice FileRead(Slice path, int64_t offset, int count) {
  if (!path.ok()) return path;
  if (!GoodPath(path) || count < -1) {
    return Slice::Error(Fail(Status::kBadInputData, path));
  }
  std::unique_ptr<pf::File> file;
  if (pf::OpenFile(path.view(), pf::kOpenRead, &file) != 0) {
    return Slice::Error(Fail(Status::kFileNotFound, path));
  }
  int64_t size = file->Size();
  if (size < 0) return Slice::Error(Fail(Status::kDiskIo, path));
  offset = std::max<int64_t>(offset, 0);
  int64_t want = std::max<int64_t>(size - offset, 0);
  if (count >= 0) want = std::min<int64_t>(want, count);
  AreaMark mark;
  StringArea& area = Area();
  if (want > static_cast<int64_t>(std::min<size_t>(area.free_bytes(), kMaxTextLength))) {
    return Slice::Error(Fail(Status::kOutOfMemory, path));
  }
  Slice space = area.Reserve(static_cast<size_t>(want));
  if (!space.ok()) return Slice::Error(Fail(space.status(), path));
  int64_t r = file->ReadAt(offset, area.MutableTop(), static_cast<size_t>(want));
  if (r < 0) return Slice::Error(Fail(Status::kDiskIo, path));
  // A file that shrank since its size was read gives what is there.
  return mark.Keep(area.TruncateTop(static_cast<uint16_t>(r)));
}

Slice FileReadLines(Slice path, char separator) {
  AreaMark mark;
  Slice whole = FileRead(path, 0, -1);
  Slice sep(&separator, 1);
  Slice joined = ReplaceAll(whole, Slice("\r\n", 2), sep, /*plain=*/true);
  joined = ReplaceAll(joined, Slice("\n", 1), sep, /*plain=*/true);
  if (!joined.ok() && whole.ok()) return Slice::Error(Fail(joined.status(), path));
  return mark.Keep(joined);
}

int FileWrite(Slice path, int64_t position, Slice bytes) {
  if (!path.ok() || !bytes.ok()) return -1;
  if (!GoodPath(path) || position < -2) {
    (void)Fail(Status::kBadInputData, path);
    return -1;
  }
  if (position == -2) {
    int64_t written = 0;
    int err = pf::ReplaceFile(path.view(), bytes.view(), kTransferUnit, &written);
    if (err != 0) {
      (void)Fail(err == ENOENT ? Status::kFileNotFound : Status::kFileIo, path);
      return -1;
    }
    return bytes.size();
  }
  std::unique_ptr<pf::File> file;
  int flags = pf::kOpenRead | pf::kOpenWrite | pf::kOpenCreate;
  if (position == -1) flags |= pf::kOpenAppend;
  if (pf::OpenFile(path.view(), flags, &file) != 0) {
    (void)Fail(Status::kFileNotFound, path);
    return -1;
  }
  size_t done = WriteUnits(file.get(), std::max<int64_t>(position, 0), bytes.data(), bytes.size());
  if (done < bytes.size()) {
    (void)Fail(Status::kFileIo, path);
    return -1;
  }
  return bytes.size();
}

Status FileWriteChecked(Slice path, int64_t position, Slice bytes) {
  if (FileWrite(path, position, bytes) == static_cast<int>(bytes.size()) && bytes.ok()) {
    return Status::kOk;
  }
  return Fail(Status::kFileIo, path);
}

int64_t FileSize(Slice path) {
  if (!GoodPath(path)) return 0;
  std::unique_ptr<pf::File> file;
  if (pf::OpenFile(path.view(), pf::kOpenRead, &file) != 0) return 0;
  return std::max<int64_t>(file->Size(), 0);
}

// ---- File system -------------------------------------------------------------

int FileDelete(Slice path) {
  if (!GoodPath(path)) {
    (void)Fail(Status::kBadInputData, path);
    return -1;
  }
  int err = pf::RemoveFile(path.view());
  if (err == 0) return 0;
  if (err != ENOENT && err != ENOTDIR) (void)Fail(StatusOfError(err), path);
  return -1;
}

int FileRename(Slice old_path, Slice new_path) {
  if (!GoodPath(old_path) || !GoodPath(new_path)) {
    (void)Fail(Status::kBadInputData, GoodPath(old_path) ? new_path : old_path);
    return -1;
  }
  int err = pf::RenameFile(old_path.view(), new_path.view());
  if (err == 0) return 0;
  (void)Fail(StatusOfError(err), err == EEXIST ? new_path : old_path);
  return -1;
}

Status FileExists(Slice path) {
  if (!GoodPath(path)) return Status::kFileNotFound;
  return pf::FileExists(path.view()) ? Status::kOk : Status::kFileNotFound;
}

Slice FileList(Slice pattern) {
  if (!pattern.ok()) return pattern;
  if (!GoodPath(pattern)) return Slice::Error(Fail(Status::kBadInputData, pattern));
  std::vector<std::string> names;
  if (pf::ListFiles(pattern.view(), &names) != 0 || names.empty()) {
    return Slice::Error(Status::kFileNotFound);
  }
  std::string joined;
  for (const std::string& n : names) {
    if (!joined.empty()) joined.push_back('\0');
    joined += n;
  }
  Slice list = Slice::Of(joined);
  if (!list.ok()) return Slice::Error(Fail(list.status(), pattern));
  Slice kept = Area().Push(list);
  if (!kept.ok()) return Slice::Error(Fail(kept.status(), pattern));
  return kept;
}

int64_t FileLength(Slice path) {
  pf::FileInfo info;
  if (!GoodPath(path) || pf::StatFile(path.view(), &info) != 0) return -1;
  return info.size;
}

int64_t FileTime(Slice path, int kind, int form) {
  pf::FileInfo info;
  if (!GoodPath(path) || pf::StatFile(path.view(), &info) != 0) return -1;
  int64_t seconds = kind == kFileCreated    ? info.created
                    : kind == kFileAccessed ? info.accessed
                                            : info.written;
  pf::LocalTime t = pf::LocalTimeOf(seconds);
  return form == kFileDate ? pf::DateNumber(t) : t.ms_of_day;
}

int FileAttributes(Slice path) {
  pf::FileInfo info;
  std::string name;
  if (!GoodPath(path) || pf::StatFile(path.view(), &info, &name) != 0) return -1;
  int bits = 0;
  if (!info.writable) bits |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.') bits |= kAttrHidden;
  if (info.is_directory) {
    bits |= kAttrFolder;
  } else if (info.is_regular) {
    bits |= kAttrArchive;
  } else {
    bits |= kAttrSystem;
  }
  return bits;
}

Status DirChange(Slice path) {
  if (!GoodPath(path)) return Fail(Status::kBadInputData, path);
  int err = pf::ChangeFolder(path.view());
  return err == 0 ? Status(Status::kOk) : Fail(StatusOfError(err), path);
}

int DirMake(Slice path) {
  if (!GoodPath(path)) {
    (void)Fail(Status::kBadInputData, path);
    return -1;
  }
  int err = pf::MakeFolders(path.view());
  if (err == 0) return 0;
  (void)Fail(StatusOfError(err), path);
  return -1;
}

Slice DirCurrent() {
  std::string folder;
  if (pf::CurrentFolder(&folder) != 0 || folder.size() > kMaxPathLength) return Slice();
  return Area().Push(Slice::Of(folder));
}

Slice EnvValue(Slice name) {
  if (!name.ok()) return name;
  return Area().Push(Slice::Of(pf::EnvironmentValue(name.view())));
}

Slice TempName(Slice extension) {
  if (!extension.ok()) return extension;
  static unsigned counter = 0;
  AreaMark mark;
  std::string generated = "TS" + std::to_string(pf::ProcessId()) + "_" + std::to_string(++counter);
  Slice name = NameWithExt(Slice::Of(generated), extension);
  if (name.ok()) (void)pf::RemoveFile(name.view());
  return mark.Keep(name);
}

// ---- Building paths -------------------------------------------------------------

Slice PathJoin(Slice directory, Slice name) {
  AreaMark mark;
  Slice dir = Translate(directory, Slice("/"), Slice("\\"));
  Slice file = Translate(name, Slice("/"), Slice("\\"));
  if (!dir.ok()) return mark.Keep(dir);
  if (!file.ok()) return mark.Keep(file);
  bool separate = !dir.empty() && dir[dir.size() - 1] != '\\' && !file.empty() && file[0] != '\\';
  return mark.Keep(separate ? Concat({dir, Slice("\\"), file}) : Concat(dir, file));
}

Slice NameWithExt(Slice name, Slice extension) {
  if (!name.ok()) return name;
  if (!extension.ok()) return extension;
  if (extension.empty()) return Copy(name);
  return Concat({name, Slice("."), extension});
}

Slice PathPart(Slice path, int parts) {
  if (!path.ok()) return path;
  std::string_view p = path.view();
  size_t colon = p.find(':');
  std::string_view drive = colon == std::string_view::npos ? std::string_view() : p.substr(0, colon + 1);
  std::string_view rest = p.substr(drive.size());
  size_t slash = rest.find_last_of("\\/");
  bool has_slash = slash != std::string_view::npos;
  std::string_view directory = has_slash ? rest.substr(0, slash) : std::string_view();
  std::string_view file = has_slash ? rest.substr(slash + 1) : rest;
  size_t dot = file.rfind('.');
  std::string_view base = dot == std::string_view::npos ? file : file.substr(0, dot);
  std::string_view extension = dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1);

  std::string out;
  if (parts & kPartDrive) out += drive;
  if (parts & kPartDirectory) out += directory;
  if (parts & kPartName) {
    bool before = parts & (kPartDrive | kPartDirectory);
    bool rooted = (parts & kPartDirectory) && has_slash;
    if (before && (rooted || (!out.empty() && out.back() != ':'))) out.push_back('\\');
    out += base;
  }
  if ((parts & kPartExtension) && dot != std::string_view::npos) {
    out.push_back('.');
    out += extension;
  }
  return Area().Push(Slice::Of(out));
}

Slice KindExtension(int kind) {
  static constexpr const char* kExtensions[] = {"", "FD", "DIR", "NDX", "TMP", "TXT"};
  static_assert(sizeof kExtensions / sizeof kExtensions[0] == kKindText + 1);
  int number = kind & ~kKindLowerCase;
  if (number < 0 || number > kKindText) return Slice();
  Slice ext(kExtensions[number]);
  return (kind & kKindLowerCase) ? Lower(ext) : ext;
}

}  // namespace tessaly
