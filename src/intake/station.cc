#include "intake/station.h"

namespace krm::intake {

std::optional<fs::path> FindStationFile(platform::Env& env, const fs::path& path) {
  std::optional<fs::path> found = env.FindFile(path);
  if (found && !env.IsRegularFile(*found)) return std::nullopt;
  return found;
}

Profile ReadMeasurement(platform::Env& env, const fs::path& path, FaultLog* faults) {
  Profile profile;
  const std::optional<fs::path> found = FindStationFile(env, path);
  if (!found) return profile;
  const Status read = Profile::Read(env, *found, &profile);
  if (!read.ok() && faults) faults->Add("measurement file not read", *found, read);
  return profile;
}

}  // namespace krm::intake
