// The run of the grading step: the main window's load handler, from the check for a measurement
// file to the start of the follow-up batch file.
#ifndef KRM_APP_RUN_FLOW_H_
#define KRM_APP_RUN_FLOW_H_

#include <filesystem>
#include <string_view>

#include "app/run_state.h"
#include "platform/env.h"
#include "platform/fault_log.h"

namespace krm::app {

// The program that a fault line names.
inline constexpr std::string_view kProgramName = "DOVEVOVIDIRO";

// Grades the stone whose measurement file lies in `app_dir`, writes the report file, the grade
// log, the report database and the recut advice, and starts KRM_5.bat. Gives the exit status:
// kOk when the run reached its end with every result written; kResultNotWritten when it reached
// its end but passed over a fault, each said on standard error as one line
// "DOVEVOVIDIRO: WHAT: PATH: REASON"; or the status of the blocking check that ended it (after
// its message box).
ExitStatus Form_Load(platform::Env& env, const std::filesystem::path& app_dir);

// The same run on a state the caller made (tests look at the result fields afterwards); the
// faults passed over are recorded in `*faults` when given.
ExitStatus Form_Load(RunState& state, FaultLog* faults = nullptr);

}  // namespace krm::app

#endif  // KRM_APP_RUN_FLOW_H_
