// Recut advice: the order of the eligibility checks, and runs with a stand-in grading for what the
// whole-station cases do not reach: a candidate that makes the grade worse and a grading that ends
// the run.
#include "recut/krm_recut.h"

#include <gtest/gtest.h>

#include "platform/recording_env.h"
#include "recut/eligibility.h"

namespace krm::recut {
namespace {

const std::string kStone =
    "[NumericalParameters]\r\nCUTTING_TYPE=Brilliant\r\nPAVILION_ANGLE_DEG_1=40.8\r\n";

// An advice run on kStone, Very Good, whose grading stand-in gives `grades` one per candidate
// (ending the run after them) and writes the attempt number as its report, which it closes at
// its end as a grading does.
struct Advice {
  explicit Advice(std::vector<std::int16_t> grades) {
    files.Write("data/.keep", "");
    files.Write("Test.txt", kStone);
    stone.OverallCutClass = 2;
    end =
        krm_Recut(station, stone, [&](const std::filesystem::path&, platform::OutputFile& report) {
          report.WriteLine("graded " + std::to_string(++calls));
          if (calls > static_cast<int>(grades.size())) {
            return std::optional(intake::RunEnd{});
          }
          stone.OverallCutClass = grades[calls - 1];
          return std::optional<intake::RunEnd>();
        });
  }
  testing::RecordingEnv env;
  testing::TempStation files;
  intake::Station station{env, files.root()};
  grading::StoneState stone;
  int calls = 0;
  std::optional<intake::RunEnd> end;
};

TEST(RecutAdvice, EligibilityChecksInTheirOrder) {
  using enum Eligibility;
  const std::tuple<std::int16_t, std::string, Eligibility> cases[] = {
      {1, "MODEL_IS_SEMI_POLISHED=1", kExcellent},
      {2, "MODEL_IS_SEMI_POLISHED=1.0\nCUTTING_TYPE=Round Brilliant", kSemiPolished},
      {2, "MODEL_IS_SEMI_POLISHED=0\nCUTTING_TYPE=brilliant", kNotBrilliant},
      {2, "MODEL_IS_SEMI_POLISHED=yes\nCUTTING_TYPE=Brilliant", kEligible}};
  for (const auto& [grade, keys, expected] : cases)
    EXPECT_EQ(CheckEligibility(grade, intake::Profile::Parse("[NumericalParameters]\n" + keys)),
              expected);  // each row expects another verdict
  EXPECT_EQ(RefusalLines(kNotBrilliant).back(), "MSG = Stone is Not Round Brilliant");
}

TEST(RecutAdvice, StopsAtTheFirstCandidateThatChangesTheGradeEitherWay) {
  for (std::int16_t changed : {1, 3}) {
    Advice a({2, 2, changed});
    EXPECT_TRUE(!a.end && a.files.Read("data/recut.txt").starts_with("Recut = 1\r\n")) << changed;
    EXPECT_EQ(a.files.Read("data/out_1.txt"), "graded 3\r\n");
    // The candidates go to test_1.txt; the measurement file is only copied, never written.
    EXPECT_EQ(a.files.Read("test_copy.txt") + a.files.Read("Test.txt"), kStone + kStone);
  }
  Advice ended({2});  // the end of the run is passed on and no verdict written
  EXPECT_TRUE(ended.end && ended.files.Read("data/recut.txt").empty());
}

}  // namespace
}  // namespace krm::recut
