// DOVEVOVIDIRO: the grading step of the station, one stone per start.
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/run_flow.h"
#include "platform/default_env.h"
#include "platform/program_arguments.h"

namespace {

constexpr std::string_view kUsage =
    "usage: DOVEVOVIDIRO [--app-dir DIR]\n"
    "\n"
    "Grades the stone measured in DIR/Test.txt (DIR defaults to the folder of the program),\n"
    "writes DIR/data/out.txt, the grade log, the report database and the recut advice, and\n"
    "starts DIR/KRM_5.bat.\n"
    "\n"
    "Exit status: 0 run completed, 1 measurement file missing, 2 grade data missing,\n"
    "3 report database missing, 64 usage error.\n";

int Usage(std::FILE* out, int status) {
  std::fputs(kUsage.data(), out);
  return status;
}

// The program's arguments as UTF-8 texts.
int Main(int argc, char** argv) {
  std::setlocale(LC_TIME, "");
  krm::platform::DefaultEnv env;
  std::filesystem::path app_dir;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
    if (arg == "--version") {
      const auto v = krm::platform::ProgramVersion();
      std::printf("DOVEVOVIDIRO %d.%d.%d\n", v.major, v.minor, v.revision);
      return 0;
    }
    if (arg == "--app-dir" && i + 1 < argc) {
      app_dir = krm::platform::PathFromUtf8(argv[++i]);
    } else if (arg.starts_with("--app-dir=")) {
      app_dir = krm::platform::PathFromUtf8(arg.substr(10));
    } else {
      std::fprintf(stderr, "DOVEVOVIDIRO: unexpected argument '%s'\n", argv[i]);
      return Usage(stderr, static_cast<int>(krm::app::ExitStatus::kUsage));
    }
  }
  if (app_dir.empty()) {
    app_dir = env.ExecutablePath().parent_path();
    if (app_dir.empty()) app_dir = std::filesystem::current_path();
  }
  if (!env.IsDirectory(app_dir)) {
    std::fprintf(stderr, "DOVEVOVIDIRO: application folder '%s' does not exist\n",
                 krm::platform::Utf8(app_dir).c_str());
    return static_cast<int>(krm::app::ExitStatus::kUsage);
  }
  return static_cast<int>(krm::app::Form_Load(env, app_dir));
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that a folder named outside the ANSI code page reaches the program whole.
int wmain(int argc, wchar_t** argv) {
  krm::platform::UseParentConsole();  // a window program: no console of its own
  krm::platform::Utf8Argv utf8(argc, argv);
  return Main(argc, utf8.argv());
}
#else
int main(int argc, char** argv) {
  return Main(argc, argv);
}
#endif
