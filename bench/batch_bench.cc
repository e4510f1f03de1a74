// A batch of 20,000 measurement files graded by `krm-station grade --jobs 2 --format jsonl`
// against `cat` reading the same files, in the same benchmark run; both run as real programs.
// The files are the demo stone with its crown and pavilion facets turned by random amounts, so that
// the batch holds Excellent, Very Good (with every kind of recut advice) and Good stones.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/recording_env.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStones = 20000;

struct Batch {
  krm::testing::TempStation dir;
  std::vector<std::string> files;
  fs::path list;

  Batch() {
    const std::string demo =
        krm::testing::ReadWhole(fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt");
    std::mt19937 random(1);
    std::uniform_real_distribution<double> crown(-1.5, 1.5), pavilion(-0.8, 0.8), facet(-0.2, 0.2);
    const std::regex angle("(CROWN|PAVILION)_ANGLE_DEG_([1-8])=([0-9.]+)");
    for (int i = 0; i < kStones; ++i) {
      const double turn_crown = crown(random), turn_pavilion = pavilion(random);
      std::string text;
      std::size_t from = 0;
      for (std::sregex_iterator m(demo.begin(), demo.end(), angle), end; m != end; ++m) {
        const double turn = (*m)[1] == "CROWN" ? turn_crown : turn_pavilion;
        char value[32];
        std::snprintf(value, sizeof value, "%.1f", std::stod((*m)[3]) + turn + facet(random));
        text.append(demo, from, static_cast<std::size_t>(m->position(3)) - from).append(value);
        from = static_cast<std::size_t>(m->position(3) + m->length(3));
      }
      text.append(demo, from);
      char name[64];
      std::snprintf(name, sizeof name, "stones/%02d/stone-%05d.txt", i % 100, i);
      dir.Write(name, text);
      files.push_back((dir.root() / name).string());
    }
    list = dir.root() / "list.txt";
    std::string names;
    for (const std::string& f : files) names += f + "\n";
    dir.Write("list.txt", names);
  }
};

Batch& TheBatch() {
  static Batch batch;
  return batch;
}

double cat_seconds = 0;

void Time(benchmark::State& state, const std::vector<std::string>& argv, bool baseline) {
  long peak = 0;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    peak = std::max(peak, krm::testing::RunChild(argv).peak_rss_kib);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    total += took.count();
    state.SetIterationTime(took.count());
  }
  const double mean = total / static_cast<double>(state.iterations());
  if (baseline) cat_seconds = mean;
  if (cat_seconds > 0) state.counters["x_cat"] = mean / cat_seconds;
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_BatchBaselineCat(benchmark::State& state) {
  Batch& batch = TheBatch();
  Time(state, {"/bin/sh", "-c", "xargs cat < '" + batch.list.string() + "'"}, true);
}
BENCHMARK(BM_BatchBaselineCat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BatchGradeJsonLines(benchmark::State& state) {
  Batch& batch = TheBatch();
  Time(state,
       {KRM_STATION, "grade", "--jobs", "2", "--format", "jsonl",
        (batch.dir.root() / "stones").string()},
       false);
}
BENCHMARK(BM_BatchGradeJsonLines)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
