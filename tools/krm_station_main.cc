// krm-station: tooling around the grading step.
#include <cstdio>
#include <string_view>

#include "platform/env.h"

namespace {

constexpr std::string_view kUsage =
    "usage: krm-station COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  init DIR [--force]   lay out a station folder with the default grade data\n";

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
  }
  std::fputs(kUsage.data(), stderr);
  return 64;
}
