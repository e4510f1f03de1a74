#include "tools/archive_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_testing.h"
#include "platform/environment.h"

namespace krm::tools {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

Outcome RunCommand(std::vector<std::string_view> args) {
  // The station file is what these tests configure.
  testing::UnsetEnvironment(archive::kUrlVariable);
  testing::RecordingEnv env;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = ArchiveCommand(env, args, out, err);
  return {status, Contents(out), Contents(err)};
}

TEST(ArchiveCommandTest, UsageErrors) {
  for (const std::vector<std::string_view>& args :
       std::vector<std::vector<std::string_view>>{{},
                                                  {"sned"},
                                                  {"send", "--station"},
                                                  {"send", "--limit", "3"},
                                                  {"list", "--limit", "x"},
                                                  {"list", "--station", ""},
                                                  {"list", "extra"}}) {
    EXPECT_EQ(RunCommand(args).status, 64) << (args.empty() ? "" : args[0]);
  }
}

TEST(ArchiveCommandTest, ListShowsTheNewestRecordsAndWhetherTheyWereSent) {
  testing::ArchiveStation station;
  const std::string dir = station.root().string();
  Outcome none = RunCommand({"list", "--station", dir});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no archive in"), std::string::npos);

  std::vector<testing::ArchiveRun> runs;
  for (const char* stone : {"FIRST", "SECOND\tTAB", "THIRD"}) {
    runs.push_back(testing::RunStationArchive(station, station.Config(), {}, stone));
  }
  const Outcome list = RunCommand({"list", "--station", dir, "--limit", "2"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.err, "");
  const std::string expected =
      "graded_at\trun_id\tstation\tstone_id\tcut_grade\toverall_class\tsent_at\n" +
      runs[2].record.graded_at + "\t" + runs[2].record.run_id +
      "\tlab/station-1\tTHIRD\tVery Good\t2\twaits\n" + runs[1].record.graded_at + "\t" +
      runs[1].record.run_id + "\tlab/station-1\tSECOND\\tTAB\tVery Good\t2\twaits\n";
  EXPECT_EQ(list.out, expected);
}

TEST(ArchiveCommandTest, SendSaysWhatItCouldNotDo) {
  testing::ArchiveStation station;
  const std::string dir = station.root().string();
  // No server configured.
  Outcome send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.status, 1);
  EXPECT_NE(send.err.find("has no archive server"), std::string::npos);
  // A server where none listens: the records wait, and the command says so.
  station.Write("station.ini", "[Archive]\nurl=host=" + dir + "/data dbname=krm\n");
  send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.status, 0);
  EXPECT_EQ(send.out, "krm-station: no archive in " + dir + ", nothing to send\n");
  testing::RunStationArchive(station, station.Config());
  send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.status, 3);
  EXPECT_EQ(send.out, "");
  EXPECT_EQ(send.err.rfind("krm-station: archive server not reached, 1 record waits: ", 0), 0u)
      << send.err;
  // An archive that cannot be read is a fault of the command.
  for (const char* log : {"data/archive.db-wal", "data/archive.db-shm"}) {
    std::filesystem::remove(station.root() / log);
  }
  station.Write("data/archive.db", std::string(8192, 'x'));
  send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.status, 2);
  EXPECT_EQ(send.err.rfind("krm-station: archive not opened: data/archive.db: ", 0), 0u)
      << send.err;
}

TEST(ArchiveCommandTest, SendTakesWhatWaitsToTheServer) {
  KRM_REQUIRE_SERVER();
  testing::ServerSchema schema;
  testing::ArchiveStation station;
  for (int n = 0; n < 3; ++n) testing::RunStationArchive(station, station.Config());
  station.Write("station.ini", "[Archive]\nurl=" + schema.url() + "\n");
  const std::string dir = station.root().string();
  Outcome send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.status, 0) << send.err;
  EXPECT_EQ(send.out, "krm-station: 3 sent to the archive server, 0 wait\n");
  send = RunCommand({"send", "--station", dir});
  EXPECT_EQ(send.out, "krm-station: 0 sent to the archive server, 0 wait\n");
  EXPECT_EQ(schema.Rows("SELECT count(*) FROM stone_grades"),
            std::vector<archive::ServerRow>{{"3"}});
}

}  // namespace
}  // namespace krm::tools
