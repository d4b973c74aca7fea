#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;

struct ExpiryCase {
  const char* name;  // file name in the test folder (folders are created)
  DateTime stamp;    // its last-write time
  bool expired;
  bool warned;
};

// Now is 2026-12-06 10:00:00.
class JudgeTest : public test::EngineTest {
 protected:
  bool FileIsExpired(const std::string& path) {
    Win32Wrapper::FileInfo info;
    return run.FileIsExpired(path, info);
  }
  ReportRecorder recorder{fn, Cfg()};
  DiskMover mover{fn.Outside().sys, nullptr};
  std::vector<RemovedFilePtr> records;
  CleanUpRun run{fn, Cfg(), recorder, mover, records};
};

class ExpiryTest : public JudgeTest, public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(ExpiryTest, Judges) {
  const ExpiryCase& c = GetParam();
  const std::string path = home / c.name;
  test::MakeFile(path, 1, c.stamp);
  EXPECT_EQ(FileIsExpired(path), c.expired);
  const auto warnings = fn.WarningRpt->Warnings();
  if (c.warned) {
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"Deletion date is before file creation date: " + path}));
  } else {
    EXPECT_TRUE(warnings.empty());
  }
  EXPECT_TRUE(reporter.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpiryTest,
    ::testing::Values(
        ExpiryCase{"yesterday del-12-05-2026.txt", At(2026, 12, 4, 8), true, false},
        ExpiryCase{"today del-12-06-2026.txt", At(2026, 12, 5, 8), true, false},
        ExpiryCase{"written today del-12-06-2026.txt", At(2026, 12, 6, 9), false, true},
        ExpiryCase{"stamp at midnight del-12-06-2026.txt", At(2026, 12, 6), true, false},
        ExpiryCase{"tomorrow del-12-07-2026.txt", At(2026, 1, 1), false, false},
        ExpiryCase{"next year del-12-06-2027.txt", At(2026, 1, 1), false, false},
        ExpiryCase{"no such day del-02-30-2026.txt", At(2026, 1, 1), false, false},
        ExpiryCase{"month 13 del-13-01-2026.txt", At(2026, 1, 1), false, false},
        ExpiryCase{"upper DEL-04-01-2026.txt", At(2026, 1, 1), true, false},
        ExpiryCase{"del-me del-01-02-2020.txt", At(2019, 1, 1), false, false},
        ExpiryCase{"del-old/report del-01-02-2020.txt", At(2019, 1, 1), false, false},
        ExpiryCase{"spaces del- 1- 2-2020.txt", At(2019, 1, 1), false, false},
        ExpiryCase{"future stamp del-xx-xx-xxxx.txt", At(2026, 12, 9), false, true},
        ExpiryCase{"plain name.txt", At(2019, 1, 1), false, false}));

class ExpiryRulesTest : public JudgeTest {};

TEST_F(ExpiryRulesTest, VanishedCandidateIsReportedAndNotExpired) {
  const std::string path = home / "gone del-01-01-2020.txt";
  EXPECT_FALSE(FileIsExpired(path));
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].location.substr(0, 25), "KestrelCfg.FileIsExpired\n");
  EXPECT_EQ(reporter.reports[0].number, ENOENT);
}

TEST_F(ExpiryRulesTest, RemovalDateIsReadAfterTheFirstTokenOnly) {
  const DateTime now = At(2026, 12, 6, 10, 0, 0), tomorrow = At(2026, 12, 7, 10, 0, 0);
  auto ExtractExpiryDate = [&](const char* path) {
    return kestrel::ExtractExpiryDate(path, Cfg().PrefixToken(), now);
  };
  EXPECT_EQ(ExtractExpiryDate("/x/a del-03-31-20"), tomorrow);
  Cfg().PrefixToken("");
  EXPECT_EQ(ExtractExpiryDate("01-01-2020"), At(2020, 1, 1));
  EXPECT_EQ(ExtractExpiryDate("/x/01-01-2020"), tomorrow);
}

}  // namespace
}  // namespace kestrel
