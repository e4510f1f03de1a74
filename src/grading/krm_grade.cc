// The grading procedure: start-up, snapping, table class, limiting rules and final grade.
#include "grading/krm_grade.h"

namespace krm::grading {

std::optional<app::RunEnd> krm_Grade(app::RunState& state, const std::filesystem::path& path) {
  state.measurement_path = path;
  ++state.gradings;
  if (state.report_file) state.report_file->Close();
  state.report_file.reset();
  if (state.grade_log) state.grade_log->Close();
  state.grade_log.reset();
  return std::nullopt;
}

}  // namespace krm::grading
