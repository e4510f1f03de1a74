// Archiver: store and forward of graded stones, what the station run and the batch grading call.
//
// Every record goes into the station's local archive first, then, when the station has a server
// (archive_config.h), to the server, together with whatever waited there from earlier runs. A
// record the server has not taken waits in the local archive, marked as waiting, for the next run
// or `krm-station archive send`.
//
// Two kinds of trouble, kept apart:
//   - a local archive that cannot be opened or written is a fault of the run, recorded in the
//     FaultLog given (the record is then still sent to the server when it can be reached);
//   - a server that cannot be reached (or refuses, or goes away in the middle) is no fault: the
//     records wait, and Notices() gives one line for standard error that says so, e.g.
//       archive server not reached, 3 records wait: REASON
//
// Keeping a record and sending it at once:
//   krm::archive::Archiver archiver(env, krm::archive::LoadArchiveConfig(env, station), &faults);
//   auto record = archiver.NewRecord(measurement_bytes,
//       archiver.GradeDataDigest(paths.GradeTable(), paths.GradeDatabase()));
//   record.stone_id = ...;  // the grading's results
//   archiver.Keep(record);
//   for (const std::string& line : archiver.Notices()) stderr << "DOVEVOVIDIRO: " << line;
// A station run Store()s its record instead and leaves the sending to a process of its own, which
// calls SendWaiting() (app/stone_archive.h); tools/batch_archive.h keeps a batch's records.
// A batch passes its records in chunks to Keep(span): each chunk is one local transaction and one
// COPY to the server.
#ifndef KRM_ARCHIVE_ARCHIVER_H_
#define KRM_ARCHIVE_ARCHIVER_H_

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_config.h"
#include "archive/archive_record.h"
#include "archive/archive_server.h"
#include "archive/local_archive.h"
#include "platform/env.h"
#include "platform/fault_log.h"

namespace krm::archive {

struct ArchiverOptions {
  ServerOptions server;
  // Records per transaction on the server.
  std::size_t send_chunk = 2000;
  // Create the local archive when missing (a run); the archive commands only open one.
  bool create_local = true;
};

class Archiver {
 public:
  // The local archive at config.local_path is opened on first use (a failure is recorded in
  // `faults`). `faults` must outlive the Archiver.
  Archiver(platform::Env& env, ArchiveConfig config, FaultLog* faults,
           ArchiverOptions options = {});
  // Gives up a server connection still in the making.
  ~Archiver();
  Archiver(const Archiver&) = delete;
  Archiver& operator=(const Archiver&) = delete;

  const ArchiveConfig& config() const { return config_; }
  // False when the local archive could not be opened.
  bool has_local() { return Local() != nullptr; }
  LocalArchive* local() { return Local(); }

  // Starts reaching the server (the connection and its schema) on a thread of its own when the
  // station has one, so that a batch grades its stones meanwhile; the first send takes the
  // connection from there, waiting for it at most as long as a connection may take.
  void ReachServerEarly();

  // The digest of the grade data (GradeDataDigest of the two joined files), remembered in the
  // local archive while neither file changes. A file that cannot be read is a fault, recorded in
  // `faults` (the Archiver's own when null); the digest is then empty.
  std::string GradeDataDigest(const std::filesystem::path& table,
                              const std::filesystem::path& database, FaultLog* faults = nullptr);

  // A new record of this station (archive_record.h NewRecord).
  ArchiveRecord NewRecord(std::string_view measurement_contents,
                          std::string_view grade_data_sha256) const;

  // Stores the records locally in one transaction, then sends them, and first whatever waited
  // from earlier, to the server when the station has one. After the server failed once, later
  // calls only store.
  void Keep(std::span<const ArchiveRecord> records);
  void Keep(const ArchiveRecord& record) { Keep(std::span<const ArchiveRecord>(&record, 1)); }

  // Stores the records locally in one transaction and leaves them waiting for a sender (a later
  // SendWaiting, or another process's). False when they could not be stored (recorded in the
  // FaultLog); Keep then sends them straight to the server, and a station run calls
  // SendUnstored for them.
  bool Store(std::span<const ArchiveRecord> records);
  bool Store(const ArchiveRecord& record) {
    return Store(std::span<const ArchiveRecord>(&record, 1));
  }

  // Sends records that Store could not store straight to the server, when the station has one.
  void SendUnstored(std::span<const ArchiveRecord> records);
  void SendUnstored(const ArchiveRecord& record) {
    SendUnstored(std::span<const ArchiveRecord>(&record, 1));
  }

  // Sends every record that waits in the local archive.
  void SendWaiting();

  // Records the server took in this Archiver's life.
  std::int64_t sent() const { return sent_; }
  // True when the server was asked and failed; Notices() then says why.
  bool server_failed() const { return !server_error_.empty(); }
  // Records that wait in the local archive now (0 without a local archive).
  std::int64_t Waiting();

  // Lines for standard error, without the program's name: what went wrong with the server and
  // how many records wait. Empty when every record reached the server or there is none.
  std::vector<std::string> Notices();

 private:
  LocalArchive* Local();
  bool StoreRows(const std::vector<StoredRow>& rows);
  // Connects and prepares the server once; false (with server_error_ set) when that fails.
  bool Server();
  // What Server() does, without touching the Archiver's state: on the early thread.
  struct Reached {
    std::unique_ptr<ArchiveServer> server;
    const char* error = nullptr;  // what went wrong, as Notices() says it
    Status status;
  };
  static Reached Reach(const std::string& url, const ServerOptions& options);
  // Sends rows in chunks; marks them sent locally when `mark` holds. False on a server failure.
  bool Send(std::span<const StoredRow> rows, bool mark);
  void ServerFailed(const char* what, const Status& status);

  platform::Env& env_;
  ArchiveConfig config_;
  FaultLog* faults_;
  ArchiverOptions options_;
  std::unique_ptr<LocalArchive> local_;
  bool local_opened_ = false;  // the local archive was opened, or tried
  std::unique_ptr<ArchiveServer> server_;
  // The early attempt to reach the server, and its cancel flag.
  std::future<Reached> early_;
  std::atomic<bool> cancel_early_{false};
  bool waiting_sent_ = false;  // records from earlier runs were sent (or tried)
  std::string server_error_;   // "archive server not reached" ... ": REASON"
  std::string server_reason_;
  std::int64_t sent_ = 0;
  std::int64_t unstored_ = 0;  // records that neither the local archive nor the server took
};

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVER_H_
