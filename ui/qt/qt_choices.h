// The desktop's answers to the file services (data/choices.h) and the
// progress display of long procedures (STATSTEPS, proc/commands.h).
//
// InstallQtWindows installs both, RemoveQtWindows puts the headless ones
// back. While the batch INPUT file runs (`_INHND` holds its stream) every
// question is answered from it, as in a batch run, so that a scripted run
// on a desktop never waits for somebody to click.
//
//   - A folder or a file: the toolkit's own file dialog (never the
//     desktop's native one, so that the pattern is matched without regard
//     to letter case and the keys are the same everywhere). Paths cross in
//     the runtime's form: the start is resolved to the Linux folder it
//     names, the answer is the chosen Linux path in Windows-1252 with '\'
//     separators, which resolves back to the same file. A name the runtime
//     cannot write (characters outside Windows-1252, or a '\' inside a
//     name) is refused with message 0004 and the dialog stays open.
//   - An item: the runtime's selection window (ui/choose.h).
//   - Progress: a modal dialog titled with message 0016 and a Cancel button
//     (message 0020). It appears only once the work has gone on for a short
//     while (ProgressShowDelay), so that quick jobs do not flash. Each step
//     processes pending window messages (at most every few milliseconds);
//     until the dialog is on screen, and after it was cancelled, user input
//     is held back, so that nothing else starts in the middle of the work.
//     Cancel makes the next steps of the file services answer false; for a
//     procedure it breaks the run at its next line (status 122).
#pragma once

class QProgressDialog;

namespace tessaly {

void InstallQtChoices();
void RemoveQtChoices();
bool QtChoicesInstalled();

// ---- For tests ----------------------------------------------------------------------

// How long work goes on before its progress dialog appears (500 ms).
int ProgressShowDelay();
void SetProgressShowDelay(int milliseconds);
// The progress dialog of the file services and the one of procedures; null
// when none is open.
QProgressDialog* ChoicesProgressDialog();
QProgressDialog* ProcedureProgressDialog();

}  // namespace tessaly
