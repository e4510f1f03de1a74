#include "app/run_flow.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "grading/grade_station.h"
#include "platform/env_posix.h"

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

TEST(RunFlow, StationLockMakesASecondRunWait) {
  testing::TempStation station;
  platform::PosixEnv env;
  const auto path = station.root() / "DOVEVOVIDIRO.lock";
  std::unique_ptr<platform::FileLock> held;
  ASSERT_TRUE(env.LockFile(path, &held).ok());
  // A child process stands for the second start: it takes the lock only after we let it go.
  const pid_t child = ::fork();
  if (child == 0) {
    held.reset();  // the inherited copy; the parent's descriptor still holds the lock
    std::_Exit(env.LockFile(path, &held).ok() ? 0 : 1);
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
