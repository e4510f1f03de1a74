// Whole gradings on temporary stations: the report file and grade log of a well-cut stone line by
// line, and the limiting rules, messages and failure handling on variations of it.
#include "grading/krm_grade.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/run_flow.h"
#include "grading/grade_station.h"

namespace krm::grading {
namespace {

using krm::testing::GradeStation;
using krm::testing::RecordingEnv;
using krm::testing::WellCutStone;
using krm::testing::With;
using Keys = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// One grading of `keys` on a station whose grade table holds `digit` everywhere.
struct Graded {
  explicit Graded(const Keys& keys, char digit = '1', std::map<std::int64_t, char> cells = {})
      : station(digit, cells), state(env, station.root()) {
    station.WriteMeasurement(keys);
    status = app::Form_Load(state);
    report = Lines(station.files().Read("data/out.txt"));
    log = Lines(station.files().Read("data/grade_log.txt"));
  }
  // The report line that starts with `label` followed by a comma.
  std::string Row(const std::string& label) const {
    for (const auto& line : report) {
      if (line.rfind(label + ",", 0) == 0) return line;
    }
    return "<no row " + label + ">";
  }

  RecordingEnv env;
  GradeStation station;
  app::RunState state;
  app::ExitStatus status;
  std::vector<std::string> report;
  std::vector<std::string> log;
};

TEST(KrmGrade, WellCutStoneWritesTheWholeReportAndGradeLog) {
  Graded g(WellCutStone());
  ASSERT_EQ(g.status, app::ExitStatus::kOk);
  EXPECT_TRUE(g.env.messages.empty());
  const std::vector<std::string> report = {
      "KRM-0001,1.0.0,11/20/2026 10:30:00,12/06/2026,14:05:09,Excellent,Excellent,Excellent,"
      "Excellent",
      "MSG[1],,,,,,,,,",
      "MSG[2],",
      "MSG[3],",
      "MSG[4],",
      "Shape,Round Brilliant,,,Round Brilliant,",
      "Calculated Weight ( Ct ),0.9000,,,,",
      "Diameter ( mm ),(6.480,-6.520), 6.500,6.50,Excellent",
      "Table Size (mm) - %,(3.700,-3.710), 57.00,57.0,Excellent",
      "Crown Angle ( \xB0 ),(34.50,-34.50), 34.50,34.5,Excellent",
      "Pavilion Angle ( \xB0 ),(40.80,-40.80), 40.80,40.8,Excellent",
      "Star Angle ( \xB0 ),(0.00,-0.00), 22.00,22,Excellent",
      "Upper Angle ( \xB0 ),(0.00,-0.00), 42.00,42,Excellent",
      "Lower Angle ( \xB0 ),(0.00,-0.00), 41.80,41.8,Excellent",
      "Star Length ( % ),(0.00,-0.00), 50.00,50.0,Excellent",
      "Lower Half Length ( % ),(0.00,-0.00), 75.00,75.0,Excellent",
      "Girdle Thickness (mm) - % ,(0.000,-0.000), 3.00,3,Excellent",
      "Girdle Minimum ( % ) *,2.62,,,Medium,",
      "Girdle Maximum ( % ) *,3.38,,,Medium,",
      "Culet Size ( % ) *,0.00,,,None,",
      "Crown Height (mm) - %,(0.000,-0.000), 15.00,15.0,Excellent",
      "Pavilion Depth (mm) - % ,(0.000,-0.000), 43.00,43.0,Excellent",
      "Total Depth ( % ),61.54,,,61.5,",
      "Avg Crown Painting ( \xB0 ),0.00,,,0,",
      "Avg Pavilion Painting ( \xB0 ),0.00,,,0,",
      "Avg Sum Of Painting ( \xB0 ),0.00,,,0,",
      "Table Off Center ( % ),0.00,,,0,",
      "Culet Off Center ( % ),0.00,,,0,",
      "Table/Culet Alignment ( % ),0.00,,,0,",
      "ALIGNMENT ( \xB0 ),0.0,,,0.0,",
      "TEV (%),0.0,,,0.0,",
  };
  EXPECT_EQ(g.report, report);

  std::vector<std::string> log = {
      "STONE_ID=KRM-0001",
      "Version_Major=1",
      "Version_Minor=0",
      "Version_Rev=0",
      "Version_Date=11/20/2026 10:30:00",
      "Current_Date=12/06/2026",
      "Current_Time=14:05:09",
      "KRM_OVERALL_Cut=Excellent",
      "KRM_OVERALL_SYM=Excellent",
      "Shape=Round Brilliant",
      "Calculated Weight ( Ct )=0.9000",
  };
  auto entries = [&](const std::string& label, std::vector<std::string> values) {
    for (size_t n = 0; n < values.size(); ++n) {
      log.push_back(label + "_" + std::to_string(n + 1) + "=" + values[n]);
    }
  };
  entries("Diameter ( mm )", {"6.480", "6.520", "6.500", "6.50", "0.6", "Excellent"});
  entries("Table Size (mm) - %", {"3.700", "3.710", "57.00", "57.0", "0.2", "Excellent"});
  entries("Crown Angle ( \xB0 )", {"34.50", "34.50", "34.50", "34.5", "0", "Excellent"});
  entries("Pavilion Angle ( \xB0 )", {"40.80", "40.80", "40.80", "40.8", "0", "Excellent"});
  entries("Star Angle ( \xB0 )", {"0.00", "0.00", "22.00", "22", "0", "Excellent"});
  entries("Upper Angle ( \xB0 )", {"0.00", "0.00", "42.00", "42", "0", "Excellent"});
  entries("Lower Angle ( \xB0 )", {"0.00", "0.00", "41.80", "41.8", "0", "Excellent"});
  entries("Star Length ( % )", {"0.00", "0.00", "50.00", "50.0", "0", "Excellent"});
  entries("Lower Half Length ( % )", {"0.00", "0.00", "75.00", "75.0", "0", "Excellent"});
  entries("Girdle Thickness (mm) - % ", {"0.000", "0.000", "3.00", "3", "0", "Excellent"});
  entries("Girdle Minimum ( % ) *", {"2.62", "Medium"});
  entries("Girdle Maximum ( % ) *", {"3.38", "Medium"});
  entries("Culet Size ( % ) *", {"0.00", "None"});
  entries("Crown Height (mm) - %", {"0.000", "0.000", "15.00", "15.0", "0", "Excellent"});
  entries("Pavilion Depth (mm) - % ", {"0.000", "0.000", "43.00", "43.0", "0", "Excellent"});
  entries("Total Depth ( % )", {"61.54", "61.5"});
  entries("Painting - ACP-APP-SUM ( \xB0 )", {"0.00", "0", "0.00", "0", "0.00", "0"});
  entries("Table Off Center ( % )", {"0.00", "0", "Excellent"});
  entries("Culet Off Center ( % )", {"0.00", "0", "Excellent"});
  entries("Table/Culet Alignment ( % )", {"0.00", "0", "Excellent"});
  entries("ALIGNMENT ( \xB0 )", {"0.0", "0.0", "Excellent"});
  entries("TEV (%)", {"0.0", "0.0", "Excellent"});
  EXPECT_EQ(g.log, log);

  const app::ResultFields& f = g.state.fields;
  const std::vector<std::string> snapped = {"57", "34.5", "40.8", "50", "75", "3"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Label1(i), snapped[i]) << i;
  const std::vector<std::string> indexes = {"13", "29", "18", "3", "3", "3", "18190119"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(f.Label1(12 + i), indexes[i]) << i;
  EXPECT_EQ(f.Label10, "Date : 12/06/2026  Time : 14:05:09");
  ASSERT_EQ(g.env.starts.size(), 0u);  // the station has no KRM_5.bat
}

TEST(KrmGrade, TableClassComesFromTheCellOfTheSnappedProportions) {
  Graded g(WellCutStone(), '1', {{18190119, '3'}});
  EXPECT_EQ(g.state.fields.Label1(19), "3");
  EXPECT_EQ(g.state.fields.Label1(20), "Good");
  EXPECT_EQ(g.state.OverallCutClass, 3);
}

struct RuleCase {
  const char* name;
  Keys changes;
  const char* cut;       // Label1(20) at the end
  const char* messages;  // the MSG[1] line
  const char* girdle;    // the MSG[2] line
  const char* degrade;   // the MSG[3] line
  const char* symmetry;  // the MSG[4] line
};

class KrmGradeRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(KrmGradeRules, LimitTheGradeAndSayWhy) {
  const RuleCase& c = GetParam();
  Graded g(With(WellCutStone(), c.changes));
  EXPECT_EQ(g.state.fields.Label1(20), c.cut);
  ASSERT_GE(g.report.size(), 5u);
  EXPECT_EQ(g.report[1], c.messages);
  EXPECT_EQ(g.report[2], c.girdle);
  EXPECT_EQ(g.report[3], c.degrade);
  EXPECT_EQ(g.report[4], c.symmetry);
}

// Girdle and depth figures on a mean diameter of 6.5 mm: 0.065 mm is 1.0 %, 0.5525 mm is 8.5 %,
// a total depth of 3.731 mm is 57.4 % and 4.355 mm is 67.0 %.
Keys Girdle(const char* mm) {
  Keys k;
  for (int i = 1; i <= 8; ++i) k.push_back({"GIRDLE_WIDE_BEZEL_MM_" + std::to_string(i), mm});
  return k;
}
Keys Plus(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KrmGradeRules,
    ::testing::Values(
        RuleCase{"ThinGirdleShallow", Plus(Girdle("0.065"), {{"TOTAL_DEPTH_MM", "3.731"}}),
                 "Very Good", "MSG[1],,,,,,,,,",
                 "MSG[2],Girdle Thickness less then 1.5 limits the cut grade to  * Very Good * or "
                 "else the Grade would have been  * Excellent *",
                 "MSG[3],", "MSG[4],"},
        RuleCase{"ThinGirdleDeepEnough", Plus(Girdle("0.065"), {{"TOTAL_DEPTH_MM", "3.74"}}),
                 "Excellent", "MSG[1],,,,,,,,,", "MSG[2],", "MSG[3],", "MSG[4],"},
        RuleCase{"ThickGirdleDeepStone", Plus(Girdle("0.5525"), {{"TOTAL_DEPTH_MM", "4.355"}}),
                 "Fair", "MSG[1],,,,,,,,,",
                 "MSG[2],Girdle Thickness Greater then 7.0 limits the cut grade to  * Fair * or "
                 "else the Grade would have been  * Excellent * - AND -  Total height also quite "
                 "large and Girdle Greater then 7.0 limits the cut grade to  * Fair * or else the "
                 "Grade would have been  * Excellent *",
                 "MSG[3],", "MSG[4],"},
        RuleCase{"ThinGirdleDescriptionAndLargeCulet",
                 {{"GIRDLE_NARROW_MM_MIN", "0.05"}, {"CULET_MM", "0.26"}},
                 "Fair",
                 "MSG[1],,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],Girdle Description degrades the grade to  * Fair * or else the Grade "
                 "would have been  * Excellent * - AND -  Culet Size degrades the grade to   * "
                 "Good * or else the Grade would have been   * Excellent *",
                 "MSG[4],"},
        RuleCase{"CrownPainting",
                 {{"CRN_PAINTING_DEG_AVG", "4.3"}},
                 "Very Good",
                 "MSG[1],,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],Digging / Painting- APP= 0: ACP= 4.3: SUM= 4.3 reduces the grade to   * "
                 "Very Good *  or else the Grade would have been  * Excellent *",
                 "MSG[4],"},
        RuleCase{"PavilionDigging",
                 {{"PAV_PAINTING_DEG_AVG", "-6.3"}},
                 "Fair",
                 "MSG[1],,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],Digging / Painting- APP= -6.3: ACP= 0: SUM= -6.3 reduces the grade to   "
                 "* Fair *  or else the Grade would have been  * Excellent *",
                 "MSG[4],"},
        RuleCase{"PoorSymmetry",
                 {{"UPPER_ANGLE_DEG_7", "82"}},
                 "Fair",
                 "MSG[1],,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],",
                 "MSG[4],Symmetry reduces the grade to   * Fair *  or else the Grade would have "
                 "been  * Excellent * "},
        RuleCase{"LightStone",
                 {{"CORRECTED_MASS", "0.149"}},
                 "Excellent [ Poor ]",
                 "MSG[1],Estimated KRM Cut Grade is not vailid for Round Brilliants smaller then "
                 "0.150 Ct,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],",
                 "MSG[4],"},
        RuleCase{"WeightAtTheLimit",
                 {{"CORRECTED_MASS", "0.15"}},
                 "Excellent",
                 "MSG[1],,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],",
                 "MSG[4],"},
        RuleCase{"ShapeInLowerCase",
                 {{"CUTTING_TYPE", "brilliant"}},
                 "Poor",
                 "MSG[1],Shape - brilliant - is currently not graded by KRM!,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],",
                 "MSG[4],"},
        RuleCase{"TableOutOfRange",
                 {{"TABLE_MM_1", "4.7125"},
                  {"TABLE_MM_2", "4.7125"},
                  {"TABLE_MM_3", "4.7125"},
                  {"TABLE_MM_4", "4.7125"}},
                 "Poor",
                 "MSG[1],Parameter Table = 73 is out of range,,,,,,,,",
                 "MSG[2],",
                 "MSG[3],",
                 "MSG[4],"}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST(KrmGrade, ZeroDiameterAndGarbageGradeWithoutCrash) {
  for (const Keys& keys : {Keys{}, Keys{{"DIAMETER_MM_MIN", "0"}, {"DIAMETER_MM_MAX", "0"}},
                           Keys{{"CROWN_ANGLE_DEG_1", "1e400"}, {"TABLE_MM_1", "-9e37"}},
                           Keys{{"CUTTING_TYPE", "Princess"}, {"CORRECTED_MASS", "abc"}}}) {
    Graded g(keys);
    EXPECT_EQ(g.status, app::ExitStatus::kOk);
    EXPECT_EQ(g.state.fields.Label1(19), "5");
    EXPECT_EQ(g.report.size(), 31u);
  }
}

TEST(KrmGrade, SecondGradingAppendsItsTextsAndSkipsTheGradeLog) {
  RecordingEnv env;
  GradeStation station;
  station.WriteMeasurement(With(WellCutStone(), {{"CORRECTED_MASS", "0.1"}}));
  app::RunState state(env, station.root());
  state.grade_log = nullptr;
  ASSERT_TRUE(env.OpenWritable(state.paths.GradeLog(), true, &state.grade_log).ok());
  ASSERT_FALSE(krm_Grade(state, state.paths.Measurement()));
  const std::string first_log = station.files().Read("data/grade_log.txt");
  ASSERT_TRUE(env.OpenWritable(state.paths.CandidateReport(), false, &state.report_file).ok());
  ASSERT_FALSE(krm_Grade(state, state.paths.Measurement()));
  EXPECT_EQ(state.MessageCount, 2);
  EXPECT_EQ(station.files().Read("data/grade_log.txt"), first_log);
  EXPECT_EQ(state.WeightNote, "Poor");
  const auto candidate = Lines(station.files().Read("data/out_1.txt"));
  ASSERT_GE(candidate.size(), 2u);
  const std::string light =
      "Estimated KRM Cut Grade is not vailid for Round Brilliants smaller then 0.150 Ct,";
  EXPECT_EQ(candidate[1], "MSG[1]," + light + ",,,,,,," + light + ",,,,,,");
}

TEST(KrmGrade, MissingGradeDatabaseEndsTheRun) {
  RecordingEnv env;
  GradeStation station;
  station.WriteMeasurement(WellCutStone());
  // A folder where the joined database belongs: the join cannot make it a file.
  std::filesystem::create_directories(station.root() / "windows" / "win_rt2.dll");
  app::RunState state(env, station.root());
  EXPECT_EQ(app::Form_Load(state), app::ExitStatus::kGradeDataMissing);
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0].title, "DATABASE NOT FOUND !");
  EXPECT_EQ(state.MessageList, "Data base file does not exist  - Can not proceed further....,");
}

TEST(KrmGrade, ShortGradeTableLeavesTheClassAsItWas) {
  RecordingEnv env;
  GradeStation station;
  station.WriteMeasurement(WellCutStone());
  station.files().Write("win_sys1.syc", "");
  station.files().Write("win_sys2.syc", "");
  app::RunState state(env, station.root());
  EXPECT_EQ(app::Form_Load(state), app::ExitStatus::kOk);
  // No cell was read: the table class is that of the initial, empty caption, 0 without a name,
  // and the girdle description and culet rules then raise the running class to its own class 1.
  EXPECT_EQ(state.fields.Label1(19), "1");
  EXPECT_EQ(state.DegradeText,
            "Girdle Description degrades the grade to  * Excellent * or else the Grade would "
            "have been  *  * - AND -  Culet Size degrades the grade to   * Excellent * or else "
            "the Grade would have been   *  *");
  const std::string report = station.files().Read("data/out.txt");
  EXPECT_NE(report.find(",Excellent,Excellent,,\r\n"), std::string::npos);
}

}  // namespace
}  // namespace krm::grading
