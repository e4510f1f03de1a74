// krm-station grade --archive through the real program: every graded file of a batch lands in the
// archive once, in chunks, with the grade data's digest that a station laid out with the same
// data gives. (That the batch's record equals the station run's for the same file is checked on
// every whole-station case, in e2e/station_cases_test.cc.)
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_testing.h"
#include "archive/local_archive.h"
#include "platform/child_process.h"
#include "platform/environment.h"
#include "platform/sha256.h"

namespace krm {
namespace {

namespace fs = std::filesystem;
const fs::path kBin = KRM_BINARY_DIR;

// A folder with `count` measurement files of the demo stone, each with its own stone id, and
// where `krm-station grade` runs.
class Batch {
 public:
  explicit Batch(int count) {
    const std::string stone = testing::ReadWhole(fs::path(KRM_SOURCE_DIR) / "data/demo/Test.txt");
    const std::size_t at = stone.find("STONE_ID=") + 9;
    const std::size_t end = stone.find_first_of("\r\n", at);
    for (int i = 0; i < count; ++i) {
      std::string file = stone;
      file.replace(at, end - at, "B-" + std::to_string(i));
      folder_.Write("files/m" + std::to_string(i) + ".txt", file);
    }
  }
  const fs::path& root() const { return folder_.root(); }

  struct Outcome {
    int status;
    std::vector<std::string> records;  // stdout, a line per record
    std::vector<std::string> err;
  };
  // `krm-station grade ARGS` started in the folder.
  Outcome Grade(std::vector<std::string> args) const {
    args.insert(args.begin(), {testing::ProgramFile(kBin, "krm-station").string(), "grade"});
    testing::ChildStart start;
    start.out = (root() / "records.jsonl").string();
    start.err = (root() / "err.txt").string();
    start.dir = root();
    const int status = testing::RunChild(std::move(args), start).status;
    return {status, Lines("records.jsonl"), Lines("err.txt")};
  }

  // The records of the folder's archive, oldest first.
  std::vector<archive::LocalArchive::Listed> Archive() const {
    std::unique_ptr<archive::LocalArchive> local;
    std::vector<archive::LocalArchive::Listed> rows;
    EXPECT_TRUE(archive::LocalArchive::Open(root() / "data/archive.db",
                                            archive::LocalArchive::OpenMode::kExisting, &local)
                    .ok());
    if (local) {
      EXPECT_TRUE(local->Latest(1000000, &rows).ok());
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
  }

 private:
  std::vector<std::string> Lines(const std::string& name) const {
    return testing::Lines(testing::ReadWhole(root() / name));
  }
  testing::TempStation folder_;
};

class GradeArchive : public ::testing::Test {
 protected:
  void SetUp() override { testing::UnsetEnvironment(archive::kUrlVariable); }
};

TEST_F(GradeArchive, EveryGradedFileIsKeptOnceWithTheDefaultGradeDatasDigest) {
  constexpr int kFiles = 2100;  // three chunks
  Batch batch(kFiles);
  const Batch::Outcome outcome = batch.Grade({"--archive", "files", "missing.txt"});
  EXPECT_EQ(outcome.status, 1);  // missing.txt could not be graded
  ASSERT_EQ(outcome.records.size(), kFiles + 1u);
  const auto rows = batch.Archive();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFiles));  // not the file that was not graded

  // A station laid out with the default grade data has the same digest.
  testing::TempStation station;
  ASSERT_EQ(testing::RunChild({testing::ProgramFile(kBin, "krm-station").string(), "init",
                               (station.root() / "s").string()},
                              testing::ChildStart{})
                .status,
            0);
  const auto joined = [&](int first) {
    return platform::Sha256Hex(station.Read("s/win_sys" + std::to_string(first) + ".syc") +
                               station.Read("s/win_sys" + std::to_string(first + 1) + ".syc"));
  };
  const std::string digest = archive::GradeDataDigest(joined(1), joined(3));

  std::set<std::string> run_ids;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto record = archive::DecodeRow(rows[i].row);
    ASSERT_TRUE(record.has_value());
    // In the order of the files (name order: m0, m1, m10, ...), as the records were written.
    EXPECT_NE(outcome.records[i].find("\"stone_id\":\"" + record->stone_id + "\""),
              std::string::npos)
        << i;
    EXPECT_EQ(record->grade_data_sha256, digest);
    EXPECT_EQ(record->station, archive::DefaultStationName(batch.root()));
    EXPECT_EQ(record->recut_verdict, 1);
    EXPECT_FALSE(rows[i].sent_at.has_value());
    run_ids.insert(record->run_id);
  }
  EXPECT_EQ(run_ids.size(), rows.size());
}

TEST_F(GradeArchive, AnArchiveThatCannotBeWrittenFailsTheBatch) {
  Batch batch(3);
  fs::create_directories(batch.root() / "data/archive.db");
  const Batch::Outcome outcome = batch.Grade({"--archive", "files"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.records.size(), 3u);  // the records themselves are written
  ASSERT_EQ(outcome.err.size(), 2u);
  EXPECT_TRUE(outcome.err[0].starts_with("krm-station: archive not opened: data/archive.db: "))
      << outcome.err[0];
  EXPECT_EQ(outcome.err[1], "krm-station: the records could not be written");
}

TEST_F(GradeArchive, AServerNotReachedIsSaidAndTheRecordsWait) {
  Batch batch(3);
  // A socket folder where no server listens.
  std::ofstream(batch.root() / "station.ini")
      << "[Archive]\nurl = host=" << batch.root().string() << " dbname=krm\n";
  const Batch::Outcome outcome = batch.Grade({"--archive", "files"});
  EXPECT_EQ(outcome.status, 0);
  ASSERT_EQ(outcome.err.size(), 1u);
  EXPECT_TRUE(outcome.err[0].starts_with(
      archive::ServerSupported() ? "krm-station: archive server not reached, 3 records wait: "
                                 : "krm-station: archive server"))
      << outcome.err[0];
  EXPECT_EQ(batch.Archive().size(), 3u);
}

TEST_F(GradeArchive, TheBatchGoesToTheServerInChunks) {
  KRM_REQUIRE_SERVER();
  testing::ServerSchema schema;
  constexpr int kFiles = 2100;
  Batch batch(kFiles);
  std::ofstream(batch.root() / "station.ini")
      << "[Archive]\nurl = " << schema.url() << "\nname = lab/batch\n";
  const Batch::Outcome outcome = batch.Grade({"--archive", "--jobs", "2", "files"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, std::vector<std::string>{});
  const auto rows = batch.Archive();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFiles));
  for (const auto& row : rows) EXPECT_TRUE(row.sent_at.has_value());
  EXPECT_EQ(schema.Rows("SELECT count(*), count(DISTINCT run_id), count(DISTINCT stone_id), "
                        "min(station), max(station) FROM stone_grades"),
            (std::vector<archive::ServerRow>{{"2100", "2100", "2100", "lab/batch", "lab/batch"}}));
  // Each record on the server as in the station's archive.
  const auto first = archive::DecodeRow(rows.front().row);
  ASSERT_TRUE(first.has_value());
  const auto landed = schema.Records();
  EXPECT_NE(std::find(landed.begin(), landed.end(), *first), landed.end());
}

}  // namespace
}  // namespace krm
