#include "export/valdane_sp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_flow.h"
#include "export/report_database.h"
#include "grading/grade_station.h"
#include "platform/recording_env.h"

namespace krm::report_export {
namespace {

using platform::Database;

// Round tables of a small report database: a key in Round2 and Round4 only, a culet column that
// is numeric in one table and text in the other, letter case that differs from the keys.
constexpr char kSmallSchema[] = R"(
  CREATE TABLE Round1 (RID INTEGER, STONE_ID TEXT, CULET_MM REAL, TABLE_PC REAL);
  CREATE TABLE Round2 (RID INTEGER, CULET_MM TEXT, ONLY_24 REAL);
  CREATE TABLE Round3 (RID INTEGER, TABLE_PC REAL);
  CREATE TABLE Round4 (RID INTEGER, only_24 REAL, Table_Pc TEXT);
  CREATE TABLE Round5 (RID INTEGER, STONE_ID TEXT);
  CREATE TABLE RoundCutSym (RID INTEGER);
  CREATE TABLE UserData (RID INTEGER, SHAPE TEXT);
)";

class ReportExport : public ::testing::Test {
 protected:
  void MakeDatabase(std::string_view sql) {
    std::unique_ptr<Database> db;
    station.Write("data/.keep", "");
    ASSERT_TRUE(Database::Create(station.root() / "data/data.mdb", &db).ok());
    ASSERT_TRUE(db->ExecuteScript(sql).ok());
  }
  void Measure(std::string_view items) {
    station.Write("Test.txt", "[NumericalParameters]\r\n" + std::string(items));
  }
  std::optional<app::RunEnd> Export() {
    app::RunState state(env, station.root());
    Valdane_Sp valdane;
    auto end = valdane.PublicMain(state);
    failure = valdane.last_failure();
    return end;
  }
  // The rows of a query, each value as text ("NULL" for no value), joined with "|".
  std::vector<std::string> Rows(const std::string& sql) {
    std::unique_ptr<Database> db;
    EXPECT_TRUE(Database::Open(station.root() / "data/data.mdb", &db).ok());
    std::vector<platform::Row> rows;
    EXPECT_TRUE(db->Query(sql, {}, &rows).ok()) << sql;
    std::vector<std::string> out;
    for (const auto& row : rows) {
      std::string line;
      for (const auto& v : row) {
        if (!line.empty()) line += '|';
        line += v.value_or("NULL");
      }
      out.push_back(line);
    }
    return out;
  }
  using Lines = std::vector<std::string>;

  testing::TempStation station;
  testing::RecordingEnv env;
  Status failure;
};

TEST_F(ReportExport, KeysLandInEverySameNamedColumnAndNoOther) {
  MakeDatabase(kSmallSchema);
  Measure("ONLY_24=2.4\r\nCULET_MM=\r\ntable_pc=57.5\r\nSTONE_ID=K-1\r\nUNKNOWN=9\r\n");
  EXPECT_FALSE(Export());
  EXPECT_TRUE(failure.ok()) << failure.ToString();
  EXPECT_EQ(Rows("SELECT * FROM Round1"), Lines{"101|K-1|NULL|57.5"});
  EXPECT_EQ(Rows("SELECT * FROM Round2"), Lines{"101|N/A|2.4"});
  EXPECT_EQ(Rows("SELECT * FROM Round3"), Lines{"101|57.5"});
  EXPECT_EQ(Rows("SELECT * FROM Round4"), Lines{"101|2.4|57.5"});
  EXPECT_EQ(Rows("SELECT * FROM Round5"), Lines{"101|K-1"});
  EXPECT_EQ(Rows("SELECT * FROM RoundCutSym"), Lines{"101"});
  EXPECT_TRUE(env.messages.empty());
}

TEST_F(ReportExport, ConvertsValuesByTheColumnType) {
  struct Case {
    std::string items;
    std::string real_column, text_column;
  };
  const Case cases[] = {
      {"CULET_MM=0.25", "0.25", "0.25"},
      {"CULET_MM= 1E2", "100.0", " 1E2"},
      {"CULET_MM=abc", "NULL", "abc"},
      {"CULET_MM=1e999", "NULL", "1e999"},
      {"CULET_MM=0.3\r\nculet_mm=x", "0.3", "x"},
      {"CULET_MM=\"quoted\"", "NULL", "\"quoted\""},
  };
  MakeDatabase(kSmallSchema);
  for (const Case& c : cases) {
    Measure(c.items + "\r\n");
    EXPECT_FALSE(Export());
    EXPECT_EQ(Rows("SELECT CULET_MM FROM Round1"), Lines{c.real_column}) << c.items;
    EXPECT_EQ(Rows("SELECT CULET_MM FROM Round2"), Lines{c.text_column}) << c.items;
  }
}

TEST_F(ReportExport, RunsTwiceLeavingOneRowAndKeepsUserData) {
  MakeDatabase(kSmallSchema);
  Measure("CUTTING_TYPE=Brilliant\r\nTABLE_PC=55\r\n");
  EXPECT_FALSE(Export());
  EXPECT_EQ(Rows("SELECT * FROM UserData"), Lines{"101|Round Brilliant"});
  Measure("CUTTING_TYPE=Oval\r\nTABLE_PC=56\r\n");
  EXPECT_FALSE(Export());
  for (const char* table : {"Round1", "Round2", "Round3", "Round4", "Round5", "RoundCutSym"}) {
    EXPECT_EQ(Rows(std::string("SELECT count(*) FROM ") + table), Lines{"1"}) << table;
  }
  EXPECT_EQ(Rows("SELECT TABLE_PC FROM Round3"), Lines{"56.0"});
  EXPECT_EQ(Rows("SELECT * FROM UserData"), Lines{"101|Oval"});
}

TEST_F(ReportExport, FilledUserDataGetsNoRowOnlyTheShapeOfItsFirstRow) {
  MakeDatabase(std::string(kSmallSchema) +
               "INSERT INTO UserData VALUES (7, 'old'), (8, 'second');");
  Measure("CUTTING_TYPE=Brilliant\r\n");
  EXPECT_FALSE(Export());
  EXPECT_EQ(Rows("SELECT * FROM UserData"), (Lines{"7|Round Brilliant", "8|second"}));
}

TEST_F(ReportExport, ItemWithoutEqualsStopsTheExportOnlyBeforeTheStopKey) {
  MakeDatabase(std::string(kSmallSchema) + "INSERT INTO Round1 (RID, TABLE_PC) VALUES (5, 1);");
  Measure("TABLE_PC=57\r\nbroken item\r\nMODEL_IS_SEMI_POLISHED=0\r\n");
  EXPECT_FALSE(Export());
  EXPECT_FALSE(failure.ok());
  EXPECT_EQ(Rows("SELECT * FROM Round1"), Lines{"5|NULL|NULL|1.0"});
  EXPECT_EQ(Rows("SELECT count(*) FROM UserData"), Lines{"0"});

  Measure("TABLE_PC=57\r\nMODEL_IS_SEMI_POLISHED=0\r\nbroken item\r\nSTONE_ID=K-2\r\n");
  EXPECT_FALSE(Export());
  EXPECT_TRUE(failure.ok());
  EXPECT_EQ(Rows("SELECT * FROM Round1"), Lines{"101|K-2|NULL|57.0"});
}

TEST_F(ReportExport, MissingTableLeavesTheOthersWritten) {
  MakeDatabase(std::string(kSmallSchema) + "DROP TABLE Round3; DROP TABLE UserData;");
  Measure("TABLE_PC=57\r\n");
  EXPECT_FALSE(Export());
  EXPECT_TRUE(failure.ok());
  EXPECT_EQ(Rows("SELECT TABLE_PC FROM Round1"), Lines{"57.0"});
  EXPECT_EQ(Rows("SELECT Table_Pc FROM Round4"), Lines{"57"});
}

TEST_F(ReportExport, FailureHalfWayLeavesTheTablesAsTheyWere) {
  MakeDatabase(
      std::string(kSmallSchema) +
      "INSERT INTO Round1 (RID) VALUES (5);"
      "CREATE TRIGGER refuse BEFORE INSERT ON Round5 BEGIN SELECT RAISE(ABORT, 'no'); END;");
  Measure("TABLE_PC=57\r\n");
  EXPECT_FALSE(Export());
  EXPECT_FALSE(failure.ok());
  EXPECT_EQ(Rows("SELECT RID FROM Round1"), Lines{"5"});
  EXPECT_EQ(Rows("SELECT count(*) FROM RoundCutSym"), Lines{"0"});
}

TEST_F(ReportExport, MissingOrBrokenDatabaseEndsTheRunWithTheAlert) {
  Measure("TABLE_PC=57\r\n");
  for (const char* contents : {"", "not a database, just text"}) {
    if (*contents) station.Write("data/data.mdb", contents);
    env.messages.clear();
    const auto end = Export();
    ASSERT_TRUE(end) << contents;
    EXPECT_EQ(end->status, app::ExitStatus::kReportDatabaseMissing);
    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.messages[0].message, "YOUR DATABASE FILE NOT EXIST.");
    EXPECT_EQ(env.messages[0].style, 64);
    EXPECT_EQ(env.messages[0].title, "ALERT");
  }
}

TEST(ReportExportRun, WithoutReportDatabaseNeitherRecutNorFollowUpRuns) {
  testing::GradeStation station;
  station.WriteMeasurement(testing::WellCutStone());
  station.files().Write("KRM_5.bat", "true\n");
  std::filesystem::remove(station.root() / "data/data.mdb");
  testing::RecordingEnv env;
  EXPECT_EQ(app::Form_Load(env, station.root()), app::ExitStatus::kReportDatabaseMissing);
  EXPECT_TRUE(env.starts.empty());
  EXPECT_FALSE(station.files().Exists("data/recut.txt"));
}

TEST_F(ReportExport, HostileMeasurementFileExecutesNothingFromIt) {
  station.Write("data/.keep", "");
  ASSERT_TRUE(CreateReportDatabase(station.root() / "data/data.mdb").ok());
  std::string items;
  for (int i = 0; i < 10000; ++i)
    items += "KEY_" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  items +=
      "A\"; DROP TABLE Round1; --=1\r\n"
      "STONE_ID\"=x\r\n'CULET_MM'=2\r\nCULET MM=3\r\nRound1=4\r\n";
  items +=
      "STONE_ID=" + std::string(10000, 'S') + "\r\nCULET_MM=0." + std::string(9998, '7') + "\r\n";
  Measure(items);
  EXPECT_FALSE(Export());
  EXPECT_TRUE(failure.ok()) << failure.ToString();
  EXPECT_EQ(Rows("PRAGMA integrity_check"), Lines{"ok"});
  EXPECT_EQ(Rows("SELECT length(STONE_ID), typeof(CULET_MM) FROM Round1"), Lines{"10000|real"});
  for (const char* table : {"Round1", "Round2", "Round3", "Round4", "Round5", "RoundCutSym"}) {
    EXPECT_EQ(Rows(std::string("SELECT RID FROM ") + table), Lines{"101"}) << table;
  }
}

TEST_F(ReportExport, ShippedSchemaTypesKeysAndIsNeverOverwritten) {
  station.Write("data/.keep", "");
  const auto path = station.root() / "data/data.mdb";
  bool created = false;
  ASSERT_TRUE(CreateReportDatabase(path, &created).ok());
  EXPECT_TRUE(created);
  Measure(
      "STONE_ID=K-9\r\nCUTTING_TYPE=Brilliant\r\nCROWN_ANGLE_DEG_8=34.5\r\n"
      "Crown_ANGLE_DEG_DEV=0.4\r\nCRN_PAINTING_DEG_AVG=1.5\r\nCULET_MM=\r\n");
  EXPECT_FALSE(Export());
  EXPECT_EQ(Rows("SELECT STONE_ID, CUTTING_TYPE, CULET_MM FROM Round1"),
            Lines{"K-9|Brilliant|NULL"});
  EXPECT_EQ(Rows("SELECT CROWN_ANGLE_DEG_8 FROM Round3"), Lines{"34.5"});
  EXPECT_EQ(Rows("SELECT CROWN_ANGLE_DEG_DEV FROM Round4"), Lines{"0.4"});
  EXPECT_EQ(Rows("SELECT STONE_ID, CRN_PAINTING_DEG_AVG FROM Round5"), Lines{"K-9|1.5"});
  ASSERT_TRUE(CreateReportDatabase(path, &created).ok());
  EXPECT_FALSE(created);
  EXPECT_EQ(Rows("SELECT count(*) FROM Round1"), Lines{"1"});
}

}  // namespace
}  // namespace krm::report_export
