// The system services of system.h on a POSIX system.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/system.h"

#ifdef __linux__
#include <sys/random.h>
#endif

namespace krm::platform {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

void SystemRandom(void* bytes, std::size_t n) {
#ifdef __linux__
  // The kernel's random source, without the set-up of a random_device per call.
  if (::getrandom(bytes, n, 0) == static_cast<ssize_t>(n)) return;
#endif
  // A new random_device per call, so that forked processes never share a state.
  std::random_device source;
  auto* out = static_cast<unsigned char*>(bytes);
  for (std::size_t i = 0; i < n; i += sizeof(unsigned)) {
    const unsigned word = source();
    std::memcpy(out + i, &word, std::min(sizeof word, n - i));
  }
}

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) != 0;
}

void UseBinaryStandardStreams() {}

void AdviseLargePages(void* start, std::size_t size) {
#ifdef MADV_HUGEPAGE
  // Only whole pages inside the block can be advised.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(start) + page - 1) / page * page;
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / page * page;
  if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)start;
  (void)size;
#endif
}

Status CreateUniqueFile(const std::filesystem::path& folder, std::string_view prefix,
                        std::filesystem::path* path) {
  std::string name = (folder / (std::string(prefix) + "XXXXXX")).string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int err = errno;
    std::string reason = std::strerror(err);
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] += 'a' - 'A';
    return Status::IoError(name + ": cannot create: " + reason, reason);
  }
  ::close(fd);
  *path = name;
  return Status::Ok();
}

namespace {
std::atomic<bool> shared_library_loaded{false};
}  // namespace

bool SharedLibraryLoaded() {
  return shared_library_loaded.load();
}

void* LoadSharedLibrary(const char* name, std::string* error) {
  // Lazy binding: the library's own dependencies are bound when first called, not at load.
  void* library = ::dlopen(name, RTLD_LAZY | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    *error = why ? why : "cannot be loaded";
    return nullptr;
  }
  shared_library_loaded = true;
  return library;
}

void* FindSharedSymbol(void* library, const char* symbol) {
  return library ? ::dlsym(library, symbol) : nullptr;
}

}  // namespace krm::platform
