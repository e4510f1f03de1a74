// The grade table read by cell number: a six-dimensional array of one-byte cells (the ASCII digit
// of a grade class), with no header. A station grading opens the joined grade table file at its
// start and closes it at its end; a batch of gradings shares one table held in memory.
#ifndef KRM_GRADETABLES_GRADE_TABLE_READER_H_
#define KRM_GRADETABLES_GRADE_TABLE_READER_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "gradetables/grade_grid.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::gradetables {

class GradeTableReader {
 public:
  // A closed reader: every read fails.
  GradeTableReader() = default;

  // Opens the file `path` for binary reading. A file that cannot be opened (missing, a folder)
  // gives a closed reader whose reads fail with the reason it could not be opened.
  static GradeTableReader Open(platform::Env& env, const std::filesystem::path& path);

  // A table held in memory, shared by every reader made from it; `name` names it in faults.
  static GradeTableReader InMemory(std::shared_ptr<const std::string> cells,
                                   std::filesystem::path name);

  bool is_open() const { return file_ != nullptr || cells_ != nullptr; }
  const std::filesystem::path& path() const { return path_; }
  // Why the reader is closed; Ok for an open reader.
  const Status& open_status() const { return open_status_; }

  // Reads the byte of cell `cell` (at offset `cell`) into `*byte`. Fails when the reader is
  // closed, the cell lies beyond the end of the table or before its start, or the read fails: the
  // grading's failed read.
  Status ReadCell(std::int64_t cell, char* byte) const;

  // Closes the file; later reads fail.
  void Close();

 private:
  std::filesystem::path path_;
  std::unique_ptr<platform::BinaryFile> file_;
  std::shared_ptr<const std::string> cells_;
  Status open_status_ = Status::IoError("grade table not opened", "not opened");
};

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_GRADE_TABLE_READER_H_
