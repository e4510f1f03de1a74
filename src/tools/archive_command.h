// krm-station archive: the station's archive of graded stones from the command line.
//
//   krm-station archive send [--station DIR]             send what waits to the lab's server
//   krm-station archive list [--station DIR] [--limit N]  the newest records, tab-separated
//
// DIR is the station folder, the current folder when not given.
#ifndef KRM_TOOLS_ARCHIVE_COMMAND_H_
#define KRM_TOOLS_ARCHIVE_COMMAND_H_

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace krm::tools {

// Usage lines of the command, for krm-station's help.
extern const char kArchiveUsage[];

// Runs `krm-station archive ARGS...` (`args` without "archive") and gives the exit status:
// 0 done; 1 the station has no archive server (send); 2 the local archive could not be read or
// written; 3 the server was not reached or refused the records, which wait; 64 a usage error.
int ArchiveCommand(platform::Env& env, const std::vector<std::string_view>& args, std::FILE* out,
                   std::FILE* err);

}  // namespace krm::tools

#endif  // KRM_TOOLS_ARCHIVE_COMMAND_H_
