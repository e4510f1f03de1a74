#include "gradetables/grade_table_reader.h"

namespace krm::gradetables {

GradeTableReader GradeTableReader::Open(platform::Env& env, const std::filesystem::path& path,
                                        Status* status) {
  GradeTableReader reader;
  Status s = env.OpenBinary(path, /*create=*/false, &reader.file_);
  if (!s.ok()) reader.file_.reset();
  if (status != nullptr) *status = s;
  return reader;
}

std::optional<char> GradeTableReader::ReadCell(std::int64_t cell) const {
  if (file_ == nullptr || cell < 0) return std::nullopt;
  char byte = 0;
  std::size_t got = 0;
  if (!file_->ReadAt(static_cast<std::uint64_t>(cell), &byte, 1, &got).ok() || got != 1) {
    return std::nullopt;
  }
  return byte;
}

}  // namespace krm::gradetables
