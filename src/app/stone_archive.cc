#include "app/stone_archive.h"

#include <algorithm>

#include "archive/archive_config.h"
#include "intake/polish_data.h"
#include "intake/profile.h"
#include "platform/program_arguments.h"

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

StationArchive::StationArchive(intake::Station& station)
    : station_(station),
      archiver_(station.env, archive::LoadArchiveConfig(station.env, station.paths.root),
                &station.faults) {}

void StationArchive::Graded(const grading::StoneState& stone) {
  // The bytes as graded, for their digest and keys; a file the grading could not read was said
  // by the grading and gives a record without keys.
  std::string measurement;
  if (const auto found = intake::FindStationFile(station_.env, station_.paths.Measurement())) {
    (void)station_.env.ReadFile(*found, &measurement);
  }
  // The grade data's digest comes when the record is kept.
  record_ = archive::NewRecord(archiver_.config().station_name, measurement, "");
  SetGrading(intake::Profile::Parse(measurement).Get(intake::kSection, "STONE_ID"), stone,
             &record_);
  graded_ = true;
}

void StationArchive::Keep(const recut::RecutAdvice* advice) {
  if (!graded_) return;
  SetRecutAdvice(advice, &record_);
  record_.grade_data_sha256 = GradeDataDigest();
  if (archiver_.config().server_url.empty()) {
    (void)archiver_.Store(record_);
    return;
  }
  if (!archiver_.Store(record_)) {
    archiver_.SendUnstored(record_);
  } else if (!StartSender()) {
    archiver_.SendWaiting();
  }
  for (std::string& line : archiver_.Notices()) station_.notices.push_back(std::move(line));
}

bool StationArchive::StartSender() {
  const std::filesystem::path program = station_.env.ExecutablePath();
  return !program.empty() &&
         station_.env
             .StartProgram(program, {std::string(kSendArchiveOption), "--app-dir",
                                     platform::Utf8(station_.paths.root)})
             .ok();
}

void SendWaitingRecords(intake::Station& station) {
  archive::ArchiverOptions options;
  options.create_local = false;
  const archive::ArchiveConfig config = archive::LoadArchiveConfig(station.env, station.paths.root);
  if (config.server_url.empty() || !station.env.IsRegularFile(config.local_path)) return;
  archive::Archiver archiver(station.env, config, &station.faults, options);
  archiver.SendWaiting();
  for (std::string& line : archiver.Notices()) station.notices.push_back(std::move(line));
}

std::string StationArchive::GradeDataDigest() {
  const intake::StationPaths& paths = station_.paths;
  FaultLog digest_faults(paths.root);
  std::string digest =
      archiver_.GradeDataDigest(paths.GradeTable(), paths.GradeDatabase(), &digest_faults);
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
