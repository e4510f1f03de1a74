// The default grade model: the grade data a fresh station ships with, so that it grades stones as
// a gem laboratory's published cut grade charts do until a lab replaces the part files with its
// own. The rules are those of docs/grade-model.md.
//
// A cell's class is the worst of the axis classes (the laboratory's parameter limits for table,
// crown, pavilion, star, lower half and girdle on their own) and the proportion class of table,
// crown, pavilion and girdle together (crown height, total depth and the limits where light is
// lost), all worked in whole numbers on the grid indexes. The rows of the grade tables database
// live in data/grade_tables.sql, which the build compiles into the program.
#ifndef KRM_TOOLS_DEFAULT_GRADE_MODEL_H_
#define KRM_TOOLS_DEFAULT_GRADE_MODEL_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "gradetables/grade_grid.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::tools {

// Number of grid indexes on each axis.
inline constexpr int kTableSteps = gradetables::kTableAxis.points;
inline constexpr int kCrownSteps = gradetables::kCrownAxis.points;
inline constexpr int kPavilionSteps = gradetables::kPavilionAxis.points;
inline constexpr int kStarSteps = gradetables::kStarAxis.points;
inline constexpr int kLowerHalfSteps = gradetables::kLowerHalfAxis.points;
inline constexpr int kGirdleSteps = gradetables::kGirdleAxis.points;

// Size of the first grade table part (win_sys1.syc); the second holds the rest.
inline constexpr std::int64_t kGradeTableFirstPartSize = 19293120;

using gradetables::Axis;

// The best class (1 Excellent .. 5 Poor) that grid index `index` on `axis` allows whatever the
// other proportions are. An index off the axis gives 5.
int AxisClass(Axis axis, int index);

// The class that table index t, crown index c, pavilion index p and girdle index g give together.
int ProportionClass(int t, int c, int p, int g);

// The limits of one table index: a row of the table of limits in docs/grade-model.md. Crown limits
// are crown indexes C, pavilion limits pavilion indexes P; `vg_slant` bounds 5 C + 2 P from above,
// `shallow` bounds 2 C + 3 P from below, and `depth` holds D1 to D4, the bounds of C + P at the
// Excellent, Very Good, Good and Fair total depth limits (for the girdle of 3.0 %).
struct TableLimits {
  int good_crown_min;
  int good_crown_max;
  int fair_crown_max;
  int vg_crown_min;
  int vg_crown_max;
  int ex_crown_min;
  int ex_crown_max;
  int ex_pavilion_min;
  int ex_pavilion_max;
  int vg_pavilion_min;
  int vg_slant;
  int shallow;
  int depth[4];
};

// The limits of table index t, 0 <= t < kTableSteps.
const TableLimits& DefaultTableLimits(int t);

// The digit '1'..'5' of the cell at grid indexes T, C, P, S, L, G: the worst of the six axis
// classes and the proportion class.
char DefaultCellDigit(int t, int c, int p, int s, int l, int g);

// Fills `out` with the kTableWeight cells of table index `t` (cell numbers t * kTableWeight on),
// so that the whole table can be streamed one table index at a time.
void FillDefaultTableSlice(int t, char* out);

// The whole default grade table, kGradeTableCells bytes.
std::string DefaultGradeTable();

// The SQL text of data/grade_tables.sql: the schema of the grade tables database and its rows.
std::string_view GradeTablesSql();

// Creates the grade tables database at `path` from GradeTablesSql(). An existing file is replaced.
// IoError when the file cannot be written or the script fails; a partly built file is removed.
Status WriteGradeTablesDatabase(platform::Env& env, const std::filesystem::path& path);

}  // namespace krm::tools

#endif  // KRM_TOOLS_DEFAULT_GRADE_MODEL_H_
