#include "text/round_decimal.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace krm::text {
namespace {

TEST(RoundDecimal, DecidesOnTheFourDecimalText) {
  const std::tuple<double, int, float> cases[] = {
      {2.345, 2, 2.35f},    {-2.345, 2, -2.35f},   {2.5, 0, 3.0f},          {-2.5, 0, -3.0f},
      {0.5, 0, 1.0f},       {0.4999, 0, 0.0f},     {1.24996, 2, 1.25f},     {1.24496, 2, 1.25f},
      {7, 1, 7.0f},         {1.23456, 4, 1.2346f}, {1.23456, 6, 1.2346f},   {-0.00003, 2, 0.0f},
      {34.99996, 1, 35.0f}, {0.04999, 1, 0.1f},    {999.99995, 3, 1000.0f}, {-0.05, 1, -0.1f},
      {12.3456, 0, 12.0f},  {1.00005, 4, 1.0001f},
  };
  for (auto [v, p, expected] : cases) EXPECT_EQ(RoundDecimal(v, p), expected) << v << " @" << p;
  // The single 2.675 is 2.67499995..., which reads 2.6750 on four decimals.
  EXPECT_EQ(RoundDecimal(2.675f, 2), 2.68f);
  EXPECT_EQ(RoundDecimal(-3, 0), -3.0f);
}

TEST(RoundDecimal, VariableKeepsItsFourDecimalValue) {
  float f = 41.23456f, carried = 34.99996f;
  double d = -0.00003;
  EXPECT_EQ(RoundDecimalInPlace(f, 1), 41.2f);
  EXPECT_EQ(f, 41.2346f);
  RoundDecimalInPlace(carried, 3);
  EXPECT_EQ(carried, 35.0f);
  EXPECT_EQ(RoundDecimalInPlace(d, 2), 0.0f);
  EXPECT_EQ(d, 0.0);
}

TEST(RoundDecimal, TextForms) {
  EXPECT_EQ(RoundDecimal(std::string_view(" 40.75 "), 1), 40.8f);
  for (const char* bad : {"", "abc", "12abc", "N/A"}) EXPECT_FALSE(RoundDecimal(bad, 1)) << bad;
  std::string variable = "2.345", word = "word";
  EXPECT_EQ(RoundDecimalInPlace(variable, 2), 2.35f);
  EXPECT_EQ(variable, "2.3450");
  EXPECT_FALSE(RoundDecimalInPlace(word, 1).has_value());
  EXPECT_EQ(word, "word");
}

}  // namespace
}  // namespace krm::text
