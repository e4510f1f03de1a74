// Rounding on the four-decimal text of a value.
#include "text/round_decimal.h"

#include <cstdint>
#include <optional>

#include "text/number_text.h"

namespace krm::text {
namespace {

constexpr double kUnits[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

double PowerOfTen(int places) {
  if (places >= 0 && places < 5) return kUnits[places];
  double p = 1;
  for (int i = 0; i < places; ++i) p *= 10;
  return p;
}

// Cuts `text` after `places` decimals and lets the next digit decide. `negative` is the sign of
// the four-decimal value (zero counts as positive).
float RoundOnText(std::string_view text, int places, bool negative) {
  if (places < 0) places = 0;
  const size_t point = text.find('.');
  std::string_view kept = text;
  int next = 0;
  if (point != std::string_view::npos) {
    const size_t cut = point + 1 + static_cast<size_t>(places);
    kept = text.substr(0, cut);
    if (cut < text.size()) {
      next = static_cast<int>(ToNumber(text.substr(cut, 1)));
    }
  }
  double result = ToNumber(kept);
  if (next >= 5) result += (negative ? -1.0 : 1.0) / PowerOfTen(places);
  return static_cast<float>(result);
}

float RoundFourDecimalText(const std::string& four, int places) {
  return RoundOnText(four, places, ToNumber(four) < 0);
}

// RoundOnText on the four-decimal text of `value`, worked on the text's digits as a whole number
// of 10^-4 units instead of on the text: the kept text read back is the kept units over the power
// of ten of `places`, which is the nearest double to it, as reading the text gives.
std::optional<float> RoundFourDecimalUnits(double value, bool single, int places) {
  const std::optional<detail::FourDecimals> four = detail::FourDecimalUnits(value, single);
  constexpr std::uint64_t kExact = std::uint64_t{1} << 53;
  if (!four || four->units >= kExact) return std::nullopt;
  if (places < 0) places = 0;
  const int dropped = places >= 4 ? 0 : 4 - places;
  const std::uint64_t scale = static_cast<std::uint64_t>(PowerOfTen(dropped));
  const std::uint64_t kept = four->units / scale;
  const int next = dropped > 0 ? static_cast<int>((four->units / (scale / 10)) % 10) : 0;
  const int decimals = places >= 4 ? 4 : places;
  double result = static_cast<double>(kept) / PowerOfTen(decimals);
  if (four->negative_text) result = -result;
  const bool negative = four->negative_text && four->units != 0;
  if (next >= 5) result += (negative ? -1.0 : 1.0) / PowerOfTen(places);
  return static_cast<float>(result);
}

}  // namespace

float RoundDecimal(float value, int places) {
  if (auto quick = RoundFourDecimalUnits(value, /*single=*/true, places)) return *quick;
  return RoundFourDecimalText(FixedSingle(value, 4), places);
}

float RoundDecimal(double value, int places) {
  if (auto quick = RoundFourDecimalUnits(value, /*single=*/false, places)) return *quick;
  return RoundFourDecimalText(FixedDouble(value, 4), places);
}

float RoundDecimal(int value, int places) {
  return RoundDecimal(static_cast<double>(value), places);
}

namespace detail {
float RoundDecimalOnText(double value, bool single, int places) {
  return RoundFourDecimalText(
      single ? FixedSingle(static_cast<float>(value), 4) : FixedDouble(value, 4), places);
}
}  // namespace detail

std::optional<float> RoundDecimal(std::string_view value, int places) {
  std::optional<double> number = ParseNumber(value);
  if (!number) return std::nullopt;
  return RoundDecimal(*number, places);
}

float RoundDecimalInPlace(float& variable, int places) {
  const std::string four = FixedSingle(variable, 4);
  // The four-decimal text of a single always fits into a single again.
  variable = static_cast<float>(ToNumber(four));
  return RoundOnText(FromSingle(variable), places, variable < 0);
}

float RoundDecimalInPlace(double& variable, int places) {
  variable = ToNumber(FixedDouble(variable, 4));
  return RoundOnText(FromDouble(variable), places, variable < 0);
}

std::optional<float> RoundDecimalInPlace(std::string& variable, int places) {
  std::optional<double> number = ParseNumber(variable);
  if (!number) return std::nullopt;
  variable = FixedDouble(*number, 4);
  return RoundFourDecimalText(variable, places);
}

}  // namespace krm::text
