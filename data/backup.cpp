#include "data/backup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/folders.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/process.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/choices.h"
#include "data/datafile.h"
#include "data/streams.h"
#include "data/structures.h"
#include "data/viewer.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace tessaly {
namespace {

constexpr int64_t kWholeCopyUnit = 64 * 1024;  // a copy nobody watches
constexpr int kInProgressMessage = 16;
constexpr int kChooseSelectionMessage = 49;
constexpr int kTableSelectionMessage = 85;
constexpr int kReorganizationMessage = 119;
constexpr int kReorganizeSteps = 4;
constexpr char kRecordFilePattern[] = "*.DIR";

// ---- Copying -------------------------------------------------------------------

// The status of a failed system call on `path`: 164 a missing file, 175
// access denied, 131 a failed write, 65535 anything else.
Status Failure(int err, const std::string& path, bool writing) {
  Status code = Status::kUndefined;
  if (err == EACCES || err == EPERM || err == EROFS) {
    code = Status::kPermissionDenied;
  } else if (!writing && (err == ENOENT || err == ENOTDIR)) {
    code = Status::kFileNotFound;
  } else if (writing) {
    code = Status::kFileIo;
  }
  return SetDetail(code, Slice::Of(path));
}

// Moves `count` bytes (-1: to the end of `in`) in units, calling `progress`
// after each.
Status CopyUnits(platform::File* in, int64_t in_offset, platform::File* out, int64_t out_offset,
                 int64_t count, int64_t unit, const FileCopyProgress& progress,
                 const std::string& source, const std::string& target) {
  if (count < 0) {
    int64_t size = in->Size();
    if (size < 0) return Failure(static_cast<int>(-size), source, false);
    count = std::max<int64_t>(0, size - in_offset);
  }
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(unit)]);
  for (int64_t done = 0; done < count;) {
    size_t n = static_cast<size_t>(std::min(unit, count - done));
    int64_t r = in->ReadAt(in_offset + done, buffer.get(), n);
    if (r < 0) return Failure(static_cast<int>(-r), source, false);
    if (static_cast<size_t>(r) != n) return SetDetail(Status::kFileIo, Slice::Of(source));
    int64_t w = out->WriteAt(out_offset + done, buffer.get(), n);
    if (w < 0) return Failure(static_cast<int>(-w), target, true);
    if (static_cast<size_t>(w) != n) return SetDetail(Status::kFileIo, Slice::Of(target));
    done += static_cast<int64_t>(n);
    if (progress && progress(count, static_cast<int64_t>(n)) != 0) {
      return SetDetail(Status::kUserCanceled, Slice::Of(source));
    }
  }
  return Status::kOk;
}

Status MakeFolderOf(const std::string& path) {
  AreaMark mark;
  Slice folder = FolderPart(Slice::Of(path));
  if (!folder.ok() || folder.empty()) return Status::kOk;
  int err = platform::MakeFolders(folder.view());
  return err == 0 ? Status(Status::kOk) : Failure(err, folder.str(), true);
}

// A name beside `target` that no other copy uses.
std::string SideName(const std::string& native_target) {
  static unsigned counter = 0;
  return native_target + "." + std::to_string(platform::ProcessId()) + "-" +
         std::to_string(++counter) + ".part";
}

// Copies the whole `source` over `target` beside it and renames it into
// place once complete, keeping the source's time of last write.
Status WholeCopy(const std::string& source, const std::string& target,
                 const FileCopyProgress& progress) {
  platform::Env& env = platform::CurrentEnv();
  std::string native_source;
  int err = platform::ResolvePath(source, platform::Resolve::kExisting, &native_source);
  if (err != 0) return Failure(err, source, false);
  std::unique_ptr<platform::File> in;
  err = env.OpenFile(native_source, platform::kOpenRead, &in);
  if (err != 0) return Failure(err, source, false);
  platform::FileInfo info;
  err = env.Stat(native_source, &info);
  if (err != 0) return Failure(err, source, false);

  Status s = MakeFolderOf(target);
  if (!s.ok()) return s;
  std::string native_target;
  err = platform::ResolvePath(target, platform::Resolve::kForCreate, &native_target);
  if (err != 0) return Failure(err, target, true);

  std::string side;
  std::unique_ptr<platform::File> out;
  err = EEXIST;
  for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
    side = SideName(native_target);
    err = env.OpenFile(
        side, platform::kOpenWrite | platform::kOpenCreate | platform::kOpenExclusive, &out);
  }
  if (err != 0) return Failure(err, target, true);
  platform::FileInfo old;
  (void)env.SetPermissions(side, env.Stat(native_target, &old) == 0 && old.is_regular
                                     ? old.permissions
                                     : info.permissions);

  s = CopyUnits(in.get(), 0, out.get(), 0, -1, progress ? kCopyUnit : kWholeCopyUnit, progress,
                source, target);
  // A backup must be on the disk before it stands in for the old copy.
  if (s.ok() && out->Sync() != 0) s = SetDetail(Status::kFileIo, Slice::Of(target));
  out.reset();
  if (s.ok()) {
    (void)env.SetWriteTime(side, info.written);
    err = env.RenameFile(side, native_target, /*replace=*/true);
    if (err != 0) s = Failure(err, target, true);
  }
  if (!s.ok()) {
    (void)env.RemoveFile(side);
    return s;
  }
  platform::ForgetPath(native_target);
  return Status::kOk;
}

std::string TextOf(Slice s) { return s.ok() ? s.str() : std::string(); }

// ---- Data files ----------------------------------------------------------------

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The name of a data file without its folder.
std::string ShortName(int file) {
  AreaMark mark;
  Slice name = FileName(file);
  uint16_t cut = FindLast(name, "\\/", FindKind::kAnyOf);
  if (cut != kNotFound) name = Substring(name, cut + 1);
  return name.str();
}

// The data file called `name` (with or without its folder), any letter
// case; 0 when none.
int DataFileNamed(Slice name) {
  std::string wanted = Trim(name).str();
  for (int f = 1; f <= FileCount(); ++f) {
    AreaMark mark;
    if (EqualIgnoringCase(wanted, ShortName(f)) || EqualIgnoringCase(wanted, FileName(f).view())) {
      return f;
    }
  }
  return 0;
}

bool AllDigits(Slice text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Count(int word) { SetWord(word, static_cast<uint16_t>(Word(word) + 1)); }

// The backup's progress hook: the step reached is the request.
Slice ProgressHook(int request, Slice, void*) {
  return CurrentChoices().ProgressStep(request, 0) ? Slice() : Slice::Error(Status::kUserCanceled);
}

// Hook 23 is the backup's progress while it runs.
class ScopedProgressHook {
 public:
  ScopedProgressHook() : previous_(GetHook(kHookProgress)) {
    (void)RegisterHook(kHookProgress, &ProgressHook);
  }
  ~ScopedProgressHook() { (void)RegisterHook(kHookProgress, previous_); }
  ScopedProgressHook(const ScopedProgressHook&) = delete;
  ScopedProgressHook& operator=(const ScopedProgressHook&) = delete;

 private:
  HookFn previous_;
};

Slice ReorganizationTitle() { return Trim(Item(Unquote(Message(kReorganizationMessage)), ',', 1)); }

}  // namespace

// ---- Copy rule and copies ---------------------------------------------------------

Status CopyRuleCheck(Slice source, Slice target) {
  if (!source.ok()) return source.status();
  if (!target.ok()) return target.status();
  platform::FileInfo from, to;
  if (platform::StatFile(target.view(), &to) != 0) return Status::kOk;
  if (platform::StatFile(source.view(), &from) != 0) return Status::kOk;
  platform::LocalTime a = platform::LocalTimeOf(from.written);
  platform::LocalTime b = platform::LocalTimeOf(to.written);
  int32_t date_a = platform::DateNumber(a), date_b = platform::DateNumber(b);
  if (date_a == date_b && a.ms_of_day / kCopySlotMs == b.ms_of_day / kCopySlotMs &&
      from.size == to.size) {
    Count(kCount);
    return Status::kUndefWarning;
  }
  if (date_a < date_b || (date_a == date_b && a.ms_of_day < b.ms_of_day)) {
    Count(kHCount);
    return Status::kOutOfData;
  }
  return Status::kOk;
}

Status FileCopy(Slice source, Slice target, const FileCopyProgress& progress) {
  if (!source.ok()) return source.status();
  if (!target.ok()) return target.status();
  if (Trim(source).empty() || Trim(target).empty()) {
    return SetDetail(Status::kBadInputData, Trim(source).empty() ? "source" : "target");
  }
  if (TestBits(kAuxStat, kAuxStatCopyChanged)) {
    Status rule = CopyRuleCheck(source, target);
    if (!rule.ok()) return rule;
  }
  return WholeCopy(source.str(), target.str(), progress);
}

Status FileCopyRange(Slice source, int64_t source_offset, Slice target, int64_t target_offset,
                     int64_t count, const FileCopyProgress& progress) {
  if (!source.ok()) return source.status();
  if (!target.ok()) return target.status();
  if (Trim(source).empty() || Trim(target).empty() || source_offset < 0 || target_offset < 0) {
    return SetDetail(Status::kBadInputData, source);
  }
  std::unique_ptr<platform::File> in, out;
  int err = platform::OpenFile(source.view(), platform::kOpenRead, &in);
  if (err != 0) return Failure(err, source.str(), false);
  Status s = MakeFolderOf(target.str());
  if (!s.ok()) return s;
  err = platform::OpenFile(target.view(), platform::kOpenWrite | platform::kOpenCreate, &out);
  if (err != 0) return Failure(err, target.str(), true);
  return CopyUnits(in.get(), source_offset, out.get(), target_offset, count, kCopyUnit, progress,
                   source.str(), target.str());
}

// ---- One data file ------------------------------------------------------------------

Status BackupDataFile(int file, Slice folder) {
  if (!folder.ok()) return folder.status();
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  if (DataFileIsOpen(f)) {
    s = DataFileCommit(f);
    if (s.failed()) return s;
  }
  std::string records = DataFilePath(f, DataFilePart::kRecords);
  std::string index = DataFilePath(f, DataFilePart::kIndex);
  // A data file never written has nothing to back up.
  if (records.empty() || !platform::FileExists(records)) return Status::kOk;
  std::string records_copy, index_copy;
  {
    AreaMark mark;
    records_copy = TextOf(PathJoin(folder, Slice::Of(records)));
    index_copy = TextOf(PathJoin(folder, Slice::Of(index)));
  }
  if (TestBits(kAuxStat, kAuxStatCopyChanged)) {
    s = CopyRuleCheck(Slice::Of(records), Slice::Of(records_copy));
    if (!s.ok()) return s;
  }
  s = WholeCopy(records, records_copy, {});
  if (!s.ok()) return s;
  if (!platform::FileExists(index)) return Status::kOk;
  return WholeCopy(index, index_copy, {});
}

Status RestoreDataFile(int file, Slice records) {
  if (!records.ok()) return records.status();
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  std::string source = Trim(records).str();
  platform::FileInfo info;
  if (source.empty() || platform::StatFile(source, &info) != 0 || !info.is_regular) {
    return SetDetail(Status::kFileNotFound, Slice::Of(source));
  }
  uint16_t length = RecordLength(f);
  if (length == 0 || info.size % length != 0) {
    return SetDetail(Status::kBadInputData, Slice::Of(source));
  }
  std::string own_records = DataFilePath(f, DataFilePart::kRecords);
  std::string own_index = DataFilePath(f, DataFilePart::kIndex);
  std::string index_source;
  {
    AreaMark mark;
    Slice stem = PathPart(Slice::Of(source), kPartDrive | kPartDirectory | kPartName);
    index_source = TextOf(Concat(stem, PathPart(Slice::Of(own_index), kPartExtension)));
  }

  int reopen = -1;
  if (DataFileIsOpen(f)) {
    reopen = DataFileControl(f)->open_flags;
    s = DataFileClose(f);
    if (s.failed()) return s;
  }
  s = WholeCopy(source, own_records, {});
  if (s.ok()) {
    if (platform::FileExists(index_source)) {
      s = WholeCopy(index_source, own_index, {});
      // Restored records under the old index would not agree with it.
      if (!s.ok()) (void)DataFileReorganize(f);
    } else {
      s = DataFileReorganize(f);
    }
  }
  if (reopen >= 0) {
    Status reopened = DataFileOpen(f, reopen);
    if (s.ok() && reopened.failed()) s = reopened;
  }
  return s;
}

// ---- Backup and restore ----------------------------------------------------------------

Status BackupRun(int mode) {
  // Shown by whoever asked, as every failing process is.
  if (mode == kBackupRemoved) return SetDetail(Status::kFeatureRemoved, "Copy 2");
  if (mode != kBackupCopy && mode != kBackupRestore) {
    return SetDetail(Status::kBadInputData, Slice::Of("Copy " + std::to_string(mode)));
  }
  AreaMark mark;
  std::string current = TextOf(CurrentFolderPath());
  std::string backups = TextOf(Folder(kFolderBackRel));
  if (backups.empty() || DirMake(Slice::Of(backups)) != 0) {
    return mark.Release(SetDetail(Status::kDiskWriteError, Slice::Of(backups)));
  }

  std::string chosen;
  std::vector<int> files;
  if (mode == kBackupCopy) {
    chosen = TextOf(FolderChoose(Slice::Of(backups), Slice()));
    if (chosen.empty()) return mark.Release(Status::kUserCanceled);
    for (int f = 1; f <= FileCount(); ++f) files.push_back(f);
  } else {
    chosen = TextOf(CurrentChoices().ChooseFile(Slice::Of(backups), kRecordFilePattern,
                                                Message(kChooseSelectionMessage)));
    if (chosen.empty()) return mark.Release(Status::kUserCanceled);
    Slice name = PathPart(Slice::Of(chosen), kPartName);
    Slice extension = PathPart(Slice::Of(chosen), kPartExtension);
    int f = DataFileNamed(name);
    std::string own_extension =
        f == 0
            ? std::string()
            : TextOf(PathPart(Slice::Of(DataFilePath(f, DataFilePart::kRecords)), kPartExtension));
    if (f == 0 || !EqualIgnoringCase(extension.view(), own_extension)) {
      return mark.Release(SetDetail(Status::kBadInputData, Slice::Of(chosen)));
    }
    files.push_back(f);
  }
  // Choosing may have moved the current folder; the data files are named
  // from it.
  if (!current.empty()) (void)platform::ChangeFolder(current);

  Status last;
  {
    ScopedProgressHook hook;
    ScopedProgress progress(Message(kInProgressMessage), static_cast<int64_t>(files.size()));
    for (size_t i = 0; i < files.size(); ++i) {
      Status s = mode == kBackupCopy ? BackupDataFile(files[i], Slice::Of(chosen))
                                     : RestoreDataFile(files[i], Slice::Of(chosen));
      last = s;
      if (s.is_error() || s == Status::kUserCanceled) break;
      if (!CurrentChoices().ProgressStep(static_cast<int64_t>(i) + 1,
                                         static_cast<int64_t>(files.size()))) {
        last = Status::kUserCanceled;
        break;
      }
    }
  }
  // Files the copy rule left alone are backed up already.
  if (last == Status::kUndefWarning || last == Status::kOutOfData) last = Status::kOk;
  if (last.ok()) (void)ShowError(Status::kOk);
  return mark.Release(last);
}

// ---- Reorganisation ---------------------------------------------------------------------

Status ReorganizeFile(int file) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  int reopen = DataFileIsOpen(f) ? DataFileControl(f)->open_flags : -1;
  {
    AreaMark mark;
    // An index half rebuilt is worse than a wait: this work is not stopped.
    ScopedProgress progress(ReorganizationTitle(), kReorganizeSteps, /*can_stop=*/false);
    s = DataFileReorganize(
        f, [](int64_t done, int64_t total) { (void)CurrentChoices().ProgressStep(done, total); });
  }
  if (reopen >= 0) {
    Status reopened = DataFileOpen(f, reopen);
    if (s.ok() && reopened.failed()) s = reopened;
  }
  if (s.ok()) (void)ShowError(Status::kOk);
  return s;
}

Status ReorganizeChosen() {
  std::string items;
  for (int f = 1; f <= FileCount(); ++f) items += (f > 1 ? "," : "") + ShortName(f);
  if (items.size() > kMaxTextLength) return SetDetail(Status::kStringTooLong, "Reorg");
  AreaMark mark;
  int chosen = CurrentChoices().ChooseItem(Message(kTableSelectionMessage), Slice::Of(items));
  if (chosen < 1 || chosen > FileCount()) return mark.Release(Status::kUserCanceled);
  return mark.Release(ReorganizeFile(chosen));
}

// ---- Processes -----------------------------------------------------------------------------

namespace {

Status CopyProcess(int, Slice parameters) {
  Slice mode = Trim(parameters);
  if (mode.empty()) return BackupRun(kBackupCopy);
  if (!AllDigits(mode)) return SetDetail(Status::kBadInputData, Concat("Copy ", mode));
  return BackupRun(Integer(mode));
}

Status ReorgProcess(int, Slice parameters) {
  Slice name = Unquote(Trim(parameters));
  if (name.empty()) return ReorganizeChosen();
  int f = AllDigits(name) ? Integer(name) : DataFileNamed(name);
  if (f < 1 || f > FileCount()) return SetDetail(Status::kBadInputData, Concat("Reorg ", name));
  return ReorganizeFile(f);
}

}  // namespace

void InstallBackupProcesses() {
  SetProcessHandler(kProcCopy, &CopyProcess, /*needs_window=*/false);
  SetProcessHandler(kProcReorg, &ReorgProcess, /*needs_window=*/false);
}

}  // namespace tessaly
