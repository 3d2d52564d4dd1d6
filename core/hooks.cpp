#include "core/hooks.h"

namespace tessaly {
namespace {
HookFn g_hooks[kHookCount] = {};
}

int RegisterHook(int slot, HookFn fn) {
  if (slot < 0 || slot >= kHookCount) return kHookRejected;
  g_hooks[slot] = fn;
  return slot;
}

HookFn GetHook(int slot) { return (slot >= 0 && slot < kHookCount) ? g_hooks[slot] : nullptr; }

Slice CallHook(int slot, int request, Slice argument, void* object) {
  HookFn fn = GetHook(slot);
  if (!fn) return Slice::Error(Status::kFeatureRemoved);
  return fn(request, argument, object);
}

void ClearHooks() {
  for (auto& h : g_hooks) h = nullptr;
}

}  // namespace tessaly
