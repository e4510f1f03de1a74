// The system's Env (PosixEnv, or Win32Env on Windows), on the points where the two systems differ
// most: a replaced file keeps its old bytes until it is closed, appends go to the end (large ones
// whole), reads beyond the end, names in another letter case, a folder under a file's name, what
// identifies a file, folder names outside ASCII, and the follow-up started in its folder.
#include "platform/default_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/database.h"
#include "platform/program_arguments.h"
#include "platform/recording_env.h"
#include "tools/station_init.h"

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

// A station folder named outside ASCII (and outside the ANSI code page on Windows): its files and
// its databases.
TEST(Env, FolderNamedOutsideAscii) {
  testing::TempStation station;
  DefaultEnv env;
  const fs::path folder = station.root() / PathFromUtf8("Stati\xC3\xB8n \xE7\xAB\x99 \xCE\xA9");
  ASSERT_TRUE(env.CreateDirectory(folder).ok());
  EXPECT_TRUE(env.IsDirectory(folder));
  std::unique_ptr<WritableFile> file;
  ASSERT_TRUE(env.OpenWritable(folder / "Test.txt", /*append=*/false, &file).ok());
  ASSERT_TRUE(file->Append("[NumericalParameters]\r\n").ok() && file->Close().ok());
  std::string contents;
  ASSERT_TRUE(env.ReadFile(folder / "Test.txt", &contents).ok());
  EXPECT_EQ(contents, "[NumericalParameters]\r\n");
  ASSERT_TRUE(env.CopyFile(folder / "Test.txt", folder / "test_copy.txt").ok());
  EXPECT_TRUE(env.IsRegularFile(folder / "test_copy.txt"));
  std::unique_ptr<Database> db;
  ASSERT_TRUE(Database::Create(folder / "data.mdb", &db).ok());
  ASSERT_TRUE(db->Execute("CREATE TABLE T (A)").ok());
  db.reset();
  EXPECT_TRUE(env.IsRegularFile(folder / "data.mdb"));
  EXPECT_TRUE(Database::Open(folder / "data.mdb", &db).ok());
  EXPECT_TRUE(Database::OpenForReading(folder / "data.mdb", &db).ok());
}

// The follow-up of a fresh station, started as a run starts it, in a folder whose name has blanks
// and brackets, given by a relative path.
TEST(Env, FollowUpRunsInTheStationFolder) {
  testing::TempStation station;
  DefaultEnv env;
  const fs::path folder = station.root() / "Scanner (x86) 2";
  station.Write("Scanner (x86) 2/data/.keep", "");
  station.Write("Scanner (x86) 2/KRM_5.bat", tools::kFollowUpScript);
  const fs::path before = fs::current_path();
  fs::current_path(station.root());
  const Status started =
      env.StartBatch(fs::path("Scanner (x86) 2") / "KRM_5.bat", "Scanner (x86) 2");
  fs::current_path(before);
  ASSERT_TRUE(started.ok()) << started.message();
  const fs::path ran = folder / "data" / "krm5_ran.txt";
  std::string line;
  for (int i = 0; i < 500 && !line.ends_with('\n'); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    line = testing::ReadWhole(ran);
  }
  EXPECT_TRUE(line.starts_with("KRM_5.bat ran ")) << line;
  // Let the follow-up end before its folder is removed.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace
}  // namespace krm::platform
