// Number-to-text and text-to-number rules of the station.
#include "text/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

namespace krm::text {
namespace {

// A decimal number as sign, significant digits d0 d1 ... and the decimal exponent of d0, so that
// the value is d0.d1d2... x 10^exponent. Zero has the single digit "0". The digits are held in
// place: a stone's grading makes hundreds of number texts, and a string of more than fifteen
// digits would go to the heap.
struct Decimal {
  static constexpr int kCapacity = 24;  // the 17 digits of a double's shortest text, and spare

  bool negative = false;
  std::array<char, kCapacity> digit{};
  int size = 0;
  int exponent = 0;

  std::string_view digits() const { return {digit.data(), static_cast<std::size_t>(size)}; }
  void SetDigits(std::string_view d) {
    size = static_cast<int>(std::min<std::size_t>(d.size(), kCapacity));
    std::copy_n(d.data(), size, digit.data());
  }
  bool IsZero() const { return digits() == "0"; }
};

// Extra digits asked for beyond the wanted precision. When these are not of the form 5000... or
// 4999..., they decide the rounding exactly; otherwise the exact expansion is consulted.
constexpr int kGuardDigits = 20;
// Enough digits for the exact decimal expansion of any double.
constexpr int kExactDigits = 800;
// The powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Takes "d.ddddde+XX" (or "de+XX") apart where it lies: gives its digits, made one run by moving
// the first digit onto the point, and the exponent.
std::string_view SplitScientific(char* sci, std::size_t size, int* exponent) {
  const std::string_view text(sci, size);
  const std::size_t e = std::min(text.find('e'), size);
  std::string_view digits = text.substr(0, e);
  if (e > 1 && sci[1] == '.') {
    sci[1] = sci[0];
    digits = text.substr(1, e - 1);
  }
  int exp = 0;
  if (e < size) {
    std::string_view x = text.substr(e + 1);
    if (!x.empty() && x.front() == '+') x.remove_prefix(1);
    std::from_chars(x.data(), x.data() + x.size(), exp);
  }
  *exponent = exp;
  return digits;
}

// Rounds |value| to `significant` digits (at most Decimal::kCapacity), halves away from zero, on
// its exact expansion.
Decimal ExactRoundToSignificant(double value, int significant) {
  Decimal d;
  if (value == 0 || !std::isfinite(value)) {
    d.SetDigits("0");
    return d;
  }
  d.negative = value < 0;
  const double magnitude = std::fabs(value);

  char buf[kExactDigits + 32];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                           significant - 1 + kGuardDigits);
  std::string_view all = SplitScientific(buf, static_cast<std::size_t>(res.ptr - buf), &d.exponent);

  std::string_view tail = all.substr(significant);
  bool ambiguous = tail.find_first_not_of('0', 1) == std::string_view::npos && tail[0] == '5';
  ambiguous =
      ambiguous || (tail[0] == '4' && tail.find_first_not_of('9', 1) == std::string_view::npos);
  if (ambiguous) {
    // The correctly rounded guard digits sit on a half: look at the exact expansion.
    const int n = std::snprintf(buf, sizeof buf, "%.*e", kExactDigits, magnitude);
    all = SplitScientific(buf, static_cast<std::size_t>(n), &d.exponent);
    tail = all.substr(significant);
  }
  const bool round_up = tail[0] >= '5';
  d.SetDigits(all.substr(0, significant));
  if (round_up) {
    int i = significant - 1;
    while (i >= 0 && d.digit[i] == '9') d.digit[i--] = '0';
    if (i >= 0) {
      ++d.digit[i];
    } else {
      // 99...9 rounded up: 10...0, one decade higher.
      d.digit[0] = '1';
      ++d.exponent;
    }
  }
  const std::size_t last = d.digits().find_last_not_of('0');
  d.size = last == std::string_view::npos ? 1 : static_cast<int>(last) + 1;
  return d;
}

// The value's shortest text that reads back as the same value of its type (float or double),
// when it is also the value rounded to `significant` digits by any rule: it holds at most that many
// digits, and the value, which lies within half a unit in the last place of its type from it, lies
// closer to it than half a step of the last of those digits (a tenth of a step when the text is a
// power of ten, where the steps below it are ten times finer). No value otherwise; near the top of
// a decade a float's unit in the last place outgrows the step of its 7th digit.
// 10^e for the exponents of doubles, nearest double; 0 and infinity beyond.
double PowerOfTen(int e) {
  static const auto powers = [] {
    std::array<double, 700> p{};
    for (int i = 0; i < 700; ++i) p[i] = std::pow(10.0, i - 350);
    return p;
  }();
  if (e < -350) return 0;
  if (e >= 350) return std::numeric_limits<double>::infinity();
  return powers[e + 350];
}

template <typename T>
std::optional<Decimal> ShortestDecimal(T value, int significant) {
  Decimal d;
  if (value == 0 || !std::isfinite(value)) {
    d.SetDigits("0");
    return d;
  }
  d.negative = value < 0;
  const T magnitude = value < 0 ? -value : value;
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  d.SetDigits(SplitScientific(buf, static_cast<std::size_t>(res.ptr - buf), &d.exponent));
  if (d.size > significant) return std::nullopt;
  const double ulp = static_cast<double>(std::nextafter(magnitude, std::numeric_limits<T>::max())) -
                     static_cast<double>(magnitude);
  const int finest = d.exponent - significant + (d.digits() == "1" ? 0 : 1);
  if (!(ulp < PowerOfTen(finest))) return std::nullopt;
  return d;
}

// The seven significant digits of a single from 1e-4 up to 1e7, rounded half away from zero, by
// integer arithmetic: the single times 10^k (k from 0 to 10, which brings seven digits before the
// point) is exact in a double, as a single holds 24 significant bits and 10^k at most 24 more, so
// rounding that product to a whole number rounds the exact expansion. No value outside that range.
std::optional<Decimal> SevenDigits(float value) {
  const double magnitude = std::fabs(static_cast<double>(value));
  if (!(magnitude >= 1e-4 && magnitude < 1e7)) return std::nullopt;
  // The digits of the whole part of magnitude * 10^4 (exact), less one: the exponent plus four.
  const double scaled = magnitude * 1e4;
  int places = 0;
  while (scaled >= kExactPowers[places + 1]) ++places;
  const double product = magnitude * kExactPowers[10 - places];
  auto whole = static_cast<std::uint64_t>(std::floor(product + 0.5));
  Decimal d;
  d.negative = value < 0;
  d.exponent = places - 4;
  if (whole >= 10000000) {  // 9999999.5 and up: one digit more
    whole /= 10;
    ++d.exponent;
  }
  char digits[7];
  for (int i = 6; i >= 0; --i, whole /= 10) digits[i] = static_cast<char>('0' + whole % 10);
  int size = 7;
  while (size > 1 && digits[size - 1] == '0') --size;
  d.SetDigits(std::string_view(digits, static_cast<std::size_t>(size)));
  return d;
}

Decimal RoundSingle(float value) {
  if (auto d = SevenDigits(value)) return *d;
  if (auto d = ShortestDecimal(value, 7)) return *d;
  return ExactRoundToSignificant(value, 7);
}

Decimal RoundDouble(double value) {
  if (auto d = ShortestDecimal(value, 15)) return *d;
  return ExactRoundToSignificant(value, 15);
}

std::string LayOut(const Decimal& d, int significant) {
  if (d.IsZero()) return "0";
  std::string out;
  if (d.negative) out.push_back('-');
  const std::string_view digits = d.digits();
  const int n = d.size;
  if (d.exponent < -4 || d.exponent >= significant) {
    out.push_back(digits[0]);
    if (n > 1) {
      out.push_back('.');
      out.append(digits.substr(1));
    }
    out.push_back('E');
    out.push_back(d.exponent < 0 ? '-' : '+');
    int e = std::abs(d.exponent);
    if (e < 10) out.push_back('0');
    out += std::to_string(e);
  } else if (d.exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-d.exponent - 1), '0');
    out += digits;
  } else if (n <= d.exponent + 1) {
    out += digits;
    out.append(static_cast<size_t>(d.exponent + 1 - n), '0');
  } else {
    out.append(digits.substr(0, d.exponent + 1));
    out.push_back('.');
    out.append(digits.substr(d.exponent + 1));
  }
  return out;
}

std::string Fixed(const Decimal& d, int decimals) {
  // Digits at decimal places 10^e for e from `high` down to -decimals.
  const int high = std::max(d.exponent, 0);
  std::string kept;  // whole-number digits followed by `decimals` fraction digits
  for (int e = high; e >= -decimals; --e) {
    const int i = d.exponent - e;
    kept.push_back(i >= 0 && i < d.size ? d.digit[i] : '0');
  }
  const int next = d.exponent + decimals + 1;  // index of the first dropped digit
  if (next >= 0 && next < d.size && d.digit[next] >= '5') {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
    }
  }
  const size_t whole = kept.size() - decimals;
  std::string out;
  if (d.negative && !d.IsZero()) out.push_back('-');
  out.append(kept, 0, whole);
  if (decimals > 0) {
    out.push_back('.');
    out.append(kept, whole);
  }
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the decimal number at the start of `s` (no leading blanks), 0 when there is none.
size_t ScanNumber(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The value of digits with at most one "." and no exponent, when the digits make an integer below
// 2^53: that integer divided by the power of ten of the decimals is then the nearest double to the
// text, as a full conversion gives, since both operands are exact and a division rounds once.
std::optional<double> ShortDecimalValue(std::string_view digits) {
  std::uint64_t whole = 0;
  int significant = 0, decimals = 0;
  bool point = false;
  for (char c : digits) {
    if (c == '.') {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (whole != 0 || c != '0') ++significant;
    whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
    if (point) ++decimals;
    if (significant > 15 || decimals > 22) return std::nullopt;
  }
  return static_cast<double>(whole) / PowerOfTen(decimals);
}

// The number at the start of `s` (no leading blanks) in one pass, when it is what a measurement
// file holds: a sign, at most 15 significant digits with at most 22 after a point, and no
// exponent. The digits as an integer divided by the exact power of ten of the decimals is the
// nearest double to the text, as ShortDecimalValue gives. No value for anything else.
std::optional<double> QuickNumber(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // The digits as one whole number; it wraps around only for more than 19 significant digits,
  // which are refused below.
  std::uint64_t whole = 0;
  const size_t begin = i;
  for (; i < s.size() && IsDigit(s[i]); ++i) whole = whole * 10 + static_cast<unsigned>(s[i] - '0');
  const size_t before_point = i - begin;
  size_t decimals = 0;
  if (i < s.size() && s[i] == '.') {
    const size_t point = ++i;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
      whole = whole * 10 + static_cast<unsigned>(s[i] - '0');
    }
    decimals = i - point;
  }
  const size_t digits = before_point + decimals;
  if (digits == 0 || decimals > 22 || (i < s.size() && (s[i] == 'e' || s[i] == 'E'))) {
    return std::nullopt;
  }
  if (digits > 15) {
    // Leading zeros are no significant digits.
    size_t zeros = 0;
    for (size_t j = begin; j < i && (s[j] == '0' || s[j] == '.'); ++j) zeros += s[j] == '0';
    if (digits - zeros > 15) return std::nullopt;
  }
  const double value = static_cast<double>(whole) / kExactPowers[decimals];
  return negative ? -value : value;
}

std::optional<double> Convert(std::string_view number) {
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  if (auto quick = ShortDecimalValue(number)) return negative ? -*quick : *quick;
  double value = 0;
  auto res = std::from_chars(number.data(), number.data() + number.size(), value,
                             std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small reads as zero; too large is an overflow.
    std::string_view e = number.substr(number.find_first_of("eE") + 1);
    if (e.front() == '-') return negative ? -0.0 : 0.0;
    return std::nullopt;
  }
  if (res.ec != std::errc()) return 0.0;
  return negative ? -value : value;
}

}  // namespace

std::string FromSingle(float value) {
  return LayOut(RoundSingle(value), 7);
}

std::string FromDouble(double value) {
  return LayOut(RoundDouble(value), 15);
}

namespace {

// The nearest double to the decimal `d` (as LayOut writes it with `significant` digits), read
// back. Its digits as an integer are exact in a double, as is a power of ten up to 10^22, so one
// multiplication or division rounds once to the nearest, as reading the text does; other
// exponents read the text.
double AsWritten(const Decimal& d, int significant) {
  std::uint64_t whole = 0;
  for (char c : d.digits()) whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
  const int scale = d.exponent - (d.size - 1);
  if (d.size > 15 || scale < -22 || scale > 22) return ToNumber(LayOut(d, significant));
  const double magnitude = scale < 0 ? static_cast<double>(whole) / kExactPowers[-scale]
                                     : static_cast<double>(whole) * kExactPowers[scale];
  return d.negative && whole != 0 ? -magnitude : magnitude;
}

}  // namespace

double SingleAsWritten(float value) {
  return AsWritten(RoundSingle(value), 7);
}

double DoubleAsWritten(double value) {
  return AsWritten(RoundDouble(value), 15);
}

std::string FixedSingle(float value, int decimals) {
  return Fixed(RoundSingle(value), decimals);
}

std::string FixedDouble(double value, int decimals) {
  return Fixed(RoundDouble(value), decimals);
}

namespace detail {

std::optional<FourDecimals> FourDecimalUnits(double value, bool single) {
  // Most values are the nearest of their type to a number of four decimals at most (they were read
  // from such a text, or rounded): then their text is that number, which needs no rounding. A
  // double is the nearest to at most one number of 15 digits, a float to at most one of 6.
  const double magnitude = std::fabs(value);
  const double scaled = std::nearbyint(magnitude * 1e4);
  if (scaled < (single ? 1e6 : 1e15)) {
    const double nearest = scaled / 1e4;
    if (single ? static_cast<float>(nearest) == static_cast<float>(magnitude)
               : nearest == magnitude) {
      return FourDecimals{value < 0, static_cast<std::uint64_t>(scaled)};
    }
  }
  // Any other value below 10^6 (a double) or 100 (a single): its digits (15 or 7) lie within half a
  // unit of their last place of it, at most 5e-10 or 5e-6, and go beyond the fourth decimal.
  // Rounded at the fourth decimal they give the value's own rounding there, unless the value lies
  // that close to half a unit of 10^-4 (checked with a margin that also covers the product's
  // error).
  if (magnitude < (single ? 100.0 : 1e6)) {
    const double units = magnitude * 1e4;
    const double whole = std::floor(units);
    const double fraction = units - whole;
    if (std::fabs(fraction - 0.5) > (single ? 0.06 : 2e-5)) {
      return FourDecimals{value < 0, static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0)};
    }
  }
  const Decimal d = single ? RoundSingle(static_cast<float>(value)) : RoundDouble(value);
  FourDecimals four;
  four.negative_text = d.negative && !d.IsZero();
  // The digit of index i stands for 10^(exponent - i); the units keep the digits down to 10^-4
  // and the next one decides.
  const int last = d.exponent + 4;
  if (last > 17) return std::nullopt;
  std::uint64_t units = 0;
  for (int i = 0; i <= last; ++i) {
    const char digit = i < d.size ? d.digit[i] : '0';
    units = units * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  const int next = last + 1;
  if (next >= 0 && next < d.size && d.digit[next] >= '5') ++units;
  four.units = units;
  return four;
}

std::string FromSingleExact(float value) {
  return LayOut(ExactRoundToSignificant(value, 7), 7);
}
std::string FromDoubleExact(double value) {
  return LayOut(ExactRoundToSignificant(value, 15), 15);
}

}  // namespace detail

std::optional<double> ReadNumber(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  if (const std::optional<double> quick = QuickNumber(text)) return quick;
  const size_t n = ScanNumber(text);
  if (n == 0) return 0.0;
  return Convert(text.substr(0, n));
}

double ToNumber(std::string_view text) {
  return ReadNumber(text).value_or(0.0);
}

bool IsDecimalNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return !text.empty() && ScanNumber(text) == text.size();
}

std::optional<double> ParseNumber(std::string_view text) {
  if (!IsDecimalNumber(text)) return std::nullopt;
  return ReadNumber(text);
}

std::optional<float> NarrowToSingle(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
    // Values a hair above the largest single still round down to it.
    float f = static_cast<float>(value);
    if (std::isinf(f)) return std::nullopt;
    return f;
  }
  return static_cast<float>(value);
}

}  // namespace krm::text
