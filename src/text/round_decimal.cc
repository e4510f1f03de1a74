// Rounding on the four-decimal text of a value.
#include "text/round_decimal.h"

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

}  // namespace

float RoundDecimal(float value, int places) {
  return RoundFourDecimalText(FixedSingle(value, 4), places);
}

float RoundDecimal(double value, int places) {
  return RoundFourDecimalText(FixedDouble(value, 4), places);
}

float RoundDecimal(int value, int places) { return RoundDecimal(static_cast<double>(value), places); }

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
