// A station folder named outside ASCII (outside the ANSI code page on Windows), with blanks and
// brackets, laid out and graded by the real programs: the name must reach them whole through
// their command line, the follow-up must run there, and the tools must find the station by it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/child_process.h"
#include "platform/program_arguments.h"
#include "platform/recording_env.h"

namespace krm {
namespace {

namespace fs = std::filesystem;
const fs::path kBin = KRM_BINARY_DIR;
const fs::path kDemoStone = fs::path(KRM_SOURCE_DIR) / "data" / "demo" / "Test.txt";

TEST(StationFolder, NamedOutsideAsciiWithBlanksAndBrackets) {
  testing::TempStation tmp;
  const fs::path root = tmp.root() / platform::PathFromUtf8("Scanner (2) \xE7\xAB\x99 \xCE\xA9");
  const std::string at = platform::Utf8(root), out = (tmp.root() / "stdout.txt").string();
  // Starts the program of this build `name` with `args`; its exit status, with what it printed
  // on failure.
  const auto run = [&](const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), testing::ProgramFile(kBin, name).string());
    const int status = testing::RunChild(args, out, {}, {}, out + ".err").status;
    EXPECT_EQ(status, 0) << testing::ReadWhole(out) << testing::ReadWhole(out + ".err");
    return status;
  };
  ASSERT_EQ(run("krm-station", {"init", at}), 0);
  fs::copy_file(kDemoStone, root / "Test.txt");
  run("DOVEVOVIDIRO", {"--app-dir", at});
  EXPECT_TRUE(testing::ReadWhole(root / "data" / "out.txt").starts_with("DEMO-VG-0042,"));
  EXPECT_TRUE(testing::ReadWhole(root / "data" / "recut.txt").size() > 0);
  const fs::path ran = root / "data" / "krm5_ran.txt";
  for (int i = 0; i < 500 && !testing::ReadWhole(ran).ends_with('\n'); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(testing::ReadWhole(ran).starts_with("KRM_5.bat ran ")) << "KRM_5.bat did not run";

  run("krm-station", {"check", at});
  run("krm-station", {"grade", "--station", at, platform::Utf8(root / "Test.txt")});
  EXPECT_NE(testing::ReadWhole(out).find("\"stone_id\":\"DEMO-VG-0042\""), std::string::npos)
      << testing::ReadWhole(out);
  run("krm-station", {"report", "--station", at, "--out", platform::Utf8(root / "pages"),
                      platform::Utf8(root / "Test.txt")});
  EXPECT_TRUE(fs::exists(root / "pages" / "DEMO-VG-0042.html"));
}

}  // namespace
}  // namespace krm
