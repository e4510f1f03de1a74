// GradeStation: a temporary station folder with grade table parts of one digit (with chosen
// cells changed), the grade tables database of the default grade model, a measurement file made of
// keys, and a program file of fixed date, so that a whole grading can run on it through
// RecordingEnv.
#ifndef KRM_TESTS_GRADING_GRADE_STATION_H_
#define KRM_TESTS_GRADING_GRADE_STATION_H_

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/report_database.h"
#include "gradetables/grade_table_reader.h"
#include "platform/recording_env.h"
#include "tools/default_grade_model.h"

namespace krm::testing {

// Keys of a well-cut round brilliant: table 57 %, crown 34.5 deg, pavilion 40.8 deg, star 50 %,
// lower half 75 %, girdle 3.0 % (Medium at both ends), culet none, depth 61.54 %, 0.9 ct, every
// facet alike and no offsets. Mean diameter 6.5 mm.
inline std::vector<std::pair<std::string, std::string>> WellCutStone() {
  std::vector<std::pair<std::string, std::string>> k;
  std::istringstream in(
      "STONE_ID=KRM-0001 CUTTING_TYPE=Brilliant DIAMETER_MM_MIN=6.48 DIAMETER_MM_MAX=6.52 "
      "DIAMETER_MM=6.5 TABLE_PC=57 TABLE_MM_MIN=3.7 TABLE_MM_MAX=3.71 CROWN_ANGLE_DEG=34.5 "
      "CROWN_ANGLE_DEG_MIN=34.5 CROWN_ANGLE_DEG_MAX=34.5 PAVILION_ANGLE_DEG=40.8 "
      "PAVILION_ANGLE_DEG_MIN=40.8 PAVILION_ANGLE_DEG_MAX=40.8 STAR_ANGLE_DEG=22 "
      "UPPER_ANGLE_DEG=42 HALVES_ANGLE_DEG=41.8 STAR_RATIO_PC=50 LENGTH_GIRDLE_FACET=75 "
      "GIRDLE_WIDE_BEZEL=3 GIRDLE_NARROW_MM_MIN=0.17 GIRDLE_NARROW_MM_MAX=0.22 "
      "GIRDLE_NARROW_MIN=2.62 GIRDLE_NARROW_MAX=3.38 CULET_MM=0 CULET_PC=0 TOTAL_DEPTH_MM=4 "
      "TOTAL_DEPTH_PC=61.5 CROWN_HEIGHT_PC=15 PAVILION_DEPTH_PC=43 CORRECTED_MASS=0.9 "
      "CRN_PAINTING_DEG_AVG=0 PAV_PAINTING_DEG_AVG=0");
  for (std::string item; in >> item;) {
    k.push_back({item.substr(0, item.find('=')), item.substr(item.find('=') + 1)});
  }
  for (int i = 1; i <= 4; ++i) k.push_back({"TABLE_MM_" + std::to_string(i), "3.705"});
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    k.push_back({"CROWN_ANGLE_DEG_" + n, "34.5"});
    k.push_back({"PAVILION_ANGLE_DEG_" + n, "40.8"});
    k.push_back({"STAR_ANGLE_DEG_" + n, "22"});
    k.push_back({"STAR_RATIO_PC_" + n, "50"});
    k.push_back({"GIRDLE_WIDE_BEZEL_MM_" + n, "0.195"});
    k.push_back({"CROWN_HEIGHT_MM_" + n, "0.975"});
    k.push_back({"PAVILION_DEPTH_MM_" + n, "2.795"});
  }
  for (int i = 1; i <= 16; ++i) {
    const std::string n = std::to_string(i);
    k.push_back({"UPPER_ANGLE_DEG_" + n, "42"});
    k.push_back({"HALVES_ANGLE_DEG_" + n, "41.8"});
    k.push_back({"LENGTH_GIRDLE_FACET_" + n, "75"});
  }
  return k;
}

// A measurement file of `keys`, CR LF lines; later keys of the same name replace earlier ones.
inline std::string MeasurementText(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::vector<std::pair<std::string, std::string>> merged;
  for (const auto& entry : keys) {
    auto at = std::find_if(merged.begin(), merged.end(),
                           [&entry](auto& m) { return m.first == entry.first; });
    if (at == merged.end()) {
      merged.push_back(entry);
    } else {
      at->second = entry.second;
    }
  }
  std::string text = "[NumericalParameters]\r\n";
  for (const auto& [key, value] : merged) text += key + "=" + value + "\r\n";
  return text;
}

class GradeStation {
 public:
  // Grade table parts whose every cell holds `digit`, except the cells in `cells`.
  explicit GradeStation(char digit = '1', const std::map<std::int64_t, char>& cells = {}) {
    std::string table(gradetables::kGradeTableCells, digit);
    for (auto [cell, value] : cells) table[cell] = value;
    const std::size_t half = 19293120;
    station_.Write("win_sys1.syc", std::string_view(table).substr(0, half));
    station_.Write("win_sys2.syc", std::string_view(table).substr(half));
    // The grade tables database of the default grade model, split into its two part files.
    platform::DefaultEnv env;
    (void)tools::WriteGradeTablesDatabase(env, root() / "grade-tables.tmp");
    const std::string bytes = station_.Read("grade-tables.tmp");
    fs::remove(root() / "grade-tables.tmp");
    station_.Write("win_sys3.syc", std::string_view(bytes).substr(0, bytes.size() / 2));
    station_.Write("win_sys4.syc", std::string_view(bytes).substr(bytes.size() / 2));
    station_.Write("data/.keep", "");
    (void)report_export::CreateReportDatabase(root() / "data" / "data.mdb");
    // The program file dates the report: 11/20/2026 10:30:00 local time.
    station_.Write("DOVEVOVIDIRO.EXE", "");
    std::tm when = {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 10;
    when.tm_mday = 20;
    when.tm_hour = 10;
    when.tm_min = 30;
    when.tm_isdst = -1;
    const auto t = std::chrono::system_clock::from_time_t(std::mktime(&when));
    fs::last_write_time(root() / "DOVEVOVIDIRO.EXE", std::chrono::file_clock::from_sys(t));
  }

  // Writes the measurement file from `keys` (see MeasurementText).
  void WriteMeasurement(const std::vector<std::pair<std::string, std::string>>& keys,
                        const fs::path& name = "Test.txt") {
    station_.Write(name, MeasurementText(keys));
  }

  const fs::path& root() const { return station_.root(); }
  TempStation& files() { return station_; }

 private:
  TempStation station_;
};

}  // namespace krm::testing

#endif  // KRM_TESTS_GRADING_GRADE_STATION_H_
