// Valdane_Sp: the copy of the scanned stone into the report database that the report program
// reads.
//
// Once per run, after the grading, the measurement file is scanned item by item and every
// KEY=VALUE item lands in the same-named column (letter case ignored) of each of the round
// brilliant tables Round1 to Round5; each of those and RoundCutSym is emptied and gets one row with
// RID 101, and UserData gets its shape. The whole export is one transaction, so that the report
// program never sees a half-written stone and a failure leaves the tables as they were.
#ifndef KRM_EXPORT_VALDANE_SP_H_
#define KRM_EXPORT_VALDANE_SP_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "intake/station.h"
#include "platform/database.h"
#include "platform/fault_log.h"
#include "platform/status.h"

namespace krm::report_export {

// The message of a missing or unopenable report database, and its information icon.
inline constexpr std::string_view kDatabaseMissingMessage = "YOUR DATABASE FILE NOT EXIST.";
inline constexpr std::string_view kDatabaseMissingTitle = "ALERT";
inline constexpr int kInformationOk = 64;

// What a fault line says when the stone did not reach the report database, or one of its tables.
inline constexpr std::string_view kNotExported = "report database not written";
inline constexpr std::string_view kTableNotWritten = "report table not written";

// The key whose item ends the scan of the measurement file.
inline constexpr std::string_view kScanStopKey = "MODEL_IS_SEMI_POLISHED";
// The row id of every row the export adds.
inline constexpr std::int64_t kExportRowId = 101;

class Valdane_Sp {
 public:
  Valdane_Sp() = default;
  Valdane_Sp(const Valdane_Sp&) = delete;
  Valdane_Sp& operator=(const Valdane_Sp&) = delete;
  ~Valdane_Sp() { Finish(); }

  // Opens the report database (data/data.mdb) and exports the application folder's TEST.txt into
  // it. When the database is missing or cannot be opened, shows the "ALERT" message and gives the
  // end of the run (exit status 3): the recut advice and the follow-up must not run then. Every
  // other failure (no measurement file, an item without "=" before MODEL_IS_SEMI_POLISHED, a
  // database error half way, another writer holding the database past the wait) leaves the
  // report tables as they were and gives no value: the run goes on. Such a failure, and each
  // report table that is missing, is recorded in the station's faults. It returns once the
  // stone is committed; making it safe from a power cut and closing the database go on meanwhile
  // until Finish.
  std::optional<intake::RunEnd> PublicMain(intake::Station& station);

  // Waits until the exported stone is safe from a power cut and the database closed. A stone that
  // could not be made safe is a failure, recorded in the station's faults. Done by the
  // destruction too; the exit status must be decided after it.
  void Finish();

  // Why the last PublicMain exported nothing, or (after Finish) could not make the stone safe; Ok
  // after a complete export.
  const Status& last_failure() const { return last_failure_; }

 private:
  // Scans the measurement file and runs the table export; the failure that stopped it, if any,
  // and in `*failed_at` the file it concerns.
  Status ExportPolished(intake::Station& station, platform::Database& db,
                        std::filesystem::path* failed_at);
  // Writes the items of the measurement file `contents` into the report tables.
  Status ExportRoundTables(platform::Database& db, std::string_view contents,
                           std::string_view shape, FaultLog* faults);
  // Makes the stone in the database `closing_` durable when the export went through, and closes
  // the database.
  Status Close();

  std::filesystem::path database_path_;
  Status last_failure_;
  FaultLog* faults_ = nullptr;
  // The database being closed by `closer_`, and what came of it; Finish joins the two.
  std::unique_ptr<platform::Database> closing_;
  bool sync_on_close_ = false;
  std::thread closer_;
  Status close_status_;
};

}  // namespace krm::report_export

#endif  // KRM_EXPORT_VALDANE_SP_H_
