#include "data/definitions.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/command_line.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/definition_file_internal.h"
#include "data/streams.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

constexpr const char* kExtensions[] = {"PPN", "PAN", "STP", "DAT", "DAT", "PDC", "PRX",
                                       "KVA", "PMT", "PDF", "TXT", "PDI", "HLP", "CFG"};
static_assert(sizeof kExtensions / sizeof kExtensions[0] == kDefinitionKindCount);

constexpr int kEnvironmentFolders = 5;

// Where each layout keeps its number: first column (0-based) and width.
struct LayoutNumber {
  int column;
  int width;
};
constexpr LayoutNumber kLayoutNumbers[kMaxDefinitionLayout + 1] = {
    {0, 0}, {0, 2}, {1, 2}, {0, 4}, {0, 2}, {0, 0}, {0, 5},
};

bool HasDriveOrFolder(std::string_view name) {
  return name.find_first_of(":\\/") != std::string_view::npos;
}

// Takes back the last `count` items this reader queued on table 37, leaving
// anything queued before it alone.
void TakeBack(int count) {
  for (; count > 0; --count) {
    (void)strtab::Delete(strtab::kLineQueue, strtab::Count(strtab::kLineQueue) - 1);
  }
}

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

// The position of the ']' that closes the '[' at `open`, nesting counted;
// npos when there is none.
size_t ClosingBracket(const std::string& text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '[') ++depth;
    if (text[i] == ']' && --depth == 0) return i;
  }
  return std::string::npos;
}

// A NAME=value item of a list; an empty value counts as absent, as an unset
// option or environment variable does.
bool LookupItem(Slice list, Slice name, Slice* value) {
  if (list.empty() || name.empty()) return false;
  Slice v = ValueOf(list, name, kValueUnquote);
  if (!v.empty()) {
    *value = v;
    return true;
  }
  return false;
}

}  // namespace

// ---- Tagged lines ---------------------------------------------------------------

int DefinitionLineNumber(Slice line, int layout) {
  if (!line.ok() || layout < 0 || layout > kMaxDefinitionLayout) return -1;
  const LayoutNumber& at = kLayoutNumbers[layout];
  if (at.width == 0) return 0;
  if (line.size() < at.column + at.width) return -1;
  int n = 0;
  for (int i = at.column; i < at.column + at.width; ++i) {
    char c = static_cast<char>(line[i]);
    if (c == ' ') c = '0';
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

Slice DefinitionLineContent(Slice line, int layout) {
  if (!line.ok()) return line;
  int n = line.size();
  switch (layout) {
    case 1:
      return Substring(line, 3);
    case 2:
      return n > 4 ? Slice(line.data() + 3, static_cast<uint16_t>(n - 4)) : Slice();
    case 3:
      return Substring(line, 5);
    case 4:
      return Substring(line, 2);
    default:
      return line;
  }
}

int DefinitionLines(Slice file_name, int layout, int number) {
  if (!file_name.ok() || file_name.empty() || layout < 0 || layout > kMaxDefinitionLayout) {
    return -1;
  }
  AreaMark area;
  internal::DefinitionFile file;
  if (!file.Open(file_name)) {
    if (HasDriveOrFolder(file_name.view())) return -1;
    bool found = false;
    for (Slice folder : Split(strtab::Get(strtab::kEnvironment, kEnvironmentFolders), ',')) {
      Slice dir = Trim(folder);
      if (dir.empty()) continue;
      if (file.Open(PathJoin(dir, file_name))) {
        found = true;
        break;
      }
    }
    if (!found) return -1;
  }

  int count = 0;
  Slice line;
  for (;;) {
    auto result = file.Next(&line);
    if (result == internal::DefinitionFile::kEnd) break;
    if (result == internal::DefinitionFile::kTooLong) {
      TakeBack(count);
      return -static_cast<int>(
          internal::LineError(Status::kStringTooLong, file.path(), file.line_number(), Slice())
              .code());
    }
    if (DefinitionLineNumber(line, layout) != number) continue;
    Status st = strtab::Push(strtab::kLineQueue, DefinitionLineContent(line, layout));
    if (!st.ok()) {
      TakeBack(count);
      return -static_cast<int>(
          internal::LineError(st, file.path(), file.line_number(), line).code());
    }
    ++count;
  }
  return count;
}

// ---- Extensions ---------------------------------------------------------------------

Slice DefinitionExtension(int kind) {
  if (kind < 1 || kind > kDefinitionKindCount) return Slice();
  return Slice(kExtensions[kind - 1]);
}

Slice DefinitionFileName(Slice name, int kind) {
  if (!name.ok()) return name;
  if (kind < 1 || kind > kDefinitionKindCount) return Area().Push(name);
  return Concat({name, Slice("."), DefinitionExtension(kind)});
}

// ---- Bracket expansion ------------------------------------------------------------

Slice BracketExpand(Slice text, int flags, Slice list) {
  if (!text.ok()) return text;
  if (!list.ok()) list = Slice();
  AreaMark area;
  std::string out = text.str();
  size_t pos = 0;
  for (;;) {
    size_t open = out.find('[', pos);
    if (open == std::string::npos) break;
    size_t close = ClosingBracket(out, open);
    if (close == std::string::npos) break;
    std::string ref = out.substr(open + 1, close - open - 1);
    Slice ref_slice = Slice::Of(ref);

    std::string value;
    bool found = false;
    if (flags & kBracketLookup) {
      AreaMark lookup;
      Slice v;
      if (LookupItem(list, ref_slice, &v)) {
        value = v.str();
        found = true;
      } else if (Slice option = CommandLineValue(ref_slice); option.ok() && !option.empty()) {
        value = option.str();
        found = true;
      } else {
        Slice env = EnvValue(ref_slice);
        if (env.ok() && !env.empty()) {
          value = env.str();
          found = true;
        }
      }
    }
    if (!found && !((flags & kBracketLookup) && !ref.empty() && ref.back() == '%')) {
      AreaMark evaluation;
      Slice v = EvaluateToText(ref_slice);
      if (!v.ok()) return Slice::Error(v.status());
      value = v.str();
      if (value.empty() && !(flags & kBracketKeepEmpty)) value = "0";
    }

    if (!(flags & kBracketNoTrim)) value = std::string(Trimmed(value));
    if (flags & kBracketQuote) {
      char q = (flags & kBracketDoubleQuote) ? '"' : '\'';
      value = q + value + q;
    }
    out.replace(open, close - open + 1, value);
    if (out.size() > kMaxTextLength) return Slice::Error(Status::kStringTooLong);
    pos = open + value.size();
    if (flags & kBracketFirstOnly) break;
  }
  if (flags & kBracketEscapes) {
    std::string escaped;
    escaped.reserve(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\\' && i + 1 < out.size() && (out[i + 1] == '{' || out[i + 1] == '}')) {
        escaped += out[i + 1] == '{' ? '[' : ']';
        ++i;
      } else {
        escaped += out[i];
      }
    }
    out.swap(escaped);
  }
  return area.Keep(Slice::Of(out));
}

}  // namespace tessaly
