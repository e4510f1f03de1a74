// StoneRecord: everything the grading of one measurement file works out, as the tools hand it on
// (a JSON record, a CSV row, an explanation, a stone page). It comes from the same grading and
// recut advice as a station run, done in memory: no station file is read or written.
#ifndef KRM_TOOLS_STONE_RECORD_H_
#define KRM_TOOLS_STONE_RECORD_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "gradetables/grade_grid.h"
#include "grading/explain.h"
#include "grading/stone_state.h"
#include "recut/facets.h"
#include "recut/krm_recut.h"
#include "tools/grade_data.h"

namespace krm::tools {

struct StoneRecord {
  std::string file;
  // Why the file could not be graded; nothing else is set then.
  std::optional<std::string> error;

  // The stone's own grading (the first of the run), in station text (code page 1252).
  std::string stone_id;
  grading::StoneState stone;
  // The explanation of that grading.
  grading::Explanation explanation;
  // The recut advice, after which `stone` would hold the last candidate's grading; the record
  // keeps the stone's.
  recut::RecutAdvice recut;
  // The eight crown and eight pavilion main angles as read from the measurement file.
  recut::MeasuredFacets facets;
  // The classes of the grade table's cells along each axis through the stone's cell, the other
  // grid indexes kept, one per grid point (0 where a cell holds no class).
  std::array<std::vector<std::int16_t>, gradetables::kAxes> axis_classes;
};

// Grades the measurement file `contents` (named `file`) with `data`, explains the grade and runs
// the recut advice.
StoneRecord GradeStone(const LoadedGradeData& data, std::string file, std::string_view contents);

// A record for a file that could not be read.
StoneRecord FailedRecord(std::string file, std::string error);

// The record as JSON; station text is converted to UTF-8.
nlohmann::json ToJson(const StoneRecord& record);
// As ToJson, written into `*into`, whose objects, arrays and strings from an earlier record are
// used again where the record has the same shape; what the record lacks is removed. Gives the same
// JSON as ToJson whatever `*into` held.
void FillJson(const StoneRecord& record, nlohmann::json* into);

// The record as one CSV row under CsvHeader(), in UTF-8.
std::vector<std::string> CsvHeader();
std::vector<std::string> CsvRow(const StoneRecord& record);
// A CSV line (RFC 4180: fields quoted when they hold a comma, a quote or a line break, quotes
// doubled), ended by CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace krm::tools

#endif  // KRM_TOOLS_STONE_RECORD_H_
