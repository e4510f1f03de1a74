// Profile: an INI-style measurement file parsed once and answered from memory.
//
// The lookup follows the Windows profile reader that the scanner side relies on: section and key
// names match without regard to case, blanks around names and values are ignored, one pair of
// enclosing quotes is removed, and at most 254 characters of a value come back.
//
// A measurement file is a few kilobytes, but the reader must stay small and quick on any file a
// station may be handed. It keeps only what a lookup can reach, packed: each section name and each
// key with its (already cut) value, never the file's other bytes, and where each of them lies with
// each key's hash; the file is read in pieces. A section's key index is made when the section is
// first asked for, so that a file of countless sections costs no more than one of countless keys.
#ifndef KRM_INTAKE_PROFILE_H_
#define KRM_INTAKE_PROFILE_H_

#include <cstdint>
#include <memory>
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
  // Reads and parses the file; a missing or unreadable file (or one that is no regular file)
  // gives an empty profile.
  static Profile Load(platform::Env& env, const platform::fs::path& path);
  // As Load, with the failure when the file cannot be opened or read (`*into` is then empty).
  static Status Read(platform::Env& env, const platform::fs::path& path, Profile* into);

  class LineBuilder;

  // The value of `key` in `section`, "" when the section or key is missing.
  std::string Get(std::string_view section, std::string_view key) const;
  // As Get, without the copy; empty when missing.
  std::string_view Find(std::string_view section, std::string_view key) const;

  // Profiles are equal when they hold the same section names and keys with the same values in the
  // same order, so that every look-up gives the same.
  bool operator==(const Profile& other) const { return store_ == other.store_; }

 private:
  class Reader;
  // A section that has been asked for: the index of its keys.
  struct Section {
    std::string name;                  // lower case, as asked
    std::vector<std::uint32_t> slots;  // open addressing: record offset + 1, 0 for an empty slot
    std::vector<std::uint8_t> tags;    // a few bits of each slot's key hash
  };
  const Section& SectionNamed(std::string_view lower_name) const;
  // The slot that holds `lower_key`, else the empty slot where its probe ends.
  std::size_t SlotOf(const Section& section, std::string_view lower_key, std::uint32_t hash) const;

  // Records in file order: a section name (lower case), or a key (lower case) and its value.
  std::string store_;
  // Where each key record lies in the store, with its key's hash, in file order; and where each
  // section record lies, with the number of keys before it.
  struct KeyMark {
    std::uint32_t record;
    std::uint32_t hash;
  };
  // Where a key's line (blanks around it left out) lies in the text given to Parse; kNoLine for a
  // line that was not read from that text whole.
  struct KeyLine {
    std::uint32_t at;
    std::uint32_t size;
  };
  static constexpr std::uint32_t kNoLine = 0xFFFFFFFFu;
  struct SectionMark {
    std::uint32_t record;
    std::uint32_t first_key;
  };
  std::vector<KeyMark> keys_;
  std::vector<SectionMark> sections_;
  // One for each key of a profile made by Parse; none for one read from a file or built.
  std::vector<KeyLine> key_lines_;
  // The text Parse read, by its place only (never read again): what a LineBuilder may take
  // records from.
  const char* parsed_from_ = nullptr;
  std::size_t parsed_size_ = 0;
  mutable std::vector<Section> asked_;
  // The section the last look-up found, and the name it was asked by.
  mutable int last_asked_ = -1;
  mutable std::string last_asked_name_;
};

// Builds a profile from lines given one by one, each without its line end: the profile that Parse
// makes of the lines each ended by CR LF, without that text being made. A line may hold line ends
// of its own; it then reads as the lines they make.
class Profile::LineBuilder {
 public:
  // `size_hint`: about how many bytes the lines will hold.
  explicit LineBuilder(std::size_t size_hint = 0);
  // For lines most of which are lines of `original_text`, as views into it (items of a file that
  // is rewritten item by item): a line that is a key line of the text, blanks around it left out,
  // takes its record from `original` when that is Profile::Parse(original_text) (the same text, at
  // the same place, unchanged since) instead of being read again. Any other `original` is not
  // used.
  LineBuilder(const Profile& original, std::string_view original_text);
  LineBuilder(const Profile&& original, std::string_view original_text) = delete;
  ~LineBuilder();
  LineBuilder(const LineBuilder&) = delete;
  LineBuilder& operator=(const LineBuilder&) = delete;

  void Add(std::string_view line);
  // The profile of the lines added; the builder is spent.
  Profile Finish();

 private:
  Profile profile_;
  std::unique_ptr<Reader> reader_;
};

// GetString(Bookmark, KeyName, FileName) of the grading: reads `path` and answers one key. Each
// call reads the file again; code that asks many keys holds a Profile instead.
std::string GetString(platform::Env& env, std::string_view section, std::string_view key,
                      const platform::fs::path& path);

}  // namespace krm::intake

#endif  // KRM_INTAKE_PROFILE_H_
