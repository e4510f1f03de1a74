// OpenExclusively: a file held open as another Windows program may hold it, sharing nothing, so
// that every other open of it fails until the holder is dropped.
#ifndef KRM_TESTS_PLATFORM_EXCLUSIVE_OPEN_H_
#define KRM_TESTS_PLATFORM_EXCLUSIVE_OPEN_H_

#include <filesystem>
#include <memory>

namespace krm::testing {

// Empty when the file cannot be opened (it is created when missing).
std::shared_ptr<void> OpenExclusively(const std::filesystem::path& path);

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_EXCLUSIVE_OPEN_H_
