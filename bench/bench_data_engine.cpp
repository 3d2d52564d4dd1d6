// The data file engine beside SQLite on the same records.
//
//   bench_data_engine [N] [folder] [ours|sqlite]
//
// The third argument runs one side only (for profiling).
// N records (default 1,000,000) of 128 bytes: a unique random 10-byte key 1,
// a random 20-byte key 2, then filler. Four steps, each timed for both:
//   (a) insert the N records, then close (SQLite: one transaction, both
//       indexes in place);
//   (b) N finds of existing keys by key 1, in random order (SQLite: one
//       prepared statement inside one read transaction);
//   (c) a full walk in key-1 order (SQLite: an ordered select);
//   (d) reorganise (SQLite: CREATE INDEX on both keys).
// SQLite runs with its default settings. Each ratio is ours / SQLite's.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "data/datafile.h"

namespace {

using tessaly::Status;
namespace fs = std::filesystem;

constexpr uint16_t kLength = 128;
constexpr size_t kKey1 = 10, kKey2 = 20;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

[[noreturn]] void Die(const char* what, long code) {
  std::fprintf(stderr, "bench_data_engine: %s (%ld)\n", what, code);
  std::exit(1);
}

void Check(bool ok, const char* what, long code = 0) {
  if (!ok) Die(what, code);
}

void Sql(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, error ? error : "?");
    std::exit(1);
  }
}

std::vector<std::string> MakeRecords(size_t n) {
  std::mt19937_64 random(20240611);
  const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  auto text = [&](char* out, size_t len) {
    for (size_t i = 0; i < len; ++i) out[i] = alphabet[random() % 36];
  };
  std::vector<std::string> records(n, std::string(kLength, ' '));
  std::unordered_set<std::string> seen;
  seen.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    std::string& r = records[i];
    do {
      text(r.data(), kKey1);
    } while (!seen.insert(r.substr(0, kKey1)).second);
    text(r.data() + kKey1, kKey2);
    std::snprintf(r.data() + kKey1 + kKey2, kLength - kKey1 - kKey2, "record %zu of the bench", i);
    r[std::strlen(r.c_str())] = ' ';
    r.resize(kLength, ' ');
  }
  return records;
}

struct Figures {
  double insert = 0, find = 0, walk = 0, reorganise = 0;
  double close = 0;  // the part of (a) spent closing (or committing)
};

Figures RunOurs(const std::vector<std::string>& records, const std::vector<size_t>& probes,
                const fs::path& folder) {
  tessaly::DataFileLayout layout;
  layout.name = "bench";
  layout.folder = folder.string();
  layout.record_length = kLength;
  layout.keys = {tessaly::DataKeyDef{{{0, kKey1}}},
                 tessaly::DataKeyDef{{{static_cast<uint16_t>(kKey1), kKey2}}}};
  Check(tessaly::BuiltinDataFileTable().Define(1, layout) == Status::kOk, "define");
  tessaly::DataRecordBuffers b = tessaly::BuiltinDataFileTable().Buffers(1);
  Figures out;

  auto t = std::chrono::steady_clock::now();
  Status s = tessaly::DataFileOpen(1, tessaly::kDataExclusive);
  Check(s == tessaly::kResultEnd, "open", s);
  for (const std::string& r : records) {
    std::memcpy(b.current, r.data(), kLength);
    s = tessaly::DataFileInsert(1);
    Check(s == Status::kOk, "insert", s);
  }
  auto closing = std::chrono::steady_clock::now();
  s = tessaly::DataFileClose(1);
  Check(s == Status::kOk, "close", s);
  out.close = Seconds(closing);
  out.insert = Seconds(t);

  s = tessaly::DataFileOpen(1, 0);
  Check(s == tessaly::kResultFound, "open for finds", s);
  t = std::chrono::steady_clock::now();
  for (size_t i : probes) {
    s = tessaly::DataFileFind(1, 1, tessaly::Slice(records[i].data(), kKey1), 0);
    if (s != tessaly::kResultFound) Die("find", s);
  }
  out.find = Seconds(t);

  t = std::chrono::steady_clock::now();
  size_t walked = 0;
  for (s = tessaly::DataFileMove(1, tessaly::kMoveFirst); s == tessaly::kResultFound;
       s = tessaly::DataFileMove(1, tessaly::kMoveNext)) {
    ++walked;
  }
  out.walk = Seconds(t);
  Check(walked == records.size(), "walk count", static_cast<long>(walked));
  Check(tessaly::DataFileClose(1) == Status::kOk, "close after walk");

  t = std::chrono::steady_clock::now();
  s = tessaly::DataFileReorganize(1);
  out.reorganise = Seconds(t);
  Check(s == Status::kOk, "reorganise", s);
  return out;
}

Figures RunSqlite(const std::vector<std::string>& records, const std::vector<size_t>& probes,
                  const fs::path& folder) {
  sqlite3* db = nullptr;
  std::string path = (folder / "bench.sqlite").string();
  Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite open");
  Sql(db, "CREATE TABLE t(k1 TEXT, k2 TEXT, rest BLOB)");
  Sql(db, "CREATE INDEX t_k1 ON t(k1)");
  Sql(db, "CREATE INDEX t_k2 ON t(k2)");
  Figures out;

  auto t = std::chrono::steady_clock::now();
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?)", -1, &insert, nullptr) == SQLITE_OK,
        "prepare insert");
  Sql(db, "BEGIN");
  for (const std::string& r : records) {
    sqlite3_bind_text(insert, 1, r.data(), kKey1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, r.data() + kKey1, kKey2, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 3, r.data() + kKey1 + kKey2, kLength - kKey1 - kKey2, SQLITE_STATIC);
    Check(sqlite3_step(insert) == SQLITE_DONE, "sqlite insert");
    sqlite3_reset(insert);
  }
  auto closing = std::chrono::steady_clock::now();
  Sql(db, "COMMIT");
  sqlite3_finalize(insert);
  Check(sqlite3_close(db) == SQLITE_OK, "sqlite close");
  out.close = Seconds(closing);
  out.insert = Seconds(t);

  Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite reopen");
  sqlite3_stmt* find = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT k1, k2, rest FROM t WHERE k1 = ?", -1, &find, nullptr) ==
            SQLITE_OK,
        "prepare find");
  char row[kLength];
  t = std::chrono::steady_clock::now();
  Sql(db, "BEGIN");
  for (size_t i : probes) {
    sqlite3_bind_text(find, 1, records[i].data(), kKey1, SQLITE_STATIC);
    Check(sqlite3_step(find) == SQLITE_ROW, "sqlite find");
    std::memcpy(row, sqlite3_column_text(find, 1), kKey2);
    sqlite3_reset(find);
  }
  Sql(db, "COMMIT");
  out.find = Seconds(t);
  sqlite3_finalize(find);

  sqlite3_stmt* walk = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT k1, k2, rest FROM t ORDER BY k1", -1, &walk, nullptr) ==
            SQLITE_OK,
        "prepare walk");
  t = std::chrono::steady_clock::now();
  size_t walked = 0;
  while (sqlite3_step(walk) == SQLITE_ROW) {
    std::memcpy(row, sqlite3_column_text(walk, 0), kKey1);
    std::memcpy(row + kKey1, sqlite3_column_text(walk, 1), kKey2);
    std::memcpy(row + kKey1 + kKey2, sqlite3_column_blob(walk, 2), kLength - kKey1 - kKey2);
    ++walked;
  }
  out.walk = Seconds(t);
  sqlite3_finalize(walk);
  Check(walked == records.size(), "sqlite walk count", static_cast<long>(walked));

  Sql(db, "DROP INDEX t_k1");
  Sql(db, "DROP INDEX t_k2");
  t = std::chrono::steady_clock::now();
  Sql(db, "CREATE INDEX t_k1 ON t(k1)");
  Sql(db, "CREATE INDEX t_k2 ON t(k2)");
  out.reorganise = Seconds(t);
  sqlite3_close(db);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  if (n == 0) n = 1000000;
  fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
  fs::path folder = base / ("bench_data_engine_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);

  std::printf("Data file engine beside SQLite %s: %zu records of %u bytes, keys of %zu and %zu\n",
              sqlite3_libversion(), n, kLength, kKey1, kKey2);
  std::vector<std::string> records = MakeRecords(n);
  std::vector<size_t> probes(n);
  for (size_t i = 0; i < n; ++i) probes[i] = i;
  std::shuffle(probes.begin(), probes.end(), std::mt19937_64(7));

  std::string only = argc > 3 ? argv[3] : "";
  Figures ours = only == "sqlite" ? Figures{} : RunOurs(records, probes, folder);
  Figures sqlite = only == "ours" ? Figures{} : RunSqlite(records, probes, folder);
  fs::remove_all(folder);

  struct Row {
    const char* step;
    double ours, sqlite, goal;
  };
  const Row rows[] = {
      {"(a) insert N, then close", ours.insert, sqlite.insert, 1.0},
      {"(b) N random finds by key 1", ours.find, sqlite.find, 0.5},
      {"(c) walk in key-1 order", ours.walk, sqlite.walk, 0.5},
      {"(d) reorganise / CREATE INDEX x2", ours.reorganise, sqlite.reorganise, 1.5},
  };
  std::printf("%-34s %10s %10s %8s %8s\n", "step", "ours s", "SQLite s", "ratio", "goal");
  bool met = true;
  for (const Row& r : rows) {
    double ratio = r.sqlite > 0 ? r.ours / r.sqlite : 0;
    met &= ratio <= r.goal;
    std::printf("%-34s %10.3f %10.3f %8.3f %7s%.1f\n", r.step, r.ours, r.sqlite, ratio,
                "<=", r.goal);
  }
  std::printf("%-34s %10.3f %10.3f\n", "    of (a): close / COMMIT", ours.close, sqlite.close);
  std::printf("%s\n", met ? "all goals met" : "some goals missed");
  return 0;
}
