#include "gradetables/provisioning.h"

namespace krm::gradetables {

Provisioning ProvideGradeFiles(platform::Env& env, const app::StationPaths& paths,
                               std::optional<JoinMemo>* table_memo) {
  // A failed join is passed over; only a target that vanished ends the run here.
  if (MakeGradeTableFile(env, paths, table_memo) == JoinResult::kTargetNotFound) {
    return Provisioning::kEndNow;
  }
  const fs::path database = paths.GradeDatabase();
  fs::path mark = database;
  mark += ".joining";
  // The mark outlives a database join that was cut short (a crash, a full disk, a missing part):
  // such a database is joined again rather than kept.
  if (env.IsRegularFile(mark)) (void)env.RemoveFile(database);
  if (!env.IsRegularFile(database)) {
    std::unique_ptr<platform::WritableFile> file;
    if (env.OpenWritable(mark, /*append=*/false, &file).ok()) (void)file->Close();
    const JoinResult joined = MakeGradeDatabaseFile(env, paths);
    if (joined == JoinResult::kTargetNotFound) return Provisioning::kEndNow;
    if (joined == JoinResult::kJoined) (void)env.RemoveFile(mark);
  }
  return env.IsRegularFile(database) ? Provisioning::kReady : Provisioning::kDatabaseMissing;
}

Status ConnectGradeDatabase(const app::StationPaths& paths,
                            std::unique_ptr<platform::Database>* con) {
  con->reset();
  return platform::Database::OpenForReading(paths.GradeDatabase(), con);
}

}  // namespace krm::gradetables
