#include "intake/facet_readings.h"

#include <string>
#include <vector>

#include "intake/polish_data.h"
#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::intake {
namespace {

// The keys of each family, made once.
const std::array<std::vector<std::string>, kFacetFamilies>& FamilyKeys() {
  static const auto keys = [] {
    struct Family {
      const char* prefix;
      int first, last, step;
    };
    constexpr Family kFamilies[kFacetFamilies] = {
        {"CROWN_ANGLE_DEG_", 1, 8, 1},     {"PAVILION_ANGLE_DEG_", 1, 8, 1},
        {"STAR_ANGLE_DEG_", 1, 8, 1},      {"UPPER_ANGLE_DEG_", 1, 16, 1},
        {"HALVES_ANGLE_DEG_", 1, 16, 1},   {"STAR_RATIO_PC_", 1, 8, 1},
        {"LENGTH_GIRDLE_FACET_", 1, 15, 2}};
    std::array<std::vector<std::string>, kFacetFamilies> k;
    for (int f = 0; f < kFacetFamilies; ++f) {
      for (int n = kFamilies[f].first; n <= kFamilies[f].last; n += kFamilies[f].step) {
        k[f].push_back(kFamilies[f].prefix + std::to_string(n));
      }
    }
    return k;
  }();
  return keys;
}

}  // namespace

FacetReadings::FacetReadings(const Profile& file) {
  const auto& keys = FamilyKeys();
  for (int f = 0; f < kFacetFamilies; ++f) {
    counts_[f] = static_cast<int>(keys[f].size());
    for (std::size_t i = 0; i < keys[f].size(); ++i) {
      if (auto number = text::ReadNumber(file.Find(kSection, keys[f][i]))) {
        readings_[f][i] = text::RoundDecimal(*number, 1);
      }
    }
  }
}

}  // namespace krm::intake
