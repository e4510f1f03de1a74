// The seventeen symmetry parameters and their classes.
#include "grading/symmetry.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "grading/classifiers.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using intake::MeasurementKeys;
using text::RoundDecimal;

// (max - min) x 200 / S rounded to `places`: a spread or offset as a percentage of the mean
// diameter. Absent when S is 0 (the division fails) or a key overflows.
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

}  // namespace

std::int16_t ClassOf(Symmetry s, std::optional<float> value) {
  if (!value) return 1;
  const SymmetryParameter& p = ParameterOf(s);
  switch (p.classifier) {
    case Classifier::kBandSetA:
      return BandSetA(*value);
    case Classifier::kBandSetB:
      return BandSetB(*value);
    case Classifier::kBandSetC:
      return BandSetC(*value);
    case Classifier::kFindg4:
      break;
  }
  return findg4(*value, p.step);
}

std::array<float, 4> BoundsOf(Symmetry s) {
  const SymmetryParameter& p = ParameterOf(s);
  switch (p.classifier) {
    case Classifier::kBandSetA:
      return kBandSetALimits;
    case Classifier::kBandSetB:
      return kBandSetBLimits;
    case Classifier::kBandSetC:
      return kBandSetCLimits;
    case Classifier::kFindg4:
      break;
  }
  return Findg4Limits(p.step);
}

float FacetSpread(std::span<const std::optional<float>> readings) {
  float max = 0;
  float min = 100;
  float value = 0;
  for (const std::optional<float>& reading : readings) {
    // An overflowing reading is a failing statement: the previous facet's value stays.
    if (reading) value = *reading;
    if (value > max) max = value;
    if (value < min) min = value;
  }
  return RoundDecimal(max - min, 1);
}

std::optional<float> SymmetryDiameterSum(const MeasurementKeys& keys) {
  const auto min = keys.Number("DIAMETER_MM_MIN");
  const auto max = keys.Number("DIAMETER_MM_MAX");
  if (!min || !max) return std::nullopt;
  return text::NarrowToSingle(*min + *max);
}

SymmetryValues FormSymmetryValues(const MeasurementKeys& keys,
                                  const intake::FacetReadings& facets) {
  SymmetryValues v;
  const float sum = SymmetryDiameterSum(keys).value_or(0);
  using S = Symmetry;

  v[S::kOutOfRound] =
      PercentOfDiameter(Difference(keys, "DIAMETER_MM_MAX", "DIAMETER_MM_MIN"), sum, 1);

  double largest = 0;
  for (const char* key : {"JUNCTION_BEZEL_TWIST_DEG_MIN", "JUNCTION_BEZEL_TWIST_DEG_MAX",
                          "JUNCTION_BONE_TWIST_DEG_MAX", "JUNCTION_BONE_TWIST_DEG_MIN"}) {
    largest = std::max(largest, std::fabs(keys.NumberOr0(key)));
  }
  v[S::kTwist] = ThroughOneDecimal(RoundDecimal(largest, 1));

  const float mean_diameter = RoundDecimal(static_cast<double>(sum) * 0.5, 3);
  if (mean_diameter != 0) {
    const double tev = 100 * std::fabs(keys.NumberOr0("TEV_TABLE_EDGE_MM_DEV")) / mean_diameter;
    v[S::kTableEdge] = ThroughOneDecimal(RoundDecimal(tev, 1));
  }

  v[S::kTableOffCenter] = PercentOfDiameter(keys.Number("OFFSET_GIRDLE_TABLE_MM"), sum, 3);
  v[S::kCuletOffCenter] = PercentOfDiameter(keys.Number("OFFSET_GIRDLE_CULET_MM"), sum, 3);
  v[S::kTableCuletAlignment] = PercentOfDiameter(keys.Number("OFFSET_TABLE_CULET_MM"), sum, 3);
  v[S::kTableVariation] =
      PercentOfDiameter(Difference(keys, "TABLE_MM_MAX", "TABLE_MM_MIN"), sum, 1);
  v[S::kCrownHeightVariation] =
      PercentOfDiameter(Difference(keys, "CROWN_HEIGHT_MM_MAX", "CROWN_HEIGHT_MM_MIN"), sum, 1);
  v[S::kPavilionDepthVariation] =
      PercentOfDiameter(Difference(keys, "PAVILION_DEPTH_MM_MAX", "PAVILION_DEPTH_MM_MIN"), sum, 1);
  v[S::kGirdleVariation] = PercentOfDiameter(
      Difference(keys, "GIRDLE_WIDE_BEZEL_MM_MAX", "GIRDLE_WIDE_BEZEL_MM_MIN"), sum, 1);

  using intake::FacetFamily;
  v[S::kCrownAngleSpread] = FacetSpread(facets[FacetFamily::kCrownAngle]);
  v[S::kPavilionAngleSpread] = FacetSpread(facets[FacetFamily::kPavilionAngle]);
  v[S::kStarAngleSpread] = FacetSpread(facets[FacetFamily::kStarAngle]);
  v[S::kStarLengthSpread] = FacetSpread(facets[FacetFamily::kStarRatio]);
  v[S::kUpperAngleSpread] = FacetSpread(facets[FacetFamily::kUpperAngle]);
  v[S::kLowerLengthSpread] = FacetSpread(facets[FacetFamily::kLowerHalfLength]);
  v[S::kLowerAngleSpread] = FacetSpread(facets[FacetFamily::kHalvesAngle]);
  return v;
}

std::array<std::int16_t, kSymmetryParameters> SymmetryClasses(const SymmetryValues& values) {
  std::array<std::int16_t, kSymmetryParameters> classes{};
  for (int i = 0; i < kSymmetryParameters; ++i) {
    classes[i] = ClassOf(static_cast<Symmetry>(i), values.value[i]);
  }
  return classes;
}

}  // namespace krm::grading
