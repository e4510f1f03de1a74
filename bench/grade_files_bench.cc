// Joining the grade table from its two part files, against the floor of copying the same parts
// into a target with read/write in 1 MiB blocks, over the old bytes or as `cat ... > target`; and
// generating the default grade table, against copying a finished table of the same size. Run with
// --benchmark_enable_random_interleaving and repetitions: the machine is shared, and interleaving
// keeps join and floor comparable.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gradetables/grade_file_join.h"
#include "gradetables/grade_table_reader.h"
#include "intake/station_paths.h"
#include "platform/default_env.h"
#include "tools/default_grade_model.h"
#include "tools/station_init.h"

namespace {

namespace fs = std::filesystem;
using krm::gradetables::kGradeTableCells;

// A station folder with the default grade table parts (two parts of about 19 MB).
const krm::intake::StationPaths& Station() {
  static const krm::intake::StationPaths paths = [] {
    const fs::path root = fs::temp_directory_path() / "krm-bench-grade-files";
    fs::create_directories(root);
    krm::intake::StationPaths p(root);
    krm::platform::DefaultEnv env;
    std::vector<std::string> log;
    if (!krm::tools::WriteGradeTableParts(env, p.Part(1), p.Part(2), &log).ok()) {
      std::abort();
    }
    return p;
  }();
  return paths;
}

void BM_MakeGradeTableFile(benchmark::State& state) {
  const auto& paths = Station();
  krm::platform::DefaultEnv env;
  for (auto _ : state) {
    if (krm::gradetables::MakeGradeTableFile(env, paths) != krm::gradetables::JoinResult::kJoined) {
      state.SkipWithError("join failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * kGradeTableCells);
}
BENCHMARK(BM_MakeGradeTableFile)->Unit(benchmark::kMillisecond);

// Both parts copied with read/write of 1 MiB blocks into `target`, opened with `flags`.
void CopyParts(benchmark::State& state, int flags) {
  const auto& paths = Station();
  const fs::path target = paths.GradeFolder() / "baseline.dll";
  fs::create_directories(paths.GradeFolder());
  std::vector<char> block(std::size_t{1} << 20);
  for (auto _ : state) {
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    for (int n = 1; n <= 2 && out >= 0; ++n) {
      const int in = ::open(paths.Part(n).c_str(), O_RDONLY | O_CLOEXEC);
      ssize_t got = 0;
      while (in >= 0 && (got = ::read(in, block.data(), block.size())) > 0) {
        if (::write(out, block.data(), static_cast<std::size_t>(got)) != got) break;
      }
      if (in >= 0) ::close(in);
    }
    if (out < 0) {
      state.SkipWithError("cannot open the target");
      break;
    }
    ::close(out);
  }
  state.SetBytesProcessed(state.iterations() * kGradeTableCells);
}

// The floor: the copy onto an existing target that is not shortened, as the join writes it. The
// dirty pages it leaves are written back to disk after the measurement.
void BM_CopyPartsBaseline(benchmark::State& state) {
  CopyParts(state, 0);
}
BENCHMARK(BM_CopyPartsBaseline)->Unit(benchmark::kMillisecond);

// `cat win_sys1.syc win_sys2.syc > target`: the target emptied first, then written.
void BM_CatPartsBaseline(benchmark::State& state) {
  CopyParts(state, O_TRUNC);
}
BENCHMARK(BM_CatPartsBaseline)->Unit(benchmark::kMillisecond);

void BM_GenerateDefaultGradeTable(benchmark::State& state) {
  std::vector<char> table(static_cast<std::size_t>(kGradeTableCells));
  for (auto _ : state) {
    for (int t = 0; t < krm::tools::kTableSteps; ++t) {
      krm::tools::FillDefaultTableSlice(t, table.data() + t * krm::gradetables::kTableWeight);
    }
    benchmark::DoNotOptimize(table.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kGradeTableCells);
}
BENCHMARK(BM_GenerateDefaultGradeTable)->Unit(benchmark::kMillisecond);

// The floor of generating: copying a finished table of the same size.
void BM_CopyGradeTableBaseline(benchmark::State& state) {
  const std::string finished = krm::tools::DefaultGradeTable();
  std::vector<char> table(finished.size());
  for (auto _ : state) {
    std::memcpy(table.data(), finished.data(), finished.size());
    benchmark::DoNotOptimize(table.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kGradeTableCells);
}
BENCHMARK(BM_CopyGradeTableBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
