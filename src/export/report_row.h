// ReportRow: one row of a report table being filled column by column, the way a record set's new
// (or current) row is filled before it is saved.
//
// Column names are looked up among the table's real columns, without regard to letter case, so a
// name from the measurement file is never put into SQL: only the table's own column names are.
// A value text goes into a column by the report database's conversion rule: a column of INTEGER,
// REAL or NUMERIC affinity takes it only when it is a decimal number as a whole (leading and
// trailing blanks removed) and otherwise keeps what it held; any other column takes it as it is.
#ifndef KRM_EXPORT_REPORT_ROW_H_
#define KRM_EXPORT_REPORT_ROW_H_

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/database.h"
#include "platform/status.h"

namespace krm::report_export {

// A column name folded for the case-blind lookup (ASCII letters upper-cased, as SQLite does).
std::string FoldName(std::string_view name);

class ReportRow {
 public:
  // Reads the columns of `table`; NotFound when the database has no such table (the row then
  // stays unusable and every later step on that table is passed over).
  static Status Load(platform::Database& db, std::string_view table, ReportRow* row);

  // Sets the column whose folded name is `folded_name` to `text` by the conversion rule. False
  // when the table has no such column.
  bool Set(std::string_view folded_name, std::string_view text);

  // Adds the row to the table with the columns set so far (the others get their defaults).
  Status Insert(platform::Database& db) const;
  // Writes the columns set so far into the table's first row (in row id order); nothing to do
  // when none is set.
  Status UpdateFirst(platform::Database& db) const;

  const std::string& table() const { return table_; }
  // Length of the table's longest column name: no longer name can match a column.
  std::size_t LongestName() const {
    std::size_t longest = 0;
    for (const platform::Column& c : columns_) longest = std::max(longest, c.name.size());
    return longest;
  }

 private:
  // "(names) VALUES (?, ...)" parts and the bound values of the columns that are set.
  void SetColumns(std::vector<std::string>* names, std::vector<platform::Value>* values) const;

  std::string table_;
  std::vector<platform::Column> columns_;
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<platform::Value> values_;
};

}  // namespace krm::report_export

#endif  // KRM_EXPORT_REPORT_ROW_H_
