#include "app/stone_archive.h"

#include <algorithm>

#include "archive/archive_config.h"
#include "intake/polish_data.h"
#include "intake/profile.h"

namespace krm::app {
namespace {

std::optional<int> GradeClass(std::int16_t c) {
  if (c < 1 || c > 5) return std::nullopt;
  return c;
}

}  // namespace

void SetGrading(std::string_view stone_id, const grading::StoneState& stone,
                archive::ArchiveRecord* record) {
  record->stone_id = stone_id;
  record->cut_grade = stone.fields.CutCaption();
  record->overall_class = GradeClass(stone.OverallCutClass);
  record->symmetry_grade = stone.fields.SymmetryCaption();
  record->table_class = GradeClass(stone.details.table_class);
  record->table_class_name = stone.details.table_class_name;
  record->messages = stone.messages;
  record->girdle_limit_text = stone.GirdleLimitText;
  record->degrade_text = stone.DegradeText;
  record->symmetry_text = stone.SymmetryText;
}

void SetRecutAdvice(const recut::RecutAdvice* advice, archive::ArchiveRecord* record) {
  record->recut_verdict.reset();
  record->recut_message.clear();
  // A completed advice writes its verdict line and its message line first.
  if (advice == nullptr || !advice->completed || advice->lines.size() < 2) return;
  record->recut_verdict = advice->candidate ? 1 : 0;
  record->recut_message = advice->lines[1];
}

StationArchive::StationArchive(intake::Station& station, const grading::StoneState& stone)
    : station_(station) {
  const std::string measurement =
      intake::ReadMeasurement(station.env, station.paths.Measurement(), &station.faults);
  // The station's name and the grade data's digest come when the record is kept.
  record_ = archive::NewRecord("", measurement, "");
  SetGrading(intake::Profile::Parse(measurement).Get(intake::kSection, "STONE_ID"), stone,
             &record_);
}

void StationArchive::Keep(const recut::RecutAdvice* advice) {
  SetRecutAdvice(advice, &record_);
  archive::Archiver archiver(station_.env,
                             archive::LoadArchiveConfig(station_.env, station_.paths.root),
                             &station_.faults);
  record_.station = archiver.config().station_name;
  record_.grade_data_sha256 = GradeDataDigest(archiver);
  archiver.Keep(record_);
  for (std::string& line : archiver.Notices()) station_.notices.push_back(std::move(line));
}

std::string StationArchive::GradeDataDigest(archive::Archiver& archiver) {
  const intake::StationPaths& paths = station_.paths;
  FaultLog digest_faults(paths.root);
  std::string digest =
      archiver.GradeDataDigest(paths.GradeTable(), paths.GradeDatabase(), &digest_faults);
  for (const Fault& fault : digest_faults.faults()) {
    const auto& said = station_.faults.faults();
    if (std::none_of(said.begin(), said.end(),
                     [&](const Fault& f) { return f.path == fault.path; })) {
      station_.faults.Add(fault.what, paths.root / fault.path, fault.reason);
    }
  }
  return digest;
}

}  // namespace krm::app
