#include "archive/local_archive.h"

#include <sqlite3.h>

#include <system_error>

#include "platform/sha256.h"

namespace krm::archive {
namespace {

constexpr std::string_view kSchema1 = R"sql(
CREATE TABLE stone_grades (
  id INTEGER PRIMARY KEY,
  run_id TEXT NOT NULL UNIQUE,
  station TEXT NOT NULL,
  graded_at TEXT NOT NULL,
  stone_id TEXT NOT NULL,
  measurement_sha256 TEXT NOT NULL,
  grade_data_sha256 TEXT NOT NULL,
  program_version TEXT NOT NULL,
  cut_grade TEXT NOT NULL,
  overall_class INTEGER,
  symmetry_grade TEXT NOT NULL,
  table_class INTEGER,
  messages TEXT NOT NULL,
  girdle_limit_text TEXT NOT NULL,
  degrade_text TEXT NOT NULL,
  symmetry_text TEXT NOT NULL,
  recut_verdict INTEGER,
  recut_message TEXT NOT NULL,
  measurement TEXT NOT NULL
);
CREATE INDEX stone_grades_graded_at ON stone_grades (graded_at);
PRAGMA user_version = 1;
)sql";

constexpr std::string_view kMigrate1To2 = R"sql(
ALTER TABLE stone_grades ADD COLUMN table_class_name TEXT;
ALTER TABLE stone_grades ADD COLUMN sent_at TEXT;
CREATE INDEX stone_grades_waiting ON stone_grades (id) WHERE sent_at IS NULL;
CREATE TABLE file_digests (
  path TEXT PRIMARY KEY,
  identity TEXT NOT NULL,
  sha256 TEXT NOT NULL
);
PRAGMA user_version = 2;
)sql";

// Finalizes a statement on every way out.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

// Binds a value or NULL; SQLite copies it.
int Bind(sqlite3_stmt* stmt, int index, const std::optional<std::string>& value) {
  if (!value) return sqlite3_bind_null(stmt, index);
  return sqlite3_bind_text(stmt, index, value->data(), static_cast<int>(value->size()),
                           SQLITE_TRANSIENT);
}

std::optional<std::string> ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  if (text == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

StoredRow ReadRow(sqlite3_stmt* stmt) {
  StoredRow row;
  for (std::size_t c = 0; c < kColumnCount; ++c) row[c] = ColumnText(stmt, static_cast<int>(c));
  return row;
}

std::string IdentityText(const platform::FileIdentity& id) {
  return std::to_string(id.device) + ":" + std::to_string(id.inode) + ":" +
         std::to_string(id.size) + ":" + std::to_string(id.modified_ns) + ":" +
         std::to_string(id.changed_ns);
}

}  // namespace

std::string_view LocalArchive::SchemaVersion1() {
  return kSchema1;
}

LocalArchive::~LocalArchive() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(mark_);
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (log_frames_ >= kCloseCheckpointFrames) EmptyLog();
  sqlite3_close_v2(db_);
}

int LocalArchive::OnCommit(void* self, sqlite3*, const char*, int frames) {
  auto* archive = static_cast<LocalArchive*>(self);
  archive->log_frames_ = frames;
  // A batch folds its log now and then, so that the log stays within bounds.
  if (frames >= kBatchCheckpointFrames) archive->EmptyLog();
  return SQLITE_OK;
}

void LocalArchive::EmptyLog() {
  // Without waiting for readers (a lab's query, `archive list`): when one is in the way, the
  // next run tries again.
  sqlite3_busy_timeout(db_, 0);
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) ==
      SQLITE_OK) {
    log_frames_ = 0;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
}

Status LocalArchive::Error(std::string_view what) const {
  const char* reason = sqlite3_errmsg(db_);
  return Status::IoError(std::string(what) + ": " + reason, reason);
}

Status LocalArchive::Exec(std::string_view sql) {
  const std::string text(sql);
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Error("archive");
  }
  return Status::Ok();
}

Status LocalArchive::Prepare(std::string_view sql, sqlite3_stmt** stmt) {
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), stmt, nullptr) !=
      SQLITE_OK) {
    return Error("archive");
  }
  return Status::Ok();
}

Status LocalArchive::Open(const std::filesystem::path& path, OpenMode mode,
                          std::unique_ptr<LocalArchive>* archive) {
  archive->reset();
  std::error_code ec;
  if (mode == OpenMode::kExisting && !std::filesystem::is_regular_file(path, ec)) {
    return Status::NotFound(path.string() + ": no archive", "no archive");
  }
  const int flags = SQLITE_OPEN_READWRITE | (mode == OpenMode::kCreate ? SQLITE_OPEN_CREATE : 0);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.string().c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close_v2(db);
    return Status::IoError(path.string() + ": " + reason, reason);
  }
  std::unique_ptr<LocalArchive> opened(new LocalArchive(db));
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // The write-ahead log lets readers (a lab's queries, `archive list`) and a run work at once; in
  // that mode a commit is safe against a crash of the program without waiting for the disk.
  // Folding the log into the database (a checkpoint) waits for the disk, so it is not done by
  // every run that closes the archive (SQLite's way) but by the one that finds the log grown past
  // kCloseCheckpointFrames, and the log is then emptied: the next run that opens the archive
  // reads all of the log, so it is kept small.
  // (The hook takes the place of SQLite's automatic checkpoints.)
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  Status s = opened->Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
  sqlite3_wal_hook(db, &LocalArchive::OnCommit, opened.get());
  if (s.ok()) s = opened->Migrate();
  if (!s.ok()) return Status::IoError(path.string() + ": " + s.reason(), s.reason());
  *archive = std::move(opened);
  return Status::Ok();
}

Status LocalArchive::Migrate() {
  const auto read_version = [this](int* version) {
    Statement st;
    if (Status p = Prepare("PRAGMA user_version", &st.stmt); !p.ok()) return p;
    if (sqlite3_step(st.stmt) != SQLITE_ROW) return Error("archive");
    *version = sqlite3_column_int(st.stmt, 0);
    return Status::Ok();
  };
  // Mostly the schema is current: one look without the write lock.
  int version = 0;
  if (Status s = read_version(&version); !s.ok()) return s;
  if (version == kSchemaVersion) return Status::Ok();
  Status s = Exec("BEGIN IMMEDIATE");
  if (s.ok()) s = read_version(&version);
  if (!s.ok()) {
    (void)Exec("ROLLBACK");
    return s;
  }
  if (version > kSchemaVersion) {
    (void)Exec("ROLLBACK");
    const std::string reason = "archive schema version " + std::to_string(version) +
                               " is newer than this program's " + std::to_string(kSchemaVersion);
    return Status::Invalid(reason, reason);
  }
  if (version < 1) s = Exec(kSchema1);
  if (s.ok() && version < 2) s = Exec(kMigrate1To2);
  if (s.ok()) s = Exec("COMMIT");
  if (!s.ok()) {
    (void)Exec("ROLLBACK");
    return s;
  }
  return Status::Ok();
}

Status LocalArchive::Store(std::span<const StoredRow> rows) {
  if (insert_ == nullptr) {
    std::string sql = "INSERT INTO stone_grades (" + ColumnList() + ") VALUES (";
    for (std::size_t c = 0; c < kColumnCount; ++c) sql.append(c ? ", ?" : "?");
    sql.append(") ON CONFLICT (run_id) DO NOTHING");
    if (Status s = Prepare(sql, &insert_); !s.ok()) return s;
  }
  if (Status s = Exec("BEGIN IMMEDIATE"); !s.ok()) return s;
  for (const StoredRow& row : rows) {
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      if (Bind(insert_, static_cast<int>(c + 1), row[c]) != SQLITE_OK) {
        const Status e = Error("archive");
        sqlite3_reset(insert_);
        (void)Exec("ROLLBACK");
        return e;
      }
    }
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE) {
      const Status e = Error("archive");
      (void)Exec("ROLLBACK");
      return e;
    }
  }
  sqlite3_clear_bindings(insert_);
  if (Status s = Exec("COMMIT"); !s.ok()) {
    (void)Exec("ROLLBACK");
    return s;
  }
  return Status::Ok();
}

Status LocalArchive::CountWaiting(std::int64_t* count) {
  *count = 0;
  Statement st;
  if (Status s = Prepare("SELECT count(*) FROM stone_grades WHERE sent_at IS NULL", &st.stmt);
      !s.ok()) {
    return s;
  }
  if (sqlite3_step(st.stmt) != SQLITE_ROW) return Error("archive");
  *count = sqlite3_column_int64(st.stmt, 0);
  return Status::Ok();
}

Status LocalArchive::Waiting(std::size_t limit, std::vector<StoredRow>* rows) {
  rows->clear();
  Statement st;
  const std::string sql =
      "SELECT " + ColumnList() + " FROM stone_grades WHERE sent_at IS NULL ORDER BY id LIMIT ?";
  if (Status s = Prepare(sql, &st.stmt); !s.ok()) return s;
  sqlite3_bind_int64(st.stmt, 1, static_cast<sqlite3_int64>(limit));
  int rc;
  while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) rows->push_back(ReadRow(st.stmt));
  if (rc != SQLITE_DONE) {
    rows->clear();
    return Error("archive");
  }
  return Status::Ok();
}

Status LocalArchive::MarkSent(std::span<const std::string> run_ids, std::string_view sent_at) {
  if (mark_ == nullptr) {
    if (Status s = Prepare("UPDATE stone_grades SET sent_at = ? WHERE run_id = ?", &mark_);
        !s.ok()) {
      return s;
    }
  }
  if (Status s = Exec("BEGIN IMMEDIATE"); !s.ok()) return s;
  sqlite3_bind_text(mark_, 1, sent_at.data(), static_cast<int>(sent_at.size()), SQLITE_TRANSIENT);
  for (const std::string& id : run_ids) {
    sqlite3_bind_text(mark_, 2, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(mark_);
    sqlite3_reset(mark_);
    if (rc != SQLITE_DONE) {
      const Status e = Error("archive");
      (void)Exec("ROLLBACK");
      return e;
    }
  }
  if (Status s = Exec("COMMIT"); !s.ok()) {
    (void)Exec("ROLLBACK");
    return s;
  }
  return Status::Ok();
}

Status LocalArchive::Latest(std::size_t limit, std::vector<Listed>* rows) {
  rows->clear();
  Statement st;
  const std::string sql =
      "SELECT " + ColumnList() + ", sent_at FROM stone_grades ORDER BY id DESC LIMIT ?";
  if (Status s = Prepare(sql, &st.stmt); !s.ok()) return s;
  sqlite3_bind_int64(st.stmt, 1, static_cast<sqlite3_int64>(limit));
  int rc;
  while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
    rows->push_back({ReadRow(st.stmt), ColumnText(st.stmt, static_cast<int>(kColumnCount))});
  }
  if (rc != SQLITE_DONE) {
    rows->clear();
    return Error("archive");
  }
  return Status::Ok();
}

Status LocalArchive::Find(std::span<const std::string> run_ids, std::vector<Listed>* rows) {
  rows->clear();
  Statement st;
  const std::string sql = "SELECT " + ColumnList() + ", sent_at FROM stone_grades WHERE run_id = ?";
  if (Status s = Prepare(sql, &st.stmt); !s.ok()) return s;
  for (const std::string& id : run_ids) {
    sqlite3_bind_text(st.stmt, 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
      rows->push_back({ReadRow(st.stmt), ColumnText(st.stmt, static_cast<int>(kColumnCount))});
    }
    sqlite3_reset(st.stmt);
    if (rc != SQLITE_DONE) {
      rows->clear();
      return Error("archive");
    }
  }
  return Status::Ok();
}

Status LocalArchive::FileDigest(platform::Env& env, const std::filesystem::path& path,
                                std::string* sha256) {
  sha256->clear();
  platform::FileIdentity identity;
  if (Status s = env.Identify(path, &identity); !s.ok()) return s;
  const std::string key = path.string();
  const std::string id_text = IdentityText(identity);
  {
    Statement st;
    if (Prepare("SELECT sha256 FROM file_digests WHERE path = ? AND identity = ?", &st.stmt).ok()) {
      sqlite3_bind_text(st.stmt, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(st.stmt, 2, id_text.data(), static_cast<int>(id_text.size()),
                        SQLITE_TRANSIENT);
      if (sqlite3_step(st.stmt) == SQLITE_ROW) {
        *sha256 = ColumnText(st.stmt, 0).value_or("");
        if (!sha256->empty()) return Status::Ok();
      }
    }
  }
  std::unique_ptr<platform::BinaryFile> file;
  if (Status s = env.OpenBinary(path, false, &file); !s.ok()) return s;
  platform::Sha256 digest;
  std::string block(1 << 20, '\0');
  std::uint64_t offset = 0;
  for (;;) {
    std::size_t read = 0;
    if (Status s = file->ReadAt(offset, block.data(), block.size(), &read); !s.ok()) return s;
    if (read == 0) break;
    digest.Update(std::string_view(block.data(), read));
    offset += read;
  }
  *sha256 = digest.HexDigest();
  // The file may have changed while it was read; its digest is then not remembered.
  platform::FileIdentity after;
  if (!env.Identify(path, &after).ok() || !(after == identity)) return Status::Ok();
  Statement st;
  if (Prepare("INSERT OR REPLACE INTO file_digests (path, identity, sha256) VALUES (?, ?, ?)",
              &st.stmt)
          .ok()) {
    sqlite3_bind_text(st.stmt, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st.stmt, 2, id_text.data(), static_cast<int>(id_text.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(st.stmt, 3, sha256->data(), static_cast<int>(sha256->size()),
                      SQLITE_TRANSIENT);
    (void)sqlite3_step(st.stmt);  // a digest not remembered is only read again next time
  }
  return Status::Ok();
}

}  // namespace krm::archive
