#include "tools/default_grade_model.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "gradetables/grade_table_reader.h"
#include "platform/database.h"

namespace krm::tools {

using gradetables::kCrownWeight;
using gradetables::kGradeTableCells;
using gradetables::kLowerHalfWeight;
using gradetables::kPavilionWeight;
using gradetables::kStarWeight;
using gradetables::kTableWeight;
namespace {

// A run of grid indexes lo..hi (inclusive) of one class.
struct Band {
  int lo;
  int hi;
  int grade;
};

// The classes 1 to 4 of each axis; every index outside these bands is class 5.
constexpr Band kTableBands[] = {{8, 18, 1},  {6, 7, 2}, {19, 22, 2}, {4, 5, 3},
                                {23, 25, 3}, {2, 3, 4}, {26, 27, 4}};
constexpr Band kCrownBands[] = {{23, 33, 1}, {19, 22, 2}, {34, 36, 2}, {14, 18, 3},
                                {37, 39, 3}, {8, 13, 4},  {40, 41, 4}};
constexpr Band kPavilionBands[] = {{17, 23, 1}, {15, 16, 2}, {24, 26, 2}, {12, 14, 3},
                                   {27, 29, 3}, {8, 11, 4},  {30, 32, 4}};
constexpr Band kStarBands[] = {{2, 6, 1}, {1, 1, 2}, {7, 7, 2}, {0, 0, 3}, {8, 8, 3}};
constexpr Band kLowerHalfBands[] = {{2, 5, 1}, {1, 1, 2}, {6, 6, 2}, {0, 0, 3}, {7, 7, 3}};
constexpr Band kGirdleBands[] = {{0, 8, 1}, {9, 11, 2}};

template <std::size_t N>
int ClassIn(const Band (&bands)[N], int index) {
  for (const Band& b : bands) {
    if (b.lo <= index && index <= b.hi) return b.grade;
  }
  return 5;
}

// Cells of one (T, C, P) block: S, L and G vary inside it.
constexpr std::int64_t kBlockCells = kPavilionWeight;

// The digits of one block for each class 1..5 that T, C and P impose: the worst of that class
// and the star, lower-half and girdle classes of each cell.
struct Blocks {
  std::array<std::array<char, kBlockCells>, 6> digits;
  Blocks() {
    for (int floor = 1; floor <= 5; ++floor) {
      for (int s = 0; s < kStarSteps; ++s) {
        for (int l = 0; l < kLowerHalfSteps; ++l) {
          for (int g = 0; g < kGirdleSteps; ++g) {
            const int worst =
                std::max({floor, AxisClass(Axis::kStar, s), AxisClass(Axis::kLowerHalf, l),
                          AxisClass(Axis::kGirdle, g)});
            digits[floor][s * kStarWeight + l * kLowerHalfWeight + g] =
                static_cast<char>('0' + worst);
          }
        }
      }
    }
  }
};

}  // namespace

int AxisClass(Axis axis, int index) {
  switch (axis) {
    case Axis::kTable:
      return ClassIn(kTableBands, index);
    case Axis::kCrown:
      return ClassIn(kCrownBands, index);
    case Axis::kPavilion:
      return ClassIn(kPavilionBands, index);
    case Axis::kStar:
      return ClassIn(kStarBands, index);
    case Axis::kLowerHalf:
      return ClassIn(kLowerHalfBands, index);
    case Axis::kGirdle:
      return ClassIn(kGirdleBands, index);
  }
  return 5;
}

int InterplayClass(int c, int p) {
  const int b = std::abs(5 * c + 6 * p - 265);
  if (b <= 25) return 1;
  if (b <= 40) return 2;
  if (b <= 55) return 3;
  if (b <= 70) return 4;
  return 5;
}

char DefaultCellDigit(int t, int c, int p, int s, int l, int g) {
  const int worst =
      std::max({AxisClass(Axis::kTable, t), AxisClass(Axis::kCrown, c),
                AxisClass(Axis::kPavilion, p), AxisClass(Axis::kStar, s),
                AxisClass(Axis::kLowerHalf, l), AxisClass(Axis::kGirdle, g), InterplayClass(c, p)});
  return static_cast<char>('0' + worst);
}

void FillDefaultTableSlice(int t, char* out) {
  static const Blocks blocks;
  const int table_class = AxisClass(Axis::kTable, t);
  for (int c = 0; c < kCrownSteps; ++c) {
    const int crown_class = std::max(table_class, AxisClass(Axis::kCrown, c));
    for (int p = 0; p < kPavilionSteps; ++p) {
      const int floor =
          std::max({crown_class, AxisClass(Axis::kPavilion, p), InterplayClass(c, p)});
      std::memcpy(out + c * kCrownWeight + p * kPavilionWeight, blocks.digits[floor].data(),
                  kBlockCells);
    }
  }
}

std::string DefaultGradeTable() {
  std::string table(static_cast<std::size_t>(kGradeTableCells), '\0');
  for (int t = 0; t < kTableSteps; ++t) FillDefaultTableSlice(t, table.data() + t * kTableWeight);
  return table;
}

Status WriteGradeTablesDatabase(platform::Env& env, const std::filesystem::path& path) {
  {
    // An empty file is an empty SQLite database; opening never creates one.
    std::unique_ptr<platform::WritableFile> file;
    Status s = env.OpenWritable(path, /*append=*/false, &file);
    if (s.ok()) s = file->Close();
    if (!s.ok()) return s;
  }
  Status s;
  {
    std::unique_ptr<platform::Database> db;
    s = platform::Database::Open(path, &db);
    if (s.ok()) s = db->ExecuteScript(GradeTablesSql());
  }  // closed before a failed file is removed
  if (!s.ok()) {
    (void)env.RemoveFile(path);
    return Status::IoError(path.string() +
                           ": cannot build the grade tables database: " + s.message());
  }
  return s;
}

}  // namespace krm::tools
