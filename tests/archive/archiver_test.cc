// The archive of a station run without a reachable server: the configuration, the local archive
// as the one place of the records, and what a run says when the server cannot be had.
#include "archive/archiver.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <chrono>
#include <string>

#include "archive/archive_testing.h"
#include "platform/database.h"
#include "platform/system.h"

namespace krm::archive {
namespace {

namespace fs = std::filesystem;

using testing::ArchiveStation;
using testing::RunStationArchive;

TEST(ArchiveConfigTest, StationFileAndEnvironment) {
  ArchiveStation station;
  testing::RecordingEnv env;
  // Nothing configured: no server, the name from host and folder.
  ArchiveConfig config = LoadArchiveConfig(env, station.root(), nullptr);
  EXPECT_EQ(config.server_url, "");
  EXPECT_EQ(config.local_path, station.root() / "data" / "archive.db");
  const std::string host = platform::HostName();
  ASSERT_NE(host, "");
  EXPECT_EQ(config.station_name, host + "/" + station.root().filename().string());
  EXPECT_EQ(DefaultStationName(station.root() / ""), config.station_name);

  // The station file, found under any letter case.
  station.Write("Station.INI",
                "; the lab's archive\r\n[Other]\r\nurl=wrong\r\n[archive]\r\n"
                "URL = host=lab-server dbname=krm\r\nname = \"scanner 2\"\r\n");
  config = LoadArchiveConfig(env, station.root(), nullptr);
  EXPECT_EQ(config.server_url, "host=lab-server dbname=krm");
  EXPECT_EQ(config.url_source, "station.ini");
  EXPECT_EQ(config.station_name, "scanner 2");
  // KRM_ARCHIVE_URL wins over the file when set and not empty.
  config = LoadArchiveConfig(env, station.root(), "host=elsewhere");
  EXPECT_EQ(config.server_url, "host=elsewhere");
  EXPECT_EQ(config.url_source, "KRM_ARCHIVE_URL");
  EXPECT_EQ(config.station_name, "scanner 2");
  config = LoadArchiveConfig(env, station.root(), "");
  EXPECT_EQ(config.server_url, "host=lab-server dbname=krm");
}

TEST(ArchiverTest, WithoutServerTheRecordStaysLocalAndNothingIsSaid) {
  ArchiveStation station;
  const testing::ArchiveRun run = RunStationArchive(station, station.Config());
  EXPECT_TRUE(run.faults.empty());
  EXPECT_TRUE(run.notices.empty());
  EXPECT_EQ(run.record.grade_data_sha256.size(), 64u);
  EXPECT_EQ(run.record.station, "lab/station-1");

  testing::RecordingEnv env;
  FaultLog faults;
  Archiver archiver(env, station.Config(), &faults);
  std::vector<LocalArchive::Listed> found;
  ASSERT_TRUE(archiver.local()->Find(std::vector<std::string>{run.record.run_id}, &found).ok());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(DecodeRow(found[0].row), run.record);
  EXPECT_EQ(archiver.Waiting(), 1);
}

TEST(ArchiverTest, ALocalArchiveThatCannotBeWrittenIsAFault) {
  ArchiveStation station;
  fs::remove_all(station.root() / "data");  // the grading step never creates data/
  const testing::ArchiveRun run = RunStationArchive(station, station.Config());
  ASSERT_EQ(run.faults.size(), 1u);
  EXPECT_EQ(run.faults[0].rfind("archive not opened: data/archive.db: ", 0), 0u) << run.faults[0];
  EXPECT_TRUE(run.notices.empty());
  // The grade data's digest is still made, without the archive to remember it.
  EXPECT_EQ(run.record.grade_data_sha256.size(), 64u);

  // An archive that opens but cannot take the record (damaged behind its back).
  fs::create_directories(station.root() / "data");
  testing::RecordingEnv env;
  FaultLog faults(station.root());
  Archiver archiver(env, station.Config(), &faults);
  ASSERT_TRUE(archiver.has_local());
  std::unique_ptr<platform::Database> db;
  ASSERT_TRUE(platform::Database::Open(station.root() / "data/archive.db", &db).ok());
  ASSERT_TRUE(db->Execute("DROP TABLE stone_grades").ok());
  archiver.Keep(archiver.NewRecord(testing::SampleMeasurement(), ""));
  ASSERT_EQ(faults.faults().size(), 1u);
  EXPECT_EQ(faults.faults()[0].what, "archive record not stored");
  EXPECT_EQ(faults.faults()[0].path, "data/archive.db");
  EXPECT_EQ(faults.faults()[0].reason, "no such table: stone_grades");
}

TEST(ArchiverTest, AnUnreachableServerIsNoFaultButIsSaid) {
  if (!ServerSupported()) GTEST_SKIP() << "this build has no PostgreSQL client library";
  ArchiveStation station;
  // A socket folder where no server listens.
  const std::string url = "host=" + (station.root() / "data").string() + " dbname=krm";
  testing::ArchiveRun first = RunStationArchive(station, station.Config(url));
  EXPECT_TRUE(first.faults.empty());
  ASSERT_EQ(first.notices.size(), 1u);
  EXPECT_EQ(first.notices[0].rfind("archive server not reached, 1 record waits: ", 0), 0u)
      << first.notices[0];
  testing::ArchiveRun second = RunStationArchive(station, station.Config(url));
  ASSERT_EQ(second.notices.size(), 1u);
  EXPECT_EQ(second.notices[0].rfind("archive server not reached, 2 records wait: ", 0), 0u);

  // A batch tries the server once, not once per chunk.
  testing::RecordingEnv env;
  FaultLog faults;
  Archiver archiver(env, station.Config(url), &faults);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) {
    ArchiveRecord r = archiver.NewRecord(testing::SampleMeasurement(), "");
    archiver.Keep(r);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(archiver.Notices().size(), 1u);
  EXPECT_EQ(archiver.Waiting(), 52);
}

TEST(ArchiverTest, AServerThatDoesNotAnswerIsGivenUpInTime) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows build has no PostgreSQL client library, and this test listens on "
                  "a Unix socket";
#else
  if (!ServerSupported()) GTEST_SKIP() << "this build has no PostgreSQL client library";
  // A listening socket that never answers: the connection waits for the server's greeting.
  ArchiveStation station;
  const fs::path socket_dir = station.root() / "sock";
  fs::create_directories(socket_dir);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = (socket_dir / ".s.PGSQL.5432").string();
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ArchiverOptions options;
  options.server.connect_timeout = std::chrono::milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  const testing::ArchiveRun run =
      RunStationArchive(station, station.Config("host=" + socket_dir.string()), options);
  const auto took = std::chrono::steady_clock::now() - start;
  ::close(fd);
  EXPECT_LT(took, std::chrono::seconds(2));
  ASSERT_EQ(run.notices.size(), 1u);
  EXPECT_NE(run.notices[0].find("no answer within 300 ms"), std::string::npos) << run.notices[0];
#endif
}

TEST(ArchiverTest, WithoutServerSupportAConfiguredServerIsSaidToBeUnsupported) {
  if (ServerSupported()) GTEST_SKIP() << "this build has the PostgreSQL client library";
  ArchiveStation station;
  const testing::ArchiveRun run = RunStationArchive(station, station.Config("host=lab"));
  EXPECT_TRUE(run.faults.empty());
  ASSERT_EQ(run.notices.size(), 1u);
  EXPECT_NE(run.notices[0].find("no archive server support"), std::string::npos);
}

}  // namespace
}  // namespace krm::archive
