// Windows implementation of the station's platform services.
#include "platform/env_win32.h"

// After the interface: windows.h turns several of its names into macros.
#include <windows.h>
#undef CopyFile
#undef CreateDirectory
#undef MessageBox

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <vector>

#include "platform/error_win32.h"
#include "platform/program_arguments.h"

namespace krm::platform {

std::string ErrorReason(unsigned long err) {
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
    return "no such file or directory";
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) ::LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' ||
                           wide.back() == L'.')) {
    wide.pop_back();
  }
  if (wide.empty()) return "system error " + std::to_string(err);
  if (wide[0] >= L'A' && wide[0] <= L'Z') wide[0] += L'a' - L'A';
  const std::u8string utf8 = fs::path(wide).u8string();
  return std::string(utf8.begin(), utf8.end());
}

namespace {

// 100 ns ticks between 1601-01-01 (Windows file times) and 1970-01-01.
constexpr std::int64_t kEpochTicks = 116444736000000000;

std::int64_t Ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
}

std::int64_t TicksToNs(std::int64_t ticks) {
  return (ticks - kEpochTicks) * 100;
}

Status ErrorStatus(const fs::path& path, const char* what, DWORD err) {
  std::string reason = ErrorReason(err);
  std::string text = std::string(what) + " " + path.string() + ": " + reason;
  const bool missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
  return missing ? Status::NotFound(text, reason) : Status::IoError(text, reason);
}

// Closes a handle on every way out.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void Reset() {
    if (valid()) ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// Other programs of the station may read, write, rename or remove a file while it is open here,
// as with files on a POSIX system.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const fs::path& path, DWORD access, DWORD disposition, DWORD flags = 0) {
  return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// A path that names a folder or a device rather than a regular file, in the words of the POSIX
// platform, so that a fault line reads the same on either system.
Status IsAFolder(const fs::path& path) {
  return Status::IoError(path.string() + ": is a directory", "is a directory");
}
Status NotRegular(const fs::path& path) {
  return Status::IoError(path.string() + ": not a regular file", "not a regular file");
}

bool IsFolder(const fs::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens `path` as Open does, for a regular file only: a folder, or a device or pipe under the
// name (CON, NUL, \\.\pipe\...), is refused, and the open never waits on it.
Status OpenRegular(const fs::path& path, DWORD access, DWORD disposition, DWORD flags,
                   HANDLE* out) {
  *out = Open(path, access, disposition, flags);
  if (*out == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    return IsFolder(path) ? IsAFolder(path) : ErrorStatus(path, "cannot open", err);
  }
  if (::GetFileType(*out) != FILE_TYPE_DISK) {
    ::CloseHandle(*out);
    *out = INVALID_HANDLE_VALUE;
    return NotRegular(path);
  }
  return Status::Ok();
}

// Writes all of `n` bytes at the file pointer (or at `offset` when given).
bool WriteAll(HANDLE h, const char* data, std::size_t n, const std::uint64_t* offset = nullptr) {
  std::size_t done = 0;
  while (done < n) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD put = 0;
    OVERLAPPED at{};
    if (offset != nullptr) {
      const std::uint64_t where = *offset + done;
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
    }
    if (!::WriteFile(h, data + done, piece, &put, offset != nullptr ? &at : nullptr)) return false;
    done += put;
  }
  return true;
}

bool AttributesOf(const fs::path& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, data) != 0;
}

// Collects appended bytes and writes them in large pieces, as the POSIX files do. A file being
// replaced is written over from its start and cut to what was written when it is closed, so that
// a run that ends before the close leaves the previous file whole.
class Win32WritableFile : public WritableFile {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  Win32WritableFile(HANDLE h, fs::path path, bool replace)
      : h_(h), path_(std::move(path)), replace_(replace) {}
  ~Win32WritableFile() override { (void)Close(); }

  Status Append(std::string_view data) override {
    if (!h_.valid()) return Status::IoError("write to closed file " + path_.string());
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
    } else if (!WriteAll(h_.get(), data.data(), data.size())) {
      written = ErrorStatus(path_, "cannot write", ::GetLastError());
    }
    return flushed.ok() ? written : flushed;
  }

  Status Close() override {
    if (!h_.valid()) return Status::Ok();
    Status flushed = Flush();
    if (replace_ && !::SetEndOfFile(h_.get()) && flushed.ok()) {
      flushed = ErrorStatus(path_, "cannot shorten", ::GetLastError());
    }
    const bool closed = ::CloseHandle(h_.release()) != 0;
    if (!flushed.ok()) return flushed;
    return closed ? Status::Ok() : ErrorStatus(path_, "cannot close", ::GetLastError());
  }

 private:
  // Writes out the collected bytes; what cannot be written (a full disk) is dropped, so that
  // later appends still try.
  Status Flush() {
    Status result = Status::Ok();
    if (!buffer_.empty() && !WriteAll(h_.get(), buffer_.data(), buffer_.size())) {
      result = ErrorStatus(path_, "cannot write", ::GetLastError());
    }
    buffer_.clear();
    return result;
  }

  Handle h_;
  fs::path path_;
  bool replace_;
  std::string buffer_;
};

class Win32BinaryFile : public BinaryFile {
 public:
  Win32BinaryFile(HANDLE h, fs::path path) : h_(h), path_(std::move(path)) {}

  Status ReadAt(std::uint64_t offset, char* buf, std::size_t n, std::size_t* read) override {
    *read = 0;
    while (*read < n) {
      const std::uint64_t where = offset + *read;
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(n - *read, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(h_.get(), buf + *read, piece, &got, &at)) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        return ErrorStatus(path_, "cannot read", err);
      }
      if (got == 0) break;
      *read += got;
    }
    return Status::Ok();
  }

  Status WriteAt(std::uint64_t offset, const char* buf, std::size_t n) override {
    if (!WriteAll(h_.get(), buf, n, &offset)) {
      return ErrorStatus(path_, "cannot write", ::GetLastError());
    }
    return Status::Ok();
  }

  Status Size(std::uint64_t* size) override {
    LARGE_INTEGER bytes;
    if (!::GetFileSizeEx(h_.get(), &bytes))
      return ErrorStatus(path_, "cannot stat", ::GetLastError());
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return Status::Ok();
  }

 private:
  Handle h_;
  fs::path path_;
};

class Win32FileLock : public FileLock {
 public:
  explicit Win32FileLock(HANDLE h) : h_(h) {}
  ~Win32FileLock() override {
    // Released at once rather than whenever the system gets to it after the close.
    OVERLAPPED whole{};
    ::UnlockFileEx(h_.get(), 0, MAXDWORD, MAXDWORD, &whole);
  }

 private:
  Handle h_;
};

// A wide text of the system as text in the ANSI code page, the code page of the station's files.
std::string ToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return "";
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

SYSTEMTIME ToSystemTime(const std::tm& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.tm_year + 1900);
  st.wMonth = static_cast<WORD>(t.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  st.wDay = static_cast<WORD>(t.tm_mday);
  st.wHour = static_cast<WORD>(t.tm_hour);
  st.wMinute = static_cast<WORD>(t.tm_min);
  st.wSecond = static_cast<WORD>(t.tm_sec);
  return st;
}

}  // namespace

std::optional<fs::path> Win32Env::FindFile(const fs::path& path) {
  const fs::path folder = path.parent_path();
  const std::wstring name = path.filename().wstring();
  // Only a file counts: a folder under the name is no file to read.
  auto is_file = [](const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  };
  // The file system ignores letter case and gives the name as it is stored.
  WIN32_FIND_DATAW entry;
  HANDLE search =
      ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    ::FindClose(search);
    if (is_file(entry)) return folder / entry.cFileName;
    return std::nullopt;
  }
  // A folder may tell letter case apart (one marked case-sensitive): look through its names.
  search = ::FindFirstFileExW((folder.empty() ? fs::path(L"*") : folder / L"*").c_str(),
                              FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<fs::path> found;
  do {
    if (is_file(entry) &&
        ::CompareStringOrdinal(entry.cFileName, -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
      found = folder / entry.cFileName;
      break;
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return found;
}

bool Win32Env::IsRegularFile(const fs::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
}

bool Win32Env::IsDirectory(const fs::path& path) {
  return IsFolder(path);
}

Status Win32Env::ReadFile(const fs::path& path, std::string* contents) {
  contents->clear();
  HANDLE opened = INVALID_HANDLE_VALUE;
  Status s = OpenRegular(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, &opened);
  if (!s.ok()) return s;
  Handle h(opened);
  LARGE_INTEGER size;
  if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0) {
    contents->reserve(static_cast<std::size_t>(size.QuadPart));
  }
  std::vector<char> buf(65536);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
      return ErrorStatus(path, "cannot read", ::GetLastError());
    }
    if (got == 0) break;
    contents->append(buf.data(), got);
  }
  return Status::Ok();
}

Status Win32Env::OpenWritable(const fs::path& path, bool append,
                              std::unique_ptr<WritableFile>* file) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file.
  HANDLE h = Open(path, append ? FILE_APPEND_DATA : GENERIC_WRITE, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    return IsFolder(path) ? IsAFolder(path) : ErrorStatus(path, "cannot open", err);
  }
  // A pipe in the place of an output file would hold the run until some reader came. A device
  // (NUL) is written like a file.
  if (::GetFileType(h) == FILE_TYPE_PIPE) {
    ::CloseHandle(h);
    return NotRegular(path);
  }
  *file = std::make_unique<Win32WritableFile>(h, path, /*replace=*/!append);
  return Status::Ok();
}

Status Win32Env::OpenBinary(const fs::path& path, bool create, std::unique_ptr<BinaryFile>* file) {
  HANDLE h = INVALID_HANDLE_VALUE;
  Status s = create ? OpenRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, 0, &h)
                    : OpenRegular(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, &h);
  if (!s.ok()) return s;
  *file = std::make_unique<Win32BinaryFile>(h, path);
  return Status::Ok();
}

Status Win32Env::FileSize(const fs::path& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributesOf(path, &data)) return ErrorStatus(path, "cannot stat", ::GetLastError());
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return IsAFolder(path);
  *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return Status::Ok();
}

Status Win32Env::LastWriteTime(const fs::path& path, std::time_t* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributesOf(path, &data)) return ErrorStatus(path, "cannot stat", ::GetLastError());
  *time = static_cast<std::time_t>((Ticks(data.ftLastWriteTime) - kEpochTicks) / 10000000);
  return Status::Ok();
}

Status Win32Env::Identify(const fs::path& path, FileIdentity* identity) {
  Handle h(Open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  if (!h.valid()) return ErrorStatus(path, "cannot stat", ::GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h.get(), &info)) {
    return ErrorStatus(path, "cannot stat", ::GetLastError());
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return IsAFolder(path);
  if (::GetFileType(h.get()) != FILE_TYPE_DISK) return NotRegular(path);
  // The change time (also moved by a rename or an attribute change) where the system gives it.
  FILE_BASIC_INFO basic{};
  const bool has_change_time =
      ::GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic) != 0;
  *identity =
      FileIdentity{info.dwVolumeSerialNumber,
                   (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                   (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                   TicksToNs(Ticks(info.ftLastWriteTime)),
                   has_change_time ? TicksToNs(basic.ChangeTime.QuadPart) : 0};
  return Status::Ok();
}

Status Win32Env::CreateDirectory(const fs::path& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return Status::Ok();
  const DWORD err = ::GetLastError();
  if (err == ERROR_ALREADY_EXISTS && IsDirectory(path)) return Status::Ok();
  return ErrorStatus(path, "cannot create folder", err);
}

Status Win32Env::CopyFile(const fs::path& from, const fs::path& to) {
  if (::CopyFileW(from.c_str(), to.c_str(), /*bFailIfExists=*/FALSE)) return Status::Ok();
  const DWORD err = ::GetLastError();
  const std::string reason = ErrorReason(err);
  return Status::IoError("cannot copy " + from.string() + ": " + reason, reason);
}

Status Win32Env::RemoveFile(const fs::path& path) {
  if (::DeleteFileW(path.c_str())) return Status::Ok();
  return ErrorStatus(path, "cannot remove", ::GetLastError());
}

Status Win32Env::LockFile(const fs::path& path, std::unique_ptr<FileLock>* lock) {
  Handle h(Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  if (!h.valid()) return ErrorStatus(path, "cannot open the lock file", ::GetLastError());
  OVERLAPPED whole{};
  if (!::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    return ErrorStatus(path, "cannot lock", ::GetLastError());
  }
  *lock = std::make_unique<Win32FileLock>(h.release());
  return Status::Ok();
}

bool ShowsMessageBoxWindows() {
  const char* choice = std::getenv("KRM_MESSAGE_BOX");
  if (choice != nullptr && std::string_view(choice) == "stderr") return false;
  if (choice != nullptr && std::string_view(choice) == "window") return true;
  // A service or a scheduled task runs in a window station nobody sees: a box there would wait
  // for ever.
  USEROBJECTFLAGS flags{};
  HWINSTA station = ::GetProcessWindowStation();
  return station != nullptr &&
         ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

void UseParentConsole() {
  auto given = [](DWORD which) {
    const HANDLE h = ::GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
  };
  const bool out = given(STD_OUTPUT_HANDLE), err = given(STD_ERROR_HANDLE);
  if ((out && err) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) (void)std::freopen("CONOUT$", "w", stdout);
  if (!err) (void)std::freopen("CONOUT$", "w", stderr);
}

void Win32Env::MessageBox(std::string_view message, int style, std::string_view title) {
  if (ShowsMessageBoxWindows() &&
      ::MessageBoxA(nullptr, std::string(message).c_str(), std::string(title).c_str(),
                    static_cast<UINT>(style)) != 0) {
    return;
  }
  std::cerr << title << ": " << message << std::endl;
}

Status Win32Env::StartBatch(const fs::path& batch, const fs::path& folder) {
  std::error_code ec;
  const fs::path file = fs::absolute(batch, ec);
  const fs::path dir = fs::absolute(folder, ec);
  std::wstring shell(MAX_PATH, L'\0');
  DWORD n = ::GetEnvironmentVariableW(L"ComSpec", shell.data(), MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    n = ::GetSystemDirectoryW(shell.data(), MAX_PATH);
    shell.resize(n);
    shell += L"\\cmd.exe";
  } else {
    shell.resize(n);
  }
  // /s takes away the outer quotes only, so that a path with blanks or brackets stays one word.
  std::wstring command = L"cmd.exe /s /c \"\"" + file.wstring() + L"\"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;  // window style 2: minimised, with focus
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(shell.c_str(), command.data(), nullptr, nullptr, /*bInheritHandles=*/FALSE,
                        CREATE_NEW_CONSOLE, nullptr, dir.c_str(), &startup, &process)) {
    return ErrorStatus(batch, "cannot start", ::GetLastError());
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return Status::Ok();
}

namespace {

// One word of a command line as the C runtime splits it again: in quotes, with the backslashes
// before a quote (or before the closing one) doubled and the quote escaped.
std::wstring QuotedWord(const std::wstring& word) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

Status Win32Env::StartProgram(const fs::path& program, const std::vector<std::string>& arguments) {
  std::wstring command = QuotedWord(program.wstring());
  for (const std::string& argument : arguments) {
    command += L' ';
    command += QuotedWord(PathFromUtf8(argument).wstring());
  }
  // Standard input and output on NUL, standard error this process's, all inherited.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null_in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
  HANDLE null_out = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
  HANDLE err = nullptr;
  const HANDLE own_err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (own_err != nullptr && own_err != INVALID_HANDLE_VALUE) {
    (void)::DuplicateHandle(::GetCurrentProcess(), own_err, ::GetCurrentProcess(), &err, 0, TRUE,
                            DUPLICATE_SAME_ACCESS);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_in;
  startup.hStdOutput = null_out;
  startup.hStdError = err != nullptr ? err : null_out;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(
      program.c_str(), command.data(), nullptr, nullptr, /*bInheritHandles=*/TRUE,
      CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process);
  const DWORD error = started ? 0 : ::GetLastError();
  for (HANDLE h : {null_in, null_out, err}) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
  if (!started) return ErrorStatus(program, "cannot start", error);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return Status::Ok();
}

std::tm Win32Env::Now() {
  return ToLocal(std::time(nullptr));
}

std::tm Win32Env::ToLocal(std::time_t time) {
  std::tm local{};
  ::localtime_s(&local, &time);
  return local;
}

std::string Win32Env::ShortDate(const std::tm& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  wchar_t buf[128];
  const int n =
      ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, 128, nullptr);
  return ToAnsi(buf, n - 1);  // without the closing null
}

std::string Win32Env::LongTime(const std::tm& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  wchar_t buf[128];
  const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buf, 128);
  return ToAnsi(buf, n - 1);
}

fs::path Win32Env::ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return fs::path();
    if (n < buf.size()) {
      buf.resize(n);
      return fs::path(buf);
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace krm::platform
