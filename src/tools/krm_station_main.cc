// krm-station: tooling around the grading step.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/env_posix.h"
#include "tools/station_init.h"

namespace {

constexpr std::string_view kUsage =
    "usage: krm-station COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  init DIR [--force]   lay out a station folder with the default grade data\n"
    "\n"
    "Exit status: 0 done; 1 DIR already holds a station (give --force to overwrite it);\n"
    "2 a file could not be written; 64 a usage error.\n";

int Usage() {
  std::fputs(kUsage.data(), stderr);
  return 64;
}

// krm-station init DIR [--force]
int Init(const std::vector<std::string_view>& args) {
  std::optional<std::string_view> dir;
  bool force = false;
  for (std::string_view arg : args) {
    if (arg == "--force") {
      force = true;
    } else if (arg.starts_with("-") || dir) {
      return Usage();
    } else {
      dir = arg;
    }
  }
  if (!dir || dir->empty()) return Usage();
  krm::platform::PosixEnv env;
  std::vector<std::string> log;
  const auto result = krm::tools::InitStation(env, std::string(*dir), force, &log);
  std::FILE* out = result == krm::tools::InitResult::kDone ? stdout : stderr;
  for (const std::string& line : log) std::fprintf(out, "krm-station: %s\n", line.c_str());
  switch (result) {
    case krm::tools::InitResult::kDone:
      std::printf("krm-station: station laid out in %s\n", std::string(*dir).c_str());
      return 0;
    case krm::tools::InitResult::kRefused:
      return 1;
    case krm::tools::InitResult::kFailed:
      return 2;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
      std::fputs(kUsage.data(), stdout);
      return 0;
    }
    if (command == "--version") {
      const auto v = krm::platform::ProgramVersion();
      std::printf("krm-station %d.%d.%d\n", v.major, v.minor, v.revision);
      return 0;
    }
    if (command == "init") return Init(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  return Usage();
}
