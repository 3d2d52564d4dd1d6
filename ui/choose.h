// Selection windows: the user picks one item, or several, of a comma list.
//
// A selection window is a modal window of kind 4 holding a list view of the
// items, an "Ok" button (3100) and a "Cancel" button (3101, message 0020),
// built only through the window layer, so that it runs over any layer that
// has windows. The first row starts selected.
//
// One item (ChooseItem): Enter on a row, a double click or "Ok" picks the
// selected row; Esc, "Cancel" or closing the window picks none.
//
// Several items (ChooseItems): the list has a mark column; Enter marks or
// unmarks the selected row. "Ok" or a double click picks the marked rows,
// or the selected row when none is marked; Esc, "Cancel" or closing picks
// none.
//
// The two functions have the form start-up expects of its selection
// services (core/startup_services.h).
#pragma once

#include "core/slice.h"

namespace tessaly {

// The 1-based number of the item picked from the comma-separated `items`,
// 0 when none was, -1 when no window can be opened (no display).
int ChooseItem(Slice title, Slice items);

// The numbers of the items picked, ascending and comma-separated, on the
// string area; empty when none was; the error slice 148 when no window can
// be opened.
Slice ChooseItems(Slice title, Slice items);

}  // namespace tessaly
