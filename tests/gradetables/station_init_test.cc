// krm-station init: a fresh station that grades with the default data, refusal and --force, and
// the follow-up batch file run the way the grading starts it.
#include "gradetables/station_init.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gradetables/default_grade_model.h"
#include "gradetables/main_fnc.h"
#include "gradetables/provisioning.h"
#include "gradetables/sha256.h"
#include "platform/recording_env.h"

namespace krm::gradetables {
namespace {

using testing::RecordingEnv;
using testing::TempStation;
namespace fs = std::filesystem;

TEST(StationInit, FreshStationGradesWithTheDefaultData) {
  TempStation station;
  RecordingEnv env;
  const auto dir = station.root() / "lab" / "one";  // parents made as well
  std::vector<std::string> log;
  ASSERT_EQ(InitStation(env, dir, false, &log), InitResult::kDone);
  EXPECT_EQ(log.size(), 7u);
  const app::StationPaths paths(dir);
  EXPECT_EQ(fs::file_size(paths.Part(1)), static_cast<std::uintmax_t>(kGradeTableFirstPartSize));
  EXPECT_TRUE(fs::is_regular_file(paths.ReportDatabase()));
  EXPECT_EQ(station.Read("lab/one/KRM_5.bat"), kFollowUpScript);
  EXPECT_FALSE(fs::exists(dir / "grade_tables.tmp"));
  const auto db3 = fs::file_size(paths.Part(3)), db4 = fs::file_size(paths.Part(4));
  EXPECT_TRUE(db3 == db4 || db3 + 1 == db4);

  ASSERT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(Sha256Hex(station.Read("lab/one/windows/win_rt1.dll")),
            "079140314a9da12a2847c92e0737f1af1e19a46404e31f897c3b16f5c3f3ca37");
  std::unique_ptr<platform::Database> con;
  ASSERT_TRUE(ConnectGradeDatabase(paths, &con).ok());
  EXPECT_EQ(MainFNC().eDescription(4.6, "GirdleThickness", con.get()), "Thick");
}

TEST(StationInit, RefusesAnExistingStationUnlessForced) {
  TempStation station;
  RecordingEnv env;
  std::vector<std::string> log;
  station.Write("WIN_SYS4.SYC", "lab data");  // found whatever its letter case
  EXPECT_EQ(InitStation(env, station.root(), false, &log), InitResult::kRefused);
  EXPECT_NE(log.back().find("WIN_SYS4.SYC"), std::string::npos) << log.back();
  EXPECT_FALSE(station.Exists("win_sys1.syc"));

  station.Write("KRM_5.bat", "lab follow-up");
  station.Write("windows/win_rt2.dll", "joined from the lab's parts");
  station.Write("data/data.mdb", "the lab's reports");
  log.clear();
  ASSERT_EQ(InitStation(env, station.root(), true, &log), InitResult::kDone);
  EXPECT_EQ(station.Read("KRM_5.bat"), kFollowUpScript);
  EXPECT_FALSE(station.Exists("windows/win_rt2.dll"));
  EXPECT_EQ(station.Read("data/data.mdb"), "the lab's reports");
  EXPECT_EQ(log.front(), "removed windows/win_rt2.dll");
  EXPECT_EQ(log.back(), "kept data/data.mdb");
}

TEST(StationInit, FailsOnAFolderThatCannotBeMade) {
  TempStation station;
  RecordingEnv env;
  station.Write("plain-file", "x");
  std::vector<std::string> log;
  EXPECT_EQ(InitStation(env, station.root() / "plain-file" / "st", false, &log),
            InitResult::kFailed);
  EXPECT_EQ(log.back().rfind("failed: ", 0), 0u);
}

TEST(StationInit, FollowUpRecordsThatItRan) {
  TempStation station;
  platform::PosixEnv env;  // starts it for real: /bin/sh, station folder, not waited for
  std::vector<std::string> log;
  ASSERT_EQ(InitStation(env, station.root(), false, &log), InitResult::kDone);
  ASSERT_TRUE(env.StartBatch(station.root() / "KRM_5.bat", station.root()).ok());
  for (int i = 0; i < 500 && station.Read("data/krm5_ran.txt").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(station.Read("data/krm5_ran.txt").rfind("KRM_5.bat ran ", 0), 0u);
}

}  // namespace
}  // namespace krm::gradetables
