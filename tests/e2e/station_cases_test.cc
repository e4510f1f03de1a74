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
//   lines NAME A-B         compare only lines A to B (from 1) of NAME; the expected file holds them
//   measurement NAME       the measurement file is laid out under NAME instead of Test.txt
//   followup               a KRM_5.bat that records its run in data/krm5_ran.txt
//   folder NAME            the station's folder is named NAME (default stations only)
//   app-dir FORM           how the program is told the station folder: absolute (the default),
//                          relative (started in the folder above), slash (with a trailing "/"),
//                          link (through a symbolic link to the folder)
// On Windows a case that needs a FIFO or a symbolic link is skipped, saying why.
// A case folder named DISABLED_* is a known fault of the program: its expected files hold the
// outcome worked out from the rules, and it runs only with --gtest_also_run_disabled_tests.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "archive/archive_rows.h"
#include "archive/local_archive.h"
#include "grading/grade_station.h"
#include "platform/child_process.h"
#include "platform/database.h"
#include "platform/environment.h"
#include "text/code_page.h"

namespace krm {
namespace {

namespace fs = std::filesystem;
const fs::path kCases = fs::path(KRM_SOURCE_DIR) / "tests" / "e2e" / "cases";
const fs::path kBin = KRM_BINARY_DIR;

using testing::Split;

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

// Why a case cannot be laid out on this system; "" when it can.
std::string NotOnThisSystem(const Case& c) {
#ifdef _WIN32
  if (!c.fifo.empty()) return "Windows has no FIFOs";
  if (!c.link.empty() || c.app_dir == "link") {
    return "a symbolic link on Windows needs a privilege that a station's user lacks, and Wine "
           "makes none";
  }
#else
  (void)c;
#endif
  return "";
}

// A case's station, laid out in a temporary folder, and the program run on it.
struct CaseRun {
  explicit CaseRun(const std::string& name) : dir(kCases / name), c(ReadCase(dir)) {}

  // Lays out the station; false (with a test failure) when it could not be.
  bool LayOut() {
    root = plain.root() / c.folder;
    if (c.grade == "default") {
      EXPECT_EQ(testing::RunChild(
                    {testing::ProgramFile(kBin, "krm-station").string(), "init", root.string()})
                    .status,
                0)
          << "krm-station init " << root;
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
#ifndef _WIN32
    for (const auto& path : c.fifo) EXPECT_EQ(::mkfifo((root / path).c_str(), 0644), 0) << path;
#endif
    for (const auto& [path, target] : c.link) fs::create_symlink(target, root / path);
    if (c.followup) {
      std::ofstream(root / "KRM_5.bat", std::ios::binary)
#ifdef _WIN32
          << "echo ran>> data\\krm5_ran.txt\r\n";
#else
          << "echo ran >> data/krm5_ran.txt\n";
#endif
    }
    return !::testing::Test::HasFailure();
  }

  // Starts `program` (with the arguments before the application folder) as the case says on the
  // station folder `at` (the case's own, or a copy of it); gives the exit status of the last
  // start. Standard error goes to `err`, a link to the folder into `scratch`. `absolute` gives a
  // folder's absolute name as the program takes it (for the Windows program on this system: with
  // Wine's drive Z: in front).
  int RunOn(std::vector<std::string> program, const fs::path& at, const fs::path& scratch,
            const fs::path& err,
            const std::function<std::string(const fs::path&)>& absolute) const {
    std::string app_dir = absolute(at);
    if (c.app_dir == "relative") app_dir = at.filename().string();
    if (c.app_dir == "slash") app_dir += static_cast<char>(fs::path::preferred_separator);
    if (c.app_dir == "link") {
      const fs::path link = scratch / "link to station";
      fs::create_directory_symlink(at, link);
      app_dir = absolute(link);
    }
    program.push_back("--app-dir");
    program.push_back(app_dir);
    testing::ChildStart start;
    start.err = err.string();
    start.dir = at.parent_path();
    // A run that hangs is ended after a while (exit status 124) rather than holding the suite.
    start.timeout_s = 120;
    int status = 0;
    for (int i = 0; i < c.runs; ++i) status = testing::RunChild(program, start).status;
    return status;
  }

  // Runs the program of this build as the case says; gives the exit status of the last start.
  int Run() {
    // The program's date and time forms are masked anyway (on Windows they are the user's).
    testing::SetEnvironment("LC_ALL", "C");
    const fs::path err = plain.root() / "stderr.txt";
    const int status = RunOn({testing::ProgramFile(kBin, "DOVEVOVIDIRO").string()}, root,
                             plain.root(), err, [](const fs::path& p) { return p.string(); });
    stderr_lines = testing::Lines(testing::ReadWhole(err));
    return status;
  }

  fs::path dir;
  Case c;
  std::unique_ptr<testing::GradeStation> graded;
  testing::TempStation plain;
  fs::path root;
  std::vector<std::string> stderr_lines;
};

// The last record of the station's archive (the batch's) equals the one before (the station
// run's, when the run has one) but for the run id and the time; the recut verdict only when the
// run got that far.
void ExpectTheRunsRecord(const fs::path& root, bool with_recut) {
  std::unique_ptr<archive::LocalArchive> local;
  std::vector<archive::LocalArchive::Listed> rows;
  ASSERT_TRUE(archive::LocalArchive::Open(root / "data/archive.db",
                                          archive::LocalArchive::OpenMode::kExisting, &local)
                  .ok());
  ASSERT_TRUE(local->Latest(2, &rows).ok());
  ASSERT_EQ(rows.size(), 2u);
  auto batch = archive::DecodeRow(rows[0].row);
  const auto station = archive::DecodeRow(rows[1].row);
  ASSERT_TRUE(batch && station);
  EXPECT_NE(batch->run_id, station->run_id);
  batch->run_id = station->run_id;
  batch->graded_at = station->graded_at;
  if (!with_recut) {
    EXPECT_EQ(station->recut_verdict, std::nullopt);
    batch->recut_verdict = std::nullopt;
    batch->recut_message.clear();
  }
  EXPECT_EQ(archive::EncodeRecord(*batch), archive::EncodeRecord(*station));
}

class StationCases : public ::testing::TestWithParam<std::string> {};

TEST_P(StationCases, RunMatchesTheHandWorkedFiles) {
  CaseRun run(GetParam());
  if (const std::string why = NotOnThisSystem(run.c); !why.empty()) GTEST_SKIP() << why;
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
    if (range != c.lines.end()) got = Lines(got, range->second.first, range->second.second);
    EXPECT_TRUE(want == got) << name << ": " << FirstDifference(want, got);
  }
  for (const auto& path : c.absent) EXPECT_FALSE(fs::exists(root / path)) << path;
  EXPECT_GT(compared + c.absent.size(), 0u) << "the case checks no file";

  // A laid-out station starts its follow-up, which records the run; let it finish first.
  // Up to ten seconds: under Wine on a busy machine cmd can be slow to start.
  if ((c.exit == 0 || c.exit == 5) && fs::exists(root / "KRM_5.bat")) {
    const fs::path ran = root / "data" / "krm5_ran.txt";
    for (int i = 0; i < 500 && !testing::ReadWhole(ran).ends_with('\n'); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(testing::ReadWhole(ran).ends_with('\n')) << "KRM_5.bat did not run";
  }
}

// The batch grading of a case's measurement file, from the station's part files, agrees with the
// station run on every value both give: the summary line's grades, the message lines, the snapped
// crown and pavilion angles and the recut verdict; and the record it keeps in the station's
// archive is the run's record but for its run id and time.
TEST_P(StationCases, BatchAgreesWithTheStationRun) {
  CaseRun run(GetParam());
  if (const std::string why = NotOnThisSystem(run.c); !why.empty()) GTEST_SKIP() << why;
  ASSERT_TRUE(run.LayOut());
  const int status = run.Run();
  if (status == 1 || status == 2) GTEST_SKIP() << "the station run graded nothing";
  for (const std::string& line : run.stderr_lines) {
    if (line.find(": grade table") != std::string::npos) {
      GTEST_SKIP() << "the station graded with grade files other than its parts";
    }
  }
  const fs::path records = run.plain.root() / "records.jsonl";
  ASSERT_EQ(
      testing::RunChild({testing::ProgramFile(kBin, "krm-station").string(), "grade", "--archive",
                         "--station", run.root.string(), (run.root / run.c.measurement).string()},
                        records.string())
          .status,
      0)
      << "krm-station grade";
  // A run that ended before its recut advice gave its verdict keeps its record without one.
  const bool advised = status != 3 && !testing::ReadWhole(run.root / "data/recut.txt").empty();
  ExpectTheRunsRecord(run.root, advised);
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

#ifndef _WIN32
// The Windows program under Wine against this one: KRM_WINDOWS_BUILD names the folder of a
// Windows build (KRM_WINE the Wine program, /usr/bin/wine when not given). Every case's station is
// laid out once, copied, and graded by both programs; every file the two leave must be the same
// bytes, with dates, times and versions masked. Two files are the system's own and are compared
// otherwise: the join memo holds the table's file identities (device, index, times), which no two
// folders share, so it need only be there in both; the archive of graded stones holds a random run
// id, the time and the host's name, so its records are compared without them. Without
// KRM_WINDOWS_BUILD there are no such tests.
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

// The records of a station's archive (data/archive.db), without what differs from run to run.
std::string ArchiveRecords(const fs::path& path) {
  std::unique_ptr<platform::Database> db;
  // Opened as a station opens it: the newest records may still lie in its write-ahead log.
  Status s = platform::Database::Open(path, &db);
  std::vector<platform::Row> rows;
  std::vector<std::string> columns;
  if (s.ok()) s = db->Query("SELECT * FROM stone_grades ORDER BY rowid", {}, &rows, &columns);
  if (!s.ok()) return "not read: " + s.message();
  std::string out;
  for (const platform::Row& row : rows) {
    for (std::size_t i = 0; i < row.size() && i < columns.size(); ++i) {
      const std::string& name = columns[i];
      const bool varies = name == "run_id" || name == "graded_at" || name == "station";
      out += name + "=" + (varies ? "#" : row[i].value_or("NULL")) + "\n";
    }
  }
  return out;
}

class WindowsTwin : public ::testing::TestWithParam<std::string> {};

TEST_P(WindowsTwin, WindowsProgramLeavesTheSameFiles) {
  CaseRun run(GetParam());
  // A FIFO or a device is a file kind of this system: a copy would not hold it, and Windows knows
  // no such file.
  if (!run.c.fifo.empty() || !run.c.link.empty()) {
    GTEST_SKIP() << "the station holds a FIFO or a link to a device, which Windows has not";
  }
  ASSERT_TRUE(run.LayOut());
  // The follow-up is a script of one system or the other; what is compared is the program's own.
  fs::remove(run.root / "KRM_5.bat");
  testing::TempStation twin_folder;
  const fs::path twin = twin_folder.root() / run.c.folder;
  fs::copy(run.root, twin, fs::copy_options::recursive);

  const int status = run.Run();
  const char* wine = std::getenv("KRM_WINE");
  if (!std::getenv("WINEDEBUG")) testing::SetEnvironment("WINEDEBUG", "-all");
  testing::SetEnvironment("KRM_MESSAGE_BOX", "stderr");
  const fs::path twin_err = twin_folder.root() / "stderr.txt";
  // Wine's drive Z: is the root of this system.
  const int twin_status = run.RunOn(
      {wine ? wine : "/usr/bin/wine",
       (fs::path(std::getenv("KRM_WINDOWS_BUILD")) / "DOVEVOVIDIRO.exe").string()},
      twin, twin_folder.root(), twin_err, [](const fs::path& p) { return "Z:" + p.string(); });
  EXPECT_EQ(twin_status, status);
  EXPECT_EQ(testing::Lines(testing::ReadWhole(twin_err)), run.stderr_lines);

  const fs::path& root = run.root;
  const std::vector<fs::path> files = FilesUnder(root);
  EXPECT_EQ(FilesUnder(twin), files);
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    if (name.ends_with(".memo")) continue;
    // The index of a database's write-ahead log is SQLite's shared memory in a file, salted anew.
    if (name.ends_with("-shm")) continue;
    if (name.starts_with("archive.db")) {
      if (name == "archive.db") {
        EXPECT_EQ(ArchiveRecords(twin / file), ArchiveRecords(root / file)) << file;
      }
      continue;
    }
    const std::string want = Mask(name, testing::ReadWhole(root / file));
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
