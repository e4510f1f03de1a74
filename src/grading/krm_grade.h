// The grading of one measurement file: snapping onto the grade table grid, gradability checks, the
// table class from the grade table, the girdle, description, culet, painting and symmetry rules,
// the final cut grade, and the report file and grade log.
//
// GradeMeasurement is the grading itself, the same for a station run and a batch; krm_Grade wraps
// it for a station: it provides the station's grade files, makes the blocking checks and reads the
// measurement file from the station folder.
#ifndef KRM_GRADING_KRM_GRADE_H_
#define KRM_GRADING_KRM_GRADE_H_

#include <filesystem>
#include <optional>
#include <string>

#include "gradetables/grade_table_reader.h"
#include "gradetables/grade_tables.h"
#include "gradetables/provisioning.h"
#include "grading/stone_state.h"
#include "intake/profile.h"
#include "intake/station.h"
#include "platform/fault_log.h"
#include "platform/output_file.h"

namespace krm::grading {

// The grade data one grading reads: the grade table's cells and the grade tables database's tables.
struct GradeData {
  const gradetables::GradeTableReader* table = nullptr;
  const gradetables::GradeTables* tables = nullptr;
  // Where the tables came from, for fault lines.
  std::filesystem::path tables_path;
};

// Where a grading writes: the report file and, for the first grading of a station run, the grade
// log. Either may be absent (a batch writes neither); lines to an absent file are dropped.
struct GradeOutputs {
  platform::OutputFile* report = nullptr;
  platform::OutputFile* grade_log = nullptr;
};

// What dates the report's summary line and the grade log block: the program's version date and
// the date and time of the grading, in the user's short date and long time forms.
struct ReportStamp {
  std::string version_date;
  std::string date;
  std::string time;
};

// Grades the measurement file `file` with `data` into `stone`, and writes the report and grade
// log lines to `out`. Never fails: a failing statement is passed over and the grading goes on
// with the values in place; a failure that makes the grade not valid (a cell or a table that
// cannot be read) is recorded in `faults` when given.
void GradeMeasurement(const GradeData& data, const intake::Profile& file, StoneState& stone,
                      GradeOutputs out, const ReportStamp& stamp, FaultLog* faults);

// krm_Grade: grades the measurement file at `path` of `station`. Provides the grade files (joins,
// blocking checks), reads the file and grades it into `stone`, writing to `out`. Gives the end of
// the run when a blocking check ended it (grade tables database or test.txt missing, after its
// message box); every other failure is passed over, and recorded in the station's fault log.
std::optional<intake::RunEnd> krm_Grade(intake::Station& station,
                                        gradetables::StationGradeFiles& grade_files,
                                        StoneState& stone, GradeOutputs out,
                                        const std::filesystem::path& path);

// Shows a blocking message in a message box, records it in the stone's messages and gives the
// end of the run.
intake::RunEnd Block(intake::Station& station, StoneState& stone, std::string_view message,
                     std::string_view title, intake::ExitStatus status);

// The report stamp of a grading at the station now.
ReportStamp StampNow(intake::Station& station);

}  // namespace krm::grading

#endif  // KRM_GRADING_KRM_GRADE_H_
