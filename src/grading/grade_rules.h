// The grade table grid and the rules of the grading: snapping onto the grid, the grid search on
// the text forms of the snapped values, the girdle and total depth rules, and the texts that say
// which rule limited the cut grade.
#ifndef KRM_GRADING_GRADE_RULES_H_
#define KRM_GRADING_GRADE_RULES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gradetables/grade_grid.h"

namespace krm::grading {

using gradetables::GridAxis;
using gradetables::kCrownAxis;
using gradetables::kGirdleAxis;
using gradetables::kLowerHalfAxis;
using gradetables::kPavilionAxis;
using gradetables::kStarAxis;
using gradetables::kTableAxis;

// The first grid point whose text form, read back, equals `value` exactly. No value when none
// does (the caller's index then stays as it was).
std::optional<int> GridIndex(const GridAxis& axis, double value);

// A star or lower half length placed on the grid of fives: rounded to a whole number (rewriting
// `calc` to its four-decimal value), remainders 3 and 4 up to the next multiple of 5, 0 to 2
// down. A value too large for a whole-number remainder is only rounded.
double SnapToFive(float& calc);

// Class that a thin girdle (below 1.5 %) gives with total depth `depth` (one decimal); no value
// when the depth leaves the class at the table class.
std::optional<std::int16_t> ThinGirdleClass(float depth);
// Class of a thick girdle `girdle` (a multiple of 0.5 above 7).
std::optional<std::int16_t> ThickGirdleClass(double girdle);
// Class of the total depth that comes with a thick girdle; no value below 64.6 %.
std::optional<std::int16_t> DeepStoneClass(float depth);

// The limitation texts, each naming the class it limits to and the table class name.
std::string ThinGirdleText(std::string_view limit, std::string_view table_name);
std::string ThickGirdleText(std::string_view limit, std::string_view table_name);
std::string DeepStoneText(std::string_view limit, std::string_view table_name);
std::string GirdleDescriptionText(std::string_view limit, std::string_view table_name);
std::string CuletText(std::string_view limit, std::string_view table_name);
std::string PaintingText(float app, float acp, float sum, std::string_view limit,
                         std::string_view table_name);
std::string SymmetryLimitText(std::string_view limit, std::string_view table_name);

// The limit counter of one target text: the first text is appended as it is, later ones after
// " - AND -  ".
class LimitTexts {
 public:
  void Add(std::string& target, std::string_view text);
  // Counts a text that its rule appends itself, without a separator.
  void Count() { ++count_; }
  void Reset() { count_ = 0; }

 private:
  int count_ = 0;
};

}  // namespace krm::grading

#endif  // KRM_GRADING_GRADE_RULES_H_
