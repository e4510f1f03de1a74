#include "gradetables/grade_tables.h"

namespace krm::gradetables {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Table and column names match as the programs' C character classes have them: only A to Z
// match their lower case.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::size_t> GradeTables::Table::Column(std::string_view name) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (SameIgnoringCase(columns[i], name)) return i;
  }
  return std::nullopt;
}

GradeTables GradeTables::Read(platform::Database& db, std::span<const std::string_view> names) {
  GradeTables tables;
  for (std::string_view name : names) {
    Entry entry{std::string(name), Status::Ok(), {}};
    const std::string sql = "Select * from " + platform::Database::QuoteName(name);
    entry.status = db.Query(sql, {}, &entry.table.rows, &entry.table.columns);
    tables.entries_.push_back(std::move(entry));
  }
  return tables;
}

const GradeTables::Table* GradeTables::Find(std::string_view name, Status* failure) const {
  for (const Entry& entry : entries_) {
    if (!SameIgnoringCase(entry.name, name)) continue;
    if (failure != nullptr) *failure = entry.status;
    return entry.status.ok() ? &entry.table : nullptr;
  }
  if (failure != nullptr) {
    *failure = Status::NotFound(std::string(name) + ": table not read",
                                "no such table: " + std::string(name));
  }
  return nullptr;
}

Status GradeTables::FirstFailure() const {
  for (const Entry& entry : entries_) {
    if (!entry.status.ok()) return entry.status;
  }
  return Status::Ok();
}

}  // namespace krm::gradetables
