// The grade data that the tools grade with, opened once and shared by every grading of a batch:
// the grade table held in memory and the tables of the grade tables database read once. It comes
// from a station's part files, or from the default grade model built in memory (no station
// needed).
#ifndef KRM_TOOLS_GRADE_DATA_H_
#define KRM_TOOLS_GRADE_DATA_H_

#include <filesystem>
#include <string>

#include "gradetables/grade_table_reader.h"
#include "gradetables/grade_tables.h"
#include "grading/krm_grade.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::tools {

struct LoadedGradeData {
  gradetables::GradeTableReader table;
  gradetables::GradeTables tables;
  // What the data came from: "the default grade model" or the station folder.
  std::string source;

  grading::GradeData View() const { return {&table, &tables, source}; }
};

// The grade data of the station folder `station`, joined in memory from its part files
// win_sys1.syc to win_sys4.syc (found under any letter case). Fails, naming the file, when a part
// is missing or unreadable, the table parts do not hold one cell for every grid point, or the
// database parts make no database with the three tables.
Status LoadStationGradeData(platform::Env& env, const std::filesystem::path& station,
                            LoadedGradeData* data);

// The default grade model, built in memory.
LoadedGradeData DefaultGradeData();

}  // namespace krm::tools

#endif  // KRM_TOOLS_GRADE_DATA_H_
