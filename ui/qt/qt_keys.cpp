// Key translation, the two key maps and the routing of control identifiers.

#include <QtCore/Qt>

#include "ui/qt/qt_windows.h"

namespace tessaly {
namespace {

// Action codes: the action in the low byte, its parameter in the high byte.
constexpr uint16_t Op(int operation) { return static_cast<uint16_t>(25 | (operation << 8)); }

// Indexed by key index. Map 1 browses by other keys: F3 and F11 change the
// mode, F4 does nothing.
constexpr uint16_t kKeyMaps[2][kKeyIndexCount] = {
    {1, 0, 0, 21, 0, 0, 0, 0, 2, 1, 0,                               // 0-10
     19, 20, Op(13), Op(12), Op(17), Op(7), Op(14), Op(10), Op(9),   // 11-19
     Op(16), Op(16), 32, Op(3), 0, 0, 0, 0, 31, Op(5), 0, 0, 22},    // 20-32
    {1, 0, 0, 21, 0, 0, 0, 0, 2, 1, 0,
     19, 20, Op(15), 0, Op(17), Op(7), Op(14), Op(10), Op(9),
     Op(16), Op(15), 32, Op(3), 0, 0, 0, 0, 31, Op(5), 0, 0, 22},
};
static_assert(sizeof kKeyMaps[0] / sizeof kKeyMaps[0][0] == kKeyIndexCount);

struct KeyIndex {
  int key;
  int index;
};
constexpr KeyIndex kKeyIndexes[] = {
    {Qt::Key_Return, 0}, {Qt::Key_Enter, 0},  {Qt::Key_Tab, 9},      {Qt::Key_Backtab, 8},
    {Qt::Key_Escape, 3}, {Qt::Key_F1, 11},    {Qt::Key_F2, 12},      {Qt::Key_F3, 13},
    {Qt::Key_F4, 14},    {Qt::Key_F5, 15},    {Qt::Key_F6, 16},      {Qt::Key_F7, 17},
    {Qt::Key_F8, 18},    {Qt::Key_F9, 19},    {Qt::Key_F10, 20},     {Qt::Key_F11, 21},
    {Qt::Key_Up, 22},    {Qt::Key_PageUp, 23}, {Qt::Key_Down, 28},   {Qt::Key_PageDown, 29},
};
static_assert(sizeof kKeyIndexes / sizeof kKeyIndexes[0] == 20);

// Identifier ranges and the actions they give, the parameter counted from
// the first identifier of the range.
struct IdRange {
  int first;
  int last;
  int action;
  int parameter_base;
};
constexpr IdRange kIdRanges[] = {
    {1500, 1699, 16, 0},   {1700, 1949, 15, 0},  {3000, 3020, 25, 0},
    {3100, 3101, 25, 100}, {3600, 3649, 43, 0},  {3650, 3899, 44, 0},
};

}  // namespace

int KeyIndexOf(int qt_key, bool shift, bool control) {
  if (qt_key == Qt::Key_Tab && shift) return 8;
  if (qt_key == Qt::Key_End && control) return 32;
  for (const KeyIndex& k : kKeyIndexes) {
    if (k.key == qt_key) return k.index;
  }
  return kKeyOwnedByControl;
}

int KeyMapAction(int map, int index) {
  if (index < 0 || index >= kKeyIndexCount) return 0;
  return kKeyMaps[map == 1 ? 1 : 0][index];
}

int ActionOfIdentifier(int id) {
  for (const IdRange& r : kIdRanges) {
    if (id >= r.first && id <= r.last) return r.action | ((id - r.first + r.parameter_base) << 8);
  }
  return 0;
}

}  // namespace tessaly
