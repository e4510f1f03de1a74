// krm-station report run as a program: the pages and the index it writes, the paths it prints,
// the same bytes on a second run, and its exit status when a file cannot be graded, when the grade
// data or an output cannot be read or written, and on a usage error.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/child_process.h"
#include "platform/program_arguments.h"
#include "platform/recording_env.h"
#include "tools/stone_pages.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("stones/ex.txt", testing::ExcellentStone());
    dir.Write("stones/light/Test.txt", testing::LightStone());
    dir.Write("demo.txt", testing::VeryGoodStone());
  }

  // Runs krm-station report with `args`; its standard output lines in `printed`.
  int Report(std::vector<std::string> args) {
    args.insert(args.begin(), {(fs::path(KRM_BINARY_DIR) / "krm-station").string(), "report"});
    const fs::path out = dir.root() / "printed.txt";
    const int status = testing::RunChild(args, out.string()).status;
    printed = testing::Lines(testing::ReadWhole(out));
    for (std::string& line : printed) line = Normal(line);
    return status;
  }
  std::string Path(const fs::path& relative) const { return (dir.root() / relative).string(); }
  // A path as printed and as expected, with the separators of either system alike.
  static std::string Normal(const std::string& path) {
    return platform::PathFromUtf8(path).lexically_normal().generic_string();
  }

  testing::TempStation dir;
  std::vector<std::string> printed;
};

TEST_F(ReportCommand, WritesAPagePerFileAndAnIndex) {
  ASSERT_EQ(
      Report({"--out", Path("site/pages"), Path("demo.txt"), Path("stones"), Path("missing.txt")}),
      1);
  // In the order given, a folder's files in name order; the index last.
  const std::vector<std::string> pages = {"DEMO-VG-0042.html", "PAGE-EX.html", "PAGE-LIGHT.html",
                                          "missing.html", "index.html"};
  ASSERT_EQ(printed.size(), pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(printed[i], Normal(Path("site/pages/" + pages[i])));
    EXPECT_TRUE(dir.Exists("site/pages/" + pages[i])) << pages[i];
  }
  EXPECT_NE(dir.Read("site/pages/missing.html").find("could not be graded"), std::string::npos);
  const std::string index = dir.Read("site/pages/index.html");
  for (std::size_t i = 0; i + 1 < pages.size(); ++i) {
    EXPECT_NE(index.find("href=\"" + pages[i] + "\""), std::string::npos) << pages[i];
  }

  // The same input and grade data give the same bytes.
  std::vector<std::string> first;
  for (const std::string& page : pages) first.push_back(dir.Read("site/pages/" + page));
  ASSERT_EQ(
      Report({"--out", Path("site/pages"), Path("demo.txt"), Path("stones"), Path("missing.txt")}),
      1);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(dir.Read("site/pages/" + pages[i]), first[i]) << pages[i];
  }
}

TEST_F(ReportCommand, OneFileGetsOnePageAndNoIndex) {
  ASSERT_EQ(Report({"--out", Path("one"), Path("demo.txt")}), 0);
  EXPECT_EQ(printed, std::vector<std::string>{Normal(Path("one/DEMO-VG-0042.html"))});
  EXPECT_FALSE(dir.Exists("one/index.html"));
}

TEST_F(ReportCommand, ExitStatusSaysWhatWentWrong) {
  EXPECT_EQ(Report({}), 64);
  EXPECT_EQ(Report({"--out"}), 64);
  EXPECT_EQ(Report({"--colour", Path("demo.txt")}), 64);
  // Grade data that cannot be read: nothing is written.
  EXPECT_EQ(Report({"--station", Path("no-station"), "--out", Path("x"), Path("demo.txt")}), 2);
  EXPECT_FALSE(dir.Exists("x"));
  // An output folder that cannot be made.
  dir.Write("file", "");
  EXPECT_EQ(Report({"--out", Path("file/pages"), Path("demo.txt")}), 2);
  // A page that cannot be written: the others still are, and are printed.
  fs::create_directories(dir.root() / "blocked" / "PAGE-EX.html");
  EXPECT_EQ(Report({"--out", Path("blocked"), Path("demo.txt"), Path("stones/ex.txt")}), 2);
  EXPECT_EQ(printed, (std::vector<std::string>{Normal(Path("blocked/DEMO-VG-0042.html")),
                                               Normal(Path("blocked/index.html"))}));
}

}  // namespace
}  // namespace krm::tools
