// The archive's cost, against baselines measured in the same run.
//
// A station run's archive step (open the local archive, the grade data's remembered digest, a new
// record from the measurement file, store it, send it to a server on this machine) is reported in
// milliseconds (the budget is 5 ms over a run without it) and as a multiple of one grading
// (x_grading). A batch of 20,000 records, kept in chunks of 1,000 as a batch grading hands them
// over, is reported per record against one grading (x_grading) and against reading the 20,000
// measurement files (x_read, the floor of any batch over them).
//
// The server is the one of KRM_TEST_PG_URL (tools/pg-test-cluster start DIR prints one); each
// benchmark works in a schema of its own there. Without it the server benchmarks are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "archive/archiver.h"
#include "bench_stations.h"
#include "gradetables/provisioning.h"
#include "grading/grade_station.h"
#include "grading/krm_grade.h"
#include "intake/station.h"

namespace {

namespace fs = std::filesystem;
using krm::archive::ArchiveRecord;

constexpr int kBatch = 20000;
constexpr int kChunk = 1000;

double grading_seconds = 0;  // one grading, from the baseline
double read_seconds = 0;     // reading kBatch measurement files, from the baseline

// A real measurement file of 142 keys.
const std::string& Measurement() {
  static const std::string contents = krm::testing::ReadWhole(
      fs::path(KRM_SOURCE_DIR) / "tests/e2e/cases/02_default_very_good_pavilion_42/Test.txt");
  return contents;
}

void FillGrading(ArchiveRecord* r) {
  r->stone_id = "E2E-02";
  r->cut_grade = "Very Good";
  r->overall_class = 2;
  r->symmetry_grade = "Excellent";
  r->table_class = 2;
  r->table_class_name = "Very Good";
  r->messages = {"", "", ""};
  r->recut_verdict = 0;
  r->recut_message = "MSG = Please Use Vestra-Recut or Lapidora Virtual Recut ";
}

// Name of the n-th measurement file of the batch.
std::string FileName(int n) {
  std::string name = std::to_string(n);
  name.insert(0, 1, 'm');
  name.append(".txt");
  return name;
}

// A station folder with data/ and two small grade files (their digests are remembered after the
// first run, as at a station whose grade data does not change).
class BenchStation : public krm::testing::TempStation {
 public:
  BenchStation() {
    Write("windows/win_rt1.dll", std::string(1 << 20, '\x02'));
    Write("windows/win_rt2.dll", "grade tables database");
    fs::create_directories(root() / "data");
  }
  krm::archive::ArchiveConfig Config(const std::string& url) const {
    krm::archive::ArchiveConfig config;
    config.local_path = root() / "data/archive.db";
    config.station_name = "bench/station";
    config.server_url = url;
    return config;
  }
  void RemoveArchive() const {
    for (const char* name : {"archive.db", "archive.db-wal", "archive.db-shm"}) {
      fs::remove(root() / "data" / name);
    }
  }
};

// --- baselines ---

void BM_ArchiveBaselineOneGrading(benchmark::State& state) {
  static std::unique_ptr<krm::testing::GradeStation> station = [] {
    auto s = std::make_unique<krm::testing::GradeStation>('1');
    s->WriteMeasurement(krm::testing::WellCutStone());
    krm::testing::RecordingEnv env;
    krm::intake::Station run(env, s->root());
    (void)krm::gradetables::StationGradeFiles(run).Provide();
    return s;
  }();
  krm::testing::RecordingEnv env;
  krm::intake::Station run(env, station->root());
  krm::gradetables::StationGradeFiles files(run);
  const krm::grading::ReportStamp stamp = krm::grading::StampNow(run);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    krm::grading::StoneState stone;
    krm::platform::OutputFile report(env, run.paths.Report(), false);
    krm::gradetables::GradeTableReader table;
    krm::gradetables::GradeTables tables;
    files.Open(&table, &tables);
    const krm::intake::Profile file =
        krm::intake::ReadMeasurement(env, run.paths.Measurement(), &run.faults);
    krm::grading::GradeMeasurement({&table, &tables, run.paths.GradeDatabase()}, file, stone,
                                   {&report, nullptr}, stamp, &run.faults);
    (void)report.Close();
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  grading_seconds = took.count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ArchiveBaselineOneGrading)->Unit(benchmark::kMicrosecond);

void BM_ArchiveBaselineRead20000Files(benchmark::State& state) {
  static krm::testing::TempStation folder;
  static const bool written = [] {
    for (int i = 0; i < kBatch; ++i) folder.Write(FileName(i), Measurement());
    return true;
  }();
  (void)written;
  krm::testing::RecordingEnv env;
  std::string contents;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) {
      (void)env.ReadFile(folder.root() / FileName(i), &contents);
      benchmark::DoNotOptimize(contents.data());
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  read_seconds = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ArchiveBaselineRead20000Files)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- one station run ---

// The archive step of one run; `server` false keeps the record locally only.
void StationRun(benchmark::State& state, bool server) {
  static krm::bench::BenchSchema schema;
  if (server && schema.url().empty()) {
    state.SkipWithError("no test server (KRM_TEST_PG_URL) or no PostgreSQL client in this build");
    return;
  }
  BenchStation station;
  krm::testing::RecordingEnv env;
  const auto config = station.Config(server ? schema.url() : "");
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    krm::FaultLog faults;
    {
      krm::archive::Archiver archiver(env, config, &faults);
      ArchiveRecord record = archiver.NewRecord(
          Measurement(), archiver.GradeDataDigest(station.root() / "windows/win_rt1.dll",
                                                  station.root() / "windows/win_rt2.dll"));
      FillGrading(&record);
      archiver.Keep(record);
      if (!archiver.Notices().empty() || !faults.empty()) {
        state.SkipWithError("the archive step failed");
        break;
      }
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double mean = total / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
  state.counters["ms"] = mean * 1e3;
  if (grading_seconds > 0) state.counters["x_grading"] = mean / grading_seconds;
}

void BM_ArchiveStationRunLocalOnly(benchmark::State& state) {
  StationRun(state, false);
}
BENCHMARK(BM_ArchiveStationRunLocalOnly)->Unit(benchmark::kMillisecond);

void BM_ArchiveStationRunWithServer(benchmark::State& state) {
  StationRun(state, true);
}
BENCHMARK(BM_ArchiveStationRunWithServer)->Unit(benchmark::kMillisecond);

// --- a batch of 20,000 ---

void Batch(benchmark::State& state, bool server) {
  static krm::bench::BenchSchema schema;
  if (server && schema.url().empty()) {
    state.SkipWithError("no test server (KRM_TEST_PG_URL) or no PostgreSQL client in this build");
    return;
  }
  BenchStation station;
  krm::testing::RecordingEnv env;
  const auto config = station.Config(server ? schema.url() : "");
  std::vector<ArchiveRecord> chunk;
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    station.RemoveArchive();
    if (server) schema.Empty();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    krm::FaultLog faults;
    {
      krm::archive::Archiver archiver(env, config, &faults);
      const std::string digest = archiver.GradeDataDigest(station.root() / "windows/win_rt1.dll",
                                                          station.root() / "windows/win_rt2.dll");
      for (int done = 0; done < kBatch; done += kChunk) {
        chunk.clear();
        for (int i = 0; i < kChunk; ++i) {
          chunk.push_back(archiver.NewRecord(Measurement(), digest));
          FillGrading(&chunk.back());
        }
        archiver.Keep(chunk);
      }
      if (!archiver.Notices().empty() || !faults.empty() ||
          archiver.sent() != (server ? kBatch : 0)) {
        state.SkipWithError("the batch's archive failed");
        break;
      }
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double mean = total / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
  state.counters["us_per_record"] = mean / kBatch * 1e6;
  if (grading_seconds > 0) state.counters["x_grading"] = mean / kBatch / grading_seconds;
  if (read_seconds > 0) state.counters["x_read"] = mean / read_seconds;
}

void BM_ArchiveBatch20000LocalOnly(benchmark::State& state) {
  Batch(state, false);
}
BENCHMARK(BM_ArchiveBatch20000LocalOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ArchiveBatch20000WithServer(benchmark::State& state) {
  Batch(state, true);
}
BENCHMARK(BM_ArchiveBatch20000WithServer)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
