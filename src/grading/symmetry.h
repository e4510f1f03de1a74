// The symmetry evaluation: seventeen symmetry parameters formed from the measurement file, each
// classed 1 (Excellent) to 5 (Poor); the symmetry grade is the worst class. The table of the
// seventeen parameters here is the one place that pairs each with its classifier; the report rows
// class their deviations through it too.
#ifndef KRM_GRADING_SYMMETRY_H_
#define KRM_GRADING_SYMMETRY_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "intake/facet_readings.h"
#include "intake/measurement_keys.h"

namespace krm::grading {

// The seventeen parameters in the order they are evaluated.
enum class Symmetry {
  kOutOfRound,            // diameter, % of the mean diameter
  kTwist,                 // degrees, one decimal
  kTableEdge,             // TEV, %, one decimal
  kTableOffCenter,        // %, three decimals, signed
  kCuletOffCenter,        // %, three decimals, signed
  kTableCuletAlignment,   // %, three decimals, signed
  kTableVariation,        // %
  kCrownHeightVariation,  // %
  kPavilionDepthVariation,
  kGirdleVariation,
  kCrownAngleSpread,  // degrees
  kPavilionAngleSpread,
  kStarAngleSpread,
  kStarLengthSpread,
  kUpperAngleSpread,
  kLowerLengthSpread,  // odd lower girdle facets only
  kLowerAngleSpread,
};
inline constexpr int kSymmetryParameters = 17;

// How a parameter's value becomes a class: fixed band sets A, B, C, or findg4 with a step.
enum class Classifier { kBandSetA, kBandSetB, kBandSetC, kFindg4 };

struct SymmetryParameter {
  std::string_view name;  // in a grading report's words
  std::string_view unit;  // "%" or the degree sign (station text, code page 1252)
  Classifier classifier;
  float step;  // of findg4; 0 for the band sets
};

inline constexpr std::array<SymmetryParameter, kSymmetryParameters> kSymmetryTable = {{
    {"out of round", "%", Classifier::kBandSetA, 0},
    {"twist", "\xB0", Classifier::kFindg4, 1.2f},
    {"table edge variation", "%", Classifier::kFindg4, 2.2f},
    {"table off centre", "%", Classifier::kBandSetB, 0},
    {"culet off centre", "%", Classifier::kBandSetB, 0},
    {"table/culet alignment", "%", Classifier::kBandSetA, 0},
    {"table size variation", "%", Classifier::kBandSetC, 0},
    {"crown height variation", "%", Classifier::kBandSetC, 0},
    {"pavilion depth variation", "%", Classifier::kBandSetC, 0},
    {"girdle thickness variation", "%", Classifier::kBandSetC, 0},
    {"crown angle variation", "\xB0", Classifier::kBandSetC, 0},
    {"pavilion angle variation", "\xB0", Classifier::kBandSetA, 0},
    {"star angle variation", "\xB0", Classifier::kFindg4, 2.9f},
    {"star length variation", "%", Classifier::kFindg4, 7.2f},
    {"upper half angle variation", "\xB0", Classifier::kFindg4, 4.8f},
    {"lower half length variation", "%", Classifier::kFindg4, 4.8f},
    {"lower half angle variation", "\xB0", Classifier::kFindg4, 1.4f},
}};

constexpr const SymmetryParameter& ParameterOf(Symmetry s) {
  return kSymmetryTable[static_cast<int>(s)];
}

// The class of `value` by the parameter's classifier; a value that could not be formed (absent)
// counts as class 1.
std::int16_t ClassOf(Symmetry s, std::optional<float> value);
// The four upper bounds of classes 1 to 4 of the parameter's classifier, single precision.
std::array<float, 4> BoundsOf(Symmetry s);

// The seventeen values in evaluation order. A value is absent when it could not be formed (a
// diameter sum of 0, an overflowing reading).
struct SymmetryValues {
  std::array<std::optional<float>, kSymmetryParameters> value;
  std::optional<float>& operator[](Symmetry s) { return value[static_cast<int>(s)]; }
  const std::optional<float>& operator[](Symmetry s) const { return value[static_cast<int>(s)]; }
};

// Forms the seventeen values from the keys of the measurement file and its facet readings.
SymmetryValues FormSymmetryValues(const intake::MeasurementKeys& keys,
                                  const intake::FacetReadings& facets);

// The class of each parameter, in evaluation order.
std::array<std::int16_t, kSymmetryParameters> SymmetryClasses(const SymmetryValues& values);

// The spread of a facet family: the readings (rounded to one place) in facet order, the running
// maximum starting at 0 and the minimum at 100, and the spread rounded to one place.
float FacetSpread(std::span<const std::optional<float>> readings);

// The diameter sum DIAMETER_MM_MIN + DIAMETER_MM_MAX of the symmetry evaluation: the two readings
// added as read and held in single precision. No value when a reading overflows.
std::optional<float> SymmetryDiameterSum(const intake::MeasurementKeys& keys);

}  // namespace krm::grading

#endif  // KRM_GRADING_SYMMETRY_H_
