// The explanation of a grade: which of the six proportions limits the table class and what would
// lift it, read from the grade table itself so that it holds for any lab's table, and which rule
// of the grading gave the final grade, with the numbers it compared.
#ifndef KRM_GRADING_EXPLAIN_H_
#define KRM_GRADING_EXPLAIN_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gradetables/grade_grid.h"
#include "gradetables/grade_table_reader.h"
#include "grading/stone_state.h"

namespace krm::grading {

// The grade table around the stone's cell along one axis.
struct AxisView {
  Axis axis;
  float averaged = 0;  // the stone's averaged value (CALC_)
  double snapped = 0;  // on the grid (the girdle not clamped)
  int index = 0;       // grid index of the stone's cell
  // The cells one grid step down and up along this axis, the others kept: the grid value there
  // and its class. No value at the grid's edge, or when the cell cannot be read.
  std::optional<double> below_value, above_value;
  std::optional<std::int16_t> below_class, above_class;
  // One step along this axis gives a better class than the table class.
  bool limits = false;
};

// The nearest cell of a better class than the table class: fewest grid steps in total, then the
// best class, then the lowest cell number.
struct BetterCell {
  gradetables::GridIndexes index{};
  std::int16_t grade_class = 0;
  int steps = 0;
};

struct Explanation {
  bool gradable = true;
  std::int16_t table_class = 0;
  std::int64_t cell = 0;
  std::array<AxisView, gradetables::kAxes> axes{};
  std::optional<BetterCell> nearest_better;
  int searched_steps = 0;  // how far the search for a better cell went
  // The rule that gave the final grade and every rule that worsened the grade, in order.
  RuleOutcome final_rule{};
  std::vector<RuleOutcome> acted;
  std::int16_t overall_class = 0;
  std::string cut_caption;
  // One sentence for a person: what limits the grade and what would lift it.
  std::string verdict;
};

// Farthest the search for a better cell goes, in grid steps in total.
inline constexpr int kBetterCellSearchSteps = 12;

// Explains the grading that `stone` holds (its details, result fields and classes) with the grade
// table it was read from. Never fails: cells that cannot be read are left out.
Explanation Explain(const StoneState& stone, const gradetables::GradeTableReader& table);

// The grid value of `index` on `axis` in a grading report's words: "41.8°", "57 %".
std::string GridValueText(Axis axis, double value);

// What a rule is called in a grading report's words: "pavilion angle", "thin girdle".
std::string RuleName(Rule rule);

}  // namespace krm::grading

#endif  // KRM_GRADING_EXPLAIN_H_
