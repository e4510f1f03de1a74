// The item-by-item rewrite of the measurement file into a recut candidate file.
#include "recut/candidate_writer.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

// Attempt 1 of the worked example: facets 5, 8, 1 and 4 carry 40.650.
Candidate WorkedCandidate() {
  MeasuredFacets m;
  m.pavilion = {41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1};
  return MakeCandidate(MakePlan(m), 1);
}

TEST(RecutCandidateWriter, AppliesTheRulesItemByItem) {
  const std::string measurement =
      "[NumericalParameters]\r\nOFFSET_GIRDLE_CULET_MM=0.005\r\nOFFSET_TABLE_CULET_MM=0.0051\n"
      "OFFSET_GIRDLE_TABLE_MM=0.2\rPAVILION_ANGLE_DEG=40.8\r\nPAVILION_ANGLE_DEG_MIN=40.8\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.8\r\nPAVILION_ANGLE_DEG_DEV=0\r\nPAVILION_ANGLE_DEG_2=40.9\r\n"
      "PAVILION_ANGLE_DEG_1=41,PAVILION_ANGLE_DEG_2=40.80\r\n  \"STONE_ID=A,B\"x\r\n"
      "CROWN_ANGLE_DEG_1=34.5\r\n\r\nPAVILION_ANGLE_DEG_3 = 40.60";
  const std::string expected =
      "[NumericalParameters]\r\n"
      "OFFSET_GIRDLE_CULET_MM=0.005\r\n"  // exactly the cap: copied
      "OFFSET_TABLE_CULET_MM=0.005\r\n"
      "OFFSET_GIRDLE_TABLE_MM=0.005\r\n"
      "PAVILION_ANGLE_DEG=40.65\r\n"
      "PAVILION_ANGLE_DEG_MIN=40.50\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.80\r\n"
      "PAVILION_ANGLE_DEG_DEV=0.30\r\n"
      "PAVILION_ANGLE_DEG_2=40.9\r\n"  // before facet 1: copied
      "PAVILION_ANGLE_DEG_1=40.650\r\n"
      "PAVILION_ANGLE_DEG_2=40.8\r\n"
      "STONE_ID=A,B\r\n"
      "CROWN_ANGLE_DEG_1=34.5\r\n"
      "\r\n"
      "PAVILION_ANGLE_DEG_3=40.6\r\n";
  EXPECT_EQ(RewriteMeasurement(measurement, {0.005, 0.0051, 0.2}, WorkedCandidate()), expected);
}

TEST(RecutCandidateWriter, OffsetsComeFromTheMeasurementKeysNotTheItem) {
  const app::Profile p = app::Profile::Parse(
      "[NumericalParameters]\nOFFSET_GIRDLE_CULET_MM=0.0050001\nOFFSET_TABLE_CULET_MM=\"0.005\"");
  const Offsets offsets = ReadOffsets(p);
  EXPECT_EQ(offsets.girdle_table, 0);
  EXPECT_EQ(RewriteMeasurement("OFFSET_GIRDLE_CULET_MM=0.001,OFFSET_TABLE_CULET_MM=9,"
                               "OFFSET_GIRDLE_TABLE_MM=9",
                               offsets, WorkedCandidate()),
            "OFFSET_GIRDLE_CULET_MM=0.005\r\nOFFSET_TABLE_CULET_MM=9\r\n"
            "OFFSET_GIRDLE_TABLE_MM=9\r\n");
}

}  // namespace
}  // namespace krm::recut
