// The embedded application "Tessaly": what the entry point hands the
// start-up sequence (core/startup.h) to run it.
//
//   StartupParameters p = TessalyStartupParameters(command_line);
//   return RunEntryPoint(p);
//
// The runtime reaches the application only through these: the callback of
// its phases, its process dispatcher, and what the callback registers (the
// hooks of app/app_hooks.h and the functions of app/app_functions.h).
//
// Callback phases (argument = start flags x 16 + phase):
//   1 initialise  registers the hooks and the functions;
//   2 start       the help folder "Help" under the first default folder;
//                 the default assignments kTessalyDefaults; the parameter
//                 files kApplicationParameterFiles (so that they may
//                 override the defaults); then the session status file is
//                 opened (recovery is offered after an unclean end);
//   3 end         nothing left to release.
//
// Process dispatcher, for every request:
//   1. the session status file must still be this process's (139 when
//      another process has taken the session over);
//   2. MantMain (5) and LnManMain (8) open the maintenance and document
//      windows registered for them (core/process.h: 148 naming what is
//      missing while no window layer has registered them);
//   3. FileTrans answers 148 "FileTransWizzard" (no longer available);
//   4. every other process, menu commands included, is the runtime's.
#pragma once

#include <cstdint>
#include <string>

#include "core/slice.h"
#include "core/startup.h"

namespace tessaly {

inline constexpr char kTessalyIdentifier[] = "TYRBNQD1:VizuzIzeri";
inline constexpr char kTessalyTitle[] = "Tessaly";
inline constexpr uint8_t kTessalyStartFlags = kStartLoadDictionary;
inline constexpr char kTessalyDefaults[] =
    "RLV=1;DOCSB$='BUDGET';DOCSO$='ORDER';DOCSS$='DELIVER,INVOICE'";
inline constexpr char kHelpFolderName[] = "Help";
inline constexpr char kFileTransferTask[] = "FileTransWizzard";

Status TessalyCallback(int32_t argument);
Status TessalyDispatch(uint32_t code, Slice parameters);

// The start-up parameters of the application for `command_line` (the
// program and its arguments joined, see JoinArguments): its identifier,
// title, start flags 2, callback and dispatcher.
StartupParameters TessalyStartupParameters(std::string command_line);

}  // namespace tessaly
