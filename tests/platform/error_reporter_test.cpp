#include "platform/error_reporter.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/console_error_reporter.h"
#include "platform/error.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

// The location is the handler, then the source (the handler again for a foreign exception); a
// reporter that fails does not escape.
TEST(ReportHandledTest, LocationIsHandlerThenSourceAndTheSixArguments) {
  test::RecordingReporter reporter;
  ReportHandled(reporter, "Functions.Main",
                std::make_exception_ptr(KsError(kAppError, "Silent option requires config file",
                                                "Functions.ProcessCommandLine")));
  ReportHandled(reporter, "KestrelCfg.MoveIt",
                std::make_exception_ptr(std::runtime_error("plain")));
  ASSERT_EQ(reporter.reports.size(), 2u);
  for (const auto& r : reporter.reports) EXPECT_EQ(r.number, -2147221503);
  const auto& r = reporter.reports[0];
  EXPECT_EQ(
      std::tie(r.description, r.location, r.context, r.log_name, r.app_name),
      std::make_tuple("Silent option requires config file",
                      "Functions.Main\nFunctions.ProcessCommandLine", 0, "Kestrel.log", "Kestrel"));
  EXPECT_EQ(reporter.reports[1].location, "KestrelCfg.MoveIt\nKestrelCfg.MoveIt");
  EXPECT_EQ(reporter.reports[1].description, "plain");
  struct Throwing : ErrorReporter {
    std::int32_t ReportError(std::int32_t, const std::string&, const std::string&, std::int32_t,
                             const std::string&, const std::string&) override {
      throw std::runtime_error("reporter down");
    }
  } throwing;
  EXPECT_NO_THROW(
      ReportHandled(throwing, "KestrelCfg.Save", std::make_exception_ptr(KsError(5, "x", "y"))));
}

// No log name: standard error only. A log that is no regular file is left alone, without
// waiting on a FIFO or writing through a link.
TEST(ConsoleErrorReporterTest, AppendsTimeStampedErrorToTheLog) {
  test::TempDir dir, fifo, linked;
  const test::FakeClock clock(test::At(2026, 12, 6, 9, 0, 0));
  ConsoleErrorReporter reporter(clock, dir.Path());
  reporter.ReportError(kAppError, "boom", "KestrelCfg.Save\nProfileStore", 0, "Kestrel.log",
                       "Kestrel");
  reporter.ReportError(kAppError, "busy", "Functions.Main\nFunctions.Main", 0, "", "Kestrel");
  ASSERT_EQ(::mkfifo((fifo / "Kestrel.log").c_str(), 0644), 0);
  ASSERT_EQ(::symlink((dir / "Kestrel.log").c_str(), (linked / "Kestrel.log").c_str()), 0);
  for (const test::TempDir* other : {&fifo, &linked})
    ConsoleErrorReporter(clock, other->Path())
        .ReportError(kAppError, "boom", "KestrelCfg.Save", 0, "Kestrel.log", "Kestrel");
  EXPECT_EQ(test::ReadFile(dir / "Kestrel.log"),
            "[2026-12-06 09:00:00] Kestrel: error 0x80040001 in KestrelCfg.Save\nProfileStore\n"
            "boom\n");
}

}  // namespace
}  // namespace kestrel
