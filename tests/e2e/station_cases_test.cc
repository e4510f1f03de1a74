// Whole stations run through the real programs: each folder of tests/e2e/cases holds a measurement
// file, a case.txt that says which grade data the station gets, what to take away from it, the exit
// status and the message box lines, and the report, grade log and recut files worked out by hand.
// The runner lays out the station, starts DOVEVOVIDIRO on it and compares the files byte by byte
// with date, time, version and version date masked.
//
// case.txt, one directive a line ('#' starts a comment):
//   grade default          station laid out by `krm-station init`
//   grade digit D          grade table of digit D everywhere, default grade tables database
//   cell N D               with cell N holding D instead
//   remove PATH            take PATH out of the laid-out station before the run
//   mkdir PATH             put a folder at PATH before the run
//   runs N                 start the program N times in the same station (1 when not given)
//   exit N                 expected exit status of the last start (0 when not given)
//   stderr TEXT            expected standard error line, in order ("TITLE: message")
//   absent PATH            PATH must not exist after the run
//   head NAME N            compare only the first N lines of the expected file NAME
// A case folder named DISABLED_* is a known fault of the program: its expected files hold the
// outcome worked out from the rules, and it runs only with --gtest_also_run_disabled_tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "grading/grade_station.h"
#include "platform/child_process.h"

namespace krm {
namespace {

namespace fs = std::filesystem;
const fs::path kCases = fs::path(KRM_SOURCE_DIR) / "tests" / "e2e" / "cases";
const fs::path kBin = KRM_BINARY_DIR;

std::vector<std::string> Split(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    lines.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return lines;
}

// Replaces what differs from run to run: fields 2 to 5 of a report's summary line (version,
// version date, date, time) and the values of the grade log's Version_* and Current_* lines.
std::string Mask(const std::string& name, const std::string& text) {
  std::string out = text;
  if (name == "out.txt" || name == "out_1.txt") {
    const size_t eol = std::min(out.find("\r\n"), out.size());
    std::vector<std::string> f = Split(out.substr(0, eol), ",");
    std::string line;
    for (size_t i = 0; i < f.size(); ++i) {
      if (i) line += ',';
      line += i >= 1 && i <= 4 ? std::string("#") : f[i];
    }
    out = line + out.substr(eol);
  } else if (name == "grade_log.txt") {
    std::string masked;
    for (const std::string& l : Split(out, "\r\n")) {
      const bool varies = l.starts_with("Version_") || l.starts_with("Current_");
      masked += (varies ? l.substr(0, l.find('=') + 1) + "#" : l) + "\r\n";
    }
    out = masked;
  }
  return out;
}

// The first line where two texts differ, for a readable failure.
std::string FirstDifference(const std::string& want, const std::string& got) {
  const auto w = Split(want, "\r\n"), g = Split(got, "\r\n");
  for (size_t i = 0; i < std::max(w.size(), g.size()); ++i) {
    const std::string a = i < w.size() ? w[i] : "<none>", b = i < g.size() ? g[i] : "<none>";
    if (a != b) return "line " + std::to_string(i + 1) + "\n  want: " + a + "\n  got:  " + b;
  }
  return "line ends differ";
}

struct Case {
  std::string grade = "digit 1";
  std::map<std::int64_t, char> cells;
  std::vector<std::string> remove, mkdir, stderr_lines, absent;
  std::map<std::string, size_t> head;
  int exit = 0, runs = 1;
};

Case ReadCase(const fs::path& dir) {
  Case c;
  for (std::string line : Split(testing::ReadWhole(dir / "case.txt"), "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (word == "grade") c.grade = rest;
    if (word == "cell") c.cells[std::stoll(rest)] = rest.back();
    if (word == "remove") c.remove.push_back(rest);
    if (word == "mkdir") c.mkdir.push_back(rest);
    if (word == "exit") c.exit = std::stoi(rest);
    if (word == "runs") c.runs = std::stoi(rest);
    if (word == "stderr") c.stderr_lines.push_back(rest);
    if (word == "absent") c.absent.push_back(rest);
    if (word == "head")
      c.head[rest.substr(0, rest.find(' '))] = std::stoul(rest.substr(rest.find(' ')));
  }
  return c;
}

// Where each expected file of a case lies in the station.
const std::map<std::string, std::string> kExpected = {{"out.txt", "data/out.txt"},
                                                      {"out_1.txt", "data/out_1.txt"},
                                                      {"grade_log.txt", "data/grade_log.txt"},
                                                      {"recut.txt", "data/recut.txt"},
                                                      {"test_1.txt", "test_1.txt"}};

// A station laid out as a case says, before the run.
struct Station {
  testing::TempStation plain;  // also holds what the runs print
  std::unique_ptr<testing::GradeStation> graded;
  fs::path root;
};

void LayOut(const Case& c, const fs::path& dir, Station* station) {
  station->root = station->plain.root() / "station";
  if (c.grade == "default") {
    ASSERT_EQ(testing::RunChild({testing::ProgramFile(kBin, "krm-station").string(), "init",
                                 station->root.string()})
                  .status,
              0);
  } else {
    ASSERT_TRUE(c.grade.starts_with("digit ")) << c.grade;
    station->graded = std::make_unique<testing::GradeStation>(c.grade.back(), c.cells);
    station->root = station->graded->root();
  }
  const fs::path& root = station->root;
  if (fs::exists(dir / "Test.txt")) fs::copy_file(dir / "Test.txt", root / "Test.txt");
  for (const auto& path : c.remove) fs::remove_all(root / path);
  for (const auto& path : c.mkdir) fs::create_directories(root / path);
}

// Starts `program` (with the arguments before the application folder) `runs` times on the
// station folder `app_dir`; gives the last exit status. Standard error goes to `err`.
int RunStation(std::vector<std::string> program, const std::string& app_dir, int runs,
               const fs::path& err) {
#ifndef _WIN32
  ::setenv("LC_ALL", "C", 1);  // the program's date and time forms are masked anyway
#endif
  program.push_back("--app-dir");
  program.push_back(app_dir);
  int status = 0;
  for (int i = 0; i < runs; ++i)
    status = testing::RunChild(program, "", {}, {}, err.string()).status;
  return status;
}

// The lines of what a run printed on standard error (CR LF on Windows).
std::vector<std::string> ErrLines(const fs::path& err) {
  std::vector<std::string> lines = Split(testing::ReadWhole(err), "\n");
  for (std::string& line : lines) {
    if (line.ends_with('\r')) line.pop_back();
  }
  return lines;
}

class StationCases : public ::testing::TestWithParam<std::string> {};

TEST_P(StationCases, RunMatchesTheHandWorkedFiles) {
  const fs::path dir = kCases / GetParam();
  const Case c = ReadCase(dir);
  Station station;
  ASSERT_NO_FATAL_FAILURE(LayOut(c, dir, &station));
  const fs::path& root = station.root;
  const fs::path err = station.plain.root() / "stderr.txt";
  const int status =
      RunStation({testing::ProgramFile(kBin, "DOVEVOVIDIRO").string()}, root.string(), c.runs, err);
  EXPECT_EQ(status, c.exit);
  EXPECT_EQ(ErrLines(err), c.stderr_lines);

  int compared = 0;
  for (const auto& [name, where] : kExpected) {
    if (!fs::exists(dir / name)) continue;
    ++compared;
    const std::string want = Mask(name, testing::ReadWhole(dir / name));
    ASSERT_TRUE(fs::exists(root / where)) << where << " was not written";
    std::string got = Mask(name, testing::ReadWhole(root / where));
    if (auto n = c.head.find(name); n != c.head.end()) {
      size_t end = 0;
      for (size_t i = 0; i < n->second && end != std::string::npos; ++i) {
        end = got.find("\r\n", end);
        if (end != std::string::npos) end += 2;
      }
      got = got.substr(0, end);
    }
    EXPECT_TRUE(want == got) << name << ": " << FirstDifference(want, got);
  }
  for (const auto& path : c.absent) EXPECT_FALSE(fs::exists(root / path)) << path;
  EXPECT_GT(compared + c.absent.size(), 0u) << "the case checks no file";

  // A laid-out station starts its follow-up, which records the run; let it finish first.
  if (c.exit == 0 && fs::exists(root / "KRM_5.bat")) {
    const fs::path ran = root / "data" / "krm5_ran.txt";
    for (int i = 0; i < 500 && !testing::ReadWhole(ran).ends_with('\n'); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(testing::ReadWhole(ran).ends_with('\n')) << "KRM_5.bat did not run";
  }
}

std::vector<std::string> CaseNames(bool disabled) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.starts_with("DISABLED_") == disabled) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, StationCases, ::testing::ValuesIn(CaseNames(false)), Name);
// Known faults of the program, kept as worked out; named DISABLED_ so that they run on request.
INSTANTIATE_TEST_SUITE_P(DISABLED_KnownFaults, StationCases, ::testing::ValuesIn(CaseNames(true)),
                         Name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(StationCases);

#ifndef _WIN32
// The Windows program under Wine against this one: KRM_WINDOWS_BUILD names the folder of a
// Windows build (KRM_WINE the Wine program, /usr/bin/wine when not given). Every case's station is
// laid out once, copied, and graded by both programs; every file the two leave must be the same
// bytes, with dates, times and versions masked. Without KRM_WINDOWS_BUILD there are no such tests.
std::vector<std::string> TwinCaseNames() {
  return std::getenv("KRM_WINDOWS_BUILD") ? CaseNames(false) : std::vector<std::string>{};
}

// The files under `root`, relative to it, in order.
std::vector<fs::path> FilesUnder(const fs::path& root) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(root));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class WindowsTwin : public ::testing::TestWithParam<std::string> {};

TEST_P(WindowsTwin, WindowsProgramLeavesTheSameFiles) {
  const fs::path dir = kCases / GetParam();
  const Case c = ReadCase(dir);
  Station station;
  ASSERT_NO_FATAL_FAILURE(LayOut(c, dir, &station));
  // The follow-up is a script of one system or the other; what is compared is the program's own.
  fs::remove(station.root / "KRM_5.bat");
  testing::TempStation twin_folder;
  const fs::path twin = twin_folder.root() / "station";
  fs::copy(station.root, twin, fs::copy_options::recursive);

  const fs::path err = station.plain.root() / "stderr.txt";
  const int status = RunStation({testing::ProgramFile(kBin, "DOVEVOVIDIRO").string()},
                                station.root.string(), c.runs, err);
  const char* wine = std::getenv("KRM_WINE");
  ::setenv("WINEDEBUG", "-all", 0);
  ::setenv("KRM_MESSAGE_BOX", "stderr", 1);
  const fs::path twin_err = twin_folder.root() / "stderr.txt";
  // Wine's drive Z: is the root of this system.
  const int twin_status =
      RunStation({wine ? wine : "/usr/bin/wine",
                  (fs::path(std::getenv("KRM_WINDOWS_BUILD")) / "DOVEVOVIDIRO.exe").string()},
                 "Z:" + twin.string(), c.runs, twin_err);
  EXPECT_EQ(twin_status, status);
  EXPECT_EQ(ErrLines(twin_err), ErrLines(err));

  const std::vector<fs::path> files = FilesUnder(station.root);
  EXPECT_EQ(FilesUnder(twin), files);
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    const std::string want = Mask(name, testing::ReadWhole(station.root / file));
    const std::string got = Mask(name, testing::ReadWhole(twin / file));
    if (want == got) continue;
    size_t at = 0;
    while (at < std::min(want.size(), got.size()) && want[at] == got[at]) ++at;
    const bool text = file.extension() == ".txt";
    ADD_FAILURE() << file << " differs from byte " << at
                  << (text ? ": " + FirstDifference(want, got) : std::string());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowsTwin, ::testing::ValuesIn(TwinCaseNames()), Name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowsTwin);
#endif

}  // namespace
}  // namespace krm
