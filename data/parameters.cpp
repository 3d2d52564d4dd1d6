#include "data/parameters.h"

#include <iterator>
#include <string>
#include <string_view>

#include "core/flags.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/definitions.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

// The keyword sets, each numbered on from its base.
constexpr const char* kMenuKeywords[] = {
    "MODULES$", "MENU$",    "CALLER$",       "SUBMENU$", "LOAD$",
    "EXEC$",    "COUNTER$", "MAX_IDS_ATTR%", "STATMSG$",
};
constexpr const char* kMaintenanceKeywords[] = {
    "SCREENSIZE$", "SET$",     "OPEN$",    "EDIT$",    "NOEDIT$",   "WRITE$",   "DOC$",
    "DOCSETS$",    "HELP$",    "SAVED$",   "HIDDEN$",  "RELOPT%",   "UNICNDX%", "AUTONDX%",
    "KEYMAP%",     "SCANDEF$", "SCANWIN$", "SCANSET$", "VOIDMODE%",
};
constexpr const char* kDocumentKeywords[] = {
    "NUMCAB$",     "WRITECAB0$", "WRITECABS$", "WRITELINS$", "FITCLC$",    "FTCLC$",
    "READCABS$",   "READLINS$",  "LNINS$",     "LNDEL$",     "ALARMLINS$", "BOUNDS$",
    "DOCTYPETXT$", "MODE$",      "FASTFIND$",  "FLDUPDATE$", "BEGINFLD%",  "MAXLIN%",
};
constexpr const char* kFieldKeywords[] = {
    "FD$",        "ALARM$",    "ASSIGN$", "LNASSIGN$", "FILEDEF$", "PERFORM$",
    "UPDFIELDS$", "WIDTHS$",   "TYPES$",  "WINDOWS$",  "CLEAR$",   "ON_CONFIRM$",
    "ON_CANCEL$", "USR_COND$", "IK$(1)",  "IK$(2)",    "IK$(3)",
};
constexpr const char* kReportKeywords[] = {
    "ATEND$",     "BRKEND$",   "BREAK$",     "COND$",  "MAXLINE%", "LINESTEP%",
    "TOTALBASE%", "CONTINUE%", "EXTRASTEP%", "TITLE$", "WD",
};
constexpr const char* kRunKeywords[] = {
    "DEVICE$",  "DOCNAME$", "ACBOUND$", "INDEX%",   "LIMITS$",
    "AUXLOAD$", "RESET$",   "STEPS$",   "PRCNAME$",
};
constexpr const char* kCaptureKeywords[] = {
    "ACCEPT_PRC%",  "WINNAME$",    "PROG_MODE$",   "PARM_FILE$", "PARM_FILE_WRITE$", "SOURCEFILE%",
    "IMP_MODE%",    "RD_EXP$",     "WR_EXP$",      "EOT_EXP$",   "RD_COND$",         "TARGET$",
    "LOAD_IMPORT$", "MNU_IMPORT$", "AUTO_IMPORT$", "STRUCT$",
};
static_assert(std::size(kMenuKeywords) == 9);
static_assert(std::size(kMaintenanceKeywords) == 19);
static_assert(std::size(kDocumentKeywords) == 18);
static_assert(std::size(kFieldKeywords) == 17);
static_assert(std::size(kReportKeywords) == 11);
static_assert(std::size(kRunKeywords) == 9);
static_assert(std::size(kCaptureKeywords) == 16);

struct KeywordSet {
  int base;
  const char* const* names;
  int count;
};
constexpr KeywordSet kKeywordSets[] = {
    {0, kMenuKeywords, static_cast<int>(std::size(kMenuKeywords))},
    {10, kMaintenanceKeywords, static_cast<int>(std::size(kMaintenanceKeywords))},
    {30, kDocumentKeywords, static_cast<int>(std::size(kDocumentKeywords))},
    {50, kFieldKeywords, static_cast<int>(std::size(kFieldKeywords))},
    {70, kReportKeywords, static_cast<int>(std::size(kReportKeywords))},
    {90, kRunKeywords, static_cast<int>(std::size(kRunKeywords))},
    {100, kCaptureKeywords, static_cast<int>(std::size(kCaptureKeywords))},
};
static_assert(std::size(kKeywordSets) == 7);
static_assert(kKwVoidMode == 29 && kKwMaxLin == 48 && kKwIk3 == 67 && kKwWd == 81 &&
              kKwPrcName == 99 && kKwStruct == 116);

// String table 9, slot 8: the comma list of prefixes that `_AUX` selects.
constexpr int kPrefixTable = 9;
constexpr int kPrefixSlot = 8;

// Finds `name` followed by ':' and then by '=' (tried in that order) at the
// start of the set or after one of ": &/", outside quotes; the value runs to
// the next ':', blank, '&' or '/' outside quotes. False when absent, so that a
// keyword written with an empty value is told from a missing one.
bool FindValue(Slice set, std::string_view name, Slice* value) {
  if (!set.ok() || set.empty() || name.empty()) return false;
  const char* p = set.data();
  size_t n = set.size();
  for (char delim : {':', '='}) {
    std::string pattern = std::string(name) + delim;
    Slice pat = Slice::Of(pattern);
    size_t base = 0;
    while (base < n) {
      uint16_t at = FindText(Slice(p + base, static_cast<uint16_t>(n - base)), pat);
      if (at == kNotFound) break;
      size_t i = base + at;
      char before = i > 0 ? p[i - 1] : ':';
      if (before == ':' || before == ' ' || before == '&' || before == '/') {
        size_t start = i + pattern.size();
        Slice rest(p + start, static_cast<uint16_t>(n - start));
        uint16_t end = FindFirstOf(rest, Slice(": &/", 4));
        *value = end == kNotFound ? rest : Slice(p + start, end);
        return true;
      }
      base = i + 1;
    }
  }
  return false;
}

// The value of a keyword in the set in use after `_AUX` qualification, as
// written; false when absent.
bool QualifiedValue(Slice set, std::string_view keyword, Slice* value) {
  int aux = SignedWord(kAux);
  if (aux > 0) {
    Slice prefix = Trim(Item(strtab::Get(kPrefixTable, kPrefixSlot), ',', aux));
    if (!prefix.empty()) {
      std::string qualified = prefix.str() + "." + std::string(keyword);
      if (FindValue(set, qualified, value)) return true;
    }
  }
  return FindValue(set, keyword, value);
}

}  // namespace

Slice KeywordName(int number) {
  for (const KeywordSet& set : kKeywordSets) {
    if (number > set.base && number <= set.base + set.count) {
      return Slice(set.names[number - set.base - 1]);
    }
  }
  return Slice();
}

int KeywordNumber(Slice name) {
  if (!name.ok()) return 0;
  for (const KeywordSet& set : kKeywordSets) {
    for (int i = 0; i < set.count; ++i) {
      if (name.view() == set.names[i]) return set.base + i + 1;
    }
  }
  return 0;
}

Status ParameterSetLoad(Slice file_name, int layout, int number) {
  if (!file_name.ok()) return file_name.status();
  AreaMark area;
  int count = DefinitionLines(file_name, layout, number);
  if (count == -1) return SetDetail(Status::kFileNotFound, file_name);
  if (count < 0) return Status(static_cast<uint16_t>(-count));
  // Our lines are the last `count` of the queue; anything queued before them
  // belongs to someone else.
  int first = strtab::Count(strtab::kLineQueue) - count;
  std::string set;
  for (int i = 0; i < count; ++i) {
    if (i > 0) set += ':';
    Slice line = strtab::Get(strtab::kLineQueue, first + i);
    set.append(line.data(), line.size());
  }
  for (int i = 0; i < count; ++i) {
    (void)strtab::Delete(strtab::kLineQueue, strtab::Count(strtab::kLineQueue) - 1);
  }
  if (set.size() > kMaxTextLength) return SetDetail(Status::kStringTooLong, file_name);
  return ParameterSetPush(Slice::Of(set));
}

Status ParameterSetPush(Slice set) {
  if (!set.ok()) return set.status();
  return strtab::Push(strtab::kSettingsFiles, set);
}

Status ParameterSetPop() { return strtab::Pop(strtab::kSettingsFiles); }

Slice ParameterSet() { return strtab::Top(strtab::kSettingsFiles); }

int ParameterSetDepth() { return strtab::Count(strtab::kSettingsFiles); }

bool ParameterPresent(Slice keyword) {
  if (!keyword.ok()) return false;
  Slice value;
  return QualifiedValue(ParameterSet(), keyword.view(), &value);
}

Slice ParameterValueByName(Slice keyword, int item) {
  if (!keyword.ok()) return keyword;
  if (keyword.empty()) return Slice();
  AreaMark area;
  std::string_view name = keyword.view();
  Slice value;
  std::string evaluated;
  if (QualifiedValue(ParameterSet(), name, &value)) {
    if (name.find('%') == std::string_view::npos) value = Unquote(value);
  } else if (name.find('(') == std::string_view::npos) {
    std::string expression;
    for (char c : name) {
      if (c != '%') expression += c;
    }
    value = EvaluateToText(Slice::Of(expression));
    if (!value.ok()) return area.Keep(value);
  }
  if (item > 0) value = Item(value, ',', item);
  return area.Keep(value);
}

Slice ParameterValue(int number, int item) {
  Slice name = KeywordName(number);
  if (name.empty()) return Slice();
  return ParameterValueByName(name, item);
}

}  // namespace tessaly
