#include "archive/archiver.h"

#include <algorithm>
#include <chrono>

#include "archive/archive_rows.h"
#include "platform/sha256.h"

namespace krm::archive {
namespace {

std::string RecordCount(std::int64_t n) {
  return std::to_string(n) + (n == 1 ? " record waits" : " records wait");
}

}  // namespace

Archiver::Archiver(platform::Env& env, ArchiveConfig config, FaultLog* faults,
                   ArchiverOptions options)
    : env_(env), config_(std::move(config)), faults_(faults), options_(std::move(options)) {
  if (options_.send_chunk == 0) options_.send_chunk = 1;
  const auto mode =
      options_.create_local ? LocalArchive::OpenMode::kCreate : LocalArchive::OpenMode::kExisting;
  const Status s = LocalArchive::Open(config_.local_path, mode, &local_);
  faults_->Check(s, "archive not opened", config_.local_path);
}

Archiver::~Archiver() = default;

std::string Archiver::GradeDataDigest(const std::filesystem::path& table,
                                      const std::filesystem::path& database) {
  std::string digests[2];
  const std::filesystem::path* paths[2] = {&table, &database};
  for (int i = 0; i < 2; ++i) {
    Status s;
    if (local_) {
      s = local_->FileDigest(env_, *paths[i], &digests[i]);
    } else {
      // Without the local archive there is nowhere to remember it.
      std::string contents;
      s = env_.ReadFile(*paths[i], &contents);
      if (s.ok()) digests[i] = platform::Sha256Hex(contents);
    }
    if (faults_->Check(s, "grade data digest not made", *paths[i])) return "";
  }
  return archive::GradeDataDigest(digests[0], digests[1]);
}

ArchiveRecord Archiver::NewRecord(std::string_view measurement_contents,
                                  std::string_view grade_data_sha256) const {
  return archive::NewRecord(config_.station_name, measurement_contents, grade_data_sha256);
}

void Archiver::Keep(std::span<const ArchiveRecord> records) {
  if (records.empty()) return;
  std::vector<StoredRow> rows;
  rows.reserve(records.size());
  for (const ArchiveRecord& record : records) rows.push_back(EncodeRecord(record));
  const auto count = static_cast<std::int64_t>(rows.size());
  bool stored = false;
  if (local_) {
    stored = !faults_->Check(local_->Store(rows), "archive record not stored", config_.local_path);
  }
  if (config_.server_url.empty() || server_failed()) {
    if (!stored) unstored_ += count;
    return;
  }
  if (stored && !waiting_sent_) {
    // Records of earlier runs wait as well: send them all, these with them, oldest first.
    waiting_sent_ = true;
    std::int64_t waiting = 0;
    if (local_->CountWaiting(&waiting).ok() && waiting > count) {
      SendWaiting();
      return;
    }
  }
  if (!Send(rows, stored) && !stored) unstored_ += count;
}

void Archiver::SendWaiting() {
  waiting_sent_ = true;
  if (!local_ || config_.server_url.empty()) return;
  std::vector<StoredRow> rows;
  while (!server_failed()) {
    if (faults_->Check(local_->Waiting(options_.send_chunk, &rows), "archive not read",
                       config_.local_path)) {
      return;
    }
    if (rows.empty() || !Send(rows, true) || rows.size() < options_.send_chunk) return;
  }
}

std::int64_t Archiver::Waiting() {
  std::int64_t waiting = 0;
  if (local_ && !local_->CountWaiting(&waiting).ok()) waiting = 0;
  return waiting;
}

std::vector<std::string> Archiver::Notices() {
  if (!server_failed()) return {};
  return {server_error_ + ", " + RecordCount(Waiting()) + ": " + server_reason_};
}

bool Archiver::Server() {
  if (server_) return true;
  if (server_failed()) return false;
  Status s = ConnectServer(config_.server_url, options_.server, &server_);
  if (!s.ok()) {
    ServerFailed("archive server not reached", s);
    return false;
  }
  s = server_->PrepareSchema();
  if (!s.ok()) {
    ServerFailed(server_->connected() ? "archive server refused the records"
                                      : "archive server connection lost",
                 s);
    return false;
  }
  return true;
}

void Archiver::ServerFailed(const char* what, const Status& status) {
  server_error_ = what;
  server_reason_ = status.reason();
  server_.reset();
}

bool Archiver::Send(std::span<const StoredRow> rows, bool mark) {
  if (!Server()) return false;
  std::vector<std::string> ids;
  for (std::size_t begin = 0; begin < rows.size(); begin += options_.send_chunk) {
    const auto chunk = rows.subspan(begin, std::min(options_.send_chunk, rows.size() - begin));
    const Status s = server_->Send(chunk);
    if (!s.ok()) {
      ServerFailed(server_->connected() ? "archive server refused the records"
                                        : "archive server connection lost",
                   s);
      return false;
    }
    sent_ += static_cast<std::int64_t>(chunk.size());
    if (!mark) continue;
    ids.clear();
    for (const StoredRow& row : chunk) ids.push_back(row[kRunId].value_or(""));
    const Status m = local_->MarkSent(ids, UtcTimestamp(std::chrono::system_clock::now()));
    if (faults_->Check(m, "archive send mark not written", config_.local_path)) return false;
  }
  return true;
}

}  // namespace krm::archive
