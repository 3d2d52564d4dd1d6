// The procedure layer's place in the runtime: the PrcExec process and the
// standard command dispatcher.

#include "core/process.h"
#include "proc/commands.h"
#include "proc/procedures.h"

namespace tessaly {
namespace {

// PrcExec <run text>: the request's parameters are a run text. A selection
// of files ('*' in the parameters) is offered by the runtime's dispatcher,
// which then runs each chosen file through here.
Status PrcExec(int number, Slice parameters) {
  (void)number;
  return ProcedureRun(parameters);
}

}  // namespace

void InstallProcedures() {
  SetProcessHandler(kProcPrcExec, &PrcExec, false);
  InstallStandardCommands();
}

}  // namespace tessaly
