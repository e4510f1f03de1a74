// Status: the outcome of a platform or database operation, carried as a value.
//
// Failures of the station's file and database access are reported with a Status rather than
// exceptions, so that each caller decides, in the open, whether a failing statement is skipped
// (the original's "go on with the next statement") or ends the run.
#ifndef KRM_PLATFORM_STATUS_H_
#define KRM_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace krm {

class Status {
 public:
  enum class Code { kOk, kNotFound, kIoError, kInvalid, kCorrupt };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status NotFound(std::string what) { return Status(Code::kNotFound, std::move(what)); }
  static Status IoError(std::string what) { return Status(Code::kIoError, std::move(what)); }
  static Status Invalid(std::string what) { return Status(Code::kInvalid, std::move(what)); }
  static Status Corrupt(std::string what) { return Status(Code::kCorrupt, std::move(what)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  std::string ToString() const { return ok() ? "OK" : message_; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace krm

#endif  // KRM_PLATFORM_STATUS_H_
