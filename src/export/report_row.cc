#include "export/report_row.h"

#include "text/number_text.h"

namespace krm::report_export {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsNumeric(platform::Affinity affinity) {
  return affinity == platform::Affinity::kInteger || affinity == platform::Affinity::kReal ||
         affinity == platform::Affinity::kNumeric;
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

Status ReportRow::Load(platform::Database& db, std::string_view table, ReportRow* row) {
  *row = ReportRow();
  row->table_ = std::string(table);
  Status s = db.Columns(table, &row->columns_);
  if (!s.ok()) return s;
  row->values_.assign(row->columns_.size(), std::nullopt);
  for (std::size_t i = 0; i < row->columns_.size(); ++i) {
    row->index_.emplace(FoldName(row->columns_[i].name), i);
  }
  return Status::Ok();
}

bool ReportRow::Set(std::string_view folded_name, std::string_view text) {
  const auto it = index_.find(std::string(folded_name));
  if (it == index_.end()) return false;
  const std::size_t i = it->second;
  if (IsNumeric(columns_[i].affinity)) {
    // A text that is no number (or does not fit a double) does not convert: the column keeps
    // what it held. The number goes in as its trimmed text, which the column's affinity turns
    // into the stored number.
    const std::string_view trimmed = Trim(text);
    if (!text::ParseNumber(trimmed)) return true;
    values_[i] = std::string(trimmed);
  } else {
    values_[i] = std::string(text);
  }
  return true;
}

void ReportRow::SetColumns(std::vector<std::string>* names,
                           std::vector<platform::Value>* values) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (!values_[i]) continue;
    names->push_back(platform::Database::QuoteName(columns_[i].name));
    values->push_back(values_[i]);
  }
}

Status ReportRow::Insert(platform::Database& db) const {
  std::vector<std::string> names;
  std::vector<platform::Value> values;
  SetColumns(&names, &values);
  std::string sql = "INSERT INTO " + platform::Database::QuoteName(table_);
  if (names.empty()) return db.Execute(sql + " DEFAULT VALUES");
  std::string list, marks;
  for (std::size_t i = 0; i < names.size(); ++i) {
    list += (i ? ", " : "") + names[i];
    marks += i ? ", ?" : "?";
  }
  return db.Execute(sql + " (" + list + ") VALUES (" + marks + ")", values);
}

Status ReportRow::UpdateFirst(platform::Database& db) const {
  std::vector<std::string> names;
  std::vector<platform::Value> values;
  SetColumns(&names, &values);
  if (names.empty()) return Status::Ok();
  const std::string table = platform::Database::QuoteName(table_);
  std::string sql = "UPDATE " + table + " SET ";
  for (std::size_t i = 0; i < names.size(); ++i) sql += (i ? ", " : "") + names[i] + " = ?";
  sql += " WHERE rowid = (SELECT min(rowid) FROM " + table + ")";
  return db.Execute(sql, values);
}

}  // namespace krm::report_export
