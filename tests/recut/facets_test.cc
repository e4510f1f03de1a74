// Facet reading, ranking, replacement means and candidate tables of the recut advice.
#include "recut/facets.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

using Texts = std::vector<std::string>;

Texts TextsOf(const std::array<FacetEntry, kFacets>& table) {
  Texts texts;
  for (const FacetEntry& e : table) texts.push_back(e.Text());
  return texts;
}

RecutPlan Plan(const std::array<double, kFacets>& pavilion, double crown = 34.5) {
  MeasuredFacets m;
  m.pavilion = pavilion;
  m.crown.fill(crown);
  m.crown_single.fill(static_cast<float>(crown));
  return MakePlan(m);
}

TEST(RecutFacets, RanksTheWorkedExampleAndBuildsTheFiveCandidates) {
  const RecutPlan plan = Plan({41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1});
  EXPECT_EQ(plan.pavilion_order, (FacetOrder{5, 8, 1, 4, 2, 6, 3, 7}));
  EXPECT_EQ(plan.low_pavilion_mean, "40.650");
  EXPECT_EQ(plan.high_pavilion_mean, "41.050");
  const Candidate c1 = MakeCandidate(plan, 1);
  EXPECT_EQ(TextsOf(c1.pavilion),
            (Texts{"40.650", "40.8", "40.6", "40.650", "40.650", "40.7", "40.5", "40.650"}));
  EXPECT_EQ(c1.pavilion_stats.max.Text() + " " + c1.pavilion_stats.min.Text() + " " +
                c1.pavilion_stats.mean.Text(),
            "40.8 40.5 40.65");
  EXPECT_EQ(TextsOf(c1.crown), Texts(8, "34.5"));
  // Attempts 4 and 5 repeat the pavilion of 1 and 2 and add the crown change of 3.
  EXPECT_EQ(TextsOf(MakeCandidate(plan, 4).pavilion), TextsOf(c1.pavilion));
  EXPECT_EQ(TextsOf(MakeCandidate(plan, 5).pavilion), TextsOf(MakeCandidate(plan, 2).pavilion));
  EXPECT_EQ(TextsOf(MakeCandidate(plan, 5).crown),
            (Texts{"34.500", "34.500", "34.500", "34.500", "34.5", "34.5", "34.5", "34.5"}));
}

TEST(RecutFacets, EightEqualAnglesFillBothEndsFromTheLowestFacet) {
  const RecutPlan plan = Plan({40.8, 40.8, 40.8, 40.8, 40.8, 40.8, 40.8, 40.8});
  EXPECT_EQ(plan.pavilion_order, (FacetOrder{1, 2, 3, 4, 4, 3, 2, 1}));
  EXPECT_EQ(plan.low_pavilion_mean + plan.high_pavilion_mean, "40.80040.800");
  const Candidate c2 = MakeCandidate(plan, 2);
  EXPECT_EQ(TextsOf(c2.pavilion),
            (Texts{"40.800", "40.800", "40.800", "40.800", "40.8", "40.8", "40.8", "40.8"}));
  // The first entry holds both extremes: the equal ones after it are not strictly beyond it.
  EXPECT_EQ(c2.pavilion_stats.max.Text() + c2.pavilion_stats.min.Text(), "40.80040.800");
}

TEST(RecutFacets, TiesGoToTheLowerFacetAndOutOfRangeAnglesStayUnplaced) {
  EXPECT_EQ(RankFacets({40.5, 41.2, 41.2, 40.5, 40.9, 40.9, 40.7, 40.8}),
            (FacetOrder{2, 3, 5, 6, 8, 7, 4, 1}));
  // Missing (0), negative and too large angles never enter; unfilled positions count 0.
  const RecutPlan plan = Plan({0, 150, 40.0, -3, 100, 41.0, 0, 0});
  EXPECT_EQ(plan.pavilion_order, (FacetOrder{6, 0, 0, 0, 0, 0, 0, 3}));
  EXPECT_EQ(plan.high_pavilion_mean + " " + plan.low_pavilion_mean, "10.250 10.000");
  const Candidate c = MakeCandidate(plan, 1);
  EXPECT_EQ(TextsOf(c.pavilion), (Texts{"0", "150", "40", "-3", "100", "10.000", "0", "0"}));
  EXPECT_EQ(c.pavilion_stats.max.Text() + " " + c.pavilion_stats.min.Text(), "150 -3");
}

TEST(RecutFacets, ReadsMissingAndMisreadKeysAsZero) {
  const MeasuredFacets m = ReadFacets(app::Profile::Parse(
      "[NumericalParameters]\nPAVILION_ANGLE_DEG_1=41.25\ncrown_angle_deg_1=34.3\n"
      "PAVILION_ANGLE_DEG_2=\"40,9\"\nPAVILION_ANGLE_DEG_3=abc\nCROWN_ANGLE_DEG_2=1e300\n"));
  EXPECT_EQ(m.pavilion, (std::array<double, kFacets>{41.25, 40, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.crown_single[0], 34.3f);
  EXPECT_EQ(m.crown_single[1], 0.0f);  // beyond the single range: the narrowing is passed over
  EXPECT_EQ(m.pavilion_stats.max.Text() + " " + m.pavilion_stats.min.Text(), "41.25 0");
  EXPECT_EQ(m.crown_stats.max.Text() + " " + m.crown_stats.mean.Text(), "1E+300 4.2875");
}

}  // namespace
}  // namespace krm::recut
