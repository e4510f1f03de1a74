#include "tools/station_init.h"

#include <algorithm>
#include <memory>

#include "export/report_database.h"
#include "gradetables/grade_table_reader.h"
#include "platform/sha256.h"
#include "tools/default_grade_model.h"

namespace krm::tools {

using gradetables::kGradeTableCells;
using gradetables::kTableWeight;
using platform::Sha256;
namespace {

namespace fs = std::filesystem;

// A file written piece by piece, with its size and checksum kept for the log.
class PartWriter {
 public:
  Status Open(platform::Env& env, const fs::path& path) {
    path_ = path;
    return env.OpenWritable(path, /*append=*/false, &file_);
  }
  Status Append(std::string_view data) {
    sha_.Update(data);
    size_ += data.size();
    return file_->Append(data);
  }
  Status Close(std::vector<std::string>* log) {
    Status s = file_->Close();
    if (s.ok()) {
      log->push_back("wrote " + path_.filename().string() + ": " + std::to_string(size_) +
                     " bytes, SHA-256 " + sha_.HexDigest());
    }
    return s;
  }

 private:
  fs::path path_;
  std::unique_ptr<platform::WritableFile> file_;
  Sha256 sha_;
  std::uint64_t size_ = 0;
};

Status WritePart(platform::Env& env, const fs::path& path, std::string_view bytes,
                 std::vector<std::string>* log) {
  PartWriter part;
  Status s = part.Open(env, path);
  if (s.ok()) s = part.Append(bytes);
  if (s.ok()) s = part.Close(log);
  return s;
}

// Creates `dir` and the parents it lacks.
Status MakeFolders(platform::Env& env, const fs::path& dir) {
  if (dir.empty() || env.IsDirectory(dir)) return Status::Ok();
  if (dir.has_parent_path() && dir.parent_path() != dir) {
    Status s = MakeFolders(env, dir.parent_path());
    if (!s.ok()) return s;
  }
  return env.CreateDirectory(dir);
}

// The files whose presence marks a folder as a laid-out station.
std::vector<fs::path> StationFiles(const intake::StationPaths& paths) {
  return {paths.Part(1),    paths.Part(2),      paths.Part(3),        paths.Part(4),
          paths.FollowUp(), paths.GradeTable(), paths.GradeDatabase()};
}

}  // namespace

Status WriteGradeTableParts(platform::Env& env, const fs::path& first, const fs::path& second,
                            std::vector<std::string>* log) {
  PartWriter parts[2];
  Status s = parts[0].Open(env, first);
  if (s.ok()) s = parts[1].Open(env, second);
  std::vector<char> slice(static_cast<std::size_t>(kTableWeight));
  for (int t = 0; t < kTableSteps && s.ok(); ++t) {
    FillDefaultTableSlice(t, slice.data());
    const std::string_view bytes(slice.data(), slice.size());
    // The part border may fall inside a slice.
    const std::int64_t start = t * kTableWeight;
    const std::size_t in_first = static_cast<std::size_t>(
        std::clamp<std::int64_t>(kGradeTableFirstPartSize - start, 0, kTableWeight));
    if (in_first > 0) s = parts[0].Append(bytes.substr(0, in_first));
    if (s.ok() && in_first < bytes.size()) s = parts[1].Append(bytes.substr(in_first));
  }
  if (s.ok()) s = parts[0].Close(log);
  if (s.ok()) s = parts[1].Close(log);
  return s;
}

Status WriteGradeDatabaseParts(platform::Env& env, const fs::path& scratch, const fs::path& first,
                               const fs::path& second, std::vector<std::string>* log) {
  Status s = WriteGradeTablesDatabase(env, scratch);
  if (!s.ok()) return s;
  std::string bytes;
  s = env.ReadFile(scratch, &bytes);
  (void)env.RemoveFile(scratch);
  if (!s.ok()) return s;
  const std::string_view all(bytes);
  s = WritePart(env, first, all.substr(0, all.size() / 2), log);
  if (s.ok()) s = WritePart(env, second, all.substr(all.size() / 2), log);
  return s;
}

Status LayOutReportDatabase(const intake::StationPaths& paths, std::vector<std::string>* log) {
  bool created = false;
  Status s = report_export::CreateReportDatabase(paths.ReportDatabase(), &created);
  if (s.ok()) log->push_back(created ? "created data/data.mdb" : "kept data/data.mdb");
  return s;
}

InitResult InitStation(platform::Env& env, const fs::path& dir, bool force,
                       std::vector<std::string>* log) {
  const intake::StationPaths paths(dir);
  std::vector<fs::path> present;
  for (const fs::path& file : StationFiles(paths)) {
    if (auto found = env.FindFile(file)) present.push_back(*found);
  }
  if (!present.empty() && !force) {
    std::string names;
    for (const fs::path& p : present) {
      names += (names.empty() ? "" : ", ") + p.lexically_relative(dir).string();
    }
    log->push_back(dir.string() + " already holds a station (" + names +
                   "); use --force to overwrite it");
    return InitResult::kRefused;
  }
  auto failed = [&](const Status& s) {
    log->push_back("failed: " + s.message());
    return InitResult::kFailed;
  };
  Status s = MakeFolders(env, dir);
  if (!s.ok()) return failed(s);
  // Joined files made from earlier parts would hide the new ones (the database is joined only
  // when missing).
  for (const fs::path& joined : {paths.GradeTable(), paths.GradeDatabase()}) {
    if (!env.IsRegularFile(joined)) continue;
    s = env.RemoveFile(joined);
    if (!s.ok()) return failed(s);
    log->push_back("removed " + joined.lexically_relative(dir).string());
  }
  s = WriteGradeTableParts(env, paths.Part(1), paths.Part(2), log);
  if (!s.ok()) return failed(s);
  s = WriteGradeDatabaseParts(env, dir / "grade_tables.tmp", paths.Part(3), paths.Part(4), log);
  if (!s.ok()) return failed(s);
  if (!env.IsDirectory(paths.DataFolder())) {
    s = env.CreateDirectory(paths.DataFolder());
    if (!s.ok()) return failed(s);
    log->push_back("created data/");
  }
  s = WritePart(env, paths.FollowUp(), kFollowUpScript, log);
  if (!s.ok()) return failed(s);
  s = LayOutReportDatabase(paths, log);
  if (!s.ok()) return failed(s);
  return InitResult::kDone;
}

}  // namespace krm::tools
