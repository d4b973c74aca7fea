#include "app/main_routine.h"

#include "app/command_line.h"

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
namespace fs = std::filesystem;

class MainTest : public test::EngineTest {
 protected:
  int Run(const std::vector<std::string>& args) {
    return Main(fn, args, [this](Functions&) {
      ++gui_calls;
      return 0;
    });
  }
  // A saved configuration over an empty folder, last run yesterday.
  std::string SavedConfig(const std::string& name) {
    KestrelCfg cfg(fn);
    cfg.Filename(home / name);
    cfg.IncludeFolders().emplace_back(data.Path(), true);
    cfg.QuarantineFolder(data / "q");
    EXPECT_TRUE(cfg.Save());
    cfg.LastRunDate(At(2026, 12, 5));
    return cfg.Filename();
  }
  int gui_calls = 0;
  test::TempDir data;
};

TEST_F(MainTest, SilentRunOfASavedConfigurationWritesRunDateBack) {
  const std::string ksp = SavedConfig("weekly.ksp");
  EXPECT_EQ(Run({"-s:weekly.ksp"}), kExitOk);
  EXPECT_EQ(gui_calls, 0);
  EXPECT_NE(test::ReadFile(ksp).find("RunDate=2026-12-06 10:00:00"), std::string::npos);
  EXPECT_EQ(test::Lines(LogText()).back(), "[2026-12-06 10:00:00] Kestrel completed");
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(MainTest, AbsoluteSilentNameIsUsedAsItIs) {
  test::TempDir elsewhere;
  const std::string ksp = SavedConfig("x.ksp");
  fs::rename(ksp, elsewhere / "x.ksp");
  EXPECT_EQ(Run({"-s:" + (elsewhere / "x.ksp")}), kExitOk);
  EXPECT_EQ(Cfg().Filename(), elsewhere / "x.ksp");
}

TEST_F(MainTest, BadCommandLineOrConfigurationIsReportedAndNothingRuns) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string file_text;  // written to bad.ksp first when not empty
    std::string location;
    std::string description_start;
  };
  const std::vector<Case> cases = {
      {"no file",
       {"-s:"},
       "",
       "Functions.Main\nFunctions.ProcessCommandLine",
       "Silent option requires config file\nRemove Obsolete Files"},
      {"missing file",
       {"-s:absent.ksp"},
       "",
       "Functions.Main\nFunctions.Main",
       "Configuration file not found: "},
      {"blank name",
       {"-s:  "},
       "",
       "Functions.Main\nFunctions.Main",
       "Configuration file not found: "},
      {"load fails part-way",
       {"-s:bad.ksp"},
       "[Include]\nIncludeFoldersCount=1\nFolder001=/\nIncludeSubs001=maybe\n",
       "KestrelCfg.Load\nKestrelCfg.Load",
       "Type mismatch"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reporter.reports.clear();
    if (!c.file_text.empty()) test::WriteFile(home / "bad.ksp", c.file_text);
    EXPECT_EQ(Run(c.args), kExitBadInput);
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].location, c.location);
    EXPECT_EQ(reporter.reports[0].description.rfind(c.description_start, 0), 0u)
        << reporter.reports[0].description;
    EXPECT_FALSE(fs::exists(home / "Kestrel.log"));  // no run started
  }
  EXPECT_EQ(gui_calls, 0);
}

TEST_F(MainTest, RunEndedByItsErrorHandlerExitsWithOne) {
  const std::string ksp = SavedConfig("weekly.ksp");
  test::WriteFile(data / "q", "a file where the quarantine folder belongs");
  EXPECT_EQ(Run({"-s:weekly.ksp"}), kExitRunFailed);
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].location, "KestrelCfg.CleanUp\nKestrelCfg.CleanUp");
}

TEST_F(MainTest, GuiModeLoadsTheNamedFileOrDefaultKsp) {
  SavedConfig("default.ksp");
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(gui_calls, 1);
  EXPECT_EQ(Cfg().Filename(), home / "default.ksp");
  EXPECT_EQ(Cfg().IncludeFolders().size(), 1u);

  // A file that fails part-way still opens the window with what was read.
  test::WriteFile(home / "bad.ksp", "[Options]\nPrefixToken=zz-\nDisplayAllMessages=perhaps\n");
  EXPECT_EQ(Run({home / "bad.ksp"}), 0);
  EXPECT_EQ(gui_calls, 2);
  EXPECT_EQ(Cfg().PrefixToken(), "zz-");
}

TEST_F(MainTest, LongCommandLineRunsItsOneCommandOrASilentRun) {
  const std::string ksp = SavedConfig("weekly.ksp");
  int called = 0;
  const std::vector<LongCommand> commands = {
      {"help", [&](Functions&, const LongCommandLine&) { return ++called, 7; }},
      {"version", [&](Functions&, const LongCommandLine&) { return ++called, 8; }}};
  EXPECT_EQ(RunLongCommandLine(fn, {"--version", "x"}, commands), 8);
  EXPECT_EQ(called, 1);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--help", "--version"}, {"--", "a.ksp", "b.ksp"}, {"--nosuch", "a.ksp"}}) {
    reporter.reports.clear();
    EXPECT_EQ(RunLongCommandLine(fn, bad, commands), kExitBadInput);
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].location, "Functions.Main\nFunctions.ProcessCommandLine");
  }
  EXPECT_EQ(called, 1);
  reporter.reports.clear();
  EXPECT_EQ(RunLongCommandLine(fn, {"--", "weekly.ksp"}, commands), kExitOk);
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_NE(test::ReadFile(ksp).find("RunDate=2026-12-06 10:00:00"), std::string::npos);
  EXPECT_EQ(gui_calls, 0);
}

TEST_F(MainTest, GuiModeWithoutDefaultKspKeepsTheDefaults) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Cfg().Filename(), "");
  EXPECT_EQ(Cfg().PrefixToken(), "del-");
  EXPECT_EQ(gui_calls, 1);
}

}  // namespace
}  // namespace kestrel
