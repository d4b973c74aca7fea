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
  std::string Stamped(const std::string& m) { return kStamp + m; }
  // The start line takes 22 + 41 + 1 characters, a message of n characters 22 + n + 1: in a
  // limit of 1000, the first message may have 913.
};

// Each row is one run: the log starts afresh and its size is tested after each line; a forced
// line ("!" first) always goes in and never stops the log. The limit counts characters, not
// bytes; a byte that starts no whole character counts as one.
TEST_F(LogFileTest, LimitIsTestedAfterEachLineAndForcedLinesGoIn) {
  std::string at = "\xF0\x9F\x98\x80", over = at;  // one emoji
  for (int i = 0; i < 912; ++i) at += "\xC3\xA9";  // "é"
  for (int i = 0; i < 909; ++i) over += "\xC3\xA9";
  over += "\xFF\xC3m\xF0";
  const std::string forced(2000, 'f');
  using Strings = std::vector<std::string>;
  // What a row shows, the limit in KB, the lines written and the lines after the start line.
  const std::tuple<const char*, std::int32_t, Strings, Strings> cases[] = {
      {"exactly at the limit goes on", 1, {at, "next"}, {Stamped(at), Stamped("next"), kStop}},
      {"one character more stops the log", 1, {over, "next"}, {Stamped(over), kStop}},
      {"limit 0", 0, {"dropped", "!summary"}, {kStop, Stamped("summary")}},
      {"forced over limit", 1, {"!" + forced, "after"}, {Stamped(forced), Stamped("after"), kStop}},
      {"a large limit does not overflow", 2147483647, {"run"}, {Stamped("run")}},
  };
  fn.RunLog->WriteLogMessage("dropped");  // before Initialize, only a forced line goes in
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
  fn.RunLog->WriteLogMessage("forced", true);
  EXPECT_EQ(LogText(), Stamped("forced") + "\n");
  for (const auto& [what, kb, written, expected] : cases) {
    SCOPED_TRACE(what);
    Cfg().MaxKBLogFile(kb);
    fn.RunLog->Initialize(Cfg().MaxKBLogFile());
    for (const std::string& w : written)
      w[0] == '!' ? fn.RunLog->WriteLogMessage(w.substr(1), true) : fn.RunLog->WriteLogMessage(w);
    auto lines = Lines(LogText());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], Stamped(Stamped("Kestrel log started")));
    EXPECT_EQ(Strings(lines.begin() + 1, lines.end()), expected);
    EXPECT_EQ(fn.RunLog->LoggingOn(), std::count(expected.begin(), expected.end(), kStop) == 0);
  }
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
    EXPECT_THROW(fn.RunLog->Initialize(Cfg().MaxKBLogFile()), KsError) << i;
    EXPECT_THROW(fn.RunLog->WriteLogMessage("forced", true), KsError) << i;
  }
  EXPECT_EQ(test::ReadFile(other / "kept"), "kept");
}

}  // namespace
}  // namespace kestrel
