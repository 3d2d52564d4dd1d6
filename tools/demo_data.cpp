// tessaly-demodata: fills the data files of the Tessaly demo application
// with a realistic, repeatable data set, through the data file engine and
// the record operations (saves run the application's relational updates, so
// stock and document totals come out as a user's saves would leave them).
//
//   tessaly-demodata --app FOLDER [--notes N] [--seed S] [--force] [--check]
//       customers (200) with valid Spanish accounts and IBANs, articles (500)
//       at 21, 10 and 4 % VAT, N delivery notes over the working days of one
//       year with their lines (default 1200), a few budgets and orders, and
//       the invoices of January with their VAT registry and payment due
//       dates. Existing data is never replaced without --force. Long runs
//       report their progress on stderr every 10,000 notes. The files are
//       written in the engine's bulk mode: opened exclusive, commits deferred
//       to a checkpoint every few thousand documents.
//   tessaly-demodata --app FOLDER --check [--seed S]
//       checks the data set: the stock of every article is its initial stock
//       (a function of the seed) less the quantities of its delivery-note
//       lines, and every budget, order, delivery note and invoice totals its
//       lines. With --notes or --force the data is generated first. Exit
//       code 1 and a message naming the article or document on a mismatch.
//   tessaly-demodata --app FOLDER --add-line SERIES,NUMBER,ARTICLE,QTY
//       appends a line to a delivery note as the document window saves one,
//       and prints the article's stock before and after.
//
// The application folder holds TYDICC.DAT, TYREL.DAT and TYRELUP.DAT; the
// data files live beside them (the dictionary's files name no folder).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_functions.h"
#include "core/environment_table.h"
#include "core/flags.h"
#include "core/slice.h"
#include "core/status.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/builtins_data.h"
#include "data/datafile.h"
#include "data/dictionary.h"
#include "data/record_ops.h"
#include "data/relup.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "platform/encoding.h"
#include "platform/paths.h"
#include "tools/datafile_tool.h"

namespace tessaly::tools {
namespace {

// File numbers of the application's dictionary (TYDICC.DAT).
enum DemoFile : int {
  kCustomers = 1,
  kArticles = 2,
  kVatRateFile = 3,
  kSeries = 4,
  kCounters = 5,
  kVatRegistry = 6,
  kBudgets = 7,
  kBudgetLines = 8,
  kOrders = 9,
  kOrderLines = 10,
  kDeliveryNotes = 11,
  kDeliveryLines = 12,
  kPayments = 13,
  kInvoices = 14,
  kInvoiceLines = 15,
  kDemoFileCount = 15,
};

constexpr int kCustomerCount = 200;
constexpr int kArticleCount = 500;
constexpr int kDefaultNotes = 1200;
constexpr int kYear = 2025;
constexpr int kBudgetCount = 24;
constexpr int kOrderCount = 24;
constexpr int kProgressEvery = 10000;
// Held records that make a checkpoint of the bulk writing due: a few
// thousand notes with their lines, some megabytes of memory.
constexpr int64_t kCheckpointRecords = 50000;

// A small deterministic generator (64-bit LCG), so that every run with the
// same seed writes the same data on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  uint64_t state_;
};

std::string Digits(Random& r, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += static_cast<char>('0' + r.Below(10));
  return s;
}

std::string Padded(long value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return s;
}

// A code: a prefix and a zero-padded number.
std::string Code(const char* prefix, long value, int width) {
  std::string s = prefix;
  s += Padded(value, width);
  return s;
}

// A document number as its N field stores it: right-aligned in blanks.
std::string StoredNumber(long value) {
  std::string s = std::to_string(value);
  return std::string(s.size() < 6 ? 6 - s.size() : 0, ' ') + s;
}

// Cents as the text of a number with two decimals.
std::string Money(int64_t cents) {
  std::string sign = cents < 0 ? "-" : "";
  if (cents < 0) cents = -cents;
  return sign + std::to_string(cents / 100) + "." + Padded(static_cast<long>(cents % 100), 2);
}

// ---- Spanish names (written here in UTF-8, stored in Windows-1252) ---------------

const char* const kFirstNames[] = {
    "Antonio", "María", "José", "Carmen", "Manuel", "Ana", "Francisco", "Isabel",
    "David", "Laura", "Javier", "Lucía", "Daniel", "Marta", "Jesús", "Elena",
    "Alejandro", "Cristina", "Miguel", "Pilar", "Rafael", "Rocío", "Pablo", "Nuria",
    "Ángel", "Sofía", "Sergio", "Beatriz", "Fernando", "Concepción"};
const char* const kSurnames[] = {
    "García", "Martínez", "López", "Sánchez", "González", "Gómez",
    "Fernández", "Moreno", "Jiménez", "Pérez", "Rodríguez", "Navarro",
    "Ruiz", "Díaz", "Serrano", "Hernández", "Muñoz", "Sáez", "Romero", "Rubio",
    "Alfaro", "Molina", "Ibáñez", "Castaño", "Peña", "Ortuño"};
const char* const kTrades[] = {
    "Ferretería", "Panadería", "Bar", "Restaurante", "Talleres", "Construcciones",
    "Librería", "Farmacia", "Frutas", "Electricidad", "Fontanería", "Suministros",
    "Distribuciones", "Carpintería", "Papelería"};
const char* const kCompanyForms[] = {"S.L.", "S.A.", "S.L.U.", "C.B.", "S.Coop."};
struct Town {
  const char* city;
  const char* province;
  const char* zip_prefix;
};
const Town kTowns[] = {
    {"Madrid", "Madrid", "280"},          {"Barcelona", "Barcelona", "080"},
    {"Valencia", "Valencia", "460"},      {"Sevilla", "Sevilla", "410"},
    {"Zaragoza", "Zaragoza", "500"},      {"Málaga", "Málaga", "290"},
    {"Murcia", "Murcia", "300"},          {"Palma", "Illes Balears", "070"},
    {"Bilbao", "Bizkaia", "480"},         {"Alicante", "Alicante", "030"},
    {"Córdoba", "Córdoba", "140"},  {"Valladolid", "Valladolid", "470"},
    {"Vigo", "Pontevedra", "362"},        {"Gijón", "Asturias", "332"},
    {"A Coruña", "A Coruña", "150"}, {"León", "León", "240"},
    {"Logroño", "La Rioja", "260"},    {"Cáceres", "Cáceres", "100"}};
const char* const kStreets[] = {"Calle Mayor", "Avenida de la Constitución", "Calle Real",
                                "Plaza de España", "Calle del Sol", "Paseo de la Castellana",
                                "Calle Cervantes", "Avenida de Andalucía", "Calle Alcalá",
                                "Ronda de Segovia", "Calle Niños de Écija"};
// Banks of Spain by their four-digit code.
const char* const kBanks[] = {"2100", "0049", "0182", "0081", "0128", "3058",
                              "2085", "0075", "0487", "2095", "0030", "1465"};

struct ArticleKind {
  const char* name;
  const char* family;
  char vat;  // code of TIPOSIVA
  int low_cents, high_cents;
  const char* unit;
};
const ArticleKind kArticleKinds[] = {
    {"Tornillo", "FERR", 'G', 5, 90, "UD"},          {"Martillo", "FERR", 'G', 600, 3500, "UD"},
    {"Taladro", "FERR", 'G', 3500, 24000, "UD"},     {"Cable", "ELEC", 'G', 50, 900, "M"},
    {"Bombilla LED", "ELEC", 'G', 250, 1800, "UD"},  {"Enchufe", "ELEC", 'G', 190, 1200, "UD"},
    {"Pintura", "PINT", 'G', 900, 6500, "L"},        {"Pincel", "PINT", 'G', 120, 1500, "UD"},
    {"Aceite de oliva", "ALIM", 'R', 450, 3200, "L"}, {"Café", "ALIM", 'R', 280, 1600, "KG"},
    {"Agua mineral", "ALIM", 'R', 30, 220, "UD"},     {"Conservas", "ALIM", 'R', 120, 900, "UD"},
    {"Pan", "BASI", 'S', 60, 350, "UD"},              {"Leche", "BASI", 'S', 70, 190, "L"},
    {"Huevos", "BASI", 'S', 150, 450, "DOC"},         {"Libro", "LIBR", 'S', 900, 4500, "UD"},
    {"Cuaderno", "PAPE", 'G', 90, 650, "UD"},         {"Bolígrafo", "PAPE", 'G', 40, 350, "UD"},
    {"Silla", "MUEB", 'G', 2500, 18000, "UD"},        {"Mesa", "MUEB", 'G', 6000, 45000, "UD"}};
const char* const kArticleQualities[] = {"estándar", "profesional", "económico",
                                         "premium", "ecológico", "de ocasión"};
const char* const kArticleSizes[] = {"pequeño", "mediano", "grande", "XL", "nº 2",
                                     "nº 5", "blanco", "negro", "rojo"};

struct VatRate {
  char code;
  const char* name;
  int percent;
};
const VatRate kVatRates[] = {{'G', "General", 21},
                             {'R', "Reducido", 10},
                             {'S', "Superreducido", 4},
                             {'E', "Exento", 0}};

// ---- The runtime's services ---------------------------------------------------------

struct Failure {
  std::string what;
};

void Check(Status s, const std::string& what) {
  if (s.code() >= 122) throw Failure{what + ": " + Describe(s.code())};
}

// Evaluates an expression of the runtime; its text result.
std::string Evaluate(const std::string& expression) {
  AreaMark mark;
  Slice v = EvaluateToText(Slice::Of(expression));
  if (!v.ok()) throw Failure{expression + ": " + Describe(v.status().code())};
  return v.str();
}

void Blank(int file) { Check(DataFileMove(file, kMoveClear), "clear"); }

void Set(int file, const char* field, const std::string& value) {
  int n = FieldByName(file, Slice::Of(field));
  if (n < 1) throw Failure{std::string("the dictionary has no field ") + field};
  std::string stored = platform::Utf8ToCp1252(value);
  Check(FieldStore(file, n, Slice::Of(stored)), std::string("store ") + field);
}

std::string Get(int file, const char* field) {
  AreaMark mark;
  int n = FieldByName(file, Slice::Of(field));
  if (n < 1) throw Failure{std::string("the dictionary has no field ") + field};
  return std::string(Trim(FieldFetch(file, n)).view());
}

// Saves buffer 1 as a new record, the relational updates of the file
// running as they do for a user's save.
void Insert(int file) {
  Status s = RecordSave(RecordOpFlags(kOpIns), file, Slice(), Slice());
  Check(s, "insert into " + FileName(file).str());
}

bool Find(int file, int key, const std::string& text) {
  Status s = DataFileFind(file, key, Slice::Of(text), 0);
  Check(s, "find in " + FileName(file).str());
  return s == kResultFound;
}

struct Setup {
  std::string app;
  int notes = kDefaultNotes;
  uint64_t seed = 16;
  bool force = false;
  bool check = false;
  bool generate = false;  // --notes or --force given
  std::string add_line;
};

bool ParseArguments(int argc, char** argv, Setup* setup, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--force") {
      setup->force = true;
      setup->generate = true;
    } else if (a == "--check") {
      setup->check = true;
    } else if (a == "--app" || a == "--notes" || a == "--seed" || a == "--add-line") {
      const char* v = value();
      if (v == nullptr) {
        *error = std::string(a) + " needs a value";
        return false;
      }
      if (a == "--app") {
        setup->app = v;
      } else if (a == "--add-line") {
        setup->add_line = v;
      } else {
        char* end = nullptr;
        unsigned long long n = std::strtoull(v, &end, 10);
        if (*v == '\0' || *end != '\0' || n > 10000000ULL) {
          *error = "not a number: " + std::string(v);
          return false;
        }
        if (a == "--notes") {
          setup->notes = static_cast<int>(n);
          setup->generate = true;
        } else {
          setup->seed = n;
        }
      }
    } else {
      *error = "unexpected argument: " + std::string(a);
      return false;
    }
  }
  if (setup->app.empty()) {
    *error = "give the application folder with --app";
    return false;
  }
  return true;
}

void StartRuntime(const std::string& app) {
  ResetVariables();
  UseStructuresForExpressions();
  InstallRecordOperations();
  UseStructuresForDataFiles();
  InstallDataBuiltinFunctions();
  InstallRelationalUpdates();
  Check(RegisterApplicationFunctions(), "the application's functions");
  std::string folder = platform::Utf8ToCp1252(app);
  Check(SetEnvironment(kEnvApplicationName, "TYRBNQD1:VizuzIzeri"), "application name");
  Check(SetEnvironment(kEnvLanguage, "ES"), "language");
  Check(SetEnvironment(kEnvDefaultFolder, Slice::Of(folder)), "default folder");
  Check(DictionaryLoad("TY", Slice::Of(folder), Slice::Of(folder)), "the dictionary");
  if (FileCount() < kDemoFileCount) throw Failure{"TYDICC.DAT defines too few files"};
  SetWord(kUpStat, static_cast<uint16_t>(Word(kUpStat) | 0x01));
}

void OpenAll(int flags) {
  for (int f = 1; f <= kDemoFileCount; ++f) {
    Check(DataFileOpen(f, flags), "open " + FileName(f).str());
    Check(RelUpdateLoad(f, Slice()), "relational updates of " + FileName(f).str());
  }
}

// ---- The data set --------------------------------------------------------------------

// The customers and articles are a function of the seed alone (drawn before
// any document), so the check can draw them again to know the initial stock.
struct Customer {
  std::string code, name, nif, series, paydays;
  int pays = 1, days = 30;
  const Town* town = nullptr;
  std::string bank, branch, account, street, zip, phone, disc, created;
};
struct Article {
  std::string code, descr, family, unit, cost;
  int64_t price_cents = 0;
  int vat = 21;
  char vat_code = 'G';
  int64_t stock = 0;  // initial stock
  int minstock = 0;
};

void WriteTables() {
  for (const VatRate& v : kVatRates) {
    Blank(kVatRateFile);
    Set(kVatRateFile, "CODE", std::string(1, v.code));
    Set(kVatRateFile, "DESCR", v.name);
    Set(kVatRateFile, "RATE", std::to_string(v.percent));
    Set(kVatRateFile, "SURCHARGE", v.percent == 21 ? "5.2" : v.percent == 10 ? "1.4" : v.percent == 4 ? "0.5" : "0");
    Insert(kVatRateFile);
  }
  const char* series[][2] = {{"A", "Serie general"}, {"B", "Tickets de mostrador"},
                             {"R", "Facturas rectificativas"}};
  for (auto& s : series) {
    Blank(kSeries);
    Set(kSeries, "CODE", s[0]);
    Set(kSeries, "DESCR", s[1]);
    Set(kSeries, "PREFIX", s[0]);
    Insert(kSeries);
  }
}

std::vector<Customer> PlanCustomers(Random& r) {
  static const char kNifLetters[] = "TRWAGMYFPDXBNJZSQVHLCKE";
  std::vector<Customer> customers;
  for (int i = 1; i <= kCustomerCount; ++i) {
    Customer c;
    c.code = Code("C", i, 5);
    bool company = r.Below(3) == 0;
    if (company) {
      c.name = std::string(r.Pick(kTrades)) + " " + r.Pick(kSurnames) + " " + r.Pick(kCompanyForms);
      static const char kForms[] = "ABJ";
      c.nif = std::string(1, kForms[r.Below(3)]) + Digits(r, 8);
    } else {
      c.name = std::string(r.Pick(kSurnames)) + " " + r.Pick(kSurnames) + ", " + r.Pick(kFirstNames);
      long number = 10000000L + static_cast<long>(r.Next() % 89999999U);
      c.nif = std::to_string(number) + kNifLetters[number % 23];
    }
    c.town = &r.Pick(kTowns);
    c.pays = r.Between(1, 3);
    c.days = 30 * r.Between(0, 2);
    c.series = std::string(r.Below(10) == 0 ? "B" : "A");
    c.bank = r.Pick(kBanks);
    c.branch = Digits(r, 4);
    c.account = Digits(r, 10);
    c.street = std::string(r.Pick(kStreets)) + ", " + std::to_string(r.Between(1, 180));
    c.zip = c.town->zip_prefix + Padded(r.Between(1, 99), 2);
    c.phone = std::string(r.Below(2) ? "6" : "9") + Digits(r, 8);
    c.paydays = std::string(r.Below(4) == 0 ? "5,20" : "");
    c.disc = std::string(r.Below(5) == 0 ? "5" : "0");
    c.created = std::to_string(kYear - 1) + Padded(r.Between(1, 12), 2) + "15";
    customers.push_back(c);
  }
  return customers;
}

void WriteCustomers(const std::vector<Customer>& customers) {
  int i = 0;
  for (const Customer& c : customers) {
    ++i;
    // The account's control digits and IBAN come from the application's
    // own function, so every account stored is one it accepts.
    std::string parts =
        Evaluate("Iban$('ES';'" + c.bank + "';'" + c.branch + "';'';'" + c.account + "')");
    if (parts.size() != 4 + 1 + 4 + 1 + 4 + 1 + 2 + 1 + 10) {
      throw Failure{"Iban$ refused the account " + c.bank + c.branch + c.account};
    }
    std::string control = parts.substr(15, 2);
    std::string iban = parts.substr(0, 4) + c.bank + c.branch + control + c.account;

    Blank(kCustomers);
    Set(kCustomers, "CODE", c.code);
    Set(kCustomers, "NAME", c.name);
    Set(kCustomers, "NIF", c.nif);
    Set(kCustomers, "ADDRESS", c.street);
    Set(kCustomers, "ZIP", c.zip);
    Set(kCustomers, "CITY", c.town->city);
    Set(kCustomers, "PROVINCE", c.town->province);
    Set(kCustomers, "PHONE", c.phone);
    Set(kCustomers, "EMAIL", Code("cliente", i, 3) + "@correo.example");
    Set(kCustomers, "BANK", c.bank);
    Set(kCustomers, "BRANCH", c.branch);
    Set(kCustomers, "DC", control);
    Set(kCustomers, "ACCOUNT", c.account);
    Set(kCustomers, "IBAN", iban);
    Set(kCustomers, "PAYMODE", c.pays > 1 ? "RB" : (c.days > 0 ? "TR" : "EF"));
    Set(kCustomers, "NPAYS", std::to_string(c.pays));
    Set(kCustomers, "DAYS", std::to_string(c.days));
    Set(kCustomers, "PAYDAYS", c.paydays);
    Set(kCustomers, "DISC", c.disc);
    Set(kCustomers, "SERIES", c.series);
    Set(kCustomers, "BALANCE", "0");
    Set(kCustomers, "CREATED", c.created);
    Insert(kCustomers);
  }
}

std::vector<Article> PlanArticles(Random& r) {
  std::vector<Article> articles;
  for (int i = 1; i <= kArticleCount; ++i) {
    const ArticleKind& kind = kArticleKinds[(i - 1) % std::size(kArticleKinds)];
    Article a;
    a.code = Code("A", i, 5);
    a.descr = std::string(kind.name) + " " + r.Pick(kArticleQualities) + " " + r.Pick(kArticleSizes);
    a.family = kind.family;
    a.unit = kind.unit;
    a.price_cents = r.Between(kind.low_cents, kind.high_cents);
    a.vat_code = kind.vat;
    for (const VatRate& v : kVatRates) {
      if (v.code == kind.vat) a.vat = v.percent;
    }
    a.cost = Money(a.price_cents * r.Between(55, 75) / 100);
    a.stock = r.Between(200, 1000);
    a.minstock = r.Between(5, 50);
    articles.push_back(a);
  }
  return articles;
}

void WriteArticles(const std::vector<Article>& articles) {
  int i = 0;
  for (const Article& a : articles) {
    ++i;
    Blank(kArticles);
    Set(kArticles, "CODE", a.code);
    Set(kArticles, "DESCR", a.descr);
    Set(kArticles, "FAMILY", a.family);
    Set(kArticles, "PRICE", Money(a.price_cents));
    Set(kArticles, "COST", a.cost);
    Set(kArticles, "VATCODE", std::string(1, a.vat_code));
    Set(kArticles, "STOCK", std::to_string(a.stock));
    Set(kArticles, "MINSTOCK", std::to_string(a.minstock));
    Set(kArticles, "BARCODE", Code("84", 1000 + i, 10) + std::to_string(i % 10));
    Set(kArticles, "UNIT", a.unit);
    Insert(kArticles);
  }
}

// The working days of the year with the share of the year's documents each
// gets: none on Sundays and national holidays, half on Saturdays, a quiet
// August and a busy December.
struct WorkingDay {
  std::string date;  // YYYYMMDD
  int weight = 0;
};

std::vector<WorkingDay> WorkingDays() {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static const int kMonthWeight[] = {10, 10, 11, 10, 11, 11, 10, 6, 10, 11, 11, 13};
  static const char* const kHolidays[] = {"0101", "0106", "0418", "0501", "0815",
                                          "1012", "1101", "1206", "1208", "1225"};
  std::vector<WorkingDay> days;
  int weekday = 2;  // 1 January 2025 is a Wednesday (0 Monday)
  for (int m = 0; m < 12; ++m) {
    for (int d = 1; d <= kDays[m]; ++d, weekday = (weekday + 1) % 7) {
      std::string month_day = Padded(m + 1, 2) + Padded(d, 2);
      bool holiday = false;
      for (const char* h : kHolidays) holiday |= month_day == h;
      if (weekday == 6 || holiday) continue;
      days.push_back({std::to_string(kYear) + month_day, kMonthWeight[m] * (weekday == 5 ? 1 : 2)});
    }
  }
  return days;
}

// The dates of `count` documents spread over the working days by weight, in
// date order, so that document numbers grow with their dates.
std::vector<std::string> DocumentDates(int count) {
  std::vector<WorkingDay> days = WorkingDays();
  int64_t total = 0;
  for (const WorkingDay& d : days) total += d.weight;
  std::vector<std::string> dates;
  dates.reserve(static_cast<size_t>(count));
  size_t day = 0;
  int64_t before = 0;  // weight of the days before `day`
  for (int i = 0; i < count; ++i) {
    // The document's place in the year, in units of weight.
    int64_t at = (2 * static_cast<int64_t>(i) + 1) * total / (2 * static_cast<int64_t>(count));
    while (day + 1 < days.size() && before + days[day].weight <= at) before += days[day++].weight;
    dates.push_back(days[day].date);
  }
  return dates;
}

struct LineData {
  std::string article, descr;
  int64_t qty = 0, price_cents = 0, disc = 0;
  int vat = 21;
};

int64_t LineAmount(const LineData& l) {
  int64_t gross = l.qty * l.price_cents;
  return (gross * (100 - l.disc) + 50) / 100;
}

void WriteLine(int file, const std::string& series, const std::string& number, int n,
               const LineData& l) {
  Blank(file);
  Set(file, "SERIES", series);
  Set(file, "NUMBER", number);
  Set(file, "N_LINE", std::to_string(n));
  Set(file, "ARTICLE", l.article);
  Set(file, "DESCR", l.descr);
  Set(file, "QTY", std::to_string(l.qty));
  Set(file, "PRICE", Money(l.price_cents));
  Set(file, "DISC", std::to_string(l.disc));
  Set(file, "VATRATE", std::to_string(l.vat));
  Set(file, "AMOUNT", Money(LineAmount(l)));
  Insert(file);
}

// A document header with zero totals (its lines' relational updates add
// them up); `more` stores the fields of the kind of document.
void WriteHeader(int file, const std::string& series, const std::string& number,
                 const std::string& date, const Customer& c,
                 const std::vector<std::pair<const char*, std::string>>& more = {}) {
  Blank(file);
  Set(file, "SERIES", series);
  Set(file, "NUMBER", number);
  Set(file, "DATE", date);
  Set(file, "CUSTOMER", c.code);
  Set(file, "CUSTNAME", c.name);
  Set(file, "BASE", "0");
  Set(file, "VAT", "0");
  Set(file, "TOTAL", "0");
  for (const auto& [field, value] : more) Set(file, field, value);
  Insert(file);
}

// A date `days` after `date` (YYYYMMDD).
std::string DateAfter(const std::string& date, int days) {
  using namespace std::chrono;
  const year_month_day from{year{std::stoi(date.substr(0, 4))},
                            month{static_cast<unsigned>(std::stoi(date.substr(4, 2)))},
                            day{static_cast<unsigned>(std::stoi(date.substr(6, 2)))}};
  const year_month_day to{sys_days{from} + std::chrono::days{days}};
  return Padded(static_cast<int>(to.year()), 4) + Padded(static_cast<unsigned>(to.month()), 2) +
         Padded(static_cast<unsigned>(to.day()), 2);
}

// Seconds since `start`, for the progress lines.
double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteCounter(const std::string& series, const char* kind, int last) {
  Blank(kCounters);
  Set(kCounters, "SERIES", series);
  Set(kCounters, "KIND", kind);
  Set(kCounters, "LAST", std::to_string(last));
  Insert(kCounters);
}

struct NoteRef {
  std::string series, number, date;
  int customer = 0;
  std::vector<LineData> lines;
};

std::vector<NoteRef> WriteDeliveryNotes(Random& r, const std::vector<Customer>& customers,
                                        const std::vector<Article>& articles, int count) {
  std::vector<NoteRef> january;
  std::map<std::string, int> last_number;
  const std::vector<std::string> dates = DocumentDates(count);
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const std::string& date = dates[static_cast<size_t>(i)];
    NoteRef note;
    note.customer = r.Below(kCustomerCount);
    const Customer& c = customers[static_cast<size_t>(note.customer)];
    note.series = Evaluate("DocSer$('" + c.series + "';'" + date + "')");
    int number = ++last_number[note.series];
    note.number = std::to_string(number);
    note.date = date;
    WriteHeader(kDeliveryNotes, note.series, note.number, date, c);
    int lines = r.Between(1, 6);
    for (int n = 1; n <= lines; ++n) {
      const Article& a = articles[static_cast<size_t>(r.Below(kArticleCount))];
      LineData l{a.code, a.descr, r.Between(1, 5), a.price_cents, r.Below(8) == 0 ? 10 : 0, a.vat};
      WriteLine(kDeliveryLines, note.series, note.number, n, l);
      note.lines.push_back(l);
    }
    if (date.compare(4, 2, "01") == 0) january.push_back(note);
    // The note, its lines and the stock they moved are whole here.
    Check(DataFileBulkPoint(), "checkpoint");
    if ((i + 1) % kProgressEvery == 0 && i + 1 < count) {
      std::fprintf(stderr, "tessaly-demodata: %d of %d delivery notes (%.0f s)\n", i + 1, count,
                   SecondsSince(started));
    }
  }
  for (const auto& [series, last] : last_number) WriteCounter(series, "DELIVER", last);
  return january;
}

// The invoices of January: one per customer and series, with the delivery
// notes marked as invoiced, the VAT registry and the payment due dates.
int WriteInvoices(const std::vector<NoteRef>& notes, const std::vector<Customer>& customers) {
  std::map<std::pair<std::string, int>, std::vector<const NoteRef*>> groups;
  for (const NoteRef& n : notes) groups[{n.series, n.customer}].push_back(&n);
  std::map<std::string, int> last_number;
  const std::string invoice_date = std::to_string(kYear) + "0131";
  int invoices = 0;
  for (const auto& [group, members] : groups) {
    const Customer& c = customers[static_cast<size_t>(group.second)];
    const std::string series = group.first;
    const std::string number = std::to_string(++last_number[series]);
    WriteHeader(kInvoices, series, number, invoice_date, c);
    // Per VAT rate the base and the quota in cents; the quota is the sum of
    // the lines' quotas, as the relational updates total the invoice.
    std::map<int, std::pair<int64_t, int64_t>> bases;
    int n = 0;
    for (const NoteRef* note : members) {
      for (const LineData& l : note->lines) {
        WriteLine(kInvoiceLines, series, number, ++n, l);
        bases[l.vat].first += LineAmount(l);
        bases[l.vat].second += (LineAmount(l) * l.vat + 50) / 100;
      }
      if (!Find(kDeliveryNotes, 1, note->series + StoredNumber(std::stol(note->number)))) {
        throw Failure{"delivery note " + note->series + note->number + " not found"};
      }
      Set(kDeliveryNotes, "INVSER", series);
      Set(kDeliveryNotes, "INVNUM", number);
      Check(RecordSave(RecordOpFlags(kOpSve), kDeliveryNotes, Slice::Of(kRelUpdateNone), Slice()),
            "mark delivery note invoiced");
    }
    int64_t total = 0, entry = 0;
    for (const auto& [rate, amounts] : bases) {
      const auto& [base, quota] = amounts;
      total += base + quota;
      Blank(kVatRegistry);
      Set(kVatRegistry, "SERIES", series);
      Set(kVatRegistry, "NUMBER", number);
      Set(kVatRegistry, "N_LINE", std::to_string(++entry));
      Set(kVatRegistry, "DATE", invoice_date);
      Set(kVatRegistry, "CUSTOMER", c.code);
      Set(kVatRegistry, "NIF", c.nif);
      Set(kVatRegistry, "RATE", std::to_string(rate));
      Set(kVatRegistry, "BASE", Money(base));
      Set(kVatRegistry, "QUOTA", Money(quota));
      Insert(kVatRegistry);
    }
    // Equal instalments, the rounding remainder in the last one, on the
    // dates of the application's PayDate$.
    int64_t share = total / c.pays;
    for (int p = 1; p <= c.pays; ++p) {
      Blank(kPayments);
      Set(kPayments, "SERIES", series);
      Set(kPayments, "NUMBER", number);
      Set(kPayments, "N_LINE", std::to_string(p));
      Set(kPayments, "DUEDATE", Evaluate("PayDate$('" + invoice_date + "';" + std::to_string(c.days) +
                                         ";0;1;" + std::to_string(p) + ";'" + c.paydays + "')"));
      Set(kPayments, "AMOUNT", Money(p == c.pays ? total - share * (c.pays - 1) : share));
      Set(kPayments, "CUSTOMER", c.code);
      Set(kPayments, "PAID", "0");
      Insert(kPayments);
    }
    ++invoices;
  }
  for (const auto& [series, last] : last_number) WriteCounter(series, "INVOICE", last);
  return invoices;
}

// A handful of budgets and orders over the year. Their lines' relational
// updates total the headers; neither moves stock.
int WriteBudgetsAndOrders(Random& r, const std::vector<Customer>& customers,
                          const std::vector<Article>& articles) {
  struct Kind {
    int header, lines, count;
    const char* counter;
  };
  const Kind kinds[] = {{kBudgets, kBudgetLines, kBudgetCount, "BUDGET"},
                        {kOrders, kOrderLines, kOrderCount, "ORDER"}};
  int written = 0;
  for (const Kind& kind : kinds) {
    std::map<std::string, int> last_number;
    for (const std::string& date : DocumentDates(kind.count)) {
      const Customer& c = customers[static_cast<size_t>(r.Below(kCustomerCount))];
      const std::string series = Evaluate("DocSer$('" + c.series + "';'" + date + "')");
      const std::string number = std::to_string(++last_number[series]);
      if (kind.header == kBudgets) {
        static const char* const kStates[] = {"P", "A", "A", "R"};  // pending, accepted, refused
        WriteHeader(kind.header, series, number, date, c,
                    {{"VALIDTO", DateAfter(date, 30)}, {"STATUS", r.Pick(kStates)}});
      } else {
        static const char* const kStates[] = {"P", "S", "S"};  // pending, served
        WriteHeader(kind.header, series, number, date, c,
                    {{"DELIVERY", DateAfter(date, r.Between(3, 15))}, {"STATUS", r.Pick(kStates)}});
      }
      int lines = r.Between(1, 4);
      for (int n = 1; n <= lines; ++n) {
        const Article& a = articles[static_cast<size_t>(r.Below(kArticleCount))];
        LineData l{a.code, a.descr, r.Between(1, 20), a.price_cents, r.Below(4) == 0 ? 5 : 0, a.vat};
        WriteLine(kind.lines, series, number, n, l);
      }
      ++written;
      Check(DataFileBulkPoint(), "checkpoint");
    }
    for (const auto& [series, last] : last_number) WriteCounter(series, kind.counter, last);
  }
  return written;
}

// Whether any data file of the application holds a record (the files are
// opened, and so created empty when missing).
bool HasData() {
  bool any = false;
  for (int f = 1; f <= kDemoFileCount; ++f) {
    Check(DataFileOpen(f, 0), "open " + FileName(f).str());
    if (DataFileRecordCount(f) > 0) any = true;
  }
  Check(DataFileCloseAll(), "close");
  return any;
}

void RemoveData() {
  for (int f = 1; f <= kDemoFileCount; ++f) {
    for (DataFilePart part : {DataFilePart::kRecords, DataFilePart::kIndex}) {
      std::string native;
      if (platform::ResolvePath(DataFilePath(f, part), platform::Resolve::kExisting, &native) != 0) {
        continue;
      }
      std::error_code ec;
      std::filesystem::remove(native, ec);
      if (ec) throw Failure{"cannot remove " + native + ": " + ec.message()};
    }
  }
}

// ---- The consistency check ----------------------------------------------------------

// Hundredths of a stored number ("-12.5", "3"); the fields of the data set
// have at most two decimals.
int64_t Cents(const std::string& text) {
  size_t i = 0;
  bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  int64_t units = 0, cents = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) units = units * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    int digits = 0;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 2; ++i, ++digits) {
      cents = cents * 10 + (text[i] - '0');
    }
    if (digits == 1) cents *= 10;
  }
  int64_t value = units * 100 + cents;
  return negative ? -value : value;
}

// Division rounding half away from zero, as the evaluator's numbers do.
int64_t RoundDivide(int64_t n, int64_t d) {
  int64_t q = n / d, rest = n % d;
  if (2 * (rest < 0 ? -rest : rest) >= d) q += n < 0 ? -1 : 1;
  return q;
}

struct Totals {
  int64_t base = 0, vat = 0;
};

// The series and number of a document: key 1 up to the line number.
std::string DocumentKey(int file) {
  AreaMark mark;
  return DataFileKeyText(file, 1, 1).str().substr(0, 9);
}

// Walks a file in key-1 order, calling visit on each record.
template <typename Visit>
void ForEachRecord(int file, Visit visit) {
  Check(DataFileSetKey(file, 1), "key of " + FileName(file).str());
  Status s = DataFileMove(file, kMoveFirst);
  while (s == kResultFound) {
    visit();
    s = DataFileMove(file, kMoveNext);
  }
  Check(s, "read " + FileName(file).str());
}

// The totals the lines of each document of a line file add up to, as the
// relational updates compute them: BASE the sum of the amounts, VAT the sum
// of amount * rate / 100, each rounded to the cent.
std::map<std::string, Totals> LineTotals(int file, std::map<std::string, int64_t>* quantities) {
  std::map<std::string, Totals> totals;
  ForEachRecord(file, [&] {
    int64_t amount = Cents(Get(file, "AMOUNT"));
    Totals& t = totals[DocumentKey(file)];
    t.base += amount;
    t.vat += RoundDivide(RoundDivide(amount * Cents(Get(file, "VATRATE")), 100), 100);
    if (quantities != nullptr) (*quantities)[Get(file, "ARTICLE")] += Cents(Get(file, "QTY"));
  });
  return totals;
}

// Stock equals the initial stock less what the delivery notes took, and
// every document's totals are those of its lines. The initial stock is drawn
// again from the seed. 0, or 1 after naming up to 20 mismatches.
int CheckData(const Setup& setup) {
  for (int f = 1; f <= kDemoFileCount; ++f) {
    Check(DataFileOpen(f, kDataReadOnly), "open " + FileName(f).str());
  }
  std::vector<std::string> problems;
  auto problem = [&](std::string what) {
    if (problems.size() < 20) std::fprintf(stderr, "tessaly-demodata: %s\n", platform::Cp1252ToUtf8(what).c_str());
    problems.push_back(std::move(what));
  };
  auto show = [](int64_t cents) { return Money(cents); };

  std::map<std::string, int64_t> delivered;
  const struct {
    int header, lines;
    const char* kind;
  } documents[] = {{kBudgets, kBudgetLines, "budget"},
                   {kOrders, kOrderLines, "order"},
                   {kDeliveryNotes, kDeliveryLines, "delivery note"},
                   {kInvoices, kInvoiceLines, "invoice"}};
  int64_t checked_documents = 0;
  for (const auto& d : documents) {
    std::map<std::string, Totals> lines =
        LineTotals(d.lines, d.header == kDeliveryNotes ? &delivered : nullptr);
    ForEachRecord(d.header, [&] {
      ++checked_documents;
      const std::string key = DocumentKey(d.header);
      Totals want = lines[key];
      int64_t base = Cents(Get(d.header, "BASE")), vat = Cents(Get(d.header, "VAT")),
              total = Cents(Get(d.header, "TOTAL"));
      if (base != want.base || vat != want.vat || total != want.base + want.vat) {
        problem(std::string(d.kind) + " " + Trim(Slice::Of(key)).str() + ": totals " + show(base) +
                " + " + show(vat) + " = " + show(total) + ", its lines add up to " +
                show(want.base) + " + " + show(want.vat) + " = " + show(want.base + want.vat));
      }
    });
  }

  Random r(setup.seed);
  (void)PlanCustomers(r);
  std::vector<Article> articles = PlanArticles(r);
  for (const Article& a : articles) {
    const int64_t moved = delivered.count(a.code) ? delivered[a.code] : 0;
    delivered.erase(a.code);
    if (!Find(kArticles, 1, a.code)) {
      problem("article " + a.code + " is missing");
      continue;
    }
    const int64_t stock = Cents(Get(kArticles, "STOCK"));
    if (stock != a.stock * 100 - moved) {
      problem("article " + a.code + ": stock " + show(stock) + ", but its initial stock " +
              std::to_string(a.stock) + " less " + show(moved) + " delivered is " +
              show(a.stock * 100 - moved));
    }
  }
  for (const auto& [code, quantity] : delivered) {
    problem("delivery lines take " + show(quantity) + " of article " + code +
            ", which is not an article of the data set (seed " + std::to_string(setup.seed) + ")");
  }
  Check(DataFileCloseAll(), "close");
  if (!problems.empty()) {
    std::fprintf(stderr, "tessaly-demodata: the check found %zu inconsistencies in %s\n",
                 problems.size(), setup.app.c_str());
    return 1;
  }
  std::printf("tessaly-demodata: check passed: the stock of %zu articles and the totals of %lld "
              "documents agree with their lines\n",
              articles.size(), static_cast<long long>(checked_documents));
  return 0;
}

int Generate(const Setup& setup) {
  if (HasData() && !setup.force) {
    std::fprintf(stderr,
                 "tessaly-demodata: %s already holds data; nothing was changed "
                 "(give --force to replace it)\n",
                 setup.app.c_str());
    return 3;
  }
  RemoveData();
  // Exclusive, in bulk: nobody else may use the files while they are made,
  // and the commits after every save wait for a checkpoint.
  OpenAll(kDataExclusive);
  Check(DataFileBulkBegin(kCheckpointRecords), "bulk writing");
  Random r(setup.seed);
  WriteTables();
  std::vector<Customer> customers = PlanCustomers(r);
  std::vector<Article> articles = PlanArticles(r);
  WriteCustomers(customers);
  WriteArticles(articles);
  Check(DataFileBulkPoint(), "checkpoint");
  std::vector<NoteRef> january = WriteDeliveryNotes(r, customers, articles, setup.notes);
  int invoices = WriteInvoices(january, customers);
  int others = WriteBudgetsAndOrders(r, customers, articles);
  Check(DataFileBulkEnd(), "the last checkpoint");
  Check(DataFileCloseAll(), "close");
  std::printf(
      "tessaly-demodata: %d customers, %d articles, %d delivery notes, %d invoices, "
      "%d budgets and orders in %s\n",
      kCustomerCount, kArticleCount, setup.notes, invoices, others, setup.app.c_str());
  return setup.check ? CheckData(setup) : 0;
}

// SERIES,NUMBER,ARTICLE,QTY: a new last line of a delivery note.
int AddLine(const Setup& setup) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= setup.add_line.size(); ++i) {
    if (i == setup.add_line.size() || setup.add_line[i] == ',') {
      parts.push_back(setup.add_line.substr(start, i - start));
      start = i + 1;
    }
  }
  if (parts.size() != 4) throw Failure{"--add-line wants SERIES,NUMBER,ARTICLE,QTY"};
  OpenAll(0);
  const std::string series = parts[0], article = parts[2];
  const std::string number = StoredNumber(std::stol(parts[1]));
  if (!Find(kDeliveryNotes, 1, series + number)) throw Failure{"no delivery note " + series + number};
  if (!Find(kArticles, 1, article)) throw Failure{"no article " + article};
  std::string before = Get(kArticles, "STOCK");
  LineData l;
  l.article = article;
  l.descr = Get(kArticles, "DESCR");
  l.qty = std::stol(parts[3]);
  l.price_cents = std::llround(std::stod(Get(kArticles, "PRICE")) * 100);
  std::string vat_code = Get(kArticles, "VATCODE");
  for (const VatRate& v : kVatRates) {
    if (vat_code.size() == 1 && v.code == vat_code[0]) l.vat = v.percent;
  }
  int last = 0;
  Status s = DataFileFind(kDeliveryLines, 1, Slice::Of(series + number), 0);
  while (s == kResultFound || s == kResultNext) {
    AreaMark mark;
    std::string key = DataFileKeyText(kDeliveryLines, 1, 1).str();
    if (key.compare(0, 9, series + number) != 0) break;
    last = std::stoi(Get(kDeliveryLines, "N_LINE"));
    s = DataFileMove(kDeliveryLines, kMoveNext);
  }
  WriteLine(kDeliveryLines, series, number, last + 1, l);
  Check(DataFileCloseAll(), "close");
  Check(DataFileOpen(kArticles, 0), "reopen articles");
  if (!Find(kArticles, 1, article)) throw Failure{"article lost: " + article};
  std::printf("stock %s: %s -> %s\n", article.c_str(), before.c_str(), Get(kArticles, "STOCK").c_str());
  return 0;
}

}  // namespace
}  // namespace tessaly::tools

int main(int argc, char** argv) {
  using namespace tessaly::tools;
  Setup setup;
  std::string error;
  if (!ParseArguments(argc, argv, &setup, &error)) {
    std::fprintf(stderr,
                 "tessaly-demodata: %s\n"
                 "Usage: tessaly-demodata --app FOLDER [--notes N] [--seed S] [--force] [--check]\n"
                 "       tessaly-demodata --app FOLDER --check [--seed S]\n"
                 "       tessaly-demodata --app FOLDER --add-line SERIES,NUMBER,ARTICLE,QTY\n",
                 error.c_str());
    return 2;
  }
  try {
    StartRuntime(setup.app);
    if (!setup.add_line.empty()) return AddLine(setup);
    if (setup.check && !setup.generate) return CheckData(setup);
    return Generate(setup);
  } catch (const Failure& f) {
    (void)tessaly::DataFileCloseAll();
    std::fprintf(stderr, "tessaly-demodata: %s\n",
                 tessaly::platform::Cp1252ToUtf8(f.what).c_str());
    return 1;
  }
}
