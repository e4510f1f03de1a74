#include "tools/batch_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "gradetables/main_fnc.h"
#include "platform/default_env.h"
#include "platform/program_arguments.h"
#include "platform/system.h"
#include "text/code_page.h"
#include "text/number_text.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool IsTxt(const fs::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".txt";
}

// Appends the record's line to `out`; `json` is the worker's object, filled anew for each record.
void AppendSerialized(const StoneRecord& record, RecordFormat format, nlohmann::json* json,
                      std::string* out) {
  if (format == RecordFormat::kCsv) {
    *out += CsvLine(CsvRow(record));
    return;
  }
  FillJson(record, json);
  *out += json->dump();
  out->push_back('\n');
}

// Keeps a line of progress on a terminal, at most a few times a second.
class Progress {
 public:
  Progress(std::FILE* out, std::size_t total) : out_(out), total_(total), start_(Clock::now()) {}
  void Update(std::size_t done, bool last = false) {
    if (!out_) return;
    const auto now = Clock::now();
    if (!last && now - shown_ < std::chrono::milliseconds(200)) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::fprintf(out_, "\rgraded %zu of %zu stones, %.0f stones/s   ", done, total_, rate);
    if (last) std::fputc('\n', out_);
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  std::size_t total_;
  Clock::time_point start_;
  Clock::time_point shown_{};
};

struct Options {
  std::optional<fs::path> station;
  RecordFormat format = RecordFormat::kJsonLines;
  int jobs = 1;
  bool archive = false;
  std::vector<fs::path> paths;
};

// Parses [--station DIR] [--format jsonl|csv] [--jobs N] [--archive] PATH...; no value on a usage
// error.
std::optional<Options> ParseOptions(const std::vector<std::string_view>& args, bool batch) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--station" && has_value) {
      o.station = platform::PathFromUtf8(args[++i]);
    } else if (batch && arg == "--format" && has_value) {
      const std::string_view f = args[++i];
      if (f == "jsonl") {
        o.format = RecordFormat::kJsonLines;
      } else if (f == "csv") {
        o.format = RecordFormat::kCsv;
      } else {
        return std::nullopt;
      }
    } else if (batch && arg == "--archive") {
      o.archive = true;
    } else if (batch && arg == "--jobs" && has_value) {
      o.jobs = std::atoi(std::string(args[++i]).c_str());
      if (o.jobs < 1 || o.jobs > 256) return std::nullopt;
    } else if (arg.starts_with("-") && arg != "-") {
      return std::nullopt;
    } else {
      o.paths.push_back(platform::PathFromUtf8(arg));
    }
  }
  if (o.paths.empty() || (!batch && o.paths.size() != 1)) return std::nullopt;
  return o;
}

// The grade data of the options; on failure says why on standard error.
std::optional<LoadedGradeData> LoadData(platform::Env& env, const Options& o) {
  if (!o.station) return DefaultGradeData();
  LoadedGradeData data;
  const Status s = LoadStationGradeData(env, *o.station, &data);
  if (!s.ok()) {
    std::fprintf(stderr, "krm-station: grade data of %s not read: %s\n",
                 o.station->string().c_str(), s.message().c_str());
    return std::nullopt;
  }
  return data;
}

constexpr std::string_view kGradeUsage =
    "usage: krm-station grade [--station DIR] [--format jsonl|csv] [--jobs N] [--archive] "
    "PATH...\n";
constexpr std::string_view kExplainUsage = "usage: krm-station explain [--station DIR] FILE\n";

std::string Pad(std::string text, std::size_t width) {
  // Widths count characters: the degree sign takes two bytes in UTF-8.
  std::size_t shown = 0;
  for (unsigned char c : text) shown += (c & 0xC0) != 0x80;
  if (shown < width) text.append(width - shown, ' ');
  return text;
}

}  // namespace

std::vector<BatchItem> ListMeasurementFiles(platform::Env& env,
                                            const std::vector<fs::path>& paths) {
  std::vector<BatchItem> items;
  for (const fs::path& path : paths) {
    if (!env.IsDirectory(path)) {
      items.push_back({path, std::nullopt});
      continue;
    }
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (IsTxt(it->path()) && !it->is_directory(ec)) found.push_back(it->path());
    }
    if (ec) {
      items.push_back({path, "cannot search the folder: " + ec.message()});
      continue;
    }
    std::sort(found.begin(), found.end());
    for (fs::path& f : found) items.push_back({std::move(f), std::nullopt});
  }
  return items;
}

namespace {

// Reads the item's file into `*contents`; the record of the file when it cannot be read.
std::optional<StoneRecord> ReadItem(platform::Env& env, const BatchItem& item,
                                    std::string* contents) {
  if (item.error) return FailedRecord(item.path.string(), *item.error);
  const Status read = env.ReadFile(item.path, contents);
  if (read.ok()) return std::nullopt;
  const bool missing = read.code() == Status::Code::kNotFound;
  return FailedRecord(item.path.string(), missing ? "no such measurement file" : read.reason());
}

}  // namespace

StoneRecord GradeItem(platform::Env& env, const LoadedGradeData& data, const BatchItem& item,
                      std::string* contents) {
  std::string read_contents;
  if (contents == nullptr) contents = &read_contents;
  if (std::optional<StoneRecord> failed = ReadItem(env, item, contents)) return std::move(*failed);
  return GradeStone(data, item.path.string(), *contents);
}

std::size_t GradeBatch(platform::Env& env, const LoadedGradeData& data,
                       const std::vector<BatchItem>& items, RecordFormat format, int jobs,
                       std::FILE* out, std::FILE* progress, BatchArchive* archive) {
  if (format == RecordFormat::kCsv) std::fputs(CsvLine(CsvHeader()).c_str(), out);
  // Workers take the items in runs of `kRun` and hand each run's records over as one text, so that
  // threads meet once a run, not once a stone. Runs are written in the order of the items; a
  // worker runs at most `window` runs ahead of the writer, so that memory stays bounded whatever
  // the number of files.
  constexpr std::size_t kRun = 16;
  const std::size_t runs = (items.size() + kRun - 1) / kRun;
  const std::size_t window = static_cast<std::size_t>(jobs) * 4;
  std::mutex mutex;
  std::condition_variable ready, room;
  // A run's records as one text, and their archive records when the batch keeps them.
  struct Done {
    std::string text;
    std::vector<BatchArchive::Pending> kept;
  };
  std::deque<std::optional<Done>> pending;  // runs from `written` on
  std::size_t written = 0, next = 0, errors = 0;

  // A batch's files are read once. When they come from the disk, the files of a run start coming
  // in while the runs before it are graded: once a run's files took long to read, each worker
  // asks for those of the run as many runs ahead as there are workers. Files already in memory
  // are not asked for, which would cost more than reading them.
  std::atomic<bool> from_disk = false;
  auto prefetch = [&](std::size_t run) {
    for (std::size_t i = run * kRun; i < std::min(items.size(), (run + 1) * kRun); ++i) {
      env.Prefetch(items[i].path);
    }
  };
  auto work = [&] {
    nlohmann::json record_json;
    for (;;) {
      std::size_t run;
      {
        std::unique_lock lock(mutex);
        room.wait(lock, [&] { return next >= runs || next < written + window; });
        if (next >= runs) return;
        run = next++;
      }
      if (from_disk.load(std::memory_order_relaxed)) prefetch(run + static_cast<std::size_t>(jobs));
      Done done;
      std::size_t failed = 0;
      Clock::duration reading{};
      const std::size_t first = run * kRun, end = std::min(items.size(), first + kRun);
      for (std::size_t i = first; i < end; ++i) {
        std::string contents;
        const auto started = Clock::now();
        std::optional<StoneRecord> unread = ReadItem(env, items[i], &contents);
        reading += Clock::now() - started;
        const StoneRecord record =
            unread ? std::move(*unread) : GradeStone(data, items[i].path.string(), contents);
        if (record.error) ++failed;
        AppendSerialized(record, format, &record_json, &done.text);
        if (!archive) continue;
        if (auto kept = archive->Record(record, std::move(contents))) {
          done.kept.push_back(std::move(*kept));
        }
      }
      // A measurement file in memory is read in a few microseconds, one from the disk in a tenth
      // of a millisecond or more.
      if (reading > (end - first) * std::chrono::microseconds(40)) from_disk = true;
      std::lock_guard lock(mutex);
      errors += failed;
      const std::size_t slot = run - written;
      if (pending.size() <= slot) pending.resize(slot + 1);
      pending[slot] = std::move(done);
      if (slot == 0) ready.notify_one();
    }
  };
  std::vector<std::thread> workers;
  for (int j = 0; j < jobs; ++j) workers.emplace_back(work);

  Progress shown(progress, items.size());
  std::unique_lock lock(mutex);
  while (written < runs) {
    ready.wait(lock, [&] { return !pending.empty() && pending.front(); });
    Done done = std::move(*pending.front());
    pending.pop_front();
    ++written;
    room.notify_all();
    lock.unlock();
    std::fwrite(done.text.data(), 1, done.text.size(), out);
    for (BatchArchive::Pending& kept : done.kept) archive->Add(std::move(kept));
    shown.Update(std::min(items.size(), written * kRun));
    lock.lock();
  }
  lock.unlock();
  for (std::thread& t : workers) t.join();
  if (!items.empty()) shown.Update(items.size(), /*last=*/true);
  std::fflush(out);
  return errors;
}

int GradeCommand(const std::vector<std::string_view>& args) {
  const std::optional<Options> o = ParseOptions(args, /*batch=*/true);
  if (!o) {
    std::fputs(kGradeUsage.data(), stderr);
    return 64;
  }
  platform::DefaultEnv env;
  // The grade data is built or read while the files are listed: each takes a few hundredths of a
  // second for a batch of thousands.
  std::future<std::optional<LoadedGradeData>> loading =
      std::async(std::launch::async, [&env, &o] { return LoadData(env, *o); });
  const std::vector<BatchItem> items = ListMeasurementFiles(env, o->paths);
  const std::optional<LoadedGradeData> data = loading.get();
  if (!data) return 2;
  std::FILE* progress = platform::IsTerminal(stderr) ? stderr : nullptr;
  // The archive of the station, or of the current folder when the batch has none.
  std::optional<BatchArchive> archive;
  if (o->archive) archive.emplace(env, o->station.value_or("."), *data);
  const std::size_t errors = GradeBatch(env, *data, items, o->format, o->jobs, stdout, progress,
                                        archive ? &*archive : nullptr);
  bool archived = true;
  if (archive) {
    archive->Finish();
    for (const std::string& line : archive->faults().Lines("krm-station")) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    for (const std::string& line : archive->notices()) {
      std::fprintf(stderr, "krm-station: %s\n", line.c_str());
    }
    archived = archive->faults().empty();
  }
  if (std::ferror(stdout) || !archived) {
    std::fprintf(stderr, "krm-station: the records could not be written\n");
    return 2;
  }
  if (errors > 0) {
    std::fprintf(stderr, "krm-station: %zu of %zu files could not be graded\n", errors,
                 items.size());
    return 1;
  }
  return 0;
}

std::string ExplanationText(const StoneRecord& record) {
  if (record.error) return record.file + ": " + *record.error + "\n";
  const grading::StoneState& s = record.stone;
  const grading::Explanation& e = record.explanation;
  const auto name = [](std::int16_t c) { return gradetables::MainFNC::eClassName(c); };
  const auto utf8 = [](const std::string& t) { return text::Cp1252ToUtf8(t); };
  std::string out = "stone " + utf8(record.stone_id) + " (" + record.file +
                    "): " + utf8(s.fields.CutCaption()) + "\n";
  out += "  table class " +
         (e.table_class >= 1 && e.table_class <= 5 ? name(e.table_class) : std::string("none")) +
         " from cell " + std::to_string(e.cell) + " of the grade table, symmetry " +
         s.fields.SymmetryCaption() + "\n\n";
  out += "  " + Pad("proportion", 22) + Pad("measured", 11) + Pad("grid", 9) +
         Pad("one step down", 21) + "one step up\n";
  bool any_limits = false;
  for (const grading::AxisView& view : e.axes) {
    const gradetables::GridAxis& grid = gradetables::GridOf(view.axis);
    const std::string unit = utf8(std::string(grid.unit));
    const auto neighbour = [&](const std::optional<double>& v,
                               const std::optional<std::int16_t>& c) {
      if (!v) return std::string("-");
      return utf8(grading::GridValueText(view.axis, *v)) + " " + (c ? name(*c) : "?");
    };
    any_limits = any_limits || view.limits;
    out += "  " + Pad(std::string(grid.name) + (view.limits ? " *" : ""), 22) +
           Pad(text::FromSingle(view.averaged) + (unit == "%" ? " %" : unit), 11) +
           Pad(utf8(grading::GridValueText(view.axis, view.snapped)), 9) +
           Pad(neighbour(view.below_value, view.below_class), 21) +
           neighbour(view.above_value, view.above_class) + "\n";
  }
  if (any_limits) out += "  * one grid step along it gives a better class\n";
  out += "\n";
  if (e.nearest_better) {
    out += "  nearest better cell: " + std::to_string(e.nearest_better->steps) + " grid step" +
           (e.nearest_better->steps == 1 ? "" : "s") + " away, " +
           name(e.nearest_better->grade_class) + "\n";
  }
  out += "  final grade from: " + grading::RuleName(e.final_rule.rule) + " (" +
         utf8(e.final_rule.numbers) + ")\n";
  for (const grading::RuleOutcome& rule : e.acted) {
    out += "  worsened by: " + grading::RuleName(rule.rule) + " (" + utf8(rule.numbers) + "), to " +
           name(rule.limit) + "\n";
  }
  out += "\n  " + utf8(e.verdict) + ".\n";
  return out;
}

int ExplainCommand(const std::vector<std::string_view>& args) {
  const std::optional<Options> o = ParseOptions(args, /*batch=*/false);
  if (!o) {
    std::fputs(kExplainUsage.data(), stderr);
    return 64;
  }
  platform::DefaultEnv env;
  const std::optional<LoadedGradeData> data = LoadData(env, *o);
  if (!data) return 2;
  const StoneRecord record = GradeItem(env, *data, BatchItem{o->paths[0], std::nullopt});
  const std::string shown = ExplanationText(record);
  std::fputs(shown.c_str(), record.error ? stderr : stdout);
  return record.error ? 1 : 0;
}

}  // namespace krm::tools
