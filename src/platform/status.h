// Status: the outcome of a platform or database operation, carried as a value.
//
// Failures of the station's file and database access are reported with a Status rather than
// exceptions, so that each caller decides, in the open, whether a failing statement is skipped
// (the original's "go on with the next statement") or ends the run. A Status that is dropped
// without a look is a compile error; a caller that passes over a failure on purpose says so with
// a cast to void or by recording it as a fault of the run.
#ifndef KRM_PLATFORM_STATUS_H_
#define KRM_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace krm {

class [[nodiscard]] Status {
 public:
  enum class Code { kOk, kNotFound, kIoError, kInvalid, kCorrupt };

  Status() = default;
  static Status Ok() { return Status(); }
  // `message` says what failed and where; `reason`, when given, only why ("no such file or
  // directory"), for fault lines that name the file themselves.
  static Status NotFound(std::string message, std::string reason = {}) {
    return Status(Code::kNotFound, std::move(message), std::move(reason));
  }
  static Status IoError(std::string message, std::string reason = {}) {
    return Status(Code::kIoError, std::move(message), std::move(reason));
  }
  static Status Invalid(std::string message, std::string reason = {}) {
    return Status(Code::kInvalid, std::move(message), std::move(reason));
  }
  static Status Corrupt(std::string message, std::string reason = {}) {
    return Status(Code::kCorrupt, std::move(message), std::move(reason));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // Why it failed, without the path; the whole message when no shorter reason was given.
  const std::string& reason() const { return reason_.empty() ? message_ : reason_; }
  std::string ToString() const { return ok() ? "OK" : message_; }

 private:
  Status(Code code, std::string message, std::string reason)
      : code_(code), message_(std::move(message)), reason_(std::move(reason)) {}
  Code code_ = Code::kOk;
  std::string message_;
  std::string reason_;
};

}  // namespace krm

#endif  // KRM_PLATFORM_STATUS_H_
