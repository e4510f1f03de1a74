#include "archive/archive_record.h"

#include <cstdint>
#include <cstdio>

#include "archive/archive_json.h"
#include "platform/env.h"
#include "platform/sha256.h"
#include "platform/system.h"
#include "text/item_reader.h"

namespace krm::archive {

std::string NewRunId() {
  std::uint32_t words[4];
  platform::SystemRandom(words, sizeof words);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(32);
  for (const std::uint32_t bits : words) {
    for (int shift = 28; shift >= 0; shift -= 4) id.push_back(kHex[(bits >> shift) & 15]);
  }
  return id;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss clock(ms - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

std::string ProgramVersionText() {
  const platform::Version v = platform::ProgramVersion();
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

std::vector<std::pair<std::string, std::string>> MeasurementItems(std::string_view contents) {
  std::vector<std::pair<std::string, std::string>> items;
  text::ItemReader reader(contents);
  (void)reader.Next();  // the section line
  while (const auto item = reader.Next()) {
    if (const auto kv = text::SplitItem(*item)) items.emplace_back(kv->key, kv->value);
  }
  return items;
}

std::string MeasurementJson(std::string_view contents) {
  // Straight from the items into the object: a measurement file holds a few hundred keys, and a
  // batch makes one object per stone.
  Json object = Json::object();
  auto& members = object.get_ref<Json::object_t&>();
  members.reserve(contents.size() / 32);
  text::ItemReader reader(contents);
  (void)reader.Next();  // the section line
  while (const auto item = reader.Next()) {
    if (const auto kv = text::SplitItem(*item)) AppendMember(kv->key, kv->value, &object);
  }
  return object.dump();
}

std::string GradeDataDigest(std::string_view table_sha256, std::string_view database_sha256) {
  std::string both;
  both.append(table_sha256).push_back('\n');
  both.append(database_sha256).push_back('\n');
  return platform::Sha256Hex(both);
}

ArchiveRecord NewRecord(std::string_view station) {
  ArchiveRecord record;
  record.run_id = NewRunId();
  record.station = station;
  record.graded_at = UtcTimestamp(std::chrono::system_clock::now());
  record.program_version = ProgramVersionText();
  return record;
}

void SetMeasurement(std::string_view measurement_contents, ArchiveRecord* record) {
  record->measurement_sha256 = platform::Sha256Hex(measurement_contents);
  record->measurement = MeasurementJson(measurement_contents);
}

ArchiveRecord NewRecord(std::string_view station, std::string_view measurement_contents,
                        std::string_view grade_data_sha256) {
  ArchiveRecord record = NewRecord(station);
  SetMeasurement(measurement_contents, &record);
  record.grade_data_sha256 = grade_data_sha256;
  return record;
}

}  // namespace krm::archive
