// A grading on a grade table that holds no cells: every other outcome of a grading is checked
// byte by byte by the whole-station cases of tests/e2e.
#include "grading/krm_grade.h"

#include <gtest/gtest.h>

#include "app/run_flow.h"
#include "grading/grade_station.h"

namespace krm::grading {
namespace {

TEST(KrmGrade, EmptyGradeTableLeavesTheClassAsItWas) {
  testing::RecordingEnv env;
  testing::GradeStation station;
  station.WriteMeasurement(testing::WellCutStone());
  station.files().Write("win_sys1.syc", "");
  station.files().Write("win_sys2.syc", "");
  intake::Station run(env, station.root());
  StoneState stone;
  EXPECT_EQ(app::Form_Load(run, stone), intake::ExitStatus::kResultNotWritten);
  // No cell was read: the table class is that of the initial, empty caption, 0 without a name,
  // and the girdle description and culet rules then raise the running class to its own class 1.
  EXPECT_EQ(stone.fields.ClassDigit(), "1");
  EXPECT_EQ(stone.DegradeText,
            "Girdle Description degrades the grade to  * Excellent * or else the Grade would "
            "have been  *  * - AND -  Culet Size degrades the grade to   * Excellent * or else "
            "the Grade would have been   *  *");
  const std::string report = station.files().Read("data/out.txt");
  EXPECT_NE(report.find(",Excellent,Excellent,,\r\n"), std::string::npos);
}

}  // namespace
}  // namespace krm::grading
