// krm_Recut: the recut advice for a Very Good round brilliant. Up to five candidate sets of facet
// angles are written as rewritten copies of the measurement file and graded in full; the first
// candidate whose cut grade differs from the stone's ends the search. The verdict goes to
// data/recut.txt, the last candidate's grading report to data/out_1.txt.
#ifndef KRM_RECUT_KRM_RECUT_H_
#define KRM_RECUT_KRM_RECUT_H_

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/run_state.h"
#include "recut/facets.h"

namespace krm::recut {

// Grades the file at the path given, as krm_Grade does: reads it, leaves the grade classes and
// result fields in the state and closes state.report_file.
using Grader =
    std::function<std::optional<app::RunEnd>(app::RunState&, const std::filesystem::path&)>;

inline constexpr int kAttempts = 5;

// Runs the advice on the stone that the first grading left in `state` (its OverallCutClass,
// saved captions and the measurement file of the station). A file that cannot be created, read
// or copied ends the advice there, keeping what recut.txt had received; the measurement file is
// never written. Gives the end of the run when a candidate grading ended it. `grade` defaults to
// grading::krm_Grade.
std::optional<app::RunEnd> krm_Recut(app::RunState& state, const Grader& grade = {});

// The 50 lines of a successful advice: the saved and the candidate's captions, the measured and
// the candidate's statistics, then per facet the measured and the candidate's pavilion and crown
// angles. The candidate's captions are those in state.fields (Label1(20) and Label1(25)).
std::vector<std::string> SuccessLines(const app::RunState& state, const RecutPlan& plan,
                                      const Candidate& candidate);

}  // namespace krm::recut

#endif  // KRM_RECUT_KRM_RECUT_H_
