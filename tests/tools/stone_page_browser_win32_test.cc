// The stone pages' browser test (stone_page_browser_posix_test.cc) starts headless Chromium, which
// does not run under Wine. The pages are the same bytes on both systems but for the file paths
// they name (stone_page_test.cc runs here too), so the Linux build's rendering stands for both;
// this says so in the Windows results.
#include <gtest/gtest.h>

namespace krm::tools {
namespace {

TEST(StonePagesInChromium, LoadDrawAndPrint) {
  GTEST_SKIP() << "headless Chromium does not run under Wine; the Linux build renders the pages, "
                  "which are the same bytes on both systems but for the paths they name";
}

}  // namespace
}  // namespace krm::tools
