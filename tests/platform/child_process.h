// RunChild: a program started as a child process and waited for, for tests and benchmarks that
// run the real programs. On POSIX the child is forked; on Windows it is made with CreateProcessW,
// and a message box of the program is its standard-error line (KRM_MESSAGE_BOX=stderr), since a
// real box would wait for a click.
#ifndef KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
#define KRM_TESTS_PLATFORM_CHILD_PROCESS_H_

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace krm::testing {

#ifdef _WIN32
using ChildId = void*;  // the child's process handle
#else
using ChildId = pid_t;
#endif

struct ChildEnd {
  // The exit status, or 128 plus the signal that ended the child (on Windows: 255 for a child
  // ended by an exception).
  int status = 127;
  // The child's peak resident set in KiB (POSIX only). A forked child begins with no more than
  // the parent holds at the fork (a spawned one would report the parent's own high-water mark).
  long peak_rss_kib = 0;
  // The processor time the child used, user and system, in seconds.
  double cpu_seconds = 0;
};

// The file name of a program built beside the tests.
inline std::filesystem::path ProgramFile(const std::filesystem::path& dir,
                                         const std::string& name) {
#ifdef _WIN32
  return dir / (name + ".exe");
#else
  return dir / name;
#endif
}

// How a child is started besides its arguments.
struct ChildStart {
  std::string out;  // file for standard output, "" for none (UTF-8, as path::string() gives it)
  std::string err;  // file for standard error, "" for none
  std::filesystem::path dir;  // working folder, this process's when empty
  // A child still running after this many seconds is ended (status 124, as timeout(1) gives);
  // 0 waits for ever.
  int timeout_s = 0;
  // Runs in the child before the program starts (POSIX only: on Windows a start that gives one
  // fails with status 126).
  std::function<void()> in_child;
  // Runs in this process right after the start.
  std::function<void(ChildId)> while_running;
};

// KillChild ends a running child at once, as a crash or a power cut would.
//
// RunChild runs `argv` (UTF-8 texts, as path::string() gives them) as `start` says.
#ifdef _WIN32
// Both in child_process_win32.cc, which keeps windows.h out of the tests.
void KillChild(ChildId child);
ChildEnd RunChild(std::vector<std::string> argv, const ChildStart& start);
#else
inline void KillChild(ChildId child) {
  ::kill(child, SIGKILL);
}

inline ChildEnd RunChild(std::vector<std::string> argv, const ChildStart& start) {
  ChildEnd end;
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const auto stream = [](const std::string& path) {
    return ::open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  };
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(stream(start.out), 1);
    ::dup2(stream(start.err), 2);
    if (!start.dir.empty() && ::chdir(start.dir.c_str()) != 0) ::_exit(127);
    if (start.in_child) start.in_child();
    if (start.timeout_s > 0) ::alarm(static_cast<unsigned>(start.timeout_s));  // kept by execv
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (pid < 0) return end;
  if (start.while_running) start.while_running(pid);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM && start.timeout_s > 0) {
    end.status = 124;
  } else {
    end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  end.peak_rss_kib = usage.ru_maxrss;
  end.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return end;
}
#endif

// The short form: standard output to `out` and standard error to `err` ("" for none).
inline ChildEnd RunChild(std::vector<std::string> argv, const std::string& out = "",
                         const std::function<void()>& in_child = {},
                         const std::function<void(ChildId)>& while_running = {},
                         const std::string& err = "") {
  return RunChild(std::move(argv), ChildStart{out, err, {}, 0, in_child, while_running});
}

#ifndef _WIN32
// Running a program as another user (POSIX only; the tests that need it are skipped on Windows).
//
// The user a test runs a program as when it needs permissions to bind (they do not bind the
// superuser): nobody.
inline constexpr uid_t kUnprivilegedId = 65534;

// In a child before it starts a program: become the unprivileged user, without the groups of the
// user it was. A child that cannot ends with status 126.
inline void BecomeUnprivileged() {
  if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
      ::setuid(kUnprivilegedId) != 0) {
    ::_exit(126);
  }
}

// Folders every user can pass through, from the root down to `path`: what an unprivileged run
// needs to reach a program or a station there.
inline bool ReachableByAll(const std::filesystem::path& path) {
  std::filesystem::path at;
  for (const auto& part : std::filesystem::absolute(path).parent_path()) {
    at /= part;
    struct stat st;
    if (::stat(at.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

// A copy of a program in a fresh folder of the system's temporary folder that every user can
// read and enter, removed again at the end. The build may lie where other users cannot reach it
// (a checkout in root's home, or in a folder made by mktemp -d); an unprivileged run starts the
// copy. `path()` is empty when no such copy could be made, and `reason()` says why.
class ReachableCopy {
 public:
  explicit ReachableCopy(const std::filesystem::path& program) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "krm-bin-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      reason_ = "cannot make a folder in " + fs::temp_directory_path(ec).string();
      return;
    }
    folder_ = pattern;
    const fs::path copy = folder_ / program.filename();
    fs::permissions(folder_,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    if (!fs::copy_file(program, copy, ec) || ec) {
      reason_ = "cannot copy " + program.string() + ": " + ec.message();
      return;
    }
    fs::permissions(copy,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    if (!ReachableByAll(copy)) {
      reason_ = "the temporary folder " + folder_.parent_path().string() +
                " cannot be entered by every user";
      return;
    }
    path_ = copy;
  }
  ~ReachableCopy() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  ReachableCopy(const ReachableCopy&) = delete;
  ReachableCopy& operator=(const ReachableCopy&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path path_;
  std::string reason_;
};
#endif

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
