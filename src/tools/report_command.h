// krm-station report: a stone page for each measurement file, and an index of the pages when
// there are several.
#ifndef KRM_TOOLS_REPORT_COMMAND_H_
#define KRM_TOOLS_REPORT_COMMAND_H_

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/stone_record.h"

namespace krm::tools {

// The file names of the pages of a batch: a page is named after its stone's id, or the
// measurement file's name when it has none; characters other than letters, digits, ".", "-" and
// "_" become "_", and the name is cut to 120 characters. A name that is already taken where letter
// case does not count (a USB stick), or that would be the index's, gets "-2", "-3", ... in the
// order the pages are named.
class PageNames {
 public:
  std::string Take(const StoneRecord& record);

 private:
  std::set<std::string> taken_ = {"index"};
};

// The command line; gives the exit status.
int ReportCommand(const std::vector<std::string_view>& args);

}  // namespace krm::tools

#endif  // KRM_TOOLS_REPORT_COMMAND_H_
