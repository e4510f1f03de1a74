// Eligibility checks and the verdict lines of stones that get no recut candidates.
#include "recut/eligibility.h"

#include "text/number_text.h"

namespace krm::recut {
namespace {

constexpr std::string_view kSection = "NumericalParameters";
constexpr std::string_view kNoRecut = "Recut = 0";

}  // namespace

Eligibility CheckEligibility(std::int16_t initial_grade, const intake::Profile& measurement) {
  if (initial_grade == 1) return Eligibility::kExcellent;
  if (initial_grade > 2) return Eligibility::kBelowVeryGood;
  const auto semi = text::ParseNumber(measurement.Find(kSection, "MODEL_IS_SEMI_POLISHED"));
  if (semi && *semi == 1) return Eligibility::kSemiPolished;
  if (measurement.Find(kSection, "CUTTING_TYPE") != "Brilliant") return Eligibility::kNotBrilliant;
  if (initial_grade == 2) return Eligibility::kEligible;
  return Eligibility::kNoGrade;
}

std::vector<std::string_view> RefusalLines(Eligibility outcome) {
  switch (outcome) {
    case Eligibility::kExcellent:
      return {kNoRecut, "MSG = Cut is EX "};
    case Eligibility::kBelowVeryGood:
      return {kNoRecut, "MSG = Cut is Not VG - Use Vestra-Recut or Lapidora Virtual Recut "};
    case Eligibility::kSemiPolished:
      return {kNoRecut, "MSG = Stone is Semi Polish - Use Vestra-Recut or Lapidora Virtual Recut "};
    case Eligibility::kNotBrilliant:
      return {kNoRecut, "MSG = Stone is Not Round Brilliant"};
    case Eligibility::kNoGrade:
    case Eligibility::kEligible:
      break;
  }
  return {};
}

std::vector<std::string_view> GiveUpLines() {
  return {kNoRecut, "MSG = Please Use Vestra-Recut or Lapidora Virtual Recut "};
}

}  // namespace krm::recut
