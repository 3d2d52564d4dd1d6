// The screen model: where screens come from, how they are compiled into
// screen definitions, the table of definitions and the stack of open screen
// instances, the screen geometry, the value operations on fields (compute,
// check, store, recompute dependants), the order in which fields are
// visited, and the screen action callbacks. Every window that shows fields
// (capture, maintenance, documents, grids) works through this module; it
// reaches windows only through the window layer (ui/window_layer.h).
//
// Sources of a screen:
// - A layout file "<name>.PAN" (tagged lines of layout 2, the screen number
//   in columns 2-3) whose contents are fixed-column texts, columns from 0:
//     0     line kind: '1' field line, '0' label line, others ignored
//     1-2   row            3-4   column
//     5-6   field lines: file number (0 none)   7-8  field number in it
//     9-10  field lines: width                   11   field lines: type letter
//     5-    label lines: the label text
//   A label at row 1, column 1 whose text begins with "<" titles the top
//   window instead (its text from column 8, after the marker "<?>").
// - Options: the lines of "<name>.PPN" (layout 1) with the same number,
//   joined into a parameter set (data/parameters.h).
// - A field specification list "FIELD{,FIELD} [/OPTIONS]" written inline,
//   each FIELD up to five ':' parts: label expression, type-and-width
//   expression ('A30', '29', 'D10'), variable, default, assignment target. A
//   one-part FIELD is a field reference NAME{F}. "/ROW=n" and "/COL=n" in a
//   FIELD place it; a label may begin with "{row,column}".
//
// Numbering: fields from 1 in screen order; definitions from 0 in a table
// that reuses free numbers; instances from 0 in a stack (runtime array 4),
// the last on top. One instance is current, and its definition with it;
// every field operation below works on the current instance.
//
// Lifetime: a definition lives from its first load to the close of its last
// instance (reference count). Pointers returned by the accessors stay valid
// until the next load, open or close of a screen.
//
// Statuses: an unusable field (its status nonzero) answers its status to
// every operation; a field number outside the screen is 168, or 124 when the
// screen was loaded with load mode bit 2; no open screen is 143.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"
#include "ui/window_layer.h"

namespace tessaly {

// ---- Fields and definitions -------------------------------------------------------

// Bits of a field's flags, set when the screen is compiled.
enum ScreenFieldFlags : uint16_t {
  kFieldClear = 1,        // CLEAR$ item empty or 0: clearing takes the text unconverted
  kFieldFile = 2,         // bound to a data-file field
  kFieldComputed = 4,     // has an ASSIGN$ item
  kFieldMainFile = 16,    // bound to the screen's main file
  kFieldPerform = 32,     // has a PERFORM$ item (or a per-field option NAME$)
  kFieldUpdateList = 64,  // has an UPDFIELDS$ item
  kFieldWindow = 256,     // has a WINDOWS$ item
  kFieldEditable = 512,   // takes part in the editing order
  kFieldAlarm = 1024,     // has an ALARM$ item
};

// Bits of the masks the value operations take.
inline constexpr uint16_t kMaskClear = 1;        // the computed value is empty; clear-flagged
                                                 // fields take it unconverted
inline constexpr uint16_t kMaskFiles = 2;        // from the bound data-file field, when its
                                                 // file is the current file
inline constexpr uint16_t kMaskAssign = 4;       // from the ASSIGN$ expression
inline constexpr uint16_t kMaskRecord = 16;      // also store into the main file's record
inline constexpr uint16_t kMaskUpdateList = 32;  // after a change, add the UPDFIELDS$ list to
                                                 // the closure
inline constexpr uint16_t kMaskPerform = 64;     // after a change, refresh the PERFORM$ list
inline constexpr uint16_t kMaskForce = 128;      // store even an unchanged text; closure of
                                                 // every file field
inline constexpr uint16_t kMaskSaved = 512;      // the saved text

// The masks the windows use.
inline constexpr uint16_t kMaskClearAll = 1;     // clear every field
inline constexpr uint16_t kMaskCompute = 6;      // from files and expressions
inline constexpr uint16_t kMaskStoreEmpty = 17;  // an empty value into buffer and record,
                                                 // unconverted
inline constexpr uint16_t kMaskTyped = 116;      // typed or computed text, record, dependants
inline constexpr uint16_t kMaskTypedFiles = 118; // as 116, reading files
inline constexpr uint16_t kMaskReload = 230;     // after a record operation: files,
                                                 // expressions, dependants, forced

// The edit order that marks a hidden field.
inline constexpr int kHiddenEditOrder = 81;

// Load mode bits (bits 1, 2 and 4 of `_SCRSTAT` when the screen is loaded).
enum ScreenLoadMode : int {
  kLoadMissingWarns = 2,  // missing fields answer 124 (not 168); a missing .PAN is no error
  kLoadBindByName = 4,    // fields bind to the main file's fields of the same name
};

// Flags of an inline field list.
enum ScreenListFlags : int {
  kListGridRow = 128,  // one grid row: fields side by side, no labels
};

struct ScreenField {
  Status status;           // 0 usable; else why the field could not be compiled
  int row = 0;             // cell position
  int column = 0;
  int storage_width = 0;   // characters in the screen buffer (a date: at most 8)
  int display_width = 0;   // characters shown and typed
  int shown_width = 0;     // cells of the control (WIDTHS$), clipped to the screen
  int edit_order = 0;      // 0 not editable; kHiddenEditOrder hidden
  bool hidden = false;     // named in HIDDEN$
  int file = 0;            // bound data-file field (0 none)
  int file_field = 0;
  uint16_t flags = 0;      // ScreenFieldFlags
  char type = 'A';
  int offset = 0;          // of the field's text in the screen buffer
  std::string name;        // the FD$ item: a variable name or a field reference
  std::string assign;      // the field's items of ASSIGN$, ALARM$, PERFORM$ ...
  std::string alarm;
  std::string perform;
  std::string update_list;
  std::string window;
  // Inline lists only.
  std::string label;       // the label proper (after its braces)
  int label_row = 0;       // the label's own placement from braces; 0 none
  int label_column = 0;
  std::string spec;        // the FIELD text without "/ROW" and "/COL"
};

// A label line of a layout.
struct ScreenLabel {
  int row = 0;
  int column = 0;
  std::string text;
};

struct ScreenDefinition {
  int number = -1;
  int references = 0;       // open instances
  int bounds_first = 0;     // the line part (repeated per document line); 0, 0 none
  int bounds_last = 0;
  int first_field = 0;      // BEGINFLD% - 1, not below 0
  int list_count = 0;       // items of string table 7 when compiled
  int data_length = 0;      // sum of the storage widths
  int load_mode = 0;        // ScreenLoadMode bits
  int main_file = 0;
  int index_flag = 0;       // 2 when UNICNDX% or AUTONDX% is nonzero
  int key_map = 0;          // KEYMAP%
  int window_flags = 0;     // stored by ScreenSetWin
  std::string name;
  std::string parameters;   // the options, the generated FD$ entry first
  std::vector<ScreenField> fields;  // field n is fields[n - 1]
  std::string set;          // located option values
  std::string ik1;
  std::string relopt;
  // MAX_IDS_ATTR% (identifier, attribute) pairs reserved for buttons.
  std::vector<std::pair<uint16_t, uint16_t>> attributes;
  // Layout screens: the label lines, and the title of a "<?>" line.
  std::vector<ScreenLabel> labels;
  bool has_title = false;
  std::string title_text;

  int field_count() const { return static_cast<int>(fields.size()); }
  // Field n (1-based); null outside.
  const ScreenField* field(int n) const {
    return n >= 1 && n <= field_count() ? &fields[static_cast<size_t>(n - 1)] : nullptr;
  }
  bool has_line_part() const { return bounds_first != 0; }
  bool in_line_part(int n) const {
    return bounds_first != 0 && n >= bounds_first && n <= bounds_last;
  }
};

// ---- Instances and their callbacks -------------------------------------------------

// The action handler answers a status for an action code (action number in
// the low byte, parameter in the high byte). The field hook is called after
// a handled action with the instance's mode before and after it and answers
// the next action to handle, -1 for none. The close hook is called with the
// low byte of a closing action and the default result and answers the result.
struct ScreenCallbacks {
  Status (*action)(void* context, int action) = nullptr;
  int (*field_hook)(void* context, int mode_before, int mode_after, int action) = nullptr;
  Status (*close)(void* context, int action, Status default_result) = nullptr;
  void* context = nullptr;
};

// State flags of an instance.
enum ScreenStateFlags : uint8_t {
  kStateCallbacksOff = 128,  // the action callbacks are disabled
};

// The maintenance mode of line editing in a document.
inline constexpr int kModeLineEditing = 4;

// One open screen. Its memory (one block of the Screens area) holds the
// screen buffer, the saved buffer and the two record copies.
struct ScreenInstance {
  int definition = -1;
  int current_field = 0;   // the field with the input focus (0 none)
  int window_field = 0;    // the field whose field window opened last
  int file = 0;            // the definition's main file
  int index = 1;           // INDEX%, 1 when absent
  WindowId window = kNoWindow;
  uint8_t mode = 0;        // the maintenance mode; kModeLineEditing in document lines
  uint8_t state = 0;       // ScreenStateFlags
  // The main file's two record buffers were copied aside when another
  // instance became current; they are put back when this one is current
  // again. A window that wants this instance to keep what another screen
  // loaded into the file clears it.
  bool copies_taken = false;
  uint16_t record_length = 0;
  char* buffer = nullptr;        // data length characters, the fields' current texts
  char* saved = nullptr;         // data length characters, as loaded
  char* record_copies = nullptr; // two records of the main file
  ScreenCallbacks callbacks;
};

// ---- Geometry ---------------------------------------------------------------------

// Cells of the device: columns by rows, margins in columns or rows, line
// spacing in percent of the cell height added between rows.
struct ScreenGeometry {
  int columns = 0;
  int rows = 0;
  int left = 0;
  int top = 0;
  int bottom = 0;
  int spacing = 0;
};

// The override while its width is nonzero, else the base. The base is the
// device size (`_DEVWID` by `_DEVHIG`) with its own margins.
ScreenGeometry ScreenGeometryInForce();
ScreenGeometry ScreenBaseGeometry();
// SCREENSIZE$: items 1-6 of `items` (columns, rows, left, top, bottom,
// spacing) set the override; an absent item leaves its value. The override
// starts as a copy of the base when it is empty. A width of 0 clears the
// left margin, a height of 0 the top and bottom margins and the spacing.
void ScreenGeometrySet(Slice items);
// Sets the margins of the geometry in force.
void ScreenGeometrySetMargins(int left, int top, int bottom);
// What closing a screen does: the override emptied, the base margins 0
// (its line spacing kept).
void ScreenGeometryReset();

// ---- Loading, compiling, instances --------------------------------------------------

struct ScreenLoadRequest {
  Slice file;       // layout and option files, without extension
  Slice name;       // the screen's name; empty: the file name and the number
  int number = 0;   // screen number in both files
  Slice size;       // the caller's size, in the form of SCREENSIZE$; empty none
  int main_file = 0;  // 0: FILEDEF$ item (field count + 1)
  Slice extra;      // pushed on string table 34 for the first field focus
};

// Loads a screen and opens an instance of it: a definition already loaded
// under the name is shared (the last loaded first); otherwise the options
// are read, SCREENSIZE$ and the caller's size applied to the geometry, the
// layout read and compiled. The labels and the title are drawn in the top
// window. The load mode is taken from `_SCRSTAT` bits 1, 2, 4 (bits 8-128
// cleared before, 1-4 after). A missing layout file is 164 naming it
// (unless load mode bit 2). Nothing is pushed on failure.
Status ScreenLoad(const ScreenLoadRequest& request);

// Compiles an inline field specification list (with its " /" options part;
// where the text holds exactly one '/' and several ';', each ';' outside
// quotes reads as ':') into a new definition and opens an instance of it.
// `flags`: kListGridRow. `main_file` as in ScreenLoadRequest.
Status ScreenOpenFieldList(Slice spec, int flags, int main_file = 0);

// Opens another instance of a loaded definition and makes it current.
Status ScreenOpenInstance(int definition);
// Closes instance n (-1: the current one): its memory freed, the instance
// below made current, the definition freed with its last instance, the
// geometry reset. 177 for an instance that is not open.
Status ScreenCloseInstance(int instance = -1);
// Makes instance n current (see ScreenInstance::copies_taken); its key map
// goes into `_KEYMAP`.
Status ScreenSwitchTo(int instance);

int ScreenInstanceCount();
// -1 when no screen is open.
int ScreenCurrentNumber();
ScreenInstance* ScreenInstanceAt(int instance);
ScreenInstance* ScreenCurrentInstance();
const ScreenDefinition* ScreenDefinitionAt(int definition);
const ScreenDefinition* ScreenCurrentDefinition();
// Loaded definitions.
int ScreenDefinitionCount();
// Closes every instance and frees every definition (start-up, tests).
void ScreenResetAll();

// Copies the screen buffer into the saved buffer: the values as loaded,
// against which changes are seen and to which a field is restored.
Status ScreenTakeSaved();

// Stores the window flags in the current definition and, unless flag 1 is
// set, creates the controls of every field outside the line part in the
// instance's window (flag 1 only empties string table 38), in field order:
// read-only when not editable or the screen's first field, password for
// type P, right-aligned for "NL123456789", a check box for a logical while
// `_AUXSTAT` bit 16 is set. No current screen is an assertion failure
// ("ScreenSetWin").
Status ScreenSetWin(int flags);

// ---- Field values --------------------------------------------------------------------

// The field's text in the screen buffer (storage width), or in the saved
// buffer; a view valid until the buffer changes.
Slice ScreenFieldText(int field);
Slice ScreenSavedText(int field);
// The text the field should show under `mask` (see kMask*): its current
// text (mask 0), the saved text (512), the bound file field's value when its
// file is current (2) or when it belongs to another file than the current
// one (any mask without 1), the ASSIGN$ value (4), empty (1), else the
// current text. A failure appends message 0017 to the error detail.
Slice ScreenComputeField(uint16_t mask, int field);
// Sets the field to `text` (as typed or computed, display form): converted
// through the field's type, shown in its control, stored in the buffer, in
// the main file's record (mask 16), and its dependants run (32, 64). An
// unchanged text does nothing more than update the control unless mask 128.
Status ScreenSetField(uint16_t mask, int field, Slice text);
// Computes and sets each field, stopping at the first failure.
Status ScreenRefreshFields(uint16_t mask, const std::vector<int>& fields);
// Refreshes the usable fields from first to last (-1: the last field) whose
// flags share a bit with the mask.
Status ScreenRefreshRange(uint16_t mask, int first, int last);
// The field's ALARM$ check, its PERFORM$ list (mask 64) and the closure of
// update lists (mask 32; every file field with 128).
Status ScreenRunDependants(uint16_t mask, int field);

// 1-based number of the first field whose FD$ name is `name`; 0 when none.
int ScreenFieldByName(Slice name);
// The numbers of the named fields that exist, in list order (',' or ';').
std::vector<int> ScreenFieldsByNames(Slice names);
// The usable fields from first to last (-1: all) whose flags share a bit
// with the mask (0: all); with kFieldEditable, ordered by edit order and
// limited to edit orders from first to last.
std::vector<int> ScreenSelectFields(uint16_t mask, int first, int last);

// The terms of the comma list joined with operator `op` (expr/scanner.h),
// each after bracket expansion, leaving out the terms whose field at the
// same position is empty; terms beyond the field count always count.
Slice ScreenFilledCondition(Slice terms, int op);

// ---- Navigation and actions -------------------------------------------------------------

// The next field from `field` in `direction` (+1, -1) in edit order: inside
// the line part the walk wraps (and sets `_SCRSTAT` bit 16); elsewhere -1
// past the end. A field that is not a candidate gives -1; field 0 (none yet)
// gives the first (or last) candidate.
int ScreenNextField(int field, int direction);
// Moves the input to `field`: the current field's ALARM$ condition must hold
// when it lies before the target, else action 30 is dispatched and 126
// answered. `_CUREDFLD` takes the target either way.
Status ScreenMoveTo(int field);

// Stores the callbacks in the current instance unless its callbacks are
// disabled. No open screen is an assertion failure ("ScreenActionSet").
void ScreenActionSet(const ScreenCallbacks& callbacks);

// Hands the action to the instance's handler (and its field hook, while
// both answer), or, without one, applies the default actions.
Status ScreenDispatch(int action);
// The default actions: 1, 31 next field (end of screen: the last field's
// ALARM$ holds, 64; fails, 126); 2, 32 previous field; 20 restore the field
// from its saved text; 22 to the summary in line editing, else 64; others
// 163. A refused move answers 126.
Status ScreenDefaultAction(int action);

// The close decision of a window loop: a result above 121 stands; action 25
// keeps its result, 28 gives 4, others 24; on 4 the open set is restored
// first when `flags` has 16, and the current instance is closed.
Status ScreenCloseDecision(int action, Status result, int flags);
// The close hook path: cancel (21, 28) evaluates ON_CANCEL$ (a failure is
// the result); confirm (25 with parameter 100) sets `_LASTKEY` 0 and applies
// ON_CONFIRM$; then the close hook (if any) gets the default result (4 for
// 28, else 24).
Status ScreenCloseAction(int action);

// SCRBACK=<text variable>: on confirm the whole screen buffer goes into the
// variable; on restore the variable's text (not longer than the buffer)
// goes into the start of the saved buffer. *handled says whether `value` was
// such a request.
enum class ScrbackUse { kConfirm, kRestore };
Status ScreenScrback(Slice value, ScrbackUse use, bool* handled);

// The value of option `keyword` (data/parameters.h numbers) in the current
// screen's parameter set, or its item `item`; a value that is a %NAME%
// reference is expanded.
Slice ScreenOption(int keyword, int item = 0);

// ---- The screen-field handler (hook 0) ----------------------------------------------

// Answers the variable layer for names of fields of the current screen
// (a name, or a comma list of which the first field name counts): read (1),
// read saved (2), assign (5, the value in a VariableValue object). 163 for
// names that are not fields.
Slice ScreenFieldHook(int request, Slice argument, void* object);
// Registers ScreenFieldHook as hook 0.
void InstallScreenFieldHandler();

}  // namespace tessaly
