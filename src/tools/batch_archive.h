// krm-station grade --archive: every stone of a batch kept in a station's archive, the record made
// as a station run makes its own (app/stone_archive.h). Records go in chunks: one local transaction
// and, when the station has a server, one COPY per chunk, on a thread of the archive's own, so
// that the gradings go on meanwhile.
#ifndef KRM_TOOLS_BATCH_ARCHIVE_H_
#define KRM_TOOLS_BATCH_ARCHIVE_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "archive/archiver.h"
#include "platform/env.h"
#include "platform/fault_log.h"
#include "tools/grade_data.h"
#include "tools/stone_record.h"

namespace krm::tools {

class BatchArchive {
 public:
  static constexpr std::size_t kChunk = 1000;

  // The archive of the station folder `folder` (its data/archive.db, made with the folder data
  // when missing, and the server its station.ini or KRM_ARCHIVE_URL names), for records graded
  // with `data`. A local archive that cannot be opened is a fault (faults()).
  BatchArchive(platform::Env& env, const std::filesystem::path& folder, const LoadedGradeData& data,
               archive::ArchiverOptions options = {});
  // Finish()es.
  ~BatchArchive();
  BatchArchive(const BatchArchive&) = delete;
  BatchArchive& operator=(const BatchArchive&) = delete;

  // A graded stone's record with the bytes of its measurement file, whose part of the record
  // (its digest and keys) the archive's thread adds.
  struct Pending {
    archive::ArchiveRecord record;
    std::string measurement;
  };

  // The record of a graded measurement file with the bytes `contents`; none for a file that could
  // not be graded. Safe to call from any thread.
  std::optional<Pending> Record(const StoneRecord& record, std::string contents) const;

  // Keeps a record; records go to the archive in the order they are added.
  void Add(Pending record);

  // Keeps what is left and waits until everything added is kept.
  void Finish();

  // After Finish(): the local archive's faults ("WHAT: PATH: REASON", with paths in the folder),
  // and the lines that say why records wait for the server (without the program's name).
  const FaultLog& faults() const { return faults_; }
  const std::vector<std::string>& notices() const { return notices_; }
  // Records the server took.
  std::int64_t sent() const { return sent_; }

 private:
  void Work();

  const LoadedGradeData& data_;
  FaultLog faults_;
  std::unique_ptr<archive::Archiver> archiver_;
  std::string station_name_;

  std::vector<Pending> chunk_;  // being filled by Add
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<Pending>> queue_;  // full chunks for the thread
  bool finishing_ = false;
  std::thread thread_;

  std::vector<std::string> notices_;
  std::int64_t sent_ = 0;
};

}  // namespace krm::tools

#endif  // KRM_TOOLS_BATCH_ARCHIVE_H_
