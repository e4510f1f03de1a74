// The default grade model: its worked examples, class counts and published sums, and the grade
// tables database built from data/grade_tables.sql as the grading looks it up.
#include "gradetables/default_grade_model.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

#include "gradetables/grade_table_reader.h"
#include "gradetables/main_fnc.h"
#include "gradetables/sha256.h"
#include "platform/recording_env.h"

namespace krm::gradetables {
namespace {

const std::string& Table() {
  static const std::string table = DefaultGradeTable();
  return table;
}

TEST(DefaultGradeModel, WorkedExamples) {
  struct Case {
    int t, c, p, s, l, g;
    std::int64_t cell;
    char digit;
  };
  const Case cases[] = {
      {13, 29, 18, 3, 3, 3, 18190119, '1'},  {16, 30, 24, 3, 3, 3, 22217223, '2'},
      {13, 23, 17, 3, 3, 3, 18007815, '3'},  {13, 33, 23, 3, 3, 3, 18315399, '2'},
      {0, 29, 18, 3, 3, 3, 892839, '5'},     {13, 29, 18, 0, 3, 3, 18189831, '3'},
      {13, 29, 18, 3, 3, 11, 18190127, '2'}, {13, 29, 19, 3, 3, 0, 18190980, '1'},
      {1, 0, 0, 0, 0, 0, 1330560, '5'},      {28, 43, 34, 8, 7, 11, 38586239, '5'},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(CellNumber(k.t, k.c, k.p, k.s, k.l, k.g), k.cell);
    EXPECT_EQ(DefaultCellDigit(k.t, k.c, k.p, k.s, k.l, k.g), k.digit) << k.cell;
    EXPECT_EQ(Table()[k.cell], k.digit) << k.cell;
  }
}

TEST(DefaultGradeModel, ClassCountsAndSums) {
  ASSERT_EQ(Table().size(), static_cast<std::size_t>(kGradeTableCells));
  std::array<std::int64_t, 256> counts{};
  for (char byte : Table()) ++counts[static_cast<unsigned char>(byte)];
  EXPECT_EQ(counts['1'], 114840);
  EXPECT_EQ(counts['2'], 1264608);
  EXPECT_EQ(counts['3'], 4893192);
  EXPECT_EQ(counts['4'], 6441984);
  EXPECT_EQ(counts['5'], 25871616);
  EXPECT_EQ(Sha256Hex(Table()), "079140314a9da12a2847c92e0737f1af1e19a46404e31f897c3b16f5c3f3ca37");
  EXPECT_EQ(Sha256Hex(std::string_view(Table()).substr(0, kGradeTableFirstPartSize)),
            "7caf3b8c52c75f8268b2ce9fe662ec3730bbd89a464fcf17ab641bc3b9f24de0");
}

TEST(Sha256, PiecesAcrossBlockBorders) {
  // 56 bytes: the length no longer fits the block, padding takes a second one.
  const std::string_view msg = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  Sha256 pieces;
  pieces.Update(msg.substr(0, 3));
  pieces.Update(msg.substr(3));
  EXPECT_EQ(pieces.HexDigest(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(DefaultGradeModel, GradeTablesDatabaseThroughMainFNC) {
  testing::TempStation station;
  testing::RecordingEnv env;
  const auto path = station.root() / "win_rt2.dll";
  ASSERT_TRUE(WriteGradeTablesDatabase(env, path).ok());
  std::unique_ptr<platform::Database> db;
  ASSERT_TRUE(platform::Database::Open(path, &db).ok());
  MainFNC fnc;
  const std::tuple<double, const char*, const char*, double> bands[] = {
      {3.0, "GirdleThickness", "Medium", 4},
      {1.7, "GirdleThickness", "Thin", 3},
      {0.99, "GirdleThickness", "Extremely Thin", 1},
      {100, "GIRDLETHICKNESS", "", 1},
      {2.5, "CULET_DESCRIPTION", "Medium", 2},
      {10, "CULET_DESCRIPTION", "Extremely Large", 5},
      {-0.01, "CULET_DESCRIPTION", "", 5},
  };
  for (const auto& [value, table, description, id] : bands) {
    EXPECT_EQ(fnc.eDescription(value, table, db.get()), description) << value;
    EXPECT_EQ(fnc.LastDescriptionIDNumber(), id) << value;
  }
  const std::array<std::array<int, 3>, 5> pairs = {
      {{3, 5, 1}, {2, 4, 2}, {4, 7, 2}, {1, 4, 4}, {7, 3, 3}}};
  for (const auto& [thin, thick, grade] : pairs) {
    EXPECT_EQ(fnc.eDescription_ID(thin, thick, "GIRDLE_DESC_CLASS", db.get()), grade);
  }
}

}  // namespace
}  // namespace krm::gradetables
