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
}

Archiver::~Archiver() {
  if (early_.valid()) {
    cancel_early_ = true;
    early_.wait();
  }
}

LocalArchive* Archiver::Local() {
  if (!local_opened_) {
    local_opened_ = true;
    const auto mode =
        options_.create_local ? LocalArchive::OpenMode::kCreate : LocalArchive::OpenMode::kExisting;
    const Status s = LocalArchive::Open(config_.local_path, mode, &local_);
    faults_->Check(s, "archive not opened", config_.local_path);
  }
  return local_.get();
}

void Archiver::ReachServerEarly() {
  if (config_.server_url.empty() || server_ || server_failed() || early_.valid()) return;
  ServerOptions options = options_.server;
  options.cancel = &cancel_early_;
  early_ = std::async(std::launch::async,
                      [url = config_.server_url, options] { return Reach(url, options); });
}

std::string Archiver::GradeDataDigest(const std::filesystem::path& table,
                                      const std::filesystem::path& database, FaultLog* faults) {
  if (faults == nullptr) faults = faults_;
  std::string digests[2];
  const std::filesystem::path* paths[2] = {&table, &database};
  for (int i = 0; i < 2; ++i) {
    Status s;
    if (Local()) {
      s = local_->FileDigest(env_, *paths[i], &digests[i]);
    } else {
      // Without the local archive there is nowhere to remember it.
      std::string contents;
      s = env_.ReadFile(*paths[i], &contents);
      if (s.ok()) digests[i] = platform::Sha256Hex(contents);
    }
    if (faults->Check(s, "grade data digest not made", *paths[i])) return "";
  }
  return archive::GradeDataDigest(digests[0], digests[1]);
}

ArchiveRecord Archiver::NewRecord(std::string_view measurement_contents,
                                  std::string_view grade_data_sha256) const {
  return archive::NewRecord(config_.station_name, measurement_contents, grade_data_sha256);
}

namespace {

std::vector<StoredRow> Rows(std::span<const ArchiveRecord> records) {
  std::vector<StoredRow> rows;
  rows.reserve(records.size());
  for (const ArchiveRecord& record : records) rows.push_back(EncodeRecord(record));
  return rows;
}

}  // namespace

bool Archiver::Store(std::span<const ArchiveRecord> records) {
  return StoreRows(Rows(records));
}

bool Archiver::StoreRows(const std::vector<StoredRow>& rows) {
  if (rows.empty() || !Local()) return rows.empty();
  return !faults_->Check(local_->Store(rows), "archive record not stored", config_.local_path);
}

void Archiver::Keep(std::span<const ArchiveRecord> records) {
  if (records.empty()) return;
  const std::vector<StoredRow> rows = Rows(records);
  const auto count = static_cast<std::int64_t>(rows.size());
  const bool stored = StoreRows(rows);
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

void Archiver::SendUnstored(std::span<const ArchiveRecord> records) {
  if (records.empty()) return;
  if (config_.server_url.empty() || server_failed() || !Send(Rows(records), false)) {
    unstored_ += static_cast<std::int64_t>(records.size());
  }
}

void Archiver::SendWaiting() {
  waiting_sent_ = true;
  if (config_.server_url.empty() || !Local()) return;
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
  if (Local() && !local_->CountWaiting(&waiting).ok()) waiting = 0;
  return waiting;
}

std::vector<std::string> Archiver::Notices() {
  if (!server_failed()) return {};
  return {server_error_ + ", " + RecordCount(Waiting()) + ": " + server_reason_};
}

Archiver::Reached Archiver::Reach(const std::string& url, const ServerOptions& options) {
  Reached reached;
  reached.status = ConnectServer(url, options, &reached.server);
  if (!reached.status.ok()) {
    reached.error = "archive server not reached";
    return reached;
  }
  reached.status = reached.server->PrepareSchema();
  if (!reached.status.ok()) {
    reached.error = reached.server->connected() ? "archive server refused the records"
                                                : "archive server connection lost";
    reached.server.reset();
  }
  return reached;
}

bool Archiver::Server() {
  if (server_) return true;
  if (server_failed()) return false;
  Reached reached = early_.valid() ? early_.get() : Reach(config_.server_url, options_.server);
  if (reached.error != nullptr) {
    ServerFailed(reached.error, reached.status);
    return false;
  }
  server_ = std::move(reached.server);
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
