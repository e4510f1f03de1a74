#include "archive/archive_server.h"

namespace krm::archive {
namespace {

constexpr std::string_view kSchema1 = R"sql(
CREATE TABLE stone_grades (
  run_id text PRIMARY KEY,
  station text NOT NULL,
  graded_at timestamptz NOT NULL,
  stone_id text NOT NULL,
  measurement_sha256 text NOT NULL,
  grade_data_sha256 text NOT NULL,
  program_version text NOT NULL,
  cut_grade text NOT NULL,
  overall_class smallint,
  symmetry_grade text NOT NULL,
  table_class smallint,
  messages json NOT NULL,
  girdle_limit_text text NOT NULL,
  degrade_text text NOT NULL,
  symmetry_text text NOT NULL,
  recut_verdict smallint,
  recut_message text NOT NULL,
  measurement json NOT NULL
);
CREATE INDEX stone_grades_graded_at ON stone_grades (graded_at);
CREATE TABLE IF NOT EXISTS krm_archive_schema (version integer NOT NULL);
DELETE FROM krm_archive_schema;
INSERT INTO krm_archive_schema (version) VALUES (1);
)sql";

constexpr std::string_view kMigrate1To2 = R"sql(
ALTER TABLE stone_grades ADD COLUMN table_class_name text;
CREATE INDEX stone_grades_stone_id ON stone_grades (stone_id);
DO $$
BEGIN
  EXECUTE 'ALTER TABLE stone_grades ALTER COLUMN measurement SET COMPRESSION lz4';
EXCEPTION WHEN OTHERS THEN
  NULL;  -- a server without lz4 keeps its default compression
END
$$;
UPDATE krm_archive_schema SET version = 2;
)sql";

}  // namespace

std::string_view ServerSchemaVersion1() {
  return kSchema1;
}
std::string_view ServerMigration1To2() {
  return kMigrate1To2;
}

#ifdef KRM_HAVE_LIBPQ
// pg_archive_server.cc
Status ConnectPostgres(const std::string& url, const ServerOptions& options,
                       std::unique_ptr<ArchiveServer>* server);
#endif

bool ServerSupported() {
#ifdef KRM_HAVE_LIBPQ
  return true;
#else
  return false;
#endif
}

Status ConnectServer(const std::string& url, const ServerOptions& options,
                     std::unique_ptr<ArchiveServer>* server) {
  server->reset();
#ifdef KRM_HAVE_LIBPQ
  return ConnectPostgres(url, options, server);
#else
  (void)url;
  (void)options;
  const std::string reason = "this build has no archive server support (no PostgreSQL client)";
  return Status::Invalid(reason, reason);
#endif
}

std::string ServerSelectList() {
  std::string list;
  for (std::string_view column : kColumns) {
    if (!list.empty()) list.append(", ");
    if (column == "graded_at") {
      list.append(
          "to_char(graded_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') AS "
          "graded_at");
    } else {
      list.append(column);
    }
  }
  return list;
}

}  // namespace krm::archive
