// ArchiveRecord: what the archive keeps of one graded stone.
//
// One record per stone that a station grades (its first grading, not the recut candidates) and per
// stone of a batch grading that is asked to archive. Texts are byte strings as the grading has them
// (measurement values in the station's code page); the archive stores them losslessly
// (station_text.h).
#ifndef KRM_ARCHIVE_ARCHIVE_RECORD_H_
#define KRM_ARCHIVE_ARCHIVE_RECORD_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace krm::archive {

struct ArchiveRecord {
  // 128 random bits as 32 lowercase hex digits; the record's key everywhere.
  std::string run_id;
  // The station's name (archive_config.h).
  std::string station;
  // When the stone was graded, UTC, "2026-12-06T14:05:09.123Z".
  std::string graded_at;
  std::string stone_id;
  // SHA-256 (hex) of the measurement file's bytes.
  std::string measurement_sha256;
  // SHA-256 (hex) of the grade data that graded the stone: GradeDataDigest of the joined grade
  // table and grade tables database.
  std::string grade_data_sha256;
  // Major.minor.revision of the program.
  std::string program_version;

  // The cut caption exactly as the report's summary line has it, weight note included.
  std::string cut_grade;
  // Overall cut class 1 (Excellent) to 5 (Poor); none when the stone got no class.
  std::optional<int> overall_class;
  // The symmetry grade's name.
  std::string symmetry_grade;
  // Class of the grade table cell and its name; none when no cell was read.
  std::optional<int> table_class;
  std::string table_class_name;
  // The run's messages, each text without the list's separator.
  std::vector<std::string> messages;
  // The three limitation texts of the grading.
  std::string girdle_limit_text;
  std::string degrade_text;
  std::string symmetry_text;
  // The recut advisor's verdict (1 advised, 0 not) and message; no verdict when it gave none.
  std::optional<int> recut_verdict;
  std::string recut_message;

  // Every key of the measurement file with its value as read, in file order: the JSON object of
  // MeasurementJson (UTF-8 text, unlike the fields above).
  std::string measurement;

  friend bool operator==(const ArchiveRecord&, const ArchiveRecord&) = default;
};

// A new run id: 128 bits from the system's random source, as 32 lowercase hex digits.
std::string NewRunId();

// "YYYY-MM-DDTHH:MM:SS.mmmZ" of a time point, in UTC.
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

// "1.0.0": the program's version numbers.
std::string ProgramVersionText();

// Every key of a measurement file with its value as the report export reads them: item by item
// (text/item_reader.h), the first item (the section line) passed over, each further item split at
// its first "=", neither part trimmed further; items without "=" are passed over. File order,
// repeated keys kept.
std::vector<std::pair<std::string, std::string>> MeasurementItems(std::string_view contents);

// The same as a JSON object, {"KEY":"VALUE",...}, keys and values as StationText (station_text.h),
// made in one pass over the file.
std::string MeasurementJson(std::string_view contents);

// The digest of the grade data from the digests of its two joined files: SHA-256 of the two hex
// digests, each followed by a line feed, table file first. The same as
//   (sha256sum < windows/win_rt1.dll; sha256sum < windows/win_rt2.dll) | cut -c1-64 | sha256sum
std::string GradeDataDigest(std::string_view table_sha256, std::string_view database_sha256);

// A record with what every run fills the same way: a new run id, the time now, the station's
// name, the program version, the measurement file's digest and keys. The grading fills the rest.
ArchiveRecord NewRecord(std::string_view station, std::string_view measurement_contents,
                        std::string_view grade_data_sha256);

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVE_RECORD_H_
