#include "grading/classifiers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace krm::grading {
namespace {

struct BandCase {
  float x;
  int a, b, c;
};

TEST(DeviationClassifiers, LimitsBelongToTheBetterClass) {
  const BandCase cases[] = {
      {-3.0f, 1, 1, 1}, {0.0f, 1, 1, 1},  {0.5f, 1, 1, 1},  {0.51f, 1, 2, 1}, {0.7f, 1, 2, 1},
      {0.71f, 2, 2, 1}, {1.0f, 2, 2, 1},  {1.01f, 2, 3, 2}, {1.4f, 2, 3, 2},  {1.9f, 3, 3, 2},
      {2.0f, 3, 4, 2},  {2.8f, 3, 4, 3},  {3.9f, 4, 4, 3},  {4.0f, 4, 4, 4},  {4.01f, 4, 5, 4},
      {5.6f, 4, 5, 4},  {5.61f, 5, 5, 4}, {8.0f, 5, 5, 4},  {8.01f, 5, 5, 5},
  };
  for (const BandCase& c : cases) {
    EXPECT_EQ(BandSetA(c.x), c.a) << c.x;
    EXPECT_EQ(BandSetB(c.x), c.b) << c.x;
    EXPECT_EQ(BandSetC(c.x), c.c) << c.x;
  }
}

TEST(DeviationClassifiers, Findg4DoublesItsBase) {
  const std::pair<float, int> cases[] = {{0.5f, 1}, {0.51f, 2}, {1.0f, 2}, {2.0f, 3},
                                         {4.0f, 4}, {4.01f, 5}, {-1.0f, 1}};
  for (auto [x, expected] : cases) EXPECT_EQ(findg4(x, 0.5f), expected) << x;
  // The products are single precision: 2.9f * 4 compared in single, not in double.
  EXPECT_EQ(findg4(4.0f * 2.9f, 2.9f), 3);
  EXPECT_EQ(findg4(std::nextafter(4.0f * 2.9f, 100.0f), 2.9f), 4);
}

TEST(PaintingBands, DiggingAndPaintingBorders) {
  struct Case {
    PaintingValue which;
    float value;
    std::optional<int> band;
  };
  const Case cases[] = {
      {PaintingValue::kCrown, 0.0f, 1},     {PaintingValue::kCrown, -0.1f, 1},
      {PaintingValue::kCrown, 4.2f, 1},     {PaintingValue::kCrown, 4.3f, 2},
      {PaintingValue::kCrown, -3.2f, 1},    {PaintingValue::kCrown, -3.3f, 2},
      {PaintingValue::kCrown, -7.8f, 4},    {PaintingValue::kCrown, 9.7f, 3},
      {PaintingValue::kCrown, 99.0f, 4},    {PaintingValue::kCrown, 99.1f, std::nullopt},
      {PaintingValue::kCrown, -99.0f, 4},   {PaintingValue::kCrown, -99.1f, std::nullopt},
      {PaintingValue::kPavilion, 6.8f, 4},  {PaintingValue::kPavilion, 6.7f, 3},
      {PaintingValue::kPavilion, -4.8f, 3}, {PaintingValue::kPavilion, -6.3f, 4},
      {PaintingValue::kSum, 12.3f, 4},      {PaintingValue::kSum, 12.2f, 3},
      {PaintingValue::kSum, -4.2f, 1},      {PaintingValue::kSum, -4.3f, 2},
      {PaintingValue::kSum, -9.3f, 4},      {PaintingValue::kSum, 6.3f, 2},
  };
  for (const Case& c : cases) {
    auto band = PaintingBand(c.which, c.value);
    EXPECT_EQ(band.has_value(), c.band.has_value()) << c.value;
    if (band && c.band) {
      EXPECT_EQ(*band, *c.band) << c.value;
    }
  }
}

TEST(PaintingBands, OnlyAWorseClassDegrades) {
  // Table class 3, crown class 2: nothing changes, no painting text.
  PaintingResult r = ApplyPainting(3, 3, 4.3f, 0.0f, 4.3f);
  EXPECT_FALSE(r.degraded);
  EXPECT_EQ(r.running_class, 3);
  EXPECT_EQ(r.crown_class, 2);

  r = ApplyPainting(1, 1, 0.5f, 6.8f, 7.3f);
  EXPECT_TRUE(r.degraded);
  EXPECT_EQ(r.pavilion_class, 4);
  EXPECT_EQ(r.sum_class, 2);
  EXPECT_EQ(r.running_class, 4);

  // Out of every band: the candidates stay at the table class.
  r = ApplyPainting(2, 1, 150.0f, -150.0f, 0.0f);
  EXPECT_EQ(r.crown_class, 2);
  EXPECT_EQ(r.pavilion_class, 2);
  EXPECT_EQ(r.sum_class, 1);
  EXPECT_EQ(r.running_class, 2);
  EXPECT_TRUE(r.degraded);
}

}  // namespace
}  // namespace krm::grading
