#include "app/run_flow.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/env_posix.h"

#include "grading/grade_station.h"
#include "platform/recording_env.h"

namespace krm::app {
namespace {

using krm::testing::RecordingEnv;
using krm::testing::TempStation;

TEST(RunFlow, MissingMeasurementFileShowsOneMessageAndTouchesNothing) {
  RecordingEnv env;
  TempStation station;
  station.Write("data/out.txt", "previous report");
  station.Write("KRM_5.bat", "true\n");
  EXPECT_EQ(Form_Load(env, station.root()), ExitStatus::kMeasurementMissing);
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0].message,
            "Vestra Polish File Export Failed  - Re Scan the stone and Repeat....");
  EXPECT_EQ(env.messages[0].style, 16);
  EXPECT_EQ(env.messages[0].title, "VESTRA POLISH FILE EXPORT FAILED");
  EXPECT_EQ(station.Read("data/out.txt"), "previous report");
  EXPECT_FALSE(station.Exists("data/grade_log.txt"));
  EXPECT_TRUE(env.starts.empty());
}

TEST(RunFlow, MeasurementFileFoundInAnyLetterCase) {
  for (const char* name : {"Test.txt", "test.txt", "TEST.TXT"}) {
    RecordingEnv env;
    TempStation station;
    station.Write(name, "[NumericalParameters]\n");
    station.Write("data/.keep", "");
    Form_Load(env, station.root());
    EXPECT_TRUE(env.messages.empty() || env.messages[0].title != "VESTRA POLISH FILE EXPORT FAILED")
        << name;
  }
}

TEST(RunFlow, WithoutDataFolderTheRunStillEnds) {
  RecordingEnv env;
  TempStation station;
  station.Write("Test.txt", "[NumericalParameters]\n");
  station.Write("KRM_5.bat", "true\n");
  Form_Load(env, station.root());
  EXPECT_FALSE(station.Exists("data"));
}

}  // namespace
}  // namespace krm::app

namespace krm::app {
namespace {

TEST(RunFlow, WholeRunReplacesTheReportGrowsTheLogAndStartsTheFollowUpOnce) {
  krm::testing::GradeStation station;
  station.WriteMeasurement(krm::testing::WellCutStone());
  station.files().Write("KRM_5.bat", "true\n");
  station.files().Write("data/out.txt", std::string(100000, '#'));
  std::string log;
  for (int run = 1; run <= 2; ++run) {
    krm::testing::RecordingEnv env;
    EXPECT_EQ(Form_Load(env, station.root()), ExitStatus::kOk);
    EXPECT_TRUE(env.messages.empty());
    ASSERT_EQ(env.starts.size(), 1u);
    EXPECT_EQ(env.starts[0].batch, station.root() / "KRM_5.bat");
    const std::string report = station.files().Read("data/out.txt");
    EXPECT_EQ(report.find('#'), std::string::npos);
    EXPECT_EQ(report.rfind("KRM-0001,1.0.0,", 0), 0u);
    const std::string grown = station.files().Read("data/grade_log.txt");
    EXPECT_EQ(grown.substr(0, log.size()), log);
    EXPECT_GT(grown.size(), log.size());
    log = grown;
  }
}

}  // namespace
}  // namespace krm::app

namespace krm::app {
namespace {

TEST(RunFlow, StationLockMakesASecondRunWait) {
  krm::testing::TempStation station;
  platform::PosixEnv env;
  std::unique_ptr<platform::FileLock> held;
  ASSERT_TRUE(env.LockFile(station.root() / "DOVEVOVIDIRO.lock", &held).ok());
  // A child process stands for the second start: it takes the lock only after we let it go.
  const pid_t child = ::fork();
  if (child == 0) {
    held.reset();  // the inherited copy; the parent's descriptor still holds the lock
    std::unique_ptr<platform::FileLock> second;
    const bool ok = env.LockFile(station.root() / "DOVEVOVIDIRO.lock", &second).ok();
    std::_Exit(ok ? 0 : 1);
  }
  ::usleep(100000);
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0);  // still waiting for the lock
  held.reset();
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace krm::app
