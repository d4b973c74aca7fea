// The long command line as a user types it: its grammar, its messages, and --json and
// relative paths for --runs and --restore.
#include <unistd.h>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/main_routine.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;

class InputsTest : public test::EngineTest {
 protected:
  // The exit status; out and err get what the command printed.
  int Run(const std::vector<std::string>& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunLongCommandLine(fn, args, Commands());
    out = testing::internal::GetCapturedStdout();
    err = testing::internal::GetCapturedStderr();
    return status;
  }
  std::string out, err;
  test::TempDir data;
};

TEST(LongGrammarTest, OptionsBeforeOrAfterOperandsAndAValueAfterAnotherOption) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> operands;
  } cases[] = {
      {{"--restore", "--rename", "last"}, {{"restore", "last"}, {"rename", ""}}, {}},
      {{"--restore", "last", "--rename", "a"}, {{"restore", "last"}, {"rename", ""}}, {"a"}},
      {{"--forecast", "--json", "5", "w.ksp"}, {{"forecast", "5"}, {"json", ""}}, {"w.ksp"}},
      {{"--runs", "--", "--json"}, {{"runs", ""}}, {"--json"}},
      {{"--keep-journals=3", "w.ksp", "--json"}, {{"keep-journals", "3"}, {"json", ""}}, {"w.ksp"}},
      {{"--version", "a", "--help", "--", "--b", "-s:c"},
       {{"version", ""}, {"help", ""}},
       {"a", "--b", "-s:c"}},
  };
  for (const auto& c : cases) {
    const LongCommandLine line = ParseLongCommandLine(c.args);
    EXPECT_EQ(line.options, c.options) << c.args[1];
    EXPECT_EQ(line.operands, c.operands) << c.args[1];
  }
  EXPECT_FALSE(IsLongCommandLine({"-s:--x"}));
  EXPECT_TRUE(IsLongCommandLine({"--x"}));
}

TEST_F(InputsTest, AMistakeIsTwoLinesWithTheRangeAndNothingRuns) {
  test::WriteFile(home / "w.ksp", "[Options]\n");
  const std::string help = "\nTry 'kestrel --help' for more information.\n";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--forecast", "36501", "w.ksp"},
       "--forecast takes a whole number of days from 0 to 36,500, not \"36501\""},
      {{"--keep-journals", "0", "w.ksp"},
       "--keep-journals takes a whole number of runs from 1 to 10,000, not \"0\""},
      {{"--wait=-1", "w.ksp"},
       "--wait takes a whole number of seconds from 0 to 999,999,999, not \"-1\""},
      {{"--mark", "7974y\n[x]", "f"},
       "--mark takes Nd, Nw, Nm or Ny (any N whose date falls on or before 12-31-9999) or a "
       "date MM-DD-YYYY, not \"7974y\\n[x]\""},
      {{"--runs", "extra"}, "extra operand 'extra'"},
      {{"--install-file-manager-actions", "a\nb"}, "extra operand 'a\\nb'"},
      {{"--preview", "w.ksp", "w.ksp"}, "extra operand 'w.ksp'"},
      {{"--preview"}, "--preview needs a configuration file"},
      {{"--json"}, "a run needs a configuration file"},
      {{"--restore"}, "option '--restore' needs RUN"},
      {{"--runs=1"}, "option '--runs' takes no value"},
      {{"--no\nsuch"}, "unrecognized option '--no\\nsuch'"},
      {{"--preview", "--forecast", "1", "w.ksp"},
       "options --preview and --forecast cannot be combined"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), kExitBadInput) << c.message;
    EXPECT_EQ(err, "kestrel: " + c.message + help);
    EXPECT_EQ(out, "");
  }
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
}

TEST_F(InputsTest, RunsAndRestoreSpeakJsonAndRestoreTakesRelativePaths) {
  Cfg().Filename(home / "w.ksp");
  Cfg().IncludeFolders().emplace_back(data.Path(), true);
  Cfg().QuarantineFolder(home / "q");
  ASSERT_TRUE(Cfg().Save());
  Cfg().LastRunDate(At(2026, 12, 5));
  test::MakeFile(data / "a del-01-01-2020.txt", 3, At(2019, 1, 1));
  test::MakeFile(data / "b del-01-01-2020.txt", 4, At(2019, 1, 1));
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));

  ASSERT_EQ(Run({"--runs", "--json"}), kExitOk);
  const std::string name = out.substr(out.find("\"name\":\"") + 8, 19);
  EXPECT_EQ(out, R"({"type":"run","name":")" + name + R"(","start":"2026-12-06T10:00:00",)" +
                     R"("files":2,"bytes":7,"restored":0,"config":")" + (home / "w.ksp") + "\"}\n");

  const std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(::chdir(data.Path().c_str()), 0);
  const int status = Run({"--json", "--restore", "last", "./a del-01-01-2020.txt"});
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_EQ(status, kExitOk) << err;
  const std::string a = data / "a del-01-01-2020.txt";
  EXPECT_EQ(out, R"({"type":"run","name":")" + name + "\"}\n" +
                     R"({"type":"restored","path":")" + a + "\"}\n" + R"({"type":"reminder","path":")" +
                     a + "\"}\n" + R"({"type":"summary","restored":1,"warnings":0,"status":0})" +
                     "\n");
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(data / "b del-01-01-2020.txt"));
}

}  // namespace
}  // namespace kestrel
