// Station: what lives as long as one start of the program in a station folder: the platform,
// where the station's files lie, the faults the run passed over and its notices. Also how a
// blocking check ends the run, and the measurement file as every reader finds it.
#ifndef KRM_INTAKE_STATION_H_
#define KRM_INTAKE_STATION_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "intake/profile.h"
#include "intake/station_paths.h"
#include "platform/env.h"
#include "platform/fault_log.h"
#include "platform/status.h"

namespace krm::intake {

// Exit statuses of the grading step.
enum class ExitStatus : int {
  kOk = 0,
  kMeasurementMissing = 1,
  kGradeDataMissing = 2,
  kReportDatabaseMissing = 3,
  // The run reached its end, but a result could not be made or written (see FaultLog).
  kResultNotWritten = 5,
  kUsage = 64,
};

// A blocking check that ended the program; carried up to the run flow as a value.
struct RunEnd {
  ExitStatus status;
};

// The blocking message of a missing measurement file, at start-up and at grading time.
inline constexpr std::string_view kMeasurementMissingMessage =
    "Vestra Polish File Export Failed  - Re Scan the stone and Repeat....";
inline constexpr std::string_view kMeasurementMissingTitle = "VESTRA POLISH FILE EXPORT FAILED";

struct Station {
  Station(platform::Env& env, fs::path root) : env(env), paths(root), faults(root) {}

  platform::Env& env;
  StationPaths paths;
  FaultLog faults;
  // Lines for standard error that are no faults and leave the exit status as it is (the lab's
  // archive server not reached: the record waits in the station).
  std::vector<std::string> notices;
};

// The file a station reads under `path`: the exact name first, else one that differs only in
// letter case. No value when there is none, or when what is there is not a regular file (a
// folder, a pipe, a device): such a measurement file counts as missing.
std::optional<fs::path> FindStationFile(platform::Env& env, const fs::path& path);

// The measurement file at `path` (found under any letter case), read by the profile reader. A
// missing file reads as no keys, as the profile reader gives; one that exists but cannot be read
// also reads as no keys, and is recorded in `faults` when given.
Profile ReadMeasurement(platform::Env& env, const fs::path& path, FaultLog* faults);

}  // namespace krm::intake

#endif  // KRM_INTAKE_STATION_H_
