#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;

// Now is 2026-12-06 10:00:00.
class JudgeTest : public test::EngineTest {
 protected:
  bool FileIsExpired(const std::string& path) {
    Win32Wrapper::FileInfo info;
    return run.FileIsExpired(path, info);
  }
  ReportRecorder recorder{world, Cfg()};
  DiskMover mover{fn.Outside().sys, nullptr};
  std::vector<RemovedFilePtr> records;
  CleanUpRun run{world, Cfg(), recorder, mover, records};
};

// Each file is named and stamped so that the name alone decides, or the stamp warns.
TEST_F(JudgeTest, JudgesTheDateInTheNameAgainstNowAndTheStamp) {
  const struct {
    const char* name;  // in the test folder (folders are created)
    DateTime stamp;    // its last-write time
    bool expired, warned;
  } cases[] = {
      {"yesterday del-12-05-2026.txt", At(2026, 12, 4, 8), true, false},
      {"today del-12-06-2026.txt", At(2026, 12, 5, 8), true, false},
      {"written today del-12-06-2026.txt", At(2026, 12, 6, 9), false, true},
      {"stamp at midnight del-12-06-2026.txt", At(2026, 12, 6), true, false},
      {"tomorrow del-12-07-2026.txt", At(2026, 1, 1), false, false},
      {"next year del-12-06-2027.txt", At(2026, 1, 1), false, false},
      {"no such day del-02-30-2026.txt", At(2026, 1, 1), false, false},
      {"month 13 del-13-01-2026.txt", At(2026, 1, 1), false, false},
      {"upper DEL-04-01-2026.txt", At(2026, 1, 1), true, false},
      {"del-me del-01-02-2020.txt", At(2019, 1, 1), false, false},
      {"del-old/report del-01-02-2020.txt", At(2019, 1, 1), false, false},
      {"spaces del- 1- 2-2020.txt", At(2019, 1, 1), false, false},
      {"future stamp del-xx-xx-xxxx.txt", At(2026, 12, 9), false, true},
      {"plain name.txt", At(2019, 1, 1), false, false},
  };
  for (const auto& c : cases) {
    const std::string path = home / c.name;
    test::MakeFile(path, 1, c.stamp);
    const size_t warned_before = fn.WarningRpt->Warnings().size();
    EXPECT_EQ(FileIsExpired(path), c.expired) << c.name;
    const auto warnings = fn.WarningRpt->Warnings();
    EXPECT_EQ(std::vector<std::string>(warnings.begin() + warned_before, warnings.end()),
              c.warned
                  ? std::vector<std::string>{"Deletion date is before file creation date: " + path}
                  : std::vector<std::string>{})
        << c.name;
  }
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(JudgeTest, RemovalDateIsReadAfterTheFirstTokenOnly) {
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
