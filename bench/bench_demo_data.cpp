// Generating the demo data set beside SQLite writing the same rows.
//
//   bench_demo_data [N] [folder]
//
// Ours: tessaly-demodata makes N delivery notes (default 100,000) in a fresh
// copy of the demo application (plus its 200 customers, 500 articles, the
// invoices of January and a few budgets and orders), every line saved
// through the record operations with the application's relational updates:
// the article's stock and the note's totals are rewritten for every line.
// The run is timed as a whole, process start and the final checkpoint
// included, then its --check is run (not timed).
// SQLite: the 500 articles, then the N notes inside one transaction, each
// note a header row and 1 to 6 line rows, and for every line the article's
// stock and the header's totals updated, as our relational updates do;
// primary keys on both tables' document keys and one index on the header's
// customer. Default settings (rollback journal, full sync at commit). The
// ratio is ours / SQLite's.
#include <sqlite3.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_demo_data: %s\n", what.c_str());
  std::exit(1);
}

// Runs a program to its end; its exit code.
int Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    Die("cannot start " + args[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

double Ours(int notes, const fs::path& folder) {
  const fs::path app = folder / "tessaly";
  fs::remove_all(app);
  fs::create_directories(app);
  for (const auto& entry : fs::directory_iterator(fs::path(TESSALY_SOURCE_DIR) / "apps/tessaly")) {
    if (entry.is_regular_file()) fs::copy(entry.path(), app / entry.path().filename());
  }
  auto start = std::chrono::steady_clock::now();
  int code = Run({TESSALY_DEMODATA, "--app", app.string(), "--notes", std::to_string(notes)});
  double seconds = Seconds(start);
  if (code != 0) Die("tessaly-demodata failed with " + std::to_string(code));
  if (Run({TESSALY_DEMODATA, "--app", app.string(), "--check"}) != 0) Die("the check failed");
  return seconds;
}

void Sql(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    Die(std::string("sqlite: ") + sql + ": " + (error ? error : "?"));
  }
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
  return s;
}

void Step(sqlite3* db, sqlite3_stmt* s) {
  if (sqlite3_step(s) != SQLITE_DONE) Die(sqlite3_errmsg(db));
  sqlite3_reset(s);
}

void Text(sqlite3_stmt* s, int i, const std::string& v) {
  sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

double Sqlite(int notes, const fs::path& folder) {
  const fs::path path = folder / "demo.sqlite";
  fs::remove(path);
  fs::remove(folder / "demo.sqlite-journal");
  std::mt19937 random(16);
  auto between = [&](int low, int high) {
    return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
  };
  auto start = std::chrono::steady_clock::now();
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("cannot open " + path.string());
  Sql(db,
      "CREATE TABLE article(code TEXT PRIMARY KEY, descr TEXT, price INTEGER, vat INTEGER,"
      " stock INTEGER);"
      "CREATE TABLE note(series TEXT, number INTEGER, date TEXT, customer TEXT, custname TEXT,"
      " base INTEGER, vat INTEGER, total INTEGER, PRIMARY KEY(series, number));"
      "CREATE INDEX note_customer ON note(customer);"
      "CREATE TABLE line(series TEXT, number INTEGER, n_line INTEGER, article TEXT, descr TEXT,"
      " qty INTEGER, price INTEGER, disc INTEGER, vatrate INTEGER, amount INTEGER,"
      " PRIMARY KEY(series, number, n_line));");
  Sql(db, "BEGIN");
  sqlite3_stmt* article = Prepare(db, "INSERT INTO article VALUES(?,?,?,?,?)");
  std::vector<int> price(500), vat(500);
  for (int i = 0; i < 500; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "A%05d", i + 1);
    price[static_cast<size_t>(i)] = between(5, 45000);
    vat[static_cast<size_t>(i)] = i % 5 == 0 ? 4 : i % 3 == 0 ? 10 : 21;
    Text(article, 1, code);
    Text(article, 2, "Artículo de demostración");
    sqlite3_bind_int(article, 3, price[static_cast<size_t>(i)]);
    sqlite3_bind_int(article, 4, vat[static_cast<size_t>(i)]);
    sqlite3_bind_int(article, 5, between(200, 1000));
    Step(db, article);
  }
  sqlite3_finalize(article);
  sqlite3_stmt* header = Prepare(db, "INSERT INTO note VALUES(?,?,?,?,?,0,0,0)");
  sqlite3_stmt* line = Prepare(db, "INSERT INTO line VALUES(?,?,?,?,?,?,?,?,?,?)");
  sqlite3_stmt* stock = Prepare(db, "UPDATE article SET stock = stock - ? WHERE code = ?");
  sqlite3_stmt* totals = Prepare(db,
                                 "UPDATE note SET base = base + ?1, vat = vat + ?2,"
                                 " total = base + ?1 + vat + ?2 WHERE series = ?3 AND number = ?4");
  for (int n = 1; n <= notes; ++n) {
    const std::string series = random() % 10 == 0 ? "B25" : "A25";
    char customer[8], date[9];
    std::snprintf(customer, sizeof customer, "C%05d", between(1, 200));
    std::snprintf(date, sizeof date, "2025%02d%02d", between(1, 12), between(1, 28));
    Text(header, 1, series);
    sqlite3_bind_int(header, 2, n);
    Text(header, 3, date);
    Text(header, 4, customer);
    Text(header, 5, "Ferretería García Martínez S.L.");
    Step(db, header);
    int lines = between(1, 6);
    for (int l = 1; l <= lines; ++l) {
      size_t a = static_cast<size_t>(between(0, 499));
      char code[8];
      std::snprintf(code, sizeof code, "A%05zu", a + 1);
      int qty = between(1, 5);
      int64_t amount = int64_t{qty} * price[a];
      Text(line, 1, series);
      sqlite3_bind_int(line, 2, n);
      sqlite3_bind_int(line, 3, l);
      Text(line, 4, code);
      Text(line, 5, "Artículo de demostración");
      sqlite3_bind_int(line, 6, qty);
      sqlite3_bind_int(line, 7, price[a]);
      sqlite3_bind_int(line, 8, 0);
      sqlite3_bind_int(line, 9, vat[a]);
      sqlite3_bind_int64(line, 10, amount);
      Step(db, line);
      sqlite3_bind_int(stock, 1, qty);
      Text(stock, 2, code);
      Step(db, stock);
      sqlite3_bind_int64(totals, 1, amount);
      sqlite3_bind_int64(totals, 2, (amount * vat[a] + 50) / 100);
      Text(totals, 3, series);
      sqlite3_bind_int(totals, 4, n);
      Step(db, totals);
    }
  }
  sqlite3_finalize(header);
  sqlite3_finalize(line);
  sqlite3_finalize(stock);
  sqlite3_finalize(totals);
  Sql(db, "COMMIT");
  sqlite3_close(db);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  int notes = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (notes <= 0) Die("the count of notes must be positive");
  fs::path folder = argc > 2 ? fs::path(argv[2])
                             : fs::temp_directory_path() /
                                   ("bench_demo_data_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  double ours = Ours(notes, folder);
  double theirs = Sqlite(notes, folder);
  std::printf("%-44s %10s %10s %7s\n", "generating delivery notes", "tessaly", "sqlite", "ratio");
  std::printf("%-44s %9.2fs %9.2fs %7.2f\n", (std::to_string(notes) + " notes with lines").c_str(),
              ours, theirs, ours / theirs);
  std::printf("%-44s %10.0f %10.0f\n", "notes per second", notes / ours, notes / theirs);
  if (argc <= 2) fs::remove_all(folder);
  return 0;
}
