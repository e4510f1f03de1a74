// The default grade model: its worked examples and published sum, and the edges of the grade
// tables database built from data/grade_tables.sql. The cells and bands that stones reach are
// checked by the whole-station cases on the default grade data.
#include "tools/default_grade_model.h"

#include <gtest/gtest.h>

#include <tuple>

#include "gradetables/grade_table_reader.h"
#include "gradetables/main_fnc.h"
#include "platform/recording_env.h"
#include "platform/sha256.h"

namespace krm::tools {
namespace {

TEST(DefaultGradeModel, WorkedExamplesAndPublishedSum) {
  const std::string table = DefaultGradeTable();
  // Table, crown, pavilion, star, lower half and girdle index; cell number; class digit.
  const std::tuple<int, int, int, int, int, int, std::int64_t, char> cases[] = {
      {0, 29, 18, 3, 3, 3, 892839, '5'},     {13, 29, 18, 0, 3, 3, 18189831, '3'},
      {13, 29, 18, 3, 3, 11, 18190127, '2'}, {13, 29, 19, 3, 3, 0, 18190980, '1'},
      {1, 0, 0, 0, 0, 0, 1330560, '5'},      {28, 43, 34, 8, 7, 11, 38586239, '5'}};
  for (auto [t, c, p, s, l, g, cell, digit] : cases)
    EXPECT_EQ(std::tuple(gradetables::CellNumber(t, c, p, s, l, g),
                         DefaultCellDigit(t, c, p, s, l, g), table[cell]),
              std::tuple(cell, digit, digit));
  EXPECT_EQ(platform::Sha256Hex(table),
            "079140314a9da12a2847c92e0737f1af1e19a46404e31f897c3b16f5c3f3ca37");
}

TEST(DefaultGradeModel, EdgesOfTheGradeTablesDatabase) {
  testing::TempStation station;
  testing::RecordingEnv env;
  ASSERT_TRUE(WriteGradeTablesDatabase(env, station.root() / "win_rt2.dll").ok());
  std::unique_ptr<platform::Database> db;
  ASSERT_TRUE(platform::Database::Open(station.root() / "win_rt2.dll", &db).ok());
  const gradetables::GradeTables tables = gradetables::GradeTables::Read(*db);
  gradetables::MainFNC fnc;
  // Value, table, description, then the band ID_, kept when no band holds the value.
  const std::tuple<double, const char*, const char*, double> bands[] = {
      {0.99, "GirdleThickness", "Extremely Thin", 1},
      {100, "GIRDLETHICKNESS", "", 1},
      {10, "CULET_DESCRIPTION", "Extremely Large", 5},
      {-0.01, "CULET_DESCRIPTION", "", 5}};
  for (const auto& [value, name, description, id] : bands) {
    EXPECT_EQ(fnc.eDescription(value, name, &tables), description) << value;
    EXPECT_EQ(fnc.LastDescriptionIDNumber(), id) << value;
  }
}

}  // namespace
}  // namespace krm::tools
