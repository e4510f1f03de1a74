#include "export/report_database.h"

#include <memory>
#include <string>
#include <system_error>

#include "platform/database.h"

namespace krm::report_export {

namespace fs = std::filesystem;

Status CreateReportDatabase(const fs::path& path, bool* created) {
  if (created) *created = false;
  std::error_code ec;
  if (fs::exists(path, ec)) return Status::Ok();

  // The database is built under a scratch name and then linked into place, so that a half-made
  // file never appears under the real name and a file that appeared meanwhile is not replaced.
  const fs::path scratch = fs::path(path) += ".new";
  fs::remove(scratch, ec);
  {
    std::unique_ptr<platform::Database> db;
    Status s = platform::Database::Create(scratch, &db);
    if (s.ok()) s = db->ExecuteScript(ReportSchema());
    // Kept in the write-ahead log from the start, so that the report program's reading never
    // holds up a station's export.
    if (s.ok()) s = db->UseWriteAheadLog();
    if (!s.ok()) {
      db.reset();
      fs::remove(scratch, ec);
      return Status::IoError(path.string() + ": " + s.message());
    }
  }
  std::error_code linked;
  fs::create_hard_link(scratch, path, linked);
  if (linked) {
    fs::remove(scratch, ec);
    // Another process made the database meanwhile.
    if (linked == std::errc::file_exists || fs::exists(path, ec)) return Status::Ok();
    return Status::IoError(path.string() + ": " + linked.message());
  }
  fs::remove(scratch, ec);
  if (created) *created = true;
  return Status::Ok();
}

}  // namespace krm::report_export
