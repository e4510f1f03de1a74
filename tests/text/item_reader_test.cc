#include "text/item_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krm::text {
namespace {

std::vector<std::string> Items(std::string_view text) {
  std::vector<std::string> out;
  for (std::string_view item : ReadItems(text)) out.emplace_back(item);
  return out;
}

TEST(ItemReader, SplitsAtCommasAndLineEnds) {
  struct Case {
    std::string text;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"[S]\r\nA=1\r\nB=2\r\n", {"[S]", "A=1", "B=2"}},
      {"[S]\nA=1\rB=2", {"[S]", "A=1", "B=2"}},
      {"A=1,5\n", {"A=1", "5"}},
      {"A=1\n\nB=2\n", {"A=1", "", "B=2"}},
      {"  A = 1 \t\nB=\n", {"A = 1", "B="}},
      {"\"A=1,2\" tail,B=2\n", {"A=1,2", "B=2"}},
      {"\"A=1\nB\"\nC=3", {"A=1\nB", "C=3"}},
      {"\"open", {"open"}},
      {"\xEF\xBB\xBF[S]\nA=1", {"[S]", "A=1"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Items(c.text), c.items) << c.text;
}

TEST(ItemReader, ReportsTheEnd) {
  ItemReader reader("A=1\r\n");
  EXPECT_FALSE(reader.AtEnd());
  EXPECT_EQ(reader.Next(), "A=1");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.Next(), std::nullopt);
}

TEST(ItemReader, SplitsAtTheFirstEquals) {
  auto kv = SplitItem("A=b=c");
  ASSERT_TRUE(kv);
  EXPECT_EQ(kv->key, "A");
  EXPECT_EQ(kv->value, "b=c");
  kv = SplitItem("CULET_MM=");
  ASSERT_TRUE(kv);
  EXPECT_EQ(kv->value, "");
  EXPECT_FALSE(SplitItem("no equals"));
  EXPECT_FALSE(SplitItem(""));
}

}  // namespace
}  // namespace krm::text
