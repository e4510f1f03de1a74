#include "gradetables/provisioning.h"

#include <memory>

#include "platform/database.h"

namespace krm::gradetables {
namespace {

// A grade table that does not hold one cell for every grid point cannot be read right: cells
// beyond its end fail, and a part of the wrong length shifts every cell after it.
constexpr std::string_view kTableNotValid = "grade table not joined, the cut grade is not valid";

}  // namespace

Status ReadGradeTables(const fs::path& path, GradeTables* tables) {
  *tables = GradeTables();
  std::unique_ptr<platform::Database> db;
  Status s = platform::Database::OpenForReading(path, &db);
  if (!s.ok()) return s;
  *tables = GradeTables::Read(*db);
  return tables->FirstFailure();
}

Provisioning StationGradeFiles::Provide() {
  platform::Env& env = station_.env;
  const intake::StationPaths& paths = station_.paths;
  // The first grading of a run takes the memo the last run left in the station: while the parts
  // and the table are exactly as that join left them, the table need not be read again.
  const bool first = !memo_read_;
  if (first) {
    memo_read_ = true;
    std::string text;
    if (env.ReadFile(paths.GradeTableMemo(), &text).ok()) table_memo_ = ParseMemo(text);
  }
  const std::optional<JoinMemo> before = table_memo_;
  JoinFailure failure;
  const JoinResult table = MakeGradeTableFile(env, paths, &table_memo_, &failure);
  if (table_memo_ != before || (first && !table_memo_)) KeepMemo();
  if (table == JoinResult::kTargetNotFound) return Provisioning::kEndNow;
  if (table == JoinResult::kFailed) {
    station_.faults.Add(kTableNotValid, failure.path, failure.status);
  } else {
    std::uint64_t first = 0, second = 0;
    if (env.FileSize(paths.Part(1), &first).ok() && env.FileSize(paths.Part(2), &second).ok() &&
        first + second != static_cast<std::uint64_t>(kGradeTableCells)) {
      station_.faults.Add(kTableNotValid, paths.Part(2),
                          "the parts hold " + std::to_string(first + second) + " cells, not " +
                              std::to_string(kGradeTableCells));
    }
  }

  const fs::path database = paths.GradeDatabase();
  fs::path mark = database;
  mark += ".joining";
  // The mark outlives a database join that was cut short (a crash, a full disk, a missing part)
  // or that left a database whose tables cannot be read (a short part): such a database is
  // joined again rather than kept.
  if (env.IsRegularFile(mark)) (void)env.RemoveFile(database);
  if (!env.IsRegularFile(database) && !JoinDatabase()) return Provisioning::kEndNow;
  return env.IsRegularFile(database) ? Provisioning::kReady : Provisioning::kDatabaseMissing;
}

void StationGradeFiles::KeepMemo() {
  platform::Env& env = station_.env;
  const fs::path path = station_.paths.GradeTableMemo();
  // A memo that cannot be written only costs the next run a full join; one that is stale must
  // not stay.
  if (!table_memo_) {
    if (env.IsRegularFile(path)) (void)env.RemoveFile(path);
    return;
  }
  std::unique_ptr<platform::WritableFile> file;
  if (!env.OpenWritable(path, /*append=*/false, &file).ok()) return;
  const Status written = file->Append(MemoText(*table_memo_));
  if (!file->Close().ok() || !written.ok()) (void)env.RemoveFile(path);
}

bool StationGradeFiles::JoinDatabase() {
  platform::Env& env = station_.env;
  const fs::path database = station_.paths.GradeDatabase();
  fs::path mark = database;
  mark += ".joining";
  std::unique_ptr<platform::WritableFile> file;
  if (env.OpenWritable(mark, /*append=*/false, &file).ok()) (void)file->Close();
  JoinFailure failure;
  const JoinResult joined = MakeGradeDatabaseFile(env, station_.paths, &failure);
  if (joined == JoinResult::kTargetNotFound) return false;
  if (joined == JoinResult::kFailed) {
    station_.faults.Add("grade tables database not joined", failure.path, failure.status);
    return true;
  }
  GradeTables tables;
  const Status readable = ReadGradeTables(database, &tables);
  if (readable.ok()) {
    (void)env.RemoveFile(mark);
  } else {
    station_.faults.Add("grade tables database joined from broken parts", station_.paths.Part(4),
                        readable);
  }
  return true;
}

void StationGradeFiles::Open(GradeTableReader* table, GradeTables* tables) {
  // A table file that cannot be opened is said when its cell is read.
  *table = GradeTableReader::Open(station_.env, station_.paths.GradeTable());
  // The recut candidates are graded one after the other against the same database. The identity
  // is taken before the read: a database changed while it is read is read again next time.
  const fs::path database = station_.paths.GradeDatabase();
  platform::FileIdentity identity;
  const bool identified = station_.env.Identify(database, &identity).ok();
  if (identified && tables_identity_ == identity) {
    *tables = tables_;
    return;
  }
  tables_identity_.reset();
  const Status read = ReadGradeTables(database, tables);
  if (!read.ok()) {
    station_.faults.Add("grade tables database not read, the cut grade is not valid", database,
                        read);
  } else if (identified) {
    tables_ = *tables;
    tables_identity_ = identity;
  }
}

}  // namespace krm::gradetables
