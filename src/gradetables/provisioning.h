// The grade files of a station at the start of every grading: the grade table file is joined anew
// each time, the grade tables database only when it is missing (or a join of it was cut short),
// and the grading cannot go on without the database. Then the grading's view of both: the table
// file opened for reading and the database's tables read.
#ifndef KRM_GRADETABLES_PROVISIONING_H_
#define KRM_GRADETABLES_PROVISIONING_H_

#include <optional>
#include <string_view>

#include "gradetables/grade_file_join.h"
#include "gradetables/grade_table_reader.h"
#include "gradetables/grade_tables.h"
#include "intake/station.h"

namespace krm::gradetables {

// The blocking message of a missing grade tables database, shown with platform::kCriticalOk.
inline constexpr std::string_view kDatabaseMissingMessage =
    "Data base file does not exist  - Can not proceed further....";
inline constexpr std::string_view kDatabaseMissingTitle = "DATABASE NOT FOUND !";

// What the grading must do after provisioning.
enum class Provisioning {
  // Both joins ran (a failed join is passed over, and recorded as a fault) and the database
  // exists: go on.
  kReady,
  // The grade tables database still does not exist: append kDatabaseMissingMessage to the
  // message list, show it (style 16, title kDatabaseMissingTitle) and end with exit status 2.
  // The grading does this at its own step, right before its measurement file check.
  kDatabaseMissing,
  // A join found its target missing after writing it: end the program at once with exit status
  // 2, showing nothing.
  kEndNow,
};

// The grade files of one station for the whole run: the joins, with the memo of the run's last
// grade table join, and the files opened for each grading. Every failure it passes over is
// recorded in the station's fault log.
class StationGradeFiles {
 public:
  explicit StationGradeFiles(intake::Station& station) : station_(station) {}

  // The start of every grading: MakeGradeTableFile whether or not the grade table file exists
  // (a join that finds the parts and the table as the memo of the last join says does nothing);
  // then MakeGradeDatabaseFile when windows/win_rt2.dll is not an existing file, or when a join of
  // it was cut short or left a database whose tables cannot be read; then the check that it
  // exists now.
  Provisioning Provide();

  // Opens the grade table file and reads the grade tables database's tables for one grading. A
  // file that cannot be opened or read leaves its reads failing, and is recorded as a fault. The
  // tables of a database that is still the file an earlier grading of the run read are not read
  // again.
  void Open(GradeTableReader* table, GradeTables* tables);

 private:
  bool JoinDatabase();
  // Keeps the memo in the station for the next run (removes it when there is none).
  void KeepMemo();

  intake::Station& station_;
  // The parts and the grade table file as the last join left them, this run's or (from the
  // station's memo file) the last run's: a grading whose parts and table are unchanged need not
  // join again.
  std::optional<JoinMemo> table_memo_;
  bool memo_read_ = false;
  // The grade tables database as the run last read it whole, and its tables.
  std::optional<platform::FileIdentity> tables_identity_;
  GradeTables tables_;
};

// Reads the tables of the database at `path`: an open failure or a table that cannot be read
// gives the failure.
Status ReadGradeTables(const fs::path& path, GradeTables* tables);

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_PROVISIONING_H_
