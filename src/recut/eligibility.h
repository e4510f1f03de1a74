// Eligibility of a stone for the recut advice: only a graded Very Good round brilliant that is not
// semi-polished gets candidates; every other stone gets its verdict and message lines at once.
#ifndef KRM_RECUT_ELIGIBILITY_H_
#define KRM_RECUT_ELIGIBILITY_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "intake/profile.h"

namespace krm::recut {

enum class Eligibility {
  kExcellent,      // already the best grade
  kBelowVeryGood,  // Good, Fair or Poor
  kSemiPolished,
  kNotBrilliant,
  kNoGrade,   // no grade class: no lines at all
  kEligible,  // Very Good round brilliant: try the candidates
};

// The checks in their order: the initial grade class 1, above 2, MODEL_IS_SEMI_POLISHED equal to
// 1 as a number (a text that is no number counts as not semi-polished), CUTTING_TYPE other than
// exactly "Brilliant", and last the grade class 2. `measurement` is the measurement file.
Eligibility CheckEligibility(std::int16_t initial_grade, const intake::Profile& measurement);

// The lines that a stone that gets no candidates writes to the recut advice; empty for kNoGrade
// and kEligible.
std::vector<std::string_view> RefusalLines(Eligibility outcome);

// The lines written when no candidate changed the grade.
std::vector<std::string_view> GiveUpLines();

}  // namespace krm::recut

#endif  // KRM_RECUT_ELIGIBILITY_H_
