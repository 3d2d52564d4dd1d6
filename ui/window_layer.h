// The window layer as the screen model and the windows above it see it: the
// operations on windows and their controls that the logic needs, in the
// grid of character cells, never in pixels or toolkit types.
//
// The Qt implementation (ui/qt/) installs itself at start-up with
// SetWindowLayer. Until then, and in batch runs, a headless layer answers:
// there is no window (TopWindow() is kNoWindow), every operation on a
// window succeeds without effect and a control's text reads empty, so that
// screens compile, compute and store their values without a display. Tests
// install a RecordingWindowLayer (ui/recording_window_layer.h).
//
// Identities:
// - A window is named by its slot in the window stack (0-31); kNoWindow
//   stands for none. The layer owns the stack; the model only remembers the
//   window an instance is shown in.
// - The control of field f of a screen has the identifier 1999 + f; the
//   static label of a layout line at (row, column) has 4000 + column +
//   row * columns. The layer derives them; callers name fields by number.
// - Rows and columns are 1-based cells of the screen geometry in force
//   (ui/screen.h); the layer converts them to pixels with its cell metrics,
//   the margins and the line spacing.
//
// Texts are Windows-1252; the layer converts them for its toolkit.
//
// Every operation answers 0 or a status: 179 (Windows Control Error) when a
// control cannot be created or set, 163 for a window or field it does not
// know.
#pragma once

#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

using WindowId = int;
inline constexpr WindowId kNoWindow = -1;

// The identifier of the control of field `field`.
inline constexpr int FieldControlId(int field) { return 1999 + field; }

// What a field control looks like, decided by the screen model from the
// field's definition.
struct FieldControlSpec {
  int field = 0;          // field number; the control's identifier is 1999 + field
  int row = 0;            // cell position, 1-based
  int column = 0;
  int shown_width = 0;    // cells the control occupies (the edit-control width formula)
  int display_width = 0;  // characters the user may type (the input limit)
  char type = 'A';        // the field's type letter
  bool read_only = false; // not editable, or the screen's first field
  bool password = false;  // type P: typed characters are shown masked
  bool right_aligned = false;  // the numeric types "NL123456789"
  bool check_box = false;      // a logical field shown as a check box, four cells wide
  bool grid = false;           // a cell of a grid row: no sunken edge, kept topmost
};

// Flags of SetFieldText.
enum FieldTextFlags : int {
  // The control is a check box: the text is the stored logical "0" or "1"
  // and sets the check state.
  kFieldTextCheckBox = 16,
};

// ---- Windows, their loops and menu bars ----------------------------------------

// The kinds of window (0-11); a kind selects the class, the style and the
// show state. Kinds 3-7, 9 and 10 are modal: the window below is disabled
// while they are open. Kind 11 opens maximized.
inline constexpr int kWindowKindCount = 12;
bool IsModalKind(int kind);

// Flags of a window request.
enum WindowFlags : int {
  kWindowAtFocus = 64,   // placed beside the focused control of the window below
  kWindowModal = 128,    // modal whatever its kind
};

// Handles an action code (action in the low byte, parameter in the high
// byte) dispatched from a window. A result below 128 with bit 8 closes the
// window; its loop then answers the result with bits 4, 8 and 16 cleared.
using WindowActionFn = Status (*)(void* context, WindowId window, int action);

// An entry of a menu bar: a popup (with entries) or a command item whose
// identifier routes its pick (1500 + n gives action 16 with parameter n).
struct MenuEntry {
  std::string title;  // Windows-1252
  int id = 0;         // command items; 0 for popups
  bool popup = false;
  std::vector<MenuEntry> entries;
};

// Where a push button goes, in cells of the window's content. A negative
// column counts from the right edge (-14: its left side 14 columns before
// the right edge); a negative row counts from the bottom (-1: the bottom
// row). `half_up` lifts it by half a cell.
struct ButtonSpec {
  int id = 0;
  std::string text;  // Windows-1252
  int row = 0;
  int column = 0;
  int width = 12;    // cells; one cell high
  bool half_up = false;
};

// A list view: its cell rectangle in the window.
struct ListViewSpec {
  int row = 1;
  int column = 1;
  int columns = 40;
  int rows = 10;
};

// A combo box at a cell: the items of a comma list; `drop_down` gives a
// closed list five lines high when open, else every item is shown.
struct ComboSpec {
  int row = 1;
  int column = 1;
  std::string list;  // Windows-1252, comma-separated
  bool drop_down = true;
};

// ShowPicture's name for the runtime's own start-up logo.
inline constexpr const char* kLogoPicture = "#102";

struct WindowRequest {
  int kind = 0;             // 0-11; others are refused with 163
  int flags = 0;            // WindowFlags
  Slice title;
  int columns = -1;         // content size in cells; -1 the geometry's
  int rows = -1;
  const std::vector<MenuEntry>* menu = nullptr;  // the menu bar's popups and items
  bool main_window = false; // closing it asks action 17 instead of 28
  // Null: actions go to the screen instance shown in the window.
  WindowActionFn action = nullptr;
  void* context = nullptr;
};

class WindowLayer {
 public:
  virtual ~WindowLayer() = default;

  // The window on top of the window stack (the owner of new windows and the
  // one a loaded screen is drawn in); kNoWindow when none is open.
  virtual WindowId TopWindow() = 0;

  // The window's title.
  virtual Status SetWindowTitle(WindowId window, Slice title) = 0;

  // A right-aligned static text at (row, column), as wide as the text in
  // cells and one cell high; an existing label at the same cell is replaced.
  virtual Status StaticText(WindowId window, int row, int column, Slice text) = 0;

  // Creates the control of a field (an existing control of the same field is
  // replaced). Hidden fields never get one.
  virtual Status CreateFieldControl(WindowId window, const FieldControlSpec& spec) = 0;

  // Replaces the text the field's control shows (the display form of its
  // value); with kFieldTextCheckBox the check state follows "0"/"1".
  virtual Status SetFieldText(WindowId window, int field, Slice text, int flags) = 0;

  // What the field's control holds now, as the user typed it; empty when
  // the field has no control. On the string area.
  virtual Slice FieldControlText(WindowId window, int field) = 0;

  // Gives the field's control the input focus; with `select_all` its text is
  // selected.
  virtual Status FocusField(WindowId window, int field, bool select_all) = 0;

  // Enables or disables the field's control (a disabled control takes no
  // focus and no input).
  virtual Status EnableField(WindowId window, int field, bool enabled) = 0;

  // Shows or hides the field's control.
  virtual Status ShowField(WindowId window, int field, bool visible) = 0;

  // The text of the window's status line (a gray area with white centred
  // text).
  virtual Status SetStatusLine(WindowId window, Slice text) = 0;

  // ---- Windows and loops (a layer without a display has none) ----

  // Opens a window of a kind on top of the window stack (32 windows at
  // most) and returns it; kNoWindow with `status` set when it cannot (163
  // for a bad kind, 179 for a full stack, 143 without a display).
  virtual WindowId OpenWindow(const WindowRequest& request, Status* status) {
    (void)request;
    *status = Status::kScreenEnviron;
    return kNoWindow;
  }
  // Shows the window and runs its loop until it closes; answers the result
  // it closed with. Windows opened meanwhile run their own loops inside.
  virtual Status RunWindow(WindowId window) {
    (void)window;
    return Status::kScreenEnviron;
  }
  // Closes the window (its loop answers `result`); the window below is
  // enabled and focused again.
  virtual Status CloseWindow(WindowId window, Status result) {
    (void)window;
    (void)result;
    return Status::kScreenEnviron;
  }
  // Closes every window, top first.
  virtual void CloseAllWindows() {}
  // Handles the pending window messages without waiting; false when no
  // window is left.
  virtual bool PumpMessages() { return false; }
  // Open windows (runtime array 5 holds their order, bottom first).
  virtual int WindowCount() { return 0; }

  // The action handler of an open window (its request's), so that a window
  // procedure can be called as the toolkit would; null when none.
  virtual WindowActionFn WindowAction(WindowId window, void** context) {
    (void)window;
    *context = nullptr;
    return nullptr;
  }

  // ---- Buttons --------------------------------------------------------------------

  // Creates a push button whose click routes its identifier (see the table
  // above WindowRequest: 3100 confirm, 3101 the second dialog button, 1500 +
  // k, 1700 + k, 3000 + k ...). An existing control of the identifier is
  // replaced.
  virtual Status CreateButton(WindowId window, const ButtonSpec& spec) {
    (void)window;
    (void)spec;
    return Status::kScreenEnviron;
  }
  // Whether the window has a control of that identifier (fields 1999 + f,
  // buttons, labels 4000 + ...).
  virtual bool HasControl(WindowId window, int id) {
    (void)window;
    (void)id;
    return false;
  }
  // Replaces the text of a control by identifier (a button's caption, a
  // label); 179 when it has none.
  virtual Status SetControlText(WindowId window, int id, Slice text) {
    (void)window;
    (void)id;
    (void)text;
    return Status::kWindowsControlError;
  }

  // ---- List views (4 slots) ---------------------------------------------------------
  // Report views with one selectable row at a time, grid lines, full-row
  // selection and movable headers, black on light blue, the table font.
  // Rows and columns of a view are 0-based. A view answers -1 (no slot) when
  // all four are in use or there is no window.

  virtual int ListViewCreate(WindowId window, const ListViewSpec& spec) {
    (void)window;
    (void)spec;
    return -1;
  }
  // Appends a column `width` cells wide; numeric types ("NL123456789") are
  // right-aligned.
  virtual Status ListViewAddColumn(int view, Slice title, int width, char type) {
    (void)view;
    (void)title;
    (void)width;
    (void)type;
    return Status::kWindowsControlError;
  }
  // Sets the text of a cell, adding rows up to `row` as needed.
  virtual Status ListViewSetItem(int view, int row, int column, Slice text) {
    (void)view;
    (void)row;
    (void)column;
    (void)text;
    return Status::kWindowsControlError;
  }
  // The text of a cell; empty outside. On the string area.
  virtual Slice ListViewItem(int view, int row, int column) {
    (void)view;
    (void)row;
    (void)column;
    return Slice();
  }
  virtual int ListViewRowCount(int view) {
    (void)view;
    return 0;
  }
  // Deletes every row (the columns stay).
  virtual Status ListViewClear(int view) {
    (void)view;
    return Status::kWindowsControlError;
  }
  // The selected row; -1 when none is.
  virtual int ListViewSelected(int view) {
    (void)view;
    return -1;
  }
  // The row under the mouse pointer; -1 when none is.
  virtual int ListViewRowAtCursor(int view) {
    (void)view;
    return -1;
  }
  // Selects (and makes visible) or unselects a row.
  virtual Status ListViewSelect(int view, int row, bool selected) {
    (void)view;
    (void)row;
    (void)selected;
    return Status::kWindowsControlError;
  }
  // Scrolls by whole lines (negative: up).
  virtual Status ListViewScroll(int view, int lines) {
    (void)view;
    (void)lines;
    return Status::kWindowsControlError;
  }
  // Shows the view and gives it the input focus.
  virtual Status ListViewShow(int view) {
    (void)view;
    return Status::kWindowsControlError;
  }
  // Destroys one view, or every view with -1.
  virtual void ListViewDestroy(int view) { (void)view; }

  // ---- Combo boxes (80 slots) -------------------------------------------------------
  // The items of a comma list, trimmed, 0-based. Enter in the box sends the
  // confirm command 3100 to its window; Esc the key map's action for Esc.

  virtual int ComboCreate(WindowId window, const ComboSpec& spec) {
    (void)window;
    (void)spec;
    return -1;
  }
  // The selected item; -1 when none is.
  virtual int ComboSelection(int combo) {
    (void)combo;
    return -1;
  }
  virtual Status ComboSelect(int combo, int item) {
    (void)combo;
    (void)item;
    return Status::kWindowsControlError;
  }
  // Destroys one combo box, or every one with -1.
  virtual void ComboDestroy(int combo) { (void)combo; }

  // ---- The picture --------------------------------------------------------------------

  // Shows one picture at a time in the window, centred in a sunken frame
  // 3 pixels inside the client area: an image file (a partner logo), or the
  // runtime's own logo for kLogoPicture. A picture that cannot be loaded
  // leaves the previous one and answers 163.
  virtual Status ShowPicture(WindowId window, Slice file) {
    (void)window;
    (void)file;
    return Status::kScreenEnviron;
  }
};

// Installs the window layer (null: the headless one). Not owned; returns the
// one installed before.
WindowLayer* SetWindowLayer(WindowLayer* layer);
// The installed window layer, or the headless one.
WindowLayer& Windows();

}  // namespace tessaly
