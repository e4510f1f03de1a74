// The grade grid: the six axes on which the grade table file is laid out, their grid points, the
// ranges a stone must lie in to be graded, and the cell number of a set of grid indexes. Every
// size and weight of the grade table follows from the axes here.
#ifndef KRM_GRADETABLES_GRADE_GRID_H_
#define KRM_GRADETABLES_GRADE_GRID_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace krm::gradetables {

// The six proportions the grade table is indexed by, in the order of the cell number (the girdle
// varies fastest).
enum class Axis { kTable, kCrown, kPavilion, kStar, kLowerHalf, kGirdle };
inline constexpr int kAxes = 6;
inline constexpr std::array<Axis, kAxes> kAllAxes = {
    Axis::kTable, Axis::kCrown, Axis::kPavilion, Axis::kStar, Axis::kLowerHalf, Axis::kGirdle};
constexpr int AxisIndex(Axis axis) {
  return static_cast<int>(axis);
}

// One axis: grid point i has the value base + i x step, computed in double precision.
struct GridAxis {
  std::string_view name;  // in the words of a grading report: "pavilion angle"
  std::string_view unit;  // "%" or the degree sign (station text, code page 1252)
  double base;
  double step;
  int points;
  double low;   // range a stone must lie in to be graded, both limits inclusive (the girdle is
  double high;  // clamped into it instead)
  double Point(int i) const { return base + i * step; }
};

inline constexpr std::array<GridAxis, kAxes> kGradeGrid = {{
    {"table", "%", 44, 1, 29, 44, 72},
    {"crown angle", "\xB0", 20, 0.5, 44, 20, 41.5},
    {"pavilion angle", "\xB0", 37.2, 0.2, 35, 37.2, 44},
    {"star length", "%", 35, 5, 9, 35, 75},
    {"lower half length", "%", 60, 5, 8, 60, 95},
    {"girdle", "%", 1.5, 0.5, 12, 1.5, 7},
}};

constexpr const GridAxis& GridOf(Axis axis) {
  return kGradeGrid[AxisIndex(axis)];
}

inline constexpr const GridAxis& kTableAxis = kGradeGrid[0];
inline constexpr const GridAxis& kCrownAxis = kGradeGrid[1];
inline constexpr const GridAxis& kPavilionAxis = kGradeGrid[2];
inline constexpr const GridAxis& kStarAxis = kGradeGrid[3];
inline constexpr const GridAxis& kLowerHalfAxis = kGradeGrid[4];
inline constexpr const GridAxis& kGirdleAxis = kGradeGrid[5];

// Index weight of an axis: the product of the point counts of the axes after it.
constexpr std::int64_t Weight(Axis axis) {
  std::int64_t weight = 1;
  for (int a = kAxes - 1; a > AxisIndex(axis); --a) weight *= kGradeGrid[a].points;
  return weight;
}

inline constexpr std::int64_t kTableWeight = Weight(Axis::kTable);
inline constexpr std::int64_t kCrownWeight = Weight(Axis::kCrown);
inline constexpr std::int64_t kPavilionWeight = Weight(Axis::kPavilion);
inline constexpr std::int64_t kStarWeight = Weight(Axis::kStar);
inline constexpr std::int64_t kLowerHalfWeight = Weight(Axis::kLowerHalf);
inline constexpr std::int64_t kGirdleWeight = Weight(Axis::kGirdle);
// Number of cells (and bytes) of a complete grade table.
inline constexpr std::int64_t kGradeTableCells = kTableWeight * kTableAxis.points;

// Grid indexes of one cell, in axis order.
using GridIndexes = std::array<int, kAxes>;

// The cell number of grid indexes (the byte offset of the cell in the grade table file).
constexpr std::int64_t CellNumber(const GridIndexes& index) {
  std::int64_t cell = 0;
  for (int a = 0; a < kAxes; ++a) cell += index[a] * Weight(kAllAxes[a]);
  return cell;
}
constexpr std::int64_t CellNumber(int t, int c, int p, int s, int l, int g) {
  return CellNumber(GridIndexes{t, c, p, s, l, g});
}

static_assert(kTableWeight == 1330560 && kCrownWeight == 30240 && kPavilionWeight == 864 &&
              kStarWeight == 96 && kLowerHalfWeight == 12 && kGradeTableCells == 38586240);

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_GRADE_GRID_H_
