#include <gmock/gmock.h>

#include "app/commands/commands.h"
#include "app/main_routine.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
using ::testing::Contains;
using ::testing::HasSubstr;

class PurgeCommandTest : public test::EngineTest {
 protected:
  void SetUp() override {
    test::MakeFile(data / "a del-11-30-2026.txt", 1500, At(2026, 1, 1));
    Save(home / "q", 30);
  }
  void Save(const std::string& quarantine, int days) {
    KestrelCfg cfg(fn.Outside());
    cfg.Filename(home / "weekly.ksp");
    cfg.IncludeFolders().emplace_back(data.Path(), true);
    cfg.QuarantineFolder(quarantine);
    cfg.PurgeAfterDays(days);
    ASSERT_TRUE(cfg.Save());
    cfg.LastRunDate(At(2026, 12, 5));
  }
  std::vector<std::string> Out(const std::vector<std::string>& args, int status) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunLongCommandLine(fn, args, Commands()), status);
    return test::Lines(::testing::internal::GetCapturedStdout());
  }
  test::TempDir data;
};

// A moved file is previewed, purged by the next run at its 30th day, and stays purged.
TEST_F(PurgeCommandTest, PreviewThenRunPurgeWhatTheJournalVouchesFor) {
  const std::string moved = home / "q/a del-11-30-2026.txt";
  Out({"weekly.ksp"}, kExitOk);
  EXPECT_EQ(test::LStat(home / "q").st_mode & 07777, 0700u);
  clock.Advance(30 * 86400 - 1);
  EXPECT_EQ(Out({"--purge", "weekly.ksp"}, kExitOk),
            std::vector<std::string>{"Purge: 0 items, 0 bytes, 0 errors"});
  clock.Advance(1);
  EXPECT_EQ(Out({"--preview", "weekly.ksp"}, kExitOk),
            (std::vector<std::string>{"[Would Purge] 1500 2026-12-06 " + moved,
                                      "Preview: 0 files, 0 bytes, 0 errors, end completed, 1 to "
                                      "purge (1500 bytes); nothing was moved"}));
  EXPECT_THAT(Out({"weekly.ksp"}, kExitOk), Contains("[Purged] 1500 " + moved));
  EXPECT_THAT(LogText(), HasSubstr("Items purged: 1\n"));
  EXPECT_FALSE(std::filesystem::exists(moved));
  clock.Advance(1);
  EXPECT_EQ(Out({"--json", "--purge", "weekly.ksp"}, kExitOk),
            std::vector<std::string>{
                R"({"type":"summary","purged":0,"purged_bytes":0,"purge_errors":0,"status":0})"});
}

TEST_F(PurgeCommandTest, NothingToDoRefusalsAndBadInput) {
  const struct {
    std::string quarantine;
    int days, status;
    std::string first;
  } cases[] = {
      {home / "q", 0, kExitOk, "[Message] Nothing to purge, PurgeAfterDays is 0"},
      {"", 30, kExitOk, "[Message] Nothing to purge, the destination is the Trash"},
      {home / "q", 30, kExitOk,
       "[Message] Nothing to purge, there is no quarantine folder " + home / "q"},
      {"q", 30, kExitBadInput, "[Warning] Purge refused, q is not an absolute path"},
  };
  for (const auto& c : cases) {
    Save(c.quarantine, c.days);
    EXPECT_EQ(Out({"--purge", "weekly.ksp"}, c.status),
              (std::vector<std::string>{c.first, "Purge: 0 items, 0 bytes, 0 errors"}));
  }
  EXPECT_EQ(Out({"--purge", "absent.ksp"}, kExitBadInput), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestrel
