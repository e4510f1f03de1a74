// Symmetry parameters and their classes on small measurement files.
#include "grading/symmetry.h"

#include <gtest/gtest.h>

#include "platform/env_posix.h"

#include <string>
#include <vector>

namespace krm::grading {
namespace {

struct SymmetryCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> keys;
  int parameter;  // 1 to 17, the evaluation order
  int expected_class;
};

app::Profile FileOf(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string text = "[NumericalParameters]\n";
  for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
  return app::Profile::Parse(text);
}

std::vector<std::pair<std::string, std::string>> Family(const std::string& prefix,
                                                        std::vector<std::string> values,
                                                        int step = 1) {
  std::vector<std::pair<std::string, std::string>> keys;
  for (size_t i = 0; i < values.size(); ++i) {
    keys.push_back({prefix + std::to_string(1 + static_cast<int>(i) * step), values[i]});
  }
  return keys;
}

class SymmetryClassOf : public ::testing::TestWithParam<SymmetryCase> {};

TEST_P(SymmetryClassOf, Parameter) {
  const SymmetryCase& c = GetParam();
  const app::Profile file = FileOf(c.keys);
  const auto classes = SymmetryClasses(FormSymmetryValues(MeasurementKeys(file)));
  EXPECT_EQ(classes[c.parameter - 1], c.expected_class);
}

using K = std::vector<std::pair<std::string, std::string>>;
const K kDiameters = {{"DIAMETER_MM_MIN", "6.40"}, {"DIAMETER_MM_MAX", "6.48"}};
K With(K a, const K& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SymmetryClassOf,
    ::testing::Values(
        SymmetryCase{"OutOfRound", kDiameters, 1, 2},
        SymmetryCase{"CrownSpreadOnTheBound",
                     Family("CROWN_ANGLE_DEG_", {"34", "34", "34", "34", "34", "34", "34", "35"}),
                     11, 1},
        SymmetryCase{"CrownSpreadAbove",
                     Family("crown_angle_deg_", {"34", "34", "34", "34", "34", "34", "34", "35.1"}),
                     11, 2},
        SymmetryCase{"StarSpreadOnTheBound",
                     Family("STAR_ANGLE_DEG_", {"20", "22.9", "21", "21", "21", "21", "21", "21"}),
                     13, 1},
        SymmetryCase{"StarSpreadAbove",
                     Family("STAR_ANGLE_DEG_", {"20", "23", "21", "21", "21", "21", "21", "21"}),
                     13, 2},
        SymmetryCase{"UpperSpread40", Family("UPPER_ANGLE_DEG_", {"40", "80"}), 15, 5},
        SymmetryCase{"EvenLowerHalfIgnored",
                     Family("LENGTH_GIRDLE_FACET_", {"75", "90", "75", "90", "75", "90", "75", "90",
                                                     "75", "90", "75", "90", "75", "90", "75"}),
                     16, 1},
        SymmetryCase{
            "OddLowerHalfCounts",
            Family("LENGTH_GIRDLE_FACET_", {"75", "85", "75", "75", "75", "75", "75", "75"}, 2), 16,
            3},
        SymmetryCase{"NegativeTableOffCenter",
                     With(kDiameters, {{"OFFSET_GIRDLE_TABLE_MM", "-0.0644"}}), 4, 1},
        SymmetryCase{"TableOffCenter", With(kDiameters, {{"OFFSET_GIRDLE_TABLE_MM", "0.0644"}}), 4,
                     2},
        SymmetryCase{"Twist13",
                     {{"JUNCTION_BEZEL_TWIST_DEG_MIN", "-0.8"},
                      {"JUNCTION_BEZEL_TWIST_DEG_MAX", "1.3"},
                      {"JUNCTION_BONE_TWIST_DEG_MAX", "0.4"},
                      {"JUNCTION_BONE_TWIST_DEG_MIN", "-1.1"}},
                     2,
                     2},
        SymmetryCase{"Twist12", {{"JUNCTION_BONE_TWIST_DEG_MIN", "-1.2"}}, 2, 1},
        SymmetryCase{"TableEdge015", With(kDiameters, {{"TEV_TABLE_EDGE_MM_DEV", "0.15"}}), 3, 2},
        SymmetryCase{"TableEdge010", With(kDiameters, {{"TEV_TABLE_EDGE_MM_DEV", "-0.10"}}), 3, 1},
        SymmetryCase{"NoDiameterCountsAsClass1", {{"TABLE_MM_MAX", "9"}}, 7, 1}),
    [](const ::testing::TestParamInfo<SymmetryCase>& info) {
      return std::string(info.param.name);
    });

TEST(Symmetry, FacetSpreadStartsFrom0And100) {
  const app::Profile above = FileOf(Family("A_", {"120", "130"}));
  EXPECT_FLOAT_EQ(FacetSpread(MeasurementKeys(above), "A_", 1, 2), 30);  // minimum stays 100
  const app::Profile missing = FileOf({});
  EXPECT_FLOAT_EQ(FacetSpread(MeasurementKeys(missing), "A_", 1, 8), 0);
  const app::Profile some = FileOf(Family("A_", {"41", "41"}));
  EXPECT_FLOAT_EQ(FacetSpread(MeasurementKeys(some), "A_", 1, 3), 41);  // the missing one is 0
}

TEST(Symmetry, GradeIsTheWorstClassAndNamesLabel25) {
  platform::PosixEnv env;
  app::RunState state(env, "/nonexistent");
  state.SymmetryGrade = 5;
  const app::Profile file = FileOf({});
  krm_Symmetry(state, MeasurementKeys(file));
  EXPECT_EQ(state.SymmetryGrade, 1);
  EXPECT_EQ(state.fields.Label1(25), "Excellent");
  const app::Profile poor = FileOf(With(kDiameters, Family("UPPER_ANGLE_DEG_", {"40", "80"})));
  krm_Symmetry(state, MeasurementKeys(poor));
  EXPECT_EQ(state.SymmetryGrade, 5);
  EXPECT_EQ(state.fields.Label1(25), "Poor");
}

}  // namespace
}  // namespace krm::grading
