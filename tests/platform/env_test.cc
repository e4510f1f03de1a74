// The system's Env (PosixEnv, or Win32Env on Windows), on the points where the two systems differ
// most: a replaced file keeps its old bytes until it is closed, appends go to the end (large ones
// whole), reads beyond the end, names in another letter case, a folder (on POSIX also a FIFO or a
// device) under a file's name, what identifies a file. Folder names outside ASCII and the
// follow-up started in its folder are tried on the real programs by e2e/station_folder_test.cc.
#include "platform/default_env.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

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

// A copy replaces a longer target whole (and a shorter one, and none), bytes beyond the first
// block included; a source that is missing or a folder fails and leaves the target as it was.
TEST(Env, CopyReplacesTheTargetWholeOrNotAtAll) {
  testing::TempStation station;
  DefaultEnv env;
  const fs::path target = station.root() / "copy.txt";
  const std::string big(200 * 1024 + 7, 'b');
  for (const std::string& source : {std::string("short"), big, std::string()}) {
    station.Write("source.txt", source);
    ASSERT_TRUE(env.CopyFile(station.root() / "source.txt", target).ok());
    EXPECT_EQ(station.Read("copy.txt"), source);
  }
  station.Write("copy.txt", "kept");
  fs::create_directory(station.root() / "folder");
  for (const char* source : {"missing.txt", "folder"}) {
    EXPECT_FALSE(env.CopyFile(station.root() / source, target).ok()) << source;
    EXPECT_EQ(station.Read("copy.txt"), "kept") << source;
  }
#ifndef _WIN32
  // The copy takes the source's permissions.
  ::chmod((station.root() / "source.txt").c_str(), 0640);
  ASSERT_TRUE(env.CopyFile(station.root() / "source.txt", target).ok());
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
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

// Something other than a regular file under a station file's name: a folder, and on POSIX a FIFO
// or a device. It is never found, read, waited on or opened as the file; on a system that tells
// letter case apart, a file in another case beside it is the one found.
struct NotAFile {
  const char* name;
  void (*make)(const fs::path& at);
  const char* reason;  // what a read or an open says; "" where the system's own words stand
  bool is_link;
};

class NotAFileTest : public ::testing::TestWithParam<NotAFile> {};

TEST_P(NotAFileTest, IsNeitherFoundNorReadNorOpened) {
  testing::TempStation station;
  DefaultEnv env;
  const fs::path at = station.root() / "Test.txt";
  GetParam().make(at);
  env.Prefetch(at);  // returns at once (a FIFO's writer is never waited for)
  EXPECT_FALSE(env.FindFile(at));
  EXPECT_FALSE(env.FindFile(station.root() / "TEST.TXT"));
  EXPECT_FALSE(env.IsRegularFile(at));
  std::string contents = "old";
  std::unique_ptr<BinaryFile> binary;
  std::unique_ptr<WritableFile> file;
  std::uint64_t size = 0;
  const Status results[] = {env.ReadFile(at, &contents),
                            env.OpenBinary(at, /*create=*/false, &binary),
                            env.OpenBinary(at, /*create=*/true, &binary),
                            env.FileSize(at, &size),
                            env.OpenWritable(at, /*append=*/false, &file),
                            env.OpenWritable(at, /*append=*/true, &file)};
  // A link to a device is replaced by a file written in its place, as any link is.
  for (std::size_t i = 0; i < (GetParam().is_link ? 4 : 6); ++i) {
    EXPECT_FALSE(results[i].ok()) << i;
    if (*GetParam().reason) {
      EXPECT_EQ(results[i].reason(), GetParam().reason) << i;
    }
  }
  EXPECT_EQ(contents, "");
#ifndef _WIN32
  station.Write("test.txt", "[S]\n");
  EXPECT_EQ(env.FindFile(at), station.root() / "test.txt");
#endif
}

const NotAFile kNotFiles[] = {
    {"Folder", [](const fs::path& at) { fs::create_directory(at); }, "is a directory", false},
#ifndef _WIN32
    {"Fifo", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }, "", false},
    {"Device", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }, "", true},
#endif
};
INSTANTIATE_TEST_SUITE_P(Kinds, NotAFileTest, ::testing::ValuesIn(kNotFiles),
                         [](const auto& info) { return std::string(info.param.name); });

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
