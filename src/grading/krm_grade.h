// The grading of one measurement file: snapping onto the grade table grid, gradability checks, the
// table class from the grade table file, the girdle, description, culet, painting and symmetry
// rules, the final cut grade and the report file and grade log.
#ifndef KRM_GRADING_KRM_GRADE_H_
#define KRM_GRADING_KRM_GRADE_H_

#include <filesystem>
#include <optional>

#include "app/run_state.h"

namespace krm::grading {

// Grades the measurement file at `path`. Writes the report to state.report_file and, on the first
// grading of the run, the grade log to state.grade_log, and closes both before it returns. The
// results stay in state.fields and the run texts and classes of `state`. Gives the end of the run
// when a blocking check ended it (grade tables database or test.txt missing, after its message
// box); every other failure is passed over and the grading goes on with the values in place.
std::optional<app::RunEnd> krm_Grade(app::RunState& state, const std::filesystem::path& path);

// The part of krm_Grade after the grade files are provisioned and the blocking checks passed:
// grades state.measurement_path with the grade files as they stand. Never fails.
void GradeProvisioned(app::RunState& state);

}  // namespace krm::grading

#endif  // KRM_GRADING_KRM_GRADE_H_
