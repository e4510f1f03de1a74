// FaultLog: the faults that a run passes over.
//
// The station's files must stay exactly what its rules make of a failing statement (a report that
// could not be written is simply not there), but nothing may be lost without a word: every such
// fault is recorded here, said on standard error as one line
//   PROGRAM: WHAT: PATH: REASON
// and turns the run's exit status into "ran to its end, but a result could not be made or
// written".
#ifndef KRM_PLATFORM_FAULT_LOG_H_
#define KRM_PLATFORM_FAULT_LOG_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace krm {

struct Fault {
  std::string what;    // what could not be done: "report file not written"
  std::string path;    // the file concerned, relative to the station folder when inside it
  std::string reason;  // why: "no space left on device"
};

class FaultLog {
 public:
  FaultLog() = default;
  // Paths inside `root` are shown relative to it.
  explicit FaultLog(std::filesystem::path root) : root_(std::move(root)) {}

  // Records a fault; the same fault (what, path and reason alike) is recorded once.
  void Add(std::string_view what, const std::filesystem::path& path, std::string_view reason) {
    Fault fault{std::string(what), Shown(path), std::string(reason)};
    for (const Fault& f : faults_) {
      if (f.what == fault.what && f.path == fault.path && f.reason == fault.reason) return;
    }
    faults_.push_back(std::move(fault));
  }
  void Add(std::string_view what, const std::filesystem::path& path, const Status& status) {
    Add(what, path, status.reason());
  }
  // Records `status` when it is a failure; gives whether it was one.
  bool Check(const Status& status, std::string_view what, const std::filesystem::path& path) {
    if (status.ok()) return false;
    Add(what, path, status);
    return true;
  }

  bool empty() const { return faults_.empty(); }
  const std::vector<Fault>& faults() const { return faults_; }

  // "PROGRAM: WHAT: PATH: REASON", one per fault, in the order they happened.
  std::vector<std::string> Lines(std::string_view program) const {
    std::vector<std::string> lines;
    for (const Fault& f : faults_) {
      std::string line(program);
      line.append(": ").append(f.what).append(": ").append(f.path).append(": ").append(f.reason);
      lines.push_back(std::move(line));
    }
    return lines;
  }

 private:
  std::string Shown(const std::filesystem::path& path) const {
    if (!root_.empty()) {
      const std::filesystem::path relative = path.lexically_relative(root_);
      if (!relative.empty() && *relative.begin() != "..") return relative.generic_string();
    }
    return path.generic_string();
  }

  std::filesystem::path root_;
  std::vector<Fault> faults_;
};

}  // namespace krm

#endif  // KRM_PLATFORM_FAULT_LOG_H_
