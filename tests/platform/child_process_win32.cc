// RunChild and KillChild on Windows (see child_process.h).
#include <windows.h>

#include "platform/child_process.h"
#include "platform/program_arguments.h"

namespace krm::testing {
namespace {

// One argument quoted for the command line, so that the C runtime of the child splits it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// A handle the child inherits as a standard stream: the file at `path`, or NUL.
HANDLE StreamFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::wstring name = path.empty() ? L"NUL" : platform::PathFromUtf8(path).wstring();
  return ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void KillChild(ChildId child) {
  ::TerminateProcess(child, 128 + 9);
}

ChildEnd RunChild(std::vector<std::string> argv, const ChildStart& start) {
  ChildEnd end;
  if (start.in_child) {
    end.status = 126;
    return end;
  }
  std::filesystem::path program = platform::PathFromUtf8(argv.at(0));
  if (!program.has_extension()) program += ".exe";
  std::wstring command;
  for (const std::string& arg : argv) {
    if (!command.empty()) command += L' ';
    command += QuoteArgument(platform::PathFromUtf8(arg).wstring());
  }
  // A real message box would wait for a click.
  ::SetEnvironmentVariableW(L"KRM_MESSAGE_BOX", L"stderr");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = StreamFile(start.out);
  startup.hStdError = StreamFile(start.err);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(
      program.wstring().c_str(), command.data(), nullptr, nullptr, /*bInheritHandles=*/TRUE, 0,
      nullptr, start.dir.empty() ? nullptr : start.dir.c_str(), &startup, &process);
  ::CloseHandle(startup.hStdOutput);
  ::CloseHandle(startup.hStdError);
  if (!started) return end;
  ::CloseHandle(process.hThread);
  if (start.while_running) start.while_running(process.hProcess);
  const DWORD wait = start.timeout_s > 0 ? static_cast<DWORD>(start.timeout_s) * 1000 : INFINITE;
  if (::WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT) {
    ::TerminateProcess(process.hProcess, 124);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  end.status = code <= 255 ? static_cast<int>(code) : 255;
  return end;
}

}  // namespace krm::testing
