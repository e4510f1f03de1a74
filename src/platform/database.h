// Database: the station's two databases (the grade tables and the report database), SQLite files
// standing in for the original's record sets.
//
// Opening never creates a file. Queries give every value in SQLite's text form, rows in the order
// the statement yields them ("SELECT * FROM T" in rowid order). Table names always come from the
// program; values are always bound, never spliced into SQL.
#ifndef KRM_PLATFORM_DATABASE_H_
#define KRM_PLATFORM_DATABASE_H_

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

struct sqlite3;

namespace krm::platform {

// A value as text; no value for SQL NULL.
using Value = std::optional<std::string>;
using Row = std::vector<Value>;

// Column affinity as SQLite derives it from the declared type.
enum class Affinity { kInteger, kReal, kNumeric, kText, kBlob };

struct Column {
  std::string name;
  Affinity affinity;
};

class Database {
 public:
  // How long a statement waits for another connection's write lock before it fails.
  static constexpr int kWriterWaitMs = 5000;

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens an existing database read-write. NotFound for a missing file or a folder, Corrupt for a
  // file that is no SQLite database, IoError when it cannot be opened. A database that another
  // connection holds locked, or that cannot be written, opens: its statements fail instead.
  static Status Open(const std::filesystem::path& path, std::unique_ptr<Database>* db);
  // Opens, as Open does, a database that nothing changes while it is open (the grade tables
  // database during a grading): for reading only, without file locks or journal checks.
  static Status OpenForReading(const std::filesystem::path& path, std::unique_ptr<Database>* db);
  // Opens a database held in memory: the bytes of a database file (read, as a file's copy), or
  // a new empty one when `bytes` is empty. Corrupt when the bytes are no database.
  static Status OpenInMemory(std::string_view bytes, std::unique_ptr<Database>* db);
  // Creates a new, empty database file and opens it. Invalid when something already exists under
  // `path` (an existing file is never touched), IoError when the file cannot be created.
  static Status Create(const std::filesystem::path& path, std::unique_ptr<Database>* db);

  // Runs `sql` with `params` bound to its "?" in order and collects every row. A failing
  // statement (a missing table, a locked or damaged file) gives an error and no rows.
  Status Query(std::string_view sql, const std::vector<Value>& params, std::vector<Row>* rows,
               std::vector<std::string>* column_names = nullptr);
  // Runs a statement that returns no rows.
  Status Execute(std::string_view sql, const std::vector<Value>& params = {});
  // Runs several statements from a script (a schema file); no parameters.
  Status ExecuteScript(std::string_view sql);

  // The bytes of the database as a file would hold them (an in-memory database's too).
  Status Serialize(std::string* bytes);

  // The columns of `table` with their affinity; NotFound when there is no such table.
  Status Columns(std::string_view table, std::vector<Column>* columns);
  // True when the database has a table of that name (names matched without regard to case).
  bool HasTable(std::string_view table);

  // One transaction around a group of statements: Commit makes them permanent (after
  // KeepLogFiles, safe from a power cut once MakeDurable or the closing has synced them), Rollback
  // (or the destruction of an open database) undoes them.
  Status Begin();
  Status Commit();
  Status Rollback();

  // Puts the database in SQLite's write-ahead-log mode, unless it is already: readers then never
  // block a writer, nor a writer the readers. The mode is kept in the file. An error when the
  // change cannot be made now (another connection is using the database, the file is read-only).
  Status UseWriteAheadLog();

  // For the rest of this connection to a database in the write-ahead log: the log and its index
  // stay beside the database when the connection closes (the log emptied once the closing
  // connection has copied it into the database and synced it), so that a connection neither
  // makes nor removes files; and a commit is written to the log without waiting for the disk, and
  // stays there: MakeDurable makes the commits so far durable, and so does closing the
  // connection.
  void KeepLogFiles();

  // Makes every commit so far survive a power cut: copies the write-ahead log into the database
  // file, syncing the log before and the database after; when another connection's reading keeps
  // part of the log from being copied, syncs the log instead. Without KeepLogFiles each commit was
  // synced by itself, and this does nothing. An error when neither could be done.
  Status MakeDurable();

  // Quotes an identifier for SQL ("name" with inner quotes doubled); for names the program has
  // checked against the database's real tables and columns.
  static std::string QuoteName(std::string_view name);

 private:
  explicit Database(sqlite3* handle) : handle_(handle) {}
  // Opens the file at `path` under the SQLite file name `name` with the open `flags`, through the
  // SQLite file system `vfs` (null for the default).
  static Status OpenAs(const std::filesystem::path& path, const std::string& name, int flags,
                       std::unique_ptr<Database>* db, const char* vfs = nullptr);
  Status Error(std::string_view what) const;
  // Syncs the write-ahead log's file.
  Status SyncLog();
  sqlite3* handle_;
  bool log_kept_ = false;
};

// Affinity by SQLite's rules on a declared column type.
Affinity AffinityOf(std::string_view declared_type);

}  // namespace krm::platform

#endif  // KRM_PLATFORM_DATABASE_H_
