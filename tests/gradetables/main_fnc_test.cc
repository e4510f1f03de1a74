// MainFNC: band look-ups on a grade tables database, class names and grid snapping.
#include "gradetables/main_fnc.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/recording_env.h"
#include "text/number_text.h"

namespace krm::gradetables {
namespace {

class MainFNCTest : public ::testing::Test {
 protected:
  void SetUp() override {
    station_.Write("g.db", "");
    ASSERT_TRUE(platform::Database::Open(station_.root() / "g.db", &db_).ok());
    ASSERT_TRUE(db_->ExecuteScript(
                       "CREATE TABLE GirdleThickness (ID_ INTEGER, Min REAL, Max REAL, "
                       "Description TEXT);"
                       "INSERT INTO GirdleThickness VALUES (3, 1.7, 2.3, 'Thin'),"
                       "(4, 2.3, 3.45, 'Medium'), (5, 3.45, 4.6, 'Slightly Thick');"
                       "CREATE TABLE GIRDLE_DESC_CLASS (ThinID INTEGER, ThikID INTEGER, "
                       "Grade INTEGER);"
                       "INSERT INTO GIRDLE_DESC_CLASS VALUES (3, 5, 1), (2, 4, 2);"
                       "CREATE TABLE Broken (ID_ INTEGER, Min REAL, Max REAL, Description TEXT);"
                       "INSERT INTO Broken VALUES (1, NULL, 1, 'x');")
                    .ok());
  }
  testing::TempStation station_;
  std::unique_ptr<platform::Database> db_;
  MainFNC fnc_;
};

TEST_F(MainFNCTest, BandsAreHalfOpenAndRounded) {
  EXPECT_EQ(fnc_.LastDescriptionIDNumber(), 0.0);
  EXPECT_EQ(fnc_.eDescription(2.3, "GirdleThickness", db_.get()), "Medium");
  EXPECT_EQ(fnc_.LastDescriptionIDNumber(), 4.0);
  EXPECT_EQ(fnc_.eDescription(static_cast<double>(3.45f), "girdlethickness", db_.get()),
            "Slightly Thick");
  EXPECT_EQ(fnc_.eDescription(9.0, "GirdleThickness", db_.get()), "");
  EXPECT_EQ(fnc_.LastDescriptionIDNumber(), 5.0);  // kept
  EXPECT_EQ(fnc_.eDescription(1.0, "NoSuchTable", db_.get()), std::nullopt);
  EXPECT_EQ(fnc_.eDescription(1.0, "Broken", db_.get()), std::nullopt);
  EXPECT_EQ(fnc_.eDescription(1.0, "GirdleThickness", nullptr), std::nullopt);
  EXPECT_EQ(fnc_.LastDescriptionIDNumber(), 5.0);
}

TEST_F(MainFNCTest, GirdlePairClass) {
  EXPECT_EQ(fnc_.eDescription_ID(3, 5, "GIRDLE_DESC_CLASS", db_.get()), 1);
  EXPECT_EQ(fnc_.eDescription_ID(2, 4, "GIRDLE_DESC_CLASS", db_.get()), 2);
  EXPECT_EQ(fnc_.eDescription_ID(5, 3, "GIRDLE_DESC_CLASS", db_.get()), std::nullopt);
}

TEST(MainFNC, ClassNames) {
  EXPECT_EQ(MainFNC::eClassName(1), "Excellent");
  EXPECT_EQ(MainFNC::eClassName(5), "Poor");
  EXPECT_EQ(MainFNC::eClassName(0), "");
  EXPECT_EQ(MainFNC::eClassName(6), "");
}

TEST(MainFNC, GridSnapping) {
  struct Case {
    const char* in;
    const char* crown;
    const char* pavilion;
  };
  const Case cases[] = {
      {"34.2", "34", "34.2"},   {"34.25", "34.5", "34.2"}, {"34.7", "34.5", "34.8"},
      {"34.75", "35", "34.8"},  {"34.5", "34.5", "34.6"},  {"34.55", "34.5", "34.6"},
      {"34", "34", "34"},       {"34.53", "34.5", "34.6"}, {"34.07", "34", "34"},
      {"40.7", "40.5", "40.8"}, {"40.79", "41", "40.8"},   {"40.8", "41", "40.8"},
      {"40.9", "41", "41"},     {"41", "41", "41"},        {"40.95", "41", "41"},
      {"", "0", "0"},           {"abc", "0", "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::FromDouble(MainFNC::FormatCrown(c.in, kLabType)), c.crown) << c.in;
    EXPECT_EQ(text::FromDouble(MainFNC::FormatPavilion(c.in, kLabType)), c.pavilion) << c.in;
  }
}

}  // namespace
}  // namespace krm::gradetables
