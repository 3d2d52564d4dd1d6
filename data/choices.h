// What the file services ask of the user: a folder, a file to open, one item
// of a list, and a progress display while they work.
//
// The window layer installs its dialogs (InstallChoices). Until it does,
// and in batch runs, the headless choices answer:
//   - a folder, a file or an item is the next line of the batch INPUT file
//     (the stream held in `_INHND` while the INPUT file runs), trimmed, one
//     pair of enclosing quotes removed and %NAME% names expanded; an empty
//     line, the end of the file, or no INPUT file at all is no choice (the
//     caller then ends with 122, "User Canceled");
//   - an item line is either the item's number (1-based) or its text,
//     compared without regard to letter case;
//   - the progress display shows nothing and never asks to stop.
//
// So a batch backup reads its folder from the line after its request:
//
//     Copy 0
//     %APPPATH_BACKREL%\monday
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

class Choices {
 public:
  virtual ~Choices() = default;
  // A folder, starting at `start`, under `title`. On the string area; empty
  // when none was chosen.
  virtual Slice ChooseFolder(Slice start, Slice title) = 0;
  // An existing file to open, starting in `folder`, offering the names that
  // match `pattern` ("*.DIR"). On the string area; empty when none.
  virtual Slice ChooseFile(Slice folder, Slice pattern, Slice title) = 0;
  // One of the comma-separated `items`: its 1-based number, 0 when none.
  virtual int ChooseItem(Slice title, Slice items) = 0;

  // A progress display of `steps` steps under `title`.
  virtual void ProgressOpen(Slice title, int64_t steps) = 0;
  // `done` of `total` (the steps of the display, or the units of a part of
  // the work). False when the user asked to stop.
  virtual bool ProgressStep(int64_t done, int64_t total) = 0;
  virtual void ProgressClose() = 0;
  // The work of the display opened last cannot be stopped halfway (a
  // reorganisation rebuilding an index): the display offers no way to stop
  // it, and its steps always answer true.
  virtual void ProgressUnstoppable() {}
};

// The answers of a batch run, described above.
class HeadlessChoices : public Choices {
 public:
  Slice ChooseFolder(Slice start, Slice title) override;
  Slice ChooseFile(Slice folder, Slice pattern, Slice title) override;
  int ChooseItem(Slice title, Slice items) override;
  void ProgressOpen(Slice, int64_t) override {}
  bool ProgressStep(int64_t, int64_t) override { return true; }
  void ProgressClose() override {}
};

// The next answer line of the batch INPUT file, cleaned as above; empty when
// there is no INPUT file or it has ended. On the string area.
Slice BatchAnswer();

// Installs `choices` (not owned; null restores the headless ones); returns
// the previous ones.
Choices* InstallChoices(Choices* choices);
Choices& CurrentChoices();

// A progress display open for the life of a scope.
class ScopedProgress {
 public:
  ScopedProgress(Slice title, int64_t steps, bool can_stop = true) {
    CurrentChoices().ProgressOpen(title, steps);
    if (!can_stop) CurrentChoices().ProgressUnstoppable();
  }
  ~ScopedProgress() { CurrentChoices().ProgressClose(); }
  ScopedProgress(const ScopedProgress&) = delete;
  ScopedProgress& operator=(const ScopedProgress&) = delete;
};

}  // namespace tessaly
