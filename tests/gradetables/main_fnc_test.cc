// MainFNC: band look-ups on a grade tables database, class names and grid snapping. The bands
// of the default database and girdle pairs found are checked by the whole-station cases, a grade
// tables database that cannot be read by the fault tests.
#include "gradetables/main_fnc.h"

#include <gtest/gtest.h>

#include "platform/recording_env.h"
#include "text/number_text.h"

namespace krm::gradetables {
namespace {

constexpr const char* kTables =
    "CREATE TABLE GirdleThickness (ID_, Min, Max, Description); INSERT INTO GirdleThickness VALUES"
    "  (3, 1.7, 2.3, 'Thin'), (4, 2.3, 3.45, 'Medium'), (5, 3.45, 4.6, 'Slightly Thick');"
    "CREATE TABLE Broken (ID_, Min, Max, Description); INSERT INTO Broken VALUES (1, NULL, 1, 'x');"
    "CREATE TABLE GIRDLE_DESC_CLASS (ThinID, ThikID, Grade);"
    "INSERT INTO GIRDLE_DESC_CLASS VALUES (3, 5, 1);";

TEST(MainFNC, BandsAreHalfOpenAndRoundedAndTheLastIDCarriesOver) {
  testing::TempStation station;
  std::unique_ptr<platform::Database> db;
  ASSERT_TRUE(platform::Database::Create(station.root() / "g.db", &db).ok());
  ASSERT_TRUE(db->ExecuteScript(kTables).ok());
  const std::string_view names[] = {"GirdleThickness", "Broken", "GIRDLE_DESC_CLASS"};
  const GradeTables tables = GradeTables::Read(*db, names);
  const GradeTables* con = &tables;
  MainFNC fnc;
  EXPECT_EQ(fnc.eDescription(2.3, "GirdleThickness", con), "Medium");
  EXPECT_EQ(fnc.LastDescriptionIDNumber(), 4.0);
  // A single value rounded to two decimals first; table names in any letter case.
  EXPECT_EQ(fnc.eDescription(static_cast<double>(3.45f), "girdlethickness", con), "Slightly Thick");
  EXPECT_EQ(fnc.eDescription(9.0, "GirdleThickness", con), "");
  Status failure;
  EXPECT_EQ(fnc.eDescription(1.0, "Broken", con, &failure), std::nullopt);  // an empty Min
  EXPECT_EQ(failure.code(), Status::Code::kCorrupt);
  EXPECT_EQ(fnc.eDescription(1.0, "CULET_DESCRIPTION", con, &failure), std::nullopt);  // not read
  EXPECT_EQ(failure.code(), Status::Code::kNotFound);
  EXPECT_EQ(fnc.LastDescriptionIDNumber(), 5.0);  // kept by look-ups that found no band
  EXPECT_EQ(fnc.eDescription_ID(5, 3, "GIRDLE_DESC_CLASS", con), std::nullopt);  // only 3, 5
}

TEST(MainFNC, ClassNamesOutsideOneToFiveAreEmpty) {
  EXPECT_EQ(MainFNC::eClassName(0), "");
  EXPECT_EQ(MainFNC::eClassName(1), "Excellent");
  EXPECT_EQ(MainFNC::eClassName(5), "Poor");
  EXPECT_EQ(MainFNC::eClassName(6), "");
}

TEST(MainFNC, GridSnapping) {
  // Angle text, then its crown and its pavilion grid point.
  const char* const cases[][3] = {
      {"34.25", "34.5", "34.2"}, {"34.7", "34.5", "34.8"},  {"34.75", "35", "34.8"},
      {"34.5", "34.5", "34.6"},  {"34.55", "34.5", "34.6"}, {"34.07", "34", "34"},
      {"40.79", "41", "40.8"},   {"40.95", "41", "41"},     {"abc", "0", "0"},
  };
  for (const auto& [in, crown, pavilion] : cases) {
    EXPECT_EQ(text::FromDouble(MainFNC::FormatCrown(in, kLabType)), crown) << in;
    EXPECT_EQ(text::FromDouble(MainFNC::FormatPavilion(in, kLabType)), pavilion) << in;
  }
}

}  // namespace
}  // namespace krm::gradetables
