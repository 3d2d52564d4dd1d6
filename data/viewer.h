// Choosing a folder and opening files with the desktop's viewer programs.
//
// Viewers are numbered as the applications name them:
//   1 text editor   2 web browser   3 PDF reader   4 word processor
//   5 office suite
// Each opens with `xdg-open`, which hands the file to the program the
// desktop associates with it; the environment variable TESSALY_VIEWERn
// (n = 1-5) names another program for viewer n. The program is started with
// an argument vector (program, argument), never through a shell, and is not
// waited for.
#pragma once

#include "core/slice.h"

namespace tessaly {

inline constexpr int kViewerCount = 5;
inline constexpr char kDefaultViewer[] = "xdg-open";
inline constexpr char kViewerVariable[] = "TESSALY_VIEWER";

// The program of viewer n: TESSALY_VIEWERn when set, else "xdg-open";
// empty for a number outside 1-5. On the string area.
Slice ViewerProgram(int viewer);

// Starts viewer `viewer` on `argument` (a file, or anything the program
// reads, such as an address). One pair of enclosing quotes is removed; an
// argument that names an existing file in the runtime's path form is
// handed over as its Linux path. 0 when the program started, -1 when it
// could not be started (the detail names it, status 167).
int ViewerStart(int viewer, Slice argument);

// Lets the user choose a folder, starting at `start`, under `title`
// (message 0049 "Choose Selection" when empty), through the installed
// choices (data/choices.h). The chosen folder on the string area, or empty
// when none was chosen.
Slice FolderChoose(Slice start, Slice title);

}  // namespace tessaly
