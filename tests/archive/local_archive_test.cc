#include "archive/local_archive.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive_testing.h"
#include "archive/station_text.h"
#include "platform/sha256.h"
#include "platform/database.h"

namespace krm::archive {
namespace {

namespace fs = std::filesystem;

using testing::ArchiveStation;

ArchiveRecord Graded(const std::string& stone_id) {
  ArchiveRecord r = NewRecord("lab/1", testing::SampleMeasurement(stone_id), "digest");
  testing::FillGrading(&r, stone_id);
  return r;
}

std::unique_ptr<LocalArchive> OpenArchive(const fs::path& path) {
  std::unique_ptr<LocalArchive> archive;
  const Status s = LocalArchive::Open(path, LocalArchive::OpenMode::kCreate, &archive);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return archive;
}

// One value of the database at `path` through a second connection.
std::string Scalar(const fs::path& path, const std::string& sql) {
  std::unique_ptr<platform::Database> db;
  EXPECT_TRUE(platform::Database::Open(path, &db).ok());
  std::vector<platform::Row> rows;
  EXPECT_TRUE(db->Query(sql, {}, &rows).ok()) << sql;
  return rows.empty() || !rows[0][0] ? "" : *rows[0][0];
}

std::vector<ArchiveRecord> Decoded(const std::vector<LocalArchive::Listed>& rows) {
  std::vector<ArchiveRecord> records;
  for (const auto& listed : rows) {
    auto r = DecodeRow(listed.row);
    EXPECT_TRUE(r.has_value());
    if (r) records.push_back(*r);
  }
  return records;
}

TEST(LocalArchiveTest, CreatedOnFirstUseKeepsEveryFieldAndWaits) {
  ArchiveStation station;
  const fs::path path = station.root() / "data/archive.db";
  auto archive = OpenArchive(path);
  ASSERT_TRUE(archive);
  EXPECT_EQ(Scalar(path, "PRAGMA user_version"), "2");
  EXPECT_EQ(Scalar(path, "PRAGMA journal_mode"), "wal");

  const std::vector<ArchiveRecord> records = {Graded("A"), Graded("B")};
  std::vector<StoredRow> rows = {EncodeRecord(records[0]), EncodeRecord(records[1])};
  ASSERT_TRUE(archive->Store(rows).ok());
  // A run id stored before is passed over, not stored twice.
  ASSERT_TRUE(archive->Store(rows).ok());
  EXPECT_EQ(Scalar(path, "SELECT count(*) FROM stone_grades"), "2");

  std::vector<LocalArchive::Listed> found;
  ASSERT_TRUE(
      archive->Find(std::vector<std::string>{records[1].run_id, records[0].run_id}, &found).ok());
  EXPECT_EQ(Decoded(found), (std::vector<ArchiveRecord>{records[1], records[0]}));

  // The JSON columns answer SQLite's JSON functions.
  EXPECT_EQ(Scalar(path,
                   "SELECT json_extract(measurement, '$.OPERATOR') FROM stone_grades "
                   "LIMIT 1"),
            "Ren\xC3\xA9");

  std::int64_t waiting = 0;
  ASSERT_TRUE(archive->CountWaiting(&waiting).ok());
  EXPECT_EQ(waiting, 2);
  ASSERT_TRUE(
      archive->MarkSent(std::vector<std::string>{records[0].run_id}, "2026-12-06T14:05:09.000Z")
          .ok());
  std::vector<StoredRow> waiting_rows;
  ASSERT_TRUE(archive->Waiting(10, &waiting_rows).ok());
  ASSERT_EQ(waiting_rows.size(), 1u);
  EXPECT_EQ(waiting_rows[0][kRunId], records[1].run_id);
  std::vector<LocalArchive::Listed> latest;
  ASSERT_TRUE(archive->Latest(5, &latest).ok());
  ASSERT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest[0].row[kRunId], records[1].run_id);  // newest first
  EXPECT_EQ(latest[0].sent_at, std::nullopt);
  EXPECT_EQ(latest[1].sent_at, "2026-12-06T14:05:09.000Z");
}

TEST(LocalArchiveTest, AStoreIsAllOrNothing) {
  ArchiveStation station;
  auto archive = OpenArchive(station.root() / "data/archive.db");
  ASSERT_TRUE(archive);
  StoredRow good = EncodeRecord(Graded("A"));
  StoredRow bad = EncodeRecord(Graded("B"));
  bad[kStation].reset();  // NOT NULL
  const std::vector<StoredRow> rows = {good, bad};
  EXPECT_FALSE(archive->Store(rows).ok());
  std::int64_t waiting = -1;
  ASSERT_TRUE(archive->CountWaiting(&waiting).ok());
  EXPECT_EQ(waiting, 0);
}

TEST(LocalArchiveTest, HostileValuesAreStoredVerbatim) {
  ArchiveStation station;
  auto archive = OpenArchive(station.root() / "data/archive.db");
  ASSERT_TRUE(archive);
  ArchiveRecord r = Graded("'); DROP TABLE stone_grades; --");
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
  KeyValueList keys;
  for (int i = 0; i < 10000; ++i) {
    keys.emplace_back("KEY_" + std::to_string(i) + "\" = 1; --", all_bytes);
  }
  keys.emplace_back("x') OR 1=1 --", "\"; DELETE FROM stone_grades; \xFF\x80");
  r.measurement = JsonObject(keys);
  r.messages = {all_bytes, "'", "\\"};
  r.cut_grade = all_bytes;
  const std::vector<StoredRow> rows = {EncodeRecord(r)};
  ASSERT_TRUE(archive->Store(rows).ok());
  std::vector<LocalArchive::Listed> found;
  ASSERT_TRUE(archive->Find(std::vector<std::string>{r.run_id}, &found).ok());
  EXPECT_EQ(Decoded(found), std::vector<ArchiveRecord>{r});
}

TEST(LocalArchiveTest, VersionOneIsMigratedInPlace) {
  ArchiveStation station;
  const fs::path path = station.root() / "data/archive.db";
  {
    // An archive of version 1 with one record, as the first release wrote it.
    std::unique_ptr<platform::Database> db;
    ASSERT_TRUE(platform::Database::Create(path, &db).ok());
    ASSERT_TRUE(db->ExecuteScript(LocalArchive::SchemaVersion1()).ok());
    ASSERT_TRUE(db->Execute("INSERT INTO stone_grades (run_id, station, graded_at, stone_id, "
                            "measurement_sha256, grade_data_sha256, program_version, cut_grade, "
                            "overall_class, symmetry_grade, table_class, messages, "
                            "girdle_limit_text, degrade_text, symmetry_text, recut_verdict, "
                            "recut_message, measurement) VALUES ('old', 'lab/0', "
                            "'2025-01-02T03:04:05.678Z', 'OLD-1', 'm', 'g', '0.9.0', 'Good', 3, "
                            "'Good', 3, '[]', '', '', '', NULL, '', '{\"K\":\"V\"}')")
                    .ok());
  }
  auto archive = OpenArchive(path);
  ASSERT_TRUE(archive);
  EXPECT_EQ(Scalar(path, "PRAGMA user_version"), "2");
  // The old record is whole, has no table class name, and waits to be sent.
  std::vector<StoredRow> waiting;
  ASSERT_TRUE(archive->Waiting(10, &waiting).ok());
  ASSERT_EQ(waiting.size(), 1u);
  const auto old = DecodeRow(waiting[0]);
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(old->stone_id, "OLD-1");
  EXPECT_EQ(old->overall_class, 3);
  EXPECT_EQ(waiting[0][kTableClassName], std::nullopt);
  EXPECT_EQ(ParseJsonObject(old->measurement), (KeyValueList{{"K", "V"}}));
  // New records go beside it.
  const std::vector<StoredRow> rows = {EncodeRecord(Graded("NEW"))};
  ASSERT_TRUE(archive->Store(rows).ok());
  EXPECT_EQ(Scalar(path, "SELECT count(*) FROM stone_grades"), "2");
}

TEST(LocalArchiveTest, WhatCannotBeOpenedSaysWhy) {
  ArchiveStation station;
  std::unique_ptr<LocalArchive> archive;
  // A newer schema is left alone.
  const fs::path newer = station.root() / "data/newer.db";
  {
    std::unique_ptr<platform::Database> db;
    ASSERT_TRUE(platform::Database::Create(newer, &db).ok());
    ASSERT_TRUE(db->Execute("PRAGMA user_version = 3").ok());
  }
  Status s = LocalArchive::Open(newer, LocalArchive::OpenMode::kCreate, &archive);
  EXPECT_EQ(s.code(), Status::Code::kIoError);
  EXPECT_NE(s.reason().find("version 3 is newer"), std::string::npos) << s.reason();
  EXPECT_EQ(Scalar(newer, "PRAGMA user_version"), "3");
  // A folder that is missing; a file that is no database; no archive for the commands.
  s = LocalArchive::Open(station.root() / "nodata/archive.db", LocalArchive::OpenMode::kCreate,
                         &archive);
  EXPECT_FALSE(s.ok());
  station.Write("data/junk.db", std::string(4096, 'x'));
  s = LocalArchive::Open(station.root() / "data/junk.db", LocalArchive::OpenMode::kCreate,
                         &archive);
  EXPECT_FALSE(s.ok());
  s = LocalArchive::Open(station.root() / "data/archive.db", LocalArchive::OpenMode::kExisting,
                         &archive);
  EXPECT_EQ(s.code(), Status::Code::kNotFound);
  EXPECT_FALSE(archive);
  EXPECT_FALSE(station.Exists("data/archive.db"));
}

TEST(LocalArchiveTest, FileDigestsAreRememberedUntilTheFileChanges) {
  ArchiveStation station;
  const fs::path path = station.root() / "data/archive.db";
  auto archive = OpenArchive(path);
  ASSERT_TRUE(archive);
  testing::RecordingEnv env;
  const fs::path table = station.root() / "windows/win_rt1.dll";
  std::string digest;
  ASSERT_TRUE(archive->FileDigest(env, table, &digest).ok());
  EXPECT_EQ(digest, platform::Sha256Hex(station.Read("windows/win_rt1.dll")));
  EXPECT_EQ(Scalar(path, "SELECT sha256 FROM file_digests"), digest);
  // Same size, other bytes: the identity changes, the digest is made again.
  station.Write("windows/win_rt1.dll", std::string(4096, '\x03'));
  ASSERT_TRUE(archive->FileDigest(env, table, &digest).ok());
  EXPECT_EQ(digest, platform::Sha256Hex(std::string(4096, '\x03')));
  EXPECT_EQ(Scalar(path, "SELECT count(*) FROM file_digests"), "1");
  EXPECT_FALSE(archive->FileDigest(env, station.root() / "windows/missing.dll", &digest).ok());
}

}  // namespace
}  // namespace krm::archive
