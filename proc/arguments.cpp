// Argument lists of procedure lines, and the bookkeeping a run from the
// start keeps of the data files its commands opened.

#include <vector>

#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/definitions.h"
#include "proc/procedures_internal.h"

namespace tessaly::proc {
namespace {

std::vector<int> g_opened_files;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<Slice> SplitArguments(Slice text, char sep) {
  std::vector<Slice> items;
  if (!text.ok() || Trim(text).empty()) return items;
  const char* p = text.data();
  uint16_t n = text.size();
  uint16_t start = 0;
  int depth = 0;
  char quote = 0;
  for (uint16_t i = 0; i <= n; ++i) {
    if (i < n) {
      char c = p[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
        continue;
      }
      if (c == '(') ++depth;
      if (c == ')' && depth > 0) --depth;
      if (c != sep || depth > 0) continue;
    }
    items.push_back(Trim(Slice(p + start, static_cast<uint16_t>(i - start))));
    start = static_cast<uint16_t>(i + 1);
  }
  return items;
}

void SplitAtBlank(Slice text, Slice* head, Slice* rest) {
  *head = Trim(text);
  *rest = Slice();
  if (!head->ok()) return;
  char quote = 0;
  for (uint16_t i = 0; i < head->size(); ++i) {
    char c = head->data()[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (IsBlank(c)) {
      *rest = Trim(Substring(*head, i + 1));
      *head = Slice(head->data(), i);
      return;
    }
  }
}

Slice ExpandArgument(Slice text) {
  if (!text.ok() || FindChar(text, '[', true) == kNotFound) return text;
  return BracketExpand(text, kArgumentBracketFlags);
}

Status RunFailure(Status status) { return RecordError(1, ErrorArea::kExecRunTime, status); }

void NoteFileOpenedByCommand(int file) { g_opened_files.push_back(file); }

size_t FilesOpenedByCommands() { return g_opened_files.size(); }

void CloseFilesOpenedSince(size_t mark) {
  while (g_opened_files.size() > mark) {
    int file = g_opened_files.back();
    g_opened_files.pop_back();
    if (DataFileIsOpen(file)) (void)DataFileClose(file);
  }
}

void ForgetFilesOpenedByCommands() { g_opened_files.clear(); }

bool IsPlainVariableName(Slice name) {
  if (!name.ok() || name.empty()) return false;
  unsigned char first = name[0];
  if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first == '_')) {
    return false;
  }
  for (uint16_t i = 0; i < name.size(); ++i) {
    unsigned char c = name[i];
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '$' || c == '#' || c >= 0x80;
    if (!ok) return false;
  }
  return true;
}

}  // namespace tessaly::proc
