// What start-up, the process dispatcher and shutdown need from the layers
// above the core: variables and expressions, the dictionary and the data
// files, the stream files, the log, and the windows.
//
// The executable's main.cpp fills one StartupServices from the layers it
// links and installs it before start-up. Every entry may be left null: the
// core then uses its headless default, written beside each entry. Defaults
// that cannot do the work say so with a status naming what is missing
// (148 FEATUREREMOVED with the service as error detail), never by
// pretending to succeed.
#pragma once

#include "core/hooks.h"
#include "core/slice.h"

namespace tessaly {

struct StartupServices {
  // ---- Variables and expressions -----------------------------------------
  // Creates the system variables with their defaults. Default: writes the
  // defaults of the system words (core/flags.h) into runtime array 7.
  void (*create_variables)() = nullptr;
  // Releases every variable and array at shutdown. Default: nothing beyond
  // the runtime arrays, which shutdown frees itself.
  void (*release_variables)() = nullptr;
  // Evaluates an expression text: 0 or the status when it is 128 or more
  // (parameter files, ExpEval). Default: 148 "expression evaluator".
  Status (*evaluate_for_errors)(Slice text) = nullptr;
  // Evaluates an expression to its text (numbers formatted with `_PRECIS`
  // decimals); an error slice on failure. Default: the error slice 148.
  Slice (*evaluate_to_text)(Slice text) = nullptr;
  // Assigns a text to a text variable. Default: 148 "variables".
  Status (*assign_text)(Slice name, Slice value) = nullptr;

  // ---- Dictionary and data files ----------------------------------------------
  // Loads the application dictionary of `code`, found through the folder
  // list. Default: 148 "dictionary".
  Status (*load_dictionary)(Slice code, Slice default_folder, Slice folder_list) = nullptr;
  // Defines the file variables of every data file of the dictionary.
  // Default: nothing to define (no dictionary layer, no files).
  Status (*define_file_variables)() = nullptr;
  // Rebuilds the index of every data file after an unclean end. Default:
  // 148 "data file reorganisation".
  Status (*reindex_files)() = nullptr;
  // Writes back and closes every open data file (shutdown). Default: none
  // are open.
  Status (*close_data_files)() = nullptr;

  // ---- Stream files (the INPUT file) ----------------------------------------------
  // Opens a text file for reading and returns its stream number (above 0),
  // or -1 with `status` set. Default: a reader of the core over the
  // platform layer (its number is not a stream of the data layer).
  int (*open_input)(Slice path, Status* status) = nullptr;
  // The next line without its terminator; the error slice 130 at the end.
  Slice (*read_input_line)(int stream) = nullptr;
  void (*close_input)(int stream) = nullptr;

  // ---- Log ----------------------------------------------------------------------
  // Appends `text` and CR LF to the runtime log when `level` and `_TRACE`
  // have a bit in common. Default: the log file of the core (string table
  // 9, slot 10, else application code + "log.txt" in the current folder).
  void (*log_line)(Slice text, int level) = nullptr;

  // ---- Windows --------------------------------------------------------------------
  // The screen-field handler registered as hook 0 at start-up.
  HookFn screen_field_hook = nullptr;
  // Opens the main menu window on `menu_file` and runs the message loop
  // until it closes; returns the final status. Default: 148 "main menu
  // window".
  Status (*run_main_menu)(Slice menu_file) = nullptr;
  // Offers the comma-separated `items` in a selection window titled
  // `title`: 1-based number of the item chosen, 0 when the user chose none,
  // -1 when there is no window to choose in. Default: -1.
  int (*choose_item)(Slice title, Slice items) = nullptr;
  // Offers `items` for a choice of several: the chosen numbers, comma
  // separated, on the string area; empty when none; the error slice 148 when
  // there is no window. Default: the error slice 148.
  Slice (*choose_items)(Slice title, Slice items) = nullptr;
  // Whether a window can be shown now. Default: a display is named by
  // DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM.
  bool (*display_available)() = nullptr;
};

// Installs `services` (copied). Entries left null keep their defaults.
void InstallStartupServices(const StartupServices& services);
// The installed services (null entries: the defaults).
const StartupServices& InstalledStartupServices();
// Back to the defaults alone.
void ResetStartupServices();

// Calls through the installed entry, or the default.
namespace service {
void CreateVariables();
void ReleaseVariables();
Status EvaluateForErrors(Slice text);
Slice EvaluateToText(Slice text);
Status AssignText(Slice name, Slice value);
Status LoadDictionary(Slice code, Slice default_folder, Slice folder_list);
Status DefineFileVariables();
Status ReindexFiles();
Status CloseDataFiles();
int OpenInput(Slice path, Status* status);
Slice ReadInputLine(int stream);
void CloseInput(int stream);
void LogLine(Slice text, int level);
Status RunMainMenu(Slice menu_file);
int ChooseItem(Slice title, Slice items);
Slice ChooseItems(Slice title, Slice items);
bool DisplayAvailable();
}  // namespace service

}  // namespace tessaly
