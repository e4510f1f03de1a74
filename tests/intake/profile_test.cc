#include "intake/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/recording_env.h"
#include "text/item_reader.h"

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

// Only A to Z match their lower case: every other byte, whether 0x20 away from a letter or above
// 0x7F, is its own, wherever it stands among eight bytes.
TEST(Profile, OnlyLettersMatchInAnyCase) {
  std::string text = "[S]\n";
  std::vector<std::string> keys;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    // A lower-case letter would repeat the key of its capital.
    if (c == '\n' || c == '\r' || c == '=' || c == '\0' || (c >= 'a' && c <= 'z')) continue;
    for (const std::string& key : {std::string(1, c) + "KEYKEYK", "K" + std::string(9, c)}) {
      keys.push_back("k" + key + "k");
      text += keys.back() + "=" + std::to_string(keys.size()) + "\n";
    }
  }
  const Profile p = Profile::Parse(text);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::string upper = keys[i], flipped = keys[i];
    for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    for (char& c : flipped) c = static_cast<char>(c ^ 0x20);
    const bool letters = std::all_of(keys[i].begin(), keys[i].end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    EXPECT_EQ(p.Get("S", upper), std::to_string(i + 1)) << i;
    if (!letters) {
      EXPECT_NE(p.Get("S", flipped), std::to_string(i + 1)) << i;
    }
  }
}

TEST(Profile, AnyLineEndAndHostileFiles) {
  for (const char* text : {"\xEF\xBB\xBF[S]\r\nK=1\r\nL=2", "[S]\rK=1\rL=2\r", "[S]\nK=1\nL=2\n"}) {
    const Profile p = Profile::Parse(text);
    EXPECT_EQ(p.Get("S", "K") + p.Get("S", "L"), "12") << text;
  }
  EXPECT_EQ(Profile::Parse(std::string("[S]\nK=a\0b\n", 10)).Get("S", "K").substr(0, 1), "a");
}

// A file is read in pieces of 64 KiB: whatever falls on the border between two pieces (a CR LF
// pair, a section line, a key, a byte-order mark's place) reads as it does from one text.
TEST(Profile, FileReadInPiecesReadsAsOneText) {
  krm::testing::RecordingEnv env;
  krm::testing::TempStation station;
  constexpr std::size_t kPiece = 64 * 1024;
  const std::string tail =
      "[S]\r\nK=1\r\n  Quoted = \"q\" \r[T]\nK=t\n[s]\nK=never\n[S2]\rL=" + std::string(300, 'v') +
      "\r\nLAST=end";
  for (const std::string head : {"", "\xEF\xBB\xBF"}) {
    for (std::size_t filler = kPiece - 40; filler <= kPiece + 2; ++filler) {
      // The filler is a comment line that ends on or near the border.
      std::string text = head + ";" + std::string(filler - head.size() - 2, '.') + "\r\n" + tail;
      station.Write("Test.txt", text);
      const Profile read = Profile::Load(env, station.root() / "Test.txt");
      const Profile parsed = Profile::Parse(text);
      SCOPED_TRACE(filler);
      for (auto [section, key] : {std::pair{"S", "K"},
                                  {"S", "QUOTED"},
                                  {"T", "K"},
                                  {"S2", "L"},
                                  {"S2", "LAST"},
                                  {"S", "LAST"}}) {
        EXPECT_EQ(read.Get(section, key), parsed.Get(section, key)) << section << " " << key;
      }
      EXPECT_EQ(read.Get("S", "K") + read.Get("s", "quoted") + read.Get("T", "K") +
                    read.Get("S2", "LAST"),
                "1qtend");
    }
  }
}

// Files far beyond a scanner's few kilobytes: many keys, many sections, one endless line, a huge
// key. Each is read whole and answers as the rules say.
TEST(Profile, LargeAndHostileFiles) {
  std::string keys = "[S]\n";
  for (int i = 0; i < 200000; ++i) keys += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  keys += "k7=repeated\n";
  const Profile many = Profile::Parse(keys);
  EXPECT_EQ(many.Get("S", "K0") + "," + many.Get("S", "k7") + "," + many.Get("S", "K199999"),
            "0,7,199999");
  EXPECT_EQ(many.Get("S", "K200000"), "");

  std::string sections;
  for (int i = 0; i < 100000; ++i)
    sections += "[S" + std::to_string(i) + "]\nK=" + std::to_string(i) + "\n";
  sections += "[S5]\nK=repeated\n";
  const Profile spread = Profile::Parse(sections);
  EXPECT_EQ(spread.Get("S5", "K") + "," + spread.Get("S99999", "K"), "5,99999");

  const std::string huge_key(3 << 20, 'k');
  const Profile odd =
      Profile::Parse("[S]\n" + huge_key + "=x\nV=" + std::string(3 << 20, 'v') + "\nW=w");
  EXPECT_EQ(odd.Get("S", huge_key), "x");
  EXPECT_EQ(odd.Get("S", "V"), std::string(Profile::kMaxValue, 'v'));
  EXPECT_EQ(odd.Get("S", "W"), "w");
}

// Lines given one by one read as the text of the lines each ended by CR LF, whatever they hold:
// a byte-order mark, line ends of their own (a quoted item that ran across lines), a CR at the
// end, blanks, lines before the first section.
TEST(Profile, LinesGivenOneByOneReadAsTheirText) {
  const std::vector<std::vector<std::string>> files = {
      {"[S]", "K=1", "L=2"},
      {"\xEF\xBB\xBF[S]", "K=1"},
      {"", "\xEF\xBB\xBF[S]", "K=1"},
      {"K=before", "  [ S ] ", "K = \"q\" ", "A=1\r\nB=2", "C=3\r", "\nD=4", "E=5\n\r"},
      {"[S]", "", ";K=comment", "K", "=v", "K=" + std::string(300, 'v'), "\r", "LAST=1"},
  };
  for (const std::vector<std::string>& lines : files) {
    std::string text;
    Profile::LineBuilder built(3);
    for (const std::string& line : lines) {
      text += line + "\r\n";
      built.Add(line);
    }
    EXPECT_TRUE(built.Finish() == Profile::Parse(text)) << text;
  }
}

// Lines taken from a parsed text read the same when their records are taken from its profile:
// whole key lines, parts of lines cut at commas, quoted parts, lines before the first section,
// a byte-order mark, a last line without its line end, and lines that are not the text's.
TEST(Profile, LinesOfAParsedTextReadTheSameWithItsRecords) {
  const std::string texts[] = {
      "[S]\r\nK=1\r\n  L = 2 \r\nM=\"q\"\r\nK=again",
      "\xEF\xBB\xBFK=before\r\n[S]\nA=1,B=2\r\"C=3,D\"=4\rE=5\r\n\r\n[T]\nA=t\n",
      "[S]\r\n\"K=1\"\r\nK=2\r\n;K=3\r\n[S]\r\nK=4",
  };
  for (const std::string& text : texts) {
    const std::vector<std::string_view> lines = text::ReadItems(text);
    const Profile original = Profile::Parse(text);
    for (int changed : {-1, 0, 1}) {
      // Every other line (none, the even or the odd ones) changed and given as a copy of its own,
      // as a rewrite gives its changed items; a changed section line is no section line.
      std::vector<std::string> copies;
      copies.reserve(lines.size());
      Profile::LineBuilder plain, taking(original, text);
      std::string joined;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (static_cast<int>(i % 2) == changed) line = copies.emplace_back("9" + std::string(line));
        plain.Add(line);
        taking.Add(line);
        joined += std::string(line) + "\r\n";
      }
      const Profile expected = Profile::Parse(joined);
      EXPECT_TRUE(plain.Finish() == expected) << text;
      EXPECT_TRUE(taking.Finish() == expected) << text;
    }
  }
}

TEST(Profile, MissingFileOrFolderReadsAsEmpty) {
  krm::testing::RecordingEnv env;
  krm::testing::TempStation station;
  EXPECT_EQ(GetString(env, "S", "K", station.root() / "Test.txt"), "");
  EXPECT_EQ(GetString(env, "S", "K", station.root()), "");
}

}  // namespace
}  // namespace krm::intake
