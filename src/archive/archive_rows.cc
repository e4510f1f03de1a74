#include "archive/archive_rows.h"

#include <charconv>

#include "archive/station_text.h"

namespace krm::archive {
namespace {

std::optional<std::string> Number(const std::optional<int>& value) {
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

bool ReadNumber(const std::optional<std::string>& text, std::optional<int>* value) {
  value->reset();
  if (!text) return true;
  int n = 0;
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, n);
  if (ec != std::errc() || ptr != end) return false;
  *value = n;
  return true;
}

bool ReadText(const std::optional<std::string>& text, std::string* bytes) {
  if (!text) {
    bytes->clear();
    return true;
  }
  auto decoded = StationBytes(*text);
  if (!decoded) return false;
  *bytes = std::move(*decoded);
  return true;
}

}  // namespace

StoredRow EncodeRecord(const ArchiveRecord& r) {
  return {StationText(r.run_id),
          StationText(r.station),
          StationText(r.graded_at),
          StationText(r.stone_id),
          StationText(r.measurement_sha256),
          StationText(r.grade_data_sha256),
          StationText(r.program_version),
          StationText(r.cut_grade),
          Number(r.overall_class),
          StationText(r.symmetry_grade),
          Number(r.table_class),
          StationText(r.table_class_name),
          JsonArray(r.messages),
          StationText(r.girdle_limit_text),
          StationText(r.degrade_text),
          StationText(r.symmetry_text),
          Number(r.recut_verdict),
          StationText(r.recut_message),
          r.measurement};
}

std::optional<ArchiveRecord> DecodeRow(const StoredRow& row) {
  ArchiveRecord r;
  std::string* texts[] = {&r.run_id,
                          &r.station,
                          &r.graded_at,
                          &r.stone_id,
                          &r.measurement_sha256,
                          &r.grade_data_sha256,
                          &r.program_version,
                          &r.cut_grade,
                          nullptr,
                          &r.symmetry_grade,
                          nullptr,
                          &r.table_class_name,
                          nullptr,
                          &r.girdle_limit_text,
                          &r.degrade_text,
                          &r.symmetry_text,
                          nullptr,
                          &r.recut_message,
                          nullptr};
  for (std::size_t i = 0; i < kColumnCount; ++i) {
    if (texts[i] != nullptr && !ReadText(row[i], texts[i])) return std::nullopt;
  }
  if (!ReadNumber(row[kOverallClass], &r.overall_class) ||
      !ReadNumber(row[kTableClass], &r.table_class) ||
      !ReadNumber(row[kRecutVerdict], &r.recut_verdict)) {
    return std::nullopt;
  }
  if (row[kMessages]) {
    auto messages = ParseJsonArray(*row[kMessages]);
    if (!messages) return std::nullopt;
    r.messages = std::move(*messages);
  }
  if (row[kMeasurement]) {
    if (!ParseJsonObject(*row[kMeasurement])) return std::nullopt;
    r.measurement = *row[kMeasurement];
  }
  return r;
}

std::string ColumnList() {
  std::string list;
  for (std::string_view column : kColumns) {
    if (!list.empty()) list.append(", ");
    list.append(column);
  }
  return list;
}

}  // namespace krm::archive
