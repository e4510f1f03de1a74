// RunChild: a program started in a forked child and waited for, for tests and benchmarks that run
// the real programs.
#ifndef KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
#define KRM_TESTS_PLATFORM_CHILD_PROCESS_H_

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
