#include "text/item_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace krm::text {
namespace {

// The items of a text, each followed by "|".
std::string Items(std::string_view text) {
  std::string out;
  for (std::string_view item : ReadItems(text)) out += std::string(item) + "|";
  return out;
}

TEST(ItemReader, SplitsAtCommasAndLineEnds) {
  // Byte-order mark, and the three line ends; the last line needs none.
  EXPECT_EQ(Items("\xEF\xBB\xBF[S]\r\nA=1\nB=2\rC=3"), "\xEF\xBB\xBF[S]|A=1|B=2|C=3|");
  // A comma, a blank line as one empty item, blanks trimmed but kept inside.
  EXPECT_EQ(Items("A=1,5\n\n  B = 2 \t\nC=\n"), "A=1|5||B = 2|C=|");
  // A quoted item runs across commas and line ends; the rest up to the delimiter is dropped.
  EXPECT_EQ(Items("\"A=1,2\" tail,\"B=1\nC\"\nD=3"), "A=1,2|B=1\nC|D=3|");
  EXPECT_EQ(Items("\"open"), "open|");
  EXPECT_EQ(Items(""), "");
}

TEST(ItemReader, EndOfTextAndSplitAtTheFirstEquals) {
  ItemReader reader("A=1\r\n");
  EXPECT_EQ(reader.Next(), "A=1");
  EXPECT_TRUE(reader.AtEnd());  // the last line end leaves no empty item behind
  EXPECT_EQ(reader.Next(), std::nullopt);

  EXPECT_EQ(SplitItem("A=b=c").value().key, "A");
  EXPECT_EQ(SplitItem("A=b=c").value().value, "b=c");
  EXPECT_EQ(SplitItem("CULET_MM=").value().value, "");
  for (const char* bad : {"no equals", ""}) EXPECT_FALSE(SplitItem(bad)) << bad;
}

}  // namespace
}  // namespace krm::text
