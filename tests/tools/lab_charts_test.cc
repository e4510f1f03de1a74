// The default grade table against the crown x pavilion charts that a gem laboratory publishes
// (tests/data/lab-charts, one chart per even table size 50 to 66 %, at star 55 %, lower half 80 %
// and girdle 3.0 %). Prints the agreement per chart and overall; the model document states it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/recording_env.h"
#include "tools/default_grade_model.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

// A chart: 22 lines, pavilion 38.8 to 43.0 degrees; 37 letters a line, crown 22.0 to 40.0.
constexpr int kChartRows = 22;
constexpr int kChartColumns = 37;
constexpr int kFirstPavilion = 8;  // 38.8 degrees
constexpr int kFirstCrown = 4;     // 22.0 degrees
// The charts' star 55 %, lower half 80 % and girdle 3.0 % on the grid.
constexpr int kStar = 4, kLowerHalf = 4, kGirdle = 3;

int ClassOfLetter(char letter) {
  const std::string letters = "evgfp";
  const size_t at = letters.find(letter);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

TEST(LabCharts, DefaultTableGradesLikeThePublishedCharts) {
  int all = 0, all_agree = 0, far = 0;
  for (int table = 50; table <= 66; table += 2) {
    const fs::path file = fs::path(KRM_SOURCE_DIR) / "tests" / "data" / "lab-charts" /
                          ("table-" + std::to_string(table) + ".txt");
    const std::vector<std::string> rows = testing::Split(testing::ReadWhole(file), "\n");
    ASSERT_EQ(rows.size(), static_cast<size_t>(kChartRows)) << file;
    const int t = table - 44;
    int agree = 0;
    for (int r = 0; r < kChartRows; ++r) {
      ASSERT_EQ(rows[r].size(), static_cast<size_t>(kChartColumns)) << file << " line " << r + 1;
      for (int k = 0; k < kChartColumns; ++k) {
        const int want = ClassOfLetter(rows[r][k]);
        ASSERT_NE(want, 0) << file << " line " << r + 1;
        const int got =
            DefaultCellDigit(t, kFirstCrown + k, kFirstPavilion + r, kStar, kLowerHalf, kGirdle) -
            '0';
        agree += got == want;
        if (std::abs(got - want) > 1) {
          ++far;
          ADD_FAILURE() << "table " << table << " %, crown index " << kFirstCrown + k
                        << ", pavilion index " << kFirstPavilion + r << ": chart " << want
                        << ", default table " << got;
        }
      }
    }
    const int cells = kChartRows * kChartColumns;
    std::printf("table %d %%: %d of %d cells agree (%.1f %%)\n", table, agree, cells,
                100.0 * agree / cells);
    all += cells;
    all_agree += agree;
  }
  std::printf("all charts: %d of %d cells agree (%.2f %%), %d more than one class away\n",
              all_agree, all, 100.0 * all_agree / all, far);
  EXPECT_GE(100.0 * all_agree / all, 98.0);
  EXPECT_EQ(far, 0);
}

}  // namespace
}  // namespace krm::tools
