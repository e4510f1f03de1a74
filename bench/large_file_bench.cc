// Whole runs of the real program on measurement files far larger than a scanner writes: the peak
// resident set of the run and its time, against a run on the stone's own few-kilobyte file in the
// same benchmark run (the baseline). The stone grades Very Good and all five recut candidates are
// graded, so that every reader of the measurement file (the grading, the export, the recut
// advisor and its candidate files) meets the large file.
//
// Counters: peak_rss_MiB (the run's peak resident set), x_file (that peak over the file's size),
// limit_MiB (64 MiB, or twice the file's size when that is more) and x_small (the run's time over
// the baseline run's).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_stations.h"
#include "platform/child_process.h"
#include "platform/recording_env.h"

namespace {

namespace fs = std::filesystem;
using krm::testing::GradeStation;

constexpr std::size_t kMiB = 1 << 20;

GradeStation& Station() {
  return krm::bench::UnevenStoneStation('2');
}

// The stone's own measurement file, kept aside once so that every benchmark starts from it.
const std::string& StoneText() {
  static const std::string text = krm::testing::ReadWhole(Station().root() / "Test.txt");
  return text;
}

// What fills a file up to its size after the stone's keys.
enum class Filler {
  kScannerKeys,  // KEY_NAME_123456=12.345 lines in the stone's section: a scanner gone wild
  kShortKeys,    // K123456=1 lines: as many keys as the bytes allow
  kOneLine,      // one value line of the whole size
  kSections,     // [S123456] K=1 pairs: as many sections as the bytes allow
};

// Writes the measurement file: the stone's keys, then `filler` up to `size` bytes. The text is
// written as it is made: what this process holds when it starts the run counts in the run's
// peak resident set.
std::size_t Generate(Filler filler, std::size_t size) {
  std::ofstream out(Station().root() / "Test.txt", std::ios::binary | std::ios::trunc);
  const std::string& stone = StoneText();
  out << stone;
  std::size_t written = stone.size();
  if (filler == Filler::kOneLine) {
    const std::string piece(64 * 1024, '7');
    out << "LONG_VALUE=";
    for (written += 11; written < size; written += piece.size()) out << piece;
    return written;
  }
  char line[64];
  for (long n = 0; written < size; ++n) {
    int length = 0;
    switch (filler) {
      case Filler::kScannerKeys:
        length = std::snprintf(line, sizeof line, "EXTRA_FACET_KEY_%ld=%ld.%03ld\r\n", n, n % 97,
                               n % 1000);
        break;
      case Filler::kShortKeys:
        length = std::snprintf(line, sizeof line, "K%ld=1\n", n);
        break;
      default:
        length = std::snprintf(line, sizeof line, "[S%ld]\nK=1\n", n);
        break;
    }
    out.write(line, length);
    written += static_cast<std::size_t>(length);
  }
  return written;
}

double baseline_seconds = 0;

// Runs the program on the station with its measurement file of `size` bytes in place; the stone's
// own file is put back afterwards. A run that reached its end (status 0, or 5 when it said a
// fault: a file of sections holds items without "=", which the export passes over) counts.
void RunOn(benchmark::State& state, std::size_t size, bool is_baseline) {
  const fs::path root = Station().root();
  long peak = 0;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto end = krm::testing::RunChild({KRM_PROGRAM, "--app-dir", root.string()});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (end.status != 0 && end.status != 5) state.SkipWithError("the run did not reach its end");
    peak = std::max(peak, end.peak_rss_kib);
    total += took.count();
    state.SetIterationTime(took.count());
  }
  Station().files().Write("Test.txt", StoneText());
  const double mean = total / static_cast<double>(state.iterations());
  if (is_baseline) baseline_seconds = mean;
  if (baseline_seconds > 0) state.counters["x_small"] = mean / baseline_seconds;
  const double peak_mib = static_cast<double>(peak) / 1024.0;
  const double file_mib = static_cast<double>(size) / kMiB;
  state.counters["peak_rss_MiB"] = peak_mib;
  state.counters["x_file"] = peak_mib / file_mib;
  state.counters["limit_MiB"] = std::max(64.0, 2 * file_mib);
}

void BM_LargeFileBaselineStoneFile(benchmark::State& state) {
  RunOn(state, StoneText().size(), true);
}
BENCHMARK(BM_LargeFileBaselineStoneFile)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LargeFile(benchmark::State& state, Filler filler) {
  RunOn(state, Generate(filler, static_cast<std::size_t>(state.range(0)) * kMiB), false);
}
BENCHMARK_CAPTURE(BM_LargeFile, ScannerKeys, Filler::kScannerKeys)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->ArgName("MiB")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LargeFile, ShortKeys, Filler::kShortKeys)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->ArgName("MiB")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LargeFile, OneLine, Filler::kOneLine)
    ->Arg(50)
    ->ArgName("MiB")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LargeFile, Sections, Filler::kSections)
    ->Arg(50)
    ->ArgName("MiB")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
