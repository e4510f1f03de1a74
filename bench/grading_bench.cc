// One grading of a well-cut stone, the join of the grade files aside, against the floor of
// reading its measurement file's bytes once, in the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

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
    krm::intake::Station run(env, s->root());
    krm::gradetables::StationGradeFiles(run).Provide();
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

// A grading at the station with its grade files in place, as a recut candidate's grading is: the
// table file opened, the grade tables read, the measurement file read and the report written.
void BM_GradeProvisioned(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  krm::intake::Station run(env, Station().root());
  krm::gradetables::StationGradeFiles files(run);
  const krm::grading::ReportStamp stamp = krm::grading::StampNow(run);
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
}
BENCHMARK(BM_GradeProvisioned);

}  // namespace
