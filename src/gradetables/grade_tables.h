// GradeTables: the tables of the grade tables database as the grading's look-ups read them.
//
// The look-ups scan whole tables ("Select * from T") in row order. Nothing changes the database
// while a stone is graded, so each table is read once when the grading connects and the look-ups
// scan the rows in memory; a table that could not be read keeps its failure, and every look-up on
// it fails as the query would have.
#ifndef KRM_GRADETABLES_GRADE_TABLES_H_
#define KRM_GRADETABLES_GRADE_TABLES_H_

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database.h"
#include "platform/status.h"

namespace krm::gradetables {

// The three tables the grading looks up.
inline constexpr std::string_view kGirdleThicknessTable = "GirdleThickness";
inline constexpr std::string_view kCuletTable = "CULET_DESCRIPTION";
inline constexpr std::string_view kGirdleClassTable = "GIRDLE_DESC_CLASS";
inline constexpr std::array<std::string_view, 3> kLookedUpTables = {kGirdleThicknessTable,
                                                                    kCuletTable, kGirdleClassTable};

class GradeTables {
 public:
  // One table: its column names and its rows, every value in its text form.
  struct Table {
    std::vector<std::string> columns;
    std::vector<platform::Row> rows;
    // The position of column `name`, letter case ignored.
    std::optional<std::size_t> Column(std::string_view name) const;
  };

  // No tables: every look-up fails (a grading whose database could not be opened).
  GradeTables() = default;

  // Reads the tables `names` of `db`.
  static GradeTables Read(platform::Database& db,
                          std::span<const std::string_view> names = kLookedUpTables);

  // The table `name` (letter case ignored). Null when it was not read or could not be; `failure`,
  // when given, then says why.
  const Table* Find(std::string_view name, Status* failure = nullptr) const;

  // The first table that could not be read, Ok when all were.
  Status FirstFailure() const;

 private:
  struct Entry {
    std::string name;
    Status status;
    Table table;
  };
  std::vector<Entry> entries_;
};

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_GRADE_TABLES_H_
