// The database layer: opening never creates, rows in rowid order as text, NULL as no value, bound
// parameters, column affinity, table look-up, transactions, and files that are no database.
#include "platform/database.h"

#include <gtest/gtest.h>

#include "platform/recording_env.h"

namespace krm::platform {
namespace {

using testing::TempStation;

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Database::Create(path_, &db_).ok());
    ASSERT_TRUE(db_->ExecuteScript("CREATE TABLE Bands (ID_ INTEGER, Min REAL, Description TEXT);"
                                   "INSERT INTO Bands (rowid, ID_, Min, Description) VALUES "
                                   "(3, 3, 1.7, 'Thin'), (1, 1, 0, NULL), (2, 2, 1.0, '');")
                    .ok());
  }
  std::vector<Row> Select(std::string_view sql, const std::vector<Value>& params = {}) {
    std::vector<Row> rows;
    EXPECT_TRUE(db_->Query(sql, params, &rows).ok()) << sql;
    return rows;
  }
  TempStation station_;
  const std::filesystem::path path_ = station_.root() / "g.db";
  std::unique_ptr<Database> db_;
};

TEST(DatabaseOpen, NeverCreatesAndTellsFailuresApart) {
  TempStation station;
  std::unique_ptr<Database> db;
  EXPECT_EQ(Database::Open(station.root() / "missing.db", &db).code(), Status::Code::kNotFound);
  EXPECT_FALSE(station.Exists("missing.db"));
  EXPECT_EQ(Database::Open(station.root(), &db).code(), Status::Code::kNotFound);
  station.Write("text.db", std::string(2048, 'x'));
  EXPECT_EQ(Database::Open(station.root() / "text.db", &db).code(), Status::Code::kCorrupt);
  EXPECT_EQ(db, nullptr);
  station.Write("empty.db", "");  // an empty file is an empty database
  EXPECT_TRUE(Database::Open(station.root() / "empty.db", &db).ok());
  // Create never touches an existing file.
  EXPECT_EQ(Database::Create(station.root() / "text.db", &db).code(), Status::Code::kInvalid);
  EXPECT_EQ(station.Read("text.db"), std::string(2048, 'x'));
}

TEST_F(DatabaseTest, SelectAllInRowidOrderAsText) {
  std::vector<std::string> names;
  std::vector<Row> rows;
  ASSERT_TRUE(db_->Query("Select * from Bands", {}, &rows, &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"ID_", "Min", "Description"}));
  const std::vector<Row> expected = {
      {"1", "0.0", std::nullopt}, {"2", "1.0", ""}, {"3", "1.7", "Thin"}};
  EXPECT_EQ(rows, expected);
  EXPECT_FALSE(db_->Query("Select * from NoSuchTable", {}, &rows).ok());
  EXPECT_TRUE(rows.empty());
}

TEST_F(DatabaseTest, ParametersAreBoundNeverSpliced) {
  const Value hostile = "x'); DROP TABLE Bands; --";
  ASSERT_TRUE(
      db_->Execute("INSERT INTO Bands VALUES (?, ?, ?)", {"9", std::nullopt, hostile}).ok());
  EXPECT_EQ(Select("SELECT Min, Description FROM Bands WHERE ID_ = ?", {"9"}),
            (std::vector<Row>{{std::nullopt, hostile}}));
  EXPECT_TRUE(db_->HasTable("Bands"));
  const std::string quoted = Database::QuoteName("a\"b");
  EXPECT_EQ(quoted, "\"a\"\"b\"");
  ASSERT_TRUE(db_->Execute("CREATE TABLE " + quoted + " (v)").ok());
  EXPECT_TRUE(db_->HasTable("A\"B"));
  EXPECT_FALSE(db_->HasTable("Band"));
}

TEST_F(DatabaseTest, ColumnsWithTheirAffinity) {
  ASSERT_TRUE(db_->Execute("CREATE TABLE Round1 (RID INTEGER, A VARCHAR(10), B DOUBLE, C DECIMAL, "
                           "D BLOB, E, F FLOATING POINT, G CLOB)")
                  .ok());
  std::vector<Column> columns;
  ASSERT_TRUE(db_->Columns("round1", &columns).ok());
  const std::vector<std::pair<std::string, Affinity>> expected = {
      {"RID", Affinity::kInteger}, {"A", Affinity::kText}, {"B", Affinity::kReal},
      {"C", Affinity::kNumeric},   {"D", Affinity::kBlob}, {"E", Affinity::kBlob},
      {"F", Affinity::kInteger},   {"G", Affinity::kText}};
  std::vector<std::pair<std::string, Affinity>> got;
  for (const Column& c : columns) got.emplace_back(c.name, c.affinity);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(db_->Columns("Round9", &columns).code(), Status::Code::kNotFound);
}

TEST_F(DatabaseTest, TransactionsCommitRollBackAndRollBackOnClose) {
  const auto count = [&] { return Select("SELECT count(*) FROM Bands").at(0).at(0); };
  ASSERT_TRUE(db_->Begin().ok());
  ASSERT_TRUE(db_->Execute("DELETE FROM Bands").ok());
  ASSERT_TRUE(db_->Rollback().ok());
  EXPECT_EQ(count(), "3");
  ASSERT_TRUE(db_->Begin().ok());
  ASSERT_TRUE(db_->Execute("DELETE FROM Bands WHERE ID_ = 1").ok());
  ASSERT_TRUE(db_->Commit().ok());
  EXPECT_EQ(count(), "2");
  ASSERT_TRUE(db_->Begin().ok());
  ASSERT_TRUE(db_->Execute("DELETE FROM Bands").ok());
  db_.reset();  // closed half way
  ASSERT_TRUE(Database::Open(path_, &db_).ok());
  EXPECT_EQ(count(), "2");
}

}  // namespace
}  // namespace krm::platform
