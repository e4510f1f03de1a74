// Facet reading, statistics, ranking and candidate tables of the recut advice.
#include "recut/facets.h"

#include <cmath>
#include <string>

#include "text/number_text.h"

namespace krm::recut {
namespace {

constexpr std::string_view kSection = "NumericalParameters";

// Adds `v` to a running sum; an addition that would overflow is passed over and leaves the sum
// as it was (the original's failing statement).
void AddTo(double& sum, double v) {
  const double next = sum + v;
  if (std::isfinite(next)) sum = next;
}
void AddTo(float& sum, double v) {
  if (auto next = text::NarrowToSingle(static_cast<double>(sum) + v)) sum = *next;
}

// Replaces the maximum and minimum by `entry` when it is strictly beyond them.
void Extend(FacetStats& stats, const FacetEntry& entry) {
  if (entry.value > stats.max.value) stats.max = entry;
  if (entry.value < stats.min.value) stats.min = entry;
}

bool Placed(const FacetOrder& order, int facet, int round) {
  for (int t = round; t >= 1; --t) {
    if (order[t - 1] == facet || order[kFacets - t] == facet) return true;
  }
  return false;
}

}  // namespace

FacetEntry FacetEntry::Replaced(std::string text) {
  const double v = text::ToNumber(text);
  return {v, std::move(text), false};
}

std::string FacetEntry::Text() const {
  if (!replacement.empty()) return replacement;
  return single ? text::FromSingle(static_cast<float>(value)) : text::FromDouble(value);
}

MeasuredFacets ReadFacets(const intake::Profile& measurement) {
  MeasuredFacets m;
  double pavilion_sum = 0;
  float crown_sum = 0;
  // The keys with their facet digit put in place.
  char pavilion_key[] = "PAVILION_ANGLE_DEG_n";
  char crown_key[] = "CROWN_ANGLE_DEG_n";
  for (int n = 1; n <= kFacets; ++n) {
    pavilion_key[sizeof pavilion_key - 2] = crown_key[sizeof crown_key - 2] =
        static_cast<char>('0' + n);
    const double pavilion = text::ToNumber(measurement.Find(kSection, pavilion_key));
    const double crown = text::ToNumber(measurement.Find(kSection, crown_key));
    m.pavilion[n - 1] = pavilion;
    m.crown[n - 1] = crown;
    m.crown_single[n - 1] = text::NarrowToSingle(crown).value_or(0.0f);
    AddTo(pavilion_sum, pavilion);
    AddTo(crown_sum, m.crown_single[n - 1]);
    Extend(m.pavilion_stats, FacetEntry::Double(pavilion));
    Extend(m.crown_stats, FacetEntry::Double(crown));
  }
  m.pavilion_stats.mean = FacetEntry::Double(pavilion_sum / kFacets);
  m.crown_stats.mean = FacetEntry::Single(crown_sum / static_cast<float>(kFacets));
  return m;
}

FacetOrder RankFacets(const std::array<double, kFacets>& angles) {
  FacetOrder order{};
  for (int k = 1; k <= 4; ++k) {
    double running_max = 0;
    double running_min = 100;
    for (int m = 1; m <= kFacets; ++m) {
      if (Placed(order, m, k)) continue;
      const double a = angles[m - 1];
      if (!(a > 0 && a < 100)) continue;
      if (a > running_max) {
        running_max = a;
        order[k - 1] = m;
      }
      if (a < running_min) {
        running_min = a;
        order[kFacets - k] = m;
      }
    }
  }
  return order;
}

std::string QuarterSum(const std::array<double, kFacets>& angles, const FacetOrder& order,
                       int first) {
  double sum = 0;
  for (int p = first; p < first + 4; ++p) {
    const int facet = order[p - 1];
    if (facet >= 1 && facet <= kFacets) AddTo(sum, angles[facet - 1]);
  }
  return text::FixedDouble(sum * 0.25, 3);
}

RecutPlan MakePlan(const MeasuredFacets& measured) {
  RecutPlan plan;
  plan.measured = measured;
  plan.pavilion_order = RankFacets(measured.pavilion);
  plan.crown_order = RankFacets(measured.crown);
  plan.low_pavilion_mean = QuarterSum(measured.pavilion, plan.pavilion_order, 5);
  plan.high_pavilion_mean = QuarterSum(measured.pavilion, plan.pavilion_order, 1);
  plan.crown_mean = QuarterSum(measured.crown, plan.crown_order, 1);
  return plan;
}

namespace {

// Gives the facets at order positions `first` to `first + 3` the replacement `text`; an unfilled
// position changes nothing.
void Replace(std::array<FacetEntry, kFacets>& table, const FacetOrder& order, int first,
             const std::string& text) {
  for (int p = first; p < first + 4; ++p) {
    const int facet = order[p - 1];
    if (facet >= 1 && facet <= kFacets) table[facet - 1] = FacetEntry::Replaced(text);
  }
}

}  // namespace

Candidate MakeCandidate(const RecutPlan& plan, int attempt) {
  Candidate c;
  for (int i = 0; i < kFacets; ++i) {
    c.pavilion[i] = FacetEntry::Double(plan.measured.pavilion[i]);
    c.crown[i] = FacetEntry::Single(plan.measured.crown_single[i]);
  }
  if (attempt == 1 || attempt == 4) {
    Replace(c.pavilion, plan.pavilion_order, 1, plan.low_pavilion_mean);
  }
  if (attempt == 2 || attempt == 5) {
    Replace(c.pavilion, plan.pavilion_order, 5, plan.high_pavilion_mean);
  }
  if (attempt >= 3 && attempt <= 5) Replace(c.crown, plan.crown_order, 5, plan.crown_mean);

  double pavilion_sum = 0;
  float crown_sum = 0;
  for (int i = 0; i < kFacets; ++i) {
    AddTo(pavilion_sum, c.pavilion[i].value);
    AddTo(crown_sum, c.crown[i].value);
    Extend(c.pavilion_stats, c.pavilion[i]);
    Extend(c.crown_stats, c.crown[i]);
  }
  c.pavilion_stats.mean = FacetEntry::Double(pavilion_sum / kFacets);
  c.crown_stats.mean = FacetEntry::Single(crown_sum / static_cast<float>(kFacets));
  return c;
}

}  // namespace krm::recut
