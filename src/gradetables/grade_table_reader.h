// The grade table file read by cell number: a six-dimensional array of one-byte cells (the ASCII
// digit of a grade class), with no header. The grading opens one reader at its start and closes
// it at its end.
#ifndef KRM_GRADETABLES_GRADE_TABLE_READER_H_
#define KRM_GRADETABLES_GRADE_TABLE_READER_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/env.h"
#include "platform/status.h"

namespace krm::gradetables {

// Index weights of the six grid axes: table, crown, pavilion, star, lower half, girdle.
inline constexpr std::int64_t kTableWeight = 1330560;
inline constexpr std::int64_t kCrownWeight = 30240;
inline constexpr std::int64_t kPavilionWeight = 864;
inline constexpr std::int64_t kStarWeight = 96;
inline constexpr std::int64_t kLowerHalfWeight = 12;
inline constexpr std::int64_t kGirdleWeight = 1;
// Number of cells (and bytes) of a complete grade table: 29 x 44 x 35 x 9 x 8 x 12.
inline constexpr std::int64_t kGradeTableCells = 38586240;

// The cell number of grid indexes T, C, P, S, L, G (the byte offset in the file).
constexpr std::int64_t CellNumber(int t, int c, int p, int s, int l, int g) {
  return t * kTableWeight + c * kCrownWeight + p * kPavilionWeight + s * kStarWeight +
         l * kLowerHalfWeight + g * kGirdleWeight;
}

class GradeTableReader {
 public:
  // A closed reader: every read fails.
  GradeTableReader() = default;

  // Opens `path` for binary reading. A file that cannot be opened (missing, a folder) gives a
  // closed reader; `status`, when given, says why.
  static GradeTableReader Open(platform::Env& env, const std::filesystem::path& path,
                               Status* status = nullptr);

  bool is_open() const { return file_ != nullptr; }

  // The byte of cell `cell` (at offset `cell`). No value when the reader is closed, the cell lies
  // beyond the end of the file or before its start, or the read fails: the grading's failed read.
  std::optional<char> ReadCell(std::int64_t cell) const;

  // Closes the file; later reads fail.
  void Close() { file_.reset(); }

 private:
  std::unique_ptr<platform::BinaryFile> file_;
};

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_GRADE_TABLE_READER_H_
