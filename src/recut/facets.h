// Facet tables of the recut advice: the eight pavilion and crown main angles of a stone, their
// statistics, the ranking of the steepest and shallowest facets, the replacement means and the
// candidate tables that one recut attempt grades.
#ifndef KRM_RECUT_FACETS_H_
#define KRM_RECUT_FACETS_H_

#include <array>
#include <string>

#include "intake/profile.h"

namespace krm::recut {

inline constexpr int kFacets = 8;

// One entry of a candidate table: an unchanged measured angle (a double for the pavilion, a
// single for the crown) or the text of a replacement value. Arithmetic uses `value`; the entry is
// written as its replacement text, or as the number's shortest text by its precision.
struct FacetEntry {
  double value = 0;
  std::string replacement;  // non-empty for a replaced facet
  bool single = false;      // the number is of single precision

  static FacetEntry Double(double v) { return {v, {}, false}; }
  static FacetEntry Single(float v) { return {v, {}, true}; }
  // A replacement text; its value is the text read as a number.
  static FacetEntry Replaced(std::string text);

  std::string Text() const;
  bool operator==(const FacetEntry&) const = default;
};

// Mean, maximum and minimum over eight angles. A maximum starts at 0 and a minimum at 100 and each
// is replaced only by a strictly larger or smaller angle, so one never replaced is written "0" or
// "100".
struct FacetStats {
  FacetEntry mean;
  FacetEntry max = FacetEntry::Double(0);
  FacetEntry min = FacetEntry::Double(100);
  bool operator==(const FacetStats&) const = default;
};

// The facet angles as read from the measurement file, indexed by facet number - 1.
struct MeasuredFacets {
  std::array<double, kFacets> pavilion{};
  std::array<double, kFacets> crown{};
  // The crown angles narrowed once; every crown reset and every written crown angle uses them.
  std::array<float, kFacets> crown_single{};
  FacetStats pavilion_stats;  // double mean
  FacetStats crown_stats;     // single mean of crown_single, max and min of `crown`
};

// Reads PAVILION_ANGLE_DEG_n and CROWN_ANGLE_DEG_n, n = 1 to 8, of section NumericalParameters.
// A missing or non-numeric key reads as 0; a crown angle beyond the single range keeps 0 as its
// single value. Never fails.
MeasuredFacets ReadFacets(const intake::Profile& measurement);

// Facet numbers 1 to 8 by rank, 0 where no facet was placed. Positions 1 to 4 (index 0 to 3) hold
// the largest angles in decreasing order, positions 8 down to 5 (index 7 to 4) the smallest in
// increasing order.
using FacetOrder = std::array<int, kFacets>;

// Ranks in four rounds, each taking the largest and the smallest of the facets not yet placed;
// ties go to the lower facet number. An angle not strictly between 0 and 100 (a missing facet, a
// misread value) is never placed.
FacetOrder RankFacets(const std::array<double, kFacets>& angles);

// The angles at order positions `first` to `first + 3` (1-based) summed and multiplied by 0.25,
// as text with three decimals. An unfilled position counts 0.
std::string QuarterSum(const std::array<double, kFacets>& angles, const FacetOrder& order,
                       int first);

// What a recut attempt works from: the measured facets, their ranking and the three
// replacement texts.
struct RecutPlan {
  MeasuredFacets measured;
  FacetOrder pavilion_order{};
  FacetOrder crown_order{};
  std::string low_pavilion_mean;   // positions 5 to 8: given to the steepest facets
  std::string high_pavilion_mean;  // positions 1 to 4: given to the shallowest facets
  std::string crown_mean;          // positions 1 to 4: given to the smallest crown facets
};

RecutPlan MakePlan(const MeasuredFacets& measured);

// The candidate tables of one attempt and their statistics.
struct Candidate {
  std::array<FacetEntry, kFacets> pavilion;
  std::array<FacetEntry, kFacets> crown;
  FacetStats pavilion_stats;  // double mean
  FacetStats crown_stats;     // single mean
};

// Attempt 1: the steepest pavilion facets get the low mean; 2: the shallowest get the high mean;
// 3: the smallest crown facets get the crown mean; 4 and 5: attempts 1 and 2 with the crown change
// of 3. Any other attempt number gives the measured tables unchanged.
Candidate MakeCandidate(const RecutPlan& plan, int attempt);

}  // namespace krm::recut

#endif  // KRM_RECUT_FACETS_H_
