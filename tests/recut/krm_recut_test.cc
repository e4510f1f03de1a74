// Recut advice runs: the verdict of each kind of stone, the candidate loop with a stand-in grading,
// missing files, and a whole station whose Very Good stone a candidate makes Excellent.
#include "recut/krm_recut.h"

#include <gtest/gtest.h>

#include "app/run_flow.h"
#include "grading/grade_station.h"

namespace krm::recut {
namespace {

namespace fs = std::filesystem;
const char* const kPavilion[] = {"41", "40.8", "40.6", "40.9", "41.2", "40.7", "40.5", "41.1"};
const char* const kCrown[] = {"34.5", "34.3", "34.7", "34.5", "34.4", "34.6", "34.5", "34.2"};

std::string Stone(const std::string& head = "CUTTING_TYPE=Brilliant\r\n") {
  std::string text = "[NumericalParameters]\r\n" + head;
  for (int n = 1; n <= 8; ++n) {
    text += "PAVILION_ANGLE_DEG_" + std::to_string(n) + "=" + kPavilion[n - 1] + "\r\n";
    text += "CROWN_ANGLE_DEG_" + std::to_string(n) + "=" + kCrown[n - 1] + "\r\n";
  }
  return text;
}

// An advice run whose grading stand-in gives `grades` one per candidate (ending the run after
// them) and writes the attempt number as its report.
struct Advice {
  Advice(const std::string& measurement, std::int16_t initial, std::vector<std::int16_t> grades)
      : grades(std::move(grades)) {
    files.Write("data/.keep", "");
    files.Write("Test.txt", measurement);
    state.OverallCutClass = initial;
    state.saved_cut_caption = "Very Good";
  }
  std::optional<app::RunEnd> Run() {
    return krm_Recut(state, [this](app::RunState& s, const fs::path& path) {
      EXPECT_EQ(path, files.root() / "test_1.txt");
      app::WriteLine(s.report_file, "graded " + std::to_string(++calls));
      if (calls > static_cast<int>(grades.size())) return std::optional(app::RunEnd{});
      s.OverallCutClass = grades[calls - 1];
      s.fields.Label1(20) = "class " + std::to_string(s.OverallCutClass);
      return std::optional<app::RunEnd>();
    });
  }
  std::string Read(const char* name) const { return files.Read(name); }

  testing::RecordingEnv env;
  testing::TempStation files;
  app::RunState state{env, files.root()};
  std::vector<std::int16_t> grades;
  int calls = 0;
};

TEST(RecutAdvice, StonesWithoutCandidatesGetTheirVerdict) {
  const std::string vg = "MSG = Cut is Not VG - Use Vestra-Recut or Lapidora Virtual Recut ";
  const std::string semi =
      "MSG = Stone is Semi Polish - Use Vestra-Recut or Lapidora Virtual Recut ";
  const std::string round = "MSG = Stone is Not Round Brilliant";
  const struct {
    std::int16_t grade;
    std::string head, message;
  } cases[] = {{1, "MODEL_IS_SEMI_POLISHED=1\r\n", "MSG = Cut is EX "},
               {3, "CUTTING_TYPE=Brilliant\r\n", vg},
               {2, "MODEL_IS_SEMI_POLISHED=1.0\r\nCUTTING_TYPE=Round Brilliant\r\n", semi},
               {2, "MODEL_IS_SEMI_POLISHED=0\r\nCUTTING_TYPE=brilliant\r\n", round},
               {2, "MODEL_IS_SEMI_POLISHED=yes\r\n", round},
               {0, "CUTTING_TYPE=Brilliant\r\n", ""}};
  for (const auto& c : cases) {
    Advice a(Stone(c.head), c.grade, {});
    EXPECT_FALSE(a.Run());
    const std::string lines = c.message.empty() ? "" : "Recut = 0\r\n" + c.message + "\r\n";
    EXPECT_EQ(a.Read("data/recut.txt"), lines) << c.head;
    EXPECT_FALSE(a.calls || a.files.Exists("test_copy.txt") || a.files.Exists("test_1.txt"));
  }
}

TEST(RecutAdvice, StopsAtTheFirstCandidateThatChangesTheGradeEitherWay) {
  for (std::int16_t changed : {1, 3}) {
    Advice a(Stone(), 2, {2, 2, changed});
    EXPECT_FALSE(a.Run());
    const std::string advice = a.Read("data/recut.txt");
    EXPECT_EQ(std::count(advice.begin(), advice.end(), '\n'), 50);
    // Attempt 3 changes the crown only, in memory.
    for (std::string line : std::vector<std::string>{"Recut_Cut =class " + std::to_string(changed),
                                                     "Org_Cut =Very Good", "Recut_Crown_2=34.575",
                                                     "Recut_Pavilion_3=40.6"}) {
      EXPECT_NE(advice.find("\n" + line + "\r\n"), std::string::npos) << line;
    }
    EXPECT_EQ(a.Read("data/out_1.txt"), "graded 3\r\n");
    EXPECT_EQ(a.Read("test_copy.txt") + a.Read("Test.txt"), Stone() + Stone());
  }
}

TEST(RecutAdvice, GivesUpAfterFiveCandidatesAndPassesOnTheEndOfTheRun) {
  Advice a(Stone(), 2, {2, 2, 2, 2, 2});
  EXPECT_FALSE(a.Run());
  EXPECT_EQ(a.calls, 5);
  EXPECT_EQ(a.Read("data/recut.txt"),
            "Recut = 0\r\nMSG = Please Use Vestra-Recut or Lapidora Virtual Recut \r\n");
  EXPECT_NE(a.Read("test_1.txt").find("PAVILION_ANGLE_DEG_2=41.050\r\n"), std::string::npos);
  Advice ended(Stone(), 2, {2});
  EXPECT_TRUE(ended.Run());
  EXPECT_EQ(ended.Read("data/recut.txt"), "");
}

TEST(RecutAdvice, AStationWithoutDataFolderLosesNothing) {
  Advice no_data(Stone(), 2, {1});
  fs::remove_all(no_data.files.root() / "data");
  EXPECT_FALSE(no_data.Run() || no_data.calls || no_data.files.Exists("test_copy.txt"));
  EXPECT_EQ(no_data.Read("Test.txt"), Stone());
}

// The well-cut stone with the angles above, Very Good on a grade table of 2s whose one 1 is the
// cell of the second candidate (pavilion 41.05, snapped to 41).
TEST(RecutStation, AVeryGoodStoneBecomesExcellentWithTheSecondCandidate) {
  auto keys = testing::WellCutStone();
  for (int n = 1; n <= 8; ++n) {
    keys.push_back({"PAVILION_ANGLE_DEG_" + std::to_string(n), kPavilion[n - 1]});
    keys.push_back({"CROWN_ANGLE_DEG_" + std::to_string(n), kCrown[n - 1]});
  }
  testing::RecordingEnv env;
  testing::GradeStation station('2', {{18190983, '1'}});
  station.WriteMeasurement(keys);
  EXPECT_EQ(app::Form_Load(env, station.root()), app::ExitStatus::kOk);
  std::string expected =
      "Recut = 1\r\nMSG =  Successful\r\nOrg_Cut =Very Good\r\nRecut_Cut =Excellent\r\n"
      "Org_Sym =Excellent\r\nRecut_Sym =Excellent\r\nOrg_Pavilion_Avg =40.85\r\n"
      "Recut_Pavilion_Avg =41.05\r\nOrg_Pavilion_Max =41.2\r\nRecut_Pavilion_Max =41.2\r\n"
      "Org_Pavilion_Min =40.5\r\nRecut_Pavilion_Min =40.9\r\nOrg_Crown_Avg =34.4625\r\n"
      "Recut_Crown_Avg =34.4625\r\nOrg_Crown_Max =34.7\r\nRecut_Crown_Max =34.7\r\n"
      "Org_Crown_Min =34.2\r\nRecut_Crown_Min =34.2\r\n";
  const char* const recut[] = {"41",   "41.050", "41.050", "40.9",
                               "41.2", "41.050", "41.050", "41.1"};
  for (int n = 1; n <= 8; ++n) {
    const std::string d = std::to_string(n) + "=";
    expected += "Org_Pavilion_" + d + kPavilion[n - 1] + "\r\nRecut_Pavilion_" + d + recut[n - 1] +
                "\r\nOrg_Crown_" + d + kCrown[n - 1] + "\r\nRecut_Crown_" + d + kCrown[n - 1] +
                "\r\n";
  }
  EXPECT_EQ(station.files().Read("data/recut.txt"), expected);
  EXPECT_NE(
      station.files().Read("data/out_1.txt").find(",Excellent,Excellent,Excellent,Excellent\r\n"),
      std::string::npos);
}

}  // namespace
}  // namespace krm::recut
