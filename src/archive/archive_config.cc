#include "archive/archive_config.h"

#include <cstdlib>
#include <system_error>

#include "intake/profile.h"
#include "platform/system.h"

namespace krm::archive {

std::filesystem::path StationFile(platform::Env& env, const std::filesystem::path& station) {
  const std::filesystem::path path = station / "station.ini";
  return env.FindFile(path).value_or(path);
}

std::string DefaultStationName(const std::filesystem::path& station) {
  // The folder itself, however it was reached (through a link, a relative path).
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::weakly_canonical(station, ec);
  if (ec) folder = std::filesystem::absolute(station, ec);
  if (ec) folder = station;
  folder = folder.lexically_normal();
  if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path()) {
    folder = folder.parent_path();
  }
  std::string host = platform::HostName();
  if (host.empty()) host = "localhost";
  return host + "/" + folder.filename().string();
}

ArchiveConfig LoadArchiveConfig(platform::Env& env, const std::filesystem::path& station,
                                const char* environment_url) {
  ArchiveConfig config;
  config.local_path = station / "data" / "archive.db";
  const intake::Profile file = intake::Profile::Load(env, StationFile(env, station));
  config.station_name = file.Get("Archive", "name");
  if (config.station_name.empty()) config.station_name = DefaultStationName(station);
  if (environment_url != nullptr && *environment_url != '\0') {
    config.server_url = environment_url;
    config.url_source = kUrlVariable;
  } else {
    config.server_url = file.Get("Archive", "url");
    if (!config.server_url.empty()) config.url_source = "station.ini";
  }
  return config;
}

ArchiveConfig LoadArchiveConfig(platform::Env& env, const std::filesystem::path& station) {
  return LoadArchiveConfig(env, station, std::getenv(kUrlVariable));
}

}  // namespace krm::archive
