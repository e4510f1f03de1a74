// The explanation of a grade, read off the grade table around the stone's cell.
#include "grading/explain.h"

#include <algorithm>
#include <cstdlib>

#include "gradetables/main_fnc.h"
#include "text/number_text.h"

namespace krm::grading {
namespace {

using gradetables::AxisIndex;
using gradetables::GridIndexes;
using gradetables::GridOf;
using gradetables::kAxes;

std::string Name(std::int16_t c) {
  return gradetables::MainFNC::eClassName(c);
}

// The class in a cell; no value when it cannot be read or holds no class digit.
std::optional<std::int16_t> ClassAt(const gradetables::GradeTableReader& table,
                                    const GridIndexes& index) {
  char byte = 0;
  if (!table.ReadCell(gradetables::CellNumber(index), &byte).ok()) return std::nullopt;
  if (byte < '1' || byte > '5') return std::nullopt;
  return static_cast<std::int16_t>(byte - '0');
}

// Every cell `steps` grid steps in total from `from`, handed to `visit`.
template <typename Visit>
void ForEachAtDistance(const GridIndexes& from, int axis, int steps, GridIndexes& at,
                       Visit& visit) {
  if (axis == kAxes - 1) {
    for (int delta : {-steps, steps}) {
      at[axis] = from[axis] + delta;
      if (at[axis] >= 0 && at[axis] < gradetables::kGradeGrid[axis].points) visit(at);
      if (steps == 0) break;
    }
    at[axis] = from[axis];
    return;
  }
  for (int delta = -steps; delta <= steps; ++delta) {
    at[axis] = from[axis] + delta;
    if (at[axis] < 0 || at[axis] >= gradetables::kGradeGrid[axis].points) continue;
    ForEachAtDistance(from, axis + 1, steps - std::abs(delta), at, visit);
  }
  at[axis] = from[axis];
}

std::optional<BetterCell> NearestBetter(const gradetables::GradeTableReader& table,
                                        const GridIndexes& from, std::int16_t table_class,
                                        int* searched) {
  for (int steps = 1; steps <= kBetterCellSearchSteps; ++steps) {
    *searched = steps;
    std::optional<BetterCell> best;
    GridIndexes at = from;
    auto visit = [&](const GridIndexes& cell) {
      const auto c = ClassAt(table, cell);
      if (!c || *c >= table_class) return;
      if (!best || *c < best->grade_class ||
          (*c == best->grade_class &&
           gradetables::CellNumber(cell) < gradetables::CellNumber(best->index))) {
        best = BetterCell{cell, *c, steps};
      }
    };
    ForEachAtDistance(from, 0, steps, at, visit);
    if (best) return best;
  }
  return std::nullopt;
}

std::string Steps(int n) {
  static const char* const kWords[] = {"no steps", "one step", "two steps", "three steps"};
  return n < 4 ? kWords[n] : std::to_string(n) + " steps";
}

// How a value above (too_high) or below the better cell is said on each axis.
std::string_view Direction(Axis axis, bool too_high) {
  switch (axis) {
    case Axis::kTable:
      return too_high ? "too large" : "too small";
    case Axis::kCrown:
    case Axis::kPavilion:
      return too_high ? "too steep" : "too shallow";
    case Axis::kStar:
    case Axis::kLowerHalf:
      return too_high ? "too long" : "too short";
    case Axis::kGirdle:
      break;
  }
  return too_high ? "too thick" : "too thin";
}

// "pavilion angle 42.0° is one step too steep: at 41.8° the cell is Excellent"
std::string TableVerdict(const Explanation& e) {
  if (e.table_class == 1) return "every proportion lies in an Excellent cell of the grade table";
  if (!e.nearest_better) {
    return "no cell of a better class lies within " + std::to_string(e.searched_steps) +
           " grid steps of the stone's cell";
  }
  std::string what, where;
  for (const AxisView& view : e.axes) {
    const int target = e.nearest_better->index[AxisIndex(view.axis)];
    if (target == view.index) continue;
    const gradetables::GridAxis& grid = GridOf(view.axis);
    if (!what.empty()) {
      what += " and ";
      where += " and ";
    }
    what += std::string(grid.name) + " " + GridValueText(view.axis, grid.Point(view.index)) +
            " is " + Steps(std::abs(target - view.index)) + " " +
            std::string(Direction(view.axis, target < view.index));
    where += GridValueText(view.axis, grid.Point(target));
  }
  return what + ": at " + where + " the cell is " + Name(e.nearest_better->grade_class);
}

}  // namespace

std::string GridValueText(Axis axis, double value) {
  switch (axis) {
    case Axis::kCrown:
    case Axis::kPavilion:
      return text::FixedDouble(value, 1) + "\xB0";
    case Axis::kGirdle:
      return text::FixedDouble(value, 1) + " %";
    default:
      break;
  }
  return text::FromDouble(value) + " %";
}

std::string RuleName(Rule rule) {
  switch (rule) {
    case Rule::kNotGradable:
      return "not gradable";
    case Rule::kTableCell:
      return "grade table";
    case Rule::kThinGirdle:
      return "thin girdle";
    case Rule::kThickGirdle:
      return "thick girdle";
    case Rule::kDeepStone:
      return "total depth with a thick girdle";
    case Rule::kGirdleDescription:
      return "girdle description";
    case Rule::kCulet:
      return "culet";
    case Rule::kPainting:
      return "digging and painting";
    case Rule::kSymmetry:
      return "symmetry";
    case Rule::kWeight:
      break;
  }
  return "weight";
}

Explanation Explain(const StoneState& stone, const gradetables::GradeTableReader& table) {
  const GradeDetails& d = stone.details;
  const intake::PolishData& r = stone.polish;
  Explanation e;
  e.gradable = d.gradable;
  e.table_class = d.table_class;
  e.cell = d.cell;
  e.overall_class = stone.OverallCutClass;
  e.cut_caption = stone.fields.CutCaption();
  const float averaged[] = {
      r.CALC_TABLE_PC,      r.CALC_CROWN_ANGLE_DEG,     r.CALC_PAVILION_ANGLE_DEG,
      r.CALC_STAR_RATIO_PC, r.CALC_LENGTH_GIRDLE_FACET, r.CALC_GIRDLE_WIDE_BEZEL_PC};
  for (Axis axis : gradetables::kAllAxes) {
    const int a = AxisIndex(axis);
    AxisView& view = e.axes[a];
    view.axis = axis;
    view.averaged = averaged[a];
    view.snapped = stone.fields.Snapped(axis);
    view.index = d.index[a];
    GridIndexes at = d.index;
    const gradetables::GridAxis& grid = GridOf(axis);
    if (view.index > 0) {
      at[a] = view.index - 1;
      view.below_value = grid.Point(at[a]);
      view.below_class = ClassAt(table, at);
    }
    if (view.index + 1 < grid.points) {
      at[a] = view.index + 1;
      view.above_value = grid.Point(at[a]);
      view.above_class = ClassAt(table, at);
    }
    const auto better = [&](const std::optional<std::int16_t>& c) {
      return c && *c < d.table_class;
    };
    view.limits = d.gradable && (better(view.below_class) || better(view.above_class));
  }
  if (d.gradable && d.table_class > 1 && d.table_class <= 5) {
    e.nearest_better = NearestBetter(table, d.index, d.table_class, &e.searched_steps);
  }

  // The final grade comes from the symmetry cap when it lowered the grade, else from the first
  // rule that worsened the grade to the final class, else from the table cell.
  e.final_rule = {Rule::kTableCell, d.table_class, false, ""};
  for (const RuleOutcome& rule : d.rules) {
    if (rule.rule == Rule::kTableCell) e.final_rule = rule;
  }
  for (const RuleOutcome& rule : d.rules) {
    if (!rule.acted || rule.rule == Rule::kWeight) continue;
    e.acted.push_back(rule);
    if (rule.rule == Rule::kSymmetry ||
        (rule.limit == e.overall_class && e.final_rule.rule == Rule::kTableCell)) {
      e.final_rule = rule;
    }
  }

  if (!d.gradable) {
    for (const RuleOutcome& rule : d.rules) {
      if (rule.rule == Rule::kNotGradable)
        e.verdict = "the stone cannot be graded: " + rule.numbers;
    }
  } else if (d.table_class < 1 || d.table_class > 5) {
    e.verdict = "the grade table gives no class for cell " + std::to_string(d.cell);
  } else {
    e.verdict = TableVerdict(e);
    if (e.final_rule.rule != Rule::kTableCell) {
      e.verdict = RuleName(e.final_rule.rule) + " (" + e.final_rule.numbers +
                  ") limits the grade to " + Name(e.overall_class) + "; in the grade table " +
                  e.verdict;
    }
  }
  for (const RuleOutcome& rule : d.rules) {
    if (rule.rule == Rule::kWeight)
      e.verdict += "; " + rule.numbers + ": the grade carries the note Poor";
  }
  return e;
}

}  // namespace krm::grading
