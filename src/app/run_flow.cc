#include "app/run_flow.h"

#include <iostream>

#include "export/valdane_sp.h"
#include "grading/krm_grade.h"
#include "recut/krm_recut.h"

namespace krm::app {

namespace {

// Opens an output file; one that cannot be opened (no data folder, no permission) stays absent
// and its writes are passed over.
std::unique_ptr<platform::WritableFile> OpenOutput(platform::Env& env, const fs::path& path,
                                                   bool append) {
  std::unique_ptr<platform::WritableFile> file;
  if (!env.OpenWritable(path, append, &file).ok()) file.reset();
  return file;
}

void CloseOutput(std::unique_ptr<platform::WritableFile>& file) {
  if (file) (void)file->Close();
  file.reset();
}

}  // namespace

ExitStatus Form_Load(platform::Env& env, const std::filesystem::path& app_dir) {
  RunState state(env, app_dir);
  FaultLog faults(state.paths.root);
  const ExitStatus status = Form_Load(state, &faults);
  for (const std::string& line : faults.Lines(kProgramName)) std::cerr << line << '\n';
  std::cerr.flush();
  return status;
}

ExitStatus Form_Load(RunState& state, FaultLog* faults) {
  FaultLog own(state.paths.root);
  if (faults == nullptr) faults = &own;
  platform::Env& env = state.env;
  state.measurement_path = state.paths.Measurement();
  if (!env.FindFile(state.paths.MeasurementCheck())) {
    return state
        .Block(kMeasurementMissingMessage, platform::kCriticalOk, kMeasurementMissingTitle,
               ExitStatus::kMeasurementMissing)
        .status;
  }

  // Held until the run ends. A station where it cannot be made (a read-only folder) runs without.
  std::unique_ptr<platform::FileLock> lock;
  (void)env.LockFile(state.paths.Lock(), &lock);

  state.report_path = state.paths.Report();
  state.report_file = OpenOutput(env, state.report_path, /*append=*/false);
  state.grade_log = OpenOutput(env, state.paths.GradeLog(), /*append=*/true);

  if (auto end = grading::krm_Grade(state, state.measurement_path)) return end->status;
  // The grading closes both files at its end; they are closed here in any case.
  CloseOutput(state.report_file);
  CloseOutput(state.grade_log);

  state.saved_cut_caption = state.fields.Label1(20);
  state.saved_symmetry_caption = state.fields.Label1(25);

  // The stone goes into the report database; a missing one ends the run before the recut advice.
  report_export::Valdane_Sp valdane_sp;
  if (auto end = valdane_sp.PublicMain(state, faults)) return end->status;

  // Recut advice for a Very Good round brilliant; a candidate grading may end the run.
  if (auto end = recut::krm_Recut(state)) return end->status;

  if (auto batch = env.FindFile(state.paths.FollowUp())) {
    (void)env.StartBatch(*batch, state.paths.root);
  }
  return faults->empty() ? ExitStatus::kOk : ExitStatus::kResultNotWritten;
}

}  // namespace krm::app
