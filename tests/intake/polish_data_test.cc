#include "intake/polish_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krm::intake {
namespace {

// `record` after reading a measurement file of the given items, one a line (an item may hold
// several lines).
PolishData Read(std::initializer_list<std::string> items, PolishData record = {}) {
  std::string text = "[NumericalParameters]\n";
  for (const std::string& item : items) text += item + "\n";
  GetPolishData(Profile::Parse(text), record);
  return record;
}

// The items PREFIX1 to PREFIXcount, the odd ones ending in `odd`, the even ones in `even` if given.
std::string Facets(std::string prefix, int count, std::string odd, std::string even = "") {
  std::string out;
  if (even.empty()) even = odd;
  for (int i = 1; i <= count; ++i) out += prefix + std::to_string(i) + (i % 2 ? odd : even) + "\n";
  return out;
}

TEST(GetPolishData, MeansOfTheRoundedReadingsOfTheCountedFacets) {
  // Every reading is rounded to one place before the mean: 34.25 to 34.3.
  EXPECT_EQ(Read({Facets("CROWN_ANGLE_DEG_", 8, "=34.25")}).CALC_CROWN_ANGLE_DEG, 34.3f);
  // Sixteen upper girdle facets divide by 16; of the lower girdle facets only the odd ones count.
  EXPECT_EQ(Read({Facets("UPPER_ANGLE_DEG_", 16, "=41.96")}).CALC_UPPER_ANGLE_DEG, 42.0f);
  const PolishData r = Read({Facets("DEPTH_GIRDLE_FACET_", 16, "=80.2", "=10.0"),
                             Facets("LENGTH_GIRDLE_FACET_", 16, "=80.2", "=10.0")});
  EXPECT_EQ(r.CALC_DEPTH_GIRDLE_FACET, 80.2f);
  EXPECT_EQ(r.CALC_LENGTH_GIRDLE_FACET, 80.2f);
}

TEST(GetPolishData, PercentagesOfTheMeanDiameterAndAZeroDiameter) {
  PolishData r = Read({"DIAMETER_MM_MIN=6.4995", "DIAMETER_MM_MAX=6.5005", "CULET_MM=0.0656",
                       Facets("TABLE_MM_", 4, "=3.6504")});
  // 3.65 x 100 / 6.5 = 56.1538... and 0.066 x 100 / 6.5 = 1.0153...
  EXPECT_EQ((std::vector{r.CALC_DIAMETER_MM, r.CALC_TABLE_PC, r.CALC_CULET_PC}),
            (std::vector{6.5f, 56.15f, 1.02f}));
  // A later file without a diameter cannot divide: its percentages stay as they were.
  r = Read({"TABLE_MM_1=3.6", "CULET_MM=0.1"}, r);
  EXPECT_EQ((std::vector{r.CALC_DIAMETER_MM, r.CALC_TABLE_PC}), (std::vector{0.0f, 56.15f}));
}

TEST(GetPolishData, MassFallbackAndValuesThatCannotBeRead) {
  EXPECT_EQ(Read({"CORRECTED_MASS=abc", "WEIGHT_4_CT=0.3"}).CORRECTED_MASS, 0.3f);
  EXPECT_EQ(Read({"CORRECTED_MASS=0.52", "WEIGHT_4_CT=0.3"}).CORRECTED_MASS, 0.52f);
  // The leading number or 0; a number beyond single precision leaves the field as it was.
  PolishData r = Read({"SPREAD_PC=7"});
  r = Read({"CROWN_ANGLE_DEG=34.5abc", "PAVILION_ANGLE_DEG=abc", "SPREAD_PC=1e300"}, r);
  EXPECT_EQ((std::vector{r.CROWN_ANGLE_DEG, r.PAVILION_ANGLE_DEG, r.SPREAD_PC}),
            (std::vector{34.5f, 0.0f, 7.0f}));
}

}  // namespace
}  // namespace krm::intake
