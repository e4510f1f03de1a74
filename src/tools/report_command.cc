#include "tools/report_command.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "platform/default_env.h"
#include "platform/program_arguments.h"
#include "tools/batch_command.h"
#include "tools/stone_page.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: krm-station report [--station DIR] [--out DIR] PATH...\n";

struct Options {
  std::optional<fs::path> station;
  fs::path out = "stone-pages";
  std::vector<fs::path> paths;
};

std::optional<Options> ParseOptions(const std::vector<std::string_view>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--station" && has_value) {
      o.station = platform::PathFromUtf8(args[++i]);
    } else if (arg == "--out" && has_value) {
      o.out = platform::PathFromUtf8(args[++i]);
    } else if (arg.starts_with("-") && arg != "-") {
      return std::nullopt;
    } else {
      o.paths.push_back(platform::PathFromUtf8(arg));
    }
  }
  if (o.paths.empty() || o.out.empty()) return std::nullopt;
  return o;
}

constexpr std::size_t kLongestStem = 120;

std::string PageStem(const StoneRecord& record) {
  std::string stem = record.stone_id.empty() || record.error ? fs::path(record.file).stem().string()
                                                             : record.stone_id;
  for (char& c : stem) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (!std::isalnum(u) && c != '.' && c != '-' && c != '_')) c = '_';
  }
  if (stem.empty() || stem.front() == '.') stem.insert(0, "stone");
  // A file name holds at most 255 bytes.
  if (stem.size() > kLongestStem) stem.resize(kLongestStem);
  return stem;
}

std::string Folded(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

Status WritePage(platform::Env& env, const fs::path& path, const std::string& page) {
  std::unique_ptr<platform::WritableFile> file;
  Status s = env.OpenWritable(path, /*append=*/false, &file);
  if (!s.ok()) return s;
  const Status written = file->Append(page);
  const Status closed = file->Close();
  return written.ok() ? closed : written;
}

}  // namespace

std::string PageNames::Take(const StoneRecord& record) {
  const std::string stem = PageStem(record);
  std::string name = stem;
  for (int n = 2; !taken_.insert(Folded(name)).second; ++n) name = stem + "-" + std::to_string(n);
  return name + ".html";
}

int ReportCommand(const std::vector<std::string_view>& args) {
  const std::optional<Options> o = ParseOptions(args);
  if (!o) {
    std::fputs(kUsage.data(), stderr);
    return 64;
  }
  platform::DefaultEnv env;
  LoadedGradeData data;
  if (o->station) {
    const Status s = LoadStationGradeData(env, *o->station, &data);
    if (!s.ok()) {
      std::fprintf(stderr, "krm-station: grade data of %s not read: %s\n",
                   o->station->string().c_str(), s.message().c_str());
      return 2;
    }
  } else {
    data = DefaultGradeData();
  }
  std::error_code ec;
  fs::create_directories(o->out, ec);
  if (ec || !env.IsDirectory(o->out)) {
    std::fprintf(stderr, "krm-station: output folder %s not made: %s\n", o->out.string().c_str(),
                 ec ? ec.message().c_str() : "not a folder");
    return 2;
  }

  const PageContext context{o->station ? "the grade data of station " + o->station->string()
                                       : data.source};
  const std::vector<BatchItem> items = ListMeasurementFiles(env, o->paths);
  PageNames names;
  std::vector<IndexEntry> index;
  std::size_t errors = 0;
  bool unwritten = false;
  const auto write = [&](const fs::path& path, const std::string& page) {
    const Status s = WritePage(env, path, page);
    if (!s.ok()) {
      std::fprintf(stderr, "krm-station: %s not written: %s\n", path.string().c_str(),
                   s.message().c_str());
      unwritten = true;
      return;
    }
    std::printf("%s\n", path.string().c_str());
  };
  for (const BatchItem& item : items) {
    const StoneRecord record = GradeItem(env, data, item);
    if (record.error) {
      ++errors;
      std::fprintf(stderr, "krm-station: %s: %s\n", record.file.c_str(), record.error->c_str());
    }
    const std::string page = names.Take(record);
    write(o->out / page, StonePage(record, context));
    if (items.size() > 1) index.push_back(IndexEntryOf(record, page));
  }
  if (items.size() > 1) write(o->out / "index.html", IndexPage(index, context));
  if (items.empty()) std::fprintf(stderr, "krm-station: no measurement files found\n");
  std::fflush(stdout);
  if (unwritten || std::ferror(stdout)) return 2;
  if (errors > 0) {
    std::fprintf(stderr, "krm-station: %zu of %zu files could not be graded\n", errors,
                 items.size());
    return 1;
  }
  return 0;
}

}  // namespace krm::tools
