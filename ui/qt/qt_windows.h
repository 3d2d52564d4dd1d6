// The window layer over Qt 6 Widgets, and the message boxes shown with it.
//
// InstallQtWindows creates the application object when none exists, and
// installs the layer (ui/window_layer.h) and the message boxes
// (core/message_box.h). Every window is a top-level QMainWindow whose
// client area is a canvas of character cells inside a scroll area, with an
// optional menu bar and a status line at the bottom.
//
// Cells: a cell is (average character width + 1) by (character height + 3)
// pixels of the window font. The registered face "Lucida Console" is the
// desktop's fixed-pitch font. Columns and rows are 1-based and go through
// the screen geometry in force (margins, line spacing):
//   x(k) = (k + left - 1) * cw + 1        y(r) = (r + top - 1) * ch * (100 + sp) / 100 + 1
//
// The window stack: 32 slots; the order list (bottom first) is kept in
// runtime array 5 as 16-bit slot numbers, so that the close request counts
// the open windows. A modal window disables the window below it while it
// is open; closing it re-enables and focuses that window again.
//
// Keys: every field control turns a key into a key index (Enter 0, Esc 3,
// Shift+Tab 8, Tab 9, F1-F11 11-21, Up 22, PgUp 23, Down 28, PgDn 29,
// Ctrl+End 32, others 4 = the control's own), stores it in `_LASTKEY` and
// dispatches the action of the key map `_KEYMAP` selects. Menu items and
// buttons route by identifier: 1500 + k action 16 (k), 1700 + k action 15,
// 3000 + k action 25 (k), 3100 action 25 (100), 3101 action 25 (101),
// 3600 + k action 43, 3650 + k action 44.
//
// TESSALY_SCREENSHOT=<file.png>: the first window shown (the main menu
// window in a normal run) is saved as a picture once it is on screen, and
// the program then closes every window and ends, so that a run without
// anyone watching can be looked at afterwards.
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/status.h"
#include "ui/window_layer.h"

class QWidget;
class QFont;

namespace tessaly {

// Creates the application object (when there is none) and installs the
// layer and its message boxes. `argc`/`argv` must outlive the application.
void InstallQtWindows(int* argc, char** argv);
// Closes every window and uninstalls the layer and its boxes (the headless
// ones answer again); the application object made by InstallQtWindows is
// destroyed with them.
void RemoveQtWindows();
bool QtWindowsInstalled();

// ---- Keys and identifiers (the tables of the layer) -------------------------------

inline constexpr int kKeyIndexCount = 33;
inline constexpr int kKeyOwnedByControl = 4;
// The key index of a Qt key with its modifiers.
int KeyIndexOf(int qt_key, bool shift, bool control);
// The action of key index `index` in key map `map` (0 or 1); 0 for none.
int KeyMapAction(int map, int index);
// The action a command identifier gives; 0 for none.
int ActionOfIdentifier(int id);

// ---- Cell metrics -------------------------------------------------------------------

struct CellMetrics {
  int width = 8;
  int height = 16;
};
CellMetrics CurrentCellMetrics();
// The font of font kind 2: the current table entry, the desktop's
// fixed-pitch font for "Lucida Console".
QFont WindowFont();
int CellX(int column);
int CellY(int row);
int CellsWidth(int columns);
int CellsHeight(int rows);
// Pixel width of an edit control for n characters (at least 15).
int EditWidth(int characters);

// ---- For tests and the executable ---------------------------------------------------

// The window of a slot; null when the slot is free.
QWidget* WindowWidget(WindowId window);
// The control of field f in the window; null when none.
QWidget* FieldWidget(WindowId window, int field);
// The main window (the one opened with main_window); kNoWindow when none.
WindowId MainWindow();
// Whether the window is enabled for input (a modal window above it
// disables it).
bool WindowEnabled(WindowId window);

}  // namespace tessaly
