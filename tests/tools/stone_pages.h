// Stones for the stone page tests: measurement files made from the well-cut stone's keys with
// some changed, graded with the default grade model (built once per test program).
#ifndef KRM_TESTS_TOOLS_STONE_PAGES_H_
#define KRM_TESTS_TOOLS_STONE_PAGES_H_

#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "grading/grade_station.h"
#include "platform/recording_env.h"
#include "tools/grade_data.h"
#include "tools/stone_record.h"

namespace krm::testing {

using Keys = std::vector<std::pair<std::string, std::string>>;

inline Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The measurement file of the well-cut stone with `changes` (later keys replace earlier ones).
inline std::string MeasurementFile(const Keys& changes = {}) {
  return MeasurementText(WellCutStone() + changes);
}

// The same value for the eight keys PREFIX1 to PREFIX8.
inline Keys EightFacets(const std::string& prefix, const std::string& value) {
  Keys k;
  for (int i = 1; i <= 8; ++i) k.push_back({prefix + std::to_string(i), value});
  return k;
}

// Excellent: the well-cut stone.
inline std::string ExcellentStone() {
  return MeasurementFile({{"STONE_ID", "PAGE-EX"}});
}
// The well-cut stone with a deeper pavilion: steeper mains and deeper at every facet.
inline std::string DeepPavilionStone() {
  return MeasurementFile(Keys{{"STONE_ID", "PAGE-DEEP"}} +
                         EightFacets("PAVILION_ANGLE_DEG_", "41.6") +
                         EightFacets("PAVILION_DEPTH_MM_", "2.89"));
}
// Poor: a table of 73 % is outside the grade table, so the stone cannot be graded.
inline std::string OutOfRangeStone() {
  return MeasurementFile(Keys{{"STONE_ID", "PAGE-POOR"}} + Keys{{"TABLE_MM_1", "4.745"},
                                                                {"TABLE_MM_2", "4.745"},
                                                                {"TABLE_MM_3", "4.745"},
                                                                {"TABLE_MM_4", "4.745"}});
}
// Light: below 0.150 ct, the grade carries the note Poor.
inline std::string LightStone() {
  return MeasurementFile({{"STONE_ID", "PAGE-LIGHT"}, {"CORRECTED_MASS", "0.12"}});
}

// The demo stone: Very Good, and its first recut candidate makes it Excellent.
inline std::string VeryGoodStone() {
  return ReadWhole(fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt");
}

inline const tools::LoadedGradeData& DefaultData() {
  static const tools::LoadedGradeData data = tools::DefaultGradeData();
  return data;
}

inline tools::StoneRecord Graded(const std::string& contents,
                                 const std::string& file = "Test.txt") {
  return tools::GradeStone(DefaultData(), file, contents);
}

// How often `pattern` matches in `text` (a page or one of its drawings).
inline std::size_t CountMatches(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

}  // namespace krm::testing

#endif  // KRM_TESTS_TOOLS_STONE_PAGES_H_
