// The report database file (data/data.mdb) and the schema it is made from.
//
// The schema is data/report_schema.sql, compiled into the program by the build; a station gets its
// report database from `krm-station init`, which calls CreateReportDatabase. The grading step
// itself never creates the file: a station without it gets the export's "ALERT" message.
#ifndef KRM_EXPORT_REPORT_DATABASE_H_
#define KRM_EXPORT_REPORT_DATABASE_H_

#include <filesystem>
#include <string_view>

#include "platform/status.h"

namespace krm::report_export {

// The SQL text of data/report_schema.sql: Round1 to Round5, RoundCutSym and UserData.
std::string_view ReportSchema();

// Creates a report database at `path` from the schema, in the write-ahead-log mode. An existing
// file is never overwritten: it is left as it is, the result is Ok and `*created` (when given) is
// false. The folder must exist. IoError when the file cannot be made or the schema fails; nothing
// is left behind then.
Status CreateReportDatabase(const std::filesystem::path& path, bool* created = nullptr);

}  // namespace krm::report_export

#endif  // KRM_EXPORT_REPORT_DATABASE_H_
