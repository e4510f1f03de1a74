// The archive server through libpq. Built only when the PostgreSQL client library's headers are
// found; the library itself is loaded when a program first reaches a server (LoadLibpq).
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>

#include "archive/archive_server.h"
#include "platform/system.h"

namespace krm::archive {
namespace {

// The functions of libpq that the archive calls.
// clang-format off
#define KRM_LIBPQ_FUNCTIONS(X)                                                                  \
  X(PQclear) X(PQconnectPoll) X(PQconnectStartParams) X(PQconninfoFree) X(PQconninfoParse)      \
  X(PQerrorMessage) X(PQexec) X(PQexecParams) X(PQfinish) X(PQfreemem) X(PQgetResult)           \
  X(PQgetisnull) X(PQgetlength) X(PQgetvalue) X(PQnfields) X(PQntuples) X(PQparameterStatus)    \
  X(PQputCopyData) X(PQputCopyEnd) X(PQresultErrorMessage) X(PQresultStatus)                    \
  X(PQsetNoticeProcessor) X(PQsocket) X(PQstatus) X(PQtransactionStatus)
// clang-format on

// libpq, loaded on first use rather than linked: with the libraries it pulls in (TLS, Kerberos,
// LDAP; two dozen in all) it costs a program several milliseconds to load at every start, which a
// station without a server should not pay, and a station with one pays on the thread that reaches
// the server while the stone is graded.
struct Libpq {
#define KRM_LIBPQ_MEMBER(name) decltype(&::name) name = nullptr;
  KRM_LIBPQ_FUNCTIONS(KRM_LIBPQ_MEMBER)
#undef KRM_LIBPQ_MEMBER
  std::string error;  // why it could not be loaded; empty when it was
};

const Libpq& LoadLibpq() {
  static const Libpq loaded = [] {
    Libpq pq;
#ifdef _WIN32
    constexpr const char* kName = "libpq.dll";
#else
    constexpr const char* kName = "libpq.so.5";
#endif
    std::string why;
    void* library = platform::LoadSharedLibrary(kName, &why);
    const auto find = [&](const char* name) { return platform::FindSharedSymbol(library, name); };
    if (library == nullptr) {
      pq.error =
          std::string("the PostgreSQL client library ") + kName + " could not be loaded: " + why;
      return pq;
    }
#define KRM_LIBPQ_FIND(name)                                  \
  pq.name = reinterpret_cast<decltype(pq.name)>(find(#name)); \
  if (pq.name == nullptr && pq.error.empty()) {               \
    pq.error = std::string(kName) + " has no " + #name;       \
  }
    KRM_LIBPQ_FUNCTIONS(KRM_LIBPQ_FIND)
#undef KRM_LIBPQ_FIND
    return pq;
  }();
  return loaded;
}

// The loaded library; only called once ConnectPostgres has loaded it.
const Libpq& Pq() {
  return LoadLibpq();
}

// Key of the advisory lock that one station at a time holds while it creates or migrates the
// server's schema ("krmarch").
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(30227880394580840)";

// Rows per COPY buffer before it goes to the server.
constexpr std::size_t kCopyBuffer = 1 << 20;

// First line of a libpq message, without its trailing blanks.
std::string FirstLine(const char* message) {
  std::string text = message ? message : "";
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  if (text.rfind("ERROR:  ", 0) == 0 || text.rfind("FATAL:  ", 0) == 0) text.erase(0, 8);
  return text.empty() ? "unknown server error" : text;
}

struct Result {
  PGresult* res = nullptr;
  explicit Result(PGresult* r) : res(r) {}
  ~Result() { Pq().PQclear(res); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
};

void IgnoreNotice(void*, const char*) {}

// Appends a value to a COPY text row: backslash, tab, line feed and carriage return escaped;
// NULL as \N. Runs of other bytes go in one piece.
void AppendCopyValue(const std::optional<std::string>& value, std::string* out) {
  if (!value) {
    out->append("\\N");
    return;
  }
  const std::string& text = *value;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\t' ? "\\t"
                         : c == '\n' ? "\\n"
                         : c == '\r' ? "\\r"
                                     : nullptr;
    if (escape == nullptr) continue;
    out->append(text, plain, i - plain);
    out->append(escape);
    plain = i + 1;
  }
  out->append(text, plain, text.size() - plain);
}

class PostgresServer : public ArchiveServer {
 public:
  PostgresServer(PGconn* conn, ServerOptions options) : conn_(conn), options_(std::move(options)) {}
  ~PostgresServer() override { Pq().PQfinish(conn_); }

  bool connected() const override { return Pq().PQstatus(conn_) == CONNECTION_OK; }

  Status PrepareSchema() override {
    // Mostly the schema is there and current: one look, no lock.
    {
      Result r(Pq().PQexec(conn_, "SELECT version FROM krm_archive_schema"));
      if (Pq().PQresultStatus(r.res) == PGRES_TUPLES_OK && Pq().PQntuples(r.res) == 1) {
        const int version = std::atoi(Pq().PQgetvalue(r.res, 0, 0));
        if (version == kServerSchemaVersion) return Status::Ok();
        if (version > kServerSchemaVersion) return Newer(version);
      } else if (!connected()) {
        return Failure(r.res);
      }
    }
    if (Status s = Run("BEGIN"); !s.ok()) return s;
    Status s = Run(kSchemaLock);
    if (s.ok()) s = Run("CREATE TABLE IF NOT EXISTS krm_archive_schema (version integer NOT NULL)");
    int version = 0;
    if (s.ok()) {
      Result r(Pq().PQexec(conn_, "SELECT version FROM krm_archive_schema"));
      if (Pq().PQresultStatus(r.res) != PGRES_TUPLES_OK) {
        s = Failure(r.res);
      } else if (Pq().PQntuples(r.res) > 0) {
        version = std::atoi(Pq().PQgetvalue(r.res, 0, 0));
      }
    }
    if (s.ok() && version > kServerSchemaVersion) s = Newer(version);
    if (s.ok() && version < 1) s = Run(std::string(ServerSchemaVersion1()));
    if (s.ok() && version < 2) s = Run(std::string(ServerMigration1To2()));
    if (s.ok()) s = Run("COMMIT");
    if (!s.ok()) Abort();
    return s;
  }

  Status Send(std::span<const StoredRow> rows) override {
    if (rows.empty()) return Status::Ok();
    return rows.size() == 1 ? SendOne(rows.front()) : SendMany(rows);
  }

  Status Query(std::string_view sql, const std::vector<ServerValue>& params,
               std::vector<ServerRow>* rows) override {
    rows->clear();
    std::vector<const char*> values;
    for (const ServerValue& p : params) values.push_back(p ? p->c_str() : nullptr);
    const std::string text(sql);
    // Without parameters the statement may be a script of several.
    Result r(params.empty()
                 ? Pq().PQexec(conn_, text.c_str())
                 : Pq().PQexecParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0));
    const ExecStatusType st = Pq().PQresultStatus(r.res);
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) return Failure(r.res);
    const int columns = Pq().PQnfields(r.res);
    for (int i = 0; i < Pq().PQntuples(r.res); ++i) {
      ServerRow row;
      for (int c = 0; c < columns; ++c) {
        if (Pq().PQgetisnull(r.res, i, c)) {
          row.emplace_back(std::nullopt);
        } else {
          row.emplace_back(std::string(Pq().PQgetvalue(r.res, i, c),
                                       static_cast<std::size_t>(Pq().PQgetlength(r.res, i, c))));
        }
      }
      rows->push_back(std::move(row));
    }
    return Status::Ok();
  }

 private:
  Status Newer(int version) {
    const std::string reason = "archive server schema version " + std::to_string(version) +
                               " is newer than this program's " +
                               std::to_string(kServerSchemaVersion);
    return Status::Invalid(reason, reason);
  }

  Status Failure(const PGresult* res) {
    const char* message = res ? Pq().PQresultErrorMessage(res) : nullptr;
    if (message == nullptr || *message == '\0') message = Pq().PQerrorMessage(conn_);
    const std::string reason = FirstLine(message);
    return Status::IoError("archive server: " + reason, reason);
  }

  Status Run(const std::string& sql) {
    Result r(Pq().PQexec(conn_, sql.c_str()));
    const ExecStatusType st = Pq().PQresultStatus(r.res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) return Failure(r.res);
    return Status::Ok();
  }

  void Abort() {
    if (connected() && Pq().PQtransactionStatus(conn_) != PQTRANS_IDLE) {
      Result r(Pq().PQexec(conn_, "ROLLBACK"));
    }
  }

  void Stage(SendStage stage) {
    if (options_.on_stage) options_.on_stage(stage);
  }

  Status SendOne(const StoredRow& row) {
    if (insert_sql_.empty()) {
      insert_sql_ = "INSERT INTO stone_grades (" + ColumnList() + ") VALUES (";
      for (std::size_t c = 0; c < kColumnCount; ++c) {
        insert_sql_ += (c ? ", $" : "$") + std::to_string(c + 1);
      }
      insert_sql_ += ") ON CONFLICT (run_id) DO NOTHING";
    }
    // Text parameters go as C strings: the column texts hold no zero byte (StoredText writes
    // the byte 0 as another character).
    const char* values[kColumnCount];
    for (std::size_t c = 0; c < kColumnCount; ++c) values[c] = row[c] ? row[c]->c_str() : nullptr;
    Result r(Pq().PQexecParams(conn_, insert_sql_.c_str(), static_cast<int>(kColumnCount), nullptr,
                               values, nullptr, nullptr, 0));
    if (Pq().PQresultStatus(r.res) != PGRES_COMMAND_OK) return Failure(r.res);
    Stage(SendStage::kCommitted);
    return Status::Ok();
  }

  Status SendMany(std::span<const StoredRow> rows) {
    // Senders of the same records are senders of the same station's archive: an advisory lock
    // per station makes the look for held run ids and the copy one step for them.
    std::vector<std::string> stations;
    std::vector<std::string> ids;
    for (const StoredRow& row : rows) {
      stations.push_back(row[kStation].value_or(""));
      ids.push_back(row[kRunId].value_or(""));
    }
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    Status s = Run("BEGIN");
    if (s.ok()) {
      std::vector<ServerRow> none;
      s = Query(
          "SELECT pg_advisory_xact_lock(7041645, hashtext(station)) FROM "
          "unnest($1::text[]) AS station ORDER BY station",
          {ArrayLiteral(stations)}, &none);
    }
    std::set<std::string> held;
    if (s.ok()) {
      std::vector<ServerRow> found;
      s = Query("SELECT run_id FROM stone_grades WHERE run_id = ANY($1::text[])",
                {ArrayLiteral(ids)}, &found);
      for (const ServerRow& row : found) held.insert(row[0].value_or(""));
    }
    if (s.ok()) {
      std::vector<const StoredRow*> missing;
      for (const StoredRow& row : rows) {
        // Each run id once, also when the rows repeat one.
        if (held.insert(row[kRunId].value_or("")).second) missing.push_back(&row);
      }
      if (!missing.empty()) {
        s = Copy("COPY stone_grades (" + ColumnList() + ") FROM STDIN", missing);
      }
    }
    if (s.ok()) {
      Stage(SendStage::kBeforeCommit);
      s = Run("COMMIT");
    }
    if (!s.ok()) {
      Abort();
      return s;
    }
    Stage(SendStage::kCommitted);
    return Status::Ok();
  }

  // A text[] literal of the texts: each in double quotes, with '"' and '\\' escaped.
  static std::string ArrayLiteral(const std::vector<std::string>& texts) {
    std::string literal = "{";
    for (const std::string& text : texts) {
      if (literal.size() > 1) literal.push_back(',');
      literal.push_back('"');
      for (const char c : text) {
        if (c == '"' || c == '\\') literal.push_back('\\');
        literal.push_back(c);
      }
      literal.push_back('"');
    }
    literal.push_back('}');
    return literal;
  }

  Status Copy(const std::string& sql, const std::vector<const StoredRow*>& rows) {
    {
      Result r(Pq().PQexec(conn_, sql.c_str()));
      if (Pq().PQresultStatus(r.res) != PGRES_COPY_IN) return Failure(r.res);
    }
    std::string buffer;
    buffer.reserve(kCopyBuffer + (64 << 10));
    bool sent = true;
    for (const StoredRow* row : rows) {
      for (std::size_t c = 0; c < kColumnCount; ++c) {
        if (c) buffer.push_back('\t');
        AppendCopyValue((*row)[c], &buffer);
      }
      buffer.push_back('\n');
      if (buffer.size() >= kCopyBuffer) {
        sent = Pq().PQputCopyData(conn_, buffer.data(), static_cast<int>(buffer.size())) == 1;
        buffer.clear();
        if (!sent) break;
      }
    }
    if (sent && !buffer.empty()) {
      sent = Pq().PQputCopyData(conn_, buffer.data(), static_cast<int>(buffer.size())) == 1;
    }
    if (Pq().PQputCopyEnd(conn_, sent ? nullptr : "records not sent whole") != 1) {
      return Failure(nullptr);
    }
    Status s = Status::Ok();
    while (PGresult* res = Pq().PQgetResult(conn_)) {
      Result r(res);
      if (s.ok() && Pq().PQresultStatus(res) != PGRES_COMMAND_OK) s = Failure(res);
    }
    if (s.ok() && !sent) s = Failure(nullptr);
    return s;
  }

  PGconn* conn_;
  ServerOptions options_;
  std::string insert_sql_;
};

// The connection string's own connect_timeout, when it has one.
std::optional<std::chrono::milliseconds> UrlTimeout(const std::string& url) {
  char* error = nullptr;
  PQconninfoOption* options = Pq().PQconninfoParse(url.c_str(), &error);
  Pq().PQfreemem(error);
  if (options == nullptr) return std::nullopt;
  std::optional<std::chrono::milliseconds> timeout;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val != nullptr && *o->val) {
      const int seconds = std::atoi(o->val);
      if (seconds > 0) timeout = std::chrono::seconds(seconds);
    }
  }
  Pq().PQconninfoFree(options);
  return timeout;
}

}  // namespace

Status ConnectPostgres(const std::string& url, const ServerOptions& options,
                       std::unique_ptr<ArchiveServer>* server) {
  if (const std::string& error = LoadLibpq().error; !error.empty()) {
    return Status::IoError("archive server: " + error, error);
  }
  using Clock = std::chrono::steady_clock;
  const auto timeout = UrlTimeout(url).value_or(options.connect_timeout);
  const auto deadline = Clock::now() + timeout;
  // Later settings win over the URL's: the archive's texts are UTF-8 whatever the URL says.
  const char* keywords[] = {"tcp_user_timeout", "fallback_application_name", "dbname",
                            "client_encoding", nullptr};
  const char* values[] = {"10000", "krm-archive", url.c_str(), "UTF8", nullptr};
  PGconn* conn = Pq().PQconnectStartParams(keywords, values, 1);
  if (conn == nullptr) return Status::IoError("archive server: out of memory", "out of memory");
  auto fail = [&](std::string reason) {
    Pq().PQfinish(conn);
    return Status::IoError("archive server: " + reason, reason);
  };
  if (Pq().PQstatus(conn) == CONNECTION_BAD) return fail(FirstLine(Pq().PQerrorMessage(conn)));
  // Waits are cut into slices when the attempt may be given up meanwhile.
  const long slice = options.cancel ? 20 : std::numeric_limits<int>::max();
  PostgresPollingStatusType poll_status = PGRES_POLLING_WRITING;
  while (poll_status != PGRES_POLLING_OK) {
    if (poll_status == PGRES_POLLING_FAILED) return fail(FirstLine(Pq().PQerrorMessage(conn)));
    if (options.cancel && options.cancel->load()) return fail("given up");
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return fail("no answer within " + std::to_string(timeout.count()) + " ms");
    pollfd fd{Pq().PQsocket(conn),
              static_cast<short>(poll_status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(std::min<long>(left, slice)));
    if (ready < 0 && errno != EINTR) return fail(std::strerror(errno));
    if (ready == 0) continue;  // the deadline is checked above
    poll_status = Pq().PQconnectPoll(conn);
  }
  const char* encoding = Pq().PQparameterStatus(conn, "server_encoding");
  if (encoding == nullptr ||
      (std::strcmp(encoding, "UTF8") != 0 && std::strcmp(encoding, "SQL_ASCII") != 0)) {
    return fail(std::string("archive database encoding is ") + (encoding ? encoding : "unknown") +
                ", not UTF8");
  }
  Pq().PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
  *server = std::make_unique<PostgresServer>(conn, options);
  return Status::Ok();
}

}  // namespace krm::archive
