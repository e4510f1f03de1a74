// The facet angles and lengths that the parameter record averages and the symmetry grade spreads,
// each facet's reading rounded to one place: read once per grading for both.
#ifndef KRM_INTAKE_FACET_READINGS_H_
#define KRM_INTAKE_FACET_READINGS_H_

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "intake/profile.h"

namespace krm::intake {

enum class FacetFamily {
  kCrownAngle,       // CROWN_ANGLE_DEG_1 to _8
  kPavilionAngle,    // PAVILION_ANGLE_DEG_1 to _8
  kStarAngle,        // STAR_ANGLE_DEG_1 to _8
  kUpperAngle,       // UPPER_ANGLE_DEG_1 to _16
  kHalvesAngle,      // HALVES_ANGLE_DEG_1 to _16
  kStarRatio,        // STAR_RATIO_PC_1 to _8
  kLowerHalfLength,  // LENGTH_GIRDLE_FACET_1, _3, ... _15 (the even ones are never read)
};
inline constexpr int kFacetFamilies = 7;

class FacetReadings {
 public:
  // Reads every facet of every family of section NumericalParameters of `file`.
  explicit FacetReadings(const Profile& file);

  // The readings of `family` in facet order, each rounded to one place; no value where a reading
  // overflows a double (a failing statement for the caller).
  std::span<const std::optional<float>> operator[](FacetFamily family) const {
    const int f = static_cast<int>(family);
    return {readings_[f].data(), static_cast<std::size_t>(counts_[f])};
  }

 private:
  std::array<std::array<std::optional<float>, 16>, kFacetFamilies> readings_{};
  std::array<int, kFacetFamilies> counts_{};
};

}  // namespace krm::intake

#endif  // KRM_INTAKE_FACET_READINGS_H_
