#include "tools/batch_archive.h"

#include "app/stone_archive.h"
#include "archive/archive_config.h"

namespace krm::tools {
namespace {

// Full chunks that may wait for the archive's thread before Add waits for it.
constexpr std::size_t kQueued = 2;

}  // namespace

BatchArchive::BatchArchive(platform::Env& env, const std::filesystem::path& folder,
                           const LoadedGradeData& data, archive::ArchiverOptions options)
    : data_(data), faults_(folder) {
  archive::ArchiveConfig config = archive::LoadArchiveConfig(env, folder);
  const std::filesystem::path data_folder = config.local_path.parent_path();
  if (!env.IsDirectory(data_folder)) {
    (void)faults_.Check(env.CreateDirectory(data_folder), "archive folder not made", data_folder);
  }
  station_name_ = config.station_name;
  archiver_ =
      std::make_unique<archive::Archiver>(env, std::move(config), &faults_, std::move(options));
  // The server, when the station has one, is reached while the first records are graded.
  archiver_->ReachServerEarly();
  chunk_.reserve(kChunk);
  thread_ = std::thread([this] { Work(); });
}

BatchArchive::~BatchArchive() {
  Finish();
}

std::optional<BatchArchive::Pending> BatchArchive::Record(const StoneRecord& record,
                                                          std::string contents) const {
  if (record.error) return std::nullopt;
  Pending pending{archive::NewRecord(station_name_), std::move(contents)};
  app::SetGrading(record.stone_id, record.stone, &pending.record);
  app::SetRecutAdvice(&record.recut, &pending.record);
  return pending;
}

void BatchArchive::Add(Pending record) {
  chunk_.push_back(std::move(record));
  if (chunk_.size() < kChunk) return;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < kQueued; });
  queue_.push_back(std::move(chunk_));
  changed_.notify_all();
  chunk_.clear();
  chunk_.reserve(kChunk);
}

void BatchArchive::Finish() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (!chunk_.empty()) queue_.push_back(std::move(chunk_));
    chunk_.clear();
    finishing_ = true;
    changed_.notify_all();
  }
  thread_.join();
  notices_ = archiver_->Notices();
  sent_ = archiver_->sent();
  archiver_.reset();  // closes the local archive
}

void BatchArchive::Work() {
  // The grade data's digest, once, and each record's measurement part are made here, while the
  // gradings go on.
  const std::string digest = GradeDataDigest(data_);
  std::vector<archive::ArchiveRecord> records;
  for (;;) {
    std::vector<Pending> chunk;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty() || finishing_; });
      if (queue_.empty()) return;
      chunk = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    records.clear();
    for (Pending& pending : chunk) {
      archive::SetMeasurement(pending.measurement, &pending.record);
      pending.record.grade_data_sha256 = digest;
      records.push_back(std::move(pending.record));
    }
    archiver_->Keep(records);
  }
}

}  // namespace krm::tools
