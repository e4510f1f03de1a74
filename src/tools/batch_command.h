// krm-station grade and krm-station explain: measurement files graded outside any station, with
// the same grading and recut advice as a station run.
#ifndef KRM_TOOLS_BATCH_COMMAND_H_
#define KRM_TOOLS_BATCH_COMMAND_H_

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "tools/grade_data.h"
#include "tools/stone_record.h"

namespace krm::tools {

// One measurement file of a batch, or a path that could not be listed.
struct BatchItem {
  std::filesystem::path path;
  std::optional<std::string> error;
};

// The measurement files of `paths`, in the order given: a file as it is, a folder searched through
// its subfolders for files named *.txt in any letter case, in name order. A path that is neither
// is listed with its error.
std::vector<BatchItem> ListMeasurementFiles(platform::Env& env,
                                            const std::vector<std::filesystem::path>& paths);

// Reads and grades one item; a file that cannot be read (missing, a folder, a pipe, unreadable)
// gives a record with its error.
StoneRecord GradeItem(platform::Env& env, const LoadedGradeData& data, const BatchItem& item);

enum class RecordFormat { kJsonLines, kCsv };

// Grades `items` on `jobs` threads and writes one record per item to `out`, in the order of the
// items, as they are done (a bounded number of records is held back at any time). With
// `progress`, a line of stones done, of the total and per second is kept up to date there. Gives
// the number of records with an error.
std::size_t GradeBatch(platform::Env& env, const LoadedGradeData& data,
                       const std::vector<BatchItem>& items, RecordFormat format, int jobs,
                       std::FILE* out, std::FILE* progress);

// The command lines; each gives the exit status.
int GradeCommand(const std::vector<std::string_view>& args);
int ExplainCommand(const std::vector<std::string_view>& args);

// The explanation of a record as a short table for a person, in UTF-8.
std::string ExplanationText(const StoneRecord& record);

}  // namespace krm::tools

#endif  // KRM_TOOLS_BATCH_COMMAND_H_
