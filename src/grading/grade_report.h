// The report file (comma-separated, for the report program) and the grade log (key=value, one
// block per run) written at the end of every grading.
#ifndef KRM_GRADING_GRADE_REPORT_H_
#define KRM_GRADING_GRADE_REPORT_H_

#include <string>

#include "app/polish_data.h"
#include "app/run_state.h"
#include "grading/classifiers.h"
#include "grading/measurement_keys.h"
#include "grading/symmetry.h"

namespace krm::grading {

// What the grading worked out and the report shows besides the record and the result fields.
struct GradeReportInputs {
  std::string table_class_name;
  std::string thinnest_girdle;  // descriptions of the girdle description and culet rules
  std::string thickest_girdle;
  std::string culet;
  double crown_painting = 0;  // as read from the measurement file
  double pavilion_painting = 0;
  float acp = 0;  // rounded to one place, as the painting bands take them
  float app = 0;
  float sum = 0;
};

// Writes the summary, the message lines and the results rows to state.report_file and the grade
// log block to state.grade_log; a file that is not open skips its lines. Rounds some record
// fields in place, as the rows take them. Pads state.MessageList to eight fields.
void WriteGradeReport(app::RunState& state, app::PolishData& record, const MeasurementKeys& keys,
                      const GradeReportInputs& in);

}  // namespace krm::grading

#endif  // KRM_GRADING_GRADE_REPORT_H_
