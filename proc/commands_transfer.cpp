// EXPORT and IMPORT: a data file to and from a delimited text file.
//
// The text file (Windows-1252, lines ending in CR LF):
//
//   CODE;NAME;BALANCE              the header: the field names
//   C001;Ana Ruiz;120.5            one line per record, in key order
//   C002;"Luis ""el Grande""";0    a value holding ';', '"', a line end or a
//                                  blank at either end is quoted, its quotes
//                                  doubled
//
// Values are the stored values: texts without their trailing blanks,
// numbers and dates trimmed (numbers with '.' and no thousands separator,
// dates YYYYMMDD); a blank field is an empty value. Importing a value puts
// it back the same way, so EXPORT followed by IMPORT into an empty file
// gives the same records.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/folders.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/masks.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "platform/files.h"
#include "proc/commands_internal.h"
#include "proc/procedures.h"

namespace tessaly::proc {
namespace {

constexpr char kSeparator = ';';
constexpr int64_t kBreakInterval = 64;
// A text file larger than this is not read into memory.
constexpr int64_t kMaxImportBytes = int64_t{1} << 30;

enum class ValueClass { kText, kNumber, kDate };

ValueClass ClassOf(char type) {
  if (IsNumericType(type) || type == 'L') return ValueClass::kNumber;
  if (type == 'D' || type == 'F') return ValueClass::kDate;
  return ValueClass::kText;
}

std::string_view TrimRight(std::string_view v) {
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}
std::string_view TrimBoth(std::string_view v) {
  v = TrimRight(v);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  return v;
}

void AppendValue(std::string* out, std::string_view v) {
  bool quote = !v.empty() && (v.front() == ' ' || v.back() == ' ' ||
                              v.find_first_of(";\"\r\n") != std::string_view::npos);
  if (!quote) {
    out->append(v);
    return;
  }
  out->push_back('"');
  for (char c : v) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

// The exported text of field `field` of the current record.
std::string ExportValue(int file, const FieldDesc& d) {
  RecordBuffers b = FileRecordBuffers(file);
  std::string_view raw(b.current + d.offset, d.width);
  if (ClassOf(d.type) == ValueClass::kText) return std::string(TrimRight(raw));
  AreaMark mark;
  Slice fetched = FieldFetch(file, d.number);
  return std::string(TrimBoth(fetched.view()));
}

// Reads a whole file through the streams.
Status ReadWholeFile(Slice path, std::string* text) {
  Status status;
  int slot = StreamOpen(path, kStreamReadOnly | kStreamSilent, &status);
  if (slot < 0) return SetDetail(Status::kFileNotFound, path);
  int64_t size = StreamSize(slot);
  if (size > kMaxImportBytes) {
    StreamClose(slot);
    return SetDetail(Status::kOutOfMemory, path);
  }
  text->clear();
  char buffer[1 << 16];
  int64_t position = 0;
  for (;;) {
    int n = StreamRead(slot, position, sizeof buffer, buffer, sizeof buffer);
    if (n <= 0) break;
    text->append(buffer, static_cast<size_t>(n));
    position += n;
  }
  StreamClose(slot);
  if (!text->empty() && text->back() == 26) text->pop_back();
  return Status::kOk;
}

// Cuts a delimited text into records of values.
class DelimitedReader {
 public:
  explicit DelimitedReader(const std::string& text) : text_(text) {}

  // The next record; false at the end. A malformed quote is 163.
  bool Next(std::vector<std::string>* values, Status* status) {
    values->clear();
    // Blank lines between records are skipped.
    while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) EndLine();
    if (pos_ >= text_.size()) return false;
    record_line_ = line_;
    std::string value;
    for (;;) {
      value.clear();
      if (pos_ < text_.size() && text_[pos_] == '"') {
        ++pos_;
        for (;;) {
          if (pos_ >= text_.size()) {
            *status = Status::kBadInputData;
            return true;
          }
          char c = text_[pos_++];
          if (c == '"') {
            if (pos_ < text_.size() && text_[pos_] == '"') {
              value.push_back('"');
              ++pos_;
              continue;
            }
            break;
          }
          if (c == '\n' || (c == '\r' && (pos_ >= text_.size() || text_[pos_] != '\n'))) ++line_;
          value.push_back(c);
        }
        if (pos_ < text_.size() && text_[pos_] != kSeparator && text_[pos_] != '\r' &&
            text_[pos_] != '\n') {
          *status = Status::kBadInputData;
          return true;
        }
      } else {
        while (pos_ < text_.size() && text_[pos_] != kSeparator && text_[pos_] != '\r' &&
               text_[pos_] != '\n') {
          value.push_back(text_[pos_++]);
        }
      }
      values->push_back(value);
      if (pos_ < text_.size() && text_[pos_] == kSeparator) {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size()) EndLine();
      *status = Status::kOk;
      return true;
    }
  }

  int record_line() const { return record_line_; }

 private:
  void EndLine() {
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  const std::string& text_;
  size_t pos_ = 0;
  int line_ = 1;
  int record_line_ = 1;
};

// The detail naming the line of the text file; `append` keeps what the
// failing store said.
Status LineDetail(Status status, Slice path, int line, std::string_view what, bool append = false) {
  std::string detail = path.str() + " line " + std::to_string(line);
  if (!what.empty()) detail += ": " + std::string(what);
  if (detail.size() > 1024) detail.resize(1024);
  return SetDetail(status, Slice::Of(detail), append);
}

int FieldByNameAnyCase(int file, std::string_view name) {
  int n = FieldByName(file, Slice::Of(name));
  if (n > 0) return n;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (int j = 1; j <= FieldCount(file); ++j) {
    FieldDesc d;
    if (!FieldInfo(file, j, &d).ok() || d.name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = lower(d.name.data()[i]) == lower(name[i]);
    if (same) return j;
  }
  return -1;
}

// Puts one imported value into buffer 1.
Status StoreImported(int file, const FieldDesc& d, const std::string& value) {
  // A control character has no place in a record (27 first would even
  // mark it deleted); tabs and the line ends of a quoted value do.
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') {
      return Status::kBadInputData;
    }
  }
  RecordBuffers b = FileRecordBuffers(file);
  char* field = b.current + d.offset;
  if (value.empty()) {
    std::memset(field, ' ', d.width);
    return Status::kOk;
  }
  if (ClassOf(d.type) != ValueClass::kText) return FieldStore(file, d.number, Slice::Of(value));
  if (value.size() > d.width) return Status::kDataOutBound;
  std::memcpy(field, value.data(), value.size());
  std::memset(field + value.size(), ' ', d.width - value.size());
  return Status::kOk;
}

}  // namespace

// EXPORT file,target[,condition[,key]]
Status ExportCommand(int command, int count, const CommandArgument* args) {
  int file = 0;
  Status s = OpenFileArgument(command, count, args, 2, 4, &file);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice target = ExpandNames(Trim(args[1].text));
  if (!target.ok()) return mark.Release(target.status());
  if (target.empty()) return mark.Release(SetDetail(Status::kBadInputData, CommandName(command)));
  Slice condition = Trim(TextArgument(count, args, 2));
  int key = static_cast<int>(IntegerArgument(count, args, 3, 1));

  std::vector<FieldDesc> fields(static_cast<size_t>(FieldCount(file)));
  std::string out;
  for (size_t j = 0; j < fields.size(); ++j) {
    s = FieldInfo(file, static_cast<int>(j) + 1, &fields[j]);
    if (!s.ok()) return mark.Release(s);
    if (j > 0) out.push_back(kSeparator);
    AppendValue(&out, fields[j].name.view());
  }
  out += "\r\n";

  s = DataFileSaveState(file);
  if (!s.ok()) return mark.Release(s);
  int64_t written = 0;
  Status status = DataFileSetKey(file, key);
  for (Status at = status.ok() ? DataFileMove(file, kMoveFirst) : status; status.ok();
       at = DataFileMove(file, kMoveNext)) {
    if (at.failed()) {
      status = at;
      break;
    }
    if (at != kResultFound) break;
    if (!condition.empty()) {
      Status c = Condition(condition);
      if (c.failed()) {
        status = c;
        break;
      }
      if (c != 1) continue;
    }
    for (size_t j = 0; j < fields.size(); ++j) {
      if (j > 0) out.push_back(kSeparator);
      AppendValue(&out, ExportValue(file, fields[j]));
    }
    out += "\r\n";
    ++written;
    if (written % kBreakInterval == 0 && ProcedureBreakRequested()) status = Status::kUserCanceled;
  }
  (void)DataFileRestoreState(file);
  if (!status.ok()) return mark.Release(status);

  int64_t bytes = 0;
  int err = platform::ReplaceFile(target.view(), out, kTransferUnit, &bytes);
  if (err != 0) return mark.Release(SetDetail(Status::kFileIo, target));
  SetCountWord(kCount, written);
  SetWord(kIer, 0);
  return mark.Release(Status::kOk);
}

// IMPORT source,file[,mode[,selection]]: mode INSERT (the default) or WRITE.
Status ImportCommand(int command, int count, const CommandArgument* args) {
  Status s = CheckArgumentCount(command, count, 2, 4);
  if (!s.ok()) return s;
  int file = 0;
  s = FileArgument(args[1], &file);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice mode = Upper(Trim(TextArgument(count, args, 2)));
  bool write = mode == Slice("WRITE");
  if (!write && !mode.empty() && mode != Slice("INSERT")) {
    return mark.Release(SetDetail(Status::kSyntaxError, mode));
  }
  Slice selection = TextArgument(count, args, 3);
  Slice source = ExpandNames(Trim(args[0].text));
  if (!source.ok()) return mark.Release(source.status());
  std::string text;
  s = ReadWholeFile(source, &text);
  if (!s.ok()) return mark.Release(s);
  s = EnsureOpen(file);
  if (!s.ok()) return mark.Release(s);

  DelimitedReader reader(text);
  std::vector<std::string> values;
  Status status;
  if (!reader.Next(&values, &status))
    return mark.Release(LineDetail(Status::kBadInputData, source, 1, ""));
  if (!status.ok()) return mark.Release(LineDetail(status, source, reader.record_line(), ""));
  std::vector<FieldDesc> columns;
  for (const std::string& name : values) {
    int j = FieldByNameAnyCase(file, TrimBoth(name));
    FieldDesc d;
    if (j < 0 || !FieldInfo(file, j, &d).ok()) {
      return mark.Release(LineDetail(Status::kBadInputData, source, 1, name));
    }
    for (const FieldDesc& other : columns) {
      if (other.number == d.number)
        return mark.Release(LineDetail(Status::kBadInputData, source, 1, name));
    }
    columns.push_back(d);
  }

  int64_t inserted = 0, skipped = 0, lines = 0;
  bool wrote = false;
  while (status.ok() && reader.Next(&values, &status)) {
    if (!status.ok()) {
      status = LineDetail(status, source, reader.record_line(), "");
      break;
    }
    if (values.size() != columns.size()) {
      status = LineDetail(Status::kBadInputData, source, reader.record_line(), "");
      break;
    }
    if (++lines % kBreakInterval == 0 && ProcedureBreakRequested()) {
      status = Status::kUserCanceled;
      break;
    }
    Status cleared = DataFileMove(file, kMoveClear);
    if (cleared.failed()) {
      status = cleared;
      break;
    }
    for (size_t c = 0; c < columns.size() && status.ok(); ++c) {
      Status stored = StoreImported(file, columns[c], values[c]);
      if (stored.failed()) {
        status = LineDetail(stored, source, reader.record_line(), columns[c].name.view(), true);
      }
    }
    if (!status.ok()) break;
    AreaMark one;
    if (Trim(DataFileKeyText(file, 1, 1)).empty()) {
      ++skipped;
      continue;
    }
    Status saved = write ? WriteRecordByKey(file, selection)
                         : RecordSave(RecordOpFlags(kOpIns) & 0xFF00, file, selection, Slice());
    if (saved.failed()) {
      status = LineDetail(saved, source, reader.record_line(), "", true);
      break;
    }
    wrote = true;
    if (saved == kResultKeyExists) {
      ++skipped;
    } else {
      ++inserted;
    }
  }
  if (wrote) status = RecordCommit(file, status);
  if (status.failed()) return mark.Release(status);
  SetCountWord(kCount, inserted);
  SetCountWord(kHCount, skipped);
  SetWord(kIer, 0);
  return mark.Release(Status::kOk);
}

}  // namespace tessaly::proc
