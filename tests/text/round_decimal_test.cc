#include "text/round_decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

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

// The shortcut through the digits of the four-decimal text gives what the text itself gives, for
// values of every size and sign, halves at every place, and both precisions.
TEST(RoundDecimal, ShortcutAgreesWithTheTextForEveryPlace) {
  std::mt19937_64 random(3);
  std::vector<double> values = {2.345,           -2.345,  2.5,     -2.5,     0.5,      0.4999,
                                1.24996,         1.24496, 7,       -0.00003, 34.99996, 1e15,
                                123456789.12345, 0.00005, -0.00005};
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<double>(random() % 20) - 6);
    const double v = magnitude * static_cast<double>(random() % 2000001) / 1000000.0;
    values.push_back(random() % 2 ? v : -v);
    values.push_back(std::round(v * 1e5) / 1e5 + (random() % 2 ? 5e-6 : 0));
    // Close to half a unit of the fourth decimal, inside and outside the margins of the shortcut.
    const double near_half = (std::floor(v * 1e4) + 0.5) / 1e4;
    const double off = std::pow(10.0, -static_cast<double>(random() % 12)) * 1e-4;
    values.push_back(near_half + (random() % 2 ? off : -off));
  }
  for (double v : values) {
    for (int places : {0, 1, 2, 3, 4, 5}) {
      ASSERT_EQ(RoundDecimal(v, places), detail::RoundDecimalOnText(v, false, places))
          << v << " " << places;
      const float f = static_cast<float>(v);
      ASSERT_EQ(RoundDecimal(f, places), detail::RoundDecimalOnText(f, true, places))
          << f << " " << places;
    }
  }
}

}  // namespace
}  // namespace krm::text
