// Parsing and lookup of INI-style measurement files.
#include "app/profile.h"

#include <algorithm>

namespace krm::app {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsValueBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view Trim(std::string_view s, bool (*blank)(char)) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Calls `line` for each line of `contents`; line ends may be CR LF, LF or CR.
template <typename F>
void ForEachLine(std::string_view contents, F&& line) {
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = contents.size();
    line(contents.substr(start, end - start));
    if (end < contents.size() && contents[end] == '\r' && end + 1 < contents.size() &&
        contents[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
}

}  // namespace

Profile Profile::Parse(std::string_view contents) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (contents.substr(0, 3) == kByteOrderMark) contents.remove_prefix(3);

  Profile profile;
  Section* current = nullptr;  // null before the first section and inside repeated sections
  ForEachLine(contents, [&](std::string_view raw) {
    std::string_view line = Trim(raw, IsBlank);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = name.substr(0, name.find(']'));
      std::string lower = Lower(Trim(name, IsBlank));
      current = nullptr;
      if (profile.FindSection(lower) == nullptr) {
        profile.sections_.push_back(Section{std::move(lower), {}});
        current = &profile.sections_.back();
      }
      return;
    }
    if (current == nullptr) return;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    std::string key = Lower(Trim(line.substr(0, eq), IsBlank));
    std::string_view value = Trim(line.substr(eq + 1), IsValueBlank);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    value = value.substr(0, kMaxValue);
    current->values.try_emplace(std::move(key), value);
  });
  return profile;
}

Profile Profile::Load(platform::Env& env, const platform::fs::path& path) {
  std::string contents;
  if (!env.ReadFile(path, &contents).ok()) return Profile();
  return Parse(contents);
}

const Profile::Section* Profile::FindSection(std::string_view lower_name) const {
  for (const Section& s : sections_) {
    if (s.name == lower_name) return &s;
  }
  return nullptr;
}

std::string_view Profile::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(Lower(Trim(section, IsBlank)));
  if (s == nullptr) return {};
  auto it = s->values.find(Lower(Trim(key, IsBlank)));
  if (it == s->values.end()) return {};
  return it->second;
}

std::string Profile::Get(std::string_view section, std::string_view key) const {
  return std::string(Find(section, key));
}

std::string GetString(platform::Env& env, std::string_view section, std::string_view key,
                      const platform::fs::path& path) {
  return Profile::Load(env, path).Get(section, key);
}

}  // namespace krm::app
