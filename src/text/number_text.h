// The one place where numbers become text and text becomes numbers.
//
// Every caption, file line and key value of the station passes through these rules, so that all
// steps of a grading agree on the same digits. "." is always the decimal point, whatever the
// locale. Single-precision values are written with 7 significant digits, double-precision values
// with 15, both rounded half away from zero on the value's exact decimal expansion.
#ifndef KRM_TEXT_NUMBER_TEXT_H_
#define KRM_TEXT_NUMBER_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krm::text {

// Shortest text of a single-precision value: 7 significant digits, trailing zeros and a trailing
// point dropped, exponent form ("1E-05", "1.234568E+07") below 1E-4 or from 1E+7 on. Negative
// zero gives "0". Infinities and NaN, which no grading value should ever hold, give "0".
std::string FromSingle(float value);

// As FromSingle, with 15 significant digits and exponent form from 1E+15 on.
std::string FromDouble(double value);

// The double nearest to the number that FromSingle and FromDouble write, without writing it: what
// ToNumber(FromSingle(value)) gives, for tools that hand the station's numbers on as numbers.
double SingleAsWritten(float value);
double DoubleAsWritten(double value);

// Fixed format with `decimals` places (1 to 4 are the formats "0.0" to "0.0000"; 0 gives a whole
// number without a point): the value's digits by the rules above, then rounded half away from
// zero at the wanted place. A negative value that rounds to zero keeps its sign ("-0.00").
std::string FixedSingle(float value, int decimals);
std::string FixedDouble(double value, int decimals);

// The leading decimal number of `text`: leading blanks skipped, optional sign, digits with at most
// one ".", an optional exponent (E or e, optional sign, digits). Gives 0 when there is none.
// Gives no value only when the number does not fit into a double (the original's overflow).
std::optional<double> ReadNumber(std::string_view text);

// ReadNumber for callers that cannot fail: an overflowing number reads as 0.
double ToNumber(std::string_view text);

// True when `text`, leading and trailing blanks removed, is a decimal number as a whole
// (optional sign, digits with at most one ".", at least one digit, optional exponent).
bool IsDecimalNumber(std::string_view text);

// The value of a text that is a number as a whole (IsDecimalNumber); no value for any other text,
// which is the original's type mismatch.
std::optional<double> ParseNumber(std::string_view text);

// The single nearest to `value`; no value when it lies beyond the single-precision range (the
// original's overflow) or is not finite.
std::optional<float> NarrowToSingle(double value);

namespace detail {
// A value's four-decimal text ("0.0000", by the digits of its type) as a whole number of 10^-4
// units, and whether the text carries a minus sign ("-0.0000" does); no value when the units would
// not fit into 18 digits. For the rounding routine, which decides on that text.
struct FourDecimals {
  bool negative_text = false;
  std::uint64_t units = 0;
};
std::optional<FourDecimals> FourDecimalUnits(double value, bool single);

// FromSingle and FromDouble always worked on the exact expansion, without their shortcut through
// the shortest text; for tests.
std::string FromSingleExact(float value);
std::string FromDoubleExact(double value);
}  // namespace detail

}  // namespace krm::text

#endif  // KRM_TEXT_NUMBER_TEXT_H_
