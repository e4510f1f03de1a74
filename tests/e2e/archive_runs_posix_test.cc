// The archive through the real programs: runs of DOVEVOVIDIRO on laid-out stations keep their
// stones' records in the station's archive and send them to the lab's server (KRM_TEST_PG_URL; see
// archive/archive_testing.h), and `krm-station archive send` takes what waited.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_json.h"
#include "archive/archive_testing.h"
#include "archive/local_archive.h"
#include "gradetables/main_fnc.h"
#include "platform/child_process.h"
#include "platform/sha256.h"

namespace krm {
namespace {

namespace fs = std::filesystem;
using archive::ArchiveRecord;

const fs::path kBin = KRM_BINARY_DIR;
const fs::path kDemoStone = fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt";

using testing::Split;

// How a program ended: its status and its standard error, line by line.
struct Ended {
  int status;
  std::vector<std::string> err;
};

Ended RunProgram(const std::vector<std::string>& argv, const fs::path& err) {
  const int status = testing::RunChild(argv, "", {}, {}, err.string()).status;
  return {status, testing::Lines(testing::ReadWhole(err))};
}

// Stations laid out by `krm-station init` with the demo stone, a Very Good stone whose recut
// advice finds a candidate, and their grade files joined. They share the grade files through hard
// links (a run only reads them while they equal their parts); everything else is their own.
class Stations {
 public:
  Stations() {
    const std::string init =
        (kBin / "krm-station").string() + " init '" + template_.string() + "' > /dev/null";
    EXPECT_EQ(std::system(init.c_str()), 0) << init;
    fs::copy_file(kDemoStone, template_ / "Test.txt");
    fs::create_directories(template_ / "windows");
    std::ofstream(template_ / "windows" / "win_rt1.dll", std::ios::binary)
        << testing::ReadWhole(template_ / "win_sys1.syc")
        << testing::ReadWhole(template_ / "win_sys2.syc");
    std::ofstream(template_ / "windows" / "win_rt2.dll", std::ios::binary)
        << testing::ReadWhole(template_ / "win_sys3.syc")
        << testing::ReadWhole(template_ / "win_sys4.syc");
  }

  fs::path Add() {
    const fs::path root = tmp_.root() / ("station-" + std::to_string(count_++));
    fs::create_directory(root);
    for (const auto& entry : fs::recursive_directory_iterator(template_)) {
      const fs::path to = root / entry.path().lexically_relative(template_);
      const std::string name = entry.path().filename().string();
      if (entry.is_directory()) {
        fs::create_directories(to);
      } else if (name.starts_with("win_sys") || name.starts_with("win_rt")) {
        fs::create_hard_link(entry.path(), to);
      } else {
        fs::copy_file(entry.path(), to);
      }
    }
    return root;
  }
  const fs::path& folder() const { return tmp_.root(); }

 private:
  testing::TempStation tmp_;
  const fs::path template_ = tmp_.root() / "template";
  int count_ = 0;
};

std::vector<std::string> Program(const fs::path& root) {
  return {(kBin / "DOVEVOVIDIRO").string(), "--app-dir", root.string()};
}

std::vector<std::pair<ArchiveRecord, bool>> LocalRecords(const fs::path& root);

// Runs the station program. A station with a server has the run's archive sender send the record
// after the run ended: then waits (up to 30 s) until the sender marked every record sent or said
// on the run's standard error why not.
Ended RunStation(const fs::path& root) {
  const fs::path err = root.parent_path() / (root.filename().string() + ".err");
  Ended ended = RunProgram(Program(root), err);
  if (!fs::exists(root / "station.ini")) return ended;
  for (int i = 0; i < 1500 && ended.err.empty(); ++i) {
    const auto records = LocalRecords(root);
    if (std::all_of(records.begin(), records.end(), [](const auto& r) { return r.second; })) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string said = testing::ReadWhole(err);  // whole lines only
    ended.err = testing::Lines(said.substr(0, said.rfind('\n') + 1));
  }
  return ended;
}

void Configure(const fs::path& root, const std::string& url, const std::string& name) {
  std::ofstream(root / "station.ini")
      << "[Archive]\r\nurl = " << url << "\r\nname = " << name << "\r\n";
}

// The records of a station's archive, oldest first, and whether each was sent.
std::vector<std::pair<ArchiveRecord, bool>> LocalRecords(const fs::path& root) {
  std::vector<std::pair<ArchiveRecord, bool>> records;
  std::unique_ptr<archive::LocalArchive> local;
  const fs::path path = root / "data" / "archive.db";
  if (!fs::exists(path)) return records;
  std::vector<archive::LocalArchive::Listed> rows;
  EXPECT_TRUE(
      archive::LocalArchive::Open(path, archive::LocalArchive::OpenMode::kExisting, &local).ok());
  if (!local || !local->Latest(1000, &rows).ok()) return records;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    auto record = archive::DecodeRow(it->row);
    EXPECT_TRUE(record.has_value());
    if (record) records.emplace_back(std::move(*record), it->sent_at.has_value());
  }
  return records;
}

// A record agrees with what the run left in the station: the report's summary and message lines,
// the recut advice (when `with_recut`; else it has no verdict), the measurement file and the
// joined grade files.
void ExpectRecordOfRun(const ArchiveRecord& r, const fs::path& root, bool with_recut) {
  const auto report = Split(testing::ReadWhole(root / "data" / "out.txt"), "\r\n");
  ASSERT_GE(report.size(), 5u);
  const auto summary = Split(report[0], ",");
  ASSERT_GE(summary.size(), 9u);
  EXPECT_EQ(r.stone_id, summary[0]);
  EXPECT_EQ(r.program_version, summary[1]);
  EXPECT_EQ(r.cut_grade, summary[5]);
  EXPECT_EQ(r.symmetry_grade, summary[6]);
  EXPECT_EQ(r.table_class_name, summary[7]);
  ASSERT_TRUE(r.overall_class && r.table_class);
  EXPECT_EQ(gradetables::MainFNC::eClassName(*r.overall_class), r.cut_grade);
  EXPECT_EQ(gradetables::MainFNC::eClassName(*r.table_class), r.table_class_name);
  std::string messages = "MSG[1],";
  for (const std::string& m : r.messages) messages += m + ",";
  for (std::size_t n = r.messages.size(); n < 8; ++n) messages += ",";
  EXPECT_EQ(messages, report[1]);
  EXPECT_EQ("MSG[2]," + r.girdle_limit_text, report[2]);
  EXPECT_EQ("MSG[3]," + r.degrade_text, report[3]);
  EXPECT_EQ("MSG[4]," + r.symmetry_text, report[4]);
  if (with_recut) {
    const auto advice = Split(testing::ReadWhole(root / "data" / "recut.txt"), "\r\n");
    ASSERT_GE(advice.size(), 2u);
    EXPECT_EQ(r.recut_verdict, advice[0] == "Recut = 1" ? 1 : 0);
    EXPECT_EQ(r.recut_message, advice[1]);
  } else {
    EXPECT_EQ(r.recut_verdict, std::nullopt);
    EXPECT_EQ(r.recut_message, "");
  }
  const std::string measurement = testing::ReadWhole(root / "Test.txt");
  EXPECT_EQ(r.measurement_sha256, platform::Sha256Hex(measurement));
  EXPECT_EQ(r.measurement, archive::MeasurementJson(measurement));
  EXPECT_EQ(archive::ParseJsonObject(r.measurement), archive::MeasurementItems(measurement));
  EXPECT_EQ(r.grade_data_sha256,
            archive::GradeDataDigest(
                platform::Sha256Hex(testing::ReadWhole(root / "windows" / "win_rt1.dll")),
                platform::Sha256Hex(testing::ReadWhole(root / "windows" / "win_rt2.dll"))));
  EXPECT_EQ(r.run_id.size(), 32u);
}

class ArchiveRuns : public ::testing::Test {
 protected:
  void SetUp() override { ::unsetenv(archive::kUrlVariable); }
};

TEST_F(ArchiveRuns, AnArchiveThatCannotBeWrittenIsAFaultOfTheRun) {
  Stations stations;
  const fs::path clean = stations.Add();
  ASSERT_EQ(RunStation(clean).status, 0);
  const fs::path root = stations.Add();
  fs::create_directories(root / "data" / "archive.db");
  const Ended ended = RunStation(root);
  EXPECT_EQ(ended.status, 5);
  ASSERT_EQ(ended.err.size(), 1u);
  EXPECT_TRUE(ended.err[0].starts_with("DOVEVOVIDIRO: archive not opened: data/archive.db: "))
      << ended.err[0];
  // Everything else of the run is as in a clean run (the reports but for their first line, which
  // holds the time).
  EXPECT_EQ(testing::ReadWhole(root / "data/recut.txt"),
            testing::ReadWhole(clean / "data/recut.txt"));
  for (const char* file : {"data/out.txt", "data/out_1.txt"}) {
    const std::string got = testing::ReadWhole(root / file);
    const std::string want = testing::ReadWhole(clean / file);
    EXPECT_EQ(got.substr(std::min(got.find('\n'), got.size())),
              want.substr(std::min(want.find('\n'), want.size())))
        << file;
  }
}

TEST_F(ArchiveRuns, ARunLandsItsRecordOnTheServerWithEveryField) {
  KRM_REQUIRE_SERVER();
  testing::ServerSchema schema;
  Stations stations;
  const fs::path root = stations.Add();
  Configure(root, schema.url(), "scanner 2");
  const Ended ended = RunStation(root);
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.err, std::vector<std::string>{});
  const auto local = LocalRecords(root);
  ASSERT_EQ(local.size(), 1u);
  EXPECT_TRUE(local[0].second);  // marked sent
  const ArchiveRecord& record = local[0].first;
  EXPECT_EQ(record.station, "scanner 2");
  ExpectRecordOfRun(record, root, /*with_recut=*/true);
  EXPECT_EQ(schema.Records(), std::vector<ArchiveRecord>{record});
  // The server's typed columns.
  const auto typed = schema.Rows(
      "SELECT graded_at = $1::timestamptz, overall_class + 0, recut_verdict + 0, "
      "measurement->>'STONE_ID', json_array_length(messages) FROM stone_grades",
      {record.graded_at});
  EXPECT_EQ(typed, (std::vector<archive::ServerRow>{{"t", "2", "1", "DEMO-VG-0042", "0"}}));
}

TEST_F(ArchiveRuns, ServerDownForThreeRunsThenUpEveryRecordArrivesOnce) {
  KRM_REQUIRE_SERVER();
  testing::PrivateServer server;
  Stations stations;
  const fs::path root = stations.Add();
  Configure(root, server.url(), "lab/down");
  ASSERT_TRUE(server.Stop());
  for (int n = 1; n <= 3; ++n) {
    const Ended ended = RunStation(root);
    EXPECT_EQ(ended.status, 0);  // no fault: the record waits in the station
    ASSERT_EQ(ended.err.size(), 1u);
    EXPECT_TRUE(ended.err[0].starts_with("DOVEVOVIDIRO: archive server not reached, " +
                                         std::to_string(n) +
                                         (n == 1 ? " record waits: " : " records wait: ")))
        << ended.err[0];
  }
  ASSERT_TRUE(server.Start());
  // The next run sends the three that wait along with its own.
  Ended ended = RunStation(root);
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.err, std::vector<std::string>{});
  // Down again for a fifth run, whose record `krm-station archive send` takes once it is up.
  ASSERT_TRUE(server.Stop());
  EXPECT_EQ(RunStation(root).status, 0);
  ASSERT_TRUE(server.Start());
  const std::vector<std::string> send = {(kBin / "krm-station").string(), "archive", "send",
                                         "--station", root.string()};
  ended = RunProgram(send, stations.folder() / "send.err");
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.err, std::vector<std::string>{});

  const auto local = LocalRecords(root);
  ASSERT_EQ(local.size(), 5u);
  std::vector<archive::ServerRow> expected;
  for (const auto& [record, sent] : local) {
    EXPECT_TRUE(sent);
    expected.push_back({record.run_id, "1"});
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(server.Rows("SELECT run_id, count(*) FROM stone_grades GROUP BY run_id ORDER BY 1"),
            expected);
}

TEST_F(ArchiveRuns, TwentyStationsAtOnceOnOneServer) {
  KRM_REQUIRE_SERVER();
  testing::ServerSchema schema;  // empty: the twenty meet the creation of its table as well
  constexpr int kStations = 20;
  Stations stations;
  std::vector<fs::path> roots;
  for (int i = 0; i < kStations; ++i) {
    roots.push_back(stations.Add());
    Configure(roots.back(), schema.url(), "lab/" + std::to_string(i));
  }
  std::vector<std::future<Ended>> started;  // all at once, each waited for on a thread of its own
  for (const fs::path& root : roots)
    started.push_back(std::async(std::launch::async, RunStation, root));
  std::set<std::string> run_ids;
  for (int i = 0; i < kStations; ++i) {
    const Ended ended = started[i].get();
    EXPECT_EQ(ended.status, 0) << i;
    EXPECT_EQ(ended.err, std::vector<std::string>{}) << i;
    const auto local = LocalRecords(roots[i]);
    ASSERT_EQ(local.size(), 1u) << i;
    EXPECT_TRUE(local[0].second) << i;
    EXPECT_EQ(local[0].first.station, "lab/" + std::to_string(i));
    run_ids.insert(local[0].first.run_id);
  }
  EXPECT_EQ(run_ids.size(), static_cast<std::size_t>(kStations));
  const auto rows = schema.Rows("SELECT run_id, count(*) FROM stone_grades GROUP BY run_id");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kStations));
  for (const auto& row : rows) {
    EXPECT_TRUE(run_ids.count(*row[0])) << *row[0];
    EXPECT_EQ(row[1], "1");
  }
  EXPECT_EQ(schema.Rows("SELECT count(DISTINCT station) FROM stone_grades"),
            std::vector<archive::ServerRow>{{"20"}});
}

}  // namespace
}  // namespace krm
