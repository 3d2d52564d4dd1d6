#include "data/choices.h"

#include <cctype>

#include "core/flags.h"
#include "core/folders.h"
#include "core/startup_services.h"
#include "core/string_area.h"
#include "core/text.h"

namespace tessaly {
namespace {

HeadlessChoices g_headless;
Choices* g_choices = nullptr;

bool EqualIgnoringCase(Slice a, Slice b) {
  if (a.size() != b.size()) return false;
  for (uint16_t i = 0; i < a.size(); ++i) {
    if (std::tolower(a[i]) != std::tolower(b[i])) return false;
  }
  return true;
}

bool AllDigits(Slice text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

Slice BatchAnswer() {
  int stream = Word(kInHnd);
  if (stream == 0) return Slice();
  AreaMark mark;
  Slice line = service::ReadInputLine(stream);
  if (!line.ok()) return mark.Keep(Slice());
  Slice answer = Unquote(Trim(line));
  if (answer.empty()) return mark.Keep(Slice());
  Slice expanded = ExpandNames(answer);
  return mark.Keep(expanded.ok() ? expanded : Slice());
}

Slice HeadlessChoices::ChooseFolder(Slice, Slice) { return BatchAnswer(); }

Slice HeadlessChoices::ChooseFile(Slice, Slice, Slice) { return BatchAnswer(); }

int HeadlessChoices::ChooseItem(Slice, Slice items) {
  AreaMark mark;
  Slice answer = BatchAnswer();
  if (answer.empty()) return 0;
  int count = CountItems(items, ',');
  if (AllDigits(answer)) {
    int n = Integer(answer);
    return n >= 1 && n <= count ? n : 0;
  }
  for (int n = 1; n <= count; ++n) {
    if (EqualIgnoringCase(Trim(Item(items, ',', n)), answer)) return n;
  }
  return 0;
}

Choices* InstallChoices(Choices* choices) {
  Choices* old = g_choices;
  g_choices = choices;
  return old;
}

Choices& CurrentChoices() { return g_choices != nullptr ? *g_choices : g_headless; }

}  // namespace tessaly
