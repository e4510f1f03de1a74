// Grid search, snapping and the limiting rules of the grading.
#include "grading/grade_rules.h"

#include <array>
#include <cmath>
#include <vector>

#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::grading {

namespace {

// The grid points of every axis of the grade grid as their text forms read back; the same for every
// grading, so worked out once.
const std::array<std::vector<double>, gradetables::kAxes>& GridTexts() {
  static const auto texts = [] {
    std::array<std::vector<double>, gradetables::kAxes> t;
    for (int a = 0; a < gradetables::kAxes; ++a) {
      const GridAxis& axis = gradetables::kGradeGrid[a];
      for (int i = 0; i < axis.points; ++i) {
        t[a].push_back(text::ToNumber(text::FromDouble(axis.Point(i))));
      }
    }
    return t;
  }();
  return texts;
}

}  // namespace

std::optional<int> GridIndex(const GridAxis& axis, double value) {
  const std::vector<double>* points = nullptr;
  for (int a = 0; a < gradetables::kAxes; ++a) {
    if (&axis == &gradetables::kGradeGrid[a]) points = &GridTexts()[a];
  }
  for (int i = 0; i < axis.points; ++i) {
    const double point = points ? (*points)[i] : text::ToNumber(text::FromDouble(axis.Point(i)));
    if (point == value) return i;
  }
  return std::nullopt;
}

double SnapToFive(float& calc) {
  const float r = text::RoundDecimalInPlace(calc, 0);
  // The remainder is taken on whole numbers; beyond the 32-bit range it overflows and is skipped.
  long long m = 0;
  if (std::fabs(r) < 2147483647.0f) m = static_cast<long long>(std::nearbyint(r)) % 5;
  if (m > 2.5) return static_cast<double>(r) + (5 - m);
  return static_cast<double>(r) - m;
}

// The depth comparisons take the limits in single precision, as the depth itself is held.
std::optional<std::int16_t> ThinGirdleClass(float d) {
  std::optional<std::int16_t> x;
  if (d >= 56.0f && d <= 57.4f) x = 2;
  if (d >= 53.0f && d <= 55.9f) x = 3;
  if (d >= 51.0f && d <= 52.9f) x = 4;
  if (d <= 50.9f) x = 5;
  return x;
}

std::optional<std::int16_t> ThickGirdleClass(double g) {
  std::optional<std::int16_t> x;
  if (g == 7.5) x = 3;
  if (g >= 8 && g <= 10.5) x = 4;
  if (g >= 11) x = 5;
  return x;
}

std::optional<std::int16_t> DeepStoneClass(float d) {
  std::optional<std::int16_t> y;
  if (d >= 64.6f && d <= 66.5f) y = 3;
  if (d >= 66.6f && d <= 70.9f) y = 4;
  if (d >= 71.0f) y = 5;
  return y;
}

namespace {

std::string Joined(std::string_view head, std::string_view limit, std::string_view middle,
                   std::string_view table_name, std::string_view tail) {
  std::string s(head);
  s += limit;
  s += middle;
  s += table_name;
  s += tail;
  return s;
}

constexpr std::string_view kOrElse = " * or else the Grade would have been  * ";

}  // namespace

std::string ThinGirdleText(std::string_view limit, std::string_view table_name) {
  return Joined("Girdle Thickness less then 1.5 limits the cut grade to  * ", limit, kOrElse,
                table_name, " *");
}

std::string ThickGirdleText(std::string_view limit, std::string_view table_name) {
  return Joined("Girdle Thickness Greater then 7.0 limits the cut grade to  * ", limit, kOrElse,
                table_name, " *");
}

std::string DeepStoneText(std::string_view limit, std::string_view table_name) {
  return Joined(
      "Total height also quite large and Girdle Greater then 7.0 limits the cut grade to  * ",
      limit, kOrElse, table_name, " *");
}

std::string GirdleDescriptionText(std::string_view limit, std::string_view table_name) {
  return Joined("Girdle Description degrades the grade to  * ", limit, kOrElse, table_name, " *");
}

std::string CuletText(std::string_view limit, std::string_view table_name) {
  return Joined("Culet Size degrades the grade to   * ", limit,
                " * or else the Grade would have been   * ", table_name, " *");
}

std::string PaintingText(float app, float acp, float sum, std::string_view limit,
                         std::string_view table_name) {
  std::string head = "Digging / Painting- APP= " + text::FromSingle(app) +
                     ": ACP= " + text::FromSingle(acp) + ": SUM= " + text::FromSingle(sum) +
                     " reduces the grade to   * ";
  return Joined(head, limit, " *  or else the Grade would have been  * ", table_name, " *");
}

std::string SymmetryLimitText(std::string_view limit, std::string_view table_name) {
  return Joined("Symmetry reduces the grade to   * ", limit,
                " *  or else the Grade would have been  * ", table_name, " * ");
}

void LimitTexts::Add(std::string& target, std::string_view text) {
  ++count_;
  if (count_ > 1) target += " - AND -  ";
  target += text;
}

}  // namespace krm::grading
