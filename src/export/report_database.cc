#include "export/report_database.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
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
  const fs::path scratch = path.string() + ".new";
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
  if (::link(scratch.c_str(), path.c_str()) != 0) {
    const int err = errno;
    fs::remove(scratch, ec);
    if (err == EEXIST) return Status::Ok();
    return Status::IoError(path.string() + ": " + std::strerror(err));
  }
  fs::remove(scratch, ec);
  if (created) *created = true;
  return Status::Ok();
}

}  // namespace krm::report_export
