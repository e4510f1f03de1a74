// The record of a graded stone as the station run and the batch grading make it: what the
// whole-program tests (e2e/archive_runs_posix_test.cc) cannot steer, a grading without classes,
// every kind of recut advice, and an archive sender that cannot be started.
#include "app/stone_archive.h"

#include <gtest/gtest.h>

#include "archive/local_archive.h"
#include "platform/recording_env.h"

namespace krm::app {
namespace {

TEST(StoneArchive, ClassesTheGradingDidNotGiveAreNone) {
  grading::StoneState stone;
  stone.fields.SetCutCaption("Poor");
  stone.OverallCutClass = 0;
  stone.details.table_class = 5;
  stone.details.table_class_name = "Poor";
  stone.AppendMessage("Shape is Other");
  stone.GirdleLimitText = "girdle";
  archive::ArchiveRecord r;
  SetGrading("S-1", stone, &r);
  EXPECT_EQ(r.stone_id, "S-1");
  EXPECT_EQ(r.cut_grade, "Poor");
  EXPECT_EQ(r.overall_class, std::nullopt);
  EXPECT_EQ(r.table_class, 5);
  EXPECT_EQ(r.messages, std::vector<std::string>{"Shape is Other"});
  EXPECT_EQ(r.girdle_limit_text, "girdle");
  stone.OverallCutClass = 6;
  stone.details.table_class = 0;
  SetGrading("S-1", stone, &r);
  EXPECT_EQ(r.overall_class, std::nullopt);
  EXPECT_EQ(r.table_class, std::nullopt);
}

TEST(StoneArchive, RecutVerdictAndMessageOfEveryAdvice) {
  recut::RecutAdvice refused;
  refused.completed = true;
  refused.lines = {"Recut = 0", "MSG = Cut is EX "};
  recut::RecutAdvice advised = refused;
  advised.lines = {"Recut = 1", "MSG =  Successful", "Org_Cut =Very Good"};
  advised.candidate.emplace();
  recut::RecutAdvice no_grade;  // a stone without a grade class: no lines at all
  no_grade.completed = true;
  recut::RecutAdvice ended_early;  // a file step failed or a candidate grading ended the run
  ended_early.attempts = 2;
  const struct {
    const recut::RecutAdvice* advice;
    std::optional<int> verdict;
    const char* message;
  } cases[] = {{&refused, 0, "MSG = Cut is EX "},
               {&advised, 1, "MSG =  Successful"},
               {&no_grade, std::nullopt, ""},
               {&ended_early, std::nullopt, ""},
               {nullptr, std::nullopt, ""}};
  for (const auto& c : cases) {
    archive::ArchiveRecord r;
    r.recut_verdict = 7;  // whatever was there goes
    r.recut_message = "old";
    SetRecutAdvice(c.advice, &r);
    EXPECT_EQ(r.recut_verdict, c.verdict) << c.message;
    EXPECT_EQ(r.recut_message, c.message);
  }
}

// A station with a server keeps the record and leaves it to the sender it starts; when the sender
// cannot be started, the run sends the record itself (here to a server that is not there, so that
// it waits and the run says so).
TEST(StoneArchive, TheRunStartsTheSenderOrSendsItself) {
  for (const bool starts : {true, false}) {
    testing::TempStation files;
    files.Write("station.ini", "[Archive]\r\nurl = host=" + (files.root() / "no-server").string() +
                                   " connect_timeout=1\r\n");
    files.Write("Test.txt", "[NumericalParameters]\r\nSTONE_ID=S-1\r\n");
    files.Write("data/.keep", "");
    testing::RecordingEnv env;
    if (!starts) env.program_start = Status::IoError("cannot start", "no such file");
    intake::Station station(env, files.root());
    {
      StationArchive archive(station);
      archive.Graded(grading::StoneState{});
      archive.Keep(nullptr);
    }
    ASSERT_EQ(env.programs.size(), 1u);
    EXPECT_EQ(env.programs[0].program, env.ExecutablePath());
    EXPECT_EQ(env.programs[0].args, (std::vector<std::string>{std::string(kSendArchiveOption),
                                                              "--app-dir", files.root().string()}));
    std::unique_ptr<archive::LocalArchive> local;
    std::int64_t waiting = 0;
    ASSERT_TRUE(archive::LocalArchive::Open(files.root() / "data/archive.db",
                                            archive::LocalArchive::OpenMode::kExisting, &local)
                    .ok());
    ASSERT_TRUE(local->CountWaiting(&waiting).ok());
    EXPECT_EQ(waiting, 1);
    if (starts) {
      EXPECT_TRUE(station.notices.empty());
    } else {
      ASSERT_EQ(station.notices.size(), 1u);
      EXPECT_TRUE(station.notices[0].starts_with("archive server not reached, 1 record waits: "))
          << station.notices[0];
    }
  }
}

}  // namespace
}  // namespace krm::app
