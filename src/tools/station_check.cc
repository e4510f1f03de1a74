// The checks of `krm-station check`.
#include "tools/station_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "gradetables/grade_table_reader.h"
#include "intake/station_paths.h"
#include "platform/database.h"
#include "platform/system.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr std::string_view kRestoreParts =
    "put the station's part files back (krm-station init --force DIR lays out the default grade "
    "data)";

// A part file as found: open for reading, or why it cannot be.
struct Part {
  std::string name;  // as the station names it
  std::unique_ptr<platform::BinaryFile> file;
  std::uint64_t size = 0;
  std::string problem;
};

class Checker {
 public:
  Checker(platform::Env& env, const fs::path& dir) : env_(env), paths_(dir) {}

  std::vector<CheckLine> Run() {
    std::array<Part, 4> parts;
    for (int n = 1; n <= 4; ++n) parts[n - 1] = CheckPart(n);
    if (parts[0].problem.empty() && parts[1].problem.empty()) {
      const std::uint64_t size = parts[0].size + parts[1].size;
      if (size < static_cast<std::uint64_t>(gradetables::kGradeTableCells)) {
        Fail("grade table parts", "win_sys1.syc + win_sys2.syc",
             std::to_string(size) + " bytes, short of the grade table's " +
                 std::to_string(gradetables::kGradeTableCells) + "; " + std::string(kRestoreParts));
      }
    }
    CheckJoined("grade table", paths_.GradeTable(), parts[0], parts[1],
                "the next run joins it again");
    fs::path mark = paths_.GradeDatabase();
    mark += ".joining";
    if (env_.IsRegularFile(mark)) {
      Fail("grade tables database file", Shown(paths_.GradeDatabase()),
           "a join was cut short (" + Shown(mark) + " is present); the next run joins it again");
    } else {
      CheckJoined("grade tables database file", paths_.GradeDatabase(), parts[2], parts[3],
                  "remove it and the next run joins it again");
    }
    CheckGradeTables(parts[2], parts[3]);
    CheckReportDatabase();
    CheckDataFolder();
    if (env_.FindFile(paths_.FollowUp())) {
      Ok("follow-up", Shown(paths_.FollowUp()), "present");
    } else {
      Fail("follow-up", Shown(paths_.FollowUp()),
           "missing; put the station's follow-up batch file back (without it a run starts "
           "nothing after the grading)");
    }
    return std::move(lines_);
  }

 private:
  void Ok(std::string_view what, std::string path, std::string text) {
    lines_.push_back({true, std::string(what), std::move(path), std::move(text)});
  }
  void Fail(std::string_view what, std::string path, std::string text) {
    lines_.push_back({false, std::string(what), std::move(path), std::move(text)});
  }

  // A path inside the station folder as seen from it.
  std::string Shown(const fs::path& path) const {
    const fs::path relative = path.lexically_relative(paths_.root);
    return relative.empty() || *relative.begin() == ".." ? path.string()
                                                         : relative.generic_string();
  }

  Part CheckPart(int n) {
    Part part;
    const fs::path path = paths_.Part(n);
    part.name = Shown(path);
    const std::optional<fs::path> found = env_.FindFile(path);
    Status s;
    if (!found) {
      part.problem = env_.IsDirectory(path) ? "a folder, not a file" : "missing";
    } else if (s = env_.OpenBinary(*found, /*create=*/false, &part.file); !s.ok()) {
      part.problem = "not readable (" + s.reason() + ")";
    } else if (s = part.file->Size(&part.size); !s.ok()) {
      part.problem = "not readable (" + s.reason() + ")";
    }
    if (part.problem.empty()) {
      Ok("part file", Shown(*found), std::to_string(part.size) + " bytes");
    } else {
      part.file.reset();
      Fail("part file", part.name, part.problem + "; " + std::string(kRestoreParts));
    }
    return part;
  }

  // The joined file `target` against its parts, byte by byte over the parts' length.
  void CheckJoined(std::string_view what, const fs::path& target, Part& first, Part& second,
                   std::string_view repair) {
    const std::string shown = Shown(target);
    const std::string joined = first.name + " + " + second.name;
    if (env_.IsDirectory(target)) {
      Fail(what, shown, "a folder, not a file; remove it and the next run joins it from " + joined);
      return;
    }
    std::unique_ptr<platform::BinaryFile> file;
    if (!env_.IsRegularFile(target)) {
      std::error_code ec;
      if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
        Fail(what, shown, "not a regular file; remove it and the next run joins it from " + joined);
      } else {
        Ok(what, shown, "not joined yet; the next run joins it from " + joined);
      }
      return;
    }
    if (!first.file || !second.file) {
      Fail(what, shown,
           "cannot be compared with " + joined +
               ": a part file is missing or "
               "unreadable; see the part file's line");
      return;
    }
    std::uint64_t size = 0;
    if (Status s = env_.OpenBinary(target, /*create=*/false, &file); !s.ok()) {
      Fail(what, shown, "not readable (" + s.reason() + ")");
      return;
    }
    (void)file->Size(&size);
    std::string want(kBlock, '\0'), got(kBlock, '\0');
    std::uint64_t at = 0;
    for (Part* part : {&first, &second}) {
      for (std::uint64_t offset = 0; offset < part->size;) {
        std::size_t n = 0, m = 0;
        Status s = part->file->ReadAt(offset, want.data(), kBlock, &n);
        if (s.ok()) s = file->ReadAt(at, got.data(), n, &m);
        if (!s.ok()) {
          Fail(what, shown, "not readable (" + s.reason() + ")");
          return;
        }
        if (n == 0) break;
        const std::size_t same = static_cast<std::size_t>(
            std::mismatch(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(std::min(n, m)),
                          got.begin())
                .first -
            want.begin());
        if (same < n) {
          const std::string where = same < m ? "differs from " + joined + " at byte "
                                             : "shorter than " + joined + ": it ends at byte ";
          Fail(what, shown, where + std::to_string(at + same) + "; " + std::string(repair));
          return;
        }
        offset += n;
        at += n;
      }
    }
    std::string text = "equals " + joined;
    if (size != at) {
      text += " in its first " + std::to_string(at) + " of its " + std::to_string(size) +
              " bytes (a join never shortens its target)";
    }
    Ok(what, shown, text);
  }

  // The grade tables database: the joined file, or the one its parts make when not joined yet.
  void CheckGradeTables(Part& third, Part& fourth) {
    constexpr std::string_view kWhat = "grade tables database";
    const std::string shown = Shown(paths_.GradeDatabase());
    fs::path path = paths_.GradeDatabase();
    std::string from = shown;
    TempFile scratch;
    if (!env_.IsRegularFile(path)) {
      if (!third.file || !fourth.file) {
        Fail(kWhat, shown,
             "not joined, and its part files are missing or unreadable (see their "
             "lines)");
        return;
      }
      Status s = scratch.Make();
      if (s.ok()) s = Concatenate({&third, &fourth}, scratch.path());
      if (!s.ok()) {
        Fail(kWhat, shown, "not joined, and its parts could not be tried (" + s.reason() + ")");
        return;
      }
      path = scratch.path();
      from = third.name + " + " + fourth.name;
    }
    std::unique_ptr<platform::Database> db;
    Status s = platform::Database::OpenForReading(path, &db);
    if (!s.ok()) {
      Fail(kWhat, from,
           "not readable (" + s.reason() + "); " + std::string(kRestoreParts) + ", remove " +
               shown + " and the next run joins it again");
      return;
    }
    std::string counts, missing;
    for (const char* table : {"GirdleThickness", "CULET_DESCRIPTION", "GIRDLE_DESC_CLASS"}) {
      std::vector<platform::Row> rows;
      s = db->Query("SELECT count(*) FROM " + platform::Database::QuoteName(table), {}, &rows);
      if (!s.ok()) {
        missing += (missing.empty() ? "" : ", ") + std::string(table);
      } else {
        counts += (counts.empty() ? "" : ", ") + std::string(table) + " " +
                  rows.at(0).at(0).value_or("0") + " rows";
      }
    }
    if (!missing.empty()) {
      Fail(kWhat, from,
           "no readable table " + missing + "; " + std::string(kRestoreParts) + ", remove " +
               shown + " and the next run joins it again");
    } else {
      Ok(kWhat, from, counts + (from == shown ? "" : " (not joined yet)"));
    }
  }

  void CheckReportDatabase() {
    constexpr std::string_view kWhat = "report database";
    constexpr std::string_view kRestore =
        "restore it from a backup (krm-station init NEWDIR makes an empty one to copy)";
    const std::optional<fs::path> found = env_.FindFile(paths_.ReportDatabase());
    if (!found) {
      Fail(kWhat, Shown(paths_.ReportDatabase()),
           "missing (a run ends with \"YOUR DATABASE FILE NOT EXIST.\"); " + std::string(kRestore));
      return;
    }
    const std::string shown = Shown(*found);
    std::unique_ptr<platform::Database> db;
    if (Status s = platform::Database::Open(*found, &db); !s.ok()) {
      Fail(kWhat, shown, "not readable (" + s.reason() + "); " + std::string(kRestore));
      return;
    }
    std::vector<platform::Row> rows;
    if (Status s = db->Query("SELECT count(*) FROM sqlite_master", {}, &rows); !s.ok()) {
      const bool locked = s.reason().find("locked") != std::string::npos;
      Fail(kWhat, shown,
           "not readable (" + s.reason() + "); " +
               (locked ? "another program holds it; check again when that is done"
                       : "let the station's user read and write it and its folder"));
      return;
    }
    std::string problems;
    const auto problem = [&problems](const std::string& text) {
      problems += (problems.empty() ? "" : ", ") + text;
    };
    for (const char* table :
         {"Round1", "Round2", "Round3", "Round4", "Round5", "RoundCutSym", "UserData"}) {
      std::vector<platform::Column> columns;
      if (Status s = db->Columns(table, &columns); !s.ok()) {
        problem(s.code() == Status::Code::kNotFound
                    ? std::string("no table ") + table
                    : std::string(table) + " not readable (" + s.reason() + ")");
        continue;
      }
      const auto has = [&columns](std::string_view name) {
        for (const platform::Column& c : columns) {
          if (c.name.size() == name.size() &&
              std::equal(name.begin(), name.end(), c.name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) ==
                       std::toupper(static_cast<unsigned char>(b));
              })) {
            return true;
          }
        }
        return false;
      };
      if (!has("RID")) problem(std::string(table) + " without RID");
      if (std::string_view(table) == "UserData" && !has("SHAPE")) problem("UserData without SHAPE");
      if (Status s =
              db->Query("SELECT count(*) FROM " + platform::Database::QuoteName(table), {}, &rows);
          !s.ok()) {
        problem(std::string(table) + " not readable (" + s.reason() + ")");
      }
    }
    if (!problems.empty()) {
      Fail(kWhat, shown, problems + "; " + std::string(kRestore));
      return;
    }
    std::vector<platform::Row> mode;
    const bool wal = db->Query("PRAGMA journal_mode", {}, &mode).ok() && !mode.empty() &&
                     mode[0][0].value_or("") == "wal";
    Ok(kWhat, shown,
       std::string("Round1 to Round5, RoundCutSym and UserData with RID, UserData with SHAPE") +
           (wal ? ""
                : " (on a rollback journal: the next run switches it to the write-ahead log)"));
  }

  void CheckDataFolder() {
    constexpr std::string_view kWhat = "data folder";
    const fs::path folder = paths_.DataFolder();
    const std::string shown = Shown(folder);
    if (!env_.IsDirectory(folder)) {
      Fail(kWhat, shown,
           "missing; create it (the grading step does not, and writes no result without it)");
      return;
    }
    // Trying is the only sure test: permissions, a read-only file system and a full disk all show.
    fs::path tried;
    const Status made = platform::CreateUniqueFile(folder, ".krm-check-", &tried);
    if (!made.ok()) {
      Fail(kWhat, shown,
           "not writable (" + made.reason() +
               "); let the station's user write in it, or no result of a run is written");
      return;
    }
    // Removed again; one that stayed would be no file the station reads.
    (void)env_.RemoveFile(tried);
    Ok(kWhat, shown, "writable");
  }

  // A file in the system's temporary folder, removed when the object goes.
  class TempFile {
   public:
    ~TempFile() {
      std::error_code ec;
      if (!path_.empty()) fs::remove(path_, ec);
    }
    Status Make() {
      std::error_code ec;
      const fs::path folder = fs::temp_directory_path(ec);
      if (ec) return Status::IoError("no temporary folder: " + ec.message(), ec.message());
      return platform::CreateUniqueFile(folder, "krm-check-", &path_);
    }
    const fs::path& path() const { return path_; }

   private:
    fs::path path_;
  };

  Status Concatenate(std::initializer_list<Part*> parts, const fs::path& to) {
    std::unique_ptr<platform::BinaryFile> out;
    Status s = env_.OpenBinary(to, /*create=*/true, &out);
    std::string block(kBlock, '\0');
    std::uint64_t at = 0;
    for (Part* part : parts) {
      for (std::uint64_t offset = 0; s.ok() && offset < part->size;) {
        std::size_t n = 0;
        s = part->file->ReadAt(offset, block.data(), kBlock, &n);
        if (n == 0) break;
        if (s.ok()) s = out->WriteAt(at, block.data(), n);
        offset += n;
        at += n;
      }
    }
    return s;
  }

  platform::Env& env_;
  intake::StationPaths paths_;
  std::vector<CheckLine> lines_;
};

}  // namespace

std::vector<CheckLine> CheckStation(platform::Env& env, const fs::path& dir) {
  return Checker(env, dir).Run();
}

std::string FormatCheckLine(const CheckLine& line) {
  return std::string(line.ok ? "OK   " : "FAIL ") + line.what + ": " + line.path + ": " + line.text;
}

}  // namespace krm::tools
