#include "app/tessaly_app.h"

#include <utility>

#include "app/app_functions.h"
#include "app/app_hooks.h"
#include "core/environment_table.h"
#include "core/folders.h"
#include "core/process.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

constexpr int kPhaseMask = 0x0F;

Status Initialise() {
  Status status = RegisterApplicationHooks();
  if (!status.ok()) return status;
  return RegisterApplicationFunctions();
}

Status StartApplication() {
  AreaMark mark;
  // Registered again in case the function list was rebuilt since the
  // initialise phase; registering keeps existing codes.
  Status status = RegisterApplicationFunctions();
  if (!status.ok()) return mark.Release(status);
  Slice first_folder = Trim(Item(GetEnvironment(kEnvDefaultFolder), ',', 1));
  status = SetEnvironment(kEnvHelpFolder, JoinPath(first_folder, kHelpFolderName));
  if (!status.ok()) return mark.Release(status);
  status = EvaluateForErrors(kTessalyDefaults);
  if (!status.ok()) return mark.Release(status);
  status = LoadParameterFiles(kApplicationParameterFiles);
  if (!status.ok()) return mark.Release(status);
  return mark.Release(SessionStatus(kSessionStart));
}

}  // namespace

Status TessalyCallback(int32_t argument) {
  switch (argument & kPhaseMask) {
    case kPhaseInitialise:
      return Initialise();
    case kPhaseStart:
      return StartApplication();
    case kPhaseEnd:
      return Status::kOk;
    default:
      return Status::kBadInputData;
  }
}

Status TessalyDispatch(uint32_t code, Slice parameters) {
  Status status = SessionStatus(kSessionCheck);
  if (!status.ok()) return status;
  switch (ProcessNumberOf(code)) {
    case kProcMantMain:
    case kProcLnManMain:
      return RunProcessHandler(ProcessNumberOf(code), parameters);
    case kProcFileTrans:
      return SetDetail(Status::kFeatureRemoved, kFileTransferTask);
    default:
      return RuntimeDispatch(code, parameters);
  }
}

StartupParameters TessalyStartupParameters(std::string command_line) {
  StartupParameters p;
  p.command_line = std::move(command_line);
  p.application_id = kTessalyIdentifier;
  p.title = kTessalyTitle;
  p.flags = kTessalyStartFlags;
  p.callback = &TessalyCallback;
  p.dispatcher = &TessalyDispatch;
  return p;
}

}  // namespace tessaly
