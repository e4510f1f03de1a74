// The archive's table `stone_grades` as both databases hold it: the columns of a record, in table
// order, and a record turned into the column texts both store.
//
// Every text column holds UTF-8 made by StationText; `messages` is a JSON array and `measurement`
// a JSON object (keys in file order, repeated keys kept); the classes and the verdict are whole
// numbers; a missing value is NULL.
#ifndef KRM_ARCHIVE_ARCHIVE_ROWS_H_
#define KRM_ARCHIVE_ARCHIVE_ROWS_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_record.h"

namespace krm::archive {

inline constexpr std::array<std::string_view, 19> kColumns = {"run_id",
                                                              "station",
                                                              "graded_at",
                                                              "stone_id",
                                                              "measurement_sha256",
                                                              "grade_data_sha256",
                                                              "program_version",
                                                              "cut_grade",
                                                              "overall_class",
                                                              "symmetry_grade",
                                                              "table_class",
                                                              "table_class_name",
                                                              "messages",
                                                              "girdle_limit_text",
                                                              "degrade_text",
                                                              "symmetry_text",
                                                              "recut_verdict",
                                                              "recut_message",
                                                              "measurement"};
inline constexpr std::size_t kColumnCount = kColumns.size();

// Positions of the columns that the code reads by name.
enum ColumnIndex : std::size_t {
  kRunId = 0,
  kStation = 1,
  kGradedAt = 2,
  kStoneId = 3,
  kCutGrade = 7,
  kOverallClass = 8,
  kTableClass = 10,
  kTableClassName = 11,
  kMessages = 12,
  kRecutVerdict = 16,
  kMeasurement = 18,
};

using StoredRow = std::array<std::optional<std::string>, kColumnCount>;

StoredRow EncodeRecord(const ArchiveRecord& record);
// The record back from its column texts; no value when a text is not what EncodeRecord writes.
std::optional<ArchiveRecord> DecodeRow(const StoredRow& row);

// "run_id, station, ..., measurement".
std::string ColumnList();

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVE_ROWS_H_
