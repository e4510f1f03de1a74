// OutputFile: a station text file written line by line (the report, the grade log, the recut
// advice), each line ended by CR LF.
//
// A file that cannot be opened, written or closed is passed over, as the station's rules pass
// over a failing statement: its lines are dropped. The first failure is kept, so that the one who
// closes the file can say which result was not written and why.
#ifndef KRM_PLATFORM_OUTPUT_FILE_H_
#define KRM_PLATFORM_OUTPUT_FILE_H_

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/env.h"
#include "platform/status.h"

namespace krm::platform {

class OutputFile {
 public:
  // A file that is not open: every line is dropped, and nothing failed.
  OutputFile() = default;
  // Opens `path` for output: `append` false replaces the file, true appends to it.
  OutputFile(Env& env, std::filesystem::path path, bool append) : path_(std::move(path)) {
    failure_ = env.OpenWritable(path_, append, &file_);
    if (!failure_.ok()) file_.reset();
  }

  bool is_open() const { return file_ != nullptr; }
  const std::filesystem::path& path() const { return path_; }

  // Appends `line` and CR LF; dropped when the file is not open.
  void WriteLine(std::string_view line) {
    if (!file_) return;
    line_.assign(line);
    line_.append("\r\n");
    Keep(file_->Append(line_));
  }
  // Appends bytes as they are.
  void Write(std::string_view bytes) {
    if (file_) Keep(file_->Append(bytes));
  }

  // Closes the file (further lines are dropped) and gives the first failure since it was opened:
  // Ok only when every line reached the file.
  Status Close() {
    if (file_) {
      Keep(file_->Close());
      file_.reset();
    }
    return failure_;
  }

 private:
  void Keep(Status s) {
    if (failure_.ok() && !s.ok()) failure_ = std::move(s);
  }

  std::filesystem::path path_;
  std::unique_ptr<WritableFile> file_;
  Status failure_;
  std::string line_;
};

}  // namespace krm::platform

#endif  // KRM_PLATFORM_OUTPUT_FILE_H_
