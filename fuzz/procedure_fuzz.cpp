// Feeds arbitrary bytes to the procedure compiler as a procedure's text, and
// runs what compiles: without a command dispatcher, with the functions of
// the expression layer only (none writes a file), in a private folder, and
// with a budget of lines enforced through the message pump.
//
// Whatever the bytes, compiling must answer with a status; a compiled
// procedure's jump targets must lie inside it and its blocks must pair; a
// run must end (with any status) and leave the string area, the argument
// stack, the procedure table and the structures as it found them.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/flags.h"
#include "core/string_area.h"
#include "core/string_tables.h"
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
  Area().Release(depth);
  return 0;
}
