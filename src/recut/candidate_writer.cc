// Item-by-item rewrite of the measurement file into a recut candidate file.
#include "recut/candidate_writer.h"

#include <cmath>

#include "text/item_reader.h"
#include "text/number_text.h"

namespace krm::recut {
namespace {

constexpr std::string_view kSection = "NumericalParameters";
constexpr double kOffsetCap = 0.005;
constexpr std::string_view kFacetPrefix = "PAVILION_ANGLE_DEG_";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// An offset item with the cap in place of its value when the exported offset exceeds it.
void CapOffset(std::string& item, std::string_view prefix, double offset) {
  if (StartsWith(item, prefix) && offset > kOffsetCap) {
    item = std::string(prefix) + text::FixedDouble(kOffsetCap, 3);
  }
}

// A summary item with its recomputed value; a value that cannot be formed (the difference of
// two extreme angles overflowing) leaves the item as read.
void SetSummary(std::string& item, std::string_view prefix, double value) {
  if (StartsWith(item, prefix) && std::isfinite(value)) {
    item = std::string(prefix) + text::FixedDouble(value, 2);
  }
}

}  // namespace

Offsets ReadOffsets(const intake::Profile& measurement) {
  auto read = [&](std::string_view key) { return text::ToNumber(measurement.Find(kSection, key)); };
  return {read("OFFSET_GIRDLE_CULET_MM"), read("OFFSET_TABLE_CULET_MM"),
          read("OFFSET_GIRDLE_TABLE_MM")};
}

std::string RewriteMeasurement(std::string_view measurement, const Offsets& offsets,
                               const Candidate& candidate) {
  const FacetStats& stats = candidate.pavilion_stats;
  std::string out;
  out.reserve(measurement.size() + measurement.size() / 8);
  int expected = 1;
  text::ItemReader reader(measurement);
  while (auto read = reader.Next()) {
    std::string item(*read);
    CapOffset(item, "OFFSET_GIRDLE_CULET_MM=", offsets.girdle_culet);
    CapOffset(item, "OFFSET_TABLE_CULET_MM=", offsets.table_culet);
    CapOffset(item, "OFFSET_GIRDLE_TABLE_MM=", offsets.girdle_table);
    SetSummary(item, "PAVILION_ANGLE_DEG=", stats.mean.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_MIN=", stats.min.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_MAX=", stats.max.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_DEV=", stats.max.value - stats.min.value);
    if (expected <= kFacets) {
      // The facet key is recognised by its first 20 characters: the prefix and the facet digit.
      const std::string key = std::string(kFacetPrefix) + std::to_string(expected);
      if (StartsWith(item, key)) {
        item = key + "=" + candidate.pavilion[expected - 1].Text();
        ++expected;
      }
    }
    out += item;
    out += "\r\n";
  }
  return out;
}

}  // namespace krm::recut
