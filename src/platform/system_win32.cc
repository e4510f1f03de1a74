// The system services of system.h on Windows.
#include "platform/system.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <random>

#include "platform/error_win32.h"

namespace krm::platform {

std::string HostName() {
  wchar_t name[256];
  DWORD size = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "";
  const std::u8string text = std::filesystem::path(std::wstring(name, size)).u8string();
  return std::string(text.begin(), text.end());
}

void SystemRandom(void* bytes, std::size_t n) {
  auto* out = static_cast<unsigned char*>(bytes);
  if (n <= ULONG_MAX && BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, static_cast<ULONG>(n),
                                                         BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return;
  }
  std::random_device source;
  for (std::size_t i = 0; i < n; i += sizeof(unsigned)) {
    const unsigned word = source();
    std::memcpy(out + i, &word, std::min(sizeof word, n - i));
  }
}

bool IsTerminal(std::FILE* stream) {
  // A console, not merely a character device: NUL is one too.
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

// Large pages need a privilege that a station's account does not hold.
void AdviseLargePages(void*, std::size_t) {}

void UseBinaryStandardStreams() {
  (void)::_setmode(::_fileno(stdout), _O_BINARY);
  (void)::_setmode(::_fileno(stderr), _O_BINARY);
}

Status CreateUniqueFile(const std::filesystem::path& folder, std::string_view prefix,
                        std::filesystem::path* path) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  DWORD err = ERROR_FILE_EXISTS;
  std::filesystem::path name;
  for (int attempt = 0; attempt < 100 && err == ERROR_FILE_EXISTS; ++attempt) {
    unsigned char random[6];
    SystemRandom(random, sizeof random);
    std::string suffix;
    for (unsigned char r : random) suffix.push_back(kLetters[r % (sizeof kLetters - 1)]);
    name = folder / (std::string(prefix) + suffix);
    const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      *path = name;
      return Status::Ok();
    }
    err = ::GetLastError();
  }
  const std::string reason = ErrorReason(err);
  return Status::IoError(name.string() + ": cannot create: " + reason, reason);
}

namespace {
std::atomic<bool> shared_library_loaded{false};
}  // namespace

bool SharedLibraryLoaded() {
  return shared_library_loaded.load();
}

void* LoadSharedLibrary(const char* name, std::string* error) {
  HMODULE library = ::LoadLibraryA(name);
  if (library == nullptr) {
    *error = ErrorReason(::GetLastError());
    return nullptr;
  }
  shared_library_loaded = true;
  return reinterpret_cast<void*>(library);
}

void* FindSharedSymbol(void* library, const char* symbol) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), symbol));
}

}  // namespace krm::platform
