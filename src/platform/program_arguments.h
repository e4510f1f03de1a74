// Command-line arguments as UTF-8 texts, and paths to and from such texts.
//
// On Windows the programs take their arguments wide (wmain), so that a station folder whose name
// lies outside the ANSI code page reaches them whole; inside, texts are UTF-8 and paths are
// std::filesystem::path, wide on Windows.
#ifndef KRM_PLATFORM_PROGRAM_ARGUMENTS_H_
#define KRM_PLATFORM_PROGRAM_ARGUMENTS_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace krm::platform {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// argv[0] to argv[argc - 1] of a wide entry point as UTF-8.
inline std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(std::filesystem::path(argv[i])));
  return args;
}

// A wide argv as a narrow one of UTF-8 texts, for a main that takes (argc, argv).
class Utf8Argv {
 public:
  Utf8Argv(int argc, wchar_t** argv) : texts_(Utf8Arguments(argc, argv)) {
    for (std::string& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
  }
  Utf8Argv(const Utf8Argv&) = delete;
  Utf8Argv& operator=(const Utf8Argv&) = delete;
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

}  // namespace krm::platform

#endif  // KRM_PLATFORM_PROGRAM_ARGUMENTS_H_
