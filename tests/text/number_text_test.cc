#include "text/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace krm::text {
namespace {

TEST(NumberText, SevenAndFifteenSignificantDigits) {
  const std::pair<float, const char*> singles[] = {
      {12345678.0f, "1.234568E+07"}, {1.5e-10f, "1.5E-10"}, {34.1f, "34.1"}, {0.1f, "0.1"},
      {99999992.0f, "9.999999E+07"}, {0.00001f, "1E-05"},   {57.4f, "57.4"}, {-0.0f, "0"},
      {654322.25f, "654322.3"},      {0.0001f, "0.0001"},   {1e7f, "1E+07"}, {0.0f, "0"},
      {9999999.0f, "9999999"},       {-2.5f, "-2.5"},       {3.45f, "3.45"}, {HUGE_VALF, "0"},
  };
  for (auto [value, expected] : singles) EXPECT_EQ(FromSingle(value), expected) << expected;
  const std::pair<double, const char*> doubles[] = {
      {999999999999999.0, "999999999999999"}, {1.23f, "1.23000001907349"}, {1e15, "1E+15"},
      {-1.0 / 3.0, "-0.333333333333333"},     {0.1 + 0.2, "0.3"},          {2.5e-5, "2.5E-05"},
  };
  for (auto [value, expected] : doubles) EXPECT_EQ(FromDouble(value), expected) << expected;
}

TEST(NumberText, FixedHalvesAwayFromZeroOnTheShortDigits) {
  // Binary 2.675 and 1.005 lie below the half, but their 15 digits do not.
  const std::tuple<double, int, const char*> cases[] = {
      {2.675, 2, "2.68"},   {1.005, 2, "1.01"}, {1e20, 1, "100000000000000000000.0"},
      {-0.001, 2, "-0.00"}, {0.0, 4, "0.0000"}, {9.99995, 4, "10.0000"},
      {-2.5, 0, "-3"},
  };
  for (auto [v, places, expected] : cases) EXPECT_EQ(FixedDouble(v, places), expected) << v;
  EXPECT_EQ(FixedSingle(34.99996f, 4), "35.0000");
  EXPECT_EQ(FixedSingle(0.05f, 1), "0.1");
  EXPECT_EQ(FixedSingle(1234567.0f, 1), "1234567.0");
}

TEST(NumberText, ReadsNumbers) {
  const std::pair<const char*, double> cases[] = {
      {"12.5", 12.5}, {"  -3.25abc", -3.25}, {"abc", 0}, {"", 0},     {"1e3", 1000},
      {"1e", 1},      {".5", 0.5},           {"5.", 5},  {"+7", 7},   {"1.2.3", 1.2},
      {"-", 0},       {"1E-2x", 0.01},       {"\t4", 4}, {"0x10", 0},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(ReadNumber(text), expected) << text;
  EXPECT_FALSE(ReadNumber("1e999").has_value());
  EXPECT_EQ(ToNumber("1e999"), 0);

  // A number as a whole, or no value.
  EXPECT_EQ(ParseNumber(" 1.5 "), 1.5);
  EXPECT_EQ(ParseNumber("-2e2"), -200);
  for (const char* bad : {"", " ", "abc", "1.5x", "1..5", ".", "e5", "1e", "--1", "N/A"}) {
    EXPECT_FALSE(ParseNumber(bad)) << bad;
  }
  EXPECT_EQ(NarrowToSingle(1.1), 1.1f);
  for (double beyond : {1e39, std::nan("")}) EXPECT_FALSE(NarrowToSingle(beyond)) << beyond;
}

// The shortcut through the shortest text gives the digits of the exact expansion: random values
// of every size, values read from short decimal texts (as the station's numbers mostly are), and
// the ties that only the exact expansion decides.
TEST(NumberText, ShortestTextShortcutKeepsTheExactDigits) {
  std::mt19937_64 random(7);
  std::vector<double> values = {654322.25, 0.5, 2.5e-5, 1e15, 123456789012345.5, 0.3 + 0.6};
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<double>(random() % 24) - 8);
    values.push_back(magnitude * static_cast<double>(random() % 1000000) / 999983.0);
    values.push_back(
        ToNumber(std::to_string(random() % 100000) + "." + std::to_string(random() % 1000)));
  }
  // Just below and above powers of ten, where the steps of the last digit change.
  for (int k = -9; k <= 16; ++k) {
    for (int j = -60; j <= 60; ++j) values.push_back(std::pow(10.0, k) * (1 + j * 3e-8));
  }
  for (double v : values) {
    for (double x : {v, -v}) {
      ASSERT_EQ(FromDouble(x), detail::FromDoubleExact(x)) << x;
      ASSERT_EQ(FromSingle(static_cast<float>(x)), detail::FromSingleExact(static_cast<float>(x)))
          << x;
    }
  }
}

// Short decimal texts take a quicker way to their value; it must be the nearest double, as a full
// conversion gives.
// The value of a written number, had without writing it, is the value its text reads as: for
// numbers of every size and sign, ties of the seventh digit, and values whose text has an exponent.
TEST(NumberText, ValueAsWrittenIsTheTextReadBack) {
  std::mt19937_64 random(5);
  std::vector<double> values = {
      0.0,   -0.0,     1e-30,     5e-5,      1e-4, 0.1,  34.99996,
      41.85, -0.00049, 1234567.5, 9999999.5, 1e7,  1e15, 123456789012345678.0,
      1e300};
  for (int i = 0; i < 20000; ++i) {
    const double scale = std::pow(10.0, static_cast<int>(random() % 40) - 20);
    values.push_back((static_cast<double>(random() % 2000001) - 1000000.0) / 1000.0 * scale);
    values.push_back(std::round(static_cast<double>(random() % 1000000)) / 10000.0);
  }
  for (double v : values) {
    const float f = static_cast<float>(v);
    const double from_single = ToNumber(FromSingle(f)), from_double = ToNumber(FromDouble(v));
    ASSERT_EQ(std::bit_cast<std::uint64_t>(SingleAsWritten(f)),
              std::bit_cast<std::uint64_t>(from_single))
        << FromSingle(f);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(DoubleAsWritten(v)),
              std::bit_cast<std::uint64_t>(from_double))
        << FromDouble(v);
  }
}

TEST(NumberText, ShortDecimalTextsReadAsTheNearestDouble) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 50000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 17);
    std::string number;
    for (int d = 0; d < digits; ++d) number.push_back(static_cast<char>('0' + random() % 10));
    number.insert(random() % (number.size() + 1), ".");
    if (random() % 2) number.insert(0, "-");
    ASSERT_EQ(ToNumber(number), std::strtod(number.c_str(), nullptr)) << number;
  }
}

}  // namespace
}  // namespace krm::text
