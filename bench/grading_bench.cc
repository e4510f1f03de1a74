// One grading of a well-cut stone, the join of the grade files aside, against the floor of
// reading its measurement file's bytes once, in the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/run_state.h"
#include "gradetables/provisioning.h"
#include "grading/grade_station.h"
#include "grading/krm_grade.h"

namespace {

using krm::testing::GradeStation;

GradeStation& Station() {
  static std::unique_ptr<GradeStation> station = [] {
    auto s = std::make_unique<GradeStation>('1');
    s->WriteMeasurement(krm::testing::WellCutStone());
    krm::testing::RecordingEnv env;
    krm::gradetables::ProvideGradeFiles(env, krm::app::StationPaths(s->root()));
    return s;
  }();
  return *station;
}

void BM_ReadMeasurementBytes(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  const auto path = Station().root() / "Test.txt";
  std::string contents;
  for (auto _ : state) {
    (void)env.ReadFile(path, &contents);
    benchmark::DoNotOptimize(contents.data());
  }
}
BENCHMARK(BM_ReadMeasurementBytes);

void BM_GradeProvisioned(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  krm::app::RunState run(env, Station().root());
  run.measurement_path = run.paths.Measurement();
  for (auto _ : state) {
    (void)env.OpenWritable(run.paths.Report(), false, &run.report_file);
    krm::grading::GradeProvisioned(run);
  }
}
BENCHMARK(BM_GradeProvisioned);

}  // namespace
