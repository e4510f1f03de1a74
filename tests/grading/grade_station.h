// GradeStation: a temporary station folder with grade table parts of one digit (with chosen
// cells changed), grade tables database parts built from SQL, a measurement file made of keys,
// and a program file of fixed date, so that a whole grading can run on it through RecordingEnv.
#ifndef KRM_TESTS_GRADING_GRADE_STATION_H_
#define KRM_TESTS_GRADING_GRADE_STATION_H_

#include <sqlite3.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/report_database.h"
#include "gradetables/grade_table_reader.h"
#include "platform/recording_env.h"

namespace krm::testing {

// The grade tables of the default grade model, the rows the grading looks up.
inline constexpr const char* kGradeTablesSql = R"sql(
CREATE TABLE GirdleThickness (ID_ INTEGER, Min REAL, Max REAL, Description TEXT);
CREATE TABLE CULET_DESCRIPTION (ID_ INTEGER, Min REAL, Max REAL, Description TEXT);
CREATE TABLE GIRDLE_DESC_CLASS (ThinID INTEGER, ThikID INTEGER, Grade INTEGER);
INSERT INTO GirdleThickness VALUES (1, 0, 1.0, 'Extremely Thin'), (2, 1.0, 1.7, 'Very Thin'),
  (3, 1.7, 2.3, 'Thin'), (4, 2.3, 3.8, 'Medium'), (5, 3.8, 4.6, 'Slightly Thick'),
  (6, 4.6, 6.0, 'Thick'), (7, 6.0, 8.5, 'Very Thick'), (8, 8.5, 100, 'Extremely Thick');
INSERT INTO CULET_DESCRIPTION VALUES (1, 0, 0.5, 'None'), (1, 0.5, 1.5, 'Very Small'),
  (1, 1.5, 2.5, 'Small'), (2, 2.5, 4.0, 'Medium'), (3, 4.0, 5.5, 'Slightly Large'),
  (4, 5.5, 7.5, 'Large'), (5, 7.5, 10, 'Very Large'), (5, 10, 100, 'Extremely Large');
WITH thin(id, c) AS (VALUES (1,4),(2,2),(3,1),(4,1),(5,1),(6,2),(7,3),(8,4)),
     thick(id, c) AS (VALUES (1,4),(2,2),(3,1),(4,1),(5,1),(6,1),(7,2),(8,4))
INSERT INTO GIRDLE_DESC_CLASS
  SELECT thin.id, thick.id, max(thin.c, thick.c) FROM thin, thick ORDER BY thin.id, thick.id;
)sql";

// Keys of a well-cut round brilliant: table 57 %, crown 34.5 deg, pavilion 40.8 deg, star 50 %,
// lower half 75 %, girdle 3.0 % (Medium at both ends), culet none, depth 61.54 %, 0.9 ct, every
// facet alike and no offsets. Mean diameter 6.5 mm.
inline std::vector<std::pair<std::string, std::string>> WellCutStone() {
  std::vector<std::pair<std::string, std::string>> k = {
      {"STONE_ID", "KRM-0001"},
      {"CUTTING_TYPE", "Brilliant"},
      {"DIAMETER_MM_MIN", "6.48"},
      {"DIAMETER_MM_MAX", "6.52"},
      {"DIAMETER_MM", "6.5"},
      {"TABLE_PC", "57"},
      {"TABLE_MM_MIN", "3.7"},
      {"TABLE_MM_MAX", "3.71"},
      {"CROWN_ANGLE_DEG", "34.5"},
      {"CROWN_ANGLE_DEG_MIN", "34.5"},
      {"CROWN_ANGLE_DEG_MAX", "34.5"},
      {"PAVILION_ANGLE_DEG", "40.8"},
      {"PAVILION_ANGLE_DEG_MIN", "40.8"},
      {"PAVILION_ANGLE_DEG_MAX", "40.8"},
      {"STAR_ANGLE_DEG", "22"},
      {"UPPER_ANGLE_DEG", "42"},
      {"HALVES_ANGLE_DEG", "41.8"},
      {"STAR_RATIO_PC", "50"},
      {"LENGTH_GIRDLE_FACET", "75"},
      {"GIRDLE_WIDE_BEZEL", "3"},
      {"GIRDLE_NARROW_MM_MIN", "0.17"},
      {"GIRDLE_NARROW_MM_MAX", "0.22"},
      {"GIRDLE_NARROW_MIN", "2.62"},
      {"GIRDLE_NARROW_MAX", "3.38"},
      {"CULET_MM", "0"},
      {"CULET_PC", "0"},
      {"TOTAL_DEPTH_MM", "4"},
      {"TOTAL_DEPTH_PC", "61.5"},
      {"CROWN_HEIGHT_PC", "15"},
      {"PAVILION_DEPTH_PC", "43"},
      {"CORRECTED_MASS", "0.9"},
      {"CRN_PAINTING_DEG_AVG", "0"},
      {"PAV_PAINTING_DEG_AVG", "0"},
  };
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

class GradeStation {
 public:
  // Grade table parts whose every cell holds `digit`, except the cells in `cells`.
  explicit GradeStation(char digit = '1', const std::map<std::int64_t, char>& cells = {}) {
    std::string table(gradetables::kGradeTableCells, digit);
    for (auto [cell, value] : cells) table[cell] = value;
    const std::size_t half = 19293120;
    station_.Write("win_sys1.syc", std::string_view(table).substr(0, half));
    station_.Write("win_sys2.syc", std::string_view(table).substr(half));
    WriteGradeDatabase(kGradeTablesSql);
    station_.Write("data/.keep", "");
    report_export::CreateReportDatabase(root() / "data" / "data.mdb");
    // The program file dates the report: 11/20/2026 10:30:00 local time.
    station_.Write("DOVEVOVIDIRO.EXE", "");
    std::tm when = {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 10;
    when.tm_mday = 20;
    when.tm_hour = 10;
    when.tm_min = 30;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    utimbuf times{t, t};
    ::utime((root() / "DOVEVOVIDIRO.EXE").c_str(), &times);
  }

  // Builds the grade tables database from `sql` and splits it into its two part files.
  void WriteGradeDatabase(const char* sql) {
    const fs::path file = root() / "grade-tables.tmp";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string bytes = station_.Read("grade-tables.tmp");
    fs::remove(file);
    station_.Write("win_sys3.syc", std::string_view(bytes).substr(0, bytes.size() / 2));
    station_.Write("win_sys4.syc", std::string_view(bytes).substr(bytes.size() / 2));
  }

  // Writes the measurement file from `keys`; later keys of the same name replace earlier ones.
  void WriteMeasurement(const std::vector<std::pair<std::string, std::string>>& keys,
                        const fs::path& name = "Test.txt") {
    std::vector<std::pair<std::string, std::string>> merged;
    for (const auto& [key, value] : keys) {
      bool replaced = false;
      for (auto& m : merged) {
        if (m.first == key) {
          m.second = value;
          replaced = true;
        }
      }
      if (!replaced) merged.push_back({key, value});
    }
    std::string text = "[NumericalParameters]\r\n";
    for (const auto& [key, value] : merged) text += key + "=" + value + "\r\n";
    station_.Write(name, text);
  }

  const fs::path& root() const { return station_.root(); }
  TempStation& files() { return station_; }

 private:
  TempStation station_;
};

// `base` with the keys of `changes` replaced or added.
inline std::vector<std::pair<std::string, std::string>> With(
    std::vector<std::pair<std::string, std::string>> base,
    const std::vector<std::pair<std::string, std::string>>& changes) {
  base.insert(base.end(), changes.begin(), changes.end());
  return base;
}

}  // namespace krm::testing

#endif  // KRM_TESTS_GRADING_GRADE_STATION_H_
