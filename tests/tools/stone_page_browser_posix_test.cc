// Stone pages in a real browser: headless Chromium loads the pages of an Excellent, a Very Good
// (with its recut candidate), a Poor (out of range, not gradable) and a light stone, and of a file
// that could not be graded. Each page must load without a message on the console (an SVG attribute
// the browser rejects, a blocked fetch), hold its drawings once the browser has parsed it, show
// something on its screenshot and print on one sheet. The pages' text and geometry are
// stone_page_test.cc. Skipped, saying so, where Chromium is not installed (tools/install-deps
// installs it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <regex>

#include "platform/child_process.h"
#include "platform/recording_env.h"
#include "tools/stone_page.h"
#include "tools/stone_pages.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

// Chromium on PATH (the Debian package's is /usr/bin/chromium).
std::optional<fs::path> FindChromium() {
  const char* path = std::getenv("PATH");
  for (const std::string& dir : testing::Split(path ? path : "/usr/bin", ":")) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      if (::access((fs::path(dir) / name).c_str(), X_OK) == 0) return fs::path(dir) / name;
    }
  }
  return std::nullopt;
}

struct Rendered {
  int status = -1;
  std::string dom;
  std::vector<std::string> console;  // lines the page wrote to the browser's console
  std::string png;
  std::string pdf;
};

// Loads the page once in Chromium: its DOM after loading, its console, a screenshot and a print
// to PDF.
Rendered Render(const fs::path& chromium, const fs::path& page) {
  const std::string base = (page.parent_path() / page.stem()).string();
  const std::string console = base + ".console", png = base + ".png", pdf = base + ".pdf";
  const std::string dom = base + ".dom";
  std::vector<std::string> argv = {"/usr/bin/timeout", "120", chromium.string()};
  // No sandbox: the tests may run as root.
  for (const char* flag :
       {"headless", "no-sandbox", "disable-gpu", "no-first-run", "disable-background-networking",
        "disable-component-update", "disable-sync", "disable-quic", "enable-logging=stderr", "v=0",
        "hide-scrollbars", "window-size=820,1180", "no-pdf-header-footer", "dump-dom"}) {
    argv.push_back(std::string("--") + flag);
  }
  argv.insert(argv.end(), {"--user-data-dir=" + base + ".profile", "--screenshot=" + png,
                           "--print-to-pdf=" + pdf, "file://" + page.string()});
  const char* console_path = console.c_str();
  Rendered r;
  r.status = testing::RunChild(argv, dom, [console_path] {
               ::dup2(::open(console_path, O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
             }).status;
  r.dom = testing::ReadWhole(dom);
  r.png = testing::ReadWhole(png);
  r.pdf = testing::ReadWhole(pdf);
  for (const std::string& line : testing::Lines(testing::ReadWhole(console))) {
    if (line.find(":CONSOLE") != std::string::npos) r.console.push_back(line);
  }
  return r;
}

using testing::CountMatches;

struct PageCase {
  const char* name;
  StoneRecord record;
  std::string grade;  // "none" on the page of a file that was not graded, without drawings
  const char* also;   // a further element of this page
};

// The page after the browser parsed it: the grade, the profile with its outline, a strip for every
// grid axis, the two radial charts and the seventeen symmetry rows. What each drawing holds is
// stone_page_test.cc.
void ExpectDrawings(const PageCase& c, const std::string& dom) {
  std::smatch m;
  const bool graded = std::regex_search(dom, m, std::regex("id=\"cut-grade\">([^<]*)<"));
  EXPECT_EQ(graded ? m[1].str() : "", c.grade);
  const std::size_t drawn = c.grade == "none" ? 0 : 1;
  EXPECT_EQ(CountMatches(dom, "<svg id=\"profile\""), drawn);
  EXPECT_EQ(CountMatches(dom, "<polygon id=\"stone-outline\"[^>]*points=\"([0-9.-]+,[0-9.-]+ ){7}"),
            drawn);
  EXPECT_EQ(CountMatches(dom, "<svg id=\"radial-(crown|pavilion)\""), 2 * drawn);
  EXPECT_EQ(CountMatches(dom, "<tr( class=\"worst\")?><td class=\"n\">"), 17 * drawn);
  EXPECT_EQ(CountMatches(dom, "<svg id=\"strip-"), 6 * drawn);
  EXPECT_NE(dom.find(c.also), std::string::npos) << c.also;
}

// One test, so that the pages are rendered once: ctest runs each test in a process of its own.
TEST(StonePagesInChromium, LoadDrawAndPrint) {
  const std::optional<fs::path> chromium = FindChromium();
  if (!chromium) {
    GTEST_SKIP() << "Chromium is not installed, so the pages were not rendered in a browser "
                    "(tools/install-deps installs the package chromium)";
  }
  testing::TempStation dir;
  const PageContext context{"the default grade model"};
  const PageCase cases[] = {
      {"excellent", testing::Graded(testing::ExcellentStone()), "Excellent", "<svg id=\"strip-"},
      {"very-good", testing::Graded(testing::VeryGoodStone()), "Very Good",
       "<polygon id=\"better-outline\""},
      {"poor", testing::Graded(testing::OutOfRangeStone()), "Poor", "class=\"measured off\""},
      {"light", testing::Graded(testing::LightStone()), "Excellent [ Poor ]", "id=\"profile\""},
      {"failed", FailedRecord("stones/gone.txt", "no such measurement file"), "none",
       "id=\"failed\""},
  };
  // All at once: a browser's start is mostly waiting.
  std::vector<std::future<Rendered>> runs;
  for (const PageCase& c : cases) {
    const fs::path page = dir.root() / (std::string(c.name) + ".html");
    dir.Write(page.filename(), StonePage(c.record, context));
    runs.push_back(std::async(std::launch::async, Render, *chromium, page));
  }
  // The screenshot of a blank page, which compresses to very little.
  dir.Write("blank.html", "<!DOCTYPE html><html><body></body></html>\n");
  const std::size_t blank = Render(*chromium, dir.root() / "blank.html").png.size();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const Rendered r = runs[i].get();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.console.empty()) << r.console.front();
    EXPECT_NE(r.dom.find("</html>"), std::string::npos);
    ExpectDrawings(cases[i], r.dom);
    EXPECT_GT(r.png.size(), 4 * blank) << "blank screenshot";
    // One page: the PDF's page tree counts one.
    EXPECT_EQ(CountMatches(r.pdf, "/Count 1\\b"), 1u);
    EXPECT_EQ(CountMatches(r.pdf, "/Type\\s*/Page\\b"), 1u);
  }
}

}  // namespace
}  // namespace krm::tools
