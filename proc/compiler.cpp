// The procedure compiler: source lines classified in a first pass, jump
// targets and blocks resolved in a second.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "proc/procedures.h"
#include "proc/procedures_internal.h"

namespace tessaly {
namespace {

constexpr int CountKeywords(std::string_view list) {
  int n = 1;
  for (char c : list) n += c == ',';
  return n;
}
static_assert(CountKeywords(kProcedureKeywords) == kProcedureKeywordCount);

// Item n (from 1) of the comma list, by plain loops so that it also
// evaluates at compile time under the sanitizers.
constexpr std::string_view KeywordAt(std::string_view list, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    while (start < list.size() && list[start] != ',') ++start;
    ++start;
  }
  size_t end = start;
  while (end < list.size() && list[end] != ',') ++end;
  return list.substr(start, end - start);
}
static_assert(KeywordAt(kProcedureKeywords, kPkEnd) == "END");
static_assert(KeywordAt(kProcedureKeywords, kPkDefFn) == "DEF_FN");
static_assert(KeywordAt(kProcedureKeywords, kPkFirstCommand) == "ACCEPT");
static_assert(KeywordAt(kProcedureKeywords, kPkLastCommand) == "SYSTEM");

struct KeywordTable {
  std::string_view names[kProcedureKeywordCount + 1];
  constexpr KeywordTable() : names() {
    for (int n = 1; n <= kProcedureKeywordCount; ++n) names[n] = KeywordAt(kProcedureKeywords, n);
  }
};
constexpr KeywordTable kKeywords;

constexpr char kUnknownLabel[] = "\r\nLabel '%s' in line %s (+ remmarks) not found";
constexpr char kUnpairedBlock[] =
    "\r\nFinal of Conditional or loop without \r\nBegin (Loop, Endif...) in line %s (+ remmarks)";

bool IsCloser(int keyword) {
  return keyword == kPkEndif || keyword == kPkLoop || keyword == kPkLoopWhile ||
         keyword == kPkLoopUntil || keyword == kPkElse;
}
bool IsOpener(int keyword) {
  return keyword == kPkElse || keyword == kPkIf || keyword == kPkIfTrue || keyword == kPkDoWhile ||
         keyword == kPkIfFalse || keyword == kPkDoUntil || keyword == kPkDo;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimView(std::string_view v) {
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
  return v;
}

// Replaces the first "%s" of `format` by each value in turn.
std::string Fill(const char* format, std::initializer_list<std::string_view> values) {
  std::string out = format;
  size_t pos = 0;
  for (std::string_view v : values) {
    pos = out.find("%s", pos);
    if (pos == std::string::npos) break;
    out.replace(pos, 2, v);
    pos += v.size();
  }
  return out;
}

Status CompileFailure(Status code, Slice name, const std::string& text) {
  std::string detail = name.str() + text;
  if (detail.size() > kMaxTextLength) detail.resize(kMaxTextLength);
  (void)SetDetail(code, Slice::Of(detail));
  return RecordError(1, ErrorArea::kExecCompiler, code);
}

Status LineFailure(Status code, Slice name, size_t source_line) {
  return CompileFailure(code, name, " line " + std::to_string(source_line));
}

// A source line a procedure may hold: not longer than the limit, and no
// control character but the tab (a binary file is never compiled).
Status CheckSourceLine(std::string_view line) {
  if (line.size() > static_cast<size_t>(kMaxSourceLine)) return Status::kStringTooLong;
  for (char c : line) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && u != '\t') return Status::kBadInputData;
  }
  return Status::kOk;
}

struct Label {
  std::string name;
  uint16_t line;
};

}  // namespace

int ProcedureKeywordNumber(Slice word) {
  if (!word.ok() || word.empty() || word.size() > 16) return 0;
  std::string_view w = word.view();
  for (int n = 1; n <= kProcedureKeywordCount; ++n) {
    if (kKeywords.names[n] == w) return n;
  }
  char upper[16];
  for (size_t i = 0; i < w.size(); ++i) {
    char c = w[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  std::string_view u(upper, w.size());
  for (int n = 1; n <= kProcedureKeywordCount; ++n) {
    if (kKeywords.names[n] == u) return n;
  }
  return 0;
}

Slice ProcedureKeywordName(int number) {
  if (number < 1 || number > kProcedureKeywordCount) return Slice();
  std::string_view n = kKeywords.names[number];
  return Slice(n.data(), static_cast<uint16_t>(n.size()));
}

Status ProcedureCompile(const std::vector<Slice>& source, Slice name, CompiledProcedure* out) {
  assert(out != nullptr);
  if (!name.ok()) name = Slice();
  *out = CompiledProcedure();
  out->name = name.str();
  std::vector<Label> labels;

  // First pass: classify every line.
  for (size_t i = 0; i < source.size(); ++i) {
    if (!source[i].ok()) return LineFailure(source[i].status(), name, i + 1);
    std::string_view raw = source[i].view();
    Status check = CheckSourceLine(raw);
    if (!check.ok()) return LineFailure(check, name, i + 1);
    std::string_view line = TrimView(raw);
    if (line.empty()) continue;
    size_t cut = 0;
    while (cut < line.size() && !IsBlank(line[cut])) ++cut;
    std::string_view word = line.substr(0, cut);
    std::string_view rest = TrimView(line.substr(cut));
    char first = word.front();
    if (first == ';' || first == '#' || first == '/') continue;
    uint16_t next = static_cast<uint16_t>(out->lines.size());
    if (first == ':') {
      if (labels.size() >= static_cast<size_t>(kMaxLabels)) {
        return LineFailure(Status::kOutOfMemory, name, i + 1);
      }
      labels.push_back({std::string(word.substr(1)), next});
      continue;
    }
    int keyword = ProcedureKeywordNumber(Slice::Of(word));
    if (keyword == kPkDefFn) {
      if (out->entry_names.size() >= static_cast<size_t>(kMaxEntries)) {
        return LineFailure(Status::kOutOfMemory, name, i + 1);
      }
      out->entry_names.emplace_back(rest);
      out->entry_lines.push_back(next);
      continue;
    }
    if (out->lines.size() >= static_cast<size_t>(kMaxCompiledLines - 1)) {
      return LineFailure(Status::kOutOfMemory, name, i + 1);
    }
    ProcedureLine compiled;
    compiled.keyword = static_cast<uint16_t>(keyword);
    compiled.argument = std::string(keyword == kPkStatement ? line : rest);
    out->lines.push_back(std::move(compiled));
  }

  // Second pass: jump targets and blocks.
  std::vector<uint16_t> open;
  for (size_t i = 0; i < out->lines.size(); ++i) {
    ProcedureLine& line = out->lines[i];
    uint16_t index = static_cast<uint16_t>(i);
    std::string number = std::to_string(i + 1);
    if (line.keyword == kPkGoto || line.keyword == kPkGosub) {
      auto found = std::find_if(labels.begin(), labels.end(),
                                [&](const Label& l) { return l.name == line.argument; });
      if (found == labels.end()) {
        return CompileFailure(Status::kSyntaxError, name,
                              Fill(kUnknownLabel, {line.argument, number}));
      }
      line.target = found->line;
      continue;
    }
    if (IsCloser(line.keyword)) {
      if (open.empty()) {
        return CompileFailure(Status::kSyntaxError, name, Fill(kUnpairedBlock, {number}));
      }
      uint16_t opener = open.back();
      open.pop_back();
      out->lines[opener].target = static_cast<uint16_t>(index + 1);
      line.target = opener;
    }
    if (IsOpener(line.keyword)) {
      if (open.size() >= static_cast<size_t>(kMaxBlockDepth)) {
        return CompileFailure(Status::kOutOfMemory, name, " line " + number);
      }
      open.push_back(index);
    }
  }
  // A block left open would have nowhere to jump when its condition fails.
  if (!open.empty()) {
    return CompileFailure(Status::kSyntaxError, name,
                          Fill(kUnpairedBlock, {std::to_string(open.back() + 1)}));
  }
  return Status::kOk;
}

Status ProcedureCompileText(Slice source, Slice name, CompiledProcedure* out) {
  if (!source.ok()) return source.status();
  std::vector<Slice> lines;
  std::string_view text = source.view();
  // A Ctrl-Z that ends the file is not data.
  if (!text.empty() && text.back() == 26) text.remove_suffix(1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(Slice(text.data() + start, static_cast<uint16_t>(end - start)));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return ProcedureCompile(lines, name, out);
}

}  // namespace tessaly
