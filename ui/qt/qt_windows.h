// The window layer over Qt 6 Widgets, and the message boxes shown with it.
//
// InstallQtWindows creates the application object when none exists, and
// installs the layer (ui/window_layer.h), the message boxes
// (core/message_box.h) and the file services' dialogs and progress
// displays (ui/qt/qt_choices.h). Every window is a top-level QMainWindow whose
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
// Lists and combo boxes: a double click in a list view, and Enter in a
// combo box, send the confirm command 3100; Enter on a list view's selected
// row sets `_LASTKEY` to 4 and dispatches action 94; Esc in either takes the
// action the key map gives to Esc.
//
// Configured screen size: SCRWID and SCRHIG on the command line replace the
// desktop's work area; windows are then never shown maximized.
//
// `_COMPAT` bit 512 makes the field controls plain: no key translation and
// no scanner, the toolkit's own keys (Tab moves the focus).
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
class QPixmap;
class QRect;

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

// The area windows are placed in: the desktop's work area, or the one SCRWID
// and SCRHIG configure (then `configured` is set).
QRect WorkArea(bool* configured = nullptr);

// ---- Font table -----------------------------------------------------------------------

// Registers a font entry (at most 6; a seventh is ignored and answers 0):
// a height or width of -1 takes the current cell's; weight 0 is 400 and 1
// is 700. Answers the entry's number.
int RegisterWindowFont(int height, int width, int weight, Slice face);
// Makes entry n the current one; 163 when it does not exist.
Status SelectFontEntry(int n);
// The current entry: the one selected, else the window font, else entry 1.
int CurrentFontEntry();
// Gives `control` the font of a kind: 0 the system font, 2 the current
// entry; other kinds answer 163 and change nothing.
Status SetControlFont(QWidget* control, int kind);
// The runtime's own start-up logo (kLogoPicture).
QPixmap LogoPixmap();

// ---- Private messages -------------------------------------------------------------------

// Posts "a scanner port has data" to a window: once the event loop runs, it
// dispatches action 23 with `parameter` (0-255). False without the window.
bool PostPortData(WindowId window, int parameter);
// Posts "open the field's window" to the edit control of `field`: it
// dispatches action 18 from that field. False without an edit control.
bool PostFieldWindowRequest(WindowId window, int field);

// ---- For tests and the executable ---------------------------------------------------

// The window of a slot; null when the slot is free.
QWidget* WindowWidget(WindowId window);
// The control of field f in the window; null when none.
QWidget* FieldWidget(WindowId window, int field);
// The list view of a slot, the combo box of a slot, the picture; null when
// none.
QWidget* ListViewWidget(int view);
QWidget* ComboWidget(int combo);
QWidget* PictureWidget();
// The main window (the one opened with main_window); kNoWindow when none.
WindowId MainWindow();
// Whether the window is enabled for input (a modal window above it
// disables it).
bool WindowEnabled(WindowId window);

}  // namespace tessaly
