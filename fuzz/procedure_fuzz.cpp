// Feeds arbitrary bytes to the procedure compiler as a procedure's text, and
// runs what compiles: without a command dispatcher, with the functions of
// the expression layer only (none writes a file), in a private folder, and
// with a budget of lines enforced through the message pump.
//
// Whatever the bytes, compiling must answer with a status; a compiled
// procedure's jump targets must lie inside it and its blocks must pair; a
// run must end (with any status) and leave the string area, the argument
// stack, the procedure table and the structures as it found them.
//
// The same bytes are then imported as a delimited text file by the IMPORT
// command into a fresh data file (only FILESTRUCT and IMPORT lines run in
// that phase, never the bytes as a procedure): whatever it stored, the
// file's index must agree with its records.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/datafile.h"
#include "data/record_ops.h"
#include "data/structures.h"
#include "expr/builtins.h"
#include "expr/variables.h"
#include "proc/commands.h"
#include "proc/procedures.h"

namespace {

using namespace tessaly;

constexpr int kLineBudget = 4000;
int g_lines = 0;

bool OutOfBudget() { return ++g_lines > kLineBudget; }

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  char tmpl[] = "/tmp/tessaly_procfuzz_XXXXXX";
  const char* made = mkdtemp(tmpl);
  if (made == nullptr || chdir(made) != 0) abort();
  InitVariables();
  InstallBuiltinFunctions();
  UseStructuresForDataFiles();
  InstallRecordOperations();
  ClearCommands();
  SetMessagePump(&OutOfBudget);
}

bool IsOpener(int k) {
  return k == kPkIf || k == kPkIfTrue || k == kPkIfFalse || k == kPkDo || k == kPkDoWhile ||
         k == kPkDoUntil || k == kPkElse;
}
bool IsCloser(int k) {
  return k == kPkEndif || k == kPkLoop || k == kPkLoopWhile || k == kPkLoopUntil || k == kPkElse;
}

void CheckCompiled(const CompiledProcedure& p) {
  size_t n = p.lines.size();
  for (size_t i = 0; i < n; ++i) {
    const ProcedureLine& line = p.lines[i];
    if (line.keyword > kProcedureKeywordCount || line.keyword == kPkDefFn) abort();
    if (line.target > n) abort();
    if ((line.keyword == kPkGoto || line.keyword == kPkGosub) && line.target > n) abort();
    // An opener jumps forward past its closer; a closer back to its opener
    // (ELSE is both: its final target is past its ENDIF).
    if (IsOpener(line.keyword) && line.target <= i) abort();
    if (IsCloser(line.keyword) && line.keyword != kPkElse && line.target >= i) abort();
    if (line.argument.size() > static_cast<size_t>(kMaxSourceLine)) abort();
  }
  if (p.entry_names.size() != p.entry_lines.size()) abort();
  for (uint16_t e : p.entry_lines) {
    if (e > n) abort();
  }
}

void ImportPhase(const uint8_t* data, size_t size) {
  FILE* f = std::fopen("fuzz.txt", "wb");
  if (f == nullptr) abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // The procedure phase may have pointed the default folder anywhere
  // (_$ writes the environment table): the data file stays here.
  if (!SetEnvironment(kEnvDefaultFolder, Slice()).ok()) abort();
  InstallStandardCommands();
  Status made = CommandDispatch(
      kCmdFileStruct, "'fz','CODE;6;A,NAME;10;A,PRICE;8;2,QTY;4;N,DAY;8;F,OK;1;L','<0001006>'");
  if (!made.ok()) abort();
  int file = FileCount();
  (void)CommandDispatch(kCmdImport, "'fuzz.txt','fz','WRITE'");
  (void)CommandDispatch(kCmdImport, "'fuzz.txt','fz'");
  ClearCommands();
  (void)DataFileClose(file);
  std::vector<std::string> problems;
  Status checked = DataFileCheck(file, &problems);
  if (!checked.ok()) {
    std::fprintf(stderr, "check %d: %s\n", checked.code(),
                 problems.empty() ? GetDetail().str().c_str() : problems[0].c_str());
    abort();
  }
  FileStructRestore();
  if (FileCount() != 0) abort();
  std::remove("fz.DIR");
  std::remove("fz.NDX");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  if (size > kMaxTextLength) size = kMaxTextLength;
  Slice source(reinterpret_cast<const char*>(data), static_cast<uint16_t>(size));
  int depth = Area().Mark();
  int arguments = strtab::Count(strtab::kFunctionArgs);

  CompiledProcedure compiled;
  Status status = ProcedureCompileText(source, "fuzz", &compiled);
  if (status.ok()) CheckCompiled(compiled);
  if (Area().Mark() != depth) abort();

  int index = -1;
  if (status.ok() && ProcedureLoadText("fuzz", source, &index).ok()) {
    g_lines = 0;
    SetWord(kTrace, 1);
    (void)ProcedureRunEntry("", "", kRunRelease);
    (void)ProcedureUnload(index);
    if (g_lines > kLineBudget + 1) abort();
    if (ProcedureCount() != 0 || ProcedureRunDepth() != 0) abort();
    if (FileCount() != 0) abort();
    if (strtab::Count(strtab::kFunctionArgs) != arguments) abort();
    if (Area().Mark() != depth) abort();
    unlink(kProcedureLogName);
  }
  ImportPhase(data, size);
  if (Area().Mark() != depth) abort();
  Area().Release(depth);
  return 0;
}
