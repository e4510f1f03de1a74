// Symmetry parameters and their classes on small measurement files. The classes the whole-station
// cases reach (star spread on its bound, twist, table edge, table off centre) are checked there.
#include "grading/symmetry.h"

#include "grading/grade_report.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace krm::grading {
namespace {

// `count` keys PREFIXk for k = 1, 1 + step, ...: the values in turn, the last one repeated.
std::string Family(const std::string& prefix, int count, std::vector<std::string> v, int step = 1) {
  std::string keys;
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    keys += prefix + std::to_string(1 + i * step) + "=" + v[std::min(i, v.size() - 1)] + "\n";
  }
  return keys;
}

TEST(Symmetry, ClassOfEachParameterOnItsBorders) {
  const std::string diameters = "DIAMETER_MM_MIN=6.40\nDIAMETER_MM_MAX=6.48\n";
  // Keys, parameter (1 to 17 in evaluation order), class.
  const std::tuple<std::string, int, int> cases[] = {
      {diameters, 1, 2},  // out of round 1.2 %
      // A spread of 2 is class 2 only in band set C; keys are read in any case.
      {Family("crown_angle_deg_", 8, {"36", "34"}), 11, 2},
      {Family("STAR_ANGLE_DEG_", 8, {"20", "23", "21"}), 13, 2},
      {Family("UPPER_ANGLE_DEG_", 16, {"80", "40"}), 15, 5},
      // Only the odd lower halves count: a spread of 5, not 15.
      {Family("LENGTH_GIRDLE_FACET_", 16, {"75", "90", "80"}), 16, 2},
      {diameters + "OFFSET_GIRDLE_TABLE_MM=-0.0644", 4, 1},
      {"JUNCTION_BONE_TWIST_DEG_MAX=-1.3", 2, 2},
      {diameters + "TEV_TABLE_EDGE_MM_DEV=0.15", 3, 2},
      {"TABLE_MM_MAX=9", 7, 1},  // no diameter: counts as class 1
  };
  for (const auto& [keys, parameter, expected] : cases) {
    const intake::Profile file = intake::Profile::Parse("[NumericalParameters]\n" + keys);
    const auto classes = SymmetryClasses(
        FormSymmetryValues(intake::MeasurementKeys(file), intake::FacetReadings(file)));
    EXPECT_EQ(classes[parameter - 1], expected) << keys;
  }
}

TEST(Symmetry, FacetSpreadStartsFrom0And100) {
  const std::optional<float> high[] = {120, 130};
  EXPECT_FLOAT_EQ(FacetSpread(high), 30);  // the minimum stays 100
  const std::optional<float> missing[] = {120, 130, 0};
  EXPECT_FLOAT_EQ(FacetSpread(missing), 130);  // a missing one is 0
  const std::optional<float> overflow[] = {41.2f, std::nullopt, 40.5f};
  EXPECT_FLOAT_EQ(FacetSpread(overflow), 0.7f);  // an overflowing reading keeps the last value
}

// The diameter sum: the symmetry evaluation adds the two readings as read and holds the sum in
// single precision; the report's millimetre rows add the two readings in single precision. The two
// differ where the readings nearly cancel.
TEST(Symmetry, DiameterSumOfTheSymmetryGradeAndOfTheReportRows) {
  const std::tuple<const char*, const char*, float, float> cases[] = {
      {"6.48", "6.52", 0.6f, 0.6f},            // a round stone: both agree
      {"-6.141", "6.164", 107000, 106998.9f},  // 0.023 against 0.0230002403
  };
  for (const auto& [min, max, symmetry, report] : cases) {
    const intake::Profile file =
        intake::Profile::Parse(std::string("[NumericalParameters]\n") + "DIAMETER_MM_MIN=" + min +
                               "\nDIAMETER_MM_MAX=" + max + "\n");
    const intake::MeasurementKeys keys(file);
    EXPECT_EQ(FormSymmetryValues(keys, intake::FacetReadings(file))[Symmetry::kOutOfRound],
              symmetry)
        << min;
    EXPECT_EQ(MillimetreRowSpread(keys, "DIAMETER_MM_MAX", "DIAMETER_MM_MIN"), report) << min;
  }
}

}  // namespace
}  // namespace krm::grading
