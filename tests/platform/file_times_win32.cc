#include <windows.h>

#include "platform/file_times.h"

namespace krm::testing {

bool OverwriteKeepingTime(const std::filesystem::path& path, std::uint64_t offset,
                          std::string_view bytes) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  FILETIME created, accessed, written;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = ::GetFileTime(h, &created, &accessed, &written) != 0;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD put = 0;
  ok = ok && ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, &at) &&
       put == bytes.size();
  ::CloseHandle(h);
  // Set through a handle of its own: the system may stamp the write's time at the close of the
  // handle that wrote.
  h = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ok = ::SetFileTime(h, &created, &accessed, &written) != 0 && ok;
  ::CloseHandle(h);
  return ok;
}

}  // namespace krm::testing
