#include "tools/default_grade_model.h"

#include "platform/system.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>

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

// One row per table index, the table of limits of docs/grade-model.md. Columns: Good crown min
// and max, Fair crown max; Very Good crown min and max; Excellent crown min and max, Excellent
// pavilion min and max; Very Good pavilion min; Very Good slant; K; D1 to D4. The crown columns
// follow the crown height, K and D the total depth; the rest are the charts' light limits, odd
// table sizes taken from the parabola through the even ones; below 56 % the Very Good slant
// continues its line. Where a table size rules out Very Good or Excellent, the other light-limit
// columns repeat the nearest size that allows it.
constexpr TableLimits kLimits[kTableSteps] = {
    {0, 29, 33, 13, 26, 23, 33, 17, 23, 13, 263, 9, {41, 45, 51, 64}},     // 44 %
    {0, 29, 34, 13, 26, 23, 33, 17, 23, 13, 259, 11, {42, 46, 52, 65}},    // 45 %
    {0, 30, 35, 13, 27, 23, 33, 17, 23, 13, 256, 12, {42, 47, 53, 66}},    // 46 %
    {0, 31, 36, 13, 28, 23, 33, 17, 23, 13, 252, 13, {43, 48, 54, 67}},    // 47 %
    {0, 33, 37, 13, 29, 23, 33, 17, 23, 13, 249, 14, {44, 49, 55, 68}},    // 48 %
    {0, 34, 38, 13, 31, 23, 33, 17, 23, 13, 245, 15, {45, 50, 56, 69}},    // 49 %
    {0, 35, 39, 13, 32, 23, 33, 17, 23, 13, 242, 16, {46, 51, 57, 70}},    // 50 %
    {0, 36, 40, 13, 33, 23, 33, 17, 23, 13, 238, 17, {48, 52, 59, 71}},    // 51 %
    {1, 37, 41, 13, 34, 23, 33, 17, 23, 13, 235, 19, {49, 53, 60, 73}},    // 52 %
    {1, 38, 43, 13, 35, 23, 33, 17, 23, 13, 231, 20, {50, 55, 61, 74}},    // 53 %
    {2, 39, 44, 13, 36, 23, 33, 17, 23, 13, 228, 22, {51, 56, 62, 75}},    // 54 %
    {3, 41, 45, 13, 37, 23, 33, 17, 23, 13, 224, 23, {52, 57, 63, 76}},    // 55 %
    {4, 42, 46, 13, 37, 23, 33, 17, 23, 13, 221, 25, {53, 58, 65, 78}},    // 56 %
    {5, 43, 48, 13, 37, 23, 32, 17, 23, 14, 217, 26, {55, 59, 66, 79}},    // 57 %
    {6, 45, 49, 13, 37, 23, 32, 17, 23, 14, 214, 28, {56, 61, 67, 80}},    // 58 %
    {7, 46, 50, 14, 37, 23, 32, 18, 23, 15, 211, 30, {57, 62, 69, 82}},    // 59 %
    {8, 47, 52, 15, 37, 23, 31, 18, 23, 15, 207, 31, {59, 64, 70, 83}},    // 60 %
    {9, 49, 53, 16, 37, 25, 31, 18, 22, 16, 204, 33, {60, 65, 71, 84}},    // 61 %
    {10, 50, 55, 17, 37, 26, 30, 19, 22, 17, 201, 35, {62, 66, 73, 86}},   // 62 %
    {11, 52, 56, 19, 37, 27, 30, 19, 22, 17, 197, 37, {63, 68, 74, 87}},   // 63 %
    {12, 53, 58, 20, 37, 29, 30, 19, 22, 18, 194, 40, {65, 70, 76, 89}},   // 64 %
    {14, 55, 59, 21, 37, 30, 30, 19, 22, 19, 191, 42, {66, 71, 78, 91}},   // 65 %
    {15, 57, 61, 23, 37, 32, 30, 19, 22, 19, 187, 44, {68, 73, 79, 92}},   // 66 %
    {16, 58, 63, 24, 37, 33, 30, 19, 22, 19, 187, 47, {70, 75, 81, 94}},   // 67 %
    {18, 60, 64, 26, 37, 35, 30, 19, 22, 19, 187, 49, {71, 76, 83, 96}},   // 68 %
    {19, 62, 66, 28, 37, 37, 30, 19, 22, 19, 187, 52, {73, 78, 84, 97}},   // 69 %
    {21, 64, 68, 29, 37, 39, 30, 19, 22, 19, 187, 55, {75, 80, 86, 99}},   // 70 %
    {23, 66, 70, 31, 37, 41, 30, 19, 22, 19, 187, 58, {77, 82, 88, 101}},  // 71 %
    {25, 67, 72, 33, 37, 43, 30, 19, 22, 19, 187, 62, {79, 84, 90, 103}},  // 72 %
};

// The smallest crown index that Good allows at pavilion index 0..19, where a shallow pavilion
// leaks light unless the crown is steep enough; from P = 20 on there is no such limit.
constexpr int kGoodCrownMin[20] = {37, 36, 35, 34, 33, 32, 31, 30, 29, 28,
                                   26, 25, 24, 23, 22, 21, 18, 15, 11, 8};

// The same for Very Good at pavilion indexes 13..21 and Excellent at 17..19.
constexpr int kVgCrownMin[9] = {31, 30, 28, 26, 24, 21, 18, 15, 13};
constexpr int kExCrownMin[3] = {28, 27, 24};

int GoodCrownMin(int p) {
  return p < 20 ? kGoodCrownMin[p] : 0;
}
int VgCrownMin(int p) {
  return p >= 13 && p <= 21 ? kVgCrownMin[p - 13] : 0;
}
int ExCrownMin(int p) {
  return p >= 17 && p <= 19 ? kExCrownMin[p - 17] : 0;
}

// How far the Excellent crown maximum comes down at the deepest Excellent pavilions.
int ExCrownDrop(int p) {
  switch (p) {
    case 21:
      return 1;
    case 22:
      return 3;
    case 23:
      return 5;
    default:
      return 0;
  }
}

// A run of grid indexes lo..hi (inclusive) of one class.
struct Band {
  int lo;
  int hi;
  int grade;
};

// The laboratory's parameter limits, axis by axis: the classes 1 to 4 of each axis; every index
// outside these bands is class 5.
constexpr Band kTableBands[] = {{8, 18, 1}, {6, 22, 2}, {4, 25, 3}, {2, 27, 4}};
constexpr Band kCrownBands[] = {{23, 33, 1}, {13, 37, 2}, {0, 43, 3}};
constexpr Band kPavilionBands[] = {{17, 23, 1}, {13, 26, 2}, {0, 34, 3}};
constexpr Band kStarBands[] = {{2, 6, 1}, {1, 7, 2}, {0, 8, 3}};
constexpr Band kLowerHalfBands[] = {{2, 5, 1}, {1, 6, 2}, {0, 7, 3}};
constexpr Band kGirdleBands[] = {{2, 6, 1}, {0, 11, 2}};

// The first (best) band that holds the index.
template <std::size_t N>
int ClassIn(const Band (&bands)[N], int index) {
  for (const Band& b : bands) {
    if (b.lo <= index && index <= b.hi) return b.grade;
  }
  return 5;
}

// The class that the total depth gives. In steps of about 0.1 % of the diameter a crown or
// pavilion step adds about 0.3 % and a girdle step 0.5 %; on the shallow side, where the crown is
// low, a crown step counts for less than a pavilion step.
int DepthClass(const TableLimits& r, int c, int p, int g) {
  const int deep = 3 * (c + p) + 5 * (g - 3);
  const int shallow = 2 * c + 3 * p + 5 * (g - 3);
  if (shallow < r.shallow || deep > 3 * r.depth[3]) return 5;
  if (deep > 3 * r.depth[2]) return 4;
  if (deep > 3 * r.depth[1]) return 3;
  if (deep > 3 * r.depth[0]) return 2;
  return 1;
}

// The class that the other proportion rules give: crown height, and where light is lost. Each
// line names the limits of one class; the class is that of the worst limit crossed.
int LightClass(int t, int c, int p) {
  const TableLimits& r = kLimits[t];
  if (c > r.fair_crown_max) return 5;
  if (c < std::max(r.good_crown_min, GoodCrownMin(p)) || c > r.good_crown_max ||
      4 * p < 3 * t - 17 || 2 * c + 5 * p > 217 ||
      (p >= 15 && 2 * p + t <= 44 && 2 * c + 4 * p + t < 108)) {
    return 4;
  }
  if (c < std::max(r.vg_crown_min, VgCrownMin(p)) || c > r.vg_crown_max ||
      p < std::max(13, r.vg_pavilion_min) || p > 26 || 5 * c + 2 * p > r.vg_slant ||
      c + 590 < 20 * p + 6 * t || c + 2 * p + t < 63) {
    return 3;
  }
  if (c < std::max(r.ex_crown_min, ExCrownMin(p)) || c > r.ex_crown_max - ExCrownDrop(p) ||
      p < r.ex_pavilion_min || p > r.ex_pavilion_max) {
    return 2;
  }
  return 1;
}

// Cells of one (T, C, P) block: S, L and G vary inside it.
constexpr std::size_t kBlockCells = kPavilionWeight;

}  // namespace

const TableLimits& DefaultTableLimits(int t) {
  return kLimits[t];
}

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

int ProportionClass(int t, int c, int p, int g) {
  if (t < 0 || t >= kTableSteps) return 5;
  return std::max(LightClass(t, c, p), DepthClass(kLimits[t], c, p, g));
}

char DefaultCellDigit(int t, int c, int p, int s, int l, int g) {
  const int worst = std::max({AxisClass(Axis::kTable, t), AxisClass(Axis::kCrown, c),
                              AxisClass(Axis::kPavilion, p), AxisClass(Axis::kStar, s),
                              AxisClass(Axis::kLowerHalf, l), AxisClass(Axis::kGirdle, g),
                              ProportionClass(t, c, p, g)});
  return static_cast<char>('0' + worst);
}

void FillDefaultTableSlice(int t, char* out) {
  // Star and lower half only cap the class: the worse of their two classes, per (S, L).
  std::array<int, kStarSteps * kLowerHalfSteps> star_lower{};
  for (int s = 0; s < kStarSteps; ++s) {
    for (int l = 0; l < kLowerHalfSteps; ++l) {
      star_lower[s * kLowerHalfSteps + l] =
          std::max(AxisClass(Axis::kStar, s), AxisClass(Axis::kLowerHalf, l));
    }
  }
  // A (T, C, P) block is decided by the class of each of its twelve girdle indexes; blocks repeat
  // from one (C, P) to the next, so each distinct one is built once.
  std::array<int, kGirdleSteps> girdle_axis{};
  for (int g = 0; g < kGirdleSteps; ++g) girdle_axis[g] = AxisClass(Axis::kGirdle, g);
  std::unordered_map<std::uint64_t, std::array<char, kBlockCells>> blocks;
  const TableLimits& limits = kLimits[t];
  const int table_class = AxisClass(Axis::kTable, t);
  std::uint64_t last_key = 0;
  const char* last_block = nullptr;
  for (int c = 0; c < kCrownSteps; ++c) {
    const int crown_class = std::max(table_class, AxisClass(Axis::kCrown, c));
    for (int p = 0; p < kPavilionSteps; ++p) {
      const int floor = std::max({crown_class, AxisClass(Axis::kPavilion, p), LightClass(t, c, p)});
      std::array<int, kGirdleSteps> girdle{};
      std::uint64_t key = 0;
      for (int g = 0; g < kGirdleSteps; ++g) {
        girdle[g] = std::max({floor, girdle_axis[g], DepthClass(limits, c, p, g)});
        key = key << 3 | static_cast<std::uint64_t>(girdle[g]);
      }
      if (last_block == nullptr || key != last_key) {
        auto [block, added] = blocks.try_emplace(key);
        if (added) {
          char* cell = block->second.data();
          for (int worst : star_lower) {
            for (int g = 0; g < kGirdleSteps; ++g) {
              *cell++ = static_cast<char>('0' + std::max(worst, girdle[g]));
            }
          }
        }
        last_key = key;
        last_block = block->second.data();
      }
      std::memcpy(out + c * kCrownWeight + p * kPavilionWeight, last_block, kBlockCells);
    }
  }
}

std::string DefaultGradeTable() {
  std::string table;
  table.reserve(static_cast<std::size_t>(kGradeTableCells));
  platform::AdviseLargePages(table.data(), table.capacity());
  table.resize(static_cast<std::size_t>(kGradeTableCells));
  for (int t = 0; t < kTableSteps; ++t) FillDefaultTableSlice(t, table.data() + t * kTableWeight);
  return table;
}

Status GradeTablesDatabase(std::string* bytes) {
  bytes->clear();
  std::unique_ptr<platform::Database> db;
  Status s = platform::Database::OpenInMemory({}, &db);
  if (s.ok()) s = db->ExecuteScript(GradeTablesSql());
  if (s.ok()) s = db->Serialize(bytes);
  if (!s.ok()) {
    return Status::IoError("cannot build the grade tables database: " + s.message(), s.reason());
  }
  return s;
}

Status WriteGradeTablesDatabase(platform::Env& env, const std::filesystem::path& path) {
  std::string bytes;
  Status s = GradeTablesDatabase(&bytes);
  if (!s.ok()) return Status::IoError(path.string() + ": " + s.message(), s.reason());
  std::unique_ptr<platform::WritableFile> file;
  s = env.OpenWritable(path, /*append=*/false, &file);
  if (!s.ok()) return s;
  s = file->Append(bytes);
  const Status closed = file->Close();
  if (s.ok()) s = closed;
  if (!s.ok()) (void)env.RemoveFile(path);
  return s;
}

}  // namespace krm::tools
