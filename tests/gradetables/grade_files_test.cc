// Joining of the part files and provisioning at the start of a grading. Missing,
// short and unreadable grade files in a whole run are tried by the fault tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "gradetables/grade_file_join.h"
#include "gradetables/grade_table_reader.h"
#include "gradetables/provisioning.h"
#include "platform/database.h"
#include "platform/recording_env.h"
#include "tools/default_grade_model.h"

namespace krm::gradetables {
namespace {

// Counts the files opened for binary access, to tell a join that did its work from one that
// found nothing to do.
class CountingEnv : public testing::RecordingEnv {
 public:
  Status OpenBinary(const fs::path& path, bool create,
                    std::unique_ptr<platform::BinaryFile>* file) override {
    ++binary_opens;
    return RecordingEnv::OpenBinary(path, create, file);
  }
  int binary_opens = 0;
};

class GradeFiles : public ::testing::Test {
 protected:
  void Write(std::initializer_list<std::pair<const char*, std::string>> files) {
    for (const auto& [name, contents] : files) station.Write(name, contents);
  }
  testing::TempStation station;
  CountingEnv env;
  intake::StationPaths paths{station.root()};
};

TEST_F(GradeFiles, JoinRewritesOnlyTheBlocksThatDifferAndKeepsTheTail) {
  // Two blocks and a bit.
  const std::string first(kJoinBlockSize + 7, 'a'), second(kJoinBlockSize, 'b');
  Write({{"win_sys1.syc", first}, {"win_sys2.syc", second}});
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  platform::FileIdentity joined, again;
  ASSERT_TRUE(env.Identify(paths.GradeTable(), &joined).ok());
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  ASSERT_TRUE(env.Identify(paths.GradeTable(), &again).ok());
  EXPECT_EQ(again, joined);  // holding its parts, the table is not written again
  // A longer target keeps what lies beyond the parts.
  std::string damaged = first + second + "tail";
  damaged[kJoinBlockSize + 100] = 'X';
  station.Write("windows/win_rt1.dll", damaged);
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), first + second + "tail");
}

TEST_F(GradeFiles, RunMemoSkipsTheJoinOnlyWhilePartsAndTableAreUnchanged) {
  Write({{"win_sys1.syc", "1234"}, {"win_sys2.syc", "5678"}});
  std::optional<JoinMemo> memo;
  ASSERT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kJoined);
  // The file changed before the next join (none: nothing changed), then the table it leaves.
  const char* const changes[][3] = {{nullptr, nullptr, "12345678"},
                                    {"win_sys1.syc", "abcd", "abcd5678"},
                                    {"win_sys2.syc", "56789", "abcd56789"},
                                    {"windows/win_rt1.dll", "zzzzzzzzz", "abcd56789"}};
  for (const auto& [file, contents, table] : changes) {
    if (file) station.Write(file, contents);
    env.binary_opens = 0;
    ASSERT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kJoined);
    EXPECT_EQ(env.binary_opens, file ? 3 : 0) << table;
    EXPECT_EQ(station.Read("windows/win_rt1.dll"), table);
  }
  // A failed join (a part missing, or a folder) forgets, so that the next one tries again; the
  // parts it could read are joined.
  station.Write("win_sys1.syc", "wxyz");
  fs::remove(station.root() / "win_sys2.syc");
  EXPECT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kFailed);
  EXPECT_FALSE(memo.has_value());
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), "wxyz56789");
  fs::create_directory(station.root() / "win_sys2.syc");
  EXPECT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kFailed);
}

TEST_F(GradeFiles, BrokenDatabaseJoinIsJoinedAgainOnceThePartsAreWhole) {
  ASSERT_TRUE(tools::WriteGradeTablesDatabase(env, station.root() / "db").ok());
  const std::string db = station.Read("db");
  const std::string first = db.substr(0, db.size() / 2), second = db.substr(db.size() / 2);
  Write({{"win_sys1.syc", "t"}, {"win_sys2.syc", "t"}, {"win_sys3.syc", first}});
  intake::Station run(env, station.root());
  StationGradeFiles files(run);
  // The second database part is missing, then cut short: the database is joined again at the
  // next grading until the parts make a database whose tables can be read.
  EXPECT_EQ(files.Provide(), Provisioning::kReady);
  station.Write("win_sys4.syc", second.substr(0, second.size() / 2));
  EXPECT_EQ(files.Provide(), Provisioning::kReady);
  EXPECT_TRUE(station.Exists("windows/win_rt2.dll.joining"));
  station.Write("win_sys4.syc", second);
  EXPECT_EQ(files.Provide(), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), db);
  EXPECT_FALSE(station.Exists("windows/win_rt2.dll.joining"));
  std::vector<std::string> whats;
  for (const Fault& f : run.faults.faults()) whats.push_back(f.what + ": " + f.path);
  EXPECT_THAT(whats, ::testing::ElementsAre(
                         "grade table not joined, the cut grade is not valid: win_sys2.syc",
                         "grade tables database not joined: win_sys4.syc",
                         "grade tables database joined from broken parts: win_sys4.syc"));
  // From now on the database is whole and kept, whatever happens to its parts.
  station.Write("win_sys3.syc", "changed");
  EXPECT_EQ(files.Provide(), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), db);
  // A run killed while joining leaves the mark behind as well.
  Write({{"win_sys3.syc", first},
         {"windows/win_rt2.dll", "da"},
         {"windows/win_rt2.dll.joining", ""}});
  EXPECT_EQ(files.Provide(), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), db);
  EXPECT_FALSE(station.Exists("windows/win_rt2.dll.joining"));
}

TEST_F(GradeFiles, GradingsOfARunShareTheDatabaseTablesWhileTheFileIsUnchanged) {
  fs::create_directories(paths.GradeDatabase().parent_path());
  ASSERT_TRUE(tools::WriteGradeTablesDatabase(env, paths.GradeDatabase()).ok());
  intake::Station run(env, station.root());
  StationGradeFiles files(run);
  const auto culet_rows = [&files] {
    GradeTableReader table;
    GradeTables tables;
    files.Open(&table, &tables);
    const GradeTables::Table* culet = tables.Find(kCuletTable);
    return culet ? static_cast<int>(culet->rows.size()) : -1;
  };
  const int rows = culet_rows();
  ASSERT_GT(rows, 1);
  EXPECT_EQ(culet_rows(), rows);
  // A row deleted between two gradings leaves the file as long as it was: the next grading reads
  // the tables anew all the same.
  std::uint64_t size_before = 0, size_after = 0;
  ASSERT_TRUE(env.FileSize(paths.GradeDatabase(), &size_before).ok());
  {
    std::unique_ptr<platform::Database> db;
    ASSERT_TRUE(platform::Database::Open(paths.GradeDatabase(), &db).ok());
    ASSERT_TRUE(db->Execute("DELETE FROM CULET_DESCRIPTION WHERE rowid = 1").ok());
  }
  ASSERT_TRUE(env.FileSize(paths.GradeDatabase(), &size_after).ok());
  EXPECT_EQ(size_after, size_before);
  EXPECT_EQ(culet_rows(), rows - 1);
  // A database that can no longer be read is said at every grading, not served from before.
  station.Write("windows/win_rt2.dll", "no database");
  EXPECT_EQ(culet_rows(), -1);
  EXPECT_EQ(culet_rows(), -1);
  EXPECT_FALSE(run.faults.empty());
}

}  // namespace
}  // namespace krm::gradetables
