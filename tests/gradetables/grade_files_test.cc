// Joining of the part files, provisioning at the start of a grading, and cell reads.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "gradetables/grade_file_join.h"
#include "gradetables/grade_table_reader.h"
#include "gradetables/provisioning.h"
#include "platform/recording_env.h"

namespace krm::gradetables {
namespace {

using testing::RecordingEnv;
using testing::TempStation;

TEST(GradeFileJoin, OverwritesFirstBytesAndKeepsTheTail) {
  TempStation station;
  RecordingEnv env;
  app::StationPaths paths(station.root());
  station.Write("win_sys1.syc", "ABCDEFGHIJ");
  station.Write("win_sys2.syc", "klmno");
  station.Write("windows/win_rt1.dll", "01234567890123456789");
  EXPECT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), "ABCDEFGHIJklmno56789");
}

TEST(GradeFileJoin, FailuresAreValues) {
  TempStation station;
  RecordingEnv env;
  app::StationPaths paths(station.root());
  // Missing second part: the first is written, the join reports the failure.
  station.Write("win_sys1.syc", "abc");
  EXPECT_EQ(MakeGradeTableFile(env, paths), JoinResult::kFailed);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), "abc");
  // A part that is a folder.
  std::filesystem::create_directory(station.root() / "win_sys2.syc");
  EXPECT_EQ(MakeGradeTableFile(env, paths), JoinResult::kFailed);
  // A target that is a folder.
  std::filesystem::create_directories(station.root() / "windows/win_rt2.dll");
  station.Write("win_sys3.syc", "x");
  station.Write("win_sys4.syc", "");
  EXPECT_EQ(MakeGradeDatabaseFile(env, paths), JoinResult::kFailed);
}

TEST(Provisioning, DatabaseJoinedOnlyWhenMissing) {
  TempStation station;
  RecordingEnv env;
  app::StationPaths paths(station.root());
  // Missing parts: each target is opened (created empty) before the failing part is read.
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "");
  std::filesystem::remove(station.root() / "windows/win_rt2.dll");
  std::filesystem::create_directory(station.root() / "windows/win_rt2.dll");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kDatabaseMissing);
  EXPECT_TRUE(env.messages.empty());  // the grading shows the message itself
  std::filesystem::remove(station.root() / "windows/win_rt2.dll");

  station.Write("win_sys1.syc", "12");
  station.Write("win_sys2.syc", "34");
  station.Write("win_sys3.syc", "db");
  station.Write("win_sys4.syc", "1");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), "1234");
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "db1");

  station.Write("win_sys1.syc", "55");
  station.Write("win_sys3.syc", "XX");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), "5534");
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "db1");  // kept until removed
  std::filesystem::remove(station.root() / "windows/win_rt2.dll");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "XX1");
}

// Counts the files opened for binary access, to tell a join that did its work from one that
// found nothing to do.
class CountingEnv : public RecordingEnv {
 public:
  Status OpenBinary(const fs::path& path, bool create,
                    std::unique_ptr<platform::BinaryFile>* file) override {
    ++binary_opens;
    return RecordingEnv::OpenBinary(path, create, file);
  }
  int binary_opens = 0;
};

platform::FileIdentity IdentityOf(platform::Env& env, const fs::path& path) {
  platform::FileIdentity id;
  EXPECT_TRUE(env.Identify(path, &id).ok()) << path;
  return id;
}

TEST(GradeFileJoin, TargetThatHoldsItsPartsIsNotWrittenAgain) {
  TempStation station;
  RecordingEnv env;
  app::StationPaths paths(station.root());
  // Two blocks and a bit, so that only the block that differs is rewritten.
  const std::string first(kJoinBlockSize + 7, 'a'), second(kJoinBlockSize, 'b');
  station.Write("win_sys1.syc", first);
  station.Write("win_sys2.syc", second);
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  const fs::path table = paths.GradeTable();
  const platform::FileIdentity joined = IdentityOf(env, table);
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  EXPECT_EQ(IdentityOf(env, table), joined);

  std::string damaged = first + second + "tail";
  damaged[kJoinBlockSize + 100] = 'X';
  station.Write("windows/win_rt1.dll", damaged);
  ASSERT_EQ(MakeGradeTableFile(env, paths), JoinResult::kJoined);
  EXPECT_EQ(station.Read("windows/win_rt1.dll"), first + second + "tail");
}

TEST(GradeFileJoin, RunMemoSkipsOnlyWhileNothingChanged) {
  TempStation station;
  CountingEnv env;
  app::StationPaths paths(station.root());
  station.Write("win_sys1.syc", "1234");
  station.Write("win_sys2.syc", "5678");
  std::optional<JoinMemo> memo;
  ASSERT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kJoined);
  ASSERT_TRUE(memo.has_value());
  const struct {
    const char* what;
    const char* file;
    const char* contents;
    const char* table;
  } changes[] = {
      {"nothing changed", nullptr, nullptr, "12345678"},
      {"first part rewritten", "win_sys1.syc", "abcd", "abcd5678"},
      {"second part grown", "win_sys2.syc", "56789", "abcd56789"},
      {"table overwritten", "windows/win_rt1.dll", "zzzzzzzzz", "abcd56789"},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    if (c.file) station.Write(c.file, c.contents);
    env.binary_opens = 0;
    ASSERT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kJoined);
    EXPECT_EQ(env.binary_opens, c.file ? 3 : 0);
    EXPECT_EQ(station.Read("windows/win_rt1.dll"), c.table);
  }
  // A failed join forgets, so that the next one tries again.
  std::filesystem::remove(station.root() / "win_sys2.syc");
  EXPECT_EQ(MakeGradeTableFile(env, paths, &memo), JoinResult::kFailed);
  EXPECT_FALSE(memo.has_value());
}

TEST(Provisioning, DatabaseJoinCutShortIsJoinedAgain) {
  TempStation station;
  RecordingEnv env;
  app::StationPaths paths(station.root());
  station.Write("win_sys1.syc", "t");
  station.Write("win_sys2.syc", "t");
  station.Write("win_sys3.syc", "data");
  // The second database part is missing: the joined database stays short, as the join leaves it.
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "data");
  station.Write("win_sys4.syc", "base");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "database");
  // From now on the database is whole and kept.
  station.Write("win_sys3.syc", "DATA");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "database");
  // A run killed while joining leaves the mark behind as well.
  std::filesystem::remove(station.root() / "windows/win_rt2.dll");
  station.Write("windows/win_rt2.dll", "da");
  station.Write("windows/win_rt2.dll.joining", "");
  EXPECT_EQ(ProvideGradeFiles(env, paths), Provisioning::kReady);
  EXPECT_EQ(station.Read("windows/win_rt2.dll"), "DATAbase");
  EXPECT_FALSE(station.Exists("windows/win_rt2.dll.joining"));
}

TEST(GradeTableReader, ReadsByCellNumber) {
  EXPECT_EQ(CellNumber(1, 0, 0, 0, 0, 0), 1330560);  // byte position 1330561
  EXPECT_EQ(CellNumber(28, 43, 34, 8, 7, 11), kGradeTableCells - 1);
  TempStation station;
  RecordingEnv env;
  station.Write("t.dll", "123");
  GradeTableReader reader = GradeTableReader::Open(env, station.root() / "t.dll");
  EXPECT_EQ(reader.ReadCell(0), '1');
  EXPECT_EQ(reader.ReadCell(2), '3');
  EXPECT_EQ(reader.ReadCell(3), std::nullopt);
  EXPECT_EQ(reader.ReadCell(-1), std::nullopt);
  reader.Close();
  EXPECT_EQ(reader.ReadCell(0), std::nullopt);
  EXPECT_FALSE(GradeTableReader::Open(env, station.root() / "none").is_open());
}

}  // namespace
}  // namespace krm::gradetables
