#include "logging/log_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/error.h"

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::Lines;

constexpr const char* kStamp = "[2026-12-06 10:00:00] ";
constexpr const char* kStop = "-------  Logging stopped because size limit was reached.  -------";

class LogFileTest : public test::EngineTest {
 protected:
  LogFile& Log() { return *fn.RunLog; }
  std::string Stamped(const std::string& m) { return kStamp + m; }
  // The start line takes 22 + 41 + 1 characters; a message of n characters takes 22 + n + 1.
  static constexpr int kStartLine = 64;
};

TEST_F(LogFileTest, NothingIsWrittenBeforeInitializeUnlessForced) {
  Log().WriteLogMessage("dropped");
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
  Log().WriteLogMessage("forced", true);
  EXPECT_EQ(LogText(), Stamped("forced") + "\n");
}

TEST_F(LogFileTest, LimitIsTestedAfterTheLine) {
  struct Case {
    int message_length;
    bool stopped;
  };
  // Limit 1000: a count exactly at it goes on, one character more stops the log.
  for (const Case c : {Case{1000 - kStartLine - 23, false}, Case{1000 - kStartLine - 22, true}}) {
    Cfg().MaxKBLogFile(1);
    Log().Initialize(Cfg().MaxKBLogFile());
    const std::string big(static_cast<size_t>(c.message_length), 'm');
    Log().WriteLogMessage(big);
    Log().WriteLogMessage("next");
    const auto lines = Lines(LogText());
    if (c.stopped) {
      EXPECT_EQ(lines, (std::vector<std::string>{lines[0], Stamped(big), kStop}));
    } else {
      EXPECT_EQ(lines, (std::vector<std::string>{lines[0], Stamped(big), Stamped("next"), kStop}));
    }
  }
}

TEST_F(LogFileTest, ZeroLimitKeepsStartAndStopLinesAndForcedLines) {
  Cfg().MaxKBLogFile(0);
  Log().Initialize(Cfg().MaxKBLogFile());
  Log().WriteLogMessage("dropped");
  Log().WriteLogMessage("summary", true);
  EXPECT_EQ(Lines(LogText()),
            (std::vector<std::string>{std::string(kStamp) + kStamp + "Kestrel log started", kStop,
                                      Stamped("summary")}));
  EXPECT_FALSE(Log().LoggingOn());
}

TEST_F(LogFileTest, ForcedLineCrossingTheLimitKeepsLoggingOn) {
  Cfg().MaxKBLogFile(1);
  Log().Initialize(Cfg().MaxKBLogFile());
  Log().WriteLogMessage(std::string(2000, 'f'), true);
  EXPECT_TRUE(Log().LoggingOn());
  Log().WriteLogMessage("after");
  const auto lines = Lines(LogText());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], Stamped("after"));
  EXPECT_EQ(lines[3], kStop);
}

TEST_F(LogFileTest, SecondRunStartsAfreshAndLargeLimitsDoNotOverflow) {
  Cfg().MaxKBLogFile(2147483647);
  Log().Initialize(Cfg().MaxKBLogFile());
  Log().WriteLogMessage("first run");
  clock.Advance(61);
  Log().Initialize(Cfg().MaxKBLogFile());
  Log().WriteLogMessage("second run");
  EXPECT_EQ(Lines(LogText()), (std::vector<std::string>{
                                  "[2026-12-06 10:01:01] [2026-12-06 10:01:01] Kestrel log started",
                                  "[2026-12-06 10:01:01] second run"}));
  EXPECT_TRUE(Log().LoggingOn());
}

TEST_F(LogFileTest, CountsCharactersNotBytes) {
  EXPECT_EQ(CharacterCount("abc"), 3);
  EXPECT_EQ(CharacterCount("\xC3\xA9t\xC3\xA9"), 3);  // "été"
  EXPECT_EQ(CharacterCount("\xF0\x9F\x98\x80"), 1);   // one emoji
  EXPECT_EQ(CharacterCount("\xFF\xC3"), 2);           // invalid bytes count one each
}

// Whatever stands where the log should be and is no regular file: an error, never a wait on a
// FIFO, never a write through a link.
TEST_F(LogFileTest, ALogThatIsNoFileRaisesAnError) {
  const std::string log = home / "Kestrel.log";
  test::TempDir other;
  test::WriteFile(other / "kept", "kept");
  const std::vector<std::function<void()>> makers = {
      [&] { std::filesystem::create_directory(log); },
      [&] { ASSERT_EQ(::mkfifo(log.c_str(), 0644), 0); },
      [&] { ASSERT_EQ(::symlink((other / "kept").c_str(), log.c_str()), 0); }};
  for (size_t i = 0; i < makers.size(); ++i) {
    std::filesystem::remove(log);
    makers[i]();
    EXPECT_THROW(Log().Initialize(Cfg().MaxKBLogFile()), KsError) << i;
    EXPECT_THROW(Log().WriteLogMessage("forced", true), KsError) << i;
  }
  EXPECT_EQ(test::ReadFile(other / "kept"), "kept");
}

}  // namespace
}  // namespace kestrel
