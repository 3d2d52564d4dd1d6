#include "app/app_hooks.h"

#include <iterator>

#include "core/process.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/parameters.h"
#include "ui/accept.h"

namespace tessaly {
namespace {

Slice Answer(Status status) { return status.ok() ? Slice() : Slice::Error(status); }

struct HookEntry {
  int slot;
  HookFn handler;  // null: not built yet, the runtime's default answers
};

constexpr HookEntry kHooks[] = {
    {4, &ParameterFileCaptureHook}, {5, nullptr},
    {6, &ProcessListHook}, {7, &StepsStubHook},
    {8, nullptr},          {10, nullptr},
    {11, nullptr},         {12, nullptr},
    {22, nullptr},         {23, &LowLevelTaskHook},
};
static_assert(std::size(kHooks) == 10);

}  // namespace

Slice ProcessListHook(int event, Slice argument, void* object) {
  (void)argument;
  (void)object;
  if (event != kConfirmEvent) return Slice();
  AreaMark mark;
  Slice condition = ParameterValue(kKwCond);
  if (!condition.ok()) return Answer(mark.Release(condition.status()));
  Status status = strtab::Set(kSettingsTable, kReportConditionItem, condition);
  if (!status.ok()) return Answer(mark.Release(status));
  Slice steps = ParameterValue(kKwSteps);
  if (!steps.ok()) return Answer(mark.Release(steps.status()));
  return Answer(mark.Release(RunRequestList(steps, Slice())));
}

Slice StepsStubHook(int event, Slice argument, void* object) {
  (void)argument;
  (void)object;
  if (event != kConfirmEvent) return Slice();
  AreaMark mark;
  (void)ParameterValue(kKwSteps);
  (void)ParameterValue(kKwReset);
  return Answer(mark.Release(Status::kFeatureRemoved));
}

Slice LowLevelTaskHook(int event, Slice argument, void* object) {
  (void)event;
  (void)argument;
  (void)object;
  return Answer(SetDetail(Status::kFeatureRemoved, kLowLevelTask));
}

Status RegisterApplicationHooks() {
  for (const HookEntry& h : kHooks) {
    // An empty entry leaves the slot to whoever fills it (a window layer
    // registering the runtime's own handler).
    if (h.handler == nullptr) continue;
    if (RegisterHook(h.slot, h.handler) == kHookRejected) return Status(kHookRejected);
  }
  return Status::kOk;
}

}  // namespace tessaly
