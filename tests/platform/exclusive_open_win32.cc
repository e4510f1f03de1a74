#include "platform/exclusive_open.h"

#include <windows.h>

namespace krm::testing {

std::shared_ptr<void> OpenExclusively(const std::filesystem::path& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, /*dwShareMode=*/0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::shared_ptr<void>(h, [](void* held) { ::CloseHandle(held); });
}

}  // namespace krm::testing
