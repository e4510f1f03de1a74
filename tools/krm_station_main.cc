// krm-station: tooling around the grading step.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gradetables/station_init.h"
#include "platform/env.h"
#include "platform/env_posix.h"
#include "tools/station_check.h"

namespace {

constexpr std::string_view kUsage =
    "usage: krm-station COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  init DIR [--force]   lay out a station folder with the default grade data\n"
    "  check DIR            check a station folder before a shift: part files, joined grade\n"
    "                       files, both databases, the data folder and KRM_5.bat, one line\n"
    "                       per check, OK or FAIL with what to do about it\n"
    "\n"
    "Exit status: 0 done (check: every check holds); 1 init: DIR already holds a station\n"
    "(give --force to overwrite it), check: a check failed; 2 a file could not be written;\n"
    "64 a usage error.\n";

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
  const auto result = krm::gradetables::InitStation(env, std::string(*dir), force, &log);
  std::FILE* out = result == krm::gradetables::InitResult::kDone ? stdout : stderr;
  for (const std::string& line : log) std::fprintf(out, "krm-station: %s\n", line.c_str());
  switch (result) {
    case krm::gradetables::InitResult::kDone:
      std::printf("krm-station: station laid out in %s\n", std::string(*dir).c_str());
      return 0;
    case krm::gradetables::InitResult::kRefused:
      return 1;
    case krm::gradetables::InitResult::kFailed:
      return 2;
  }
  return 2;
}

// krm-station check DIR
int Check(const std::vector<std::string_view>& args) {
  if (args.size() != 1 || args[0].empty() || args[0].starts_with("-")) return Usage();
  const std::string dir(args[0]);
  krm::platform::PosixEnv env;
  if (!env.IsDirectory(dir)) {
    std::fprintf(stderr, "krm-station: %s is no folder\n", dir.c_str());
    return 64;
  }
  bool all = true;
  for (const krm::tools::CheckLine& line : krm::tools::CheckStation(env, dir)) {
    std::printf("%s\n", krm::tools::FormatCheckLine(line).c_str());
    all = all && line.ok;
  }
  return all ? 0 : 1;
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
    if (command == "check") return Check(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  return Usage();
}
