// Grade classes from fixed bands: the digging and painting bands of the crown and pavilion
// painting values, and the four deviation classifiers used by the symmetry evaluation and the
// report rows. Classes run from 1 (best) to 5 (worst); every comparison is made in single
// precision against single-precision limits.
#ifndef KRM_GRADING_CLASSIFIERS_H_
#define KRM_GRADING_CLASSIFIERS_H_

#include <array>
#include <cstdint>
#include <optional>

namespace krm::grading {

// Deviation classes by four ascending limits: x <= t1 is 1, ... , x > t4 is 5. A value equal to a
// limit belongs to the better class; negative values are class 1.
inline constexpr std::array<float, 4> kBandSetALimits = {0.7f, 1.4f, 2.8f, 5.6f};
inline constexpr std::array<float, 4> kBandSetBLimits = {0.5f, 1.0f, 1.9f, 4.0f};
inline constexpr std::array<float, 4> kBandSetCLimits = {1.0f, 2.0f, 3.9f, 8.0f};
// Limits t, 2t, 4t, 8t, each product rounded to single precision.
constexpr std::array<float, 4> Findg4Limits(float t) {
  return {t, 2.0f * t, 4.0f * t, 8.0f * t};
}

std::int16_t BandSetA(float x);
std::int16_t BandSetB(float x);
std::int16_t BandSetC(float x);
std::int16_t findg4(float x, float t);

// The three painted or dug quantities, each with its own bands.
enum class PaintingValue { kCrown, kPavilion, kSum };

// The band class of a painting value (one decimal): digging bands below 0, painting bands from 0
// on. No value outside -99 to 99, where no band applies.
std::optional<std::int16_t> PaintingBand(PaintingValue which, float value);

// Outcome of applying the painting bands to a running cut class.
struct PaintingResult {
  std::int16_t crown_class;  // candidate classes, kept for the report rows
  std::int16_t pavilion_class;
  std::int16_t sum_class;
  std::int16_t running_class;  // the cut class after the three values
  bool degraded;               // the painting flag: some value worsened the class
};

// Applies crown, pavilion and sum in this order to `running_class`; each candidate class starts
// as `table_class` and a band containing the value replaces it.
PaintingResult ApplyPainting(std::int16_t table_class, std::int16_t running_class, float acp,
                             float app, float sum);

}  // namespace krm::grading

#endif  // KRM_GRADING_CLASSIFIERS_H_
