// RunChild: a program started in a forked child and waited for, for tests and benchmarks that run
// the real programs.
#ifndef KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
#define KRM_TESTS_PLATFORM_CHILD_PROCESS_H_

#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace krm::testing {

struct ChildEnd {
  // The exit status, or 128 plus the signal that ended the child.
  int status = 127;
  // The child's peak resident set in KiB. A forked child begins with no more than the parent
  // holds at the fork (a spawned one would report the parent's own high-water mark).
  long peak_rss_kib = 0;
};

// Runs `argv` with standard output sent to `out` and standard error to `err` ("" for none).
// `in_child` runs in the child before the program starts, `while_running` in this process right
// after the start.
inline ChildEnd RunChild(std::vector<std::string> argv, const std::string& out = "",
                         const std::function<void()>& in_child = {},
                         const std::function<void(pid_t)>& while_running = {},
                         const std::string& err = "") {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.empty() ? "/dev/null" : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (in_child) in_child();
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ChildEnd end;
  if (pid < 0) return end;
  if (while_running) while_running(pid);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  end.peak_rss_kib = usage.ru_maxrss;
  return end;
}

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

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
