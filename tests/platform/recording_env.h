// RecordingEnv: the system's real file access (PosixEnv, or Win32Env on Windows) on a temporary
// station folder, with the message boxes and follow-up starts recorded instead of shown or run,
// and a fixed clock.
#ifndef KRM_TESTS_PLATFORM_RECORDING_ENV_H_
#define KRM_TESTS_PLATFORM_RECORDING_ENV_H_

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/default_env.h"

namespace krm::testing {

namespace fs = std::filesystem;

struct RecordedMessage {
  std::string message;
  int style;
  std::string title;
};

struct RecordedStart {
  fs::path batch;
  fs::path folder;
};

class RecordingEnv : public platform::DefaultEnv {
 public:
  RecordingEnv() {
    now_ = {};
    now_.tm_year = 2026 - 1900;
    now_.tm_mon = 11;
    now_.tm_mday = 6;
    now_.tm_hour = 14;
    now_.tm_min = 5;
    now_.tm_sec = 9;
  }

  void MessageBox(std::string_view message, int style, std::string_view title) override {
    messages.push_back({std::string(message), style, std::string(title)});
  }
  Status StartBatch(const fs::path& batch, const fs::path& folder) override {
    starts.push_back({batch, folder});
    return Status::Ok();
  }
  Status StartProgram(const fs::path& program, const std::vector<std::string>& args) override {
    programs.push_back({program, args});
    return program_start;
  }
  std::tm Now() override { return now_; }
  // Fixed forms, so that expected files do not depend on the machine's locale.
  std::string ShortDate(const std::tm& t) override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900);
    return buf;
  }
  std::string LongTime(const std::tm& t) override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
  }

  void SetNow(const std::tm& now) { now_ = now; }

  std::vector<RecordedMessage> messages;
  std::vector<RecordedStart> starts;
  struct RecordedProgram {
    fs::path program;
    std::vector<std::string> args;
  };
  std::vector<RecordedProgram> programs;
  Status program_start = Status::Ok();  // what StartProgram gives

 private:
  std::tm now_;
};

// The bytes of a file; "" when it cannot be read.
inline std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// `text` cut at each `end`; a last part without its end counts too.
inline std::vector<std::string> Split(const std::string& text, const std::string& end) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    parts.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return parts;
}

// The lines of a text, without their line ends (LF, or CR LF as Windows writes them).
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, "\n");
  for (std::string& line : lines) {
    if (line.ends_with('\r')) line.pop_back();
  }
  return lines;
}

// A fresh, empty folder under the system's temporary folder, removed again at the end of a test.
class TempStation {
 public:
  TempStation() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "krm-station-%08x", static_cast<unsigned>(random()));
      std::error_code ec;
      const fs::path folder = fs::temp_directory_path(ec) / name;
      if (!ec && fs::create_directory(folder, ec) && !ec) root_ = folder;
    }
  }
  ~TempStation() {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    RemoveTree(root_);
  }

  // Removes a folder and all it holds. A file that a process still has open (a follow-up that is
  // ending) cannot be removed on Windows at once; the removal is tried again for a while.
  // (std::filesystem::remove_all of GCC 12 can loop for ever there.)
  static void RemoveTree(const fs::path& root) {
    std::error_code ec;
    for (int attempt = 0; attempt < 100 && fs::exists(root, ec); ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::vector<fs::path> paths;
      for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        paths.push_back(it->path());
      }
      for (auto path = paths.rbegin(); path != paths.rend(); ++path) fs::remove(*path, ec);
      fs::remove(root, ec);
    }
  }
  TempStation(const TempStation&) = delete;
  TempStation& operator=(const TempStation&) = delete;

  const fs::path& root() const { return root_; }

  void Write(const fs::path& relative, std::string_view contents) const {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream out(root_ / relative, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  }
  std::string Read(const fs::path& relative) const { return ReadWhole(root_ / relative); }
  bool Exists(const fs::path& relative) const { return fs::exists(root_ / relative); }

 private:
  fs::path root_;
};

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_RECORDING_ENV_H_
