#include "platform/database.h"

#include <sqlite3.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstring>

#include <algorithm>
#include <cctype>
#include <system_error>

namespace krm::platform {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Finalizes a prepared statement on every way out.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

// SQLite counts its memory in use behind one lock that every allocation of every connection takes;
// nothing here reads the count, and a run's connections work on two threads at once. Set before
// SQLite's first use, which comes after the program's start.
const bool kMemoryCountOff = [] {
  return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
}();

}  // namespace

Affinity AffinityOf(std::string_view declared_type) {
  const std::string type = Upper(declared_type);
  if (type.find("INT") != std::string::npos) return Affinity::kInteger;
  if (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
      type.find("TEXT") != std::string::npos)
    return Affinity::kText;
  if (type.empty() || type.find("BLOB") != std::string::npos) return Affinity::kBlob;
  if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
      type.find("DOUB") != std::string::npos)
    return Affinity::kReal;
  return Affinity::kNumeric;
}

Database::~Database() {
  if (handle_ != nullptr) {
    if (sqlite3_get_autocommit(handle_) == 0)
      sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr);
    // The closing copies the log into the database: with its syncs (KeepLogFiles).
    if (log_kept_) sqlite3_exec(handle_, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_close_v2(handle_);
  }
}

namespace {

// The path as an SQLite file URI that opens it for reading only and without locks.
std::string ImmutableUri(const std::filesystem::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      uri.push_back(static_cast<char>(c));
    } else {
      uri += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return uri + "?immutable=1";
}

#ifdef _WIN32
const char* ReadWriteVfs() {
  return nullptr;  // the system's own: Windows has no folder to sync
}
#else
// SQLite syncs the folder of a write-ahead log it opened to create (as it always opens one), at
// the log's first sync: a disk flush at every run, although the folder entry of a log kept from
// run to run does not change. This file system is the system's own, except that it opens a log
// that exists already without creating it.
int OpenLogWithoutCreating(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags,
                           int* out_flags) {
  auto* system = static_cast<sqlite3_vfs*>(vfs->pAppData);
  if ((flags & SQLITE_OPEN_WAL) != 0 && (flags & SQLITE_OPEN_CREATE) != 0 && name != nullptr &&
      ::access(name, F_OK) == 0 &&
      system->xOpen(system, name, file, flags & ~SQLITE_OPEN_CREATE, out_flags) == SQLITE_OK) {
    return SQLITE_OK;
  }
  return system->xOpen(system, name, file, flags, out_flags);
}

const char* ReadWriteVfs() {
  static const char* const name = [] {
    static sqlite3_vfs vfs;
    sqlite3_vfs* system = sqlite3_vfs_find(nullptr);
    if (system == nullptr) return static_cast<const char*>(nullptr);
    vfs = *system;
    vfs.pNext = nullptr;
    vfs.zName = "krm-kept-log";
    vfs.pAppData = system;
    vfs.xOpen = OpenLogWithoutCreating;
    return sqlite3_vfs_register(&vfs, /*makeDflt=*/0) == SQLITE_OK ? vfs.zName : nullptr;
  }();
  return name;
}
#endif

}  // namespace

// SQLite takes file names as UTF-8, which is what path::string() gives on Windows as well.
Status Database::Open(const std::filesystem::path& path, std::unique_ptr<Database>* db) {
  return OpenAs(path, path.string(), SQLITE_OPEN_READWRITE, db, ReadWriteVfs());
}

Status Database::OpenForReading(const std::filesystem::path& path, std::unique_ptr<Database>* db) {
  return OpenAs(path, ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, db);
}

Status Database::OpenInMemory(std::string_view bytes, std::unique_ptr<Database>* db) {
  db->reset();
  sqlite3* handle = nullptr;
  if (sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(handle);
    return Status::IoError("cannot open a database in memory", "out of memory");
  }
  std::unique_ptr<Database> opened(new Database(handle));
  if (!bytes.empty()) {
    // SQLite takes the copy over and frees it with the connection.
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size()));
    if (copy == nullptr) return Status::IoError("cannot copy a database", "out of memory");
    std::memcpy(copy, bytes.data(), bytes.size());
    const int rc =
        sqlite3_deserialize(handle, "main", copy, static_cast<sqlite3_int64>(bytes.size()),
                            static_cast<sqlite3_int64>(bytes.size()),
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
    if (rc != SQLITE_OK) return opened->Error("cannot read the database");
    std::vector<Row> rows;
    Status s = opened->Query("SELECT count(*) FROM sqlite_master", {}, &rows);
    if (!s.ok()) return Status::Corrupt("no database: " + s.message(), s.reason());
  }
  *db = std::move(opened);
  return Status::Ok();
}

Status Database::OpenAs(const std::filesystem::path& path, const std::string& name, int flags,
                        std::unique_ptr<Database>* db, const char* vfs) {
  db->reset();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Status::NotFound(path.string() + ": no such database file", "no such database file");
  }
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &handle, flags, vfs);
  if (rc != SQLITE_OK) {
    std::string what = path.string() + ": " + (handle ? sqlite3_errmsg(handle) : "cannot open");
    sqlite3_close_v2(handle);
    return Status::IoError(what);
  }
  std::unique_ptr<Database> opened(new Database(handle));
  // SQLite reads the header lazily; a first look at the schema tells a database from other bytes.
  // Only that makes a file unopenable here: a database that is locked by another writer, or that
  // cannot be written (a read-only folder), is open all the same, and the statements that need
  // what it withholds fail and say why. The look does not wait: a database that is busy is one.
  const int probe =
      sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  const int primary = probe & 0xFF;
  if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
    return Status::Corrupt(path.string() + ": " + sqlite3_errmsg(handle), sqlite3_errmsg(handle));
  }
  sqlite3_busy_timeout(handle, kWriterWaitMs);
  *db = std::move(opened);
  return Status::Ok();
}

Status Database::Create(const std::filesystem::path& path, std::unique_ptr<Database>* db) {
  db->reset();
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || ec) {
    return Status::Invalid(path.string() + ": already exists");
  }
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(path.string().c_str(), &handle,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    std::string what = path.string() + ": " + (handle ? sqlite3_errmsg(handle) : "cannot create");
    sqlite3_close_v2(handle);
    return Status::IoError(what);
  }
  sqlite3_busy_timeout(handle, kWriterWaitMs);
  db->reset(new Database(handle));
  return Status::Ok();
}

Status Database::Error(std::string_view what) const {
  return Status::IoError(std::string(what) + ": " + sqlite3_errmsg(handle_),
                         sqlite3_errmsg(handle_));
}

Status Database::UseWriteAheadLog() {
  // The change needs the database to itself for a moment. It is tried without waiting: the
  // statements that follow would wait for the same readers or writer anyway.
  sqlite3_busy_timeout(handle_, 0);
  std::vector<Row> rows;
  Status s = Query("PRAGMA journal_mode", {}, &rows);
  const auto is_wal = [&rows] {
    return !rows.empty() && rows[0][0] && Upper(*rows[0][0]) == "WAL";
  };
  if (s.ok() && !is_wal()) {
    s = Query("PRAGMA journal_mode=WAL", {}, &rows);
    if (s.ok() && !is_wal()) {
      s = Status::IoError("cannot switch to the write-ahead log",
                          "cannot switch to the write-ahead log");
    }
  }
  sqlite3_busy_timeout(handle_, kWriterWaitMs);
  return s;
}

void Database::KeepLogFiles() {
  int keep = 1;
  sqlite3_file_control(handle_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
  // A kept log is cut to nothing when the last connection has copied it into the database.
  (void)Execute("PRAGMA journal_size_limit = 0");
  // Commits go into the log without a sync of any kind, not even of the log's header when it
  // starts anew: until MakeDurable nothing of them reaches the database file, so a power cut can
  // only lose them, never leave the database half written. Hence also no copying of the log
  // into the database by this connection on its own, which would sync nothing at this level.
  if (Execute("PRAGMA wal_autocheckpoint = 0").ok() && Execute("PRAGMA synchronous = OFF").ok()) {
    log_kept_ = true;
  }
}

Status Database::MakeDurable() {
  if (!log_kept_) return Status::Ok();
  // Back to SQLite's normal level, at which copying the log syncs the log before it writes the
  // database, and the database after; the closing then finds nothing left to copy and only
  // empties the log. When another connection's reading keeps part of the log from being copied,
  // the log may not have been synced: that is done here then.
  const Status normal = Execute("PRAGMA synchronous = NORMAL");
  if (!normal.ok()) return normal;
  log_kept_ = false;
  int in_log = 0, copied = 0;
  if (sqlite3_wal_checkpoint_v2(handle_, "main", SQLITE_CHECKPOINT_PASSIVE, &in_log, &copied) ==
          SQLITE_OK &&
      copied == in_log) {
    return Status::Ok();
  }
  return SyncLog();
}

Status Database::SyncLog() {
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(handle_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
      log == nullptr || log->pMethods == nullptr) {
    return Status::IoError("cannot sync the write-ahead log: it is not open",
                           "write-ahead log not open");
  }
  const int rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
  if (rc != SQLITE_OK) {
    return Status::IoError(std::string("cannot sync the write-ahead log: ") + sqlite3_errstr(rc),
                           sqlite3_errstr(rc));
  }
  return Status::Ok();
}

Status Database::Query(std::string_view sql, const std::vector<Value>& params,
                       std::vector<Row>* rows, std::vector<std::string>* column_names) {
  if (rows) rows->clear();
  if (column_names) column_names->clear();
  Statement st;
  if (sqlite3_prepare_v2(handle_, sql.data(), static_cast<int>(sql.size()), &st.stmt, nullptr) !=
      SQLITE_OK) {
    return Error(sql);
  }
  if (st.stmt == nullptr) return Status::Ok();  // an empty statement
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i + 1);
    const int rc = params[i]
                       ? sqlite3_bind_text(st.stmt, index, params[i]->data(),
                                           static_cast<int>(params[i]->size()), SQLITE_TRANSIENT)
                       : sqlite3_bind_null(st.stmt, index);
    if (rc != SQLITE_OK) return Error(sql);
  }
  const int columns = sqlite3_column_count(st.stmt);
  if (column_names) {
    for (int c = 0; c < columns; ++c) column_names->emplace_back(sqlite3_column_name(st.stmt, c));
  }
  std::vector<Row> collected;
  for (;;) {
    const int rc = sqlite3_step(st.stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) return Error(sql);
    Row row;
    row.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      const unsigned char* text = sqlite3_column_text(st.stmt, c);
      if (text == nullptr) {
        row.emplace_back(std::nullopt);
      } else {
        row.emplace_back(std::string(reinterpret_cast<const char*>(text),
                                     static_cast<std::size_t>(sqlite3_column_bytes(st.stmt, c))));
      }
    }
    collected.push_back(std::move(row));
  }
  if (rows) *rows = std::move(collected);
  return Status::Ok();
}

Status Database::Execute(std::string_view sql, const std::vector<Value>& params) {
  return Query(sql, params, nullptr);
}

Status Database::ExecuteScript(std::string_view sql) {
  const std::string script(sql);
  char* message = nullptr;
  if (sqlite3_exec(handle_, script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string what = message ? message : "script failed";
    sqlite3_free(message);
    return Status::IoError(what);
  }
  return Status::Ok();
}

Status Database::Columns(std::string_view table, std::vector<Column>* columns) {
  columns->clear();
  std::vector<Row> rows;
  Status s = Query("SELECT name, type FROM pragma_table_info(?)", {std::string(table)}, &rows);
  if (!s.ok()) return s;
  if (rows.empty()) return Status::NotFound(std::string(table) + ": no such table");
  for (const Row& row : rows) {
    columns->push_back({row[0].value_or(""), AffinityOf(row[1].value_or(""))});
  }
  return Status::Ok();
}

Status Database::Serialize(std::string* bytes) {
  bytes->clear();
  sqlite3_int64 size = 0;
  unsigned char* data = sqlite3_serialize(handle_, "main", &size, 0);
  if (data == nullptr) return Error("cannot copy the database");
  bytes->assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
  sqlite3_free(data);
  return Status::Ok();
}

bool Database::HasTable(std::string_view table) {
  std::vector<Row> rows;
  Status s = Query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
                   {std::string(table)}, &rows);
  return s.ok() && !rows.empty();
}

Status Database::Begin() {
  return Execute("BEGIN IMMEDIATE");
}
Status Database::Commit() {
  return Execute("COMMIT");
}
Status Database::Rollback() {
  return Execute("ROLLBACK");
}

std::string Database::QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace krm::platform
