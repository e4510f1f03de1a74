// OverwriteKeepingTime: a change to a file's bytes that hides itself from a look at size and
// modification time, as a program restoring a file's time after editing it in place would.
#ifndef KRM_TESTS_PLATFORM_FILE_TIMES_H_
#define KRM_TESTS_PLATFORM_FILE_TIMES_H_

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace krm::testing {

// Overwrites `bytes` at `offset` of `path` in place, then puts the file's modification time back
// exactly as it was (to the file system's own precision). False when a step failed.
bool OverwriteKeepingTime(const std::filesystem::path& path, std::uint64_t offset,
                          std::string_view bytes);

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_FILE_TIMES_H_
