// The report file (comma-separated, for the report program) and the grade log (key=value, one
// block per run) written at the end of every grading.
#ifndef KRM_GRADING_GRADE_REPORT_H_
#define KRM_GRADING_GRADE_REPORT_H_

#include <optional>

#include "grading/krm_grade.h"
#include "grading/stone_state.h"
#include "intake/measurement_keys.h"

namespace krm::grading {

// Writes the summary, the message lines and the results rows to `out.report` and the grade log
// block to `out.grade_log`; an absent or closed file drops its lines. What the rows do to the
// stone happens whether or not a file takes the lines: some record fields are rounded in place, as
// the rows take them, and the message list is padded to eight fields.
void WriteGradeReport(StoneState& stone, const intake::MeasurementKeys& keys, GradeOutputs out,
                      const ReportStamp& stamp);

// The spread of a millimetre row (diameter, table, girdle thickness, crown height, pavilion
// depth): (max - min) x 200 / (DIAMETER_MM_MIN + DIAMETER_MM_MAX), the readings as read and the
// diameter sum added in single precision, rounded to one place. No value when the sum is 0 or a
// reading overflows.
std::optional<float> MillimetreRowSpread(const intake::MeasurementKeys& keys,
                                         std::string_view max_key, std::string_view min_key);

}  // namespace krm::grading

#endif  // KRM_GRADING_GRADE_REPORT_H_
