#include "gradetables/main_fnc.h"

#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::gradetables {
namespace {

// The table a look-up scans; null when it could not be read (the failing query).
const GradeTables::Table* Select(std::string_view name, const GradeTables* con, Status* failure) {
  if (con == nullptr) {
    if (failure) *failure = Status::IoError("no grade tables database", "not connected");
    return nullptr;
  }
  return con->Find(name, failure);
}

// A look-up that failed on a row of a table that could be read: the database is damaged.
std::nullopt_t Fail(Status* failure, std::string_view table, std::string_view why) {
  if (failure) {
    *failure = Status::Corrupt(std::string(table) + ": " + std::string(why),
                               std::string(why) + " in " + std::string(table));
  }
  return std::nullopt;
}

// A value that a scan compares: no value for an empty field.
std::optional<double> Compared(const platform::Value& value) {
  if (!value || value->empty()) return std::nullopt;
  return text::ToNumber(*value);
}

}  // namespace

std::optional<std::string> MainFNC::eDescription(double eVal, std::string_view eTable,
                                                 const GradeTables* Con, Status* failure) {
  const GradeTables::Table* table = Select(eTable, Con, failure);
  if (!table) return std::nullopt;
  const auto min = table->Column("Min"), max = table->Column("Max");
  const auto description = table->Column("Description"), id = table->Column("ID_");
  if (!min || !max || !description || !id) return Fail(failure, eTable, "a column is missing");
  const double v = std::nearbyint(eVal * 100.0) / 100.0;  // halves to even
  for (const platform::Row& row : table->rows) {
    const auto lo = Compared(row[*min]);
    const auto hi = Compared(row[*max]);
    if (!lo || !hi) return Fail(failure, eTable, "a band has no Min or Max");
    if (*lo <= v && v < *hi) {
      const platform::Value& words = row[*description];
      if (!words) return Fail(failure, eTable, "a band has no Description");
      last_description_id_ = row[*id];
      return *words;
    }
  }
  return std::string();
}

std::optional<std::int16_t> MainFNC::eDescription_ID(double eVal1, double eVal2,
                                                     std::string_view eTable,
                                                     const GradeTables* Con, Status* failure) {
  const GradeTables::Table* table = Select(eTable, Con, failure);
  if (!table) return std::nullopt;
  const auto thin = table->Column("ThinID"), thick = table->Column("ThikID");
  const auto grade = table->Column("Grade");
  if (!thin || !thick || !grade) return Fail(failure, eTable, "a column is missing");
  for (const platform::Row& row : table->rows) {
    const auto a = Compared(row[*thin]);
    const auto b = Compared(row[*thick]);
    if (!a || !b) return Fail(failure, eTable, "a pair has no ThinID or ThikID");
    if (*a == eVal1 && *b == eVal2) {
      const std::optional<double> g = row[*grade] ? text::ParseNumber(*row[*grade]) : std::nullopt;
      const double whole = g ? std::nearbyint(*g) : 0;
      if (!g || !(whole >= -32768.0 && whole <= 32767.0)) {
        return Fail(failure, eTable, "a pair has no grade class");
      }
      return static_cast<std::int16_t>(whole);
    }
  }
  return std::nullopt;
}

std::string MainFNC::eClassName(std::int16_t eClass, const GradeTables* /*Con*/) {
  static constexpr std::array<std::string_view, 5> kNames = {"Excellent", "Very Good", "Good",
                                                             "Fair", "Poor"};
  if (eClass < 1 || eClass > 5) return std::string();
  return std::string(kNames[static_cast<std::size_t>(eClass - 1)]);
}

double MainFNC::FormatCrown(std::string_view eCrown, std::int16_t LabType) {
  double result = 0;
  if (LabType != kLabType) return result;
  const std::size_t point = eCrown.find('.');
  if (point == std::string_view::npos) {
    if (auto v = text::ParseNumber(eCrown)) result = *v;
    return result;
  }
  const std::optional<float> w = text::RoundDecimal(eCrown.substr(0, point + 1), 0);
  const std::string_view d1 = eCrown.substr(point + 1, 1);
  const double t = text::ToNumber(eCrown.substr(0, point + 2));
  const double f = text::ToNumber(eCrown.substr(point));
  if (d1 == "0" || d1 == "5") {
    result = t;
  } else if (!w) {
    // the whole part is no number: the step is skipped
  } else if (f > 0.5) {
    result = 2 * f >= 1.5 ? *w + 1.0 : *w + 0.5;
  } else {
    result = 4 * f >= 1 ? *w + 0.5 : static_cast<double>(*w);
  }
  return result;
}

double MainFNC::FormatPavilion(std::string_view ePavilion, std::int16_t LabType) {
  double result = 0;
  if (LabType != kLabType) return result;
  const std::size_t point = ePavilion.find('.');
  if (point == std::string_view::npos) {
    if (auto v = text::RoundDecimal(ePavilion, 1)) result = *v;
    return result;
  }
  const double t = text::ToNumber(ePavilion.substr(0, point + 2));
  const std::string_view d1 = ePavilion.substr(point + 1, 1);
  const bool odd =
      d1.size() == 1 && std::string_view("13579").find(d1[0]) != std::string_view::npos;
  result = odd ? t + 0.1 : t;
  return result;
}

std::optional<double> MainFNC::LastDescriptionIDNumber() const {
  if (!last_description_id_) return 0.0;
  if (!*last_description_id_) return std::nullopt;
  return text::ParseNumber(**last_description_id_);
}

}  // namespace krm::gradetables
