#include "grading/classifiers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace krm::grading {
namespace {

TEST(DeviationClassifiers, LimitsBelongToTheBetterClass) {
  // x, then the classes of band sets A, B and C.
  const std::tuple<float, int, int, int> cases[] = {
      {0.51f, 1, 2, 1}, {0.7f, 1, 2, 1},  {0.71f, 2, 2, 1}, {1.0f, 2, 2, 1},  {1.01f, 2, 3, 2},
      {1.9f, 3, 3, 2},  {2.0f, 3, 4, 2},  {3.9f, 4, 4, 3},  {4.0f, 4, 4, 4},  {4.01f, 4, 5, 4},
      {5.6f, 4, 5, 4},  {5.61f, 5, 5, 4}, {8.0f, 5, 5, 4},  {8.01f, 5, 5, 5},
  };
  for (auto [x, a, b, c] : cases) {
    EXPECT_EQ(std::tuple(BandSetA(x), BandSetB(x), BandSetC(x)), std::tuple(a, b, c)) << x;
  }
}

TEST(DeviationClassifiers, Findg4DoublesItsBase) {
  const std::pair<float, int> cases[] = {{0.5f, 1}, {0.51f, 2}, {2.0f, 3}, {4.0f, 4}, {4.01f, 5}};
  for (auto [x, expected] : cases) EXPECT_EQ(findg4(x, 0.5f), expected) << x;
  // The products are single precision: 2.9f * 4 compared in single, not in double.
  EXPECT_EQ(findg4(4.0f * 2.9f, 2.9f), 3);
  EXPECT_EQ(findg4(std::nextafter(4.0f * 2.9f, 100.0f), 2.9f), 4);
}

TEST(PaintingBands, DiggingAndPaintingBorders) {
  using enum PaintingValue;
  // Value, band; 0 where no band applies.
  const std::tuple<PaintingValue, float, int> cases[] = {
      {kCrown, 4.3f, 2},  {kCrown, -3.2f, 1},   {kCrown, -3.3f, 2},   {kCrown, 99.0f, 4},
      {kCrown, 99.1f, 0}, {kCrown, -99.1f, 0},  {kSum, 12.3f, 4},     {kSum, 12.2f, 3},
      {kSum, -4.3f, 2},   {kPavilion, 6.8f, 4}, {kPavilion, 6.7f, 3}, {kPavilion, -4.8f, 3},
  };
  for (auto [w, v, band] : cases) EXPECT_EQ(PaintingBand(w, v).value_or(0), band) << v;
}

TEST(PaintingBands, OnlyAWorseClassDegrades) {
  // Crown, pavilion and sum candidate classes, the running class, and whether it was degraded.
  const auto outcome = [](PaintingResult r) {
    return std::tuple(r.crown_class, r.pavilion_class, r.sum_class, r.running_class, r.degraded);
  };
  EXPECT_EQ(outcome(ApplyPainting(1, 1, 0.5f, 6.8f, 7.3f)), std::tuple(1, 4, 2, 4, true));
  // Out of every band: the candidates stay at the table class, which may itself degrade.
  EXPECT_EQ(outcome(ApplyPainting(2, 1, 150.0f, -150.0f, 0.0f)), std::tuple(2, 2, 1, 2, true));
}

}  // namespace
}  // namespace krm::grading
