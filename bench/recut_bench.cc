// The whole run of a Very Good stone for which all five recut candidates are graded, against the
// same run of an Excellent stone (no candidates) and against the advice with a grading that does
// nothing (only the candidate files and the advice are written), in the same run.
#include <benchmark/benchmark.h>

#include <string>

#include "app/run_flow.h"
#include "bench_stations.h"
#include "grading/grade_station.h"
#include "recut/krm_recut.h"

namespace {

using krm::testing::GradeStation;

GradeStation& Station(char digit) {
  return krm::bench::UnevenStoneStation(digit);
}

void BM_RunExcellentStone(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  for (auto _ : state) {
    krm::intake::Station run(env, Station('1').root());
    krm::app::Form_Load(run);
  }
}
BENCHMARK(BM_RunExcellentStone)->Unit(benchmark::kMillisecond);

void BM_RunVeryGoodStoneFiveCandidates(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  for (auto _ : state) {
    krm::intake::Station run(env, Station('2').root());
    krm::app::Form_Load(run);
  }
}
BENCHMARK(BM_RunVeryGoodStoneFiveCandidates)->Unit(benchmark::kMillisecond);

void BM_RecutWithoutGrading(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  krm::intake::Station run(env, Station('2').root());
  krm::grading::StoneState stone;
  auto no_grading = [](const std::filesystem::path&, krm::platform::OutputFile&) {
    return std::optional<krm::intake::RunEnd>();
  };
  for (auto _ : state) {
    stone.OverallCutClass = 2;
    krm::recut::krm_Recut(run, stone, no_grading);
  }
}
BENCHMARK(BM_RecutWithoutGrading)->Unit(benchmark::kMillisecond);

}  // namespace
