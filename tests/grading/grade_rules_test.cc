// Snapping onto the grade table grid, the grid search and the girdle and depth rules.
#include "grading/grade_rules.h"

#include <gtest/gtest.h>

namespace krm::grading {
namespace {

TEST(GradeRules, SnapToFive) {
  const struct {
    float calc;
    double snapped;
  } cases[] = {{52.4f, 50}, {52.5f, 55}, {47.6f, 50}, {50, 50}, {72.4f, 70}, {0, 0}, {-3, 0}};
  for (const auto& c : cases) {
    float calc = c.calc;
    EXPECT_EQ(SnapToFive(calc), c.snapped) << c.calc;
  }
  float huge = 3e10f;
  EXPECT_EQ(SnapToFive(huge), 3e10f);  // no remainder: only rounded
}

TEST(GradeRules, GridIndexMatchesTheTextFormsOfTheGridPoints) {
  EXPECT_EQ(GridIndex(kTableAxis, 44), 0);
  EXPECT_EQ(GridIndex(kTableAxis, 72), 28);
  EXPECT_EQ(GridIndex(kTableAxis, 73), std::nullopt);
  EXPECT_EQ(GridIndex(kCrownAxis, 34.5), 29);
  EXPECT_EQ(GridIndex(kPavilionAxis, 40.8), 18);  // 37.2 + 18 x 0.2 is 40.800000000000004
  EXPECT_EQ(GridIndex(kPavilionAxis, 44), 34);
  EXPECT_EQ(GridIndex(kPavilionAxis, 40.9), std::nullopt);
  EXPECT_EQ(GridIndex(kGirdleAxis, 7), 11);
}

TEST(GradeRules, GirdleAndDepthClasses) {
  const struct {
    float depth;
    std::optional<std::int16_t> thin, deep;
  } depths[] = {{57.5f, {}, {}}, {57.4f, 2, {}}, {56.0f, 2, {}}, {55.9f, 3, {}},  {53.0f, 3, {}},
                {52.9f, 4, {}},  {51.0f, 4, {}}, {50.9f, 5, {}}, {64.5f, {}, {}}, {64.6f, {}, 3},
                {66.5f, {}, 3},  {66.6f, {}, 4}, {70.9f, {}, 4}, {71.0f, {}, 5}};
  for (const auto& d : depths) {
    EXPECT_EQ(ThinGirdleClass(d.depth), d.thin) << d.depth;
    EXPECT_EQ(DeepStoneClass(d.depth), d.deep) << d.depth;
  }
  EXPECT_EQ(ThickGirdleClass(7.5), 3);
  EXPECT_EQ(ThickGirdleClass(8), 4);
  EXPECT_EQ(ThickGirdleClass(10.5), 4);
  EXPECT_EQ(ThickGirdleClass(11), 5);
}

TEST(GradeRules, LimitTextsAreJoinedAfterTheFirst) {
  std::string target = "earlier";
  LimitTexts limits;
  limits.Add(target, "A");
  limits.Add(target, "B");
  EXPECT_EQ(target, "earlierA - AND -  B");
  limits.Reset();
  limits.Count();
  limits.Add(target, "C");
  EXPECT_EQ(target, "earlierA - AND -  B - AND -  C");
}

}  // namespace
}  // namespace krm::grading
