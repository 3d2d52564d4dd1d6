// The hook table: 25 slots through which the runtime calls what a higher
// layer or the embedded application provides.
//
// Slots in use: 0 screen-field handler (read = 1, read saved = 2, assign = 5),
// 1 application command hook, 2 application function hook, 3 relation hook,
// 4-8, 10-12, 22 and 23 registered by the application (capture results,
// document printing, procedures, steps, quick search, invoicing, payments,
// invoice actions, help, progress).
//
// Every hook has one shape: a request number, a text argument and an optional
// object. It answers with a slice: a text result, or an error slice carrying
// its status (status 0 is a valid empty slice). 163 from hook 0 means "not
// mine"; 148 from an application hook means "do the runtime's default".
#pragma once

#include "core/slice.h"

namespace tessaly {

using HookFn = Slice (*)(int request, Slice argument, void* object);

inline constexpr int kHookCount = 25;
inline constexpr int kHookRejected = 255;

enum HookSlot : int {
  kHookScreenField = 0,
  kHookCommand = 1,
  kHookFunction = 2,
  kHookRelation = 3,
  kHookHelp = 22,
  kHookProgress = 23,
};

// Returns the slot, or 255 (nothing changed) above 24.
int RegisterHook(int slot, HookFn fn);
HookFn GetHook(int slot);
// Calls the hook when set; the error slice 148 when it is not.
Slice CallHook(int slot, int request, Slice argument, void* object = nullptr);
void ClearHooks();

}  // namespace tessaly
