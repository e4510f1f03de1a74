// krm-station grade and explain run as programs: records in the order given whatever the number
// of jobs, a record with an error for a file that cannot be read (and a nonzero exit status), the
// CSV header and quoting, and an explanation a person can read.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <nlohmann/json.hpp>

#include "platform/child_process.h"
#include "platform/recording_env.h"
#include "tools/batch_command.h"
#include "tools/stone_pages.h"
#include "tools/stone_record.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

class GradeCommandTest : public ::testing::Test {
 protected:
  // Runs krm-station with `args`; its standard output in `output`.
  int Station(std::vector<std::string> args) {
    args.insert(args.begin(), (fs::path(KRM_BINARY_DIR) / "krm-station").string());
    const fs::path out = dir.root() / "out.txt";
    const int status = testing::RunChild(args, out.string()).status;
    output = testing::ReadWhole(out);
    return status;
  }
  std::vector<std::string> Lines() const { return testing::Lines(output); }
  std::string Path(const fs::path& relative) const { return (dir.root() / relative).string(); }

  testing::TempStation dir;
  std::string output;
};

TEST_F(GradeCommandTest, RecordsInTheOrderGivenWithErrorsForFilesThatCannotBeRead) {
  // Forty stones in nested folders, named so that their order is not the order of creation.
  for (int i = 39; i >= 0; --i) {
    dir.Write("stones/" + std::to_string(i % 3) + "/s" + std::string(i < 10 ? "0" : "") +
                  std::to_string(i) + ".TXT",
              testing::MeasurementFile({{"STONE_ID", "S" + std::to_string(i)}}));
  }
  dir.Write("stones/notes.md", "not a measurement file");
  std::vector<std::string> args = {"grade", "--jobs", "3", Path("missing.txt"), Path("stones")};
  bool with_fifo = false;
#ifndef _WIN32
  // Last, a FIFO, which must not be waited on (Windows has none).
  ASSERT_EQ(::mkfifo(Path("pipe.txt").c_str(), 0644), 0);
  args.push_back(Path("pipe.txt"));
  with_fifo = true;
#endif
  EXPECT_EQ(Station(args), 1);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), with_fifo ? 42u : 41u);
  std::vector<std::string> files;
  for (const std::string& line : lines) files.push_back(nlohmann::json::parse(line)["file"]);
  EXPECT_EQ(files.front(), Path("missing.txt"));
  EXPECT_EQ(nlohmann::json::parse(lines.front())["error"], "no such measurement file");
  if (with_fifo) {
    EXPECT_EQ(nlohmann::json::parse(lines.back())["error"], "not a regular file");
    files.pop_back();
  }
  EXPECT_TRUE(std::is_sorted(files.begin() + 1, files.end()));
  const auto stone = nlohmann::json::parse(lines[1]);
  EXPECT_EQ(stone["stone_id"], "S0");
  EXPECT_EQ(stone["cut_grade"], "Excellent");
  EXPECT_FALSE(stone.contains("error"));
}

TEST_F(GradeCommandTest, CsvHasOneHeaderAndQuotesWhatNeedsIt) {
  dir.Write("a.txt", testing::MeasurementFile({{"STONE_ID", "\"Lot 7\", stone 3"}}));
  dir.Write("b.txt", testing::MeasurementFile({{"CUTTING_TYPE", "Oval, step cut"}}));
  ASSERT_EQ(Station({"grade", "--format", "csv", Path("a.txt"), Path("b.txt")}), 0);
  const std::string header = CsvLine(CsvHeader());
  ASSERT_TRUE(output.starts_with(header));
  EXPECT_EQ(output.find(header, 1), std::string::npos);
  EXPECT_NE(output.find(",\"\"\"Lot 7\"\", stone 3\","), std::string::npos);
  // The shape message of the oval stone is one field.
  EXPECT_NE(output.find(",\"Shape - Oval, step cut - is currently not graded by KRM!\","),
            std::string::npos)
      << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 3);
}

TEST_F(GradeCommandTest, ExplanationNamesWhatLimitsTheGrade) {
  dir.Write("demo.txt", testing::VeryGoodStone());
  ASSERT_EQ(Station({"explain", Path("demo.txt")}), 0);
  EXPECT_NE(output.find("pavilion angle 42.0\u00b0 is one step too steep: at 41.8\u00b0 the cell "
                        "is Excellent"),
            std::string::npos)
      << output;
  EXPECT_EQ(Station({"explain", Path("missing.txt")}), 1);
  EXPECT_EQ(Station({"grade", "--jobs", "0", Path("demo.txt")}), 64);
  EXPECT_EQ(Station({"grade", "--station", Path("no-station"), Path("demo.txt")}), 2);
}

// Files that come from the disk are asked for ahead of their grading; files already in memory are
// not, since asking costs more than reading them.
TEST(GradeBatch, AsksForFilesAheadOnlyWhenTheyComeFromTheDisk) {
  class TimedReads : public testing::RecordingEnv {
   public:
    explicit TimedReads(std::chrono::microseconds read) : read_(read) {}
    // Every file is the Excellent stone, read from memory after the time given (waited out on
    // the clock: a sleep of less than a millisecond may not sleep at all on Windows).
    Status ReadFile(const fs::path&, std::string* contents) override {
      const auto until = std::chrono::steady_clock::now() + read_;
      while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
      *contents = stone_;
      return Status::Ok();
    }
    void Prefetch(const fs::path&) override { ++asked_for; }
    std::atomic<int> asked_for = 0;

   private:
    std::chrono::microseconds read_;
    const std::string stone_ = testing::ExcellentStone();
  };
  std::vector<BatchItem> items;
  for (int i = 0; i < 100; ++i) items.push_back({"s" + std::to_string(i) + ".txt", std::nullopt});
  for (const auto& [read, asked] : {std::pair{std::chrono::microseconds(0), false},
                                    std::pair{std::chrono::microseconds(300), true}}) {
    TimedReads env(read);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(GradeBatch(env, testing::DefaultData(), items, RecordFormat::kCsv, 2, out, nullptr),
              0u);
    std::fclose(out);
    EXPECT_EQ(env.asked_for > 0, asked) << read.count() << " us a read";
  }
}

// A batch worker fills one JSON object record after record: whatever the record before it left
// there (a recut candidate, a nearest better cell, messages, an error), each record reads as if
// made anew.
TEST(StoneRecordJson, FillingTheObjectOfAnEarlierRecordGivesTheRecordAnew) {
  const StoneRecord stones[] = {
      testing::Graded(testing::VeryGoodStone()),
      testing::Graded(testing::ExcellentStone()),
      testing::Graded(testing::OutOfRangeStone()),
      FailedRecord("gone.txt", "no such measurement file"),
      testing::Graded(testing::DeepPavilionStone()),
      testing::Graded(testing::LightStone()),
      testing::Graded(testing::MeasurementFile({{"CUTTING_TYPE", "Oval"}})),
      testing::Graded(testing::VeryGoodStone()),
  };
  for (const StoneRecord& before : stones) {
    for (const StoneRecord& after : stones) {
      nlohmann::json reused;
      FillJson(before, &reused);
      FillJson(after, &reused);
      EXPECT_EQ(reused.dump(), ToJson(after).dump())
          << "after " << ToJson(before).dump().substr(0, 300);
    }
  }
}

}  // namespace
}  // namespace krm::tools
