#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_times.h"

namespace krm::testing {

bool OverwriteKeepingTime(const std::filesystem::path& path, std::uint64_t offset,
                          std::string_view bytes) {
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                       static_cast<ssize_t>(bytes.size());
  ::close(fd);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  return written && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace krm::testing
