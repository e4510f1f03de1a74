// Env: everything the station takes from the operating system, behind one interface.
//
// The run flow and the grading never touch the file system, the clock, the message box or the
// process table directly; they go through an Env. PosixEnv (env_posix.h) and Win32Env
// (env_win32.h) are the real ones, DefaultEnv (default_env.h) the one of the system built for;
// tests use a RecordingEnv (tests/platform/recording_env.h) that works on a temporary station
// folder but records message boxes and follow-up starts and fixes the clock.
#ifndef KRM_PLATFORM_ENV_H_
#define KRM_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace krm::platform {

namespace fs = std::filesystem;

// A file opened for sequential text output (the report file, the grade log, the recut advice).
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Appends bytes, which may be held back until enough have collected or the file is closed. A
  // failed write (a full disk) is reported by the append or the close that made it, and later
  // writes still try.
  virtual Status Append(std::string_view data) = 0;
  // Flushes and closes; further calls do nothing.
  virtual Status Close() = 0;
};

// A file opened for binary access by byte position (the grade table file and its joining).
class BinaryFile {
 public:
  virtual ~BinaryFile() = default;
  // Reads up to `n` bytes at `offset` into `buf`; `*read` is the count read, 0 beyond the end.
  virtual Status ReadAt(std::uint64_t offset, char* buf, std::size_t n, std::size_t* read) = 0;
  // Writes `n` bytes at `offset`; the file grows as needed and is never shortened.
  virtual Status WriteAt(std::uint64_t offset, const char* buf, std::size_t n) = 0;
  virtual Status Size(std::uint64_t* size) = 0;
};

// An exclusive lock on a file, held until the object is destroyed or the process ends.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// What identifies one state of a file's contents: a write, a replacement or a touch changes at
// least one field.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Message box styles of the original (the icon and button flags).
inline constexpr int kCriticalOk = 16;
inline constexpr int kExclamationOk = 48;

class Env {
 public:
  virtual ~Env() = default;

  // The file the system reads under `path`: the exact name first, else a name in the same folder
  // that differs only in letter case. Only a regular file (or a link to one) counts: a folder, a
  // FIFO or a device under the name is no file to read. No value when there is none.
  virtual std::optional<fs::path> FindFile(const fs::path& path) = 0;
  // True when `path` names an existing regular file (not a folder, FIFO or device), exact name.
  virtual bool IsRegularFile(const fs::path& path) = 0;
  // True when `path` names an existing folder.
  virtual bool IsDirectory(const fs::path& path) = 0;

  // Reads the whole file. NotFound when it does not exist, IoError when it cannot be read or is
  // not a regular file (never waits on a FIFO).
  virtual Status ReadFile(const fs::path& path, std::string* contents) = 0;
  // Starts bringing a regular file that will be read soon into memory, without waiting for it;
  // anything else under the name is left alone. Does nothing where the system has no such hint.
  virtual void Prefetch(const fs::path& /*path*/) {}
  // Opens for output: `append` false replaces an existing file (its old bytes are gone once the
  // file is closed), true appends to it. The folder must exist; the file is created with the name
  // exactly as given. A FIFO under the name is refused without waiting for a reader.
  virtual Status OpenWritable(const fs::path& path, bool append,
                              std::unique_ptr<WritableFile>* file) = 0;
  // Opens for binary access; `create` makes a missing file (never shortens an existing one). An
  // error for anything but a regular file, without waiting on a FIFO.
  virtual Status OpenBinary(const fs::path& path, bool create,
                            std::unique_ptr<BinaryFile>* file) = 0;
  // Size in bytes of a regular file.
  virtual Status FileSize(const fs::path& path, std::uint64_t* size) = 0;
  // Last-modified time, as seconds since the epoch.
  virtual Status LastWriteTime(const fs::path& path, std::time_t* time) = 0;
  // Identity of the regular file `path`; an error when it is missing or not a regular file.
  virtual Status Identify(const fs::path& path, FileIdentity* identity) = 0;
  virtual Status CreateDirectory(const fs::path& path) = 0;
  virtual Status CopyFile(const fs::path& from, const fs::path& to) = 0;
  virtual Status RemoveFile(const fs::path& path) = 0;
  // Takes the exclusive lock of `path`, creating the file when missing, and waits while another
  // process holds it. An error when the file cannot be created or locked (the caller then goes
  // on without it).
  virtual Status LockFile(const fs::path& path, std::unique_ptr<FileLock>* lock) = 0;

  // Shows a blocking message; the stand-in writes "TITLE: message" to standard error.
  virtual void MessageBox(std::string_view message, int style, std::string_view title) = 0;
  // Starts the follow-up batch file without waiting for it, with `folder` as working directory.
  virtual Status StartBatch(const fs::path& batch, const fs::path& folder) = 0;
  // Starts `program` with `arguments` (UTF-8) without waiting for it and without a window, in a
  // session of its own, its standard input and output on the null device and its standard error
  // this process's. An error when it could not be started.
  virtual Status StartProgram(const fs::path& program,
                              const std::vector<std::string>& arguments) = 0;

  // Current local time.
  virtual std::tm Now() = 0;
  // The user's short date form (%x) and long time form (%X) of a local time.
  virtual std::string ShortDate(const std::tm& time) = 0;
  virtual std::string LongTime(const std::tm& time) = 0;
  // Local time of a time stamp.
  virtual std::tm ToLocal(std::time_t time) = 0;

  // Path of the running executable, empty when unknown.
  virtual fs::path ExecutablePath() = 0;
};

// The program's own version numbers: major, minor, revision.
struct Version {
  int major;
  int minor;
  int revision;
};
Version ProgramVersion();

}  // namespace krm::platform

#endif  // KRM_PLATFORM_ENV_H_
