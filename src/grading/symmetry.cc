// The seventeen symmetry parameters and the symmetry grade.
#include "grading/symmetry.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "gradetables/main_fnc.h"
#include "grading/classifiers.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using text::RoundDecimal;

// (max - min) x 200 / S rounded to `places`: a spread or offset as a percentage of the mean
// diameter. Absent when S is 0 or a key overflows.
std::optional<float> PercentOfDiameter(std::optional<double> delta, float diameter_sum,
                                       int places) {
  if (!delta || diameter_sum == 0) return std::nullopt;
  return RoundDecimal(*delta * 200 / diameter_sum, places);
}

std::optional<double> Difference(const MeasurementKeys& keys, std::string_view max_key,
                                 std::string_view min_key) {
  auto max = keys.Number(max_key);
  auto min = keys.Number(min_key);
  if (!max || !min) return std::nullopt;
  return *max - *min;
}

// A value written with "0.0" and read back.
float ThroughOneDecimal(float value) {
  return static_cast<float>(text::ToNumber(text::FixedSingle(value, 1)));
}

std::int16_t ClassOr1(const std::optional<float>& value, std::int16_t (*classify)(float)) {
  return value ? classify(*value) : 1;
}

std::int16_t Findg4Or1(const std::optional<float>& value, float step) {
  return value ? findg4(*value, step) : 1;
}

}  // namespace

float FacetSpread(const MeasurementKeys& keys, std::string_view prefix, int first, int last,
                  int step) {
  float max = 0;
  float min = 100;
  float value = 0;
  std::string key(prefix);
  for (int k = first; k <= last; k += step) {
    key.resize(prefix.size());
    key += std::to_string(k);
    // An overflowing reading is a failing statement: the previous facet's value stays.
    if (auto number = keys.Number(key)) value = RoundDecimal(*number, 1);
    if (value > max) max = value;
    if (value < min) min = value;
  }
  return RoundDecimal(max - min, 1);
}

SymmetryValues FormSymmetryValues(const MeasurementKeys& keys) {
  SymmetryValues v;
  const auto min_d = keys.Number("DIAMETER_MM_MIN");
  const auto max_d = keys.Number("DIAMETER_MM_MAX");
  float sum = 0;
  if (min_d && max_d) {
    sum = text::NarrowToSingle(*min_d + *max_d).value_or(0);
  }

  v.out_of_round =
      PercentOfDiameter(Difference(keys, "DIAMETER_MM_MAX", "DIAMETER_MM_MIN"), sum, 1);

  double largest = 0;
  for (const char* key : {"JUNCTION_BEZEL_TWIST_DEG_MIN", "JUNCTION_BEZEL_TWIST_DEG_MAX",
                          "JUNCTION_BONE_TWIST_DEG_MAX", "JUNCTION_BONE_TWIST_DEG_MIN"}) {
    largest = std::max(largest, std::fabs(keys.NumberOr0(key)));
  }
  v.twist = ThroughOneDecimal(RoundDecimal(largest, 1));

  const float mean_diameter = RoundDecimal(static_cast<double>(sum) * 0.5, 3);
  if (mean_diameter != 0) {
    const double tev = 100 * std::fabs(keys.NumberOr0("TEV_TABLE_EDGE_MM_DEV")) / mean_diameter;
    v.table_edge = ThroughOneDecimal(RoundDecimal(tev, 1));
  }

  v.table_off_center = PercentOfDiameter(keys.Number("OFFSET_GIRDLE_TABLE_MM"), sum, 3);
  v.culet_off_center = PercentOfDiameter(keys.Number("OFFSET_GIRDLE_CULET_MM"), sum, 3);
  v.table_culet_alignment = PercentOfDiameter(keys.Number("OFFSET_TABLE_CULET_MM"), sum, 3);
  v.table_variation = PercentOfDiameter(Difference(keys, "TABLE_MM_MAX", "TABLE_MM_MIN"), sum, 1);
  v.crown_height_variation =
      PercentOfDiameter(Difference(keys, "CROWN_HEIGHT_MM_MAX", "CROWN_HEIGHT_MM_MIN"), sum, 1);
  v.pavilion_depth_variation =
      PercentOfDiameter(Difference(keys, "PAVILION_DEPTH_MM_MAX", "PAVILION_DEPTH_MM_MIN"), sum, 1);
  v.girdle_variation = PercentOfDiameter(
      Difference(keys, "GIRDLE_WIDE_BEZEL_MM_MAX", "GIRDLE_WIDE_BEZEL_MM_MIN"), sum, 1);

  v.crown_angle_spread = FacetSpread(keys, "Crown_ANGLE_DEG_", 1, 8);
  v.pavilion_angle_spread = FacetSpread(keys, "PAVILION_ANGLE_DEG_", 1, 8);
  v.star_angle_spread = FacetSpread(keys, "STAR_ANGLE_DEG_", 1, 8);
  v.star_length_spread = FacetSpread(keys, "STAR_RATIO_PC_", 1, 8);
  v.upper_angle_spread = FacetSpread(keys, "UPPER_ANGLE_DEG_", 1, 16);
  v.lower_length_spread = FacetSpread(keys, "LENGTH_GIRDLE_FACET_", 1, 15, 2);
  v.lower_angle_spread = FacetSpread(keys, "HALVES_ANGLE_DEG_", 1, 16);
  return v;
}

std::array<std::int16_t, 17> SymmetryClasses(const SymmetryValues& v) {
  return {
      ClassOr1(v.out_of_round, BandSetA),
      Findg4Or1(v.twist, 1.2f),
      Findg4Or1(v.table_edge, 2.2f),
      ClassOr1(v.table_off_center, BandSetB),
      ClassOr1(v.culet_off_center, BandSetB),
      ClassOr1(v.table_culet_alignment, BandSetA),
      ClassOr1(v.table_variation, BandSetC),
      ClassOr1(v.crown_height_variation, BandSetC),
      ClassOr1(v.pavilion_depth_variation, BandSetC),
      ClassOr1(v.girdle_variation, BandSetC),
      BandSetC(v.crown_angle_spread),
      BandSetA(v.pavilion_angle_spread),
      findg4(v.star_angle_spread, 2.9f),
      findg4(v.star_length_spread, 7.2f),
      findg4(v.upper_angle_spread, 4.8f),
      findg4(v.lower_length_spread, 4.8f),
      findg4(v.lower_angle_spread, 1.4f),
  };
}

void krm_Symmetry(app::RunState& state, const MeasurementKeys& keys) {
  state.SymmetryGrade = 1;
  for (std::int16_t c : SymmetryClasses(FormSymmetryValues(keys))) {
    state.SymmetryGrade = std::max(state.SymmetryGrade, c);
  }
  state.fields.Label1(25) = gradetables::MainFNC::eClassName(state.SymmetryGrade);
}

}  // namespace krm::grading
