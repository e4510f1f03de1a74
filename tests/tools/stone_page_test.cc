// The stone page as text: station text escaped, the station's own texts shown as they are, no
// clock on it, a page for a file that was not graded, the profile's geometry and the page names
// of a batch. That the page renders in a browser is
// stone_page_browser_posix_test.cc.
#include "tools/stone_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <numbers>
#include <regex>
#include <sstream>

#include "tools/html.h"
#include "tools/report_command.h"
#include "tools/stone_drawings.h"
#include "tools/stone_pages.h"

namespace krm::tools {
namespace {

using testing::Graded;
using testing::MeasurementFile;
using testing::operator+;

const PageContext kContext{"the default grade model"};

bool Has(const std::string& page, const std::string& part) {
  return page.find(part) != std::string::npos;
}

TEST(Html, EscapesMarkupAndReplacesWhatIsNoText) {
  const std::pair<std::string, std::string> cases[] = {
      {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&#39;"},
      {"41.8\xC2\xB0 \xE2\x86\x92 ok", "41.8\xC2\xB0 \xE2\x86\x92 ok"},  // valid UTF-8 kept
      {std::string("nul\0bell\x07", 9),
       "nul\xEF\xBF\xBD"
       "bell\xEF\xBF\xBD"},
      {"tab\tand\nline", "tab\tand\nline"},
      {"\xB0 lone", "\xEF\xBF\xBD lone"},  // a code page byte is no UTF-8
      {"\xC0\xAF overlong", "\xEF\xBF\xBD\xEF\xBF\xBD overlong"},
      {"\xED\xA0\x80 surrogate", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD surrogate"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},  // sequence cut short
      {"\xC2\x85 C1 control", "\xEF\xBF\xBD C1 control"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(html::Escape(in), out) << in;
  // Station text is code page 1252 first.
  EXPECT_EQ(html::Station("42.0\xB0 & <"), "42.0\xC2\xB0 &amp; &lt;");
}

TEST(Html, NumbersAreShortAndTheSameInAnyLocale) {
  const char* const old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  // A locale with a decimal comma, where one is installed.
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const std::pair<double, std::string> cases[] = {
      {12.5, "12.5"},       {3, "3"},         {-0.001, "0"},
      {-0.004999, "0"},     {0.125, "0.13"},  {-12.345, "-12.35"},
      {1e300 * 1e300, "0"}, {199.999, "200"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(html::Num(in), out) << in;
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StonePage, EscapesTheStationTextOfTheMeasurementFile) {
  const StoneRecord record = Graded(
      MeasurementFile({{"STONE_ID", "<b>A&B \"1\" 'x' \xB0</b>"}, {"CUTTING_TYPE", "<i>Oval"}}),
      "lab/<odd> & \"name\".txt");
  const std::string page = StonePage(record, kContext);
  EXPECT_TRUE(Has(page, "&lt;b&gt;A&amp;B &quot;1&quot; &#39;x&#39; \xC2\xB0&lt;/b&gt;"));
  EXPECT_TRUE(Has(page, "lab/&lt;odd&gt; &amp; &quot;name&quot;.txt"));
  // The shape message of the report, converted and escaped.
  EXPECT_TRUE(Has(page, "Shape - &lt;i&gt;Oval - is currently not graded by KRM!"));
  EXPECT_FALSE(Has(page, "<b>A"));
  EXPECT_FALSE(Has(page, "<i>"));
  EXPECT_FALSE(Has(page, "\"name\".txt"));
  // Nothing that a browser would fetch or run.
  EXPECT_FALSE(Has(page, "<script"));
  EXPECT_FALSE(Has(page, "http:"));
  EXPECT_FALSE(Has(page, "https:"));
  EXPECT_FALSE(Has(page, "src="));
}

TEST(StonePage, ShowsTheStationsOwnTexts) {
  const StoneRecord record = Graded(testing::VeryGoodStone(), "Test.txt");
  const std::string page = StonePage(record, kContext);
  EXPECT_TRUE(Has(page, ">Very Good</div>"));  // the cut caption of the header
  EXPECT_TRUE(Has(page, html::Station(record.explanation.verdict.substr(1))));
  EXPECT_TRUE(Has(page, "Recut = 1"));
  EXPECT_TRUE(Has(page, "MSG =  Successful"));  // two blanks, as recut.txt writes it
  // The candidate's pavilion angles next to the measured ones.
  for (const recut::FacetEntry& e : record.recut.candidate->pavilion) {
    EXPECT_TRUE(Has(page, ">" + e.Text() + "</td>")) << e.Text();
  }
  EXPECT_TRUE(Has(page, "41.650"));

  // The report's message lines, word for word.
  const StoneRecord poor = Graded(testing::OutOfRangeStone());
  const std::string poor_page = StonePage(poor, kContext);
  EXPECT_TRUE(Has(poor_page, "Parameter Table = 73 is out of range"));
  EXPECT_TRUE(Has(poor_page, "MSG = Cut is Not VG - Use Vestra-Recut or Lapidora Virtual Recut"));
  const StoneRecord light = Graded(testing::LightStone());
  const std::string light_page = StonePage(light, kContext);
  EXPECT_TRUE(Has(light_page, ">Excellent [ Poor ]</div>"));
  EXPECT_TRUE(
      Has(light_page,
          "Estimated KRM Cut Grade is not vailid for Round Brilliants smaller then 0.150 Ct"));
}

TEST(StonePage, MarksTheLimitingProportionAndTheWorstSymmetry) {
  const std::string page = StonePage(Graded(testing::VeryGoodStone()), kContext);
  // The pavilion angle (axis 2) limits the demo stone; no other proportion does.
  EXPECT_TRUE(Has(page, "<div class=\"srow limits\" id=\"row-2\">"));
  EXPECT_EQ(std::regex_search(page, std::regex("srow limits\" id=\"row-[013-5]\"")), false);
  // Its worst symmetry class is Very Good, from the out-of-round parameter only.
  EXPECT_EQ(testing::CountMatches(page, "<tr class=\"worst\">"), 1u);
  EXPECT_TRUE(Has(page, "<tr class=\"worst\"><td class=\"n\">1</td><td>out of round</td>"));
}

// The grade data is named, no clock is: the same stone gives the same bytes in another run
// (report_command_test.cc).
TEST(StonePage, NamesTheGradeDataAndNoClock) {
  const std::string first = StonePage(Graded(testing::VeryGoodStone()), kContext);
  EXPECT_TRUE(Has(first, "the default grade model"));
  EXPECT_FALSE(
      std::regex_search(first, std::regex("20[0-9][0-9]-[01][0-9]-|[0-2][0-9]:[0-5][0-9]:")));
}

TEST(StonePage, SaysWhenAFileWasNotGraded) {
  const std::string page =
      StonePage(FailedRecord("stones/<gone>.txt", "no such measurement file"), kContext);
  EXPECT_TRUE(Has(page, "This measurement file could not be graded:</b> no such measurement file"));
  EXPECT_TRUE(Has(page, "stones/&lt;gone&gt;.txt"));
  EXPECT_TRUE(Has(page, "id=\"failed\""));
  EXPECT_FALSE(Has(page, "id=\"profile\""));
  EXPECT_FALSE(Has(page, "Excellent"));
  EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST(StonePage, LeavesOutTheProfileOfAStoneWithoutDiameter) {
  const StoneRecord record =
      Graded(MeasurementFile({{"DIAMETER_MM_MIN", "0"}, {"DIAMETER_MM_MAX", "0"}}));
  EXPECT_FALSE(MeasuredProfile(record.stone.polish).has_value());
  const std::string page = StonePage(record, kContext);
  EXPECT_TRUE(Has(page, "No profile: the measurement file gives no diameter."));
  EXPECT_FALSE(Has(page, "id=\"profile\""));
  EXPECT_FALSE(Has(page, "nan"));
  EXPECT_FALSE(Has(page, "inf"));
}

// The outline's points as drawn: x, y pairs of the polygon with the id.
std::vector<std::pair<double, double>> OutlineOf(const std::string& svg, const std::string& id) {
  std::smatch m;
  std::vector<std::pair<double, double>> points;
  if (!std::regex_search(svg, m, std::regex("id=\"" + id + "\"[^>]* points=\"([^\"]*)\""))) {
    return points;
  }
  std::istringstream in(m[1].str());
  std::string pair;
  while (in >> pair) {
    const std::size_t comma = pair.find(',');
    points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
  }
  return points;
}

TEST(StoneProfile, FollowsTheMeasurements) {
  const StoneRecord well = Graded(testing::ExcellentStone());
  const StoneRecord deep = Graded(testing::DeepPavilionStone());
  const ProfileShape a = *MeasuredProfile(well.stone.polish);
  const ProfileShape b = *MeasuredProfile(deep.stone.polish);
  EXPECT_DOUBLE_EQ(a.diameter, 6.5);
  EXPECT_NEAR(a.table, 6.5 * 0.57, 1e-4);
  EXPECT_NEAR(a.crown_height, 0.975, 2e-4);
  EXPECT_NEAR(a.pavilion_depth, 2.795, 2e-4);
  EXPECT_NEAR(b.pavilion_depth, 2.89, 2e-4);
  EXPECT_EQ(a.crown_height, b.crown_height);

  // Drawn: the same diameter at the same scale, the deeper pavilion lower down.
  const auto pa = OutlineOf(ProfileSvg(well), "stone-outline");
  const auto pb = OutlineOf(ProfileSvg(deep), "stone-outline");
  ASSERT_EQ(pa.size(), 8u);
  ASSERT_EQ(pb.size(), 8u);
  EXPECT_EQ(pa[2], pb[2]);                    // right girdle corner
  EXPECT_GT(pb[4].second, pa[4].second + 3);  // culet
  // To scale: width over height as measured.
  const double width = pa[2].first - pa[7].first, depth = pa[4].second - pa[0].second;
  EXPECT_NEAR(width / depth, a.diameter / a.Depth(), 0.01);
}

TEST(StoneProfile, MissingHeightsComeFromTheAngles) {
  const StoneRecord record =
      Graded(MeasurementFile(testing::EightFacets("CROWN_HEIGHT_MM_", "0") +
                             testing::EightFacets("PAVILION_DEPTH_MM_", "0")));
  const ProfileShape s = *MeasuredProfile(record.stone.polish);
  EXPECT_TRUE(s.crown_from_angle);
  EXPECT_TRUE(s.pavilion_from_angle);
  EXPECT_NEAR(s.crown_height, (6.5 - 6.5 * 0.57) / 2 * std::tan(34.5 * std::numbers::pi / 180),
              1e-3);
  EXPECT_NEAR(s.pavilion_depth, 6.5 / 2 * std::tan(40.8 * std::numbers::pi / 180), 1e-3);
}

TEST(StoneProfile, TheNearestBetterCellMovesOnlyItsProportions) {
  const StoneRecord record = Graded(testing::VeryGoodStone());
  const grading::Explanation& e = record.explanation;
  ASSERT_TRUE(e.nearest_better.has_value());
  const ProfileShape stone = *MeasuredProfile(record.stone.polish);
  // The demo stone's better cell is one pavilion step shallower: 41.8 degrees.
  const ProfileShape better =
      ReshapedProfile(stone, record.stone.polish, e, e.nearest_better->index);
  EXPECT_EQ(better.table, stone.table);
  EXPECT_EQ(better.crown_height, stone.crown_height);
  EXPECT_EQ(better.girdle, stone.girdle);
  EXPECT_NEAR(better.pavilion_depth / stone.pavilion_depth,
              std::tan(41.8 * std::numbers::pi / 180) / std::tan(41.93f * std::numbers::pi / 180),
              1e-6);
  EXPECT_LT(better.pavilion_depth, stone.pavilion_depth);

  // Cells along the other axes: the table narrows the crown at its slope, the girdle thickens.
  gradetables::GridIndexes cell = record.stone.details.index;
  cell[gradetables::AxisIndex(gradetables::Axis::kTable)] += 2;   // 59 %
  cell[gradetables::AxisIndex(gradetables::Axis::kGirdle)] += 1;  // 3.5 %
  const ProfileShape moved = ReshapedProfile(stone, record.stone.polish, e, cell);
  EXPECT_NEAR(moved.table, 6.5 * 0.59, 1e-9);
  EXPECT_NEAR(moved.crown_height, stone.crown_height * (6.5 - moved.table) / (6.5 - stone.table),
              1e-9);
  EXPECT_NEAR(moved.girdle, 6.5 * 0.035, 1e-9);
  EXPECT_EQ(moved.pavilion_depth, stone.pavilion_depth);
}

TEST(Strip, MarksTheMeasuredValueInsideTheStonesCell) {
  const StoneRecord record = Graded(testing::VeryGoodStone());
  for (gradetables::Axis axis : gradetables::kAllAxes) {
    const std::string svg = StripSvg(record, axis);
    std::smatch here, measured;
    ASSERT_TRUE(std::regex_search(
        svg, here,
        std::regex("<rect x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"[^>]*class=\"here\"")));
    ASSERT_TRUE(std::regex_search(svg, measured,
                                  std::regex("<line x1=\"([0-9.]+)\"[^>]*class=\"measured\"")));
    const double x = std::stod(measured[1]), left = std::stod(here[1]);
    EXPECT_GE(x, left - 0.01) << gradetables::GridOf(axis).name;
    EXPECT_LE(x, left + std::stod(here[2]) + 0.01) << gradetables::GridOf(axis).name;
    // One cell per grid point.
    EXPECT_EQ(testing::CountMatches(svg, "class=\"cell "),
              static_cast<std::size_t>(gradetables::GridOf(axis).points));
  }
  // A value beyond the grid points off the strip's end, and no cell is the stone's.
  const std::string out = StripSvg(Graded(testing::OutOfRangeStone()), gradetables::Axis::kTable);
  EXPECT_TRUE(Has(out, "class=\"measured off\""));
  EXPECT_FALSE(Has(out, "class=\"here\""));
}

TEST(IndexPage, ListsEveryPageWithItsGrade) {
  std::vector<IndexEntry> entries = {
      IndexEntryOf(Graded(testing::VeryGoodStone()), "DEMO-VG-0042.html"),
      IndexEntryOf(FailedRecord("gone.txt", "no such measurement file"), "gone.html"),
      IndexEntryOf(Graded(testing::LightStone()), "PAGE-LIGHT.html"),
  };
  const std::string page = IndexPage(entries, kContext);
  EXPECT_TRUE(Has(page, "<a href=\"DEMO-VG-0042.html\">DEMO-VG-0042</a>"));
  EXPECT_TRUE(Has(page, "<a href=\"gone.html\">not graded</a>"));
  EXPECT_TRUE(Has(page, "no such measurement file"));
  EXPECT_TRUE(Has(page, "Excellent [ Poor ]"));
  EXPECT_TRUE(Has(page, "Recut = 1"));
  EXPECT_TRUE(Has(page, "not graded: 1"));
  EXPECT_LT(page.find("DEMO-VG-0042.html"), page.find("gone.html"));
  EXPECT_LT(page.find("gone.html"), page.find("PAGE-LIGHT.html"));
}

TEST(PageNames, NameAPageAfterItsStoneOnceOnAStick) {
  PageNames names;
  const auto with_id = [](const std::string& id, const std::string& file = "x/Test.txt") {
    StoneRecord r;
    r.file = file;
    r.stone_id = id;
    return r;
  };
  EXPECT_EQ(names.Take(with_id("DEMO-VG-0042")), "DEMO-VG-0042.html");
  EXPECT_EQ(names.Take(with_id("demo-vg-0042")), "demo-vg-0042-2.html");  // case does not count
  EXPECT_EQ(names.Take(with_id("DEMO-VG-0042")), "DEMO-VG-0042-3.html");
  EXPECT_EQ(names.Take(with_id("a/b \\c:\xB0*?")), "a_b__c____.html");
  EXPECT_EQ(names.Take(with_id("", "lab/stone 7.txt")), "stone_7.html");
  EXPECT_EQ(names.Take(with_id("INDEX")), "INDEX-2.html");  // the index keeps its name
  EXPECT_EQ(names.Take(with_id("..")), "stone...html");
  EXPECT_EQ(names.Take(with_id(std::string(254, 'x'))), std::string(120, 'x') + ".html");
  EXPECT_EQ(names.Take(FailedRecord("lab/Test.txt", "unreadable")), "Test.html");
  EXPECT_EQ(names.Take(FailedRecord("other/TEST.txt", "unreadable")), "TEST-2.html");
}

}  // namespace
}  // namespace krm::tools
