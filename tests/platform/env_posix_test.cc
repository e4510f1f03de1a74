// Files of the POSIX platform: a replaced output file keeps its old bytes until it is closed, and
// a name that holds no regular file (a folder, a FIFO, a device) is never read, waited on or
// found.
#include "platform/env_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/recording_env.h"

namespace krm::platform {
namespace {

TEST(PosixWritableFile, ReplacedFileIsCutToTheNewBytesOnlyWhenClosed) {
  testing::TempStation station;
  PosixEnv env;
  station.Write("out.txt", std::string(100, '#'));
  std::unique_ptr<WritableFile> file;
  ASSERT_TRUE(env.OpenWritable(station.root() / "out.txt", /*append=*/false, &file).ok());
  ASSERT_TRUE(file->Append("new\r\n").ok());
  // A run that ends here, before the close, leaves the previous report whole.
  EXPECT_EQ(station.Read("out.txt"), std::string(100, '#'));
  ASSERT_TRUE(file->Close().ok());
  EXPECT_EQ(station.Read("out.txt"), "new\r\n");

  ASSERT_TRUE(env.OpenWritable(station.root() / "out.txt", /*append=*/true, &file).ok());
  file.reset();  // closed unwritten: an appended file keeps what it had
  EXPECT_EQ(station.Read("out.txt"), "new\r\n");
}

TEST(PosixWritableFile, LargeAppendsAreWrittenWhole) {
  testing::TempStation station;
  PosixEnv env;
  std::unique_ptr<WritableFile> file;
  ASSERT_TRUE(env.OpenWritable(station.root() / "big.txt", /*append=*/false, &file).ok());
  const std::string big(300 * 1024, 'x');
  ASSERT_TRUE(file->Append("a").ok());
  ASSERT_TRUE(file->Append(big).ok());
  ASSERT_TRUE(file->Append("b").ok());
  ASSERT_TRUE(file->Close().ok());
  EXPECT_EQ(station.Read("big.txt"), "a" + big + "b");
}

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
        NotAFile{"Folder", [](const fs::path& at) { fs::create_directory(at); }},
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
