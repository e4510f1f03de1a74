// LocalArchive: the station's own history of graded stones, data/archive.db (SQLite, write-ahead
// log), kept with no configuration at all.
//
// Table `stone_grades` holds one row per record (archive_rows.h) plus `sent_at`, the time the lab's
// server took the record, NULL while it waits to be sent. The schema carries its version in
// SQLite's user_version; opening creates it on first use and brings an older one up to date in
// place:
//   version 1: stone_grades without table_class_name and sent_at (the history kept locally only);
//   version 2: + table_class_name, + sent_at with an index of the records that wait, + the table
//              file_digests (digests of the grade data, remembered by file identity).
// Rows of version 1 come through the migration with no table class name and waiting to be sent.
// Values are always bound, never spliced into SQL.
#ifndef KRM_ARCHIVE_LOCAL_ARCHIVE_H_
#define KRM_ARCHIVE_LOCAL_ARCHIVE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_rows.h"
#include "platform/env.h"
#include "platform/status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace krm::archive {

class LocalArchive {
 public:
  static constexpr int kSchemaVersion = 2;
  // The schema of version 1, for tests of the migration.
  static std::string_view SchemaVersion1();

  enum class OpenMode {
    kCreate,    // create the file when missing (a station run)
    kExisting,  // NotFound when the file is missing (the archive commands)
  };

  ~LocalArchive();
  LocalArchive(const LocalArchive&) = delete;
  LocalArchive& operator=(const LocalArchive&) = delete;

  // Opens the archive at `path`, creating or migrating its schema. The folder must exist. Invalid
  // for a schema newer than this program knows.
  static Status Open(const std::filesystem::path& path, OpenMode mode,
                     std::unique_ptr<LocalArchive>* archive);

  // Stores the rows in one transaction, all or none; a row whose run id is already stored is
  // passed over.
  Status Store(std::span<const StoredRow> rows);

  // Number of records that wait to be sent.
  Status CountWaiting(std::int64_t* count);
  // Up to `limit` waiting records, oldest first.
  Status Waiting(std::size_t limit, std::vector<StoredRow>* rows);
  // Marks records sent at `sent_at` (UTC timestamp), in one transaction.
  Status MarkSent(std::span<const std::string> run_ids, std::string_view sent_at);

  struct Listed {
    StoredRow row;
    std::optional<std::string> sent_at;
  };
  // The `limit` newest records, newest first.
  Status Latest(std::size_t limit, std::vector<Listed>* rows);
  // Every record of `run_ids` that is stored, in the order of the ids (for tests and tools).
  Status Find(std::span<const std::string> run_ids, std::vector<Listed>* rows);

  // SHA-256 (hex) of the file at `path`, remembered with the file's identity so that an unchanged
  // file is not read again. A digest that cannot be remembered is still given.
  Status FileDigest(platform::Env& env, const std::filesystem::path& path, std::string* sha256);

 private:
  // How long a statement waits for another process's lock on the archive.
  static constexpr int kBusyTimeoutMs = 10000;
  // Size of the write-ahead log (in pages of 4 KiB) from which a run that closes the archive
  // folds it into the database, and from which a batch does so after a commit.
  static constexpr int kCloseCheckpointFrames = 64;
  static constexpr int kBatchCheckpointFrames = 4096;

  explicit LocalArchive(sqlite3* db) : db_(db) {}
  // SQLite's call after each commit with the log's size in pages.
  static int OnCommit(void* self, sqlite3* db, const char* name, int frames);
  // Folds the log into the database and empties it, when no reader is in the way.
  void EmptyLog();
  Status Migrate();
  Status Exec(std::string_view sql);
  Status Error(std::string_view what) const;
  Status Prepare(std::string_view sql, sqlite3_stmt** stmt);

  sqlite3* db_;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* mark_ = nullptr;
  int log_frames_ = 0;
};

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_LOCAL_ARCHIVE_H_
