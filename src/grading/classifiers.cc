#include "grading/classifiers.h"

#include <array>

namespace krm::grading {
namespace {

std::int16_t ByLimits(float x, const std::array<float, 4>& t) {
  if (x <= t[0]) return 1;
  if (x <= t[1]) return 2;
  if (x <= t[2]) return 3;
  if (x <= t[3]) return 4;
  return 5;
}

// One row of painting bands: the lower limits of digging classes 1 to 4 (each band running up to
// the next one's limit, class 1 up to but excluding 0) and the upper limits of painting classes
// 1 to 4 (class 4 running up to 99).
struct PaintingRow {
  std::array<float, 4> dig_from;  // class 1..4: value >= dig_from[i] and < upper bound
  std::array<float, 4> paint_to;  // class 1..4: value <= paint_to[i]
};

constexpr PaintingRow kCrownRow{{-3.2f, -5.2f, -7.7f, -99.0f}, {4.2f, 7.7f, 9.7f, 99.0f}};
constexpr PaintingRow kPavilionRow{{-3.2f, -4.7f, -6.2f, -99.0f}, {3.2f, 5.2f, 6.7f, 99.0f}};
constexpr PaintingRow kSumRow{{-4.2f, -6.2f, -9.2f, -99.0f}, {6.2f, 9.7f, 12.2f, 99.0f}};

const PaintingRow& RowOf(PaintingValue which) {
  switch (which) {
    case PaintingValue::kCrown:
      return kCrownRow;
    case PaintingValue::kPavilion:
      return kPavilionRow;
    case PaintingValue::kSum:
      break;
  }
  return kSumRow;
}

}  // namespace

std::int16_t BandSetA(float x) {
  return ByLimits(x, kBandSetALimits);
}
std::int16_t BandSetB(float x) {
  return ByLimits(x, kBandSetBLimits);
}
std::int16_t BandSetC(float x) {
  return ByLimits(x, kBandSetCLimits);
}

std::int16_t findg4(float x, float t) {
  return ByLimits(x, Findg4Limits(t));
}

std::optional<std::int16_t> PaintingBand(PaintingValue which, float value) {
  const PaintingRow& row = RowOf(which);
  if (value < 0.0f) {
    // Bands are tested from class 1 on; the values carry one decimal, so a band's lower limit
    // meets the next band's upper limit without a gap.
    for (int i = 0; i < 4; ++i) {
      if (value >= row.dig_from[i]) return static_cast<std::int16_t>(i + 1);
    }
    return std::nullopt;
  }
  for (int i = 0; i < 4; ++i) {
    if (value <= row.paint_to[i]) return static_cast<std::int16_t>(i + 1);
  }
  return std::nullopt;
}

PaintingResult ApplyPainting(std::int16_t table_class, std::int16_t running_class, float acp,
                             float app, float sum) {
  PaintingResult result{table_class, table_class, table_class, running_class, false};
  const std::array<std::pair<PaintingValue, float>, 3> values{
      {{PaintingValue::kCrown, acp}, {PaintingValue::kPavilion, app}, {PaintingValue::kSum, sum}}};
  std::array<std::int16_t*, 3> candidates{&result.crown_class, &result.pavilion_class,
                                          &result.sum_class};
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (auto band = PaintingBand(values[i].first, values[i].second)) *candidates[i] = *band;
    if (*candidates[i] > result.running_class) {
      result.running_class = *candidates[i];
      result.degraded = true;
    }
  }
  return result;
}

}  // namespace krm::grading
