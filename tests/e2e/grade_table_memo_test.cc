// The station's memo of its last grade table join, on the real program: a run that finds the parts
// and the table as the last join left them does not join again, and any change behind the memo's
// back, even one that keeps the size and puts the modification time back, is noticed.
#include <gtest/gtest.h>

#include "grading/grade_station.h"
#include "platform/child_process.h"
#include "platform/file_times.h"

namespace krm {
namespace {

namespace fs = std::filesystem;

// Overwrites one byte of `path` in place and puts its modification time back.
void ChangeBehindTheMemo(const fs::path& path, std::uint64_t offset, char byte) {
  ASSERT_TRUE(testing::OverwriteKeepingTime(path, offset, std::string_view(&byte, 1))) << path;
}

class GradeTableMemo : public ::testing::Test {
 protected:
  void SetUp() override { station.WriteMeasurement(testing::WellCutStone()); }
  int Run() {
    return testing::RunChild({testing::ProgramFile(KRM_BINARY_DIR, "DOVEVOVIDIRO").string(),
                              "--app-dir", station.root().string()})
        .status;
  }
  std::string Table() { return station.files().Read("windows/win_rt1.dll"); }
  std::string Parts() {
    return station.files().Read("win_sys1.syc") + station.files().Read("win_sys2.syc");
  }

  testing::GradeStation station;
};

TEST_F(GradeTableMemo, AChangedPartOrTableIsJoinedAgain) {
  ASSERT_EQ(Run(), 0);
  ASSERT_TRUE(station.files().Exists("windows/win_rt1.dll.memo"));
  ASSERT_EQ(Run(), 0);  // nothing changed: the memo holds
  // The second part: same size, other content, the old modification time.
  ChangeBehindTheMemo(station.root() / "win_sys2.syc", 1000, '3');
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(Table() == Parts());
  // The table itself.
  ChangeBehindTheMemo(station.root() / "windows/win_rt1.dll", 19293120 + 1000, '4');
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(Table() == Parts());
  // No memo: a full join.
  fs::remove(station.root() / "windows/win_rt1.dll.memo");
  ChangeBehindTheMemo(station.root() / "windows/win_rt1.dll", 1000, '5');
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(Table() == Parts());
  EXPECT_TRUE(station.files().Exists("windows/win_rt1.dll.memo"));
}

}  // namespace
}  // namespace krm
