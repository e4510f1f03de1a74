// Output files of the POSIX platform: a replaced file keeps its old bytes until it is closed.
#include "platform/env_posix.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace krm::platform
