// POSIX implementation of the station's platform services.
#include "platform/env_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

namespace krm::platform {
namespace {

// The system's text for an error number, starting in lower case as the middle of a fault line.
std::string ErrnoReason(int err) {
  std::string reason = std::strerror(err);
  if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] += 'a' - 'A';
  return reason;
}

Status ErrnoStatus(const fs::path& path, const char* what, int err) {
  std::string reason = ErrnoReason(err);
  std::string text = std::string(what) + " " + path.string() + ": " + reason;
  return err == ENOENT ? Status::NotFound(text, reason) : Status::IoError(text, reason);
}

// A path that names something other than a regular file.
Status NotRegular(const fs::path& path, const struct stat& st) {
  const char* reason = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
  return Status::IoError(path.string() + " " + reason, reason);
}

// Opens `path` with `flags` for a regular file only. The open itself never waits: a FIFO opened
// for reading would hold the run until a writer came, so it is opened without blocking and then
// refused like a folder or a device, whose bytes are no station file either.
Status OpenRegular(const fs::path& path, int flags, int* fd, std::uint64_t* size = nullptr,
                   mode_t* mode = nullptr) {
  *fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (*fd < 0) return ErrnoStatus(path, "cannot open", errno);
  struct stat st;
  const bool known = ::fstat(*fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const bool folder = known && S_ISDIR(st.st_mode);
    ::close(*fd);
    *fd = -1;
    const char* reason = folder ? "is a directory" : "not a regular file";
    return Status::IoError(path.string() + ": " + reason, reason);
  }
  // Reads and writes of a regular file never wait, so the flag may stay.
  if (size) *size = static_cast<std::uint64_t>(st.st_size);
  if (mode) *mode = st.st_mode;
  return Status::Ok();
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

// Collects appended bytes and writes them in large pieces: a grading appends a few hundred short
// pieces to the report file and the grade log.
//
// A file being replaced is written over from its start and cut to what was written when it is
// closed, rather than emptied when it is opened: a run that ends before the close (a crash) leaves
// the previous file whole, and the file system is not made to flush an emptied-and-rewritten file
// at its close.
class PosixWritableFile : public WritableFile {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  PosixWritableFile(int fd, fs::path path, bool replace)
      : fd_(fd), path_(std::move(path)), replace_(replace) {}
  ~PosixWritableFile() override { (void)Close(); }

  Status Append(std::string_view data) override {
    if (fd_ < 0) return Status::IoError("write to closed file " + path_.string());
    if (buffer_.size() + data.size() < kBufferSize) {
      buffer_.append(data);
      return Status::Ok();
    }
    // A large piece (a huge item of a candidate file) goes out directly rather than growing the
    // buffer to its size.
    Status flushed = Flush();
    Status written = Status::Ok();
    if (data.size() < kBufferSize) {
      buffer_.append(data);
    } else {
      written = Write(data);
    }
    return flushed.ok() ? written : flushed;
  }

  Status Close() override {
    if (fd_ < 0) return Status::Ok();
    Status flushed = Flush();
    if (replace_) {
      const off_t end = ::lseek(fd_, 0, SEEK_CUR);
      if ((end < 0 || ::ftruncate(fd_, end) != 0) && flushed.ok()) {
        flushed = ErrnoStatus(path_, "cannot shorten", errno);
      }
    }
    int rc = ::close(fd_);
    fd_ = -1;
    if (!flushed.ok()) return flushed;
    return rc == 0 ? Status::Ok() : ErrnoStatus(path_, "cannot close", errno);
  }

 private:
  // Writes out the collected bytes; what cannot be written (a full disk) is dropped, so that
  // later appends still try.
  Status Flush() {
    Status result = Write(buffer_);
    buffer_.clear();
    return result;
  }

  Status Write(std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus(path_, "cannot write", errno);
      }
      data.remove_prefix(static_cast<size_t>(n));
    }
    return Status::Ok();
  }

  int fd_;
  fs::path path_;
  bool replace_;
  std::string buffer_;
};

class PosixBinaryFile : public BinaryFile {
 public:
  PosixBinaryFile(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}
  ~PosixBinaryFile() override { ::close(fd_); }

  Status ReadAt(std::uint64_t offset, char* buf, std::size_t n, std::size_t* read) override {
    *read = 0;
    while (*read < n) {
      ssize_t got = ::pread(fd_, buf + *read, n - *read, static_cast<off_t>(offset + *read));
      if (got < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus(path_, "cannot read", errno);
      }
      if (got == 0) break;
      *read += static_cast<size_t>(got);
    }
    return Status::Ok();
  }

  Status WriteAt(std::uint64_t offset, const char* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t put = ::pwrite(fd_, buf + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus(path_, "cannot write", errno);
      }
      done += static_cast<size_t>(put);
    }
    return Status::Ok();
  }

  Status Size(std::uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return ErrnoStatus(path_, "cannot stat", errno);
    *size = static_cast<std::uint64_t>(st.st_size);
    return Status::Ok();
  }

 private:
  int fd_;
  fs::path path_;
};

}  // namespace

std::optional<fs::path> PosixEnv::FindFile(const fs::path& path) {
  if (IsRegularFile(path)) return path;
  fs::path folder = path.parent_path();
  const std::string name = path.filename().string();
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<fs::path> found;
  while (dirent* entry = ::readdir(dir)) {
    if (SameIgnoringCase(entry->d_name, name) && IsRegularFile(folder / entry->d_name)) {
      found = folder / entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool PosixEnv::IsRegularFile(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixEnv::IsDirectory(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixEnv::ReadFile(const fs::path& path, std::string* contents) {
  contents->clear();
  int fd = -1;
  std::uint64_t size = 0;
  Status s = OpenRegular(path, O_RDONLY, &fd, &size);
  if (!s.ok()) return s;
  // Read straight into the text; a file that grows meanwhile is read to its new end.
  contents->resize(static_cast<std::size_t>(size) + 1);
  std::size_t done = 0;
  for (;;) {
    if (done == contents->size()) contents->resize(contents->size() * 2);
    const ssize_t n = ::read(fd, contents->data() + done, contents->size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      contents->clear();
      return ErrnoStatus(path, "cannot read", err);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  contents->resize(done);
  ::close(fd);
  return Status::Ok();
}

void PosixEnv::Prefetch(const fs::path& path) {
  int fd = -1;
  if (!OpenRegular(path, O_RDONLY, &fd).ok()) return;
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
  ::close(fd);
}

Status PosixEnv::OpenWritable(const fs::path& path, bool append,
                              std::unique_ptr<WritableFile>* file) {
  // A FIFO in the place of an output file would hold the run until some reader opened it: it is
  // opened without waiting and refused. A device (a test's /dev/full) is written like a file.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return ErrnoStatus(path, "cannot open", errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    ::close(fd);
    return Status::IoError(path.string() + ": not a regular file", "not a regular file");
  }
  (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *file = std::make_unique<PosixWritableFile>(fd, path, /*replace=*/!append);
  return Status::Ok();
}

Status PosixEnv::OpenBinary(const fs::path& path, bool create, std::unique_ptr<BinaryFile>* file) {
  int fd = -1;
  Status s = OpenRegular(path, create ? O_RDWR | O_CREAT : O_RDONLY, &fd);
  if (!s.ok()) return s;
  *file = std::make_unique<PosixBinaryFile>(fd, path);
  return Status::Ok();
}

Status PosixEnv::FileSize(const fs::path& path, std::uint64_t* size) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return ErrnoStatus(path, "cannot stat", errno);
  if (!S_ISREG(st.st_mode)) return NotRegular(path, st);
  *size = static_cast<std::uint64_t>(st.st_size);
  return Status::Ok();
}

Status PosixEnv::LastWriteTime(const fs::path& path, std::time_t* time) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return ErrnoStatus(path, "cannot stat", errno);
  *time = st.st_mtime;
  return Status::Ok();
}

Status PosixEnv::Identify(const fs::path& path, FileIdentity* identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return ErrnoStatus(path, "cannot stat", errno);
  if (!S_ISREG(st.st_mode)) return NotRegular(path, st);
  auto ns = [](const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  *identity =
      FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   static_cast<std::uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
  return Status::Ok();
}

Status PosixEnv::CreateDirectory(const fs::path& path) {
  if (::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(path))) {
    return Status::Ok();
  }
  return ErrnoStatus(path, "cannot create folder", errno);
}

Status PosixEnv::CopyFile(const fs::path& from, const fs::path& to) {
  // The copy is written over an existing target from its start and then cut to its length, as a
  // replaced file is (PosixWritableFile): a target emptied on opening is flushed to the disk by
  // the file system when it is closed, which costs a run more than the copy itself.
  int in = -1;
  mode_t mode = 0;
  if (Status s = OpenRegular(from, O_RDONLY, &in, nullptr, &mode); !s.ok()) return s;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return ErrnoStatus(to, "cannot copy to", error);
  }
  Status result = Status::Ok();
  // The copy takes the source's permissions, an existing target as well as a new one.
  if (::fchmod(out, mode & 07777) != 0) result = ErrnoStatus(to, "cannot copy to", errno);
  std::vector<char> block(64 * 1024);
  off_t copied = 0;
  while (result.ok()) {
    const ssize_t n = ::read(in, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = ErrnoStatus(from, "cannot copy", errno);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n && result.ok();) {
      const ssize_t w = ::write(out, block.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) result = ErrnoStatus(to, "cannot copy to", errno);
      if (w > 0) done += w;
    }
    copied += n;
  }
  if (result.ok() && ::ftruncate(out, copied) != 0)
    result = ErrnoStatus(to, "cannot shorten", errno);
  ::close(in);
  if (::close(out) != 0 && result.ok()) result = ErrnoStatus(to, "cannot close", errno);
  return result;
}

Status PosixEnv::RemoveFile(const fs::path& path) {
  if (::unlink(path.c_str()) != 0) return ErrnoStatus(path, "cannot remove", errno);
  return Status::Ok();
}

namespace {

class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing the descriptor releases the lock

 private:
  int fd_;
};

}  // namespace

Status PosixEnv::LockFile(const fs::path& path, std::unique_ptr<FileLock>* lock) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return ErrnoStatus(path, "cannot open the lock file", errno);
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    ::close(fd);
    return ErrnoStatus(path, "cannot lock", error);
  }
  *lock = std::make_unique<PosixFileLock>(fd);
  return Status::Ok();
}

void PosixEnv::MessageBox(std::string_view message, int /*style*/, std::string_view title) {
  std::cerr << title << ": " << message << std::endl;
}

Status PosixEnv::StartBatch(const fs::path& batch, const fs::path& folder) {
  // The batch file runs in its own session, in the station folder, with its standard streams on
  // /dev/null, and is not waited for. posix_spawn reports a start that failed (a missing shell, a
  // folder that cannot be entered) as its result.
  std::error_code ec;
  const fs::path script = fs::absolute(batch, ec);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  for (int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::string shell = "sh", path = script.string();
  char* argv[] = {shell.data(), path.data(), nullptr};
  pid_t child = 0;
  const int rc = ::posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return ErrnoStatus(batch, "cannot start", rc);
  return Status::Ok();
}

Status PosixEnv::StartProgram(const fs::path& program, const std::vector<std::string>& arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  for (int fd : {0, 1}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  std::string path = program.string();
  std::vector<std::string> words = arguments;
  std::vector<char*> argv = {path.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int rc = ::posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return ErrnoStatus(program, "cannot start", rc);
  return Status::Ok();
}

std::tm PosixEnv::Now() {
  return ToLocal(std::time(nullptr));
}

std::tm PosixEnv::ToLocal(std::time_t time) {
  std::tm local{};
  ::localtime_r(&time, &local);
  return local;
}

std::string PosixEnv::ShortDate(const std::tm& time) {
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, "%x", &time);
  return std::string(buf, n);
}

std::string PosixEnv::LongTime(const std::tm& time) {
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, "%X", &time);
  return std::string(buf, n);
}

fs::path PosixEnv::ExecutablePath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

}  // namespace krm::platform
