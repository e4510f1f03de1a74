// The item-by-item rewrite of the measurement file into a recut candidate file.
#include "recut/candidate_writer.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

TEST(RecutCandidateWriter, AppliesTheRulesItemByItem) {
  MeasuredFacets m;  // the worked example: attempt 1 gives facets 5, 8, 1 and 4 40.650
  m.pavilion = {41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1};
  const Candidate candidate = MakeCandidate(MakePlan(m), 1);
  const std::string measurement =
      "[NumericalParameters]\r\nOFFSET_GIRDLE_CULET_MM=0.005\r\nOFFSET_TABLE_CULET_MM=0.0051\n"
      "OFFSET_GIRDLE_TABLE_MM=\"0.2\"\rPAVILION_ANGLE_DEG=40.8\r\nPAVILION_ANGLE_DEG_MIN=40.8\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.8\r\nPAVILION_ANGLE_DEG_DEV=0\r\nPAVILION_ANGLE_DEG_2=40.9\r\n"
      "PAVILION_ANGLE_DEG_1=41,PAVILION_ANGLE_DEG_2=40.80\r\n  \"STONE_ID=A,B\"x\r\n"
      "OFFSET_TABLE_CULET_MM=0.001\r\n\r\nPAVILION_ANGLE_DEG_3 = 40.60";
  const std::string expected =
      "[NumericalParameters]\r\n"
      "OFFSET_GIRDLE_CULET_MM=0.005\r\n"  // exactly the cap: copied
      "OFFSET_TABLE_CULET_MM=0.005\r\n"
      "OFFSET_GIRDLE_TABLE_MM=0.005\r\n"
      "PAVILION_ANGLE_DEG=40.65\r\nPAVILION_ANGLE_DEG_MIN=40.50\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.80\r\nPAVILION_ANGLE_DEG_DEV=0.30\r\n"
      "PAVILION_ANGLE_DEG_2=40.9\r\n"  // before facet 1: copied
      "PAVILION_ANGLE_DEG_1=40.650\r\nPAVILION_ANGLE_DEG_2=40.8\r\n"
      "STONE_ID=A,B\r\n"
      "OFFSET_TABLE_CULET_MM=0.005\r\n"  // the first key's value decides, for every item
      "\r\n"
      "PAVILION_ANGLE_DEG_3=40.6\r\n";
  const Offsets offsets = ReadOffsets(app::Profile::Parse(measurement));
  EXPECT_EQ(RewriteMeasurement(measurement, offsets, candidate), expected);
  EXPECT_EQ(RewriteMeasurement("PAVILION_ANGLE_DEG_1=x", {}, candidate),
            "PAVILION_ANGLE_DEG_1=40.650\r\n");
}

}  // namespace
}  // namespace krm::recut
