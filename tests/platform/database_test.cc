// The database layer: opening never creates, rows in rowid order as text, NULL as no value, bound
// parameters and column affinity. Transactions are tried by the report export, which must leave
// the tables as they were when it fails half way.
#include "platform/database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/recording_env.h"

namespace krm::platform {
namespace {

TEST(Database, OpenNeverCreatesAndTellsFailuresApart) {
  testing::TempStation station;
  std::unique_ptr<Database> db;
  EXPECT_EQ(Database::Open(station.root() / "missing.db", &db).code(), Status::Code::kNotFound);
  EXPECT_FALSE(station.Exists("missing.db"));
  station.Write("text.db", std::string(2048, 'x'));
  EXPECT_EQ(Database::Open(station.root() / "text.db", &db).code(), Status::Code::kCorrupt);
  // Create never touches an existing file.
  EXPECT_EQ(Database::Create(station.root() / "text.db", &db).code(), Status::Code::kInvalid);
  EXPECT_EQ(station.Read("text.db"), std::string(2048, 'x'));
}

TEST(Database, RowsAsTextWithBoundParameters) {
  testing::TempStation station;
  std::unique_ptr<Database> db;
  ASSERT_TRUE(Database::Create(station.root() / "g.db", &db).ok());
  ASSERT_TRUE(db->Execute("CREATE TABLE Bands (ID_ INTEGER, Min REAL, Description TEXT)").ok());
  const Value hostile = "x'); DROP TABLE Bands; --";
  const std::vector<Row> bands = {{"1", "0.0", {}}, {"2", {}, hostile}, {"3", "1.7", ""}};
  for (const Row& b : bands) ASSERT_TRUE(db->Execute("INSERT INTO Bands VALUES (?, ?, ?)", b).ok());
  std::vector<std::string> names;
  std::vector<Row> rows;
  ASSERT_TRUE(db->Query("Select * from Bands", {}, &rows, &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"ID_", "Min", "Description"}));
  EXPECT_EQ(rows, bands);
  EXPECT_FALSE(db->Query("Select * from NoSuchTable", {}, &rows).ok());
}

TEST(Database, OpenForReadingAnyPathWithoutWriting) {
  testing::TempStation station;
#ifdef _WIN32
  const auto path = station.root() / u8"a b%20#\u00e9\u4e2d.db";  // no "?" in Windows names
#else
  const auto path = station.root() / u8"a b%20?#\u00e9\u4e2d.db";
#endif
  std::unique_ptr<Database> db;
  EXPECT_EQ(Database::OpenForReading(path, &db).code(), Status::Code::kNotFound);
  ASSERT_TRUE(Database::Create(path, &db).ok() && db->Execute("CREATE TABLE T (A)").ok() &&
              db->Execute("INSERT INTO T VALUES (7)").ok());
  db.reset();
  ASSERT_TRUE(Database::OpenForReading(path, &db).ok());
  std::vector<Row> rows;
  EXPECT_TRUE(db->Query("SELECT A FROM T", {}, &rows).ok());
  EXPECT_EQ(rows, (std::vector<Row>{{"7"}}));
  EXPECT_FALSE(db->Execute("INSERT INTO T VALUES (8)").ok());
}

// With the log files kept, commits stay in the write-ahead log (however many pages they fill)
// until MakeDurable: the database file alone is what it was, a whole database, so a power cut in
// between loses the commits and damages nothing. MakeDurable copies them in.
TEST(Database, KeptLogHoldsCommitsOutOfTheFileUntilMadeDurable) {
  testing::TempStation station;
  const auto path = station.root() / "r.db";
  const auto copy = station.root() / "copy.db";
  std::unique_ptr<Database> db;
  ASSERT_TRUE(Database::Create(path, &db).ok());
  ASSERT_TRUE(db->Execute("CREATE TABLE T (V TEXT)").ok());
  ASSERT_TRUE(db->UseWriteAheadLog().ok());
  db.reset();
  ASSERT_TRUE(Database::Open(path, &db).ok());
  ASSERT_TRUE(db->UseWriteAheadLog().ok());
  db->KeepLogFiles();
  const auto rows_of_copy = [&] {
    std::filesystem::remove(copy);
    std::filesystem::copy_file(path, copy);
    std::unique_ptr<Database> alone;
    std::vector<Row> rows;
    if (!Database::Open(copy, &alone).ok() ||
        !alone->Query("SELECT count(*) FROM T", {}, &rows).ok()) {
      return std::string("not a database");
    }
    return rows[0][0].value_or("NULL");
  };
  // More pages than SQLite would copy over on its own.
  const std::string big(3000, 'v');
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(db->Execute("INSERT INTO T VALUES (?)", {big}).ok());
  EXPECT_EQ(rows_of_copy(), "0");
  ASSERT_TRUE(db->MakeDurable().ok());
  EXPECT_EQ(rows_of_copy(), "2000");
  ASSERT_TRUE(db->Execute("INSERT INTO T VALUES ('after')").ok());
  db.reset();  // the closing copies the rest in
  EXPECT_EQ(rows_of_copy(), "2001");
  EXPECT_EQ(testing::ReadWhole(station.root() / "r.db-wal"), "");
}

TEST(Database, AffinityOfTheDeclaredType) {
  using enum Affinity;
  const std::pair<const char*, Affinity> cases[] = {
      {"VARCHAR(10)", kText}, {"DOUBLE", kReal}, {"FLOATING POINT", kInteger},
      {"DECIMAL", kNumeric},  {"", kBlob},       {"CLOB", kText},
  };
  for (auto [type, affinity] : cases) EXPECT_EQ(AffinityOf(type), affinity) << type;
}

}  // namespace
}  // namespace krm::platform
