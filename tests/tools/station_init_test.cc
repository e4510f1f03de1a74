// krm-station init: the folders made on the way, a folder that cannot be made, and refusal and
// --force. That a fresh station grades with the default data and that its follow-up runs is
// checked by the whole-station cases, which lay out their stations with it.
#include "tools/station_init.h"

#include <gtest/gtest.h>

#include "platform/recording_env.h"

namespace krm::tools {
namespace {

class StationInit : public ::testing::Test {
 protected:
  InitResult Init(const std::string& dir, bool force) {
    log.clear();
    return InitStation(env, station.root() / dir, force, &log);
  }
  testing::TempStation station;
  testing::RecordingEnv env;
  std::vector<std::string> log;
};

TEST_F(StationInit, MakesTheFoldersOnTheWayOrFails) {
  ASSERT_EQ(Init("lab/one", false), InitResult::kDone);
  EXPECT_EQ(station.Read("lab/one/KRM_5.bat"), kFollowUpScript);
  EXPECT_FALSE(station.Exists("lab/one/grade_tables.tmp"));  // the scratch database
  station.Write("plain-file", "x");
  EXPECT_EQ(Init("plain-file/st", false), InitResult::kFailed);
}

TEST_F(StationInit, RefusesAnExistingStationUnlessForced) {
  station.Write("WIN_SYS4.SYC", "lab data");  // found whatever its letter case
  EXPECT_EQ(Init("", false), InitResult::kRefused);
  EXPECT_NE(log.back().find("WIN_SYS4.SYC"), std::string::npos) << log.back();
  EXPECT_FALSE(station.Exists("win_sys1.syc"));
  // Forced: the parts are rewritten, the joined grade files removed, the report database kept.
  station.Write("windows/win_rt2.dll", "joined from the lab's parts");
  station.Write("data/data.mdb", "the lab's reports");
  ASSERT_EQ(Init("", true), InitResult::kDone);
  EXPECT_FALSE(station.Exists("windows/win_rt2.dll"));
  EXPECT_EQ(station.Read("data/data.mdb"), "the lab's reports");
}

}  // namespace
}  // namespace krm::tools
