#include <gmock/gmock.h>
#include <sys/stat.h>

#include "app/commands/commands.h"
#include "app/commands/forecast.h"
#include "app/commands/preview.h"
#include "app/main_routine.h"
#include "fs/run_lock.h"
#include "preview/forecast.h"
#include "preview/preview.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
using test::MakeFile;
using ::testing::Contains;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Now is 2026-12-06 10:00:00; the last run was the day before.
class PreviewCommandTest : public test::EngineTest {
 protected:
  // Where order shows, each folder holds one entry that shows, so that the order in which a
  // folder lists its entries does not matter.
  void SetUp() override {
    MakeFile(data / "a\n del-11-30-2026.txt", 1500, At(2026, 1, 1));
    MakeFile(data / "sub/ro del-12-01-2026.txt", 20, At(2026, 1, 1));
    ::chmod((data / "sub/ro del-12-01-2026.txt").c_str(), 0444);
    MakeFile(data / "sub/b del-12-09-2026.txt", 7, At(2026, 1, 1));
    MakeFile(data / "sub/c\n del-02-30-2027.txt", 5, At(2026, 1, 1));
    Save(home / "q", 0);
    config = test::ReadFile(home / "weekly.ksp");
  }
  void Save(const std::string& quarantine, int purge_days) {
    KestrelCfg cfg(fn.Outside());
    cfg.Filename(home / "weekly.ksp");
    cfg.IncludeFolders().emplace_back(data.Path(), true);
    cfg.QuarantineFolder(quarantine);
    cfg.PurgeAfterDays(purge_days);
    ASSERT_TRUE(cfg.Save());
    cfg.LastRunDate(At(2026, 12, 5));
  }
  std::vector<std::string> Out(const std::vector<std::string>& args, int status = kExitOk) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunLongCommandLine(fn, args, Commands()), status);
    return test::Lines(::testing::internal::GetCapturedStdout());
  }
  test::TempDir data;
  std::string config;
};

// A name's line break shows as "\n" in every line, text or JSON.
TEST_F(PreviewCommandTest, PreviewAndForecastWriteNothingAndTheRunMovesWhatWasListed) {
  const std::string a = data / "a\\n del-11-30-2026.txt", ro = data / "sub/ro del-12-01-2026.txt",
                    b = data / "sub/b del-12-09-2026.txt", c = data / "sub/c\\n del-02-30-2027.txt";
  EXPECT_EQ(
      Out({"--preview", "weekly.ksp"}),
      (std::vector<std::string>{
          "[Would Move] 1500 " + a, "[Warning] File cannot be moved because it is read-only: " + ro,
          "Preview: 1 files, 1500 bytes, 1 errors, end completed; nothing was moved"}));
  EXPECT_EQ(
      Out({"--json", "--preview", "-s:weekly.ksp"}),
      (std::vector<std::string>{
          R"({"type":"move","path":")" + a +
              R"(","size":1500,"removal_date":"2026-11-30","destination":")" + (home / "q") +
              R"("})",
          R"({"type":"warning","text":"File cannot be moved because it is read-only: )" + ro +
              R"("})",
          R"({"type":"summary","files":1,"bytes":1500,"errors":1,"folders":2,"end":"completed"})"}));
  EXPECT_EQ(Out({"--forecast", "3", "weekly.ksp"}),
            (std::vector<std::string>{
                "[Due Now] 1500 2026-11-30 " + a, "[Due Now, Read-Only] 20 2026-12-01 " + ro,
                "[Total] now 2 1520", "[Due] 7 2026-12-09 " + b, "[Total] 2026-12-09 1 7",
                "[Never Due] 5 no real date after the prefix: " + c,
                "Forecast: 2 due now (1520 bytes), 1 due within 3 days (7 bytes), 1 never due"}));
  const auto json = Out({"--forecast=2", "--json", "weekly.ksp"});
  ASSERT_EQ(json.size(), 5u);
  EXPECT_EQ(json[1], R"({"type":"due_now","path":")" + ro +
                         R"(","size":20,"removal_date":"2026-12-01","read_only":true})");
  EXPECT_EQ(json[3], R"({"type":"never_due","path":")" + c +
                         R"(","size":5,"reason":"no_date","stamp":"2026-01-01 00:00:00"})");
  EXPECT_EQ(
      json[4],
      R"({"type":"summary","days":2,"due_now":2,"due_now_bytes":1520,"due":0,"due_bytes":0,"never_due":1})");

  EXPECT_EQ(test::ReadFile(home / "weekly.ksp"), config);
  EXPECT_FALSE(fs::exists(home / "Kestrel.log"));
  EXPECT_FALSE(fs::exists(home / "q"));
  EXPECT_TRUE(fs::exists(data / "a\n del-11-30-2026.txt"));

  // The run then moves what the preview listed, one JSON object per file.
  EXPECT_EQ(
      Out({"--json", "weekly.ksp"}),
      (std::vector<std::string>{
          R"({"type":"moved","path":")" + a + R"(","size":1500})",
          R"({"type":"warning","text":"File cannot be moved because it is read-only: )" + ro +
              R"("})",
          R"({"type":"summary","files":1,"bytes":1500,"errors":1,"folders":2,"purged":0,"purged_bytes":0,"purge_errors":0,"status":0})"}));
  EXPECT_TRUE(fs::exists(home / "q/a\n del-11-30-2026.txt"));
}

TEST_F(PreviewCommandTest, ExitStatusIsTheOneTheRunWouldHave) {
  EXPECT_EQ(Out({"--preview", "missing.ksp"}, kExitBadInput), std::vector<std::string>{});
  test::WriteFile(home / "q", "a file where the quarantine folder should be");
  EXPECT_EQ(Out({"--preview", "weekly.ksp"}, kExitRunFailed),
            (std::vector<std::string>{"[Failed] The quarantine folder cannot be created because a "
                                      "file with the same name exists",
                                      "Preview: 0 files, 0 bytes, 0 errors, end failed; nothing "
                                      "was moved"}));
  EXPECT_FALSE(fs::exists(home / "Kestrel.log"));
  Out({"weekly.ksp"}, kExitRunFailed);  // the run itself ends through its error handler
  EXPECT_EQ(reporter.reports.back().location, "KestrelCfg.CleanUp\nKestrelCfg.CleanUp");
}

// A moved file is previewed, purged by the next run at its 30th day, and stays purged.
TEST_F(PreviewCommandTest, PreviewThenRunPurgeWhatTheJournalVouchesFor) {
  fs::remove_all(data / "sub");  // its files would come due within the 30 days
  Save(home / "q", 30);
  // As shown (its line break escaped) and as it is.
  const std::string moved = home / "q/a\\n del-11-30-2026.txt",
                    file = home / "q/a\n del-11-30-2026.txt";
  Out({"weekly.ksp"});
  EXPECT_EQ(test::LStat(home / "q").st_mode & 07777, 0700u);
  clock.Advance(30 * 86400 - 1);
  EXPECT_EQ(Out({"--purge", "weekly.ksp"}),
            std::vector<std::string>{"Purge: 0 items, 0 bytes, 0 errors"});
  EXPECT_THAT(Out({"--forecast", "1", "weekly.ksp"}),
              Contains("[Purge Due] 1500 2027-01-05 " + moved));
  EXPECT_THAT(Out({"--json", "--forecast", "1", "weekly.ksp"}),
              Contains(R"({"type":"purge_due","path":")" + moved +
                       R"(","size":1500,"due_date":"2027-01-05"})"));
  clock.Advance(1);
  EXPECT_EQ(Out({"--preview", "weekly.ksp"}),
            (std::vector<std::string>{"[Would Purge] 1500 2026-12-06 " + moved,
                                      "Preview: 0 files, 0 bytes, 0 errors, end completed, 1 to "
                                      "purge (1500 bytes); nothing was moved"}));
  EXPECT_THAT(
      Out({"--json", "--preview", "weekly.ksp"}),
      Contains(R"({"type":"purge","path":")" + moved + R"(","size":1500,"date":"2026-12-06"})"));
  {  // a held lock stops a purge; a quarantine others can write stops only the run's purge
    RunLock other(RealSys(), home.Path());
    ASSERT_TRUE(other.Acquire(clock, 0));
    EXPECT_EQ(Out({"--purge", "weekly.ksp"}, kExitRunFailed), std::vector<std::string>{});
  }
  ::chmod((home / "q").c_str(), 0770);
  EXPECT_THAT(Out({"weekly.ksp"}),
              Contains("[Warning] Purge refused, " + home / "q" +
                       " can be written by others (chmod go-w " + home / "q" + ")"));
  EXPECT_TRUE(fs::exists(file));
  ::chmod((home / "q").c_str(), 0700);
  clock.Advance(1);
  EXPECT_THAT(Out({"weekly.ksp"}), Contains("[Purged] 1500 " + moved));
  EXPECT_THAT(LogText(), HasSubstr("Items purged: 1\n"));
  EXPECT_FALSE(fs::exists(file));
  clock.Advance(1);
  EXPECT_EQ(Out({"--json", "--purge", "weekly.ksp"}),
            std::vector<std::string>{
                R"({"type":"summary","purged":0,"purged_bytes":0,"purge_errors":0,"status":0})"});
}

TEST_F(PreviewCommandTest, PurgeWithNothingToDoRefusalsAndBadInput) {
  // The quarantine folder, the purge days, the status and the first line.
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {home / "q", 0, kExitOk, "[Message] Nothing to purge, PurgeAfterDays is 0"},
      {"", 30, kExitOk, "[Message] Nothing to purge, the destination is the Trash"},
      {home / "q", 30, kExitOk,
       "[Message] Nothing to purge, there is no quarantine folder " + home / "q"},
      {"q", 30, kExitBadInput, "[Warning] Purge refused, q is not an absolute path"},
  };
  for (const auto& [quarantine, days, status, first] : cases) {
    Save(quarantine, days);
    EXPECT_EQ(Out({"--purge", "weekly.ksp"}, status),
              (std::vector<std::string>{first, "Purge: 0 items, 0 bytes, 0 errors"}));
  }
  EXPECT_EQ(Out({"--purge", "absent.ksp"}, kExitBadInput), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestrel
