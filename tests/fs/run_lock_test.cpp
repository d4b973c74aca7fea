#include "fs/run_lock.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::At;

class RunLockTest : public ::testing::Test {
 protected:
  test::TempDir folder;
  test::FakeClock clock{At(2026, 12, 6, 10, 0, 0)};
  test::RecordingReporter reporter;
};

TEST_F(RunLockTest, WaitRefusalAndFailureAreReportedAndOnlyFailuresGoToTheLog) {
  RunLock holder(RealSys(), folder.Path());
  ASSERT_TRUE(holder.Acquire(clock, 0));
  RunLock busy(RealSys(), folder.Path() + "/");  // the same folder, however written
  // Sleeps move the clock one second each: tries at 0..6 s, the last one more than 5 s on.
  EXPECT_FALSE(TakeRunLock(busy, clock, reporter, 5, "Functions.Main"));
  EXPECT_EQ(clock.sleeps, 6);

  test::FaultSys faults;
  faults.Fail(test::Op::kOpenAt, EACCES);
  RunLock unopenable(faults, folder.Path());
  EXPECT_FALSE(TakeRunLock(unopenable, clock, reporter, 0, "frmKestrel.cmdRun_Click"));

  test::TempDir linked;
  ASSERT_EQ(::symlink((linked / "elsewhere").c_str(), (linked / ".kestrel.lock").c_str()), 0);
  RunLock through_link(RealSys(), linked.Path());
  EXPECT_FALSE(TakeRunLock(through_link, clock, reporter, 0, "Functions.Main"));
  EXPECT_FALSE(std::filesystem::exists(linked / "elsewhere"));

  test::TempDir fifo;
  ASSERT_EQ(::mkfifo((fifo / ".kestrel.lock").c_str(), 0644), 0);
  RunLock on_fifo(RealSys(), fifo.Path());
  EXPECT_FALSE(TakeRunLock(on_fifo, clock, reporter, 0, "Functions.Main"));  // does not block

  ASSERT_EQ(reporter.reports.size(), 4u);
  EXPECT_EQ(reporter.reports[0].description, "Another clean-up run is in progress");
  EXPECT_EQ(reporter.reports[0].number, kAppError);
  EXPECT_EQ(reporter.reports[0].location, "Functions.Main\nFunctions.Main");
  EXPECT_EQ(reporter.reports[0].log_name, "");
  EXPECT_EQ(reporter.reports[1].description,
            "open failed for " + (folder / ".kestrel.lock") + ": Permission denied");
  EXPECT_EQ(reporter.reports[1].location, "frmKestrel.cmdRun_Click\nRunLock");
  EXPECT_EQ(reporter.reports[1].log_name, "Kestrel.log");
  EXPECT_EQ(reporter.reports[2].number, ELOOP);
  EXPECT_EQ(reporter.reports[3].description,
            "The run lock " + (fifo / ".kestrel.lock") + " is not a file");
  EXPECT_EQ(clock.sleeps, 6);  // no wait asked for after the first, none made
}

}  // namespace
}  // namespace kestrel
