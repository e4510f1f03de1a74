// `krm-station check` on the real program: a whole station passes every check, and each way of
// breaking one fails its check with a line that says what to do.
#include "tools/station_check.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/database.h"
#include "platform/recording_env.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;
const fs::path kBin = KRM_BINARY_DIR;
const fs::path kDemoStone = fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt";

using testing::Lines;

// A station laid out by `krm-station init` and graded once, so that its grade files are joined.
class CheckedStation {
 public:
  CheckedStation() : root_(tmp_.root() / "station") {
    EXPECT_EQ(testing::RunChild({(kBin / "krm-station").string(), "init", root_.string()}).status,
              0);
    fs::copy_file(kDemoStone, root_ / "Test.txt");
    EXPECT_EQ(
        testing::RunChild({(kBin / "DOVEVOVIDIRO").string(), "--app-dir", root_.string()}).status,
        0);
  }
  const fs::path& root() const { return root_; }

  // Runs `krm-station check` on the station; its output lines in `*lines`.
  int Check(std::vector<std::string>* lines, const fs::path& program = kBin / "krm-station",
            const std::function<void()>& in_child = {}) const {
    const fs::path out = tmp_.root() / "check.txt";
    const int status =
        testing::RunChild({program.string(), "check", root_.string()}, out.string(), in_child)
            .status;
    *lines = Lines(testing::ReadWhole(out));
    return status;
  }

 private:
  testing::TempStation tmp_;
  fs::path root_;
};

TEST(StationCheck, WholeStationPassesEveryCheck) {
  CheckedStation station;
  // Found under any letter case, as a run finds them.
  fs::rename(station.root() / "win_sys3.syc", station.root() / "WIN_SYS3.SYC");
  fs::rename(station.root() / "KRM_5.bat", station.root() / "krm_5.BAT");
  std::vector<std::string> lines;
  EXPECT_EQ(station.Check(&lines), 0);
  ASSERT_EQ(lines.size(), 10u);
  for (const std::string& line : lines) EXPECT_TRUE(line.starts_with("OK   ")) << line;
  EXPECT_EQ(lines[4], "OK   grade table: windows/win_rt1.dll: equals win_sys1.syc + win_sys2.syc");
}

TEST(StationCheck, FreshStationPassesWithItsGradeFilesNotJoinedYet) {
  testing::TempStation tmp;
  const fs::path root = tmp.root() / "station";
  ASSERT_EQ(testing::RunChild({(kBin / "krm-station").string(), "init", root.string()}).status, 0);
  platform::DefaultEnv env;
  const std::vector<CheckLine> lines = CheckStation(env, root);
  for (const CheckLine& line : lines) EXPECT_TRUE(line.ok) << FormatCheckLine(line);
  EXPECT_EQ(FormatCheckLine(lines.at(6)),
            "OK   grade tables database: win_sys3.syc + win_sys4.syc: GirdleThickness 8 rows, "
            "CULET_DESCRIPTION 8 rows, GIRDLE_DESC_CLASS 64 rows (not joined yet)");
}

// A way to break a station, and the FAIL lines it must give (each the start of a line).
struct Broken {
  const char* name;
  void (*make)(const fs::path& root);
  std::vector<std::string> fails;
};

void Overwrite(const fs::path& path, std::uint64_t at, const std::string& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void DropTable(const fs::path& root) {
  std::unique_ptr<platform::Database> db;
  ASSERT_TRUE(platform::Database::Open(root / "data" / "data.mdb", &db).ok());
  ASSERT_TRUE(db->Execute("DROP TABLE Round3").ok());
  ASSERT_TRUE(db->Execute("ALTER TABLE UserData DROP COLUMN SHAPE").ok());
}

class BrokenStation : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenStation, FailsItsCheckWithWhatToDo) {
  CheckedStation station;
  GetParam().make(station.root());
  std::vector<std::string> lines;
  EXPECT_EQ(station.Check(&lines), 1);
  EXPECT_EQ(lines.size(), 10u + (std::string(GetParam().name) == "ShortTablePart"));
  std::vector<std::string> fails;
  for (const std::string& line : lines) {
    if (line.starts_with("FAIL")) fails.push_back(line);
  }
  ASSERT_EQ(fails.size(), GetParam().fails.size()) << ::testing::PrintToString(lines);
  for (std::size_t i = 0; i < fails.size(); ++i) {
    EXPECT_TRUE(fails[i].starts_with(GetParam().fails[i])) << fails[i];
    EXPECT_NE(fails[i].find("; "), std::string::npos) << "no advice: " << fails[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, BrokenStation,
    ::testing::Values(
        Broken{"MissingPart",
               [](const fs::path& root) { fs::remove(root / "win_sys2.syc"); },
               {"FAIL part file: win_sys2.syc: missing; put the station's part files back",
                "FAIL grade table: windows/win_rt1.dll: cannot be compared with win_sys1.syc + "
                "win_sys2.syc"}},
        Broken{"ShortTablePart",
               [](const fs::path& root) { fs::resize_file(root / "win_sys2.syc", 1000); },
               {"FAIL grade table parts: win_sys1.syc + win_sys2.syc: 19294120 bytes, short of "
                "the grade table's 38586240"}},
        Broken{"TableDifferingFromParts",
               [](const fs::path& root) {
                 Overwrite(root / "windows" / "win_rt1.dll", 20000000, "#");
               },
               {"FAIL grade table: windows/win_rt1.dll: differs from win_sys1.syc + win_sys2.syc "
                "at byte 20000000; the next run joins it again"}},
        Broken{
            "DatabaseShorterThanParts",
            [](const fs::path& root) { fs::resize_file(root / "windows" / "win_rt2.dll", 10000); },
            {"FAIL grade tables database file: windows/win_rt2.dll: shorter than "
             "win_sys3.syc + win_sys4.syc: it ends at byte 10000; remove it",
             "FAIL grade tables database: windows/win_rt2.dll: "}},
        Broken{"GradeTableIsAFolder",
               [](const fs::path& root) {
                 fs::remove(root / "windows" / "win_rt1.dll");
                 fs::create_directory(root / "windows" / "win_rt1.dll");
               },
               {"FAIL grade table: windows/win_rt1.dll: a folder, not a file; remove it"}},
        Broken{"ReportDatabaseNoDatabase",
               [](const fs::path& root) {
                 fs::remove(root / "data" / "data.mdb");
                 std::ofstream(root / "data" / "data.mdb") << "no database, just text\n";
               },
               {"FAIL report database: data/data.mdb: not readable (file is not a database); "
                "restore it"}},
        Broken{"ReportDatabaseWithoutItsTables",
               DropTable,
               {"FAIL report database: data/data.mdb: no table Round3, UserData without SHAPE; "
                "restore it"}},
        Broken{"MissingReportDatabase",
               [](const fs::path& root) { fs::remove(root / "data" / "data.mdb"); },
               {"FAIL report database: data/data.mdb: missing"}},
        Broken{"MissingFollowUp",
               [](const fs::path& root) { fs::remove(root / "KRM_5.bat"); },
               {"FAIL follow-up: KRM_5.bat: missing; put the station's follow-up batch file "
                "back"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StationCheck, ReadOnlyDataFolderFails) {
#ifdef _WIN32
  GTEST_SKIP() << "a folder the station's user cannot write needs Windows access rights, which "
                  "Wine does not keep (it runs as the Linux user)";
#else
  CheckedStation station;
  const fs::path data = station.root() / "data";
  // Permissions do not bind the superuser: the check then runs as an unprivileged user, from a
  // copy of the program that the user can reach.
  const bool root = ::geteuid() == 0;
  std::optional<testing::ReachableCopy> copy;
  fs::path program = kBin / "krm-station";
  if (root) {
    fs::permissions(station.root().parent_path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(station.root(), fs::perms::all, fs::perm_options::add);
    if (!testing::ReachableByAll(station.root() / "KRM_5.bat")) {
      GTEST_SKIP() << "no unprivileged run: the temporary folder "
                   << fs::temp_directory_path().string() << " cannot be entered by every user";
    }
    copy.emplace(program);
    if (copy->path().empty()) GTEST_SKIP() << "no unprivileged run: " << copy->reason();
    program = copy->path();
  }
  fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  std::vector<std::string> lines;
  const int status = station.Check(&lines, program, [root] {
    if (root) testing::BecomeUnprivileged();
  });
  fs::permissions(data, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(lines.size(), 10u);
  // The write-ahead log files that a run leaves beside the report database are there to be used:
  // the folder is what fails.
  EXPECT_TRUE(lines[7].starts_with("OK   report database: data/data.mdb: ")) << lines[7];
  EXPECT_EQ(lines[8],
            "FAIL data folder: data: not writable (permission denied); let the station's user "
            "write in it, or no result of a run is written");
#endif
}

TEST(StationCheck, UsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check"}, {"check", "a", "b"}, {"check", "/no/such/folder"}}) {
    std::vector<std::string> argv = {(kBin / "krm-station").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_EQ(testing::RunChild(argv).status, 64) << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace krm::tools
