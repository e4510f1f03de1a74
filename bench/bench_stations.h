// Station folders shared by the benchmarks: built once on first use and removed when the
// benchmark program ends.
#ifndef KRM_BENCH_BENCH_STATIONS_H_
#define KRM_BENCH_BENCH_STATIONS_H_

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_record.h"
#include "archive/archive_server.h"
#include "grading/grade_station.h"

namespace krm::bench {

namespace fs = std::filesystem;

// A well-cut stone with uneven pavilion and crown facets on a grade table of one digit: '1' grades
// it Excellent, '2' Very Good with all five recut candidates Very Good too.
inline testing::GradeStation& UnevenStoneStation(char digit) {
  static std::unique_ptr<testing::GradeStation> stations[2];
  std::unique_ptr<testing::GradeStation>& s = stations[digit == '1' ? 0 : 1];
  if (!s) {
    s = std::make_unique<testing::GradeStation>(digit);
    auto keys = testing::WellCutStone();
    const char* pavilion[] = {"41", "40.8", "40.6", "40.9", "41.2", "40.7", "40.5", "41.1"};
    const char* crown[] = {"34.5", "34.3", "34.7", "34.5", "34.4", "34.6", "34.5", "34.2"};
    for (int n = 1; n <= 8; ++n) {
      keys.push_back({"PAVILION_ANGLE_DEG_" + std::to_string(n), pavilion[n - 1]});
      keys.push_back({"CROWN_ANGLE_DEG_" + std::to_string(n), crown[n - 1]});
    }
    s->WriteMeasurement(keys);
  }
  return *s;
}

// A copy of the station folder `from` that shares its grade files (win_sys*.syc and the joined
// windows/win_rt*.dll) through hard links and has its own copy of everything else; a run only
// reads the grade files while they equal their parts. Removed when the benchmark program ends.
inline const fs::path& LinkedStation(const fs::path& from) {
  static std::vector<std::unique_ptr<testing::TempStation>> copies;
  copies.push_back(std::make_unique<testing::TempStation>());
  const fs::path& root = copies.back()->root();
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path to = root / entry.path().lexically_relative(from);
    const std::string file = entry.path().filename().string();
    if (entry.is_directory()) {
      fs::create_directories(to);
    } else if (file.starts_with("win_sys") || file.starts_with("win_rt")) {
      fs::create_hard_link(entry.path(), to);
    } else if (!file.starts_with("archive.db") && file != "station.ini") {
      fs::copy_file(entry.path(), to);
    }
  }
  return root;
}

// A schema of its own on the archive test server (KRM_TEST_PG_URL; tools/pg-test-cluster start
// DIR prints one), dropped at the end; url() is empty when there is no server or this build has no
// PostgreSQL client.
class BenchSchema {
 public:
  BenchSchema() {
    const char* base = std::getenv("KRM_TEST_PG_URL");
    if (base == nullptr || *base == '\0' || !archive::ServerSupported()) return;
    const std::string name = "krm_bench_" + archive::NewRunId().substr(0, 12);
    if (!Run(base, "CREATE SCHEMA " + name)) return;
    base_ = base;
    name_ = name;
    url_ = base_ + " options='-c search_path=" + name + "'";
  }
  ~BenchSchema() {
    if (!name_.empty()) (void)Run(base_, "DROP SCHEMA " + name_ + " CASCADE");
  }
  const std::string& url() const { return url_; }
  // The same schema with the server's commits not waiting for the disk, as a lab sets it with
  // ALTER ROLE ... SET synchronous_commit = off.
  std::string AsyncCommitUrl() const {
    return url_.empty()
               ? url_
               : base_ + " options='-c search_path=" + name_ + " -c synchronous_commit=off'";
  }
  void Empty() const { (void)Run(url_, "TRUNCATE stone_grades"); }

 private:
  static bool Run(const std::string& url, const std::string& sql) {
    std::unique_ptr<archive::ArchiveServer> server;
    std::vector<archive::ServerRow> rows;
    return archive::ConnectServer(url, {}, &server).ok() && server->Query(sql, {}, &rows).ok();
  }
  std::string base_, name_, url_;
};

}  // namespace krm::bench

#endif  // KRM_BENCH_BENCH_STATIONS_H_
