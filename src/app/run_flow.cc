#include "app/run_flow.h"

#include <memory>

#include "app/stone_archive.h"
#include "export/valdane_sp.h"
#include "gradetables/provisioning.h"
#include "grading/krm_grade.h"
#include "platform/output_file.h"
#include "recut/krm_recut.h"

namespace krm::app {

ExitStatus Form_Load(intake::Station& station) {
  grading::StoneState stone;
  return Form_Load(station, stone);
}

ExitStatus Form_Load(intake::Station& station, grading::StoneState& stone) {
  platform::Env& env = station.env;
  const intake::StationPaths& paths = station.paths;
  if (!intake::FindStationFile(env, paths.MeasurementCheck())) {
    return grading::Block(station, stone, intake::kMeasurementMissingMessage,
                          intake::kMeasurementMissingTitle, ExitStatus::kMeasurementMissing)
        .status;
  }

  // Held until the run ends. A station where it cannot be made (a read-only folder) runs without.
  std::unique_ptr<platform::FileLock> lock;
  (void)env.LockFile(paths.Lock(), &lock);

  // The archive of the run's stone; the lab's server, when the station has one, is reached while
  // the stone is graded.
  StationArchive archive(station);

  gradetables::StationGradeFiles grade_files(station);
  platform::OutputFile report(env, paths.Report(), /*append=*/false);
  platform::OutputFile grade_log(env, paths.GradeLog(), /*append=*/true);
  const auto end =
      grading::krm_Grade(station, grade_files, stone, {&report, &grade_log}, paths.Measurement());
  const Status report_written = report.Close();
  const Status log_written = grade_log.Close();
  if (end) return end->status;
  (void)station.faults.Check(report_written, "report file not written", paths.Report());
  (void)station.faults.Check(log_written, "grade log not written", paths.GradeLog());

  stone.saved_cut_caption = stone.fields.CutCaption();
  stone.saved_symmetry_caption = stone.fields.SymmetryCaption();
  // The archive's record of the stone is made from this first grading: the candidates' gradings
  // change the stone state later. It is kept from here on whatever ends the run.
  archive.Graded(stone);

  // The stone goes into the report database; a missing one ends the run before the recut advice.
  report_export::Valdane_Sp valdane_sp;
  if (auto export_end = valdane_sp.PublicMain(station)) {
    archive.Keep(nullptr);
    return export_end->status;
  }

  // Recut advice for a Very Good round brilliant; a candidate grading may end the run. The
  // candidates' gradings write no grade log: the first grading's block is the run's.
  const auto grade_candidate = [&](const std::filesystem::path& candidate,
                                   platform::OutputFile& candidate_report) {
    return grading::krm_Grade(station, grade_files, stone, {&candidate_report, nullptr}, candidate);
  };
  std::optional<intake::RunEnd> recut_end;
  const recut::RecutAdvice advice = recut::krm_Recut(station, stone, grade_candidate, &recut_end);
  if (recut_end) {
    archive.Keep(&advice);
    return recut_end->status;
  }

  if (auto batch = intake::FindStationFile(env, paths.FollowUp())) {
    (void)station.faults.Check(env.StartBatch(*batch, paths.root), "follow-up not started", *batch);
  }
  // After the follow-up's start, so that it never waits for the lab's archive server.
  archive.Keep(&advice);
  valdane_sp.Finish();
  return station.faults.empty() ? ExitStatus::kOk : ExitStatus::kResultNotWritten;
}

}  // namespace krm::app
