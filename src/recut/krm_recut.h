// The recut advice for a Very Good round brilliant. Up to five candidate sets of facet angles are
// written as rewritten copies of the measurement file and graded in full; the first candidate
// whose cut grade differs from the stone's ends the search.
//
// PlanRecut and TryCandidates are the advice itself, the same at a station and in a batch; what
// differs is how a candidate is kept and graded (RecutSteps). krm_Recut is the station's advice: it
// writes the backup copy test_copy.txt, each candidate to test_1.txt, its grading report to
// data/out_1.txt and the verdict to data/recut.txt.
#ifndef KRM_RECUT_KRM_RECUT_H_
#define KRM_RECUT_KRM_RECUT_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grading/stone_state.h"
#include "intake/profile.h"
#include "intake/station.h"
#include "platform/output_file.h"
#include "recut/candidate_writer.h"
#include "recut/eligibility.h"
#include "recut/facets.h"

namespace krm::recut {

inline constexpr int kAttempts = 5;

// The steps of the advice that touch files at a station.
class RecutSteps {
 public:
  virtual ~RecutSteps() = default;
  // Keeps the backup copy of the measurement file; false ends the advice there.
  virtual bool BackUp() = 0;
  // Writes the candidate measurement file of attempt `attempt` (the measurement file rewritten by
  // RewriteMeasurement with `offsets` and `candidate`) and grades it into the stone. False when the
  // candidate could not be written or graded (the advice ends there); `*end` is set when the
  // grading ended the run.
  virtual bool GradeCandidate(int attempt, const Offsets& offsets, const Candidate& candidate,
                              std::optional<intake::RunEnd>* end) = 0;
};

// The outcome of one advice.
struct RecutAdvice {
  Eligibility eligibility = Eligibility::kNoGrade;
  // The verdict lines of data/recut.txt; empty when the stone has no grade class or the advice
  // ended early.
  std::vector<std::string> lines;
  // False when a file step failed and the advice ended before its verdict.
  bool completed = false;
  int attempts = 0;  // candidates graded
  RecutPlan plan;
  Offsets offsets;
  // The candidate that changed the grade, with the captions its grading gave.
  std::optional<Candidate> candidate;
  int successful_attempt = 0;
  std::string cut_caption;
  std::string symmetry_caption;
};

// The first half of the advice, on the stone that its first grading left in `stone` (its
// OverallCutClass): the eligibility checks and, for an eligible stone, the ranking of its facets
// and the offsets, all read from `measurement`. A stone that is not eligible has its verdict
// lines; an eligible one goes on with TryCandidates, which no longer needs the measurement file's
// keys.
RecutAdvice PlanRecut(const grading::StoneState& stone, const intake::Profile& measurement);

// The second half: the backup copy and up to five candidates, each written and graded by `steps`,
// until one changes the grade. Gives the end of the run in `*end` when a candidate grading ended
// it.
void TryCandidates(grading::StoneState& stone, RecutSteps& steps, RecutAdvice* advice,
                   std::optional<intake::RunEnd>* end);

// Grades a candidate at the station: the candidate file's path, the report file opened for it.
using StationGrader = std::function<std::optional<intake::RunEnd>(
    const std::filesystem::path& candidate, platform::OutputFile& report)>;

// krm_Recut: the station's advice, run after the first grading of the run. A file that cannot be
// created, read or copied ends the advice there, keeping what recut.txt had received, and is
// recorded in the station's fault log; the measurement file is never written. Gives the advice
// (no lines when recut.txt could not be made and the advice was not run), and in `*end` the end
// of the run when a candidate grading ended it.
RecutAdvice krm_Recut(intake::Station& station, grading::StoneState& stone,
                      const StationGrader& grade, std::optional<intake::RunEnd>* end);

// The 50 lines of a successful advice: the saved and the candidate's captions, the measured and
// the candidate's statistics, then per facet the measured and the candidate's pavilion and crown
// angles.
std::vector<std::string> SuccessLines(const grading::StoneState& stone, const RecutPlan& plan,
                                      const Candidate& candidate,
                                      std::string_view candidate_cut_caption,
                                      std::string_view candidate_symmetry_caption);

}  // namespace krm::recut

#endif  // KRM_RECUT_KRM_RECUT_H_
