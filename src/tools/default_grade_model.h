// The default grade model: the grade data a fresh station ships with, so that it grades real
// stones sensibly until a lab replaces the part files with its own.
//
// The grade table is built from per-axis classes on the grid indexes (T, C, P, S, L, G) and the
// crown-pavilion interplay, all in whole numbers; each cell holds the ASCII digit of the worst
// class. The rows of the grade tables database live in data/grade_tables.sql, which the build
// compiles into the program.
#ifndef KRM_TOOLS_DEFAULT_GRADE_MODEL_H_
#define KRM_TOOLS_DEFAULT_GRADE_MODEL_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "platform/status.h"

namespace krm::tools {

// Number of grid indexes on each axis.
inline constexpr int kTableSteps = 29;
inline constexpr int kCrownSteps = 44;
inline constexpr int kPavilionSteps = 35;
inline constexpr int kStarSteps = 9;
inline constexpr int kLowerHalfSteps = 8;
inline constexpr int kGirdleSteps = 12;

// Size of the first grade table part (win_sys1.syc); the second holds the rest.
inline constexpr std::int64_t kGradeTableFirstPartSize = 19293120;

// The grid axes of the grade table.
enum class Axis { kTable, kCrown, kPavilion, kStar, kLowerHalf, kGirdle };

// The class (1 Excellent .. 5 Poor) of grid index `index` on `axis`. An index off the axis
// gives 5.
int AxisClass(Axis axis, int index);

// The class of the crown-pavilion interplay B = 5 C + 6 P - 265 (tenths of a degree).
int InterplayClass(int c, int p);

// The digit '1'..'5' of the cell at grid indexes T, C, P, S, L, G: the worst of the six axis
// classes and the interplay.
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
