// The parameter record and GetPolishData, which fills it from the measurement file.
#ifndef KRM_INTAKE_POLISH_DATA_H_
#define KRM_INTAKE_POLISH_DATA_H_

#include <string>

#include "intake/profile.h"

namespace krm::intake {

// Section of the measurement file that holds every key the station reads.
inline constexpr std::string_view kSection = "NumericalParameters";

// One stone's proportions as read and derived (CALC_ fields) from the measurement file, in the
// order of the original record. All numbers are single precision.
struct PolishData {
  float CALC_DIAMETER_MM = 0;
  float DIAMETER_MM = 0;
  float CALC_TABLE_PC = 0;
  float TABLE_PC = 0;
  float CALC_PAVILION_ANGLE_DEG = 0;
  float PAVILION_ANGLE_DEG = 0;
  float CALC_PAVILION_DEPTH_PC = 0;
  float PAVILION_DEPTH_PC = 0;
  float CALC_STAR_ANGLE_DEG = 0;
  float CALC_UPPER_ANGLE_DEG = 0;
  float CALC_HALVES_ANGLE_DEG = 0;
  float STAR_ANGLE_DEG = 0;
  float UPPER_ANGLE_DEG = 0;
  float HALVES_ANGLE_DEG = 0;
  float CALC_CROWN_ANGLE_DEG = 0;
  float CROWN_ANGLE_DEG = 0;
  float CALC_CROWN_HEIGHT_PC = 0;
  float CROWN_HEIGHT_PC = 0;
  float CALC_DEPTH_GIRDLE_FACET = 0;
  float DEPTH_GIRDLE_FACET = 0;
  float CALC_STAR_RATIO_PC = 0;
  float STAR_RATIO_PC = 0;
  float CALC_GIRDLE_WIDE_BEZEL_PC = 0;
  float GIRDLE_WIDE_BEZEL = 0;
  float GIRDLE_WIDE_BEZEL_MIN = 0;
  float GIRDLE_WIDE_BEZEL_MAX = 0;
  float GIRDLE_WIDE_BONE = 0;
  float GIRDLE_WIDE_BONE_MIN = 0;
  float GIRDLE_WIDE_BONE_MAX = 0;
  float GIRDLE_NARROW = 0;
  float CALC_GIRDLE_NARROW_MIN_PC = 0;
  float GIRDLE_NARROW_MIN = 0;
  float CALC_GIRDLE_NARROW_MAX_PC = 0;
  float GIRDLE_NARROW_MAX = 0;
  float CALC_TOTAL_DEPTH_PC = 0;
  float TOTAL_DEPTH_PC = 0;
  float CALC_CULET_PC = 0;
  float CULET_PC = 0;
  float CULET_MM = 0;
  float SPREAD_PC = 0;
  std::string CUTTING_TYPE;
  float TOTAL_DEPTH_MM = 0;
  float DIAMETER_MM_MIN = 0;
  float DIAMETER_MM_MAX = 0;
  float DIAMETER_DEV_PC = 0;
  float CORRECTED_MASS = 0;
  float CALC_LENGTH_GIRDLE_FACET = 0;
  float LENGTH_GIRDLE_FACET = 0;
  float MODEL_IS_SEMI_POLISHED = 0;
  float FISH_EYE_DEG = 0;
  float KOZIBE_DEG = 0;
};

// Overwrites every field of `record` from `file` (section NumericalParameters). A missing key or
// a non-numeric value reads as 0. A statement that fails (a division by a zero diameter, a number
// beyond the single-precision range) is skipped and leaves its field as it was.
void GetPolishData(const Profile& file, PolishData& record);

class FacetReadings;
// As GetPolishData, with the facet readings of `file` already read.
void GetPolishData(const Profile& file, const FacetReadings& facets, PolishData& record);

}  // namespace krm::intake

#endif  // KRM_INTAKE_POLISH_DATA_H_
