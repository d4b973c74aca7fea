#include "app/command_line.h"

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::EngineTest;

struct LineCase {
  std::vector<std::string> args;
  bool gui;
  std::string file;  // "@" stands for the program folder
};

class CommandLineTest : public EngineTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(CommandLineTest, SetsModeAndFile) {
  const LineCase& c = GetParam();
  std::string expected = c.file;
  if (expected.rfind('@', 0) == 0) expected = home.Path() + expected.substr(1);
  fn.GuiMode = !c.gui;
  ProcessCommandLine(fn, CommandLineText(c.args));
  EXPECT_EQ(fn.GuiMode, c.gui);
  EXPECT_EQ(Cfg().Filename(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(LineCase{{}, true, ""}, LineCase{{"-s:weekly.ksp"}, false, "@/weekly.ksp"},
                      LineCase{{"-s:  weekly.ksp  "}, false, "@/weekly.ksp"},
                      LineCase{{"-s:", "weekly.ksp"}, false, "@/weekly.ksp"},
                      LineCase{{"-sXweekly.ksp"}, false, "@/weekly.ksp"},
                      LineCase{{"-S:weekly.ksp"}, true, "-S:weekly.ksp"},
                      LineCase{{"-s:/etc/kestrel/weekly.ksp"}, false, "/etc/kestrel/weekly.ksp"},
                      LineCase{{"-s:   "}, false, "@/"},
                      LineCase{{"\"my file.ksp\""}, true, "\"my file.ksp\""},
                      LineCase{{"-s:sub/dir/a b.ksp"}, false, "@/sub/dir/a b.ksp"}));

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

TEST(LongCommandLineTest, ConfigOperandResolvesAsTheSilentOption) {
  EXPECT_EQ(ConfigOperandPath("/p", "w.ksp"), "/p/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s:w.ksp"), "/p/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s: /etc/w.ksp "), "/etc/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s:"), "");
}

}  // namespace
}  // namespace kestrel
