#include "app/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/recording_env.h"

namespace krm::app {
namespace {

TEST(Profile, LookupRules) {
  const Profile p = Profile::Parse(
      "KEY_BEFORE=1\n"
      "[ NumericalParameters ]\n"
      "  Table_MM_1  =  6.5  \n"
      "; COMMENTED=1\n"
      "QUOTED=\"  in quotes  \"\n"
      "SINGLE='x'\n"
      "MIXED=\"x'\n"
      "EMPTY=\n"
      "NO_EQUALS_LINE\n"
      "REPEATED=first\n"
      "REPEATED=second\n"
      "A=B=C\n"
      "TABBED\t=\tv\t\v\n"
      "[Other]\n"
      "OTHER_KEY=o\n"
      "[numericalparameters]\n"
      "LATER=never\n");
  const struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"NumericalParameters", "TABLE_MM_1", "6.5"},
      {"numericalPARAMETERS", "table_mm_1", "6.5"},
      {"NumericalParameters", "KEY_BEFORE", ""},
      {"NumericalParameters", "; COMMENTED", ""},
      {"NumericalParameters", "QUOTED", "  in quotes  "},
      {"NumericalParameters", "SINGLE", "x"},
      {"NumericalParameters", "MIXED", "\"x'"},
      {"NumericalParameters", "EMPTY", ""},
      {"NumericalParameters", "REPEATED", "first"},
      {"NumericalParameters", "A", "B=C"},
      {"NumericalParameters", "TABBED", "v"},
      {"NumericalParameters", "LATER", ""},
      {"Other", "OTHER_KEY", "o"},
      {"Missing", "OTHER_KEY", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(p.Get(c.section, c.key), c.expected) << c.key;
}

TEST(Profile, LineEndsAndByteOrderMark) {
  for (const char* text : {"\xEF\xBB\xBF[S]\r\nK=1\r\nL=2", "[S]\rK=1\rL=2\r", "[S]\nK=1\nL=2\n"}) {
    const Profile p = Profile::Parse(text);
    EXPECT_EQ(p.Get("S", "K"), "1");
    EXPECT_EQ(p.Get("S", "L"), "2");
  }
}

TEST(Profile, SurvivesHostileFiles) {
  std::string huge = "[S]\nBIG=" + std::string(1 << 20, '7') + "\nAFTER=ok\n";
  Profile p = Profile::Parse(huge);
  EXPECT_EQ(p.Get("S", "BIG").size(), Profile::kMaxValue);
  EXPECT_EQ(p.Get("S", "AFTER"), "ok");

  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131) & 0xFF));
  p = Profile::Parse(binary);
  EXPECT_EQ(p.Get("S", "K"), "");
  p = Profile::Parse("");
  EXPECT_EQ(p.Get("S", "K"), "");
  p = Profile::Parse(std::string("[S]\nK=a\0b\n", 10));
  EXPECT_EQ(p.Get("S", "K").substr(0, 1), "a");
}

TEST(Profile, MissingFileReadsAsEmpty) {
  krm::testing::RecordingEnv env;
  krm::testing::TempStation station;
  EXPECT_EQ(GetString(env, "S", "K", station.root() / "Test.txt"), "");
  station.Write("Test.txt", "[S]\nK=v\n");
  EXPECT_EQ(GetString(env, "S", "K", station.root() / "Test.txt"), "v");
  EXPECT_EQ(GetString(env, "S", "K", station.root()), "");  // a folder, not a file
}

}  // namespace
}  // namespace krm::app
