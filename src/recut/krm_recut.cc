// The recut advice run: eligibility, ranking, backup copy, the candidate loop and the verdict.
#include "recut/krm_recut.h"

#include <memory>
#include <string>

#include "app/profile.h"
#include "grading/krm_grade.h"
#include "recut/candidate_writer.h"
#include "recut/eligibility.h"
#include "text/number_text.h"

namespace krm::recut {
namespace {

namespace fs = std::filesystem;
using File = std::unique_ptr<platform::WritableFile>;

// Closes the advice file when the run of the advice ends, however it ends.
struct AdviceFile {
  File file;
  ~AdviceFile() {
    if (file) (void)file->Close();
  }
  void Write(std::string_view line) const { app::WriteLine(file, line); }
};

// Writes the candidate file from the measurement file `source`, read anew for every candidate;
// false when either cannot be opened. The candidate is written as it is made, and nothing of
// the measurement file is held once it is written, so that a candidate's grading never has the
// file in memory twice.
bool WriteCandidate(platform::Env& env, const fs::path& source, const fs::path& path,
                    const Offsets& offsets, const Candidate& candidate) {
  std::string contents;
  if (!env.ReadFile(source, &contents).ok()) return false;
  File out;
  if (!env.OpenWritable(path, /*append=*/false, &out).ok()) return false;
  bool written = true;
  RewriteMeasurement(contents, offsets, candidate, [&](std::string_view piece) {
    if (!out->Append(piece).ok()) written = false;
  });
  return out->Close().ok() && written;
}

}  // namespace

std::vector<std::string> SuccessLines(const app::RunState& state, const RecutPlan& plan,
                                      const Candidate& candidate) {
  const MeasuredFacets& m = plan.measured;
  std::vector<std::string> lines = {
      "Recut = 1",
      "MSG =  Successful",
      "Org_Cut =" + state.saved_cut_caption,
      "Recut_Cut =" + state.fields.Label1(20),
      "Org_Sym =" + state.saved_symmetry_caption,
      "Recut_Sym =" + state.fields.Label1(25),
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

std::optional<app::RunEnd> krm_Recut(app::RunState& state, const Grader& grade) {
  platform::Env& env = state.env;
  const app::StationPaths& paths = state.paths;

  AdviceFile advice;
  if (!env.OpenWritable(paths.RecutAdvice(), /*append=*/false, &advice.file).ok()) {
    return std::nullopt;
  }
  const std::int16_t initial_grade = state.OverallCutClass;

  // The measurement file's keys for the checks, the facets and the offsets; a missing file reads
  // as no keys, as the profile reader gives. They are dropped before the first candidate.
  const std::optional<fs::path> source = env.FindFile(paths.Measurement());
  RecutPlan plan;
  Offsets offsets;
  {
    const app::Profile measurement = source ? app::Profile::Load(env, *source) : app::Profile();
    const Eligibility outcome = CheckEligibility(initial_grade, measurement);
    if (outcome != Eligibility::kEligible) {
      for (std::string_view line : RefusalLines(outcome)) advice.Write(line);
      return std::nullopt;
    }
    plan = MakePlan(ReadFacets(measurement));
    offsets = ReadOffsets(measurement);
  }
  if (!source || !env.CopyFile(*source, paths.MeasurementBackup()).ok()) return std::nullopt;

  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    const Candidate candidate = MakeCandidate(plan, attempt);
    if (!WriteCandidate(env, *source, paths.Candidate(), offsets, candidate)) {
      return std::nullopt;
    }
    state.report_path = paths.CandidateReport();
    state.report_file.reset();
    if (!env.OpenWritable(state.report_path, /*append=*/false, &state.report_file).ok()) {
      state.report_file.reset();
      return std::nullopt;
    }
    const std::optional<app::RunEnd> end =
        grade ? grade(state, paths.Candidate()) : grading::krm_Grade(state, paths.Candidate());
    if (end) return end;
    if (state.OverallCutClass != initial_grade) {
      for (const std::string& line : SuccessLines(state, plan, candidate)) advice.Write(line);
      return std::nullopt;
    }
  }
  for (std::string_view line : GiveUpLines()) advice.Write(line);
  return std::nullopt;
}

}  // namespace krm::recut
