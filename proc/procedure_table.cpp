// The procedure table: procedure files read, compiled and kept until they
// are unloaded. A run holds its procedure by a shared pointer, so an unload
// while the procedure runs (a library unloaded by a hook) never pulls the
// lines from under it.

#include <memory>
#include <string>
#include <vector>

#include "core/environment_table.h"
#include "core/folders.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/streams.h"
#include "proc/procedures.h"
#include "proc/procedures_internal.h"

namespace tessaly {
namespace {

// More source lines than this is not a procedure anyone wrote.
constexpr size_t kMaxSourceLines = size_t{1} << 20;

struct TableEntry {
  std::shared_ptr<CompiledProcedure> procedure;
  uint64_t sequence = 0;
};

std::vector<TableEntry> g_table;
uint64_t g_sequence = 0;

bool HasExtension(Slice name) {
  for (uint16_t i = name.size(); i-- > 0;) {
    char c = name.data()[i];
    if (c == '.') return true;
    if (c == '\\' || c == '/' || c == ':') return false;
  }
  return false;
}

// The path of a procedure file: the name as it is, then in the folders of
// slot 5; a name without extension also with ".PRX". Empty when none.
Slice FindProcedureFile(Slice name) {
  AreaMark mark;
  Slice folders = GetEnvironment(kEnvDefaultFolder);
  Slice found = FindFile(folders, name);
  if (found.ok() && !found.empty()) return mark.Keep(found);
  if (!HasExtension(name)) {
    Slice with_extension = Concat({name, ".", kProcedureExtension});
    found = FindFile(folders, with_extension);
    if (found.ok() && !found.empty()) return mark.Keep(found);
  }
  return mark.Keep(Slice());
}

// Reads the lines of a file; a line too long for a procedure is 146 with
// the file and line as detail.
Status ReadSourceLines(Slice path, std::vector<std::string>* lines) {
  Status status;
  int slot = StreamOpen(path, kStreamReadOnly | kStreamSilent, &status);
  if (slot < 0) return SetDetail(Status::kFileNotFound, path);
  char buffer[kMaxSourceLine + 2];
  Status result;
  for (;;) {
    int n = StreamRead(slot, -1, -1, buffer, sizeof buffer);
    if (n < 0) {
      if (!StreamAtEnd(slot)) {
        std::string detail = path.str() + " line " + std::to_string(lines->size() + 1);
        result = SetDetail(Status::kStringTooLong, Slice::Of(detail));
      }
      break;
    }
    if (lines->size() >= kMaxSourceLines) {
      result = SetDetail(Status::kOutOfMemory, path);
      break;
    }
    lines->emplace_back(buffer, static_cast<size_t>(n));
  }
  StreamClose(slot);
  if (result.is_error()) return RecordError(1, ErrorArea::kExecCompiler, result);
  return result;
}

void Store(std::shared_ptr<CompiledProcedure> procedure, int* index) {
  size_t slot = 0;
  while (slot < g_table.size() && g_table[slot].procedure) ++slot;
  if (slot == g_table.size()) g_table.emplace_back();
  g_table[slot] = {std::move(procedure), ++g_sequence};
  if (index != nullptr) *index = static_cast<int>(slot);
}

}  // namespace

Status ProcedureLoad(Slice file_name, int* index) {
  if (index != nullptr) *index = -1;
  if (!file_name.ok()) return file_name.status();
  AreaMark mark;
  Slice name = ExpandNames(Trim(file_name));
  if (!name.ok()) return mark.Release(name.status());
  Slice path = name.empty() ? Slice() : FindProcedureFile(name);
  if (!path.ok() || path.empty()) {
    return mark.Release(
        RecordError(1, ErrorArea::kExecCompiler, SetDetail(Status::kFileNotFound, name)));
  }
  std::vector<std::string> text;
  Status status = ReadSourceLines(path, &text);
  if (!status.ok()) return mark.Release(status);
  std::vector<Slice> lines;
  lines.reserve(text.size());
  for (const std::string& line : text) {
    // A line that long was refused by the reader already.
    lines.push_back(Slice(line.data(), static_cast<uint16_t>(line.size())));
  }
  auto procedure = std::make_shared<CompiledProcedure>();
  status = ProcedureCompile(lines, path, procedure.get());
  if (!status.ok()) return mark.Release(status);
  Store(std::move(procedure), index);
  return mark.Release(Status::kOk);
}

Status ProcedureLoadText(Slice name, Slice source, int* index) {
  if (index != nullptr) *index = -1;
  auto procedure = std::make_shared<CompiledProcedure>();
  Status status = ProcedureCompileText(source, name, procedure.get());
  if (!status.ok()) return status;
  Store(std::move(procedure), index);
  return Status::kOk;
}

Status ProcedureUnload(int index) {
  if (index < 0 || static_cast<size_t>(index) >= g_table.size() || !g_table[index].procedure) {
    return SetDetail(Status::kDataOutBound, Slice::Of(std::to_string(index)));
  }
  g_table[index] = TableEntry();
  while (!g_table.empty() && !g_table.back().procedure) g_table.pop_back();
  return Status::kOk;
}

const CompiledProcedure* ProcedureAt(int index) {
  if (index < 0 || static_cast<size_t>(index) >= g_table.size()) return nullptr;
  return g_table[index].procedure.get();
}

int ProcedureCount() {
  int n = 0;
  for (const TableEntry& e : g_table) n += e.procedure != nullptr;
  return n;
}

void UnloadAllProcedures() { g_table.clear(); }

namespace proc {

std::shared_ptr<CompiledProcedure> FindProcedure(Slice entry, uint16_t* start_line) {
  const TableEntry* best = nullptr;
  uint16_t line = 0;
  for (const TableEntry& e : g_table) {
    if (!e.procedure || (best != nullptr && e.sequence < best->sequence)) continue;
    if (entry.empty()) {
      best = &e;
      line = 0;
      continue;
    }
    const CompiledProcedure& p = *e.procedure;
    for (size_t i = 0; i < p.entry_names.size(); ++i) {
      if (Slice::Of(p.entry_names[i]) == entry) {
        best = &e;
        line = p.entry_lines[i];
        break;
      }
    }
  }
  if (best == nullptr) return nullptr;
  *start_line = line;
  return best->procedure;
}

uint64_t LoadSequence() { return g_sequence; }

void UnloadLoadedAfter(uint64_t sequence) {
  for (;;) {
    int newest = -1;
    for (size_t i = 0; i < g_table.size(); ++i) {
      const TableEntry& e = g_table[i];
      if (!e.procedure || e.sequence <= sequence) continue;
      if (newest < 0 || e.sequence > g_table[newest].sequence) newest = static_cast<int>(i);
    }
    if (newest < 0) return;
    (void)ProcedureUnload(newest);
  }
}

}  // namespace proc
}  // namespace tessaly
