// Faults a station meets in the field, tried on the real program: a read-only data folder (on
// Windows: output files held open by another program), broken grade data, a report database held
// by another process, a station held by another run, a disk that fills up and a run killed half
// way. Each run must end by itself and lose nothing that was there before it; once the cause is
// gone, the next run must leave the station as a clean run does.
#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/database.h"
#include "platform/recording_env.h"
#ifdef _WIN32
#include "platform/exclusive_open.h"
#endif

namespace krm {
namespace {

namespace fs = std::filesystem;
const fs::path kBin = KRM_BINARY_DIR;
const fs::path kDemoStone = fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt";

// The report without its first line, which carries the version, the date and the time.
std::string ReportBody(const fs::path& root) {
  const std::string report = testing::ReadWhole(root / "data" / "out.txt");
  return report.substr(std::min(report.find('\n'), report.size()));
}

long long Rows(const fs::path& root) {
  std::unique_ptr<platform::Database> db;
  if (!platform::Database::Open(root / "data" / "data.mdb", &db).ok()) return -1;
  std::vector<platform::Row> rows;
  if (!db->Query("SELECT count(*) FROM Round1", {}, &rows).ok()) return -1;
  return std::stoll(rows.at(0).at(0).value_or("-1"));
}

// A station laid out with the default grade data and the demo stone, graded once: the clean run.
class FaultStation {
 public:
  FaultStation() : root_(tmp_.root() / "station") {
    EXPECT_EQ(testing::RunChild(
                  {testing::ProgramFile(kBin, "krm-station").string(), "init", root_.string()})
                  .status,
              0);
    fs::copy_file(kDemoStone, root_ / "Test.txt");
    EXPECT_EQ(Run(), 0);
    clean_report_ = ReportBody(root_);
    clean_recut_ = testing::ReadWhole(root_ / "data" / "recut.txt");
  }

  const fs::path& root() const { return root_; }

  // Starts the program on the station and waits for it (see testing::RunChild).
  int Run(const std::function<void()>& in_child = {},
          const std::function<void(testing::ChildId)>& while_running = {}) const {
    return testing::RunChild(
               {testing::ProgramFile(kBin, "DOVEVOVIDIRO").string(), "--app-dir", root_.string()},
               "", in_child, while_running)
        .status;
  }

  // What a run must never lose: the measurement file, the grade log so far and the report rows.
  struct Kept {
    std::string measurement;
    std::string grade_log;
    long long rows;
  };
  Kept Snapshot() const {
    return {testing::ReadWhole(root_ / "Test.txt"),
            testing::ReadWhole(root_ / "data" / "grade_log.txt"), Rows(root_)};
  }
  void ExpectKept(const Kept& before) const {
    EXPECT_EQ(testing::ReadWhole(root_ / "Test.txt"), before.measurement);
    EXPECT_TRUE(testing::ReadWhole(root_ / "data" / "grade_log.txt").starts_with(before.grade_log));
    EXPECT_GE(Rows(root_), before.rows);
  }

  // After a run without the fault: both grade files equal their parts and the results are those
  // of the first, clean run.
  void ExpectRepaired() const {
    EXPECT_EQ(
        testing::ReadWhole(root_ / "windows" / "win_rt1.dll"),
        testing::ReadWhole(root_ / "win_sys1.syc") + testing::ReadWhole(root_ / "win_sys2.syc"));
    EXPECT_EQ(
        testing::ReadWhole(root_ / "windows" / "win_rt2.dll"),
        testing::ReadWhole(root_ / "win_sys3.syc") + testing::ReadWhole(root_ / "win_sys4.syc"));
    EXPECT_EQ(ReportBody(root_), clean_report_);
    EXPECT_EQ(testing::ReadWhole(root_ / "data" / "recut.txt"), clean_recut_);
    EXPECT_EQ(Rows(root_), 1);
  }

 private:
  testing::TempStation tmp_;
  fs::path root_;
  std::string clean_report_;
  std::string clean_recut_;
};

// Changes to a station, one step a word pair: "aside P" moves P away, "back P" returns it,
// "short P" puts a two-byte file at P, "rm P" removes P, "mkdir P" makes a folder at P.
void Apply(const fs::path& root, const std::string& steps) {
  std::istringstream in(steps);
  for (std::string verb, path; in >> verb >> path;) {
    const fs::path at = root / path, aside = fs::path(at) += ".aside";
    if (verb == "aside") fs::rename(at, aside);
    if (verb == "back") fs::remove(at), fs::rename(aside, at);
    if (verb == "short") std::ofstream(at) << "12";
    if (verb == "rm") fs::remove(at);
    if (verb == "mkdir") fs::create_directory(at);
  }
}

// A fault in the grade data: made, a run tried on it, then undone.
struct GradeDataFault {
  const char* name;
  const char* make;
  const char* undo;
};

class GradeDataFaults : public ::testing::TestWithParam<GradeDataFault> {};

TEST_P(GradeDataFaults, RunEndsAndTheNextCleanRunRepairs) {
  FaultStation station;
  const auto kept = station.Snapshot();
  Apply(station.root(), GetParam().make);
  EXPECT_LT(station.Run(), 128) << "the run was ended by a signal";
  station.ExpectKept(kept);
  Apply(station.root(), GetParam().undo);
  EXPECT_EQ(station.Run(), 0);
  station.ExpectRepaired();
}

// A database joined from a broken part is kept, as on any station, until it is removed.
INSTANTIATE_TEST_SUITE_P(
    Faults, GradeDataFaults,
    ::testing::Values(
        GradeDataFault{"MissingSecondTablePart", "aside win_sys2.syc", "back win_sys2.syc"},
        GradeDataFault{"TruncatedTablePart", "aside win_sys1.syc short win_sys1.syc",
                       "back win_sys1.syc"},
        GradeDataFault{"TruncatedTablePartNoTable",
                       "aside win_sys1.syc short win_sys1.syc rm windows/win_rt1.dll",
                       "back win_sys1.syc"},
        GradeDataFault{"GradeTableIsAFolder", "rm windows/win_rt1.dll mkdir windows/win_rt1.dll",
                       "rm windows/win_rt1.dll"},
        GradeDataFault{"TruncatedDatabasePart",
                       "aside win_sys4.syc short win_sys4.syc rm windows/win_rt2.dll",
                       "back win_sys4.syc rm windows/win_rt2.dll"}),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef _WIN32
// Windows counterpart of a read-only data folder: another program (a viewer, a spreadsheet) holds
// the report, the grade log and the recut advice open without sharing them.
TEST(Faults, OutputFilesHeldOpenByAnotherProgram) {
  FaultStation station;
  const auto kept = station.Snapshot();
  const fs::path data = station.root() / "data";
  int status = -1;
  {
    const auto report = testing::OpenExclusively(data / "out.txt");
    const auto grade_log = testing::OpenExclusively(data / "grade_log.txt");
    const auto recut = testing::OpenExclusively(data / "recut.txt");
    ASSERT_TRUE(report && grade_log && recut);
    status = station.Run();
  }
  EXPECT_LT(status, 126);
  station.ExpectKept(kept);
  EXPECT_EQ(testing::ReadWhole(data / "grade_log.txt"), kept.grade_log)
      << "the grade log was written while another program held it";
  EXPECT_EQ(station.Run(), 0);
  station.ExpectRepaired();
}
#else
TEST(Faults, ReadOnlyDataFolder) {
  FaultStation station;
  const auto kept = station.Snapshot();
  const fs::path data = station.root() / "data";
  // Permissions do not bind the superuser: the run then drops to an unprivileged user.
  const bool root = ::geteuid() == 0;
  if (root) {
    fs::permissions(station.root().parent_path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(station.root(), fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  const int status = station.Run([root] {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
  });
  fs::permissions(data, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_LT(status, 126);
  station.ExpectKept(kept);
}
#endif

TEST(Faults, ReportDatabaseHeldByAnotherProcess) {
  FaultStation station;
  const auto kept = station.Snapshot();
  // This process holds the report database for a while; the run waits for it and then exports.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((station.root() / "data" / "data.mdb").string().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const int status = station.Run({}, [db](testing::ChildId) {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  });
  sqlite3_close(db);
  EXPECT_EQ(status, 0);
  station.ExpectKept(kept);
  station.ExpectRepaired();
}

// A second start in the same station (the scanner's next stone while a run is slow) waits for
// the first to end, and then runs as usual.
TEST(Faults, StationHeldByAnotherRun) {
  FaultStation station;
  const auto kept = station.Snapshot();
  platform::DefaultEnv env;
  std::unique_ptr<platform::FileLock> held;
  ASSERT_TRUE(env.LockFile(station.root() / "DOVEVOVIDIRO.lock", &held).ok());
  const int status = station.Run({}, [&](testing::ChildId) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(testing::ReadWhole(station.root() / "data" / "grade_log.txt"), kept.grade_log)
        << "the second run did not wait for the station";
    held.reset();
  });
  EXPECT_EQ(status, 0);
  station.ExpectKept(kept);
  EXPECT_GT(testing::ReadWhole(station.root() / "data" / "grade_log.txt").size(),
            kept.grade_log.size());
  station.ExpectRepaired();
}

TEST(Faults, DiskFillsUpWhileGradeFilesAreJoined) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no file size limit per process; a full disk needs a small volume "
                  "of its own, which the tests cannot make";
#else
  FaultStation station;
  const auto kept = station.Snapshot();
  Apply(station.root(), "rm windows/win_rt1.dll rm windows/win_rt2.dll");
  // No file of the run may grow past 4 KiB: writes beyond fail as on a full disk.
  const int status = station.Run([] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_LT(status, 128) << "the run was ended by a signal";
  station.ExpectKept(kept);
  EXPECT_EQ(station.Run(), 0);
  station.ExpectRepaired();
#endif
}

TEST(Faults, RunKilledHalfWayIsRepairedByTheNextRun) {
  FaultStation station;
  // Kills at spread-out moments of a run that has to join both grade files anew.
  for (const int ms : {0, 2, 5, 10, 20, 40}) {
    SCOPED_TRACE(ms);
    const auto kept = station.Snapshot();
    Apply(station.root(), "rm windows/win_rt1.dll rm windows/win_rt2.dll");
    station.Run({}, [ms](testing::ChildId child) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      testing::KillChild(child);
    });
    station.ExpectKept(kept);
    EXPECT_EQ(station.Run(), 0);
    station.ExpectRepaired();
  }
}

}  // namespace
}  // namespace krm
