#include "core/messages.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"

namespace tessaly {
namespace {

// ---- The built-in English catalogue -------------------------------------

struct CatalogueEntry {
  int number;
  const char* text;
};

// Every entry, in ascending number order. Runtime text is Windows-1252:
// 0xBF is the inverted question mark. Tabs inside the quoted parts of the
// menu texts 0110, 0111 and 0120 separate menu lines.
constexpr CatalogueEntry kCatalogue[] = {
    {1, "Unable to initialize String area"},
    {2, "Unable to Complete Initialization"},
    {3, "Memory Leaks Detected"},
    {4, "File not found:%s"},
    {5, "Process Completed Succesfully"},
    {6, "Cancelled by user"},
    {7, "No data Found"},
    {8, "Warning "},
    {9, "Error "},
    {10, "Not defined"},
    {11, "Yy,Nn"},
    {12, "Information Message"},
    {13, "Fatal Error Ocurred"},
    {14, "Information Request"},
    {15, "Permision Denied"},
    {16, "Process in progress....."},
    {17, "Bad params for screen field %s\r\n (%s)"},
    {18, "Posible loss of data. Please Confirm"},
    {19, ".,'0123456789.-D',' NY','  ,NO,YES'"},
    {20, "Cancel"},
    {21, "SQL Connection Fail"},
    {22, "File Maintenance,Data Capture"},
    {23,
     "Key not Found,End of file,,,Bad Key,Repeated Key,Concurrent Change. Update canceled,Data "
     "Change. Please confirm,Passwords do not match"},
    {24, "Key Updated Canceled"},
    {25, "Delete Record(s)?"},
    {26, "View,Insert,Delete,Seek"},
    {27,
     "Header Capture,Type of Document,Index search [PgDn/PgUp],Editing [PgDn/PgUp],Line "
     "editing,Summary editing,Data saved,New,Modify,Insert Mode,Maintenance Mode,Print "
     "Disabled,Print Enabled,Read Only"},
    {28, "New,Top,Prev.,Next,Bottom,Search,Save,Delete"},
    {29, "Cancel,Find,Save,Insert,Del.Line,Import,Del.Doc.,Print mode"},
    {30, "Cancel,PgUp.,PgDn.,Save,Insert,Delete,Import,Mode"},
    {31, "Process not defined"},
    {32, "There are windows open (%i Screens, %i Windows)"},
    {33,
     "Remember your Safety Copies\n\r\xBF"
     "Do you want to Close Program? (%i Screens, %i Windows)"},
    {34, "Application Selector"},
    {35,
     "You must stablish configuration settings in the default folder.\r\nPlease read the "
     "documentation"},
    {36, "%s (Unknown Application)"},
    {37, "Only available at Index area"},
    {38,
     "Only available in Maintenance Mode,For appending data is recommended to use Insertion Mode"},
    {39, "Continue?"},
    {40, "View Log?"},
    {41, "HtmlPage not defined"},
    {42, "Html Parser/Nav Error"},
    {43, "Html environ initialization Error"},
    {44, "DefParms File Load Error"},
    {45, "Parsing page Error"},
    {46, "Control Command Error"},
    {47, "Form Log failure"},
    {48, "Query Params Error"},
    {49, "Choose Selection"},
    {50, "OverWrite?"},
    {51, "Transaction Confirmation"},
    {52, "No Transaction mode defined"},
    {53, "No Transaction table defined"},
    {54, "Extern SQL table not defined"},
    {55, "Transaction Data Needed"},
    {56, "'File Name:':'A40'"},
    {57, "Transaction Bounds"},
    {58, "Import Window"},
    {59, "Deleting %s in %s,Updating %s in %s"},
    {60, "All Files (%s),%s"},
    {61, "FileStruct Files (%s),%s"},
    {62, "Screen Files (%s),%s"},
    {63, "Print Document Files (%s),%s"},
    {64, "Script Files (%s),%s"},
    {65, "AppSelect Files (%s),%s"},
    {66, "Menu Files (%s),%s"},
    {67, "PDF Files (%s),%s"},
    {68, "Text Files (%s),%s"},
    {70, "Help"},
    {71, "Help Pages"},
    {72, "Help Page not defined"},
    {73, "Untitled Window #%s"},
    {74, "Variables and Functions"},
    {75, "About Box"},
    {76, "Copyright %s %s\r\nVersion %s.%s   Language: %s   Decimals: %s   Build: %s\r\n"
         "Program folder: %s\r\nApplication folder: %s\r\nData folder: %s"},
    {77, "PgUp/PgDn Avail."},
    {80, "(Bigger than),(Smaller than),(Equal to),(From),(To)  ,(No Equal to)"},
    {81, "Report Limits Capture"},
    {82, "Device Selection"},
    {83, "Speed:,Parity:,Lines:,Width:,Step:,View:"},
    {84, "No Selection done"},
    {85, "Table Selection"},
    {86, "Limit Fields Selection"},
    {87, "Relational Update"},
    {88, "Target File"},
    {89, "Relative,Secuential,Delimited,List"},
    {90, "Database access"},
    {91,
     "'Host:':'A30'::%s,'Database:':'A30'::%s,'User:':'A30'::%s,'Password:':'P30'::%s,'Remember "
     "(Y/N):':'L1'"},
    {92, "'Host:':'A30'::%s,'Database:':'A30','User:':'A30'::'postgres','Password:':'P30'"},
    {93, "'Host:':'A30'::%s,'User:':'A30'::'postgres','Password:':'P30'"},
    {94, "'Relational Update Type:':'N1'"},
    {95, "'Target File:':'A255'::'%s','Append mode:':'L1'::'1'"},
    {96, "Fields Selection"},
    {97, "Save this Configuration?"},
    {98, "Transaction selector"},
    {99, "Update Expresion"},
    {100, "'Update Expresion:':'A256'"},
    {101, "Counted %s rows in %s"},
    {110, "'Reports','\tCreate New,[$]','\tReports,[$]%APNAME%report.ppn'"},
    {111,
     "'Transactions','\tExport','\t\tRelative,[$]4','\t\tSecuential,[$]20','\t\tDelimited,[$]52','"
     "\t\tList,[$]16404','\tImport','\t\tRelative,[$]5','\t\tSecuential,[$]21','\t\tDelimited,[$]"
     "53','\tIntern','\t\tCounter,[$]128','\t\tSelf Update,[$]1','\t\tRelational "
     "Update,[$]3','\t\tRelational Unupdate,[$]11','\t\tDeletion,[$]8','\tPredefinined,[$]0'"},
    {112, "Extern Program has terminated with error code %s"},
    {113, "'Document Title:':'A40','Multiline:':'L1','Avoid in Menu:':'L1'"},
    {114, "Report Selection"},
    {115, "Last session uncorrectly closed. Recovering data"},
    {116, "'New Database:':'A20'"},
    {117,
     "'January,February,March,April,May,June,July,August,September,October,November,December','[M] "
     "[D],[Y]'"},
    {118, "'Server Backup Folder:':'A50'::'%s','Lan Backup Folder:':'A50'::'%s'"},
    {119, "'Reorganization,Reorg'"},
    {120, "'Help','\tHelp,Help','\tAbout,Help About'"},
    {121, "Only Server Side Copy was done"},
    {130, "Exit,Print,Save"},
    {1001, "Invoice Number already exist. Please change current number"},
    {1002, "VAT Registry data not found"},
    {1003, "Redundant data. %s identical registries. Confirm Deletion?"},
    {1010,
     "Unfiltered Invoicing,Weekend Invoicing,Biweekly Invoicing,Monthly Invoicing,Quarterly "
     "Invoicing"},
    {1011, "N.INVOICE,SERIES,CUSTOMER"},
    {1012, "SELL_DNOTES,REGISTRY,EXPIRATIONS"},
};
constexpr size_t kCatalogueSize = sizeof kCatalogue / sizeof kCatalogue[0];
static_assert(kCatalogueSize == 117);

constexpr bool CatalogueAscends() {
  for (size_t i = 1; i < kCatalogueSize; ++i) {
    if (kCatalogue[i - 1].number >= kCatalogue[i].number) return false;
  }
  return true;
}
static_assert(CatalogueAscends(), "the catalogue is searched by bisection");

// ---- The loaded language --------------------------------------------------

constexpr int kLanguageSlot = 2;  // of string table 9
constexpr int kHighestNumber = 9999;

struct Language {
  LanguageState state = LanguageState::kNotTried;
  bool loading = false;
  // What the last try was made with; a change of either tries again.
  std::string tried_code;
  std::string tried_folder;
  // Number `first + i` ends at ends[i] in the texts of table 9 slot 2 and
  // begins where number `first + i - 1` ends.
  int first = 0;
  std::vector<uint16_t> ends;
  LineFileReader reader = nullptr;
  LanguageLinesSupplier supplier = nullptr;
};

Language& Lang() {
  static Language language;
  return language;
}

// The number in the first four characters: their leading digits.
int LeadingNumber(Slice text) {
  int n = 0;
  for (uint16_t i = 0; i < text.size() && i < 4; ++i) {
    unsigned char c = text[i];
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
  }
  return n;
}

Slice LanguageCode() { return strtab::Get(strtab::kEnvironment, 4); }

// The first folder of the list in slot 5, trimmed and unquoted.
Slice FirstFolder() {
  Slice list = strtab::Get(strtab::kEnvironment, 5);
  Slice first = Item(Item(list, ',', 1), ';', 1);
  return Unquote(Trim(first));
}

bool SameText(Slice a, const std::string& b) { return a.ok() && a.view() == b; }

bool LanguageSettingsChanged() {
  const Language& lang = Lang();
  return !SameText(LanguageCode(), lang.tried_code) || !SameText(FirstFolder(), lang.tried_folder);
}

std::string JoinFolder(std::string_view folder, Slice name) {
  std::string path(folder);
  if (!path.empty()) {
    char last = path.back();
    if (last != '\\' && last != '/' && last != ':') path += '\\';
  }
  path.append(name.view());
  return path;
}

Slice LoadedText(int number) {
  const Language& lang = Lang();
  int i = number - lang.first;
  if (i < 0 || i >= static_cast<int>(lang.ends.size())) return Slice();
  Slice all = strtab::Get(strtab::kLanguage, kLanguageSlot);
  size_t begin = i == 0 ? 0 : lang.ends[i - 1];
  size_t end = lang.ends[i];
  // The slot may have been changed behind the index' back: never read past it.
  if (!all.ok() || end > all.size() || begin > end) return Slice();
  return Slice(all.data() + begin, static_cast<uint16_t>(end - begin));
}

// Builds the index from `count` lines queued on table 37 from item `base`,
// then takes them off the queue.
Status LoadQueuedLines(int base, int count) {
  Language& lang = Lang();
  count = std::min(count, strtab::Count(strtab::kLineQueue) - base);
  std::string texts;
  std::vector<uint16_t> ends;
  int first = 0;
  int previous = 0;
  for (int k = 0; k < count; ++k) {
    Slice line = strtab::Get(strtab::kLineQueue, base + k);
    int number = LeadingNumber(line);
    if (number == 0 || number <= previous) continue;
    std::string_view text = line.size() > 5 ? line.view().substr(5) : std::string_view();
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::string converted;
    converted.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
        converted += "\r\n";
        ++i;
      } else {
        converted += text[i];
      }
    }
    if (texts.size() + converted.size() > kMaxTextLength) break;
    if (first == 0) {
      first = number;
    } else {
      ends.insert(ends.end(), number - previous - 1, static_cast<uint16_t>(texts.size()));
    }
    texts += converted;
    ends.push_back(static_cast<uint16_t>(texts.size()));
    previous = number;
  }
  for (int k = 0; k < count; ++k) (void)strtab::Delete(strtab::kLineQueue, base);
  if (ends.empty()) return Status::kBadInputData;
  Status s = strtab::Set(strtab::kLanguage, kLanguageSlot, Slice::Of(texts));
  if (!s.ok()) return s;
  lang.first = first;
  lang.ends = std::move(ends);
  lang.state = LanguageState::kLoaded;
  return Status::kOk;
}

void ForgetTexts() {
  Language& lang = Lang();
  lang.first = 0;
  lang.ends.clear();
  (void)strtab::Set(strtab::kLanguage, kLanguageSlot, Slice());
}

void EnsureLanguage() {
  Language& lang = Lang();
  if (lang.loading) return;
  if (lang.state == LanguageState::kNotTried || LanguageSettingsChanged()) (void)LoadLanguage();
}

}  // namespace

// ---- Message by number ----------------------------------------------------

Slice BuiltInMessage(int number) {
  const CatalogueEntry* end = kCatalogue + kCatalogueSize;
  const CatalogueEntry* e = std::lower_bound(
      kCatalogue, end, number, [](const CatalogueEntry& a, int n) { return a.number < n; });
  if (e == end || e->number != number) return Slice();
  return Slice(e->text);
}

Slice Message(Slice number_text) {
  if (!number_text.ok()) return number_text;
  EnsureLanguage();
  int number = LeadingNumber(number_text);
  if (number != 0 && Lang().state == LanguageState::kLoaded && !Lang().loading) {
    return LoadedText(number);
  }
  if (number_text.size() > 4) return Slice(number_text.data() + 5, number_text.size() - 5);
  return BuiltInMessage(number);
}

Slice Message(int number) {
  if (number < 1 || number > kHighestNumber) return Slice();
  char digits[4];
  for (int i = 3; i >= 0; --i, number /= 10) digits[i] = static_cast<char>('0' + number % 10);
  return Message(Slice(digits, 4));
}

// ---- Language files ---------------------------------------------------------

void SetLineFileReader(LineFileReader reader) { Lang().reader = reader; }
LineFileReader GetLineFileReader() { return Lang().reader; }
void SetLanguageLinesSupplier(LanguageLinesSupplier supplier) { Lang().supplier = supplier; }
LanguageState CurrentLanguageState() { return Lang().state; }

Status LoadLanguage() {
  Language& lang = Lang();
  if (lang.loading) return Status::kOk;
  AreaMark mark;
  ForgetTexts();
  lang.state = LanguageState::kBuiltIn;
  Slice code = LanguageCode();
  Slice folder = FirstFolder();
  lang.tried_code = code.ok() ? code.str() : std::string();
  lang.tried_folder = folder.ok() ? folder.str() : std::string();
  Slice shown_code = code.ok() && !code.empty() ? code : Slice("*");
  Slice name = FormatMessage(kLanguageFileNameLimit, kLanguageFileFormat, shown_code);
  if (!name.ok()) return mark.Release(name.status());
  std::string path = JoinFolder(lang.tried_folder, name);

  lang.loading = true;
  int base = strtab::Count(strtab::kLineQueue);
  int count = lang.reader ? lang.reader(Slice::Of(path)) : -1;
  if (count < 0 && lang.supplier) {
    // The reader queues nothing for a file it could not open, but make sure.
    base = strtab::Count(strtab::kLineQueue);
    count = lang.supplier(shown_code);
  }
  lang.loading = false;
  if (count <= 0) return mark.Release(Status::kFileNotFound);
  return mark.Release(LoadQueuedLines(base, count));
}

void ResetLanguage() {
  Language& lang = Lang();
  ForgetTexts();
  lang.state = LanguageState::kNotTried;
  lang.tried_code.clear();
  lang.tried_folder.clear();
}

int LanguageNumber() {
  Slice code = LanguageCode();
  if (!code.ok() || code.empty()) return 0;
  return ItemPosition(Slice(kLanguageCodes), code, ',');
}

Slice LanguageVariant(Slice file_name, int n) {
  if (!file_name.ok()) return file_name;
  if (n == 0) n = LanguageNumber();
  AreaMark mark;
  std::string_view name = file_name.view();
  if (n < 1 || n > 5) return mark.Keep(file_name);
  std::string_view suffix = std::string_view(kLanguageSuffixes).substr((n - 1) * 4, 3);
  size_t component = name.find_last_of("\\/:");
  component = component == std::string_view::npos ? 0 : component + 1;
  // A dot that begins the last component starts no extension (".profile").
  size_t dot = name.find('.', component + 1);
  if (component >= name.size()) dot = std::string_view::npos;
  std::string out;
  out.reserve(name.size() + 3);
  if (dot == std::string_view::npos) {
    out.append(name).append(suffix);
  } else {
    out.append(name.substr(0, dot)).append(suffix).append(name.substr(dot));
  }
  return mark.Keep(Slice::Of(out));
}

// ---- Format message -------------------------------------------------------

namespace {

void AppendPadded(std::string& out, std::string_view body, int width, bool left, char pad,
                  size_t sign_len) {
  size_t len = body.size();
  size_t fill = width > 0 && static_cast<size_t>(width) > len ? width - len : 0;
  if (left) {
    out.append(body);
    out.append(fill, ' ');
  } else if (pad == '0') {
    out.append(body.substr(0, sign_len));
    out.append(fill, '0');
    out.append(body.substr(sign_len));
  } else {
    out.append(fill, ' ');
    out.append(body);
  }
}

std::string NumberText(int64_t n, char conversion) {
  if (conversion == 'x' || conversion == 'X') {
    const char* digits = conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
    uint64_t u = static_cast<uint64_t>(n);
    std::string s;
    do {
      s.insert(s.begin(), digits[u % 16]);
      u /= 16;
    } while (u != 0);
    return s;
  }
  if (conversion == 'u') return std::to_string(static_cast<uint64_t>(n));
  return std::to_string(n);
}

}  // namespace

Slice FormatMessageV(int limit, Slice format, std::span<const FormatArg> args) {
  if (!format.ok()) return format;
  AreaMark mark;
  size_t cap = static_cast<size_t>(std::clamp(limit, 0, static_cast<int>(kMaxTextLength)));
  std::string out;
  size_t next = 0;
  std::string_view f = format.view();
  for (size_t i = 0; i < f.size() && out.size() <= cap; ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    size_t start = i++;
    bool left = false;
    char pad = ' ';
    for (;
         i < f.size() && (f[i] == '-' || f[i] == '0' || f[i] == '+' || f[i] == ' ' || f[i] == '#');
         ++i) {
      if (f[i] == '-') left = true;
      if (f[i] == '0') pad = '0';
    }
    int width = 0;
    for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) {
      width = std::min(width * 10 + (f[i] - '0'), 65536);
    }
    int precision = -1;
    if (i < f.size() && f[i] == '.') {
      precision = 0;
      for (++i; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) {
        precision = std::min(precision * 10 + (f[i] - '0'), 65536);
      }
    }
    while (i < f.size() && (f[i] == 'l' || f[i] == 'h' || f[i] == 'z')) ++i;
    if (i >= f.size()) {
      out.append(f.substr(start));
      break;
    }
    char conversion = f[i];
    if (conversion == '%') {
      out += '%';
      continue;
    }
    if (std::string_view("sdiuxXc").find(conversion) == std::string_view::npos) {
      out.append(f.substr(start, i - start + 1));
      continue;
    }
    const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
    ++next;
    std::string body;
    size_t sign_len = 0;
    if (arg == nullptr) {
      // A missing value writes nothing.
    } else if (arg->is_text()) {
      Slice t = arg->text();
      std::string_view v = t.ok() ? t.view() : std::string_view();
      if (conversion == 'c') v = v.substr(0, 1);
      if (conversion == 's' && precision >= 0 && v.size() > static_cast<size_t>(precision)) {
        v = v.substr(0, precision);
      }
      body.assign(v);
    } else if (conversion == 'c') {
      body.assign(1, static_cast<char>(arg->number()));
    } else {
      body = NumberText(arg->number(), conversion == 's' ? 'd' : conversion);
      if (!body.empty() && body[0] == '-') sign_len = 1;
    }
    bool numeric = arg != nullptr && !arg->is_text() && conversion != 'c';
    AppendPadded(out, body, width, left, numeric ? pad : ' ', sign_len);
  }
  if (out.size() > cap) {
    return ErrorSliceOr(1, ErrorArea::kFormatStrings, Status::kStringTooLong, Slice());
  }
  return mark.Keep(Slice::Of(out));
}

}  // namespace tessaly
