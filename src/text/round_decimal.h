// RoundDecimal: the station's rounding of a value to 0 to 3 decimal places before it is compared
// with a grade limit, looked up, written or kept.
//
// The decision is taken on the value's four-decimal text ("0.0000"): the text is cut after the
// wanted places and the next digit decides whether one unit of the last kept place is added, so
// halves move away from zero, judged on the value as already rounded to four decimals. The result
// is always single precision.
#ifndef KRM_TEXT_ROUND_DECIMAL_H_
#define KRM_TEXT_ROUND_DECIMAL_H_

#include <optional>
#include <string>
#include <string_view>

namespace krm::text {

// Value forms: the argument is a temporary, rounded through its four-decimal text.
float RoundDecimal(float value, int places);
float RoundDecimal(double value, int places);
float RoundDecimal(int value, int places);
// A text is first read as a double. A text that is no number as a whole (an empty text, a word)
// gives no value: the original's type mismatch, which the caller must handle.
std::optional<float> RoundDecimal(std::string_view value, int places);

// Variable forms: the variable is rewritten to its four-decimal value (a single-precision variable
// holding 34.99996 holds 35 afterwards), and the rounding is then taken on the variable's new
// shortest text. A text variable is left holding the four-decimal text itself; one that is no
// number is left unchanged and gives no value.
float RoundDecimalInPlace(float& variable, int places);
float RoundDecimalInPlace(double& variable, int places);
std::optional<float> RoundDecimalInPlace(std::string& variable, int places);

namespace detail {
// RoundDecimal worked on the four-decimal text itself, without its shortcut through the text's
// digits; for tests.
float RoundDecimalOnText(double value, bool single, int places);
}  // namespace detail

}  // namespace krm::text

#endif  // KRM_TEXT_ROUND_DECIMAL_H_
