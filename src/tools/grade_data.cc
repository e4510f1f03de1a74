#include "tools/grade_data.h"

#include <memory>

#include "intake/station.h"
#include "intake/station_paths.h"
#include "platform/database.h"
#include "tools/default_grade_model.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

// The bytes of two part files one after the other, read straight into one buffer.
Status JoinInMemory(platform::Env& env, const fs::path& first, const fs::path& second,
                    std::string* joined) {
  std::uint64_t sizes[2] = {0, 0};
  fs::path found[2];
  const fs::path* parts[2] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    const auto path = intake::FindStationFile(env, *parts[i]);
    if (!path) return Status::NotFound(parts[i]->string() + ": no such file", "no such file");
    found[i] = *path;
    Status s = env.FileSize(found[i], &sizes[i]);
    if (!s.ok()) return s;
  }
  joined->assign(static_cast<std::size_t>(sizes[0] + sizes[1]), '\0');
  std::uint64_t at = 0;
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<platform::BinaryFile> file;
    Status s = env.OpenBinary(found[i], /*create=*/false, &file);
    std::size_t got = 0;
    if (s.ok()) s = file->ReadAt(0, joined->data() + at, static_cast<std::size_t>(sizes[i]), &got);
    if (s.ok() && got != sizes[i]) {
      s = Status::IoError(found[i].string() + ": changed while read", "changed while read");
    }
    if (!s.ok()) return s;
    at += sizes[i];
  }
  return Status::Ok();
}

}  // namespace

Status LoadStationGradeData(platform::Env& env, const fs::path& station, LoadedGradeData* data) {
  const intake::StationPaths paths(station);
  auto cells = std::make_shared<std::string>();
  Status s = JoinInMemory(env, paths.Part(1), paths.Part(2), cells.get());
  if (!s.ok()) return s;
  if (cells->size() != static_cast<std::size_t>(gradetables::kGradeTableCells)) {
    const std::string why = "the grade table parts hold " + std::to_string(cells->size()) +
                            " cells, not " + std::to_string(gradetables::kGradeTableCells);
    return Status::Corrupt(paths.Part(2).string() + ": " + why, why);
  }
  std::string database;
  s = JoinInMemory(env, paths.Part(3), paths.Part(4), &database);
  if (!s.ok()) return s;
  std::unique_ptr<platform::Database> db;
  s = platform::Database::OpenInMemory(database, &db);
  if (!s.ok()) return s;
  data->tables = gradetables::GradeTables::Read(*db);
  s = data->tables.FirstFailure();
  if (!s.ok()) return s;
  data->source = station.string();
  data->table = gradetables::GradeTableReader::InMemory(std::move(cells), paths.GradeTable());
  return Status::Ok();
}

LoadedGradeData DefaultGradeData() {
  LoadedGradeData data;
  data.source = "the default grade model";
  data.table = gradetables::GradeTableReader::InMemory(
      std::make_shared<const std::string>(DefaultGradeTable()), "default grade table");
  std::unique_ptr<platform::Database> db;
  if (platform::Database::OpenInMemory({}, &db).ok() && db->ExecuteScript(GradeTablesSql()).ok()) {
    data.tables = gradetables::GradeTables::Read(*db);
  }
  return data;
}

}  // namespace krm::tools
