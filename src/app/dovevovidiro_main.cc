// DOVEVOVIDIRO: the grading step of the station, one stone per start.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/run_flow.h"
#include "app/stone_archive.h"
#include "platform/default_env.h"
#include "platform/program_arguments.h"
#include "platform/system.h"

namespace {

constexpr std::string_view kProgram = "DOVEVOVIDIRO";

constexpr std::string_view kUsage =
    "usage: DOVEVOVIDIRO [--app-dir DIR]\n"
    "       DOVEVOVIDIRO --send-archive [--app-dir DIR]\n"
    "\n"
    "Grades the stone measured in DIR/Test.txt (DIR defaults to the folder of the program),\n"
    "writes DIR/data/out.txt, the grade log, the report database and the recut advice, starts\n"
    "DIR/KRM_5.bat, and keeps the stone's record in the archive DIR/data/archive.db, and on the\n"
    "lab's archive server when DIR/station.ini or KRM_ARCHIVE_URL names one. Prints nothing when\n"
    "every result was written and the server, if any, took the record. The record goes to the\n"
    "server from the archive sender, which the run starts as it ends\n"
    "(DOVEVOVIDIRO --send-archive, which sends whatever waits in the station's archive); a\n"
    "server that cannot be reached is said by the sender, on the same standard error, as\n"
    "  DOVEVOVIDIRO: archive server ...\n"
    "and the record waits in the station for the next run or  krm-station archive send.\n"
    "\n"
    "Exit status:\n"
    "  0   the run reached its end and wrote every result\n"
    "  1   the measurement file is missing\n"
    "  2   the grade tables database is missing, or a grade file could not be joined\n"
    "  3   the report database is missing or cannot be opened\n"
    "  5   the run reached its end, but a result could not be made or written; each fault is\n"
    "      said on standard error as  DOVEVOVIDIRO: WHAT: PATH: REASON\n"
    "  64  a usage error\n";

int Usage(std::FILE* out, int status) {
  std::fputs(kUsage.data(), out);
  return status;
}

// The station folder as an absolute path without a trailing separator, so that every file of the
// station, and the follow-up started in it, is found wherever the program was started from.
std::filesystem::path StationFolder(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(dir, ec).lexically_normal();
  if (ec) folder = dir;
  if (folder.has_relative_path() && folder.filename().empty()) folder = folder.parent_path();
  return folder;
}

// The program's arguments as UTF-8 texts.
int Main(int argc, char** argv) {
#ifdef M_MMAP_THRESHOLD
  // A run holds a measurement file's bytes a few times one after the other (the grading, the
  // export, each recut candidate). Large blocks are mapped on their own and given back when
  // freed, rather than left resident in the heap after the first one (the allocator otherwise
  // raises this threshold as it sees large blocks freed).
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  std::setlocale(LC_TIME, "");
  krm::platform::DefaultEnv env;
  std::filesystem::path app_dir;
  bool send_archive = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
    if (arg == krm::app::kSendArchiveOption) {
      send_archive = true;
      continue;
    }
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
  krm::intake::Station station(env, StationFolder(app_dir));
  krm::app::ExitStatus status = krm::app::ExitStatus::kOk;
  if (send_archive) {
    krm::app::SendWaitingRecords(station);
    if (!station.faults.empty()) status = krm::app::ExitStatus::kResultNotWritten;
  } else {
    status = krm::app::Form_Load(station);
  }
  for (const std::string& line : station.faults.Lines(kProgram)) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  for (const std::string& line : station.notices) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), line.c_str());
  }
  return static_cast<int>(status);
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that a folder named outside the ANSI code page reaches the program whole.
int wmain(int argc, wchar_t** argv) {
  krm::platform::UseParentConsole();  // a window program: no console of its own
  krm::platform::UseBinaryStandardStreams();
  krm::platform::Utf8Argv utf8(argc, argv);
  return Main(argc, utf8.argv());
}
#else
int main(int argc, char** argv) {
  const int status = Main(argc, argv);
  // Every file of the run is closed by now. The archive server's client library brings TLS and
  // Kerberos libraries that tear themselves down at exit for a millisecond and more, which a
  // station waiting for the run need not wait for.
  if (krm::platform::SharedLibraryLoaded()) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
#endif
