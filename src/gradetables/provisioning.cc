#include "gradetables/provisioning.h"

#include "gradetables/grade_file_join.h"

namespace krm::gradetables {

Provisioning ProvideGradeFiles(platform::Env& env, const app::StationPaths& paths) {
  // A failed join is passed over; only a target that vanished ends the run here.
  if (MakeGradeTableFile(env, paths) == JoinResult::kTargetNotFound) return Provisioning::kEndNow;
  if (!env.IsRegularFile(paths.GradeDatabase())) {
    if (MakeGradeDatabaseFile(env, paths) == JoinResult::kTargetNotFound) {
      return Provisioning::kEndNow;
    }
  }
  return env.IsRegularFile(paths.GradeDatabase()) ? Provisioning::kReady
                                                  : Provisioning::kDatabaseMissing;
}

Status ConnectGradeDatabase(const app::StationPaths& paths,
                            std::unique_ptr<platform::Database>* con) {
  con->reset();
  return platform::Database::Open(paths.GradeDatabase(), con);
}

}  // namespace krm::gradetables
