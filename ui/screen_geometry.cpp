// The screen geometry: one base record for the device and one override
// record, in force while its width is nonzero.

#include "core/flags.h"
#include "core/string_area.h"
#include "core/text.h"
#include "ui/screen.h"

namespace tessaly {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;

// The base's size follows the device words; only its margins and spacing
// are kept here.
ScreenGeometry g_base;
ScreenGeometry g_override;

ScreenGeometry Base() {
  ScreenGeometry g = g_base;
  int columns = SignedWord(kDevWid);
  int rows = SignedWord(kDevHig);
  g.columns = columns > 0 ? columns : kDefaultColumns;
  g.rows = rows > 0 ? rows : kDefaultRows;
  return g;
}

ScreenGeometry& InForce() { return g_override.columns != 0 ? g_override : g_base; }

}  // namespace

ScreenGeometry ScreenGeometryInForce() {
  return g_override.columns != 0 ? g_override : Base();
}

ScreenGeometry ScreenBaseGeometry() { return Base(); }

void ScreenGeometrySet(Slice items) {
  if (!items.ok() || items.empty()) return;
  AreaMark mark;
  if (g_override.columns == 0 && g_override.rows == 0) g_override = Base();
  int* slots[] = {&g_override.columns, &g_override.rows,   &g_override.left,
                  &g_override.top,     &g_override.bottom, &g_override.spacing};
  static_assert(sizeof slots / sizeof slots[0] == 6);
  for (int i = 0; i < 6; ++i) {
    Slice item = Trim(Item(items, ',', i + 1));
    if (item.empty()) continue;
    int value = Integer(item);
    *slots[i] = value < 0 ? 0 : value;
  }
  if (g_override.columns == 0) g_override.left = 0;
  if (g_override.rows == 0) {
    g_override.top = 0;
    g_override.bottom = 0;
    g_override.spacing = 0;
  }
}

void ScreenGeometrySetMargins(int left, int top, int bottom) {
  ScreenGeometry& g = InForce();
  g.left = left < 0 ? 0 : left;
  g.top = top < 0 ? 0 : top;
  g.bottom = bottom < 0 ? 0 : bottom;
}

void ScreenGeometryReset() {
  g_override = ScreenGeometry();
  g_base.left = 0;
  g_base.top = 0;
  g_base.bottom = 0;
}

namespace screens {
// A fresh start: no override, no margins, no spacing.
void ResetGeometryAll() {
  g_override = ScreenGeometry();
  g_base = ScreenGeometry();
}
}  // namespace screens

}  // namespace tessaly
