// Shared pieces of the archive's tests: a station folder with a measurement file and joined grade
// files, a graded stone's results, the Archiver's part of a station run, and PostgreSQL servers.
//
// Server tests run against the server named by KRM_TEST_PG_URL (tools/run-tests starts one with
// tools/pg-test-cluster); each test works in a schema of its own there. Tests that stop and start
// a server make a private one with the same script. Without KRM_TEST_PG_URL the server tests are
// skipped, except under CI, where a missing server is a failure.
#ifndef KRM_TESTS_ARCHIVE_ARCHIVE_TESTING_H_
#define KRM_TESTS_ARCHIVE_ARCHIVE_TESTING_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_config.h"
#include "archive/archive_server.h"
#include "archive/archiver.h"
#include "platform/fault_log.h"
#include "platform/recording_env.h"

namespace krm::testing {

// A measurement file of a Very Good stone, with a value in the station's code page.
inline std::string SampleMeasurement(const std::string& stone_id = "KRM-0001") {
  return "[NumericalParameters]\r\n"
         "STONE_ID=" +
         stone_id +
         "\r\n"
         "CUTTING_TYPE=Brilliant\r\n"
         "TABLE_PC=57\r\n"
         "CROWN_ANGLE_DEG=34.5\r\n"
         "PAVILION_ANGLE_DEG=42\r\n"
         "OPERATOR=Ren\xE9\r\n"
         "CULET_MM=\r\n";
}

// The grading's part of a record, as a station run would fill it for a Very Good stone.
inline void FillGrading(archive::ArchiveRecord* r, const std::string& stone_id = "KRM-0001") {
  r->stone_id = stone_id;
  r->cut_grade = "Very Good";
  r->overall_class = 2;
  r->symmetry_grade = "Excellent";
  r->table_class = 2;
  r->table_class_name = "Very Good";
  r->messages = {"Pavilion angle limits the grade", "Girdle, thin"};
  r->girdle_limit_text = "";
  r->degrade_text = "Would be Excellent";
  r->symmetry_text = "";
  r->recut_verdict = 0;
  r->recut_message = "MSG = Please Use Vestra-Recut or Lapidora Virtual Recut ";
}

// A station folder with data/, a measurement file and two small joined grade files.
class ArchiveStation : public TempStation {
 public:
  explicit ArchiveStation(const std::string& stone_id = "KRM-0001") {
    Write("Test.txt", SampleMeasurement(stone_id));
    Write("windows/win_rt1.dll", std::string(4096, '\x02'));
    Write("windows/win_rt2.dll", "grade tables database");
    fs::create_directories(root() / "data");
  }
  archive::ArchiveConfig Config(const std::string& url = "",
                                const std::string& name = "lab/station-1") const {
    archive::ArchiveConfig config;
    config.local_path = root() / "data" / "archive.db";
    config.station_name = name;
    config.server_url = url;
    if (!url.empty()) config.url_source = "test";
    return config;
  }
};

// What a station run leaves of its archive step.
struct ArchiveRun {
  archive::ArchiveRecord record;
  std::vector<std::string> faults;   // "WHAT: PATH: REASON"
  std::vector<std::string> notices;  // without the program's name
};

// The Archiver's part of a station run (app/stone_archive.h): one record made from the station's
// measurement file and grade files, stored and forwarded, with a stand-in grading. For tests that
// step into a send (a server stopped before the commit, a process killed after it) or need
// records quickly; whole runs of the program are in e2e/archive_runs_posix_test.cc.
inline ArchiveRun RunStationArchive(const ArchiveStation& station, archive::ArchiveConfig config,
                                    archive::ArchiverOptions options = {},
                                    const std::string& stone_id = "KRM-0001") {
  RecordingEnv env;
  FaultLog faults(station.root());
  ArchiveRun run;
  {
    archive::Archiver archiver(env, std::move(config), &faults, std::move(options));
    const std::string digest = archiver.GradeDataDigest(station.root() / "windows/win_rt1.dll",
                                                        station.root() / "windows/win_rt2.dll");
    run.record = archiver.NewRecord(station.Read("Test.txt"), digest);
    FillGrading(&run.record, stone_id);
    archiver.Keep(run.record);
    run.notices = archiver.Notices();
  }
  for (const std::string& line : faults.Lines("")) run.faults.push_back(line.substr(2));
  return run;
}

// Why the server tests cannot run here, or no value when they can.
inline std::optional<std::string> ServerSkipReason() {
  if (!archive::ServerSupported()) return "this build has no PostgreSQL client library";
  const char* url = std::getenv("KRM_TEST_PG_URL");
  if (url == nullptr || *url == '\0') {
    if (std::getenv("CI") != nullptr) {
      ADD_FAILURE() << "CI must run the archive server tests: KRM_TEST_PG_URL is not set";
    }
    return "KRM_TEST_PG_URL is not set (tools/run-tests starts a test server)";
  }
  return std::nullopt;
}

#define KRM_REQUIRE_SERVER()                                                       \
  do {                                                                             \
    if (auto reason = ::krm::testing::ServerSkipReason()) GTEST_SKIP() << *reason; \
  } while (0)

// A connection string with one more keyword/value or URI parameter.
inline std::string WithOption(const std::string& url, const std::string& key,
                              const std::string& value) {
  if (url.rfind("postgres", 0) == 0) {
    std::string encoded;
    for (char c : value) {
      if (c == ' ' || c == '=' || c == '&' || c == '%') {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        encoded += hex;
      } else {
        encoded.push_back(c);
      }
    }
    return url + (url.find('?') == std::string::npos ? "?" : "&") + key + "=" + encoded;
  }
  return url + " " + key + "='" + value + "'";
}

// A schema of its own on the shared test server, dropped at the end; its URL makes the archive's
// tables land there.
class ServerSchema {
 public:
  ServerSchema() {
    base_url_ = std::getenv("KRM_TEST_PG_URL");
    name_ = "krm_test_" + archive::NewRunId().substr(0, 12);
    url_ = WithOption(base_url_, "options", "-c search_path=" + name_);
    EXPECT_TRUE(Admin("CREATE SCHEMA " + name_));
  }
  ~ServerSchema() { (void)Admin("DROP SCHEMA " + name_ + " CASCADE"); }

  const std::string& url() const { return url_; }
  const std::string& name() const { return name_; }

  // A connection to the schema, for looking at what landed.
  std::unique_ptr<archive::ArchiveServer> Connect() const {
    std::unique_ptr<archive::ArchiveServer> server;
    const Status s = archive::ConnectServer(url_, {}, &server);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return server;
  }
  // Rows of one query, as text; a failed query fails the test.
  std::vector<archive::ServerRow> Rows(const std::string& sql,
                                       const std::vector<archive::ServerValue>& params = {}) const {
    std::vector<archive::ServerRow> rows;
    auto server = Connect();
    if (!server) return rows;
    const Status s = server->Query(sql, params, &rows);
    EXPECT_TRUE(s.ok()) << sql << ": " << s.ToString();
    return rows;
  }
  // The records on the server, decoded, ordered by graded_at and run id.
  std::vector<archive::ArchiveRecord> Records() const {
    std::vector<archive::ArchiveRecord> records;
    for (const auto& row : Rows("SELECT " + archive::ServerSelectList() +
                                " FROM stone_grades ORDER BY graded_at, run_id")) {
      archive::StoredRow stored;
      for (std::size_t c = 0; c < archive::kColumnCount; ++c) stored[c] = row[c];
      auto record = archive::DecodeRow(stored);
      EXPECT_TRUE(record.has_value());
      if (record) records.push_back(std::move(*record));
    }
    return records;
  }

 private:
  bool Admin(const std::string& sql) const {
    std::unique_ptr<archive::ArchiveServer> server;
    if (!archive::ConnectServer(base_url_, {}, &server).ok()) return false;
    std::vector<archive::ServerRow> rows;
    return server->Query(sql, {}, &rows).ok();
  }
  std::string base_url_;
  std::string name_;
  std::string url_;
};

#ifndef _WIN32
// A private server for tests that stop and start it (tools/pg-test-cluster; POSIX only, as is the
// server part of the archive).
class PrivateServer {
 public:
  PrivateServer() {
    char pattern[] = "/tmp/krm-pg.XXXXXX";
    dir_ = ::mkdtemp(pattern) ? pattern : "";
    Start();
  }
  ~PrivateServer() { (void)Script("destroy"); }

  bool Start() { return Script("start"); }
  bool Stop() { return Script("stop"); }
  std::string url() const { return "host=" + dir_ + " user=krm dbname=krm_archive"; }

  // Rows of one query on the running server.
  std::vector<archive::ServerRow> Rows(const std::string& sql) const {
    std::unique_ptr<archive::ArchiveServer> server;
    std::vector<archive::ServerRow> rows;
    const Status c = archive::ConnectServer(url(), {}, &server);
    EXPECT_TRUE(c.ok()) << c.ToString();
    if (server) {
      const Status s = server->Query(sql, {}, &rows);
      EXPECT_TRUE(s.ok()) << s.ToString();
    }
    return rows;
  }

 private:
  bool Script(const char* command) {
    const std::string line =
        std::string("KRM_PG_FSYNC=off " KRM_SOURCE_DIR "/tools/pg-test-cluster ") + command + " " +
        dir_ + " >/dev/null";
    const bool ok = !dir_.empty() && std::system(line.c_str()) == 0;
    EXPECT_TRUE(ok) << line;
    return ok;
  }
  std::string dir_;
};
#endif

}  // namespace krm::testing

#endif  // KRM_TESTS_ARCHIVE_ARCHIVE_TESTING_H_
