// Snapping onto the grade table grid, the grid search and the borders of the girdle and depth
// rules. The limit texts and the rules' values inside their bands are checked by the
// whole-station cases.
#include "grading/grade_rules.h"

#include <gtest/gtest.h>

#include <tuple>

namespace krm::grading {
namespace {

TEST(GradeRules, SnapToFive) {
  // A value too large for a remainder is only rounded.
  const std::pair<float, double> cases[] = {{52.4f, 50}, {52.5f, 55}, {47.6f, 50},   {50, 50},
                                            {0, 0},      {-3, 0},     {3e10f, 3e10f}};
  for (auto [calc, snapped] : cases) EXPECT_EQ(SnapToFive(calc), snapped) << calc;
}

TEST(GradeRules, GridIndexMatchesTheTextFormsOfTheGridPoints) {
  // -1 where no grid point matches; 37.2 + 18 x 0.2 is 40.800000000000004.
  const std::tuple<const GridAxis&, double, int> cases[] = {
      {kTableAxis, 44, 0},       {kTableAxis, 72, 28},      {kTableAxis, 73, -1},
      {kCrownAxis, 34.5, 29},    {kPavilionAxis, 40.8, 18}, {kPavilionAxis, 44, 34},
      {kPavilionAxis, 40.9, -1}, {kGirdleAxis, 7, 11}};
  for (auto [axis, value, index] : cases) EXPECT_EQ(GridIndex(axis, value).value_or(-1), index);
}

TEST(GradeRules, GirdleAndDepthBorders) {
  // Depth, then the thin girdle and the deep stone class; 0 where the class stays as it was.
  const std::tuple<float, int, int> depths[] = {
      {56.0f, 2, 0}, {55.9f, 3, 0}, {53.0f, 3, 0}, {52.9f, 4, 0}, {51.0f, 4, 0}, {50.9f, 5, 0},
      {64.5f, 0, 0}, {64.6f, 0, 3}, {66.5f, 0, 3}, {66.6f, 0, 4}, {70.9f, 0, 4}, {71.0f, 0, 5}};
  for (auto [depth, thin, deep] : depths) {
    EXPECT_EQ(ThinGirdleClass(depth).value_or(0), thin) << depth;
    EXPECT_EQ(DeepStoneClass(depth).value_or(0), deep) << depth;
  }
  const std::pair<double, int> thick[] = {{8, 4}, {10.5, 4}};
  for (auto [girdle, expected] : thick) EXPECT_EQ(ThickGirdleClass(girdle), expected) << girdle;
}

}  // namespace
}  // namespace krm::grading
