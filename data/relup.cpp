#include "data/relup.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/definitions.h"
#include "data/log.h"
#include "data/record_ops.h"
#include "data/structures.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

constexpr uint16_t kUpStatRun = 0x01;     // definitions run at saves
constexpr uint16_t kUpStatSqlRun = 0x20;  // set while SQL definitions run
constexpr uint16_t kAuxStatSql = 0x800;   // definitions come from RELUPSQL.DAT
constexpr int kRelUpdateLayout = 4;
constexpr int kRelationalUpdateMessage = 87;

// Where a file's definitions lie in the table. `extent` entries from
// `base` (definitions 0 to extent - 1); a file whose definition file had
// nothing for it is loaded with extent 0 and selects nothing.
struct Loaded {
  int base = -1;
  int extent = 0;
  int count = 0;  // definitions numbered 1 and up that hold text
};
std::array<Loaded, kMaxFiles + 1> g_loaded;

void Mirror(int f) {
  if (DataFileCtrl* ctrl = DataFileControl(f)) {
    ctrl->relupdate_base = static_cast<int16_t>(g_loaded[static_cast<size_t>(f)].base);
  }
}

void Forget(int f) {
  g_loaded[static_cast<size_t>(f)] = Loaded();
  Mirror(f);
}

// Whether f's definitions are loaded and still in the table (the table is
// emptied when the runtime starts again).
bool IsLoaded(int f) {
  const Loaded& l = g_loaded[static_cast<size_t>(f)];
  if (l.base < 0) return false;
  if (l.base + l.extent > strtab::Count(kRelUpdateTable)) {
    Forget(f);
    return false;
  }
  // Opening a file again resets its control; the definitions stay loaded.
  Mirror(f);
  return true;
}

bool IsNone(Slice selection) { return selection.ok() && Trim(selection) == Slice(kRelUpdateNone); }

// The definition number of a line's content (columns 3-4 of the line, blanks
// read as zeros); -1 when it is not two digits.
int DefinitionNumber(Slice content) {
  if (content.size() < 2) return -1;
  int n = 0;
  for (int i = 0; i < 2; ++i) {
    char c = static_cast<char>(content[static_cast<size_t>(i)]);
    if (c == ' ') c = '0';
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Takes the `count` lines DefinitionLines queued last off table 37 and
// gathers them into definitions by number. 163 for a line without a
// definition number (the detail names the file and the line).
Status GatherDefinitions(Slice file_name, int count, std::vector<std::string>* definitions) {
  const int total = strtab::Count(strtab::kLineQueue);
  const int first = total - count;
  Status status;
  for (int i = first; i < total && status.ok(); ++i) {
    Slice content = strtab::Get(strtab::kLineQueue, i);
    if (!content.ok() || content.empty()) continue;
    int n = DefinitionNumber(content);
    if (n < 0) {
      AreaMark mark;
      status = SetDetail(Status::kBadInputData, Concat({file_name, ": ", content}));
      break;
    }
    if (static_cast<size_t>(n) >= definitions->size())
      definitions->resize(static_cast<size_t>(n) + 1);
    std::string_view text = content.view().substr(2);
    size_t start = text.find_first_not_of(" \t");
    text = start == std::string_view::npos ? std::string_view() : text.substr(start);
    if (text.empty()) continue;
    std::string& d = (*definitions)[static_cast<size_t>(n)];
    if (!d.empty()) d += ';';
    d.append(text);
  }
  for (int i = total - 1; i >= first; --i) (void)strtab::Delete(strtab::kLineQueue, i);
  return status;
}

// Evaluates `text` with f as the current file.
Slice EvaluateForFile(int f, Slice text) {
  uint16_t current = Word(kCurFil);
  SetWord(kCurFil, static_cast<uint16_t>(f));
  Slice value = EvaluateToText(text);
  SetWord(kCurFil, current);
  return value;
}

// The files whose loaded record a run of statements may change and that
// can be written: open for update, other than the file being saved.
struct RelatedRecord {
  int file;
  std::string before;  // buffer 1 before the statements ran
};

std::vector<RelatedRecord> RelatedRecords(int f) {
  std::vector<RelatedRecord> out;
  for (int g = 1; g <= FileCount(); ++g) {
    if (g == f || !DataFileIsOpen(g)) continue;
    const DataFileCtrl* ctrl = DataFileControl(g);
    if (ctrl == nullptr || (ctrl->open_flags & kDataReadOnly)) continue;
    RecordBuffers b = FileRecordBuffers(g);
    if (b.current == nullptr || b.length == 0) continue;
    out.push_back({g, std::string(b.current, b.length)});
  }
  return out;
}

// Rewrites and commits each related record that the statements changed.
Status WriteRelatedRecords(const std::vector<RelatedRecord>& related) {
  Status result;
  for (const RelatedRecord& r : related) {
    RecordBuffers b = FileRecordBuffers(r.file);
    if (b.current == nullptr || b.length != r.before.size()) continue;
    if (std::memcmp(b.current, r.before.data(), b.length) == 0) continue;
    if (std::memcmp(b.current, b.saved, b.length) == 0) continue;
    // Only a record read from the file is rewritten: buffer contents that no
    // search loaded are not a record of that file.
    if (DataFileLoadedRecord(r.file) < 0) continue;
    Status s = DataFileUpdate(r.file);
    if (!s.failed()) {
      std::memcpy(b.saved, b.current, b.length);
      s = DataFileCommit(r.file);
    }
    if (s.failed() && result.ok()) result = s;
  }
  return result;
}

// Names the relational update that failed and writes the failure to the
// runtime log.
Status Report(int f, Status s) {
  AreaMark mark;
  (void)SetDetail(s, Concat({Message(kRelationalUpdateMessage), " ", FileName(f)}), true);
  LogLine(StatusText(s), 1);
  return s;
}

// Runs the statements of file f as they stand in the buffers.
Status ExecuteStatements(int f, Slice statements) {
  if (!statements.ok()) return statements.status();
  if (Trim(statements).empty()) return Status::kOk;
  std::vector<RelatedRecord> related = RelatedRecords(f);
  uint16_t current = Word(kCurFil);
  SetWord(kCurFil, static_cast<uint16_t>(f));
  Status s = EvaluateForErrors(statements);
  SetWord(kCurFil, current);
  // What the statements that ran changed takes effect, also when a later
  // one failed: a save is never undone halfway.
  Status written = WriteRelatedRecords(related);
  if (s.is_error()) return Report(f, s);
  if (written.failed()) return Report(f, written);
  return Status::kOk;
}

class DefinitionSource final : public RelationalUpdateSource {
 public:
  Slice Select(int file, Slice selection) override { return RelUpdateSelect(file, selection); }
  Status Execute(int file, Slice statements) override {
    return ExecuteStatements(file, statements);
  }
};
DefinitionSource g_source;

}  // namespace

Slice RelUpdateFileName() {
  AreaMark mark;
  const char* name = TestBits(kAuxStat, kAuxStatSql) ? kRelUpdateSqlFile : kRelUpdateFile;
  return mark.Keep(Concat(ApplicationCode(), Slice(name)));
}

int RelUpdateMark() { return strtab::Count(kRelUpdateTable); }

Status RelUpdateLoad(int file, Slice selection) {
  if (!selection.ok()) return selection.status();
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (!s.ok()) return s;
  if (IsNone(selection) || IsLoaded(f)) return Status::kOk;
  AreaMark mark;
  Slice name = RelUpdateFileName();
  if (!name.ok()) return mark.Release(name.status());
  const int base = strtab::Count(kRelUpdateTable);
  int lines = DefinitionLines(name, kRelUpdateLayout, f);
  if (lines < -1) return mark.Release(Status(static_cast<uint16_t>(-lines)));
  std::vector<std::string> definitions;
  if (lines > 0) {
    s = GatherDefinitions(name, lines, &definitions);
    if (!s.ok()) return mark.Release(s);
  }
  Loaded loaded;
  loaded.base = base;
  for (size_t n = 0; n < definitions.size() && s.ok(); ++n) {
    if (n >= 1 && !definitions[n].empty()) ++loaded.count;
    if (definitions[n].size() > kMaxTextLength) {
      s = SetDetail(Status::kStringTooLong, name);
      break;
    }
    s = strtab::Push(kRelUpdateTable, Slice::Of(definitions[n]));
  }
  if (!s.ok()) {
    while (strtab::Count(kRelUpdateTable) > base) (void)strtab::Pop(kRelUpdateTable);
    return mark.Release(s);
  }
  loaded.extent = static_cast<int>(definitions.size());
  g_loaded[static_cast<size_t>(f)] = loaded;
  Mirror(f);
  return mark.Release(Status::kOk);
}

Status RelUpdateUnload(int file, int mark) {
  if (mark < 0) {
    int f = 0;
    Status s = ResolveFile(file, &f);
    if (!s.ok()) return s;
    if (!IsLoaded(f)) return Status::kOk;
    mark = g_loaded[static_cast<size_t>(f)].base;
  }
  while (strtab::Count(kRelUpdateTable) > mark) {
    Status s = strtab::Pop(kRelUpdateTable);
    if (!s.ok()) return s;
  }
  for (int g = 1; g <= kMaxFiles; ++g) {
    if (g_loaded[static_cast<size_t>(g)].base >= mark) Forget(g);
  }
  return Status::kOk;
}

bool RelUpdateLoaded(int file) {
  int f = 0;
  return ResolveFile(file, &f).ok() && IsLoaded(f);
}

int RelUpdateDefinitionCount(int file) {
  int f = 0;
  if (!ResolveFile(file, &f).ok() || !IsLoaded(f)) return -1;
  return g_loaded[static_cast<size_t>(f)].count;
}

Slice RelUpdateDefinition(int file, int n) {
  int f = 0;
  if (!ResolveFile(file, &f).ok() || !IsLoaded(f)) return Slice();
  const Loaded& l = g_loaded[static_cast<size_t>(f)];
  if (n < 0 || n >= l.extent) return Slice();
  return strtab::Get(kRelUpdateTable, l.base + n);
}

Slice RelUpdateSelect(int file, Slice selection) {
  if (!selection.ok()) return selection;
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (!s.ok()) return Slice::Error(s);
  AreaMark mark;
  if (IsNone(selection) || !IsLoaded(f)) return mark.Keep(Slice());
  const Loaded loaded = g_loaded[static_cast<size_t>(f)];
  Slice chosen = DefaultRelationalSelection(f, Trim(selection), loaded.count);

  std::vector<int> numbers = {0};
  if (!chosen.empty()) {
    Slice value = EvaluateForFile(f, chosen);
    if (!value.ok()) return mark.Keep(value);
    for (Slice item : Split(value, ',')) {
      Slice t = Trim(item);
      if (t.empty() || t[0] == '-') continue;
      int n = Integer(t);
      if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
    }
  }
  std::string joined;
  for (int n : numbers) {
    if (n < 0 || n >= loaded.extent) continue;
    Slice text = strtab::Get(kRelUpdateTable, loaded.base + n);
    if (!text.ok() || text.empty()) continue;
    if (!joined.empty()) joined += ';';
    joined.append(text.view());
  }
  if (joined.size() > kMaxTextLength) {
    return mark.Keep(Slice::Error(SetDetail(Status::kStringTooLong, FileName(f))));
  }
  return mark.Keep(Slice::Of(joined));
}

Status RelUpdateRun(int file, Slice statements, RelUpdateMode mode) {
  if (!statements.ok()) return statements.status();
  if (!TestBits(kUpStat, kUpStatRun)) return Status::kOk;
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (!s.ok()) return s;
  if (Trim(statements).empty()) return Status::kOk;
  // The statements may be a view into the buffers they are about to change.
  std::string text = statements.str();
  RecordBuffers b = FileRecordBuffers(f);
  if (b.current == nullptr || b.length == 0) return Status::kFileNotInit;

  const uint16_t old_sign = Word(kSgn);
  const bool old_sql = TestBits(kUpStat, kUpStatSqlRun);
  if (TestBits(kAuxStat, kAuxStatSql)) {
    SetBits(kUpStat, kUpStatSqlRun);
  } else {
    ClearBits(kUpStat, kUpStatSqlRun);
  }
  std::string current;
  if (mode == RelUpdateMode::kRevert) {
    current.assign(b.current, b.length);
    std::memcpy(b.current, b.saved, b.length);
  }
  SetWord(kSgn, static_cast<uint16_t>(mode == RelUpdateMode::kRevert ? -1 : 1));
  s = ExecuteStatements(f, Slice::Of(text));
  SetWord(kSgn, old_sign);
  if (mode == RelUpdateMode::kRevert) {
    b = FileRecordBuffers(f);
    if (b.current != nullptr && b.length == current.size()) {
      std::memcpy(b.current, current.data(), b.length);
    }
  }
  if (old_sql) {
    SetBits(kUpStat, kUpStatSqlRun);
  } else {
    ClearBits(kUpStat, kUpStatSqlRun);
  }
  return s;
}

void RelUpdateReset() {
  strtab::Clear(kRelUpdateTable);
  for (int f = 1; f <= kMaxFiles; ++f) Forget(f);
}

void InstallRelationalUpdates() { (void)SetRelationalUpdateSource(&g_source); }

}  // namespace tessaly
