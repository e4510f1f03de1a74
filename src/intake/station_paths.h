// Where the station's files lie inside the application folder.
#ifndef KRM_INTAKE_STATION_PATHS_H_
#define KRM_INTAKE_STATION_PATHS_H_

#include <filesystem>

namespace krm::intake {

namespace fs = std::filesystem;

struct StationPaths {
  explicit StationPaths(fs::path app_dir) : root(std::move(app_dir)) {}

  fs::path root;
  fs::path Measurement() const { return root / "Test.txt"; }
  // The name under which the start-up check looks for the measurement file.
  fs::path MeasurementCheck() const { return root / "test.txt"; }
  fs::path Part(int n) const { return root / ("win_sys" + std::to_string(n) + ".syc"); }
  fs::path GradeFolder() const { return root / "windows"; }
  fs::path GradeTable() const { return GradeFolder() / "win_rt1.dll"; }
  fs::path GradeDatabase() const { return GradeFolder() / "win_rt2.dll"; }
  // The identities of the grade table's parts and of the table as the last join left them.
  fs::path GradeTableMemo() const { return GradeFolder() / "win_rt1.dll.memo"; }
  fs::path DataFolder() const { return root / "data"; }
  fs::path Report() const { return DataFolder() / "out.txt"; }
  fs::path GradeLog() const { return DataFolder() / "grade_log.txt"; }
  fs::path RecutAdvice() const { return DataFolder() / "recut.txt"; }
  fs::path CandidateReport() const { return DataFolder() / "out_1.txt"; }
  fs::path ReportDatabase() const { return DataFolder() / "data.mdb"; }
  fs::path Candidate() const { return root / "test_1.txt"; }
  fs::path MeasurementBackup() const { return root / "test_copy.txt"; }
  fs::path FollowUp() const { return root / "KRM_5.bat"; }
  fs::path ProgramFile() const { return root / "DOVEVOVIDIRO.EXE"; }
  // Held for the whole run, so that two starts in one station do not interleave their files.
  fs::path Lock() const { return root / "DOVEVOVIDIRO.lock"; }
};

}  // namespace krm::intake

#endif  // KRM_INTAKE_STATION_PATHS_H_
