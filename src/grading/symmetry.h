// The symmetry evaluation: seventeen symmetry parameters formed from the measurement file, each
// classed 1 (Excellent) to 5 (Poor); the symmetry grade is the worst class.
#ifndef KRM_GRADING_SYMMETRY_H_
#define KRM_GRADING_SYMMETRY_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/run_state.h"
#include "grading/measurement_keys.h"

namespace krm::grading {

// The seventeen parameters in the order they are evaluated. A value is absent when it could not
// be formed (a diameter sum of 0, an overflowing reading); it then counts as class 1.
struct SymmetryValues {
  std::optional<float> out_of_round;           // diameter, % of the mean diameter
  std::optional<float> twist;                  // degrees, one decimal
  std::optional<float> table_edge;             // TEV, %, one decimal
  std::optional<float> table_off_center;       // %, three decimals, signed
  std::optional<float> culet_off_center;       // %, three decimals, signed
  std::optional<float> table_culet_alignment;  // %, three decimals, signed
  std::optional<float> table_variation;
  std::optional<float> crown_height_variation;
  std::optional<float> pavilion_depth_variation;
  std::optional<float> girdle_variation;
  float crown_angle_spread = 0;
  float pavilion_angle_spread = 0;
  float star_angle_spread = 0;
  float star_length_spread = 0;
  float upper_angle_spread = 0;
  float lower_length_spread = 0;  // odd lower girdle facets only
  float lower_angle_spread = 0;
};

// Forms the seventeen values from the keys of the measurement file.
SymmetryValues FormSymmetryValues(const MeasurementKeys& keys);

// The class of each parameter, in evaluation order.
std::array<std::int16_t, 17> SymmetryClasses(const SymmetryValues& values);

// The spread of a key family PREFIXk, for k = first, first + step, ... up to last: each value
// rounded to one place, the running maximum starting at 0 and the minimum at 100, and the
// spread rounded to one place.
float FacetSpread(const MeasurementKeys& keys, std::string_view prefix, int first, int last,
                  int step = 1);

// krm_Symmetry: sets state.SymmetryGrade to the worst class of the seventeen parameters and
// Label1(25) to its name. Never fails.
void krm_Symmetry(app::RunState& state, const MeasurementKeys& keys);

}  // namespace krm::grading

#endif  // KRM_GRADING_SYMMETRY_H_
