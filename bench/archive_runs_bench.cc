// What the archive costs the real programs, runs of each kind interleaved one by one in the same
// benchmark so that the shared machine's drift hits them alike; figures are medians.
//
// BM_WholeRunArchive/D: whole runs of DOVEVOVIDIRO on the station of digit D (1: an Excellent
// stone; 2: a Very Good stone whose five recut candidates are graded), keeping the record in the
// station only, and sending it to a server on this machine (KRM_TEST_PG_URL) too. extra_ms is the
// server's cost over the local archive's; extra_async_ms the same with the server's commits not
// waiting for its disk (synchronous_commit off, a lab's choice); extra_cpu_ms the processor time
// the run itself spends on the server (the server's own is not counted). The record goes to the
// server from the archive sender that the run starts as it ends; before the next run starts, the
// benchmark waits until the sender marked the record sent, and sent_ms is the median time from
// the run's start until then. With
// KRM_BENCH_PROGRAM_WITHOUT_ARCHIVE naming a DOVEVOVIDIRO built before the runs archived, it is run
// as well, and archive_ms is the local archive's cost over that program.
//
// BM_GradeBatch20000Archive: `krm-station grade --station S` of 20,000 measurement files (S holds
// the default grade data), as it is and with --archive (local archive, and with the server);
// x_plain_* is each median against the plain batch's, in time and in processor time (_cpu).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/local_archive.h"
#include "bench_stations.h"
#include "platform/child_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One run of a program: its time and the processor time it used, in seconds; a negative time
// when it failed.
struct Run {
  double wall = 0;
  double cpu = 0;
};

Run Timed(const std::vector<std::string>& argv, const std::string& out = "") {
  const auto start = Clock::now();
  const krm::testing::ChildEnd end = krm::testing::RunChild(argv, out);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  return {end.status == 0 ? took : -1, end.cpu_seconds};
}

// Runs of one kind.
struct Runs {
  std::vector<double> wall, cpu;
  bool Add(const Run& run) {
    wall.push_back(run.wall);
    cpu.push_back(run.cpu);
    return run.wall >= 0;
  }
};

void Configure(const fs::path& station, const std::string& url) {
  std::ofstream(station / "station.ini") << "[Archive]\r\nurl = " << url << "\r\n";
}

void RemoveArchive(const fs::path& station) {
  for (const char* name : {"archive.db", "archive.db-wal", "archive.db-shm"}) {
    fs::remove(station / "data" / name);
  }
}

void BM_WholeRunArchive(benchmark::State& state) {
  static krm::bench::BenchSchema schema;
  if (schema.url().empty()) {
    state.SkipWithError("no test server (KRM_TEST_PG_URL) or no PostgreSQL client in this build");
    return;
  }
  const char digit = static_cast<char>('0' + state.range(0));
  const fs::path& local = krm::bench::UnevenStoneStation(digit).root();
  const fs::path& server = krm::bench::LinkedStation(local);
  const fs::path& async = krm::bench::LinkedStation(local);
  const fs::path& without = krm::bench::LinkedStation(local);
  Configure(server, schema.url());
  Configure(async, schema.AsyncCommitUrl());
  const char* before = std::getenv("KRM_BENCH_PROGRAM_WITHOUT_ARCHIVE");
  // A first run of each joins the grade files and creates the archives and the server's table.
  for (const fs::path& station : {local, server, async}) {
    (void)Timed({KRM_PROGRAM, "--app-dir", station.string()});
  }
  if (before) (void)Timed({before, "--app-dir", without.string()});
  Runs local_runs, server_runs, async_runs, without_runs;
  std::vector<double> sent;
  // Runs a station with a server and waits for its sender; false when the record did not arrive.
  auto run_sent = [&sent](Runs& runs, const fs::path& station) {
    const auto start = Clock::now();
    if (!runs.Add(Timed({KRM_PROGRAM, "--app-dir", station.string()}))) return false;
    std::unique_ptr<krm::archive::LocalArchive> archive;
    if (!krm::archive::LocalArchive::Open(station / "data" / "archive.db",
                                          krm::archive::LocalArchive::OpenMode::kExisting, &archive)
             .ok()) {
      return false;
    }
    for (int i = 0; i < 20000; ++i) {
      std::int64_t waiting = 1;
      if (archive->CountWaiting(&waiting).ok() && waiting == 0) {
        sent.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        return true;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  };
  for (auto _ : state) {
    bool ok = local_runs.Add(Timed({KRM_PROGRAM, "--app-dir", local.string()})) &&
              run_sent(server_runs, server) && run_sent(async_runs, async);
    if (ok && before) ok = without_runs.Add(Timed({before, "--app-dir", without.string()}));
    if (!ok) {
      state.SkipWithError("a run failed");
      return;
    }
    state.SetIterationTime(server_runs.wall.back());
  }
  const double local_ms = Median(local_runs.wall) * 1e3;
  const double local_cpu_ms = Median(local_runs.cpu) * 1e3;
  state.counters["local_ms"] = local_ms;
  state.counters["server_ms"] = Median(server_runs.wall) * 1e3;
  state.counters["extra_ms"] = Median(server_runs.wall) * 1e3 - local_ms;
  state.counters["extra_async_ms"] = Median(async_runs.wall) * 1e3 - local_ms;
  state.counters["extra_cpu_ms"] = Median(server_runs.cpu) * 1e3 - local_cpu_ms;
  state.counters["sent_ms"] = Median(sent) * 1e3;
  if (before) {
    state.counters["without_ms"] = Median(without_runs.wall) * 1e3;
    state.counters["archive_ms"] = local_ms - Median(without_runs.wall) * 1e3;
    state.counters["archive_cpu_ms"] = local_cpu_ms - Median(without_runs.cpu) * 1e3;
  }
}
BENCHMARK(BM_WholeRunArchive)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// 20,000 measurement files, each with its own stone id: half of them an Excellent stone, half a
// Very Good one whose recut advice grades candidates (the default grade data's cases 01 and 02).
const fs::path& BatchFiles() {
  static krm::testing::TempStation folder;
  static const bool written = [] {
    const fs::path cases = fs::path(KRM_SOURCE_DIR) / "tests/e2e/cases";
    const std::string stones[2] = {
        krm::testing::ReadWhole(cases / "01_default_well_cut_excellent/Test.txt"),
        krm::testing::ReadWhole(cases / "02_default_very_good_pavilion_42/Test.txt")};
    for (int i = 0; i < 20000; ++i) {
      std::string file = stones[i % 2];
      const std::size_t at = file.find("STONE_ID=") + 9;
      file.replace(at, file.find_first_of("\r\n", at) - at, "B-" + std::to_string(i));
      folder.Write("files/m" + std::to_string(i) + ".txt", file);
    }
    return true;
  }();
  (void)written;
  return folder.root();
}

// A station laid out by `krm-station init`: the default grade data.
const fs::path& DefaultStation() {
  static krm::testing::TempStation folder;
  static const fs::path root = [] {
    const fs::path station = folder.root() / "station";
    const std::string init =
        std::string(KRM_STATION) + " init '" + station.string() + "' > /dev/null";
    if (std::system(init.c_str()) != 0) std::abort();
    return station;
  }();
  return root;
}

void BM_GradeBatch20000Archive(benchmark::State& state) {
  static krm::bench::BenchSchema schema;
  const fs::path& files = BatchFiles();
  const fs::path& local = DefaultStation();
  const fs::path& server = krm::bench::LinkedStation(local);
  if (!schema.url().empty()) Configure(server, schema.url());
  const std::string out = (files / "records.jsonl").string();
  auto grade = [&](const fs::path& station, bool archive) {
    std::vector<std::string> argv = {KRM_STATION, "grade", "--station", station.string()};
    if (archive) argv.push_back("--archive");
    argv.push_back((files / "files").string());
    return Timed(argv, out);
  };
  Runs plain_runs, local_runs, server_runs;
  for (auto _ : state) {
    RemoveArchive(local);
    RemoveArchive(server);
    if (!schema.url().empty()) schema.Empty();
    bool ok = plain_runs.Add(grade(local, false)) && local_runs.Add(grade(local, true));
    if (ok && !schema.url().empty()) ok = server_runs.Add(grade(server, true));
    if (!ok) {
      state.SkipWithError("a batch failed");
      return;
    }
    state.SetIterationTime(local_runs.wall.back());
  }
  const double plain = Median(plain_runs.wall);
  state.counters["plain_s"] = plain;
  state.counters["x_plain_local"] = Median(local_runs.wall) / plain;
  state.counters["x_plain_local_cpu"] = Median(local_runs.cpu) / Median(plain_runs.cpu);
  if (!server_runs.wall.empty()) {
    state.counters["x_plain_server"] = Median(server_runs.wall) / plain;
    state.counters["x_plain_server_cpu"] = Median(server_runs.cpu) / Median(plain_runs.cpu);
  }
}
BENCHMARK(BM_GradeBatch20000Archive)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
