// GetPolishData: reads the measurement file into the parameter record.
//
// The order of rounding is part of the result: every reading is rounded first, the readings are
// summed and divided in single precision, and the mean is rounded again. The grade limits are
// compared with exactly these values.
#include "intake/polish_data.h"

#include "intake/facet_readings.h"

#include <cmath>
#include <optional>
#include <string>

#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::intake {
namespace {

using text::RoundDecimal;

// A single-precision result, or none when the statement that computes it fails (an overflow or
// a division by zero in the original).
using Single = std::optional<float>;

Single Finite(float v) {
  return std::isfinite(v) ? Single(v) : std::nullopt;
}

class Reader {
 public:
  explicit Reader(const Profile& file) : file_(file) {}

  // The number read from `key`; none when it overflows a double.
  std::optional<double> Number(std::string_view key) const {
    return text::ReadNumber(file_.Find(kSection, key));
  }

  // One reading rounded to `places`.
  Single Rounded(std::string_view key, int places) const {
    std::optional<double> v = Number(key);
    if (!v) return std::nullopt;
    return Finite(RoundDecimal(*v, places));
  }

  // Mean of the facets prefix & first, first + step, ..., each reading rounded to `places`,
  // the mean rounded to `mean_places`. A reading that fails is left out of the sum (its
  // statement is skipped) but still counts in the divisor.
  Single Mean(const char* prefix, int first, int last, int step, int count, int places,
              int mean_places) const {
    float sum = 0;
    std::string key = prefix;
    const size_t base = key.size();
    for (int facet = first; facet <= last; facet += step) {
      key.resize(base);
      key += std::to_string(facet);
      Single v = Rounded(key, places);
      if (v && std::isfinite(sum + *v)) sum += *v;
    }
    return Finite(RoundDecimal(sum / static_cast<float>(count), mean_places));
  }

  // A key field as a single; none on overflow.
  Single Field(std::string_view key) const {
    std::optional<double> v = Number(key);
    if (!v) return std::nullopt;
    return text::NarrowToSingle(*v);
  }

 private:
  const Profile& file_;
};

// Percentage of the diameter in single precision: round(value x 100 / D, 2).
Single PercentOf(Single value, float diameter) {
  if (!value || diameter == 0) return std::nullopt;
  const float scaled = *value * 100.0f;
  if (!std::isfinite(scaled)) return std::nullopt;
  return Finite(RoundDecimal(scaled / diameter, 2));
}

// The thin-point girdle percentages divide the unrounded double reading: round(v / D x 100, 2).
Single NarrowPercentOf(std::optional<double> value, float diameter) {
  if (!value || diameter == 0) return std::nullopt;
  const double pc = *value / static_cast<double>(diameter) * 100.0;
  if (!std::isfinite(pc)) return std::nullopt;
  return Finite(RoundDecimal(pc, 2));
}

// Mean of readings already rounded to one place, the mean rounded to `mean_places`. A reading
// that failed is left out of the sum (its statement is skipped) but still counts in the divisor.
Single MeanOf(std::span<const std::optional<float>> readings, int count, int mean_places) {
  float sum = 0;
  for (const std::optional<float>& v : readings) {
    if (v && std::isfinite(*v) && std::isfinite(sum + *v)) sum += *v;
  }
  return Finite(RoundDecimal(sum / static_cast<float>(count), mean_places));
}

void Store(Single value, float& field) {
  if (value) field = *value;
}

}  // namespace

void GetPolishData(const Profile& file, PolishData& r) {
  GetPolishData(file, FacetReadings(file), r);
}

void GetPolishData(const Profile& file, const FacetReadings& facets, PolishData& r) {
  const Reader in(file);

  // 1. Mean diameter.
  float diameter = 0;
  {
    std::optional<double> lo = in.Number("DIAMETER_MM_MIN");
    std::optional<double> hi = in.Number("DIAMETER_MM_MAX");
    if (lo && hi && std::isfinite(*lo + *hi))
      Store(Finite(RoundDecimal((*lo + *hi) * 0.5, 3)), diameter);
  }
  r.CALC_DIAMETER_MM = diameter;

  // 2. Table width from the four directions.
  float table = 0;
  Store(in.Mean("TABLE_MM_", 1, 4, 1, 4, 3, 3), table);
  Store(PercentOf(table, diameter), r.CALC_TABLE_PC);

  // 3. Facet angles.
  Store(MeanOf(facets[FacetFamily::kCrownAngle], 8, 2), r.CALC_CROWN_ANGLE_DEG);
  Store(MeanOf(facets[FacetFamily::kPavilionAngle], 8, 2), r.CALC_PAVILION_ANGLE_DEG);
  Store(MeanOf(facets[FacetFamily::kStarAngle], 8, 2), r.CALC_STAR_ANGLE_DEG);
  Store(MeanOf(facets[FacetFamily::kUpperAngle], 16, 2), r.CALC_UPPER_ANGLE_DEG);
  Store(MeanOf(facets[FacetFamily::kHalvesAngle], 16, 2), r.CALC_HALVES_ANGLE_DEG);

  // 4. Lengths; only the odd lower girdle facets are measured.
  Store(MeanOf(facets[FacetFamily::kStarRatio], 8, 1), r.CALC_STAR_RATIO_PC);
  Store(in.Mean("DEPTH_GIRDLE_FACET_", 1, 15, 2, 8, 1, 1), r.CALC_DEPTH_GIRDLE_FACET);
  Store(MeanOf(facets[FacetFamily::kLowerHalfLength], 8, 1), r.CALC_LENGTH_GIRDLE_FACET);

  // 5. Single values as percentages of the diameter.
  float culet = 0;
  Store(in.Rounded("CULET_MM", 3), culet);
  Store(PercentOf(culet, diameter), r.CALC_CULET_PC);
  Store(NarrowPercentOf(in.Number("GIRDLE_NARROW_MM_MIN"), diameter), r.CALC_GIRDLE_NARROW_MIN_PC);
  Store(NarrowPercentOf(in.Number("GIRDLE_NARROW_MM_MAX"), diameter), r.CALC_GIRDLE_NARROW_MAX_PC);
  float total_depth = 0;
  Store(in.Rounded("TOTAL_DEPTH_MM", 3), total_depth);
  Store(PercentOf(total_depth, diameter), r.CALC_TOTAL_DEPTH_PC);

  // 6. Heights at the eight main positions.
  Store(PercentOf(in.Mean("PAVILION_DEPTH_MM_", 1, 8, 1, 8, 3, 3), diameter),
        r.CALC_PAVILION_DEPTH_PC);
  Store(PercentOf(in.Mean("GIRDLE_WIDE_BEZEL_MM_", 1, 8, 1, 8, 3, 3), diameter),
        r.CALC_GIRDLE_WIDE_BEZEL_PC);
  Store(PercentOf(in.Mean("CROWN_HEIGHT_MM_", 1, 8, 1, 8, 3, 3), diameter), r.CALC_CROWN_HEIGHT_PC);

  // 7. Key fields, in record order.
  Store(in.Field("DIAMETER_MM"), r.DIAMETER_MM);
  Store(in.Field("TABLE_PC"), r.TABLE_PC);
  Store(in.Field("PAVILION_ANGLE_DEG"), r.PAVILION_ANGLE_DEG);
  Store(in.Field("PAVILION_DEPTH_PC"), r.PAVILION_DEPTH_PC);
  Store(in.Field("STAR_ANGLE_DEG"), r.STAR_ANGLE_DEG);
  Store(in.Field("UPPER_ANGLE_DEG"), r.UPPER_ANGLE_DEG);
  Store(in.Field("HALVES_ANGLE_DEG"), r.HALVES_ANGLE_DEG);
  Store(in.Field("CROWN_ANGLE_DEG"), r.CROWN_ANGLE_DEG);
  Store(in.Field("CROWN_HEIGHT_PC"), r.CROWN_HEIGHT_PC);
  Store(in.Field("DEPTH_GIRDLE_FACET"), r.DEPTH_GIRDLE_FACET);
  Store(in.Field("STAR_RATIO_PC"), r.STAR_RATIO_PC);
  Store(in.Field("GIRDLE_WIDE_BEZEL"), r.GIRDLE_WIDE_BEZEL);
  Store(in.Field("GIRDLE_WIDE_BEZEL_MIN"), r.GIRDLE_WIDE_BEZEL_MIN);
  Store(in.Field("GIRDLE_WIDE_BEZEL_MAX"), r.GIRDLE_WIDE_BEZEL_MAX);
  Store(in.Field("GIRDLE_WIDE_BONE"), r.GIRDLE_WIDE_BONE);
  Store(in.Field("GIRDLE_WIDE_BONE_MIN"), r.GIRDLE_WIDE_BONE_MIN);
  Store(in.Field("GIRDLE_WIDE_BONE_MAX"), r.GIRDLE_WIDE_BONE_MAX);
  Store(in.Field("GIRDLE_NARROW"), r.GIRDLE_NARROW);
  Store(in.Field("GIRDLE_NARROW_MIN"), r.GIRDLE_NARROW_MIN);
  Store(in.Field("GIRDLE_NARROW_MAX"), r.GIRDLE_NARROW_MAX);
  Store(in.Field("TOTAL_DEPTH_PC"), r.TOTAL_DEPTH_PC);
  Store(in.Field("CULET_PC"), r.CULET_PC);
  Store(in.Field("CULET_MM"), r.CULET_MM);
  Store(in.Field("SPREAD_PC"), r.SPREAD_PC);
  r.CUTTING_TYPE = file.Get(kSection, "CUTTING_TYPE");
  Store(in.Field("TOTAL_DEPTH_MM"), r.TOTAL_DEPTH_MM);
  Store(in.Field("DIAMETER_MM_MIN"), r.DIAMETER_MM_MIN);
  Store(in.Field("DIAMETER_MM_MAX"), r.DIAMETER_MM_MAX);
  Store(in.Field("DIAMETER_DEV_PC"), r.DIAMETER_DEV_PC);
  {
    Single mass = in.Field("CORRECTED_MASS");
    if (mass && *mass == 0) mass = in.Field("WEIGHT_4_CT");
    Store(mass, r.CORRECTED_MASS);
  }
  Store(in.Field("LENGTH_GIRDLE_FACET"), r.LENGTH_GIRDLE_FACET);
  Store(in.Field("MODEL_IS_SEMI_POLISHED"), r.MODEL_IS_SEMI_POLISHED);
  Store(in.Field("FISH_EYE_DEG"), r.FISH_EYE_DEG);
  Store(in.Field("KOZIBE_DEG"), r.KOZIBE_DEG);
}

}  // namespace krm::intake
