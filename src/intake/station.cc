#include "intake/station.h"

namespace krm::intake {

std::optional<fs::path> FindStationFile(platform::Env& env, const fs::path& path) {
  std::optional<fs::path> found = env.FindFile(path);
  if (found && !env.IsRegularFile(*found)) return std::nullopt;
  return found;
}

std::string ReadMeasurement(platform::Env& env, const fs::path& path, FaultLog* faults) {
  std::string contents;
  const std::optional<fs::path> found = FindStationFile(env, path);
  if (!found) return contents;
  const Status read = env.ReadFile(*found, &contents);
  if (!read.ok()) {
    contents.clear();
    if (faults) faults->Add("measurement file not read", *found, read);
  }
  return contents;
}

}  // namespace krm::intake
