// RunChild: a program started as a child process and waited for, for tests and benchmarks that
// run the real programs. On POSIX the child is forked; on Windows it is made with CreateProcessW,
// and a message box of the program is its standard-error line (KRM_MESSAGE_BOX=stderr), since a
// real box would wait for a click.
#ifndef KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
#define KRM_TESTS_PLATFORM_CHILD_PROCESS_H_

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
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

// KillChild ends a running child at once, as a crash or a power cut would.
//
// RunChild runs `argv` (UTF-8 texts, as path::string() gives them) with standard output sent to
// `out` and standard error to `err` ("" for none). `in_child` runs in the child before the program
// starts (POSIX only: on Windows a call that gives one fails with status 126); `while_running` runs
// in this process right after the start.
#ifdef _WIN32
// Both in child_process_win32.cc, which keeps windows.h out of the tests.
void KillChild(ChildId child);
ChildEnd RunChild(std::vector<std::string> argv, const std::string& out = "",
                  const std::function<void()>& in_child = {},
                  const std::function<void(ChildId)>& while_running = {},
                  const std::string& err = "");
#else
inline void KillChild(ChildId child) {
  ::kill(child, SIGKILL);
}

inline ChildEnd RunChild(std::vector<std::string> argv, const std::string& out = "",
                         const std::function<void()>& in_child = {},
                         const std::function<void(ChildId)>& while_running = {},
                         const std::string& err = "") {
  ChildEnd end;
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
  if (pid < 0) return end;
  if (while_running) while_running(pid);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  end.peak_rss_kib = usage.ru_maxrss;
  return end;
}
#endif

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_CHILD_PROCESS_H_
