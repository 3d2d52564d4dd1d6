// The main menu: menu definitions turned into menu lines, the menu bar
// built from them, the menu command table, and the main menu window with
// its loop.
//
// Menu lines: depth tab characters, a title and, for a command item, a
// comma and the command ("\tClientes,MantMain CLIENTES"). A line with one
// comma item opens a popup holding the deeper lines after it. The depth is
// counted after trailing blanks and tabs are cut.
//
// Sources: "<name>.PMT", one menu line per text line; else "<name>.PPN",
// numbered parameter records (MENU$, CALLER$, EXEC$, LOAD$) converted into
// menu lines; legacy Spanish keywords (MODULOS$, SUBMENU$, MODULO$,
// OPTIONS$) are read while `_COMPAT` bit 16 is set for the conversion.
//
// Commands: item k of a bar has the identifier 1500 + k (at most 200); its
// command text is entry k of string table 5, and picking it is main-window
// event 16 with k in bits 8-15. Every main window also gets the Help menu
// of message 0120.
#pragma once

#include <string>
#include <vector>

#include "core/slice.h"
#include "core/status.h"
#include "ui/window_layer.h"

namespace tessaly {

inline constexpr int kMenuFirstId = 1500;
inline constexpr int kMenuCommandLimit = 200;

// The menu lines of a "PMT" file, in file order. 164 naming the file when
// it cannot be read.
Status MenuLinesFromPmt(Slice path, std::vector<std::string>* lines);
// The menu lines converted from a "PPN" menu file. 164 naming the file of
// a record that cannot be loaded; the lines converted before it are kept.
Status MenuLinesFromPpn(Slice path, std::vector<std::string>* lines);
// The lines of menu `name` (first comma item; with or without extension):
// "<name>.PMT" in the default folders, else "<name>.PPN". No file is 164.
Status MenuLinesOf(Slice name, std::vector<std::string>* lines);

// Builds the entries of a menu bar from menu lines, from command number
// `first_command` on, storing each command in string table 5. A line that
// cannot be placed (a depth jump of more than one level, an empty title, a
// command past the 200th) is left out and the build goes on; the first such
// problem is the status (163) with the detail naming the line.
Status BuildMenuEntries(const std::vector<std::string>& lines, std::vector<MenuEntry>* bar,
                        int first_command = 0);
// The menu bar of a main window: the named menu and the Help menu of
// message 0120. Problems of the definition are returned (the bar holds what
// could be built).
Status BuildMainMenu(Slice name, std::vector<MenuEntry>* bar);
// The command kept for identifier 1500 + n; empty when none.
Slice MenuCommandOf(int id);

// Opens the main window with the menu bar of `menu_file` and runs its loop
// until it closes (all windows close with it). The start-up service
// run_main_menu.
Status RunMainMenuWindow(Slice menu_file);

// The main window's handler: event 16 runs the picked command, 17 asks to
// close (0032/0033), 19 is help.
Status MainMenuAction(void* context, WindowId window, int action);

}  // namespace tessaly
