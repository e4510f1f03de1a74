#include "app/run_flow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "grading/grade_station.h"
#include "platform/default_env.h"

namespace krm::app {
namespace {

// The message text and title, the exit status and that nothing is written are checked on the
// real program by the station case of a missing measurement file.
TEST(RunFlow, MissingMeasurementFileKeepsTheReportAndStartsNothing) {
  testing::RecordingEnv env;
  testing::TempStation station;
  station.Write("data/out.txt", "previous report");
  station.Write("KRM_5.bat", "true\n");
  intake::Station run(env, station.root());
  EXPECT_EQ(Form_Load(run), ExitStatus::kMeasurementMissing);
  EXPECT_EQ(env.messages.at(0).style, 16);  // the critical icon
  EXPECT_EQ(station.Read("data/out.txt"), "previous report");
  EXPECT_TRUE(env.starts.empty());
}

TEST(RunFlow, MeasurementFileInAnyLetterCaseAndALongerReportReplaced) {
  for (const char* name : {"test.txt", "TEST.TXT"}) {
    testing::GradeStation station;
    station.WriteMeasurement(testing::WellCutStone(), name);
    station.files().Write("KRM_5.bat", "true\n");
    station.files().Write("data/out.txt", std::string(100000, '#'));
    testing::RecordingEnv env;
    intake::Station run(env, station.root());
    EXPECT_EQ(Form_Load(run), ExitStatus::kOk) << name;
    EXPECT_EQ(env.starts.size(), 1u);  // the follow-up, once
    EXPECT_EQ(station.files().Read("data/out.txt").find('#'), std::string::npos);
  }
}

// Between two processes the lock is tried on the real program by the fault tests.
TEST(RunFlow, StationLockMakesASecondRunWait) {
  testing::TempStation station;
  platform::DefaultEnv env;
  const auto path = station.root() / "DOVEVOVIDIRO.lock";
  std::unique_ptr<platform::FileLock> held;
  ASSERT_TRUE(env.LockFile(path, &held).ok());
  // A second start opens the lock file anew; a thread with its own open stands for it.
  std::atomic<bool> taken = false;
  std::thread second([&] {
    std::unique_ptr<platform::FileLock> lock;
    taken = env.LockFile(path, &lock).ok();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(taken);  // still waiting for the lock
  held.reset();
  second.join();
  EXPECT_TRUE(taken);
}

}  // namespace
}  // namespace krm::app
