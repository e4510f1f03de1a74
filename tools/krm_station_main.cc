// krm-station: tooling around the grading step.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gradetables/station_init.h"
#include "platform/default_env.h"
#include "platform/env.h"
#include "platform/program_arguments.h"

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
  krm::platform::DefaultEnv env;
  std::vector<std::string> log;
  const auto result =
      krm::gradetables::InitStation(env, krm::platform::PathFromUtf8(*dir), force, &log);
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

// The program's arguments as UTF-8 texts.
int Main(int argc, char** argv) {
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

}  // namespace

#ifdef _WIN32
// Wide arguments, so that a folder named outside the ANSI code page reaches the program whole.
int wmain(int argc, wchar_t** argv) {
  krm::platform::Utf8Argv utf8(argc, argv);
  return Main(argc, utf8.argv());
}
#else
int main(int argc, char** argv) {
  return Main(argc, argv);
}
#endif
