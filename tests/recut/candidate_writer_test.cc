// The item-by-item rewrite of the measurement file into a recut candidate file.
#include "recut/candidate_writer.h"

#include <gtest/gtest.h>

namespace krm::recut {
namespace {

TEST(RecutCandidateWriter, AppliesTheRulesItemByItem) {
  MeasuredFacets m;  // the worked example: attempt 1 gives facets 5, 8, 1 and 4 40.650
  m.pavilion = {41.0, 40.8, 40.6, 40.9, 41.2, 40.7, 40.5, 41.1};
  const Candidate c = MakeCandidate(MakePlan(m), 1);
  // Items end at CR LF, LF, CR or a comma outside quotes.
  const std::string in =
      "[NumericalParameters]\r\nOFFSET_GIRDLE_CULET_MM=0.005\r\nOFFSET_TABLE_CULET_MM=0.0051\n"
      "OFFSET_GIRDLE_TABLE_MM=\"0.2\"\rPAVILION_ANGLE_DEG=40.8\r\nPAVILION_ANGLE_DEG_MIN=40.8\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.8\r\nPAVILION_ANGLE_DEG_DEV=0\r\nPAVILION_ANGLE_DEG_2=40.9\r\n"
      "PAVILION_ANGLE_DEG_1=41,PAVILION_ANGLE_DEG_2=40.80\r\n  \"STONE_ID=A,B\"x\r\n"
      "OFFSET_TABLE_CULET_MM=0.001\r\n\r\nPAVILION_ANGLE_DEG_3 = 40.60";
  // The culet offset at exactly the cap is copied; the first key's value decides for every item
  // of a key; facet 2 before facet 1 is copied.
  const std::string out =
      "[NumericalParameters]\r\nOFFSET_GIRDLE_CULET_MM=0.005\r\nOFFSET_TABLE_CULET_MM=0.005\r\n"
      "OFFSET_GIRDLE_TABLE_MM=0.005\r\nPAVILION_ANGLE_DEG=40.65\r\nPAVILION_ANGLE_DEG_MIN=40.50\r\n"
      "PAVILION_ANGLE_DEG_MAX=40.80\r\nPAVILION_ANGLE_DEG_DEV=0.30\r\nPAVILION_ANGLE_DEG_2=40.9\r\n"
      "PAVILION_ANGLE_DEG_1=40.650\r\nPAVILION_ANGLE_DEG_2=40.8\r\nSTONE_ID=A,B\r\n"
      "OFFSET_TABLE_CULET_MM=0.005\r\n\r\nPAVILION_ANGLE_DEG_3=40.6\r\n";
  EXPECT_EQ(RewriteMeasurement(in, ReadOffsets(intake::Profile::Parse(in)), c), out);
  EXPECT_EQ(RewriteMeasurement("PAVILION_ANGLE_DEG_1=x", {}, c), "PAVILION_ANGLE_DEG_1=40.650\r\n");
}

}  // namespace
}  // namespace krm::recut
