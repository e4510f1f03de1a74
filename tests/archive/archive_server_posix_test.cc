// Store and forward against a real PostgreSQL server (KRM_TEST_PG_URL; see archive_testing.h), at
// the points a whole run cannot be stopped at. Whole runs of the program against a server (every
// field lands, the server down for three runs, twenty stations at once) are in
// e2e/archive_runs_posix_test.cc. POSIX only, as the server part of the archive is: the Windows
// build has no PostgreSQL client library, and ArchiverTest says what it does with a configured
// server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_json.h"
#include "archive/archive_testing.h"

namespace krm::archive {
namespace {

using testing::ArchiveRun;
using testing::ArchiveStation;
using testing::RunStationArchive;
using testing::ServerSchema;

std::vector<LocalArchive::Listed> LocalRows(const ArchiveStation& station) {
  std::unique_ptr<LocalArchive> local;
  std::vector<LocalArchive::Listed> rows;
  EXPECT_TRUE(LocalArchive::Open(station.root() / "data/archive.db",
                                 LocalArchive::OpenMode::kExisting, &local)
                  .ok());
  if (local) {
    EXPECT_TRUE(local->Latest(1000000, &rows).ok());
  }
  return rows;
}

std::int64_t LocalWaiting(const ArchiveStation& station) {
  std::int64_t waiting = 0;
  for (const auto& row : LocalRows(station)) waiting += row.sent_at ? 0 : 1;
  return waiting;
}

// How often each run id is on the server.
std::vector<std::pair<std::string, int>> RunIdCounts(const std::vector<archive::ServerRow>& rows) {
  std::vector<std::pair<std::string, int>> counts;
  for (const auto& row : rows) counts.emplace_back(*row[0], std::stoi(*row[1]));
  return counts;
}

constexpr char kCounts[] = "SELECT run_id, count(*) FROM stone_grades GROUP BY run_id ORDER BY 1";

TEST(ArchiveServerTest, ServerStoppedInTheMiddleOfASend) {
  KRM_REQUIRE_SERVER();
  testing::PrivateServer server;
  ArchiveStation station;
  // Three records wait (no server configured while they were graded).
  for (int n = 0; n < 3; ++n) RunStationArchive(station, station.Config());
  testing::RecordingEnv env;
  {
    FaultLog faults;
    ArchiverOptions options;
    options.server.on_stage = [&](SendStage stage) {
      if (stage == SendStage::kBeforeCommit) {
        EXPECT_TRUE(server.Stop());
      }
    };
    Archiver archiver(env, station.Config(server.url()), &faults, options);
    archiver.SendWaiting();
    EXPECT_TRUE(faults.empty());
    const auto notices = archiver.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("archive server connection lost, 3 records wait: ", 0), 0u)
        << notices[0];
  }
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Rows("SELECT count(*) FROM stone_grades"),
            std::vector<archive::ServerRow>{{"0"}});
  FaultLog faults;
  Archiver archiver(env, station.Config(server.url()), &faults);
  archiver.SendWaiting();
  EXPECT_TRUE(archiver.Notices().empty());
  EXPECT_EQ(archiver.sent(), 3);
  EXPECT_EQ(server.Rows("SELECT count(*), count(DISTINCT run_id) FROM stone_grades"),
            (std::vector<archive::ServerRow>{{"3", "3"}}));
  EXPECT_EQ(LocalWaiting(station), 0);
}

TEST(ArchiveServerTest, ARunKilledAfterTheServerCommittedSendsNoDuplicate) {
  KRM_REQUIRE_SERVER();
  ServerSchema schema;
  for (const bool many : {false, true}) {
    ArchiveStation station;
    if (many) RunStationArchive(station, station.Config());  // one waits: the run sends two
    const pid_t pid = ::fork();
    if (pid == 0) {
      ArchiverOptions options;
      options.server.on_stage = [](SendStage stage) {
        if (stage == SendStage::kCommitted) ::_exit(9);
      };
      RunStationArchive(station, station.Config(schema.url()), options);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << status;
    const std::int64_t sent_unmarked = many ? 2 : 1;
    EXPECT_EQ(LocalWaiting(station), sent_unmarked);
    // The next run sends them again; the server keeps each once.
    const ArchiveRun next = RunStationArchive(station, station.Config(schema.url()));
    EXPECT_TRUE(next.notices.empty());
    EXPECT_EQ(LocalWaiting(station), 0);
  }
  const auto counts = RunIdCounts(schema.Rows(kCounts));
  EXPECT_EQ(counts.size(), 5u);  // 1 + 1, then 2 + 1
  for (const auto& [id, count] : counts) EXPECT_EQ(count, 1) << id;
}

TEST(ArchiveServerTest, HostileValuesArriveVerbatimAndAreNeverExecuted) {
  KRM_REQUIRE_SERVER();
  ServerSchema schema;
  ArchiveStation station;
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
  std::vector<ArchiveRecord> records;
  testing::RecordingEnv env;
  FaultLog faults;
  Archiver archiver(env, station.Config(schema.url()), &faults);
  for (int n = 0; n < 2; ++n) {  // the one-record path and the COPY path
    ArchiveRecord r = archiver.NewRecord(testing::SampleMeasurement(), "");
    testing::FillGrading(&r, "'); DROP TABLE stone_grades; --");
    KeyValueList keys;
    for (int i = 0; i < 10000; ++i) {
      keys.emplace_back("K" + std::to_string(i) + "', '') --\\\t\n", all_bytes);
    }
    keys.emplace_back("\\.", "\\.\n\\N");  // the COPY stream's own marks
    r.measurement = JsonObject(keys);
    r.messages = {all_bytes, "$1", "\\N"};
    r.recut_message = all_bytes;
    r.cut_grade = "\"Very Good\"; SELECT pg_sleep(10)";
    records.push_back(r);
  }
  archiver.Keep(records[0]);
  archiver.Keep(std::span<const ArchiveRecord>(records).subspan(1));
  EXPECT_TRUE(faults.empty());
  EXPECT_TRUE(archiver.Notices().empty());
  std::vector<ArchiveRecord> landed = schema.Records();
  std::sort(landed.begin(), landed.end(),
            [](const auto& a, const auto& b) { return a.run_id < b.run_id; });
  std::sort(records.begin(), records.end(),
            [](const auto& a, const auto& b) { return a.run_id < b.run_id; });
  EXPECT_TRUE(landed == records);
  // Valid for jsonb as well (no \u0000), so that a lab may query it that way.
  EXPECT_EQ(schema.Rows("SELECT count(*) FROM stone_grades WHERE measurement::jsonb ? 'K9999'"),
            std::vector<archive::ServerRow>{{"0"}});
  EXPECT_EQ(schema.Rows("SELECT count(*) FROM stone_grades WHERE "
                        "jsonb_typeof(measurement::jsonb) = 'object'"),
            std::vector<archive::ServerRow>{{"2"}});
}

TEST(ArchiveServerTest, VersionOneIsMigratedOnTheServer) {
  KRM_REQUIRE_SERVER();
  ServerSchema schema;
  {
    auto server = schema.Connect();
    ASSERT_TRUE(server);
    std::vector<archive::ServerRow> rows;
    ASSERT_TRUE(server->Query("BEGIN", {}, &rows).ok());
    ASSERT_TRUE(server->Query(ServerSchemaVersion1(), {}, &rows).ok());
    ASSERT_TRUE(server
                    ->Query("INSERT INTO stone_grades VALUES ('old', 'lab/0', "
                            "'2025-01-02T03:04:05.678Z', 'OLD-1', 'm', 'g', '0.9.0', 'Good', 3, "
                            "'Good', 3, '[]', '', '', '', NULL, '', '{\"K\":\"V\"}')",
                            {}, &rows)
                    .ok());
    ASSERT_TRUE(server->Query("COMMIT", {}, &rows).ok());
  }
  ArchiveStation station;
  const ArchiveRun run = RunStationArchive(station, station.Config(schema.url()));
  EXPECT_TRUE(run.notices.empty()) << run.notices[0];
  EXPECT_EQ(schema.Rows("SELECT version FROM krm_archive_schema"),
            std::vector<archive::ServerRow>{{"2"}});
  EXPECT_EQ(schema.Rows("SELECT run_id, stone_id, table_class_name FROM stone_grades ORDER BY "
                        "graded_at"),
            (std::vector<archive::ServerRow>{{"old", "OLD-1", std::nullopt},
                                             {run.record.run_id, "KRM-0001", "Very Good"}}));
  // A schema newer than this program's is left alone: the records wait.
  ASSERT_EQ(schema.Rows("UPDATE krm_archive_schema SET version = 3 RETURNING version").size(), 1u);
  const ArchiveRun refused = RunStationArchive(station, station.Config(schema.url()));
  ASSERT_EQ(refused.notices.size(), 1u);
  EXPECT_EQ(refused.notices[0],
            "archive server refused the records, 1 record waits: archive server schema version 3 "
            "is newer than this program's 2");
}

}  // namespace
}  // namespace krm::archive
