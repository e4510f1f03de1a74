// Stone pages in a real browser: headless Chromium loads the pages of an Excellent, a Very Good
// (with its recut candidate), a Poor (out of range, not gradable) and a light stone, of the same
// stone with a deeper pavilion, and of a file that could not be graded. Each page must load without
// a message on the console (an SVG attribute the browser rejects, a blocked fetch), hold the
// drawings with coordinates that follow the measurements, show something on its screenshot and
// print on one sheet. Skipped, saying so, where Chromium is not installed (tools/install-deps
// installs it).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "platform/child_process.h"
#include "platform/recording_env.h"
#include "tools/stone_page.h"
#include "tools/stone_pages.h"

namespace krm::tools {
namespace {

namespace fs = std::filesystem;

// Chromium of the Debian package, or another found on PATH.
std::optional<fs::path> FindChromium() {
  std::vector<fs::path> candidates = {"/usr/bin/chromium", "/usr/bin/chromium-browser"};
  if (const char* path = std::getenv("PATH")) {
    std::istringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      candidates.push_back(fs::path(dir) / "chromium");
      candidates.push_back(fs::path(dir) / "chromium-browser");
    }
  }
  for (const fs::path& c : candidates) {
    if (::access(c.c_str(), X_OK) == 0) return c;
  }
  return std::nullopt;
}

struct Image {
  unsigned width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // three bytes a pixel
};

// Decodes an 8-bit RGB or RGBA PNG, as Chromium writes its screenshots; no value otherwise.
std::optional<Image> DecodePng(const std::string& png) {
  if (png.size() < 8 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return std::nullopt;
  const auto be32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 2])) << 8 |
           static_cast<std::uint8_t>(png[at + 3]);
  };
  Image image;
  int channels = 0;
  std::string data;
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const std::uint32_t length = be32(at);
    const std::string type = png.substr(at + 4, 4);
    if (at + 12 + length > png.size()) return std::nullopt;
    if (type == "IHDR") {
      image.width = be32(at + 8);
      image.height = be32(at + 12);
      const int depth = png[at + 16], colour = png[at + 17], interlace = png[at + 20];
      if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return std::nullopt;
      channels = colour == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      data.append(png, at + 8, length);
    }
    at += 12 + length;
  }
  if (channels == 0 || image.width == 0 || image.height == 0) return std::nullopt;
  const std::size_t stride = image.width * channels;
  std::vector<std::uint8_t> raw((stride + 1) * image.height);
  uLongf size = raw.size();
  if (::uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size()) !=
          Z_OK ||
      size != raw.size()) {
    return std::nullopt;
  }
  // Undo each row's filter.
  std::vector<std::uint8_t> pixels(stride * image.height);
  for (std::size_t y = 0; y < image.height; ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* out = &pixels[y * stride];
    const std::uint8_t* up = y ? &pixels[(y - 1) * stride] : nullptr;
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= static_cast<std::size_t>(channels) ? out[x - channels] : 0;
      const int b = up ? up[x] : 0;
      const int c = up && x >= static_cast<std::size_t>(channels) ? up[x - channels] : 0;
      int predicted = 0;
      switch (filter) {
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default:
          break;
      }
      out[x] = static_cast<std::uint8_t>(in[x] + predicted);
    }
  }
  for (std::size_t i = 0; i < pixels.size(); i += channels) {
    image.rgb.insert(image.rgb.end(), &pixels[i], &pixels[i] + 3);
  }
  return image;
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
  std::vector<std::string> argv = {"/usr/bin/timeout",
                                   "120",
                                   chromium.string(),
                                   "--headless",
                                   "--no-sandbox",  // the tests may run as root
                                   "--disable-gpu",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--disable-quic",
                                   "--user-data-dir=" + base + ".profile",
                                   "--enable-logging=stderr",
                                   "--v=0",
                                   "--hide-scrollbars",
                                   "--window-size=820,1180",
                                   "--screenshot=" + png,
                                   "--print-to-pdf=" + pdf,
                                   "--no-pdf-header-footer",
                                   "--dump-dom",
                                   "file://" + page.string()};
  const char* console_path = console.c_str();
  Rendered r;
  r.status = testing::RunChild(argv, dom, [console_path] {
               ::dup2(::open(console_path, O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
             }).status;
  r.dom = testing::ReadWhole(dom);
  r.png = testing::ReadWhole(png);
  r.pdf = testing::ReadWhole(pdf);
  std::istringstream lines(testing::ReadWhole(console));
  for (std::string line; std::getline(lines, line);) {
    if (line.find(":CONSOLE") != std::string::npos) r.console.push_back(line);
  }
  return r;
}

const char* const kPages[] = {"excellent", "very-good", "poor", "light", "deep", "failed"};
using Pages = std::map<std::string, Rendered>;

std::size_t Count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// The points of the polygon with `id` in the DOM.
std::vector<std::pair<double, double>> Points(const std::string& dom, const std::string& id) {
  std::smatch m;
  std::vector<std::pair<double, double>> points;
  if (!std::regex_search(dom, m,
                         std::regex("<polygon id=\"" + id + "\"[^>]*points=\"([^\"]*)\""))) {
    return points;
  }
  std::istringstream in(m[1].str());
  for (std::string pair; in >> pair;) {
    const std::size_t comma = pair.find(',');
    points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
  }
  return points;
}

std::string CutGrade(const std::string& dom) {
  std::smatch m;
  return std::regex_search(dom, m, std::regex("id=\"cut-grade\">([^<]*)<")) ? m[1].str() : "";
}

void LoadWithNothingOnTheConsole(const Pages& pages) {
  for (const char* name : kPages) {
    const Rendered& r = pages.at(name);
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_TRUE(r.console.empty()) << name << ": " << r.console.front();
    EXPECT_NE(r.dom.find("</html>"), std::string::npos) << name;
  }
}

void HoldTheDrawingsOfEveryStone(const Pages& pages) {
  const std::map<std::string, std::string> grades = {{"excellent", "Excellent"},
                                                     {"very-good", "Very Good"},
                                                     {"poor", "Poor"},
                                                     {"light", "Excellent [ Poor ]"}};
  for (const auto& [name, grade] : grades) {
    const std::string& dom = pages.at(name).dom;
    EXPECT_EQ(CutGrade(dom), grade) << name;
    EXPECT_EQ(Count(dom, "<svg id=\"profile\""), 1u) << name;
    EXPECT_EQ(Points(dom, "stone-outline").size(), 8u) << name;
    EXPECT_EQ(Count(dom, "<svg id=\"strip-"), 6u) << name;
    for (const gradetables::GridAxis& axis : gradetables::kGradeGrid) {
      std::string id(axis.name);
      std::replace(id.begin(), id.end(), ' ', '-');
      const std::size_t from = dom.find("<svg id=\"strip-" + id + "\"");
      ASSERT_NE(from, std::string::npos) << name << " " << id;
      const std::string strip = dom.substr(from, dom.find("</svg>", from) - from);
      EXPECT_EQ(Count(strip, "class=\"cell "), static_cast<std::size_t>(axis.points)) << id;
      EXPECT_EQ(Count(strip, "class=\"measured"), name == "poor" && id == "table" ? 1u : 2u) << id;
    }
    EXPECT_EQ(Count(dom, "<svg id=\"radial-(crown|pavilion)\""), 2u) << name;
    EXPECT_EQ(Count(dom, "<tr( class=\"worst\")?><td class=\"n\">"), 17u) << name;
  }
  // The Very Good stone: the nearest Excellent cell dashed over it, and its recut candidate.
  const std::string& vg = pages.at("very-good").dom;
  EXPECT_EQ(Points(vg, "better-outline").size(), 8u);
  EXPECT_NE(vg.find("id=\"recut-facets\""), std::string::npos);
  EXPECT_EQ(Count(vg, "<td class=\"chg\">41.650</td>"), 4u);
  // The Poor stone says why it cannot be graded; its table points off the grid.
  const std::string& poor = pages.at("poor").dom;
  EXPECT_NE(poor.find("Parameter Table = 73 is out of range"), std::string::npos);
  EXPECT_NE(poor.find("class=\"measured off\""), std::string::npos);
  // The file that could not be graded has a page saying so, and nothing of a stone.
  const std::string& failed = pages.at("failed").dom;
  EXPECT_NE(failed.find("This measurement file could not be graded"), std::string::npos);
  EXPECT_EQ(failed.find("<svg id=\"profile\""), std::string::npos);
}

void DrawADeeperPavilionDeeper(const Pages& pages) {
  const auto well = Points(pages.at("excellent").dom, "stone-outline");
  const auto deep = Points(pages.at("deep").dom, "stone-outline");
  ASSERT_EQ(well.size(), 8u);
  ASSERT_EQ(deep.size(), 8u);
  // Points: table left and right, girdle right top and bottom, culet right and left, girdle left
  // bottom and top. Same diameter and crown, so the same scale down to the girdle.
  for (int i : {0, 1, 2, 3, 6, 7}) EXPECT_EQ(well[i], deep[i]) << i;
  // Pavilion depth 2.795 mm against 2.89 mm: the culet lies lower by the difference to scale.
  const double scale = (well[2].first - well[7].first) / 6.5;
  EXPECT_NEAR(deep[4].second - well[4].second, (2.89 - 2.795) * scale, 0.1);
  // The Very Good stone's better cell is one pavilion step shallower: its dashed culet is higher.
  const auto stone = Points(pages.at("very-good").dom, "stone-outline");
  const auto better = Points(pages.at("very-good").dom, "better-outline");
  ASSERT_EQ(better.size(), 8u);
  EXPECT_LT(better[4].second, stone[4].second);
  EXPECT_EQ(better[2], stone[2]);
}

void ShowSomethingAndPrintOnOneSheet(const Pages& pages) {
  for (const char* name : kPages) {
    const Rendered& r = pages.at(name);
    const std::optional<Image> image = DecodePng(r.png);
    ASSERT_TRUE(image.has_value()) << name << ": no screenshot";
    std::set<std::uint32_t> colours;
    std::size_t inked = 0;  // pixels darker than the paper and the desk around it
    for (std::size_t i = 0; i < image->rgb.size(); i += 3) {
      const std::uint32_t c = image->rgb[i] << 16 | image->rgb[i + 1] << 8 | image->rgb[i + 2];
      colours.insert(c);
      if (image->rgb[i] + image->rgb[i + 1] + image->rgb[i + 2] < 3 * 160) ++inked;
    }
    const std::size_t pixels = image->rgb.size() / 3;
    // The desk around the sheet, as the page's style gives it: the rows decoded right.
    const std::size_t corner = 3 * (8 * image->width + 4);
    EXPECT_EQ(image->rgb[corner] << 16 | image->rgb[corner + 1] << 8 | image->rgb[corner + 2],
              0xe3e7ebu)
        << name;
    EXPECT_GT(colours.size(), std::string(name) == "failed" ? 20u : 200u) << name;
    EXPECT_GT(inked, pixels / (std::string(name) == "failed" ? 400 : 50)) << name;
    // One page: the PDF's page tree counts one.
    EXPECT_EQ(Count(r.pdf, "/Count 1\\b"), 1u) << name;
    EXPECT_EQ(Count(r.pdf, "/Type\\s*/Page\\b"), 1u) << name;
  }
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
  const std::map<std::string, StoneRecord> records = {
      {"excellent", testing::Graded(testing::ExcellentStone())},
      {"very-good", testing::Graded(testing::VeryGoodStone())},
      {"poor", testing::Graded(testing::OutOfRangeStone())},
      {"light", testing::Graded(testing::LightStone())},
      {"deep", testing::Graded(testing::DeepPavilionStone())},
      {"failed", FailedRecord("stones/gone.txt", "no such measurement file")},
  };
  // All at once: a browser's start is mostly waiting.
  std::vector<std::pair<std::string, std::future<Rendered>>> runs;
  for (const auto& [name, record] : records) {
    const fs::path page = dir.root() / (name + ".html");
    dir.Write(page.filename(), StonePage(record, context));
    runs.emplace_back(name, std::async(std::launch::async, Render, *chromium, page));
  }
  Pages pages;
  for (auto& [name, run] : runs) pages[name] = run.get();

  LoadWithNothingOnTheConsole(pages);
  HoldTheDrawingsOfEveryStone(pages);
  DrawADeeperPavilionDeeper(pages);
  ShowSomethingAndPrintOnOneSheet(pages);
}

}  // namespace
}  // namespace krm::tools
