#include "core/command_line.h"

#include <cctype>

#include "core/environment_table.h"
#include "core/string_area.h"
#include "core/text.h"
#include "platform/encoding.h"

namespace tessaly {
namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool Quoted(const std::string& v) {
  return v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front();
}

// Whether the word (without its leading dashes or slashes) is one of the
// comma-separated names, ignoring case.
bool WordIsSwitch(Slice command_line, const char* names) {
  std::vector<Slice> words = Split(command_line, ' ');
  for (size_t i = 1; i < words.size(); ++i) {
    Slice word = words[i];
    if (word.empty() || word[0] != '/') continue;
    AreaMark mark;
    if (ItemPosition(Slice(names), Upper(Substring(word, 1)), ',') != 0) return true;
  }
  return false;
}

}  // namespace

Slice OptionName(int n) {
  if (n < 1 || n > kOptionCount) return Slice();
  return Item(Slice(kOptionNames), ',', n);
}

std::string QuoteOptionValue(const std::string& argument) {
  // NAME: the leading dashes or slashes, then characters up to '=' or ':'.
  size_t i = 0;
  while (i < argument.size() && (argument[i] == '-' || argument[i] == '/')) ++i;
  size_t name_begin = i;
  while (i < argument.size() && argument[i] != '=' && argument[i] != ':') {
    char c = argument[i];
    if (c == '/' || c == ' ' || c == '\t' || IsQuote(c)) return argument;
    ++i;
  }
  if (i == name_begin || i >= argument.size()) return argument;
  std::string value = argument.substr(i + 1);
  if (value.empty() || Quoted(value)) return argument;
  if (value.find_first_of("/: \t") == std::string::npos) return argument;
  char quote = '"';
  if (value.find('"') != std::string::npos) {
    // A value holding both quote characters cannot be enclosed: it stays as
    // the user wrote it.
    if (value.find('\'') != std::string::npos) return argument;
    quote = '\'';
  }
  return argument.substr(0, i + 1) + quote + value + quote;
}

std::string JoinArguments(const std::string& program, const std::vector<std::string>& args) {
  std::string line;
  line.reserve(program.size() + 3);
  line += '"';
  line += program;
  line += '"';
  for (const std::string& arg : args) {
    line += ' ';
    line += platform::Utf8ToCp1252(QuoteOptionValue(arg));
  }
  if (!line.empty() && static_cast<unsigned char>(line.back()) <= 13) line.pop_back();
  return line;
}

Slice NormaliseCommandLine(Slice text) {
  if (!text.ok()) return text;
  AreaMark mark;
  // Each step keeps only its own result, so a long line needs room for two
  // copies at most.
  auto step = [&](Slice next) { return Area().Keep(mark.depth(), next); };
  Slice s = step(Trim(text));
  // Tabs between words count as blanks too.
  s = step(ReplaceAll(s, "\t", " "));
  while (s.ok() && FindText(s, "  ") != kNotFound) s = step(ReplaceAll(s, "  ", " "));
  // " --" before " -": the other order would leave "/-NAME".
  s = step(ReplaceAll(s, " --", " /"));
  s = step(ReplaceAll(s, " -", " /"));
  return mark.Keep(s);
}

Slice CommandLineValue(Slice command_line, Slice name) {
  if (!command_line.ok() || !name.ok() || name.empty()) return Slice();
  bool keep_quotes = FindChar(name, '%', true) != kNotFound;
  auto search = [&](Slice n) {
    Slice v = Trim(ValueOf(command_line, n));
    return keep_quotes ? v : Unquote(v);
  };
  Slice value = search(name);
  if (!value.empty()) return value;
  AreaMark mark;
  unsigned char first = name[0];
  Slice other = (std::isupper(first) || first < 'a') ? Lower(name) : Upper(name);
  if (!other.ok()) return Slice();  // the string area is full: no second try
  // The value is a view of the command line, which outlives the mark.
  return search(other);
}

Slice CommandLineValue(Slice name) {
  return CommandLineValue(GetEnvironment(kEnvCommandLine), name);
}

Slice Option(int n) {
  if (n < 1 || n > kOptionCount) return Slice();
  return CommandLineValue(OptionName(n));
}

int OptionInList(int n, Slice list) {
  Slice value = Option(n);
  if (value.empty()) return 0;
  return ItemPosition(list, value, ',');
}

int OptionNumber(int n) { return Integer(Option(n)); }

Slice CommandLineProgram(Slice command_line) { return Unquote(Trim(Item(command_line, ' ', 1))); }

bool AsksForUsage(Slice command_line) { return WordIsSwitch(command_line, "?,HELP,H"); }

bool AsksForVersion(Slice command_line) { return WordIsSwitch(command_line, "VERSION,V"); }

const char* UsageText() {
  return "Usage: tessaly [OPTION=value ...]\n"
         "\n"
         "Starts the Tessaly runtime on an application folder. Options may be\n"
         "written NAME=value or NAME:value, with or without a leading -, -- or /,\n"
         "in upper or lower case. Quote values that hold blanks.\n"
         "\n"
         "  DPATH=folder      the application folder (definition and parameter files)\n"
         "  APNAME=name       the application name; its first two characters are the\n"
         "                    application code (TY by default)\n"
         "  APSTART=menu      the main menu file\n"
         "  RUN=request       run this process request instead of the main menu and\n"
         "                    end (batch mode: no window, no display needed)\n"
         "  INPUT=file        run each line of the file as a process request first;\n"
         "                    capture windows take their answers from it\n"
         "  OUTPUT=file       capture results are appended to this file\n"
         "  TRACE=n           start-up diagnostics (256: About box; 272: log line and\n"
         "                    stop)\n"
         "  HOST=, DATABASE=, USER=, PASSW=, CONFIG=, MODE=, DEVICE=, FILE=, INDEX=,\n"
         "  SCRWID=, SCRHIG=  read by the application and the output devices\n"
         "\n"
         "  --help, /?        this text\n"
         "  --version         the version\n"
         "\n"
         "Process requests: ExpEval <expression>, PrcExec <procedure>, Report ...,\n"
         "Reorg, Copy, Help; see docs/command-line.md.\n"
         "The exit code is the final status when it is 128 or more, else 0; a\n"
         "failed start ends with its status.\n";
}

}  // namespace tessaly
