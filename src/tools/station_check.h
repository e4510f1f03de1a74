// `krm-station check DIR`: what a lab runs before a shift, and after any fault a run reported.
//
// Each check is one line, OK or FAIL; a FAIL line says what is wrong and what to do about it:
//   - the four part files present and readable, the grade table's parts holding a whole table;
//   - the joined grade files (windows/win_rt1.dll, windows/win_rt2.dll) equal to their parts in
//     their first bytes (a join never shortens its target, so bytes beyond the parts may stay);
//     one not joined yet is joined by the next run;
//   - the grade tables database readable with GirdleThickness, CULET_DESCRIPTION and
//     GIRDLE_DESC_CLASS (when not joined yet, the database that its parts make);
//   - the report database readable with Round1 to Round5, RoundCutSym and UserData, each with
//     RID, UserData with SHAPE;
//   - the data folder writable;
//   - KRM_5.bat present.
// Files the station reads are found under any letter case, as a run finds them. Nothing in the
// station is changed.
#ifndef KRM_TOOLS_STATION_CHECK_H_
#define KRM_TOOLS_STATION_CHECK_H_

#include <filesystem>
#include <string>
#include <vector>

#include "platform/env.h"

namespace krm::tools {

struct CheckLine {
  bool ok = false;
  std::string what;  // the check: "part file", "report database"
  std::string path;  // the file or folder checked, relative to the station folder
  std::string text;  // for OK what was found; for FAIL what is wrong and what to do about it
};

// Runs every check on the station folder `dir`, in the order above.
std::vector<CheckLine> CheckStation(platform::Env& env, const std::filesystem::path& dir);

// "OK   WHAT: PATH: TEXT" or "FAIL WHAT: PATH: TEXT".
std::string FormatCheckLine(const CheckLine& line);

}  // namespace krm::tools

#endif  // KRM_TOOLS_STATION_CHECK_H_
