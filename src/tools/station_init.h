// Laying out a station folder with the default grade data (`krm-station init DIR`): the four part
// files of the grade table and the grade tables database, the folder `data` with an empty report
// database, and a harmless follow-up batch file that only records that it ran.
#ifndef KRM_TOOLS_STATION_INIT_H_
#define KRM_TOOLS_STATION_INIT_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "intake/station_paths.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::tools {

// The follow-up batch file of a fresh station: it appends one line to data/krm5_ran.txt. On
// Windows cmd runs it (the redirection stands first: a digit right before ">>" would name a
// stream), elsewhere /bin/sh.
#ifdef _WIN32
inline constexpr std::string_view kFollowUpScript =
    "@echo off\r\n"
    "rem Follow-up of the grading step. This default only records that it ran.\r\n"
    ">> data\\krm5_ran.txt echo KRM_5.bat ran %DATE% %TIME%\r\n";
#else
inline constexpr std::string_view kFollowUpScript =
    "# Follow-up of the grading step. This default only records that it ran.\n"
    "echo \"KRM_5.bat ran $(date '+%Y-%m-%d %H:%M:%S')\" >> data/krm5_ran.txt\n";
#endif

// How a lay-out ended.
enum class InitResult {
  // The station folder holds its files.
  kDone,
  // The folder already holds station files and `force` was not given; nothing was written.
  kRefused,
  // A file or folder could not be written; the folder may be left partly laid out.
  kFailed,
};

// Lays out the station folder `dir` (created with its missing parents). Writes win_sys1.syc to
// win_sys4.syc and KRM_5.bat, creates `data`, and creates the report database (never replacing
// one). A folder that already has any part file, KRM_5.bat or a joined grade file (letter case
// ignored) is refused unless `force`; with `force` those are rewritten and the joined grade files
// removed, so that the next grading joins the new parts. Every step taken, or the reason for a
// refusal or failure, is appended to `*log` as one line.
InitResult InitStation(platform::Env& env, const std::filesystem::path& dir, bool force,
                       std::vector<std::string>* log);

// Writes the grade table parts: the first kGradeTableFirstPartSize bytes of the default table to
// `first`, the rest to `second`, one table index at a time. Appends a line per file to `*log`.
Status WriteGradeTableParts(platform::Env& env, const std::filesystem::path& first,
                            const std::filesystem::path& second, std::vector<std::string>* log);

// Builds the grade tables database in `scratch` (removed afterwards) and splits it: the first
// half (rounded down) of its bytes to `first`, the rest to `second`.
Status WriteGradeDatabaseParts(platform::Env& env, const std::filesystem::path& scratch,
                               const std::filesystem::path& first,
                               const std::filesystem::path& second, std::vector<std::string>* log);

// The report database step of the lay-out: creates data/data.mdb from the report schema when
// it is missing; an existing one is kept as it is.
Status LayOutReportDatabase(const intake::StationPaths& paths, std::vector<std::string>* log);

}  // namespace krm::tools

#endif  // KRM_TOOLS_STATION_INIT_H_
