// Facet ranking, replacement means and candidate tables of the recut advice. The tables of the
// first three attempts and their statistics are also checked by the whole-station cases.
#include "recut/facets.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

std::string Join(const std::array<FacetEntry, kFacets>& table) {
  std::string texts = table[0].Text();
  for (int i = 1; i < kFacets; ++i) texts.append(",").append(table[i].Text());
  return texts;
}

// Crown angles of 34.5 whose single values were never narrowed (they are written 0).
RecutPlan Plan(const std::array<double, kFacets>& pavilion) {
  MeasuredFacets m;
  m.pavilion = pavilion;
  m.crown.fill(34.5);
  return MakePlan(m);
}

TEST(RecutFacets, AttemptsFourAndFiveAddTheCrownChangeOfThreeToOneAndTwo) {
  const RecutPlan p = Plan({41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1});
  EXPECT_EQ(Join(MakeCandidate(p, 1).pavilion), "40.650,40.8,40.6,40.650,40.650,40.7,40.5,40.650");
  EXPECT_EQ(Join(MakeCandidate(p, 4).pavilion), Join(MakeCandidate(p, 1).pavilion));
  EXPECT_EQ(Join(MakeCandidate(p, 5).pavilion), Join(MakeCandidate(p, 2).pavilion));
  EXPECT_EQ(Join(MakeCandidate(p, 5).crown), "34.500,34.500,34.500,34.500,0,0,0,0");
}

TEST(RecutFacets, TiesGoToTheLowerFacetAndOutOfRangeAnglesStayUnplaced) {
  EXPECT_EQ(RankFacets({40.5, 41.2, 41.2, 40.5, 40.9, 40.9, 40.7, 40.8}),
            (FacetOrder{2, 3, 5, 6, 8, 7, 4, 1}));
  // Missing (0), negative and too large angles never enter; unfilled positions count 0 in the
  // means: the low mean is 41 x 0.25.
  const RecutPlan p = Plan({0, 150, 40.0, -3, 100, 41.0, 0, 0});
  EXPECT_EQ(p.pavilion_order, (FacetOrder{6, 0, 0, 0, 0, 0, 0, 3}));
  const Candidate c = MakeCandidate(p, 1);
  EXPECT_EQ(Join(c.pavilion), "0,150,40,-3,100,10.000,0,0");
  EXPECT_EQ(c.pavilion_stats.max.Text() + " " + c.pavilion_stats.min.Text(), "150 -3");
}

TEST(RecutFacets, ReadsMissingAndMisreadKeysAsZero) {
  const MeasuredFacets m = ReadFacets(intake::Profile::Parse(
      "[NumericalParameters]\nPAVILION_ANGLE_DEG_1=41.25\ncrown_angle_deg_1=34.3\n"
      "PAVILION_ANGLE_DEG_2=\"40,9\"\nPAVILION_ANGLE_DEG_3=abc\nCROWN_ANGLE_DEG_2=1e300\n"));
  EXPECT_EQ(m.pavilion, (std::array<double, kFacets>{41.25, 40, 0, 0, 0, 0, 0, 0}));
  // The maximum is of the read angles, the mean of the single values: 1e300 is beyond the single
  // range, and its narrowing is passed over.
  EXPECT_EQ(m.crown_stats.max.Text() + " " + m.crown_stats.mean.Text(), "1E+300 4.2875");
}

}  // namespace
}  // namespace krm::recut
