#include "data/log.h"

#include <memory>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/messages.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/dates.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace tessaly {
namespace {

constexpr char kUser[] = "0";

// Appends `bytes` to `path` in one write. 164 when the file cannot be
// opened, 131 when the write falls short; the detail names the file.
Status Append(Slice path, const std::string& bytes) {
  std::unique_ptr<platform::File> file;
  int flags = platform::kOpenWrite | platform::kOpenCreate | platform::kOpenAppend;
  if (path.empty() || platform::OpenFile(path.view(), flags, &file) != 0) {
    return SetDetail(Status::kFileNotFound, path);
  }
  int64_t written = file->WriteAt(0, bytes.data(), bytes.size());
  if (written != static_cast<int64_t>(bytes.size())) return SetDetail(Status::kFileIo, path);
  return Status::kOk;
}

}  // namespace

Slice LogFileName() {
  AreaMark mark;
  Slice name = strtab::Get(strtab::kLanguage, kLogNameSlot);
  if (name.ok() && !name.empty()) return mark.Keep(name);
  return mark.Keep(FormatMessage(64, Slice(kLogNameFormat), ApplicationCode()));
}

Status LogSetName(Slice name) {
  if (!name.ok()) return name.status();
  AreaMark mark;
  Slice trimmed = Trim(name);
  // A copy: the table may move its texts while storing this one.
  std::string kept = trimmed.str();
  Status s = strtab::Set(strtab::kLanguage, kLogNameSlot, Slice::Of(kept));
  if (!s.ok()) return s;
  if (!kept.empty()) (void)platform::RemoveFile(kept);
  return Status::kOk;
}

void LogLine(Slice text, int level) {
  if ((level & Word(kTrace)) == 0) return;
  AreaMark mark;
  std::string line = text.ok() ? text.str() : "Error #" + std::to_string(text.status().code());
  line += "\r\n";
  (void)Append(LogFileName(), line);
}

Status LogEntry(Slice text, Slice file) {
  if (!file.ok()) return file.status();
  AreaMark mark;
  Slice path = Trim(file).empty() ? LogFileName() : Trim(file);
  if (!path.ok()) return mark.Release(path.status());
  // One reading of the clock for both the date and the time.
  platform::LocalTime now = platform::LocalNow();
  Slice date = FormatDate(DateFromNumber(platform::DateNumber(now)), 2);
  Slice time = FormatTime(now.ms_of_day / 60000 * 60000, kTimeColons);
  Slice banner = FormatMessage(384, Slice(kLogBanner), date.ok() ? date : Slice(),
                               time.ok() ? time : Slice(), Slice(kUser));
  if (!banner.ok()) return mark.Release(banner.status());
  std::string entry = banner.str();
  if (text.ok()) {
    entry.append(text.view());
  } else {
    entry += "Error #" + std::to_string(text.status().code());
  }
  entry += kLogTrailer;
  return mark.Release(Append(path, entry));
}

}  // namespace tessaly
