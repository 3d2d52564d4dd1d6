// Runtime arrays: 24 numbered growable arrays of fixed-size elements, alive
// for the whole run.
//
// An array is created by its first store, with the element size of that
// store, and grows on demand (new elements are zero). Deleting an element
// moves the later ones down; deleting the last element frees the array.
//
// Fixed roles: 4 open screens, 5 open windows, 6 array-variable descriptors,
// 7 the integer variables as 16-bit words (the system variables first, see
// core/flags.h), 8 the '#' variables as 64-bit values.
//
// Pointers returned by Get stay valid until the array grows, shrinks or is
// freed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/status.h"

namespace tessaly::rtarray {

inline constexpr int kArrayCount = 24;

enum Array : int {
  kScreens = 4,
  kWindows = 5,
  kArrayVariables = 6,
  kIntegerVariables = 7,
  kNumberVariables = 8,
};

// The element, or null when the array or the element is absent.
void* Get(int array, int index);
// Copies `size` bytes from `value` (zeros when null) into element `index`.
// Creates the array with this element size on its first store; 176 when the
// size differs from the array's or the array number is bad.
Status Store(int array, int index, const void* value, size_t size);
// 176 when the array or the element is absent.
Status Delete(int array, int index);
int Count(int array);
size_t ElementSize(int array);
void Free(int array);
void FreeAll();

}  // namespace tessaly::rtarray
