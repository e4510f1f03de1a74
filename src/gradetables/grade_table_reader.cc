#include "gradetables/grade_table_reader.h"

namespace krm::gradetables {

GradeTableReader GradeTableReader::Open(platform::Env& env, const std::filesystem::path& path) {
  GradeTableReader reader;
  reader.path_ = path;
  reader.open_status_ = env.OpenBinary(path, /*create=*/false, &reader.file_);
  if (!reader.open_status_.ok()) reader.file_.reset();
  return reader;
}

GradeTableReader GradeTableReader::InMemory(std::shared_ptr<const std::string> cells,
                                            std::filesystem::path name) {
  GradeTableReader reader;
  reader.path_ = std::move(name);
  reader.cells_ = std::move(cells);
  reader.open_status_ = Status::Ok();
  return reader;
}

Status GradeTableReader::ReadCell(std::int64_t cell, char* byte) const {
  if (!is_open()) return open_status_;
  const auto beyond = [cell] {
    return Status::IoError("cell " + std::to_string(cell) + " beyond the table",
                           "cell " + std::to_string(cell) + " beyond the end");
  };
  if (cell < 0) return beyond();
  if (cells_) {
    if (static_cast<std::uint64_t>(cell) >= cells_->size()) return beyond();
    *byte = (*cells_)[static_cast<std::size_t>(cell)];
    return Status::Ok();
  }
  std::size_t got = 0;
  Status s = file_->ReadAt(static_cast<std::uint64_t>(cell), byte, 1, &got);
  if (!s.ok()) return s;
  return got == 1 ? Status::Ok() : beyond();
}

void GradeTableReader::Close() {
  file_.reset();
  cells_.reset();
  open_status_ = Status::IoError("grade table closed", "closed");
}

}  // namespace krm::gradetables
