// Joining of the part files, provisioning at the start of a grading, and cell reads.
#include <gtest/gtest.h>

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
