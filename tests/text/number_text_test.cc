#include "text/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace krm::text {
namespace {

TEST(FromSingle, SevenSignificantDigits) {
  const std::pair<float, const char*> cases[] = {
      {654322.25f, "654322.3"},
      {0.00001f, "1E-05"},
      {12345678.0f, "1.234568E+07"},
      {-0.0f, "0"},
      {0.0f, "0"},
      {34.1f, "34.1"},
      {57.4f, "57.4"},
      {0.0001f, "0.0001"},
      {1e7f, "1E+07"},
      {9999999.0f, "9999999"},
      {-2.5f, "-2.5"},
      {99999992.0f, "9.999999E+07"},
      {1.5e-10f, "1.5E-10"},
      {0.1f, "0.1"},
      {3.45f, "3.45"},
      {std::numeric_limits<float>::infinity(), "0"},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(FromSingle(value), expected) << expected;
}

TEST(FromDouble, FifteenSignificantDigits) {
  const std::pair<double, const char*> cases[] = {
      {static_cast<double>(1.23f), "1.23000001907349"},
      {1e15, "1E+15"},
      {999999999999999.0, "999999999999999"},
      {0.1 + 0.2, "0.3"},
      {-1.0 / 3.0, "-0.333333333333333"},
      {2.5e-5, "2.5E-05"},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(FromDouble(value), expected) << expected;
}

TEST(Fixed, HalvesAwayFromZeroOnTheShortDigits) {
  EXPECT_EQ(FixedDouble(2.675, 2), "2.68");  // binary 2.67499999..., but 15 digits say 2.675
  EXPECT_EQ(FixedDouble(1.005, 2), "1.01");
  EXPECT_EQ(FixedDouble(-0.001, 2), "-0.00");
  EXPECT_EQ(FixedDouble(0.0, 4), "0.0000");
  EXPECT_EQ(FixedDouble(9.99995, 4), "10.0000");
  EXPECT_EQ(FixedDouble(-2.5, 0), "-3");
  EXPECT_EQ(FixedSingle(34.99996f, 4), "35.0000");
  EXPECT_EQ(FixedSingle(0.05f, 1), "0.1");
  EXPECT_EQ(FixedSingle(1234567.0f, 1), "1234567.0");
  EXPECT_EQ(FixedDouble(1e20, 1), "100000000000000000000.0");
}

TEST(ReadNumber, LeadingNumberOrZero) {
  const std::pair<const char*, double> cases[] = {
      {"12.5", 12.5}, {"  -3.25abc", -3.25}, {"abc", 0}, {"", 0},     {"1e3", 1000},
      {"1e", 1},      {".5", 0.5},           {"5.", 5},  {"+7", 7},   {"1.2.3", 1.2},
      {"-", 0},       {"1E-2x", 0.01},       {"\t4", 4}, {"0x10", 0},
  };
  for (auto [text, expected] : cases) {
    auto got = ReadNumber(text);
    ASSERT_TRUE(got.has_value()) << text;
    EXPECT_DOUBLE_EQ(*got, expected) << text;
  }
  EXPECT_FALSE(ReadNumber("1e999").has_value());
  EXPECT_EQ(ToNumber("1e999"), 0);
}

TEST(ParseNumber, WholeTextOnly) {
  EXPECT_EQ(ParseNumber(" 1.5 "), 1.5);
  EXPECT_EQ(ParseNumber("-2e2"), -200);
  for (const char* bad : {"", " ", "abc", "1.5x", "1..5", ".", "e5", "1e", "--1", "N/A"}) {
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
    EXPECT_FALSE(IsDecimalNumber(bad)) << bad;
  }
}

TEST(NarrowToSingle, OverflowIsNoValue) {
  EXPECT_EQ(NarrowToSingle(1.1), 1.1f);
  EXPECT_FALSE(NarrowToSingle(1e39).has_value());
  EXPECT_FALSE(NarrowToSingle(std::nan("")).has_value());
}

}  // namespace
}  // namespace krm::text
