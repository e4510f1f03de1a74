#include "tools/archive_command.h"

#include <charconv>
#include <optional>
#include <string>
#include <system_error>

#include "archive/archive_config.h"
#include "archive/archiver.h"
#include "archive/local_archive.h"
#include "platform/fault_log.h"
#include "platform/program_arguments.h"

namespace krm::tools {

const char kArchiveUsage[] =
    "  archive send [--station DIR]\n"
    "                       send the records that wait in DIR's archive to the lab's server\n"
    "  archive list [--station DIR] [--limit N]\n"
    "                       the N newest records of DIR's archive (default 20), tab-separated\n";

namespace {

constexpr int kUsageError = 64;

struct Options {
  std::filesystem::path station = ".";
  std::size_t limit = 20;
};

// Parses [--station DIR] and, when `with_limit`, [--limit N]; no value on a usage error.
std::optional<Options> Parse(const std::vector<std::string_view>& args, bool with_limit) {
  Options options;
  // Options come in pairs: a name and its value.
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return std::nullopt;
    const std::string_view value = args[i + 1];
    if (args[i] == "--station" && !value.empty()) {
      options.station = platform::PathFromUtf8(value);
    } else if (args[i] == "--limit" && with_limit) {
      const auto [end, ec] =
          std::from_chars(value.data(), value.data() + value.size(), options.limit);
      if (ec != std::errc() || end != value.data() + value.size()) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

// A stored text for one field of a tab-separated line: tabs, line ends and backslashes escaped.
std::string Field(const std::optional<std::string>& value) {
  if (!value) return "";
  std::string out;
  for (const char c : *value) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

int PrintFaults(const FaultLog& faults, std::FILE* err) {
  for (const std::string& line : faults.Lines("krm-station"))
    std::fprintf(err, "%s\n", line.c_str());
  return 2;
}

int Send(platform::Env& env, const Options& options, std::FILE* out, std::FILE* err) {
  const archive::ArchiveConfig config = archive::LoadArchiveConfig(env, options.station);
  if (config.server_url.empty()) {
    std::fprintf(err,
                 "krm-station: %s has no archive server: set url in the [Archive] section of "
                 "station.ini, or %s\n",
                 options.station.string().c_str(), archive::kUrlVariable);
    return 1;
  }
  std::error_code ec;
  if (!std::filesystem::exists(config.local_path, ec)) {
    std::fprintf(out, "krm-station: no archive in %s, nothing to send\n",
                 options.station.string().c_str());
    return 0;
  }
  FaultLog faults(options.station);
  archive::ArchiverOptions archiver_options;
  archiver_options.create_local = false;
  archive::Archiver archiver(env, config, &faults, archiver_options);
  if (archiver.has_local()) archiver.SendWaiting();
  if (!faults.empty()) return PrintFaults(faults, err);
  const std::vector<std::string> notices = archiver.Notices();
  for (const std::string& line : notices) std::fprintf(err, "krm-station: %s\n", line.c_str());
  if (!notices.empty()) return 3;
  std::fprintf(out, "krm-station: %lld sent to the archive server, %lld wait\n",
               static_cast<long long>(archiver.sent()), static_cast<long long>(archiver.Waiting()));
  return 0;
}

int List(const Options& options, std::FILE* out, std::FILE* err) {
  const std::filesystem::path path = options.station / "data" / "archive.db";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    std::fprintf(err, "krm-station: no archive in %s (no stone graded there yet)\n",
                 options.station.string().c_str());
    return 0;
  }
  std::unique_ptr<archive::LocalArchive> local;
  FaultLog faults(options.station);
  std::vector<archive::LocalArchive::Listed> rows;
  if (faults.Check(
          archive::LocalArchive::Open(path, archive::LocalArchive::OpenMode::kExisting, &local),
          "archive not opened", path) ||
      faults.Check(local->Latest(options.limit, &rows), "archive not read", path)) {
    return PrintFaults(faults, err);
  }
  std::fprintf(out, "graded_at\trun_id\tstation\tstone_id\tcut_grade\toverall_class\tsent_at\n");
  for (const auto& listed : rows) {
    const archive::StoredRow& r = listed.row;
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\t%s\t%s\n", Field(r[archive::kGradedAt]).c_str(),
                 Field(r[archive::kRunId]).c_str(), Field(r[archive::kStation]).c_str(),
                 Field(r[archive::kStoneId]).c_str(), Field(r[archive::kCutGrade]).c_str(),
                 Field(r[archive::kOverallClass]).c_str(),
                 listed.sent_at ? Field(listed.sent_at).c_str() : "waits");
  }
  return 0;
}

}  // namespace

int ArchiveCommand(platform::Env& env, const std::vector<std::string_view>& args, std::FILE* out,
                   std::FILE* err) {
  if (args.empty()) return kUsageError;
  const std::vector<std::string_view> rest(args.begin() + 1, args.end());
  if (args[0] == "send") {
    const auto options = Parse(rest, false);
    return options ? Send(env, *options, out, err) : kUsageError;
  }
  if (args[0] == "list") {
    const auto options = Parse(rest, true);
    return options ? List(*options, out, err) : kUsageError;
  }
  return kUsageError;
}

}  // namespace krm::tools
