// The run of the grading step: the main window's load handler, from the check for a measurement
// file to the start of the follow-up batch file.
#ifndef KRM_APP_RUN_FLOW_H_
#define KRM_APP_RUN_FLOW_H_

#include <filesystem>

#include "grading/stone_state.h"
#include "intake/station.h"
#include "platform/env.h"

namespace krm::app {

using intake::ExitStatus;

// Grades the stone whose measurement file lies in the station folder, writes the report file,
// the grade log, the report database and the recut advice, and starts KRM_5.bat. Gives the exit
// status: the status of the blocking check that ended the run (after its message box), else
// kResultNotWritten when a fault was passed over (the station's fault log says which), else kOk.
// The caller says the faults.
ExitStatus Form_Load(intake::Station& station, grading::StoneState& stone);

// The same run with its own stone state.
ExitStatus Form_Load(intake::Station& station);

}  // namespace krm::app

#endif  // KRM_APP_RUN_FLOW_H_
