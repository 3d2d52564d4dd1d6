// The application's hooks: the numbered handlers the runtime's windows call
// (core/hooks.h), registered in the initialise phase.
//
//   slot  handler                         on the confirming event (25)
//   4     parameter-file capture          the runtime's capture handler
//   5     report from the screen          the runtime's report handler
//   6     process-list runner             COND$ becomes the global report
//                                         condition (settings table 9,
//                                         item 1); the process requests of
//                                         STEPS$ run in order, stopping at
//                                         the first failure
//   7     steps stub                      reads STEPS$ and RESET$; 148
//   8     quick search of documents
//   10    invoicing batch
//   11    payments window
//   12    invoice window actions
//   22    help                            the runtime's help handler
//   23    "TaskLowLevel"                  148 on every request, so the
//                                         runtime does its own default
//
// Every hook acts only on event 25 (the "Ok" button) and answers any other
// event with status 0, so the window goes on with its default handling.
// Slots whose handler belongs to a window of the runtime or of the
// application that is not built yet stay empty: the runtime then does its
// own default, as it does for an answer of 148.
#pragma once

#include "core/hooks.h"
#include "core/slice.h"

namespace tessaly {

inline constexpr int kConfirmEvent = 25;
// Settings table and item of the global report condition.
inline constexpr int kSettingsTable = 9;
inline constexpr int kReportConditionItem = 1;
inline constexpr char kLowLevelTask[] = "TaskLowLevel";

// Registers the application's hooks; 255 when a slot is refused.
Status RegisterApplicationHooks();

// The handlers, for the runtime's windows and for tests.
Slice ProcessListHook(int event, Slice argument, void* object);
Slice StepsStubHook(int event, Slice argument, void* object);
Slice LowLevelTaskHook(int event, Slice argument, void* object);

}  // namespace tessaly
