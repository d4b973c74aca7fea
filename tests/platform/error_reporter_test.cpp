#include "platform/error_reporter.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/console_error_reporter.h"
#include "platform/error.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

TEST(ReportHandledTest, LocationIsHandlerThenSourceAndTheSixArguments) {
  test::RecordingReporter reporter;
  ReportHandled(reporter, "Functions.Main",
                std::make_exception_ptr(KsError(kAppError, "Silent option requires config file",
                                                "Functions.ProcessCommandLine")));
  ReportHandled(reporter, "KestrelCfg.MoveIt",
                std::make_exception_ptr(std::runtime_error("plain")));
  ASSERT_EQ(reporter.reports.size(), 2u);
  const auto& first = reporter.reports[0];
  EXPECT_EQ(first.number, -2147221503);
  EXPECT_EQ(first.description, "Silent option requires config file");
  EXPECT_EQ(first.location, "Functions.Main\nFunctions.ProcessCommandLine");
  EXPECT_EQ(first.context, 0);
  EXPECT_EQ(first.log_name, "Kestrel.log");
  EXPECT_EQ(first.app_name, "Kestrel");
  EXPECT_EQ(reporter.reports[1].location, "KestrelCfg.MoveIt\nKestrelCfg.MoveIt");
  EXPECT_EQ(reporter.reports[1].description, "plain");
}

TEST(ReportHandledTest, AFailingReporterDoesNotEscape) {
  struct Throwing : ErrorReporter {
    std::int32_t ReportError(std::int32_t, const std::string&, const std::string&, std::int32_t,
                             const std::string&, const std::string&) override {
      throw std::runtime_error("reporter down");
    }
  } reporter;
  EXPECT_NO_THROW(
      ReportHandled(reporter, "KestrelCfg.Save", std::make_exception_ptr(KsError(5, "x", "y"))));
}

TEST(ConsoleErrorReporterTest, AppendsTimeStampedErrorToTheLog) {
  test::TempDir dir;
  test::FakeClock clock(test::At(2026, 12, 6, 9, 0, 0));
  ConsoleErrorReporter reporter(clock, dir.Path());
  reporter.ReportError(kAppError, "boom", "KestrelCfg.Save\nProfileStore", 0, "Kestrel.log",
                       "Kestrel");
  // No log name: standard error only.
  reporter.ReportError(kAppError, "busy", "Functions.Main\nFunctions.Main", 0, "", "Kestrel");
  EXPECT_EQ(test::ReadFile(dir / "Kestrel.log"),
            "[2026-12-06 09:00:00] Kestrel: error 0x80040001 in KestrelCfg.Save\nProfileStore\n"
            "boom\n");

  // A log that is no regular file is left alone, without waiting on a FIFO.
  test::TempDir fifo;
  ASSERT_EQ(::mkfifo((fifo / "Kestrel.log").c_str(), 0644), 0);
  ConsoleErrorReporter(clock, fifo.Path())
      .ReportError(kAppError, "boom", "KestrelCfg.Save", 0, "Kestrel.log", "Kestrel");
  test::TempDir linked;
  ASSERT_EQ(::symlink((dir / "Kestrel.log").c_str(), (linked / "Kestrel.log").c_str()), 0);
  ConsoleErrorReporter(clock, linked.Path())
      .ReportError(kAppError, "boom", "KestrelCfg.Save", 0, "Kestrel.log", "Kestrel");
  EXPECT_EQ(test::Lines(test::ReadFile(dir / "Kestrel.log")).size(), 3u);
}

}  // namespace
}  // namespace kestrel
