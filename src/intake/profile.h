// Profile: an INI-style measurement file parsed once and answered from memory.
//
// The lookup follows the Windows profile reader that the scanner side relies on: section and key
// names match without regard to case, blanks around names and values are ignored, one pair of
// enclosing quotes is removed, and at most 254 characters of a value come back.
#ifndef KRM_INTAKE_PROFILE_H_
#define KRM_INTAKE_PROFILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace krm::intake {

class Profile {
 public:
  // Longest value text that a lookup returns (the reader's 255-character buffer less its end).
  static constexpr size_t kMaxValue = 254;

  Profile() = default;
  // Parses file contents. Never fails: lines that are no section or key are passed over.
  static Profile Parse(std::string_view contents);
  // Reads and parses the file; a missing or unreadable file gives an empty profile.
  static Profile Load(platform::Env& env, const platform::fs::path& path);

  // The value of `key` in `section`, "" when the section or key is missing.
  std::string Get(std::string_view section, std::string_view key) const;
  // As Get, without the copy; empty when missing.
  std::string_view Find(std::string_view section, std::string_view key) const;

 private:
  // A key's and its value's place in `text_` (keys are stored in lower case there).
  struct Entry {
    std::uint32_t section;
    std::uint32_t key_begin, key_size;
    std::uint32_t value_begin, value_size;
  };
  int FindSection(std::string_view lower_name) const;
  void Insert(const Entry& entry, std::uint64_t hash);
  std::string_view KeyOf(const Entry& e) const { return {text_.data() + e.key_begin, e.key_size}; }

  std::string text_;                   // the file, keys lowered in place
  std::vector<std::string> sections_;  // lower-case names, first of each name only
  std::vector<Entry> entries_;         // open addressing; key_size 0 marks an empty slot
  std::size_t used_ = 0;
};

// GetString(Bookmark, KeyName, FileName) of the grading: reads `path` and answers one key. Each
// call reads the file again; code that asks many keys holds a Profile instead.
std::string GetString(platform::Env& env, std::string_view section, std::string_view key,
                      const platform::fs::path& path);

}  // namespace krm::intake

#endif  // KRM_INTAKE_PROFILE_H_
