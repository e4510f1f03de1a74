// RunState: what the main window holds for the whole run and every step shares.
#ifndef KRM_APP_RUN_STATE_H_
#define KRM_APP_RUN_STATE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/polish_data.h"
#include "app/result_fields.h"
#include "app/station_paths.h"
#include "gradetables/grade_file_join.h"
#include "gradetables/main_fnc.h"
#include "platform/database.h"
#include "platform/env.h"

namespace krm::app {

// Exit statuses of the program.
enum class ExitStatus : int {
  kOk = 0,
  kMeasurementMissing = 1,
  kGradeDataMissing = 2,
  kReportDatabaseMissing = 3,
  // The run reached its end, but a result could not be made or written; each such fault is said
  // on standard error.
  kResultNotWritten = 5,
  kUsage = 64,
};

// The blocking message of a missing measurement file, at start-up and at grading time.
inline constexpr std::string_view kMeasurementMissingMessage =
    "Vestra Polish File Export Failed  - Re Scan the stone and Repeat....";
inline constexpr std::string_view kMeasurementMissingTitle = "VESTRA POLISH FILE EXPORT FAILED";

// A blocking check that ends the program; carried up to the run flow as a value.
struct RunEnd {
  ExitStatus status;
};

struct RunState {
  RunState(platform::Env& env, fs::path app_dir) : env(env), paths(std::move(app_dir)) {}

  // Records a blocking or warning message: the count goes up by one and the message and a ","
  // are appended to the list.
  void AppendMessage(std::string_view message) {
    ++MessageCount;
    MessageList.append(message);
    MessageList.push_back(',');
  }

  // Shows a blocking message in a message box, records it and gives the end of the run.
  RunEnd Block(std::string_view message, int style, std::string_view title, ExitStatus status) {
    AppendMessage(message);
    env.MessageBox(message, style, title);
    return RunEnd{status};
  }

  platform::Env& env;
  StationPaths paths;

  fs::path measurement_path;
  std::string MessageList;
  std::int16_t MessageCount = 0;
  fs::path report_path;
  // Open output files; absent when they could not be opened (their writes are then skipped).
  std::unique_ptr<platform::WritableFile> report_file;
  std::unique_ptr<platform::WritableFile> grade_log;
  std::string saved_cut_caption;
  std::string saved_symmetry_caption;

  // Run texts of the grading: never cleared, a later grading in the run appends to them.
  std::string GirdleLimitText;
  std::string DegradeText;
  std::string SymmetryText;
  std::string WeightNote;
  // Grade classes 1 (Excellent) to 5 (Poor) that the last grading left; 0 before any grading.
  std::int16_t OverallCutClass = 0;
  std::int16_t SymmetryGrade = 0;
  // The pavilion grid index keeps its value when a later grading finds no matching grid point.
  int pavilion_index = 0;
  // Number of gradings run so far; only the first one writes the grade log.
  int gradings = 0;
  // The grade tables database connection, reopened by every grading, and the look-ups on it
  // (LastDescriptionID lasts for the whole run).
  std::unique_ptr<platform::Database> grade_db;
  gradetables::MainFNC main_fnc;
  // The parts and the grade table file as this run's last join left them: a later grading whose
  // parts and table are unchanged need not join again.
  std::optional<gradetables::JoinMemo> grade_table_join;
  // The parameter record, overwritten by every grading's GetPolishData.
  PolishData polish;

  ResultFields fields;
};

// Writes one line with CR LF to a file that may be absent; a failing write is passed over.
void WriteLine(const std::unique_ptr<platform::WritableFile>& file, std::string_view line);

}  // namespace krm::app

#endif  // KRM_APP_RUN_STATE_H_
