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
//   truncate PATH N        cut the file PATH to N bytes before the run
//   fifo PATH              put a FIFO at PATH before the run
//   link PATH TARGET       put a symbolic link to TARGET at PATH before the run
//   runs N                 start the program N times in the same station (1 when not given)
//   exit N                 expected exit status of the last start (0 when not given)
//   stderr TEXT            expected standard error line, in order ("TITLE: message")
//   absent PATH            PATH must not exist after the run
//   head NAME N            compare only the first N lines of the expected file NAME
//   lines NAME A-B         compare only lines A to B (from 1) of NAME; the expected file holds them
//   measurement NAME       the measurement file is laid out under NAME instead of Test.txt
//   followup               a KRM_5.bat that records its run in data/krm5_ran.txt
//   folder NAME            the station's folder is named NAME (default stations only)
//   app-dir FORM           how the program is told the station folder: absolute (the default),
//                          relative (started in the folder above), slash (with a trailing "/"),
//                          link (through a symbolic link to the folder)
// A case folder named DISABLED_* is a known fault of the program: its expected files hold the
// outcome worked out from the rules, and it runs only with --gtest_also_run_disabled_tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "grading/grade_station.h"
#include "text/code_page.h"

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

// Lines `first` to `last` (from 1) of a text of CR LF lines, with their line ends.
std::string Lines(const std::string& text, size_t first, size_t last) {
  size_t begin = 0, end = 0;
  for (size_t i = 1; i <= last && end != std::string::npos; ++i) {
    if (i == first) begin = end;
    end = text.find("\r\n", end);
    if (end != std::string::npos) end += 2;
  }
  return begin > text.size() ? std::string() : text.substr(begin, end - begin);
}

struct Case {
  std::string grade = "digit 1";
  std::map<std::int64_t, char> cells;
  std::vector<std::string> remove, mkdir, fifo, stderr_lines, absent;
  std::vector<std::pair<std::string, std::string>> link;
  std::map<std::string, std::uintmax_t> truncate;
  std::map<std::string, size_t> head;
  std::map<std::string, std::pair<size_t, size_t>> lines;
  std::string measurement = "Test.txt", folder = "station", app_dir = "absolute";
  bool followup = false;
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
    if (word == "truncate")
      c.truncate[rest.substr(0, rest.find(' '))] = std::stoull(rest.substr(rest.find(' ')));
    if (word == "fifo") c.fifo.push_back(rest);
    if (word == "link")
      c.link.emplace_back(rest.substr(0, rest.find(' ')), rest.substr(rest.find(' ') + 1));
    if (word == "exit") c.exit = std::stoi(rest);
    if (word == "runs") c.runs = std::stoi(rest);
    if (word == "stderr") c.stderr_lines.push_back(rest);
    if (word == "absent") c.absent.push_back(rest);
    if (word == "head")
      c.head[rest.substr(0, rest.find(' '))] = std::stoul(rest.substr(rest.find(' ')));
    if (word == "lines") {
      const std::string range = rest.substr(rest.find(' ') + 1);
      c.lines[rest.substr(0, rest.find(' '))] = {std::stoul(range),
                                                 std::stoul(range.substr(range.find('-') + 1))};
    }
    if (word == "measurement") c.measurement = rest;
    if (word == "followup") c.followup = true;
    if (word == "folder") c.folder = rest;
    if (word == "app-dir") c.app_dir = rest;
  }
  return c;
}

// Where each expected file of a case lies in the station.
const std::map<std::string, std::string> kExpected = {{"out.txt", "data/out.txt"},
                                                      {"out_1.txt", "data/out_1.txt"},
                                                      {"grade_log.txt", "data/grade_log.txt"},
                                                      {"recut.txt", "data/recut.txt"},
                                                      {"test_1.txt", "test_1.txt"}};

// A case's station, laid out in a temporary folder, and the program run on it.
struct CaseRun {
  explicit CaseRun(const std::string& name) : dir(kCases / name), c(ReadCase(dir)) {}

  // Lays out the station; false (with a test failure) when it could not be.
  bool LayOut() {
    root = plain.root() / c.folder;
    if (c.grade == "default") {
      const std::string init = (kBin / "krm-station").string() + " init '" + root.string() + "'";
      EXPECT_EQ(std::system((init + " > /dev/null").c_str()), 0) << init;
    } else {
      EXPECT_TRUE(c.grade.starts_with("digit ")) << c.grade;
      graded = std::make_unique<testing::GradeStation>(c.grade.back(), c.cells);
      root = graded->root();
      if (c.folder != "station") {
        fs::rename(root, plain.root() / c.folder);
        root = plain.root() / c.folder;
      }
    }
    if (fs::exists(dir / "Test.txt")) fs::copy_file(dir / "Test.txt", root / c.measurement);
    for (const auto& path : c.remove) fs::remove_all(root / path);
    for (const auto& path : c.mkdir) fs::create_directories(root / path);
    for (const auto& [path, size] : c.truncate) fs::resize_file(root / path, size);
    for (const auto& path : c.fifo) EXPECT_EQ(::mkfifo((root / path).c_str(), 0644), 0) << path;
    for (const auto& [path, target] : c.link) fs::create_symlink(target, root / path);
    if (c.followup) std::ofstream(root / "KRM_5.bat") << "echo ran >> data/krm5_ran.txt\n";
    return !::testing::Test::HasFailure();
  }

  // Runs the program as the case says; gives the exit status of the last start.
  int Run() {
    const fs::path err = plain.root() / "stderr.txt";
    std::string start = "cd '" + root.parent_path().string() + "' && ";
    std::string app_dir = root.string();
    if (c.app_dir == "relative") app_dir = root.filename().string();
    if (c.app_dir == "slash") app_dir += "/";
    if (c.app_dir == "link") {
      app_dir = (plain.root() / "link to station").string();
      fs::create_directory_symlink(root, app_dir);
    }
    // A run that hangs is ended after a while (exit status 124) rather than holding the suite.
    const std::string run = start + "LC_ALL=C timeout 120 '" + (kBin / "DOVEVOVIDIRO").string() +
                            "' --app-dir '" + app_dir + "' > /dev/null 2> '" + err.string() + "'";
    int status = 0;
    for (int i = 0; i < c.runs; ++i) status = std::system(run.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << run;
    stderr_lines = Split(testing::ReadWhole(err), "\n");
    return WEXITSTATUS(status);
  }

  fs::path dir;
  Case c;
  std::unique_ptr<testing::GradeStation> graded;
  testing::TempStation plain;
  fs::path root;
  std::vector<std::string> stderr_lines;
};

class StationCases : public ::testing::TestWithParam<std::string> {};

TEST_P(StationCases, RunMatchesTheHandWorkedFiles) {
  CaseRun run(GetParam());
  ASSERT_TRUE(run.LayOut());
  const fs::path& dir = run.dir;
  const fs::path& root = run.root;
  const Case& c = run.c;
  EXPECT_EQ(run.Run(), c.exit);
  EXPECT_EQ(run.stderr_lines, c.stderr_lines);

  int compared = 0;
  for (const auto& [name, where] : kExpected) {
    if (!fs::exists(dir / name)) continue;
    ++compared;
    // An expected file of lines from further down holds no summary line to mask.
    const auto range = c.lines.find(name);
    const bool from_top = range == c.lines.end() || range->second.first == 1;
    const std::string expected = testing::ReadWhole(dir / name);
    const std::string want = from_top ? Mask(name, expected) : expected;
    ASSERT_TRUE(fs::exists(root / where)) << where << " was not written";
    std::string got = Mask(name, testing::ReadWhole(root / where));
    if (auto n = c.head.find(name); n != c.head.end()) got = Lines(got, 1, n->second);
    if (range != c.lines.end()) got = Lines(got, range->second.first, range->second.second);
    EXPECT_TRUE(want == got) << name << ": " << FirstDifference(want, got);
  }
  for (const auto& path : c.absent) EXPECT_FALSE(fs::exists(root / path)) << path;
  EXPECT_GT(compared + c.absent.size(), 0u) << "the case checks no file";

  // A laid-out station starts its follow-up, which records the run; let it finish first.
  if ((c.exit == 0 || c.exit == 5) && fs::exists(root / "KRM_5.bat")) {
    for (int i = 0; i < 100 && !fs::exists(root / "data" / "krm5_ran.txt"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(fs::exists(root / "data" / "krm5_ran.txt")) << "KRM_5.bat did not run";
  }
}

// The batch grading of a case's measurement file, from the station's part files, agrees with the
// station run on every value both give: the summary line's grades, the message lines, the snapped
// crown and pavilion angles and the recut verdict.
TEST_P(StationCases, BatchAgreesWithTheStationRun) {
  CaseRun run(GetParam());
  ASSERT_TRUE(run.LayOut());
  const int status = run.Run();
  if (status == 1 || status == 2) GTEST_SKIP() << "the station run graded nothing";
  for (const std::string& line : run.stderr_lines) {
    if (line.find(": grade table") != std::string::npos) {
      GTEST_SKIP() << "the station graded with grade files other than its parts";
    }
  }
  const fs::path records = run.plain.root() / "records.jsonl";
  const std::string grade = "'" + (kBin / "krm-station").string() + "' grade --station '" +
                            run.root.string() + "' '" + (run.root / run.c.measurement).string() +
                            "' > '" + records.string() + "'";
  ASSERT_EQ(std::system(grade.c_str()), 0) << grade;
  const auto record = nlohmann::json::parse(testing::ReadWhole(records));
  const auto station_text = [](const nlohmann::json& j) {
    return text::Utf8ToCp1252(j.get<std::string>()).value_or("<not station text>");
  };

  const std::string report = testing::ReadWhole(run.root / "data/out.txt");
  if (!report.empty()) {
    const std::vector<std::string> lines = Split(report, "\r\n");
    const std::vector<std::string> summary = Split(lines[0], ",");
    ASSERT_GE(summary.size(), 9u);
    EXPECT_EQ(station_text(record["stone_id"]), summary[0]);
    EXPECT_EQ(station_text(record["cut_grade"]), summary[5]);
    EXPECT_EQ(station_text(record["symmetry_grade"]), summary[6]);
    EXPECT_EQ(station_text(record["table_class_name"]), summary[7]);
    std::string messages;
    for (const auto& m : record["messages"]) messages += station_text(m) + ",";
    for (size_t n = record["messages"].size(); n < 8; ++n) messages += ",";
    EXPECT_EQ("MSG[1]," + messages, lines[1]);
    EXPECT_EQ("MSG[2]," + station_text(record["girdle_limit_text"]), lines[2]);
    EXPECT_EQ("MSG[3]," + station_text(record["degrade_text"]), lines[3]);
    EXPECT_EQ("MSG[4]," + station_text(record["symmetry_text"]), lines[4]);
  }
  const std::string log = testing::ReadWhole(run.root / "data/grade_log.txt");
  for (const auto& [label, axis] : {std::pair{"Crown Angle ( \xB0 )_4=", "crown angle"},
                                    std::pair{"Pavilion Angle ( \xB0 )_4=", "pavilion angle"}}) {
    const size_t at = log.rfind(label);
    if (at == std::string::npos) continue;
    const size_t from = at + std::string(label).size();
    EXPECT_EQ(station_text(record["proportions"][axis]["snapped"]),
              log.substr(from, log.find("\r\n", from) - from));
  }
  const std::string advice = testing::ReadWhole(run.root / "data/recut.txt");
  if (status != 3 && !advice.empty()) {
    const std::vector<std::string> lines = Split(advice, "\r\n");
    EXPECT_EQ(record["recut"]["verdict"], lines[0]);
    EXPECT_EQ(station_text(record["recut"]["message"]), lines[1]);
    if (lines[0] == "Recut = 1") {
      EXPECT_EQ("Recut_Cut =" + station_text(record["recut"]["candidate"]["cut_grade"]), lines[3]);
      EXPECT_EQ("Recut_Sym =" + station_text(record["recut"]["candidate"]["symmetry_grade"]),
                lines[5]);
    }
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

}  // namespace
}  // namespace krm
