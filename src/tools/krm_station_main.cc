// krm-station: tooling around the grading step.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/default_env.h"
#include "platform/env.h"
#include "platform/program_arguments.h"
#include "platform/system.h"
#include "tools/archive_command.h"
#include "tools/batch_command.h"
#include "tools/report_command.h"
#include "tools/station_check.h"
#include "tools/station_init.h"

namespace {

constexpr std::string_view kUsage =
    "usage: krm-station COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  init DIR [--force]   lay out a station folder with the default grade data\n"
    "  check DIR            check a station folder before a shift: part files, joined grade\n"
    "                       files, both databases, the data folder and KRM_5.bat, one line\n"
    "                       per check, OK or FAIL with what to do about it\n"
    "  grade [--station DIR] [--format jsonl|csv] [--jobs N] [--archive] PATH...\n"
    "                       grade measurement files (folders are searched for *.txt) without\n"
    "                       writing any station file: one record per file on standard output,\n"
    "                       in the order given; grade data of the station's part files, or of\n"
    "                       the default grade model; --archive keeps every graded stone in the\n"
    "                       archive of DIR, or of the current folder without --station\n"
    "                       (data/archive.db, and the server of its station.ini)\n"
    "  explain [--station DIR] FILE\n"
    "                       what limits the stone's grade and what would lift it\n"
    "  report [--station DIR] [--out DIR] PATH...\n"
    "                       one stone page (HTML, self-contained, one A4 sheet) per measurement\n"
    "                       file, written to DIR (default stone-pages), and index.html when\n"
    "                       there are several; prints the path of each page written\n";

constexpr std::string_view kExitStatus =
    "\n"
    "Exit status: 0 done; 64 a usage error.\n"
    "init: 1 DIR already holds a station (give --force to overwrite it); 2 a file could not be\n"
    "written.\n"
    "check: 1 a check failed.\n"
    "grade, explain, report: 1 a file could not be graded; 2 the grade data could not be read or\n"
    "an output written (standard output, the pages or the archive; an archive server not reached\n"
    "is said, and the records wait in the local archive).\n"
    "archive: 1 the station has no archive server (send); 2 the station's archive could not be\n"
    "read or written; 3 the server was not reached or refused the records, which wait.\n";

void PrintUsage(std::FILE* to) {
  std::fputs(kUsage.data(), to);
  std::fputs(krm::tools::kArchiveUsage, to);
  std::fputs(kExitStatus.data(), to);
}

int Usage() {
  PrintUsage(stderr);
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
  const auto result = krm::tools::InitStation(env, krm::platform::PathFromUtf8(*dir), force, &log);
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

// krm-station check DIR
int Check(const std::vector<std::string_view>& args) {
  if (args.size() != 1 || args[0].empty() || args[0].starts_with("-")) return Usage();
  const std::filesystem::path dir = krm::platform::PathFromUtf8(args[0]);
  krm::platform::DefaultEnv env;
  if (!env.IsDirectory(dir)) {
    std::fprintf(stderr, "krm-station: %s is no folder\n", std::string(args[0]).c_str());
    return 64;
  }
  bool all = true;
  for (const krm::tools::CheckLine& line : krm::tools::CheckStation(env, dir)) {
    std::printf("%s\n", krm::tools::FormatCheckLine(line).c_str());
    all = all && line.ok;
  }
  return all ? 0 : 1;
}

// The program's arguments as UTF-8 texts.
int Main(int argc, char** argv) {
  if (argc >= 2) {
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (command == "--version") {
      const auto v = krm::platform::ProgramVersion();
      std::printf("krm-station %d.%d.%d\n", v.major, v.minor, v.revision);
      return 0;
    }
    const std::vector<std::string_view> args(argv + 2, argv + argc);
    if (command == "init") return Init(args);
    if (command == "check") return Check(args);
    if (command == "grade") return krm::tools::GradeCommand(args);
    if (command == "explain") return krm::tools::ExplainCommand(args);
    if (command == "report") return krm::tools::ReportCommand(args);
    if (command == "archive") {
      krm::platform::DefaultEnv env;
      const int status = krm::tools::ArchiveCommand(env, args, stdout, stderr);
      return status == 64 ? Usage() : status;
    }
  }
  return Usage();
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that a folder named outside the ANSI code page reaches the program whole.
int wmain(int argc, wchar_t** argv) {
  krm::platform::UseBinaryStandardStreams();
  krm::platform::Utf8Argv utf8(argc, argv);
  return Main(argc, utf8.argv());
}
#else
int main(int argc, char** argv) {
  return Main(argc, argv);
}
#endif
