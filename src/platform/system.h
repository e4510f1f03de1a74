// What the programs take from the system besides the station's files (Env): the host's name,
// random bytes, whether a stream is a terminal, files with a name of their own, large pages of
// memory, and libraries loaded at run time. One implementation per system (system_posix.cc,
// system_win32.cc).
#ifndef KRM_PLATFORM_SYSTEM_H_
#define KRM_PLATFORM_SYSTEM_H_

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace krm::platform {

// The machine's network name as UTF-8; "" when the system gives none.
std::string HostName();

// Fills `n` bytes at `bytes` from the system's cryptographic random source.
void SystemRandom(void* bytes, std::size_t n);

// Whether `stream` is an interactive terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

// Standard output and standard error carry the bytes written as they are: on Windows no line feed
// is widened to CR LF, so that a program's output (CSV records with their own CR LF, JSON lines,
// fault lines) is the same bytes on either system.
void UseBinaryStandardStreams();

// Creates a new, empty file in `folder` whose name starts with `prefix` and is no other file's;
// `*path` names it. The caller removes it. Failing is the sure sign that the folder cannot be
// written (permissions, a read-only file system, a full disk).
Status CreateUniqueFile(const std::filesystem::path& folder, std::string_view prefix,
                        std::filesystem::path* path);

// Asks the system to back the memory at `start` (`size` bytes, not yet written) with large pages,
// so that filling a table of tens of megabytes takes a few page faults instead of thousands. Does
// nothing where the system has no such pages or declines.
void AdviseLargePages(void* start, std::size_t size);

// A shared library loaded at run time (libpq.so.5, libpq.dll), kept loaded until the process
// ends: a program that needs it only some of the time does not pay for loading it every time.
// Returns nullptr and says why in `*error` when it cannot be loaded.
void* LoadSharedLibrary(const char* name, std::string* error);

// Whether LoadSharedLibrary has loaded a library in this process.
bool SharedLibraryLoaded();

// The address of `symbol` in a library LoadSharedLibrary gave; nullptr when it has none.
void* FindSharedSymbol(void* library, const char* symbol);

}  // namespace krm::platform

#endif  // KRM_PLATFORM_SYSTEM_H_
