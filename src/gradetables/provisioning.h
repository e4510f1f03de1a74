// Provisioning of the grade files at the start of every grading: the grade table file is joined
// anew each time, the grade tables database only when it is missing, and the grading cannot go on
// without the database. Also the grading's connection to the grade tables database.
#ifndef KRM_GRADETABLES_PROVISIONING_H_
#define KRM_GRADETABLES_PROVISIONING_H_

#include <memory>
#include <optional>
#include <string_view>

#include "app/station_paths.h"
#include "gradetables/grade_file_join.h"
#include "platform/database.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::gradetables {

// The blocking message of a missing grade tables database, shown with platform::kCriticalOk.
inline constexpr std::string_view kDatabaseMissingMessage =
    "Data base file does not exist  - Can not proceed further....";
inline constexpr std::string_view kDatabaseMissingTitle = "DATABASE NOT FOUND !";

// What the grading must do after provisioning.
enum class Provisioning {
  // Both joins ran (a failed grade table join is passed over) and the database exists: go on.
  kReady,
  // The grade tables database still does not exist: append kDatabaseMissingMessage to the
  // message list, show it (style 16, title kDatabaseMissingTitle) and end with exit status 2.
  // The grading does this at its own step, right before its measurement file check.
  kDatabaseMissing,
  // A join found its target missing after writing it: end the program at once with exit status
  // 2, showing nothing.
  kEndNow,
};

// The start of every grading: MakeGradeTableFile whether or not the grade table file exists;
// then MakeGradeDatabaseFile when windows/win_rt2.dll is not an existing file; then the check
// that it exists now. Never fails otherwise: the outcome is the value. `table_memo` is the run's
// memo of its last grade table join (see JoinParts).
Provisioning ProvideGradeFiles(platform::Env& env, const app::StationPaths& paths,
                               std::optional<JoinMemo>* table_memo = nullptr);

// Connects `*con` to the grade tables database: an open connection is closed first, then the
// file is opened (never created). On failure `*con` stays empty and the status says why; the
// grading's look-ups on an empty connection then fail one by one.
Status ConnectGradeDatabase(const app::StationPaths& paths,
                            std::unique_ptr<platform::Database>* con);

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_PROVISIONING_H_
