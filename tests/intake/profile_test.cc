#include "intake/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/recording_env.h"

namespace krm::intake {
namespace {

// A file of the given lines, each ended by LF.
Profile Parse(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) text += std::string(line) + "\n";
  return Profile::Parse(text);
}

TEST(Profile, LookupRules) {
  const Profile p =
      Parse({"KEY_BEFORE=1", "[ NumericalParameters ]", "  Table_MM_1  =  6.5  ", "; COMMENTED=1",
             "QUOTED=\"  in quotes  \"", "SINGLE='x'", "MIXED=\"x'", "EMPTY=", "NO_EQUALS_LINE",
             "REPEATED=first", "REPEATED=second", "A=B=C", "TABBED\t=\tv\t\v", "[Other]",
             "OTHER_KEY=o", "[numericalparameters]", "LATER=never"});
  const std::pair<const char*, const char*> cases[] = {
      {"TABLE_MM_1", "6.5"},       {"table_mm_1", "6.5"}, {"KEY_BEFORE", ""}, {"; COMMENTED", ""},
      {"QUOTED", "  in quotes  "}, {"SINGLE", "x"},       {"MIXED", "\"x'"},  {"EMPTY", ""},
      {"REPEATED", "first"},       {"A", "B=C"},          {"TABBED", "v"},    {"LATER", ""},
  };
  for (auto [key, expected] : cases) EXPECT_EQ(p.Get("numericalPARAMETERS", key), expected) << key;
  EXPECT_EQ(p.Get("Other", "OTHER_KEY"), "o");
  EXPECT_EQ(p.Get("Missing", "OTHER_KEY"), "");
}

TEST(Profile, AnyLineEndAndHostileFiles) {
  for (const char* text : {"\xEF\xBB\xBF[S]\r\nK=1\r\nL=2", "[S]\rK=1\rL=2\r", "[S]\nK=1\nL=2\n"}) {
    const Profile p = Profile::Parse(text);
    EXPECT_EQ(p.Get("S", "K") + p.Get("S", "L"), "12") << text;
  }
  const Profile p = Parse({"[S]", "BIG=" + std::string(1 << 20, '7'), "AFTER=ok"});
  EXPECT_EQ(p.Get("S", "BIG").size(), Profile::kMaxValue);
  EXPECT_EQ(p.Get("S", "AFTER"), "ok");
  EXPECT_EQ(Profile::Parse(std::string("[S]\nK=a\0b\n", 10)).Get("S", "K").substr(0, 1), "a");
}

TEST(Profile, MissingFileOrFolderReadsAsEmpty) {
  krm::testing::RecordingEnv env;
  krm::testing::TempStation station;
  EXPECT_EQ(GetString(env, "S", "K", station.root() / "Test.txt"), "");
  EXPECT_EQ(GetString(env, "S", "K", station.root()), "");
}

}  // namespace
}  // namespace krm::intake
