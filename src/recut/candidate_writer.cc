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
// What the keys of the rules below start with.
constexpr std::string_view kOffsetFamily = "OFFSET_";
constexpr std::string_view kPavilionFamily = "PAVILION_ANGLE_DEG";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The rules rewrite an item in turn; each sees the text the rules before it left. `item` views
// either the item as read or `changed`.
struct Item {
  std::string_view item;
  std::string changed;

  void Replace(std::string text) {
    changed = std::move(text);
    item = changed;
  }
};

// An offset item with the cap in place of its value when the exported offset exceeds it.
void CapOffset(Item& item, std::string_view prefix, double offset) {
  if (StartsWith(item.item, prefix) && offset > kOffsetCap) {
    item.Replace(std::string(prefix) + text::FixedDouble(kOffsetCap, 3));
  }
}

// A summary item with its recomputed value; a value that cannot be formed (the difference of
// two extreme angles overflowing) leaves the item as read.
void SetSummary(Item& item, std::string_view prefix, double value) {
  if (StartsWith(item.item, prefix) && std::isfinite(value)) {
    item.Replace(std::string(prefix) + text::FixedDouble(value, 2));
  }
}

}  // namespace

Offsets ReadOffsets(const intake::Profile& measurement) {
  auto read = [&](std::string_view key) { return text::ToNumber(measurement.Find(kSection, key)); };
  return {read("OFFSET_GIRDLE_CULET_MM"), read("OFFSET_TABLE_CULET_MM"),
          read("OFFSET_GIRDLE_TABLE_MM")};
}

void RewriteItems(std::string_view measurement, const Offsets& offsets, const Candidate& candidate,
                  const std::function<void(std::string_view)>& write) {
  const FacetStats& stats = candidate.pavilion_stats;
  int expected = 1;
  // The facet key is recognised by its first 20 characters: the prefix and the facet digit.
  std::string facet_key = std::string(kFacetPrefix) + "1";
  text::ItemReader reader(measurement);
  while (auto read = reader.Next()) {
    // Every rule rewrites only items that start with its own key, and its text starts with that
    // key again: an item that starts with neither family of keys is written as read.
    if (!StartsWith(*read, kOffsetFamily) && !StartsWith(*read, kPavilionFamily)) {
      write(*read);
      continue;
    }
    Item item{*read, {}};
    CapOffset(item, "OFFSET_GIRDLE_CULET_MM=", offsets.girdle_culet);
    CapOffset(item, "OFFSET_TABLE_CULET_MM=", offsets.table_culet);
    CapOffset(item, "OFFSET_GIRDLE_TABLE_MM=", offsets.girdle_table);
    SetSummary(item, "PAVILION_ANGLE_DEG=", stats.mean.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_MIN=", stats.min.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_MAX=", stats.max.value);
    SetSummary(item, "PAVILION_ANGLE_DEG_DEV=", stats.max.value - stats.min.value);
    if (expected <= kFacets && StartsWith(item.item, facet_key)) {
      item.Replace(facet_key + "=" + candidate.pavilion[expected - 1].Text());
      ++expected;
      facet_key = std::string(kFacetPrefix) + std::to_string(expected);
    }
    write(item.item);
  }
}

void RewriteMeasurement(std::string_view measurement, const Offsets& offsets,
                        const Candidate& candidate,
                        const std::function<void(std::string_view)>& write) {
  RewriteItems(measurement, offsets, candidate, [&write](std::string_view item) {
    write(item);
    write("\r\n");
  });
}

std::string RewriteMeasurement(std::string_view measurement, const Offsets& offsets,
                               const Candidate& candidate) {
  std::string out;
  out.reserve(measurement.size() + measurement.size() / 8);
  RewriteMeasurement(measurement, offsets, candidate,
                     [&out](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace krm::recut
