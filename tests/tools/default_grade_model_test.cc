// The default grade model: its worked examples, class counts and published sums, the table of
// limits against the derivation the model document gives, and the edges of the grade tables
// database built from data/grade_tables.sql. The comparison with the laboratory's charts is in
// lab_charts_test.cc.
#include "tools/default_grade_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>

#include "gradetables/grade_table_reader.h"
#include "gradetables/main_fnc.h"
#include "platform/recording_env.h"
#include "platform/sha256.h"

namespace krm::tools {
namespace {

TEST(DefaultGradeModel, WorkedExamplesCountsAndPublishedSums) {
  const std::string table = DefaultGradeTable();
  // Table, crown, pavilion, star, lower half and girdle index; cell number; class digit.
  const std::tuple<int, int, int, int, int, int, std::int64_t, char> cases[] = {
      {13, 29, 18, 3, 3, 3, 18190119, '1'}, {13, 29, 24, 3, 3, 3, 18195303, '2'},
      {13, 34, 18, 3, 3, 3, 18341319, '2'}, {13, 23, 17, 3, 3, 3, 18007815, '3'},
      {10, 33, 26, 3, 3, 3, 14326311, '3'}, {13, 29, 18, 3, 3, 11, 18190127, '3'},
      {20, 28, 10, 3, 3, 3, 27466887, '4'}, {22, 7, 9, 3, 3, 3, 29492103, '5'},
      {0, 29, 18, 3, 3, 3, 892839, '5'},    {13, 29, 18, 0, 3, 3, 18189831, '3'},
      {1, 0, 0, 0, 0, 0, 1330560, '5'},     {28, 43, 34, 8, 7, 11, 38586239, '5'}};
  for (auto [t, c, p, s, l, g, cell, digit] : cases) {
    EXPECT_EQ(std::tuple(gradetables::CellNumber(t, c, p, s, l, g),
                         DefaultCellDigit(t, c, p, s, l, g), table[cell]),
              std::tuple(cell, digit, digit));
  }
  std::array<std::int64_t, 256> count{};
  for (char ch : table) ++count[static_cast<unsigned char>(ch)];
  EXPECT_EQ((std::vector<std::int64_t>{count['1'], count['2'], count['3'], count['4'], count['5']}),
            (std::vector<std::int64_t>{41720, 1139866, 10490622, 19774224, 7139808}));
  EXPECT_EQ(platform::Sha256Hex(table),
            "99e482d59d1b616339b6f1047bb6670d4f22837d66df1038211a96bf2d448fbf");
  EXPECT_EQ(platform::Sha256Hex(std::string_view(table).substr(0, kGradeTableFirstPartSize)),
            "ab057d8f5047ddc95d373f78916e498264de5e5bc2bf0e134c46ca6d9a7a6c9c");
}

// The columns of the table of limits, recomputed as the model document derives them: crown limits
// from the crown height (100 - table) / 2 x tan(crown), D1 to D4 and K from the total depth
// (crown height + 50 x tan(pavilion) + girdle 3.0 %), and the charts' light limits at odd table
// sizes from the parabola through the even sizes.
double Tan(double degrees) {
  return std::tan(degrees * std::numbers::pi / 180);
}
double CrownIndexOfTan(double tan) {
  return (std::atan(tan) * 180 / std::numbers::pi - 20) / 0.5;
}
double HalfCrown(int t) {
  return (56 - t) / 2.0;
}
double CrownIndexAtHeight(int t, double height) {
  return CrownIndexOfTan(height / HalfCrown(t));
}
double CrownIndexAtDepth(int t, int p, double depth) {
  return CrownIndexOfTan((depth - 3.0 - 50 * Tan(37.2 + 0.2 * p)) / HalfCrown(t));
}

TEST(DefaultGradeModel, LimitsFollowCrownHeightAndTotalDepth) {
  for (int t = 0; t < kTableSteps; ++t) {
    const TableLimits& r = DefaultTableLimits(t);
    auto at_least = [&](double h) { return static_cast<int>(std::ceil(CrownIndexAtHeight(t, h))); };
    auto at_most = [&](double h) { return static_cast<int>(std::floor(CrownIndexAtHeight(t, h))); };
    auto depth = [&](double d, int p) {
      return p + static_cast<int>(std::floor(CrownIndexAtDepth(t, p, d)));
    };
    EXPECT_EQ(
        std::vector<int>({r.good_crown_min, r.good_crown_max, r.fair_crown_max, r.vg_crown_min,
                          r.vg_crown_max, r.ex_crown_min, r.shallow, r.depth[0], r.depth[1],
                          r.depth[2], r.depth[3]}),
        std::vector<int>({std::max(0, at_least(8.75)), at_most(19.25), at_most(20.8),
                          std::max(13, at_least(10.3)), std::min(37, at_most(18.2)),
                          std::max(23, at_least(12.2)),
                          static_cast<int>(std::ceil(30 + 2 * CrownIndexAtDepth(t, 10, 51.15))),
                          depth(63.3, 20), depth(64.8, 23), depth(66.8, 26), depth(71.2, 30)}))
        << "table index " << t;
  }
}

// Least-squares parabola through (x, y), evaluated at `at`.
double Parabola(const std::vector<std::pair<int, double>>& points, int at) {
  double m[3][4] = {};
  for (auto [x, y] : points) {
    const double powers[5] = {1.0, 1.0 * x, 1.0 * x * x, 1.0 * x * x * x, 1.0 * x * x * x * x};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) m[i][j] += powers[i + j];
      m[i][3] += y * powers[i];
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int r = 0; r < 3; ++r) {
      if (r == i) continue;
      const double f = m[r][i] / m[i][i];
      for (int j = i; j < 4; ++j) m[r][j] -= f * m[i][j];
    }
  }
  return m[0][3] / m[0][0] + m[1][3] / m[1][1] * at + m[2][3] / m[2][2] * at * at;
}

TEST(DefaultGradeModel, OddTableSizesFollowTheParabolaOfTheEvenOnes) {
  // Column, kind (+1 an upper limit, -1 a lower one) and the table indexes it is used at.
  struct Column {
    const char* name;
    std::function<int(const TableLimits&)> get;
    int kind;
    int first;
    int last;
  };
  const Column columns[] = {
      {"Excellent crown max", [](const TableLimits& r) { return r.ex_crown_max; }, +1, 8, 18},
      {"Excellent pavilion min", [](const TableLimits& r) { return r.ex_pavilion_min; }, -1, 8, 18},
      {"Excellent pavilion max", [](const TableLimits& r) { return r.ex_pavilion_max; }, +1, 8, 18},
      {"Very Good pavilion min", [](const TableLimits& r) { return r.vg_pavilion_min; }, -1, 6, 22},
      {"Very Good slant", [](const TableLimits& r) { return r.vg_slant; }, +1, 12, 22}};
  for (const Column& col : columns) {
    std::vector<std::pair<int, double>> even;
    for (int t = col.first; t <= col.last; t += 2) {
      even.emplace_back(t, col.get(DefaultTableLimits(t)) + 0.5 * col.kind);
    }
    for (int t = col.first + 1; t < col.last; t += 2) {
      const double v = Parabola(even, t);
      EXPECT_EQ(col.get(DefaultTableLimits(t)),
                static_cast<int>(col.kind > 0 ? std::floor(v) : std::ceil(v)))
          << col.name << ", table index " << t;
    }
  }
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
      {4.6, "GirdleThickness", "Thick", 6},
      {2.5, "CULET_DESCRIPTION", "Medium", 2},
      {10, "CULET_DESCRIPTION", "Extremely Large", 5},
      {-0.01, "CULET_DESCRIPTION", "", 5}};
  for (const auto& [value, name, description, id] : bands) {
    EXPECT_EQ(fnc.eDescription(value, name, &tables), description) << value;
    EXPECT_EQ(fnc.LastDescriptionIDNumber(), id) << value;
  }
  // Thin to slightly thick is Excellent; a thick point anywhere is not.
  const std::tuple<int, int, int> pairs[] = {{3, 5, 1}, {5, 3, 1}, {3, 6, 2}, {6, 5, 2},
                                             {2, 4, 2}, {4, 7, 2}, {7, 4, 3}, {1, 4, 4}};
  for (auto [thin, thick, grade] : pairs) {
    EXPECT_EQ(fnc.eDescription_ID(thin, thick, "GIRDLE_DESC_CLASS", &tables), grade)
        << thin << ", " << thick;
  }
}

}  // namespace
}  // namespace krm::tools
