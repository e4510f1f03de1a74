// Facet ranking, replacement means and candidate tables of the recut advice.
#include "recut/facets.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

using Angles = std::array<double, kFacets>;

std::vector<std::string> Texts(const std::array<FacetEntry, kFacets>& table) {
  std::vector<std::string> texts;
  for (const FacetEntry& e : table) texts.push_back(e.Text());
  return texts;
}

MeasuredFacets Measured(const Angles& pavilion, double crown = 34.5) {
  MeasuredFacets m;
  m.pavilion = pavilion;
  m.crown.fill(crown);
  m.crown_single.fill(static_cast<float>(crown));
  return m;
}

TEST(RecutFacets, RanksTheWorkedExampleAndReplacesTheSteepestFacets) {
  const RecutPlan plan = MakePlan(Measured({41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1}));
  EXPECT_EQ(plan.pavilion_order, (FacetOrder{5, 8, 1, 4, 2, 6, 3, 7}));
  EXPECT_EQ(plan.low_pavilion_mean, "40.650");
  EXPECT_EQ(plan.high_pavilion_mean, "41.050");
  const Candidate c1 = MakeCandidate(plan, 1);
  EXPECT_EQ(Texts(c1.pavilion), (std::vector<std::string>{"40.650", "40.8", "40.6", "40.650",
                                                          "40.650", "40.7", "40.5", "40.650"}));
  EXPECT_EQ(c1.pavilion_stats.max.Text(), "40.8");
  EXPECT_EQ(c1.pavilion_stats.min.Text(), "40.5");
  EXPECT_EQ(c1.pavilion_stats.mean.Text(), "40.65");
  EXPECT_EQ(Texts(c1.crown), std::vector<std::string>(8, "34.5"));
  // Attempts 4 and 5 carry the pavilion of 1 and 2; crown means of equal angles change nothing.
  EXPECT_EQ(Texts(MakeCandidate(plan, 4).pavilion), Texts(c1.pavilion));
  EXPECT_EQ(Texts(MakeCandidate(plan, 5).pavilion), Texts(MakeCandidate(plan, 2).pavilion));
  EXPECT_EQ(Texts(MakeCandidate(plan, 3).crown),
            (std::vector<std::string>{"34.500", "34.500", "34.500", "34.500", "34.5", "34.5",
                                      "34.5", "34.5"}));
}

TEST(RecutFacets, EightEqualAnglesFillBothEndsFromTheLowestFacet) {
  const RecutPlan plan = MakePlan(Measured({40.8, 40.8, 40.8, 40.8, 40.8, 40.8, 40.8, 40.8}));
  EXPECT_EQ(plan.pavilion_order, (FacetOrder{1, 2, 3, 4, 4, 3, 2, 1}));
  EXPECT_EQ(plan.low_pavilion_mean, "40.800");
  EXPECT_EQ(plan.high_pavilion_mean, "40.800");
  const Candidate c2 = MakeCandidate(plan, 2);
  EXPECT_EQ(Texts(c2.pavilion), (std::vector<std::string>{"40.800", "40.800", "40.800", "40.800",
                                                          "40.8", "40.8", "40.8", "40.8"}));
  // The first entry holds the extremes: later equal ones are not strictly beyond it.
  EXPECT_EQ(c2.pavilion_stats.max.Text(), "40.800");
  EXPECT_EQ(c2.pavilion_stats.min.Text(), "40.800");
}

TEST(RecutFacets, TiesGoToTheLowerFacetAndOutOfRangeAnglesStayUnplaced) {
  EXPECT_EQ(RankFacets({40.5, 41.2, 41.2, 40.5, 40.9, 40.9, 40.7, 40.8}),
            (FacetOrder{2, 3, 5, 6, 8, 7, 4, 1}));
  // Missing (0), negative and too-large angles never enter; their positions stay 0 and count 0.
  const Angles bad = {0, 150, 40.0, -3, 100, 41.0, 0, 0};
  const FacetOrder order = RankFacets(bad);
  EXPECT_EQ(order, (FacetOrder{6, 0, 0, 0, 0, 0, 0, 3}));
  EXPECT_EQ(QuarterSum(bad, order, 1), "10.250");
  const Candidate c = MakeCandidate(MakePlan(Measured(bad)), 1);
  EXPECT_EQ(Texts(c.pavilion),
            (std::vector<std::string>{"0", "150", "40", "-3", "100", "10.000", "0", "0"}));
  EXPECT_EQ(c.pavilion_stats.max.Text(), "150");
  EXPECT_EQ(c.pavilion_stats.min.Text(), "-3");
}

TEST(RecutFacets, ReadsMissingAndMisreadKeysAsZero) {
  const app::Profile p = app::Profile::Parse(
      "[NumericalParameters]\nPAVILION_ANGLE_DEG_1=41.25\ncrown_angle_deg_1=34.3\n"
      "PAVILION_ANGLE_DEG_2=\"40,9\"\nPAVILION_ANGLE_DEG_3=abc\nCROWN_ANGLE_DEG_2=1e300\n");
  const MeasuredFacets m = ReadFacets(p);
  EXPECT_EQ(m.pavilion[0], 41.25);
  EXPECT_EQ(m.pavilion[1], 40);
  EXPECT_EQ(m.pavilion[2], 0);
  EXPECT_EQ(m.crown_single[0], 34.3f);
  EXPECT_EQ(m.crown_single[1], 0.0f);  // beyond the single range: the narrowing is passed over
  EXPECT_EQ(m.pavilion_stats.max.Text(), "41.25");
  EXPECT_EQ(m.pavilion_stats.min.Text(), "0");
  EXPECT_EQ(m.crown_stats.max.Text(), "1E+300");
  EXPECT_EQ(m.crown_stats.mean.Text(), "4.2875");
}

}  // namespace
}  // namespace krm::recut
