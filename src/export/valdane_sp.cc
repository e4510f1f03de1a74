#include "export/valdane_sp.h"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "export/report_row.h"
#include "intake/profile.h"
#include "text/item_reader.h"

namespace krm::report_export {

namespace fs = std::filesystem;

namespace {

// The round brilliant tables, in the order the export fills and saves them.
constexpr std::array<std::string_view, 5> kRoundTables = {"Round1", "Round2", "Round3", "Round4",
                                                          "Round5"};
constexpr std::string_view kCutSymTable = "RoundCutSym";
constexpr std::string_view kUserTable = "UserData";
constexpr std::string_view kSection = "NumericalParameters";
constexpr std::string_view kEmptyValue = "N/A";

// The shape name the report program shows for the stone's cutting type.
std::string ShapeOf(const intake::Profile& measurement) {
  const std::string cutting_type = measurement.Get(kSection, "CUTTING_TYPE");
  return cutting_type == "Brilliant" ? std::string("Round Brilliant") : cutting_type;
}

// A report table taking part in the export: its new (or current) row, when the table exists.
struct TableRow {
  std::string name;
  std::optional<ReportRow> row;

  void Load(platform::Database& db, std::string_view table) {
    name = std::string(table);
    ReportRow loaded;
    if (ReportRow::Load(db, table, &loaded).ok()) row = std::move(loaded);
  }
};

}  // namespace

std::optional<intake::RunEnd> Valdane_Sp::PublicMain(intake::Station& station) {
  Finish();  // an earlier export's closing
  FaultLog* faults = &station.faults;
  last_failure_ = Status::Ok();
  std::unique_ptr<platform::Database> db;
  const auto found = intake::FindStationFile(station.env, station.paths.ReportDatabase());
  Status opened = found ? platform::Database::Open(*found, &db)
                        : Status::NotFound(station.paths.ReportDatabase().string() + ": missing",
                                           "no such file");
  if (!opened.ok()) {
    last_failure_ = opened;
    station.env.MessageBox(kDatabaseMissingMessage, kInformationOk, kDatabaseMissingTitle);
    return intake::RunEnd{intake::ExitStatus::kReportDatabaseMissing};
  }
  // Kept in the write-ahead log, so that the report program's reading never holds up the export.
  // A database that cannot be switched now (another program is using it) is written in its old
  // mode and switched by a later run.
  if (db->UseWriteAheadLog().ok()) db->KeepLogFiles();
  database_path_ = *found;
  fs::path failed_at = *found;
  last_failure_ = ExportPolished(station, *db, &failed_at);
  if (!last_failure_.ok()) faults->Add(kNotExported, failed_at, last_failure_);
  // Making the stone durable and closing the database wait for the disk; the run goes on
  // meanwhile (the recut advice, the follow-up, the archive) and Finish waits for them.
  faults_ = faults;
  closing_ = std::move(db);
  sync_on_close_ = last_failure_.ok();
  try {
    closer_ = std::thread([this] { close_status_ = Close(); });
  } catch (const std::system_error&) {
    close_status_ = Close();  // no thread to be had: here and now
  }
  return std::nullopt;
}

Status Valdane_Sp::Close() {
  const Status synced = sync_on_close_ ? closing_->MakeDurable() : Status::Ok();
  closing_.reset();
  return synced;
}

void Valdane_Sp::Finish() {
  if (closer_.joinable()) closer_.join();
  if (!close_status_.ok()) {
    last_failure_ = close_status_;
    faults_->Add(kNotExported, database_path_, close_status_);
    close_status_ = Status::Ok();
  }
}

Status Valdane_Sp::ExportPolished(intake::Station& station, platform::Database& db,
                                  fs::path* failed_at) {
  const auto path = intake::FindStationFile(station.env, station.paths.root / "TEST.txt");
  *failed_at = station.paths.Measurement();
  if (!path) return Status::NotFound("TEST.txt: no measurement file", "no measurement file");
  *failed_at = *path;
  // The shape first, so that the file's keys and its text are never held together.
  const std::string shape = ShapeOf(intake::Profile::Load(station.env, *path));
  std::string contents;
  Status s = station.env.ReadFile(*path, &contents);
  if (!s.ok()) return s;

  // The scan: the first item is the section line; every item up to MODEL_IS_SEMI_POLISHED must
  // split into key and value, else nothing is exported.
  text::ItemReader reader(contents);
  if (!reader.Next()) return Status::Invalid("TEST.txt: empty measurement file", "empty file");
  while (!reader.AtEnd()) {
    const auto kv = text::SplitItem(*reader.Next());
    if (!kv) {
      return Status::Invalid("TEST.txt: an item without \"=\"",
                             "an item without \"=\" before " + std::string(kScanStopKey));
    }
    if (kv->key == kScanStopKey) break;
  }
  // Every polished stone goes to the round brilliant tables, whatever its cutting type.
  *failed_at = database_path_;
  return ExportRoundTables(db, contents, shape, &station.faults);
}

Status Valdane_Sp::ExportRoundTables(platform::Database& db, std::string_view contents,
                                     std::string_view shape, FaultLog* faults) {
  Status s = db.Begin();
  if (!s.ok()) return s;
  // Any failing statement below is a real database failure (names and types are checked first),
  // so the whole export is undone.
  const auto fail = [&db](Status failure) {
    (void)db.Rollback();
    return failure;
  };

  std::array<TableRow, kRoundTables.size()> rounds;
  for (std::size_t t = 0; t < kRoundTables.size(); ++t) rounds[t].Load(db, kRoundTables[t]);
  TableRow cut_sym;
  cut_sym.Load(db, kCutSymTable);
  TableRow user;
  user.Load(db, kUserTable);
  // A report table that is missing is passed over; the stone's values it should hold are lost.
  if (faults) {
    for (const TableRow* table :
         {&rounds[0], &rounds[1], &rounds[2], &rounds[3], &rounds[4], &cut_sym, &user}) {
      if (!table->row) faults->Add(kTableNotWritten, database_path_, "no table " + table->name);
    }
  }

  for (TableRow* table : {&rounds[0], &rounds[1], &rounds[2], &rounds[3], &rounds[4], &cut_sym}) {
    if (!table->row) continue;
    s = db.Execute("DELETE FROM " + platform::Database::QuoteName(table->row->table()));
    if (!s.ok()) return fail(s);
  }

  const std::string row_id = std::to_string(kExportRowId);
  const std::string rid = FoldName("RID");
  for (TableRow& table : rounds) {
    if (table.row) table.row->Set(rid, row_id);
  }
  if (cut_sym.row) cut_sym.row->Set(rid, row_id);

  // UserData keeps its rows: a row is added only to an empty table, else the first row is the one
  // that receives the shape.
  bool user_is_new = false;
  if (user.row) {
    std::vector<platform::Row> count;
    s = db.Query("SELECT count(*) FROM " + platform::Database::QuoteName(kUserTable), {}, &count);
    if (!s.ok()) return fail(s);
    user_is_new = count.empty() || !count[0][0] || *count[0][0] == "0";
    if (user_is_new) user.row->Set(rid, row_id);
    user.row->Set(FoldName("SHAPE"), shape);
  }

  // Every key goes into each round table that has a column of its name. The original saves each
  // row after every key, with all keys set so far; one insert of the finished row leaves the same
  // table, and a row is saved only once at least one key has been read.
  std::size_t longest = 0;
  for (const TableRow& table : rounds) {
    if (table.row) longest = std::max(longest, table.row->LongestName());
  }
  text::ItemReader reader(contents);
  reader.Next();
  bool saved = false;
  std::string folded;
  while (auto item = reader.Next()) {
    const auto kv = text::SplitItem(*item);
    if (!kv) continue;  // no key of its own: passed over
    saved = true;
    // A key longer than every column name has no column (and is not copied to find that out).
    if (kv->key.size() > longest) continue;
    folded = FoldName(kv->key);
    const std::string_view value = kv->value.empty() ? kEmptyValue : kv->value;
    for (TableRow& table : rounds) {
      if (table.row) table.row->Set(folded, value);
    }
  }

  for (const TableRow& table : rounds) {
    if (!table.row || !saved) continue;
    s = table.row->Insert(db);
    if (!s.ok()) return fail(s);
  }
  if (user.row) {
    s = user_is_new ? user.row->Insert(db) : user.row->UpdateFirst(db);
    if (!s.ok()) return fail(s);
  }
  if (cut_sym.row) {
    s = cut_sym.row->Insert(db);
    if (!s.ok()) return fail(s);
  }
  s = db.Commit();
  return s.ok() ? s : fail(s);
}

}  // namespace krm::report_export
