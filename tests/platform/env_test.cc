// The system's Env (PosixEnv, or Win32Env on Windows), on the points where the two systems differ
// most: a replaced file keeps its old bytes until it is closed, appends go to the end (large ones
// whole), reads beyond the end, names in another letter case, a folder under a file's name, what
// identifies a file. Folder names outside ASCII and the follow-up started in its folder are tried
// on the real programs by e2e/station_folder_test.cc.
#include "platform/default_env.h"

#include <gtest/gtest.h>

#include "platform/recording_env.h"

namespace krm::platform {
namespace {

TEST(Env, ReplacedFileIsCutToTheNewBytesOnlyWhenClosed) {
  testing::TempStation station;
  DefaultEnv env;
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
  // Two appenders open at once both land at the end, whatever was written in between.
  std::unique_ptr<WritableFile> other;
  ASSERT_TRUE(env.OpenWritable(station.root() / "out.txt", /*append=*/true, &file).ok());
  ASSERT_TRUE(env.OpenWritable(station.root() / "out.txt", /*append=*/true, &other).ok());
  ASSERT_TRUE(file->Append("one\r\n").ok() && file->Close().ok());
  ASSERT_TRUE(other->Append("two\r\n").ok() && other->Close().ok());
  EXPECT_EQ(station.Read("out.txt"), "new\r\none\r\ntwo\r\n");
}

TEST(Env, LargeAppendsAreWrittenWhole) {
  testing::TempStation station;
  DefaultEnv env;
  std::unique_ptr<WritableFile> file;
  ASSERT_TRUE(env.OpenWritable(station.root() / "big.txt", /*append=*/false, &file).ok());
  const std::string big(300 * 1024, 'x');
  ASSERT_TRUE(file->Append("a").ok());
  ASSERT_TRUE(file->Append(big).ok());
  ASSERT_TRUE(file->Append("b").ok());
  ASSERT_TRUE(file->Close().ok());
  EXPECT_EQ(station.Read("big.txt"), "a" + big + "b");
}

TEST(Env, BinaryFileGrowsAtAnyOffsetAndReadsNothingBeyondItsEnd) {
  testing::TempStation station;
  DefaultEnv env;
  station.Write("t.dll", "0123456789");
  std::unique_ptr<BinaryFile> file;
  ASSERT_TRUE(env.OpenBinary(station.root() / "t.dll", /*create=*/true, &file).ok());
  ASSERT_TRUE(file->WriteAt(2, "ab", 2).ok());
  ASSERT_TRUE(file->WriteAt(12, "yz", 2).ok());
  std::uint64_t size = 0;
  ASSERT_TRUE(file->Size(&size).ok());
  EXPECT_EQ(size, 14u);
  char buf[8];
  std::size_t read = 99;
  ASSERT_TRUE(file->ReadAt(11, buf, sizeof buf, &read).ok());
  EXPECT_EQ(std::string(buf, read), std::string("\0yz", 3));
  ASSERT_TRUE(file->ReadAt(14, buf, sizeof buf, &read).ok());
  EXPECT_EQ(read, 0u);
  file.reset();
  EXPECT_EQ(station.Read("t.dll"), std::string("01ab456789\0\0yz", 14));
  // Opened for reading only, a missing file is not made.
  EXPECT_EQ(env.OpenBinary(station.root() / "none.dll", /*create=*/false, &file).code(),
            Status::Code::kNotFound);
  EXPECT_FALSE(station.Exists("none.dll"));
}

TEST(Env, FindsAFileUnderAnotherLetterCase) {
  testing::TempStation station;
  DefaultEnv env;
  station.Write("TEST.TXT", "measured");
  for (const char* name : {"TEST.TXT", "Test.txt", "test.txt"}) {
    const auto found = env.FindFile(station.root() / name);
    ASSERT_TRUE(found) << name;
    EXPECT_EQ(testing::ReadWhole(*found), "measured") << name;
  }
  EXPECT_FALSE(env.FindFile(station.root() / "Test.tx"));
  EXPECT_FALSE(env.FindFile(station.root() / "nofolder" / "Test.txt"));
}

// A folder under a station file's name is never found, read or opened as the file; a file in
// another letter case beside it is the one found. (env_posix_test.cc: FIFOs and devices.)
TEST(Env, FolderUnderAFileNameIsNoFile) {
  testing::TempStation station;
  DefaultEnv env;
  const fs::path at = station.root() / "Test.txt";
  fs::create_directory(at);
  EXPECT_FALSE(env.FindFile(at));
  EXPECT_FALSE(env.FindFile(station.root() / "TEST.TXT"));
  EXPECT_FALSE(env.IsRegularFile(at));
  std::string contents = "old";
  const Status read = env.ReadFile(at, &contents);
  EXPECT_FALSE(read.ok());
  EXPECT_EQ(read.reason(), "is a directory");
  EXPECT_EQ(contents, "");
  std::unique_ptr<BinaryFile> binary;
  EXPECT_EQ(env.OpenBinary(at, /*create=*/false, &binary).reason(), "is a directory");
  EXPECT_EQ(env.OpenBinary(at, /*create=*/true, &binary).reason(), "is a directory");
  std::unique_ptr<WritableFile> file;
  EXPECT_EQ(env.OpenWritable(at, /*append=*/false, &file).reason(), "is a directory");
  EXPECT_EQ(env.OpenWritable(at, /*append=*/true, &file).reason(), "is a directory");
  std::uint64_t size = 0;
  EXPECT_EQ(env.FileSize(at, &size).reason(), "is a directory");
#ifndef _WIN32
  // On a system that tells letter case apart, the file in another case beside it is found.
  station.Write("test.txt", "[S]\n");
  EXPECT_EQ(env.FindFile(at), station.root() / "test.txt");
#endif
}

TEST(Env, IdentityTellsFilesAndTheirStatesApart) {
  testing::TempStation station;
  DefaultEnv env;
  station.Write("a.syc", "same bytes");
  station.Write("b.syc", "same bytes");
  FileIdentity a, b, again;
  ASSERT_TRUE(env.Identify(station.root() / "a.syc", &a).ok());
  ASSERT_TRUE(env.Identify(station.root() / "b.syc", &b).ok());
  ASSERT_TRUE(env.Identify(station.root() / "a.syc", &again).ok());
  EXPECT_EQ(a, again);
  EXPECT_NE(a, b);
  // Replaced by another file under the same name.
  fs::rename(station.root() / "b.syc", station.root() / "a.syc");
  ASSERT_TRUE(env.Identify(station.root() / "a.syc", &again).ok());
  EXPECT_NE(a, again);
  // Grown by a write.
  std::unique_ptr<WritableFile> file;
  ASSERT_TRUE(env.OpenWritable(station.root() / "a.syc", /*append=*/true, &file).ok());
  ASSERT_TRUE(file->Append("!").ok() && file->Close().ok());
  FileIdentity grown;
  ASSERT_TRUE(env.Identify(station.root() / "a.syc", &grown).ok());
  EXPECT_NE(grown, again);
  EXPECT_EQ(grown.size, 11u);
  fs::create_directory(station.root() / "folder");
  EXPECT_FALSE(env.Identify(station.root() / "folder", &grown).ok());
  EXPECT_EQ(env.Identify(station.root() / "none", &grown).code(), Status::Code::kNotFound);
}

}  // namespace
}  // namespace krm::platform
