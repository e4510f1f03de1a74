// Where a station's archive goes: always its local archive, and the lab's server when one is set.
//
// The station file `station.ini` in the station folder:
//   [Archive]
//   url = postgresql://archive@lab-server/krm      (a PostgreSQL connection string or URI)
//   name = scanner-2                                (the station's name in the records)
// The environment variable KRM_ARCHIVE_URL, when set and not empty, wins over the file's url, so
// that a station can be pointed elsewhere for a while without editing its files. Without a url
// the records stay in the local archive only. The name defaults to the host name and the station
// folder's name: "host/folder".
#ifndef KRM_ARCHIVE_ARCHIVE_CONFIG_H_
#define KRM_ARCHIVE_ARCHIVE_CONFIG_H_

#include <filesystem>
#include <string>

#include "platform/env.h"

namespace krm::archive {

inline constexpr char kUrlVariable[] = "KRM_ARCHIVE_URL";

struct ArchiveConfig {
  // The local archive, data/archive.db in the station folder.
  std::filesystem::path local_path;
  std::string station_name;
  // The server's connection string; empty when the station has none.
  std::string server_url;
  // Where the url came from ("KRM_ARCHIVE_URL" or "station.ini"), for messages.
  std::string url_source;
};

// The station file, "station.ini" in the station folder (found under any letter case).
std::filesystem::path StationFile(platform::Env& env, const std::filesystem::path& station);

// Reads the configuration of `station`. `environment_url` is the value of KRM_ARCHIVE_URL, null
// when it is not set. A station file that is missing or cannot be read counts as empty.
ArchiveConfig LoadArchiveConfig(platform::Env& env, const std::filesystem::path& station,
                                const char* environment_url);
// As above with the process's own KRM_ARCHIVE_URL.
ArchiveConfig LoadArchiveConfig(platform::Env& env, const std::filesystem::path& station);

// "host/folder" for a station folder.
std::string DefaultStationName(const std::filesystem::path& station);

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVE_CONFIG_H_
