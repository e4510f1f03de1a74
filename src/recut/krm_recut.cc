// The recut advice: eligibility, ranking, backup copy, the candidate loop and the verdict.
#include "recut/krm_recut.h"

#include <memory>
#include <string>

#include "recut/candidate_writer.h"
#include "text/number_text.h"

namespace krm::recut {
namespace {

namespace fs = std::filesystem;

// The station's file steps: the backup copy and the candidate file beside the measurement file,
// the candidate's report in data/out_1.txt.
class StationSteps : public RecutSteps {
 public:
  StationSteps(intake::Station& station, std::optional<fs::path> source, const StationGrader& grade)
      : station_(station), source_(std::move(source)), grade_(grade) {}

  bool BackUp() override {
    const fs::path backup = station_.paths.MeasurementBackup();
    const Status copied = source_ ? station_.env.CopyFile(*source_, backup)
                                  : Status::NotFound("no measurement file", "no measurement file");
    return !station_.faults.Check(copied, "measurement backup not written", backup);
  }

  bool GradeCandidate(int /*attempt*/, const Offsets& offsets, const Candidate& candidate,
                      std::optional<intake::RunEnd>* end) override {
    // The candidate is written from the measurement file read anew, piece by piece, so that
    // neither is held in memory while the candidate is graded.
    const fs::path path = station_.paths.Candidate();
    std::string contents;
    const Status read = source_ ? station_.env.ReadFile(*source_, &contents)
                                : Status::NotFound("no measurement file", "no measurement file");
    if (station_.faults.Check(read, "recut candidate not written", source_.value_or(path))) {
      return false;
    }
    platform::OutputFile file(station_.env, path, /*append=*/false);
    RewriteMeasurement(contents, offsets, candidate,
                       [&file](std::string_view piece) { file.Write(piece); });
    contents = std::string();
    if (station_.faults.Check(file.Close(), "recut candidate not written", path)) return false;

    platform::OutputFile report(station_.env, station_.paths.CandidateReport(), /*append=*/false);
    if (!report.is_open()) {
      (void)station_.faults.Check(report.Close(), "recut candidate report not written",
                                  report.path());
      return false;
    }
    *end = grade_(path, report);
    (void)station_.faults.Check(report.Close(), "recut candidate report not written",
                                report.path());
    return !*end;
  }

 private:
  intake::Station& station_;
  std::optional<fs::path> source_;
  const StationGrader& grade_;
};

}  // namespace

std::vector<std::string> SuccessLines(const grading::StoneState& stone, const RecutPlan& plan,
                                      const Candidate& candidate,
                                      std::string_view candidate_cut_caption,
                                      std::string_view candidate_symmetry_caption) {
  const MeasuredFacets& m = plan.measured;
  std::vector<std::string> lines = {
      "Recut = 1",
      "MSG =  Successful",
      "Org_Cut =" + stone.saved_cut_caption,
      "Recut_Cut =" + std::string(candidate_cut_caption),
      "Org_Sym =" + stone.saved_symmetry_caption,
      "Recut_Sym =" + std::string(candidate_symmetry_caption),
      "Org_Pavilion_Avg =" + m.pavilion_stats.mean.Text(),
      "Recut_Pavilion_Avg =" + candidate.pavilion_stats.mean.Text(),
      "Org_Pavilion_Max =" + m.pavilion_stats.max.Text(),
      "Recut_Pavilion_Max =" + candidate.pavilion_stats.max.Text(),
      "Org_Pavilion_Min =" + m.pavilion_stats.min.Text(),
      "Recut_Pavilion_Min =" + candidate.pavilion_stats.min.Text(),
      "Org_Crown_Avg =" + m.crown_stats.mean.Text(),
      "Recut_Crown_Avg =" + candidate.crown_stats.mean.Text(),
      "Org_Crown_Max =" + m.crown_stats.max.Text(),
      "Recut_Crown_Max =" + candidate.crown_stats.max.Text(),
      "Org_Crown_Min =" + m.crown_stats.min.Text(),
      "Recut_Crown_Min =" + candidate.crown_stats.min.Text(),
  };
  for (int n = 1; n <= kFacets; ++n) {
    const std::string digit = std::to_string(n);
    lines.push_back("Org_Pavilion_" + digit + "=" + text::FromDouble(m.pavilion[n - 1]));
    lines.push_back("Recut_Pavilion_" + digit + "=" + candidate.pavilion[n - 1].Text());
    lines.push_back("Org_Crown_" + digit + "=" + text::FromSingle(m.crown_single[n - 1]));
    lines.push_back("Recut_Crown_" + digit + "=" + candidate.crown[n - 1].Text());
  }
  return lines;
}

RecutAdvice PlanRecut(const grading::StoneState& stone, const intake::Profile& measurement) {
  RecutAdvice advice;
  advice.eligibility = CheckEligibility(stone.OverallCutClass, measurement);
  if (advice.eligibility != Eligibility::kEligible) {
    for (std::string_view line : RefusalLines(advice.eligibility)) advice.lines.emplace_back(line);
    advice.completed = true;
    return advice;
  }
  advice.plan = MakePlan(ReadFacets(measurement));
  advice.offsets = ReadOffsets(measurement);
  return advice;
}

void TryCandidates(grading::StoneState& stone, RecutSteps& steps, RecutAdvice* advice,
                   std::optional<intake::RunEnd>* end) {
  if (advice->eligibility != Eligibility::kEligible || !steps.BackUp()) return;
  const std::int16_t initial_grade = stone.OverallCutClass;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    Candidate candidate = MakeCandidate(advice->plan, attempt);
    if (!steps.GradeCandidate(attempt, advice->offsets, candidate, end)) return;
    advice->attempts = attempt;
    if (stone.OverallCutClass != initial_grade) {
      advice->cut_caption = stone.fields.CutCaption();
      advice->symmetry_caption = stone.fields.SymmetryCaption();
      advice->lines = SuccessLines(stone, advice->plan, candidate, advice->cut_caption,
                                   advice->symmetry_caption);
      advice->candidate = std::move(candidate);
      advice->successful_attempt = attempt;
      advice->completed = true;
      return;
    }
  }
  for (std::string_view line : GiveUpLines()) advice->lines.emplace_back(line);
  advice->completed = true;
}

RecutAdvice krm_Recut(intake::Station& station, grading::StoneState& stone,
                      const StationGrader& grade, std::optional<intake::RunEnd>* end) {
  end->reset();
  platform::Env& env = station.env;
  platform::OutputFile verdict(env, station.paths.RecutAdvice(), /*append=*/false);
  if (!verdict.is_open()) {
    (void)station.faults.Check(verdict.Close(), "recut advice not written", verdict.path());
    return RecutAdvice{};
  }

  // The measurement file's keys for the checks, the facets and the offsets; a missing file reads
  // as no keys, as the profile reader gives. They are dropped before the first candidate.
  const std::optional<fs::path> source = intake::FindStationFile(env, station.paths.Measurement());
  RecutAdvice advice =
      PlanRecut(stone, intake::ReadMeasurement(env, station.paths.Measurement(), &station.faults));
  StationSteps steps(station, source, grade);
  TryCandidates(stone, steps, &advice, end);
  for (const std::string& line : advice.lines) verdict.WriteLine(line);
  (void)station.faults.Check(verdict.Close(), "recut advice not written", verdict.path());
  return advice;
}

}  // namespace krm::recut
