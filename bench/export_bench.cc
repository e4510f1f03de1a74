// The report export of a measurement file of about 250 keys into the shipped report database,
// against the floor of one SQLite transaction that inserts the same values as one row per table
// with statements prepared once.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "export/report_database.h"
#include "export/valdane_sp.h"
#include "intake/station.h"
#include "platform/database.h"
#include "platform/recording_env.h"

namespace {

namespace fs = std::filesystem;
using krm::platform::Database;

constexpr const char* kTables[] = {"Round1", "Round2", "Round3", "Round4", "Round5"};

// A station with the shipped report database and a measurement file that holds one key for every
// column of the five round tables, and the values per table for the baseline.
struct ExportStation {
  krm::testing::TempStation station;
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;  // table, then columns
  std::vector<std::vector<std::string>> values;
  int keys = 0;

  ExportStation() {
    station.Write("data/.keep", "");
    (void)krm::report_export::CreateReportDatabase(station.root() / "data/data.mdb");
    std::unique_ptr<Database> db;
    (void)Database::Open(station.root() / "data/data.mdb", &db);
    std::string file = "[NumericalParameters]\r\n";
    for (const char* table : kTables) {
      std::vector<krm::platform::Column> columns;
      (void)db->Columns(table, &columns);
      std::vector<std::string> names, texts;
      for (const auto& column : columns) {
        std::string value = column.affinity == krm::platform::Affinity::kText
                                ? "K-" + std::to_string(keys)
                                : std::to_string(keys) + ".125";
        if (column.name != "RID" && file.find("\n" + column.name + "=") == std::string::npos) {
          file += column.name + "=" + value + "\r\n";
          ++keys;
        }
        names.push_back(column.name);
        texts.push_back(column.name == "RID" ? "101" : value);
      }
      rows.emplace_back(table, std::move(names));
      values.push_back(std::move(texts));
    }
    station.Write("Test.txt", file);
  }
};

void BM_Export(benchmark::State& state) {
  ExportStation export_station;
  krm::testing::RecordingEnv env;
  for (auto _ : state) {
    krm::intake::Station run(env, export_station.station.root());
    krm::report_export::Valdane_Sp valdane;
    benchmark::DoNotOptimize(valdane.PublicMain(run));
    if (!valdane.last_failure().ok()) state.SkipWithError(valdane.last_failure().message().c_str());
  }
  state.counters["keys"] = export_station.keys;
}
BENCHMARK(BM_Export)->Unit(benchmark::kMicrosecond);

void BM_BaselineOneTransaction(benchmark::State& state) {
  ExportStation export_station;
  sqlite3* db = nullptr;
  sqlite3_open_v2((export_station.station.root() / "data/data.mdb").c_str(), &db,
                  SQLITE_OPEN_READWRITE, nullptr);
  std::vector<sqlite3_stmt*> inserts;
  for (const auto& [table, columns] : export_station.rows) {
    std::string names, marks;
    for (const std::string& column : columns) {
      names += (names.empty() ? "" : ", ") + Database::QuoteName(column);
      marks += marks.empty() ? "?" : ", ?";
    }
    const std::string sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    inserts.push_back(stmt);
  }
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (std::size_t t = 0; t < inserts.size(); ++t) {
      const auto& texts = export_station.values[t];
      for (std::size_t i = 0; i < texts.size(); ++i) {
        sqlite3_bind_text(inserts[t], static_cast<int>(i + 1), texts[i].data(),
                          static_cast<int>(texts[i].size()), SQLITE_STATIC);
      }
      sqlite3_step(inserts[t]);
      sqlite3_reset(inserts[t]);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  for (sqlite3_stmt* stmt : inserts) sqlite3_finalize(stmt);
  sqlite3_close_v2(db);
  state.counters["keys"] = export_station.keys;
}
BENCHMARK(BM_BaselineOneTransaction)->Unit(benchmark::kMicrosecond);

}  // namespace
