// Files of the POSIX platform that Windows does not have: a FIFO or a device under a station
// file's name is never read, waited on or found. (env_test.cc: what both systems share.)
#include "platform/env_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/recording_env.h"

namespace krm::platform {
namespace {

// Something other than a regular file under a station file's name.
struct NotAFile {
  const char* name;
  void (*make)(const fs::path& at);
};

class NotAFileTest : public ::testing::TestWithParam<NotAFile> {};

TEST_P(NotAFileTest, IsNeitherFoundNorReadNorWaitedOn) {
  testing::TempStation station;
  PosixEnv env;
  const fs::path at = station.root() / "Test.txt";
  GetParam().make(at);
  EXPECT_FALSE(env.FindFile(at));
  EXPECT_FALSE(env.FindFile(station.root() / "TEST.TXT"));
  EXPECT_FALSE(env.IsRegularFile(at));
  std::string contents = "old";
  EXPECT_FALSE(env.ReadFile(at, &contents).ok());
  EXPECT_EQ(contents, "");
  std::unique_ptr<BinaryFile> binary;
  EXPECT_FALSE(env.OpenBinary(at, /*create=*/false, &binary).ok());
  EXPECT_FALSE(env.OpenBinary(at, /*create=*/true, &binary).ok());

  // A regular file whose name differs only in letter case is the one found.
  station.Write("test.txt", "[S]\n");
  EXPECT_EQ(env.FindFile(at), station.root() / "test.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NotAFileTest,
    ::testing::Values(
        NotAFile{"Fifo", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }},
        NotAFile{"Device", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PosixEnv, OutputFileThatIsAFifoIsRefusedWithoutWaiting) {
  testing::TempStation station;
  PosixEnv env;
  const fs::path at = station.root() / "out.txt";
  ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0);
  std::unique_ptr<WritableFile> file;
  EXPECT_FALSE(env.OpenWritable(at, /*append=*/false, &file).ok());
  EXPECT_FALSE(env.OpenWritable(at, /*append=*/true, &file).ok());
}

}  // namespace
}  // namespace krm::platform
