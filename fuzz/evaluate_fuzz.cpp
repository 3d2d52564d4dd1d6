// Fuzzes the expression language: any text given to the evaluator, the
// condition, the scanner's helpers and the text test must end in a value or
// a status, leave the string area as it found it (plus the one result), and
// never crash or hang.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/hooks.h"
#include "core/status.h"
#include "core/string_area.h"
#include "expr/evaluator.h"
#include "expr/functions.h"
#include "expr/scanner.h"
#include "expr/variables.h"

namespace {

using namespace tessaly;

// Stand-ins for handlers of the later modules: one chooses an argument as
// CHK# does, one evaluates every argument, one stores what is assigned.
Status Choose(FunctionCall& call) {
  AreaMark mark;
  if (call.argument_count() < 1) return Status::kSyntaxError;
  Status st = call.Evaluate(1);
  if (st.failed()) return st;
  bool yes = st == kNumberValue && NumberOf(Area().Top()) != 0;
  int first = yes ? 2 : 3;
  int last = yes ? 2 : call.argument_count();
  Status result = kNumberValue;
  Slice value;
  for (int i = first; i <= last && i <= call.argument_count(); ++i) {
    result = call.Evaluate(i);
    if (result.failed()) return result;
    value = Area().Top();
  }
  Slice kept = mark.Keep(value);
  return kept.ok() ? result : kept.status();
}

Status EvaluateAll(FunctionCall& call) {
  AreaMark mark;
  if (call.assigning()) return Status::kOk;
  Status st = kTextValue;
  Slice value;
  for (int i = 1; i <= call.argument_count(); ++i) {
    st = call.Evaluate(i);
    if (st.failed()) return st;
    value = Area().Top();
  }
  Slice kept = mark.Keep(value);
  return kept.ok() ? st : kept.status();
}

Slice ScreenField(int request, Slice name, void*) {
  if (name.view() != "_F$" && name.view() != "_N") return Slice::Error(Status::kBadInputData);
  if (request == kScreenFieldAssign) return Slice("");
  return name.view() == "_N" ? Slice("12.5") : Slice("field");
}

bool Setup() {
  ResizeArea(StringArea::kRuntimeSlotLimit);
  InitVariables();
  (void)SetFunctionHandler(FunctionCode("CHK#"), &Choose);
  (void)SetFunctionHandler(FunctionCode("CHK$"), &Choose);
  (void)SetFunctionHandler(FunctionCode("FN$TRIM"), &EvaluateAll);
  (void)SetFunctionHandler(FunctionCode("_#"), &EvaluateAll);
  (void)RegisterFunction("APPF", &EvaluateAll);
  RegisterHook(kHookScreenField, &ScreenField);
  const int bounds[] = {3, 4};
  (void)DeclareArray("M", 6, 0, bounds, 2);
  // The array lives for the run; the run's end gives its storage back.
  std::atexit([] { ReleaseVariables(); });
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = Setup();
  static int runs = 0;
  (void)ready;
  if (size > kMaxTextLength) return 0;
  // Variables pile up across inputs: start again now and then so that the
  // string tables do not stay full.
  if (++runs % 2000 == 0) {
    ResetVariables();
    const int bounds[] = {3, 4};
    (void)DeclareArray("M", 6, 0, bounds, 2);
  }
  ClearDetail();
  ForceLastError(0, 0);
  Slice text(reinterpret_cast<const char*>(data), static_cast<uint16_t>(size));
  StringArea& area = Area();
  int depth = area.Mark();

  Status st = Evaluate(text);
  int expected = st.is_error() ? depth : depth + 1;
  if (area.Mark() != expected) __builtin_trap();
  area.Release(depth);

  (void)Condition(text);
  (void)EvaluateForErrors(text);
  if (area.Mark() != depth) __builtin_trap();
  {
    AreaMark mark;
    (void)EvaluateToText(text);
  }
  (void)IsText(text);
  (void)SkipArgument(text, 2);
  (void)TokenCount(text);
  if (area.Mark() != depth) __builtin_trap();
  return 0;
}
