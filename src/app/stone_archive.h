// What the archive keeps of a graded stone (archive/archive_record.h), made in one place for the
// station run and for `krm-station grade --archive`: the stone's first grading, not the recut
// candidates', and the verdict of its recut advice.
#ifndef KRM_APP_STONE_ARCHIVE_H_
#define KRM_APP_STONE_ARCHIVE_H_

#include <string>
#include <string_view>

#include "archive/archive_record.h"
#include "archive/archiver.h"
#include "grading/stone_state.h"
#include "intake/station.h"
#include "recut/krm_recut.h"

namespace krm::app {

// The grading's part of `record`, from the stone as its first grading left it: the stone id, the
// cut caption, overall class, symmetry grade, table class and its name, the messages and the three
// limitation texts. A class the grading did not give (0) is stored as none.
void SetGrading(std::string_view stone_id, const grading::StoneState& stone,
                archive::ArchiveRecord* record);

// The recut advice's part: verdict 1 when a candidate changed the grade, 0 when the advice came to
// no recut, and its message line. No verdict and no message when there was no advice (null: the
// run ended before it), or when it gave no verdict (a stone without a grade class, an advice that
// ended early).
void SetRecutAdvice(const recut::RecutAdvice* advice, archive::ArchiveRecord* record);

// The archive step of a station run:
//   StationArchive archive(station);
//   ...                               // the first grading
//   archive.Graded(stone);            // the record of that grading
//   ...                               // the export and the recut advice
//   archive.Keep(&advice);            // Keep(nullptr) when the run ended before the advice
// The record goes into data/archive.db. When the station has a server, the run then starts the
// archive sender (this program with kSendArchiveOption) and ends: the sender sends what waits in
// the station's archive, this record with it, so that no run waits for a connection to the lab's
// server (a new server connection costs tens of milliseconds, an unreachable one up to its
// timeout). The sender says on the run's standard error what went wrong with the server; its
// records wait, as they do when it cannot be started, and the run then sends them itself. A local
// archive that cannot be written is a fault of the run (station.faults), and the record then goes
// to the server from the run. A run that ends before Graded keeps no record.
class StationArchive {
 public:
  // Reads the station's archive settings.
  explicit StationArchive(intake::Station& station);

  // Reads the measurement file and makes the record of the stone's first grading.
  void Graded(const grading::StoneState& stone);

  // Adds the recut advice and the grade data's digest to the record of Graded, keeps it and
  // starts the sender when the station has a server.
  void Keep(const recut::RecutAdvice* advice);

  const archive::ArchiveRecord& record() const { return record_; }

 private:
  // The digest of the joined grade files. A file whose digest cannot be made leaves it empty; that
  // is a fault of the run unless the run has one on that file already (its grading could not read
  // the file either, and said so).
  std::string GradeDataDigest();
  // Starts the archive sender; false when it could not be started.
  bool StartSender();

  intake::Station& station_;
  archive::Archiver archiver_;
  bool graded_ = false;
  archive::ArchiveRecord record_;
};

// The option that makes the station program the archive sender of the station its --app-dir
// names: it sends every record that waits there to the lab's server.
inline constexpr std::string_view kSendArchiveOption = "--send-archive";

// What the archive sender does: sends every record that waits in the station's archive to its
// server. What went wrong with the server goes to station.notices, a send mark that could not be
// written to station.faults. Nothing happens for a station without a server or an archive.
void SendWaitingRecords(intake::Station& station);

}  // namespace krm::app

#endif  // KRM_APP_STONE_ARCHIVE_H_
