#include "app/polish_data.h"

#include <gtest/gtest.h>

#include <string>

namespace krm::app {
namespace {

PolishData Read(const std::string& body) {
  PolishData record;
  GetPolishData(Profile::Parse("[NumericalParameters]\n" + body), record);
  return record;
}

std::string Facets(const std::string& prefix, int count, const std::string& value) {
  std::string out;
  for (int i = 1; i <= count; ++i) out += prefix + std::to_string(i) + "=" + value + "\n";
  return out;
}

TEST(GetPolishData, RoundsEachReadingBeforeTheMean) {
  // 34.25 is rounded to 34.3 on every facet before averaging.
  EXPECT_EQ(Read(Facets("CROWN_ANGLE_DEG_", 8, "34.25")).CALC_CROWN_ANGLE_DEG, 34.3f);
  // Sixteen upper girdle facets divide by 16; each reading is rounded to one place first.
  EXPECT_EQ(Read(Facets("UPPER_ANGLE_DEG_", 16, "41.96")).CALC_UPPER_ANGLE_DEG, 42.0f);
  // Lengths: the mean is rounded to one place.
  EXPECT_EQ(Read(Facets("STAR_RATIO_PC_", 8, "51.26")).CALC_STAR_RATIO_PC, 51.3f);
}

TEST(GetPolishData, PercentagesOfTheMeanDiameter) {
  const PolishData r = Read(
      "DIAMETER_MM_MIN=6.4995\nDIAMETER_MM_MAX=6.5005\n" + Facets("TABLE_MM_", 4, "3.6504") +
      "CULET_MM=0.0656\nTOTAL_DEPTH_MM=3.9\nGIRDLE_NARROW_MM_MIN=0.1\nGIRDLE_NARROW_MM_MAX=0.13\n" +
      Facets("PAVILION_DEPTH_MM_", 8, "2.8") + Facets("CROWN_HEIGHT_MM_", 8, "0.975"));
  EXPECT_EQ(r.CALC_DIAMETER_MM, 6.5f);
  EXPECT_EQ(r.CALC_TABLE_PC, 56.15f);  // 3.65 x 100 / 6.5 = 56.1538...
  EXPECT_EQ(r.CALC_CULET_PC, 1.02f);   // 0.066 x 100 / 6.5 = 1.0153...
  EXPECT_EQ(r.CALC_TOTAL_DEPTH_PC, 60.0f);
  EXPECT_EQ(r.CALC_GIRDLE_NARROW_MIN_PC, 1.54f);
  EXPECT_EQ(r.CALC_GIRDLE_NARROW_MAX_PC, 2.0f);
  EXPECT_EQ(r.CALC_PAVILION_DEPTH_PC, 43.08f);
  EXPECT_EQ(r.CALC_CROWN_HEIGHT_PC, 15.0f);
}

TEST(GetPolishData, ZeroDiameterLeavesThePercentagesAsTheyWere) {
  PolishData record;
  record.CALC_TABLE_PC = 57.5f;
  record.CALC_CULET_PC = 1.5f;
  GetPolishData(Profile::Parse("[NumericalParameters]\nTABLE_MM_1=3.6\nCULET_MM=0.1\n"), record);
  EXPECT_EQ(record.CALC_DIAMETER_MM, 0.0f);
  EXPECT_EQ(record.CALC_TABLE_PC, 57.5f);
  EXPECT_EQ(record.CALC_CULET_PC, 1.5f);
}

TEST(GetPolishData, KeyFieldsAndFallbacks) {
  const struct {
    const char* body;
    float mass;
  } masses[] = {
      {"WEIGHT_4_CT=0.3\n", 0.3f},
      {"CORRECTED_MASS=0\nWEIGHT_4_CT=0.3\n", 0.3f},
      {"CORRECTED_MASS=0.52\nWEIGHT_4_CT=0.3\n", 0.52f},
      {"CORRECTED_MASS=abc\nWEIGHT_4_CT=0.31\n", 0.31f},
  };
  for (const auto& m : masses) EXPECT_EQ(Read(m.body).CORRECTED_MASS, m.mass) << m.body;

  const PolishData r = Read(
      "table_pc=57.5\nCROWN_ANGLE_DEG=34.5abc\nPAVILION_ANGLE_DEG=abc\n"
      "CUTTING_TYPE= Brilliant \nSPREAD_PC=1e300\n");
  EXPECT_EQ(r.TABLE_PC, 57.5f);  // lower-case key
  EXPECT_EQ(r.CROWN_ANGLE_DEG, 34.5f);
  EXPECT_EQ(r.PAVILION_ANGLE_DEG, 0.0f);
  EXPECT_EQ(r.CUTTING_TYPE, "Brilliant");
  EXPECT_EQ(r.SPREAD_PC, 0.0f);  // beyond single precision: the field keeps its value
}

TEST(GetPolishData, EvenLowerGirdleFacetsAreNotRead) {
  std::string odd, all;
  for (int i = 1; i <= 16; ++i) {
    const std::string value = i % 2 ? "80.2" : "10.0";
    all += "DEPTH_GIRDLE_FACET_" + std::to_string(i) + "=" + value + "\n";
    all += "LENGTH_GIRDLE_FACET_" + std::to_string(i) + "=" + value + "\n";
  }
  const PolishData r = Read(all);
  EXPECT_EQ(r.CALC_DEPTH_GIRDLE_FACET, 80.2f);
  EXPECT_EQ(r.CALC_LENGTH_GIRDLE_FACET, 80.2f);
}

}  // namespace
}  // namespace krm::app
