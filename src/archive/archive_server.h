// ArchiveServer: the lab's PostgreSQL server that collects the records of all its stations.
//
// The server holds the same table `stone_grades` as the local archive (without the local send
// mark), created on first use and brought up to date under an advisory lock, so that many stations
// meeting an empty server at once create it once. Its version is the one row of
// `krm_archive_schema`:
//   version 1: stone_grades keyed by run_id, graded_at as timestamptz, messages and measurement
//              as json (which keeps the keys in file order and repeated keys, unlike jsonb);
//   version 2: + table_class_name, + an index on stone_id, measurement compressed with lz4 where
//              the server has it (cheaper than the default for values of a few kilobytes).
// Sending is idempotent: a run id the server already holds is passed over, so records that were
// sent but not marked sent locally (a run killed in between) go again without a duplicate. One
// record goes as INSERT ... ON CONFLICT (run_id) DO NOTHING; more go in one transaction that
// holds an advisory lock per station of the records, leaves out the run ids the server has, and
// copies the rest straight into the table (COPY), so that every row is written once.
//
// The PostgreSQL client library is optional in the build: without it ServerSupported() is false
// and Connect says so.
#ifndef KRM_ARCHIVE_ARCHIVE_SERVER_H_
#define KRM_ARCHIVE_ARCHIVE_SERVER_H_

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_rows.h"
#include "platform/status.h"

namespace krm::archive {

inline constexpr int kServerSchemaVersion = 2;

// Points of a send at which a test may step in (stop the server, end the process).
enum class SendStage {
  kBeforeCommit,  // the records are with the server, not yet committed
  kCommitted,     // the server has committed them
};

struct ServerOptions {
  // Longest wait for a connection; a `connect_timeout` in the URL takes precedence.
  std::chrono::milliseconds connect_timeout{2000};
  // Called at each stage of a send (tests only).
  std::function<void(SendStage)> on_stage;
};

using ServerValue = std::optional<std::string>;
using ServerRow = std::vector<ServerValue>;

class ArchiveServer {
 public:
  virtual ~ArchiveServer() = default;

  // Creates the archive's schema on the server or brings it up to date. Invalid for a schema
  // newer than this program knows.
  virtual Status PrepareSchema() = 0;
  // Sends the rows in one transaction; run ids the server holds already are passed over.
  virtual Status Send(std::span<const StoredRow> rows) = 0;
  // Runs one statement with text parameters ($1, $2, ...) and gives its rows as text; without
  // parameters `sql` may hold several statements (the rows are then those of the last).
  virtual Status Query(std::string_view sql, const std::vector<ServerValue>& params,
                       std::vector<ServerRow>* rows) = 0;
  // False once the connection is lost (the server stopped or went away).
  virtual bool connected() const = 0;
};

// True when this build can send to a server.
bool ServerSupported();

// Connects to the server at `url` (a PostgreSQL connection string or URI). An error when the
// server cannot be reached in time, or when this build has no server support.
Status ConnectServer(const std::string& url, const ServerOptions& options,
                     std::unique_ptr<ArchiveServer>* server);

// The server's schema of version 1 and the step to version 2 (for the migration's tests).
std::string_view ServerSchemaVersion1();
std::string_view ServerMigration1To2();

// The server's SELECT list that gives a row in the local archive's text form (graded_at as
// "YYYY-MM-DDTHH:MM:SS.mmmZ"), for reading records back.
std::string ServerSelectList();

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVE_SERVER_H_
