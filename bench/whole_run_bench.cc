// Whole runs of the real program against the floor of every run, in the same benchmark run: the
// baseline is `cat win_sys1.syc win_sys2.syc > target`, one plain join of the grade table. Each
// run benchmark reports its mean time as a multiple of the baseline's (x_cat) and the largest
// peak resident set of its runs (peak_rss_MiB).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench_stations.h"
#include "grading/grade_station.h"
#include "platform/child_process.h"

namespace {

using krm::testing::GradeStation;

GradeStation& Station(char digit) {
  return krm::bench::UnevenStoneStation(digit);
}

double baseline_seconds = 0;

// Times `argv` per iteration and reports the mean against the baseline.
void TimeRuns(benchmark::State& state, const std::vector<std::string>& argv, const std::string& out,
              bool is_baseline) {
  long peak = 0;
  double total = 0;
  for (auto _ : state) {
    // Each run starts with nothing left for the disk to write, as a station's would.
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    peak = std::max(peak, krm::testing::RunChild(argv, out).peak_rss_kib);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    total += took.count();
    state.SetIterationTime(took.count());
  }
  const double mean = total / static_cast<double>(state.iterations());
  if (is_baseline) baseline_seconds = mean;
  if (baseline_seconds > 0) state.counters["x_cat"] = mean / baseline_seconds;
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_WholeRunBaselineCatOfParts(benchmark::State& state) {
  const auto& root = Station('2').root();
  TimeRuns(state, {"/bin/cat", (root / "win_sys1.syc").string(), (root / "win_sys2.syc").string()},
           (root / "cat-target").string(), true);
}
BENCHMARK(BM_WholeRunBaselineCatOfParts)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WholeRunExcellentStone(benchmark::State& state) {
  TimeRuns(state, {KRM_PROGRAM, "--app-dir", Station('1').root().string()}, "", false);
}
BENCHMARK(BM_WholeRunExcellentStone)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WholeRunVeryGoodStoneFiveCandidates(benchmark::State& state) {
  TimeRuns(state, {KRM_PROGRAM, "--app-dir", Station('2').root().string()}, "", false);
}
BENCHMARK(BM_WholeRunVeryGoodStoneFiveCandidates)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
