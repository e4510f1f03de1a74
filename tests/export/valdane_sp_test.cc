// The report export on small report databases and on the shipped one. The alert of a missing
// report database, and that the run then ends before the recut advice, are checked on the real
// program by the station case of a missing report database; a file that is no database fails to
// open as a missing one does (the database tests tell the two apart).
#include "export/valdane_sp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/report_database.h"
#include "platform/recording_env.h"

namespace krm::report_export {
namespace {

// A small report database: a key in Round2 and Round4 only, a culet column that is numeric in one
// table and text in the other, letter case that differs from the keys, a Round4 that refuses rows
// with ONLY_24 from 100 on; Round3 and Round5 missing.
constexpr char kSmallSchema[] = R"(
  CREATE TABLE Round1 (RID INTEGER, STONE_ID TEXT, CULET_MM REAL, TABLE_PC REAL);
  CREATE TABLE Round2 (RID INTEGER, CULET_MM TEXT, ONLY_24 REAL);
  CREATE TABLE Round4 (RID INTEGER, only_24 REAL CHECK (only_24 < 100), Table_Pc TEXT);
  CREATE TABLE RoundCutSym (RID INTEGER); CREATE TABLE UserData (RID INTEGER, SHAPE TEXT);
)";

class ReportExport : public ::testing::Test {
 protected:
  void SetUp() override {
    station.Write("data/.keep", "");
    ASSERT_TRUE(platform::Database::Create(path, &db).ok() && db->ExecuteScript(kSmallSchema).ok());
  }
  // Exports a measurement file of `items`; the run always goes on. True when all was exported.
  // The fault lines of the export are left in `faults`.
  bool Export(const std::string& items) {
    station.Write("Test.txt", "[NumericalParameters]\r\n" + items + "\r\n");
    intake::Station run(env, station.root());
    Valdane_Sp valdane;
    EXPECT_FALSE(valdane.PublicMain(run));
    faults = run.faults.Lines("P");
    return valdane.last_failure().ok();
  }
  // The values a query gives, in order, joined with "|" ("NULL" for no value).
  std::string Values(const std::string& sql) {
    std::vector<platform::Row> rows;
    EXPECT_TRUE(db->Query(sql, {}, &rows).ok()) << sql;
    std::string out;
    for (const auto& row : rows) {
      for (const auto& v : row) {
        if (!out.empty()) out += '|';
        out += v.value_or("NULL");
      }
    }
    return out;
  }

  testing::TempStation station;
  testing::RecordingEnv env;
  const std::filesystem::path path = station.root() / "data/data.mdb";
  std::unique_ptr<platform::Database> db;
  std::vector<std::string> faults;
};

// Every table of the rules that is missing loses the stone's values, and an export that stops
// leaves all of them as they were: each is said. An item without "=" stops the export only before
// the stop key.
TEST_F(ReportExport, WhatIsNotExportedIsSaid) {
  const std::vector<std::string> missing = {
      "P: report table not written: data/data.mdb: no table Round3",
      "P: report table not written: data/data.mdb: no table Round5"};
  EXPECT_TRUE(Export("TABLE_PC=57"));
  EXPECT_EQ(faults, missing);
  const std::string all = "SELECT * FROM Round1, Round2, Round4, RoundCutSym, UserData";
  const std::string exported = Values(all);
  EXPECT_EQ(exported, "101|NULL|NULL|57.0|101|NULL|NULL|101|NULL|57|101|101|");
  EXPECT_FALSE(Export("TABLE_PC=56\r\nbroken item\r\nMODEL_IS_SEMI_POLISHED=0"));
  EXPECT_EQ(faults, std::vector<std::string>{"P: report database not written: Test.txt: an item "
                                             "without \"=\" before MODEL_IS_SEMI_POLISHED"});
  EXPECT_EQ(Values(all), exported);
  // Refused by Round4, after Round1 and Round2 took theirs.
  EXPECT_FALSE(Export("TABLE_PC=56\r\nONLY_24=500"));
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[2],
            "P: report database not written: data/data.mdb: CHECK constraint failed: "
            "only_24 < 100");
  EXPECT_EQ(Values(all), exported);
  EXPECT_TRUE(Export("TABLE_PC=57\r\nMODEL_IS_SEMI_POLISHED=0\r\nbroken item\r\nSTONE_ID=K-2"));
  EXPECT_EQ(Values("SELECT * FROM Round1"), "101|K-2|NULL|57.0");
}

// The database file's own word on its journal: bytes 18 and 19 of the header are 2 in the
// write-ahead-log mode, 1 with a rollback journal.
int JournalVersion(const std::filesystem::path& path) {
  const std::string header = testing::ReadWhole(path).substr(0, 20);
  return header.size() == 20 ? header[18] * 10 + header[19] : -1;
}

// A report database made before the write-ahead log was used is switched to it by the export;
// a new one is made in it. The log and its index stay beside the database from run to run, the
// log empty: once the export is over, the database file alone holds the stone (as a copy of it
// would), and the next run writes into it in turn.
TEST_F(ReportExport, DatabaseIsKeptInTheWriteAheadLog) {
  EXPECT_EQ(JournalVersion(path), 11);
  db.reset();  // the export's connection is the only one
  const auto copy = station.root() / "copy.mdb";
  for (const char* table_pc : {"57", "58"}) {
    ASSERT_TRUE(Export(std::string("TABLE_PC=") + table_pc));
    EXPECT_EQ(JournalVersion(path), 22);
    EXPECT_EQ(testing::ReadWhole(station.root() / "data/data.mdb-wal"), "");
    EXPECT_TRUE(station.Exists("data/data.mdb-shm"));
    std::filesystem::remove(copy);
    std::filesystem::copy_file(path, copy);
    std::unique_ptr<platform::Database> alone;
    ASSERT_TRUE(platform::Database::Open(copy, &alone).ok());
    std::vector<platform::Row> rows;
    ASSERT_TRUE(alone->Query("SELECT TABLE_PC FROM Round4", {}, &rows).ok());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], table_pc);
  }
  const auto fresh = station.root() / "fresh.mdb";
  ASSERT_TRUE(CreateReportDatabase(fresh).ok());
  EXPECT_EQ(JournalVersion(fresh), 22);
}

TEST_F(ReportExport, KeysLandInEverySameNamedColumnAndNoOther) {
  EXPECT_TRUE(
      Export("ONLY_24=2.4\r\nCULET_MM=\r\ntable_pc=57.5\r\nSTONE_ID=K-1\r\n"
             "UNKNOWN=9\r\nCUTTING_TYPE=Brilliant"));
  EXPECT_EQ(Values("SELECT * FROM Round1, Round2, Round4, RoundCutSym, UserData"),
            "101|K-1|NULL|57.5|101|N/A|2.4|101|2.4|57.5|101|101|Round Brilliant");
  // The next run replaces the rows; a filled UserData gets the shape on its first row only (two
  // UserData rows, so the joined row comes twice).
  ASSERT_TRUE(db->ExecuteScript("INSERT INTO UserData VALUES (8, 'second');").ok());
  EXPECT_TRUE(Export("CUTTING_TYPE=Oval\r\nTABLE_PC=56"));
  EXPECT_EQ(Values("SELECT * FROM Round1, Round4, UserData"),
            "101|NULL|NULL|56.0|101|NULL|56|101|Oval|101|NULL|NULL|56.0|101|NULL|56|8|second");
}

TEST_F(ReportExport, ConvertsValuesByTheColumnType) {
  // The items, then what the numeric culet column of Round1 and the text one of Round2 hold.
  const std::pair<const char*, const char*> cases[] = {
      {"CULET_MM=0.25", "0.25|0.25"},  {"CULET_MM=1e999", "NULL|1e999"},
      {"CULET_MM= 1E2", "100.0| 1E2"}, {"CULET_MM=0.3\r\nculet_mm=x", "0.3|x"},
      {"CULET_MM=abc", "NULL|abc"},    {"CULET_MM=\"quoted\"", "NULL|\"quoted\""},
  };
  for (auto [items, culets] : cases) {
    EXPECT_TRUE(Export(items));
    EXPECT_EQ(Values("SELECT Round1.CULET_MM, Round2.CULET_MM FROM Round1, Round2"), culets);
  }
}

TEST_F(ReportExport, ShippedDatabaseTakesEveryTableAndHostileItemsExecuteNothing) {
  db.reset();
  std::filesystem::remove(path);
  ASSERT_TRUE(CreateReportDatabase(path).ok() && platform::Database::Open(path, &db).ok());
  std::string hostile = "A\"; DROP TABLE Round1; --=1\r\nSTONE_ID\"=x\r\n'CULET_MM'=2\r\n";
  for (int n = 0; n < 10000; ++n) hostile += "KEY_" + std::to_string(n) + "=1\r\n";
  EXPECT_TRUE(Export(hostile + "CULET MM=3\r\nRound1=4\r\nSTONE_ID=" + std::string(10000, 'S')));
  // One row in every table: a second row or an empty table would show in the values.
  const std::string all = "Round1, Round2, Round3, Round4, Round5, RoundCutSym, UserData";
  EXPECT_EQ(Values("SELECT length(Round1.STONE_ID), Round1.CULET_MM FROM " + all), "10000|NULL");
}

}  // namespace
}  // namespace krm::report_export
