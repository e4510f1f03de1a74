// The whole run of a Very Good stone for which all five recut candidates are graded, against the
// same run of an Excellent stone (no candidates) and against the advice with a grading that does
// nothing (only the candidate files and the advice are written), in the same run.
#include <benchmark/benchmark.h>

#include <string>

#include "app/run_flow.h"
#include "grading/grade_station.h"
#include "recut/krm_recut.h"

namespace {

using krm::testing::GradeStation;

// A well-cut stone with uneven pavilion and crown facets on a grade table of one digit: '1' grades
// it Excellent, '2' Very Good with every candidate Very Good too.
GradeStation& Station(char digit) {
  static GradeStation* stations[2] = {};
  GradeStation*& s = stations[digit == '1' ? 0 : 1];
  if (!s) {
    s = new GradeStation(digit);
    auto keys = krm::testing::WellCutStone();
    const char* pavilion[] = {"41", "40.8", "40.6", "40.9", "41.2", "40.7", "40.5", "41.1"};
    const char* crown[] = {"34.5", "34.3", "34.7", "34.5", "34.4", "34.6", "34.5", "34.2"};
    for (int n = 1; n <= 8; ++n) {
      keys.push_back({"PAVILION_ANGLE_DEG_" + std::to_string(n), pavilion[n - 1]});
      keys.push_back({"CROWN_ANGLE_DEG_" + std::to_string(n), crown[n - 1]});
    }
    s->WriteMeasurement(keys);
  }
  return *s;
}

void BM_RunExcellentStone(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  for (auto _ : state) krm::app::Form_Load(env, Station('1').root());
}
BENCHMARK(BM_RunExcellentStone)->Unit(benchmark::kMillisecond);

void BM_RunVeryGoodStoneFiveCandidates(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  for (auto _ : state) krm::app::Form_Load(env, Station('2').root());
}
BENCHMARK(BM_RunVeryGoodStoneFiveCandidates)->Unit(benchmark::kMillisecond);

void BM_RecutWithoutGrading(benchmark::State& state) {
  krm::testing::RecordingEnv env;
  krm::app::RunState run(env, Station('2').root());
  auto no_grading = [](krm::app::RunState& s, const std::filesystem::path&) {
    s.report_file.reset();
    return std::optional<krm::app::RunEnd>();
  };
  for (auto _ : state) {
    run.OverallCutClass = 2;
    krm::recut::krm_Recut(run, no_grading);
  }
}
BENCHMARK(BM_RecutWithoutGrading)->Unit(benchmark::kMillisecond);

}  // namespace
