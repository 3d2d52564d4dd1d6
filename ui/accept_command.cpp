// The ACCEPT procedure command and the registration of the captures.

#include "core/flags.h"
#include "core/process.h"
#include "core/string_area.h"
#include "proc/commands.h"
#include "proc/commands_internal.h"
#include "ui/accept.h"

namespace tessaly {

namespace {

// ACCEPT field list[,title]: a capture stored as confirmed. `_STAT` says
// how it ended (0 stored, 122 cancelled) and the run goes on either way;
// only failures end it.
Status AcceptCommand(int command, int count, const CommandArgument* args) {
  Status checked = proc::CheckArgumentCount(command, count, 1, 2);
  if (!checked.ok()) return checked;
  if (args[0].text.empty()) return SetDetail(Status::kBadInputData, "ACCEPT");
  AreaMark mark;
  Slice title = count >= 2 ? args[1].text : Slice();
  AcceptResult result = AcceptAndStore(title, args[0].text);
  if (result.status.ok() || result.status == Status::kUserCanceled) {
    SetWord(kStat, result.status.code());
    return mark.Release(Status::kOk);
  }
  return mark.Release(result.status);
}

}  // namespace

void InstallCaptureWindows() {
  // A batch run takes its values from the INPUT file; without one the
  // window layer answers that no window can be shown.
  SetProcessHandler(kProcAcceptRun, &AcceptRunProcess, /*needs_window=*/false);
  (void)SetCommandHandler(kCmdAccept, &AcceptCommand);
}

}  // namespace tessaly
