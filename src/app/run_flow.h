// The run of the grading step: the main window's load handler, from the check for a measurement
// file to the start of the follow-up batch file.
#ifndef KRM_APP_RUN_FLOW_H_
#define KRM_APP_RUN_FLOW_H_

#include <filesystem>

#include "app/run_state.h"
#include "platform/env.h"

namespace krm::app {

// Grades the stone whose measurement file lies in `app_dir`, writes the report file, the grade
// log, the report database and the recut advice, and starts KRM_5.bat. Gives the exit status:
// kOk when the run reached its end, or the status of the blocking check that ended it (after its
// message box).
ExitStatus Form_Load(platform::Env& env, const std::filesystem::path& app_dir);

// The same run on a state the caller made (tests look at the result fields afterwards).
ExitStatus Form_Load(RunState& state);

}  // namespace krm::app

#endif  // KRM_APP_RUN_FLOW_H_
