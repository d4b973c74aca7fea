#include "app/main_routine.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "fs/run_lock.h"
#include "platform/error.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"
#include "support/foreign_user.h"

namespace kestrel {
namespace {

using test::At;
using ::testing::Contains;
using ::testing::HasSubstr;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct WithFaults {
  test::FaultSys faults;
};

class MainTest : public WithFaults, public test::EngineTest {
 protected:
  MainTest() : test::EngineTest(faults) {}
  int Run(const Strings& args) {
    return Main(fn, args, [this](Functions&) {
      ++gui_calls;
      return 0;
    });
  }
  // A saved configuration over an empty folder, last run yesterday.
  std::string SavedConfig(const std::string& name) {
    KestrelCfg cfg(fn.Outside());
    cfg.Filename(home / name);
    cfg.IncludeFolders().emplace_back(data.Path(), true);
    cfg.QuarantineFolder(data / "q");
    EXPECT_TRUE(cfg.Save());
    cfg.LastRunDate(At(2026, 12, 5));
    return cfg.Filename();
  }
  // A long command line; out and err get what it printed.
  int Long(const Strings& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunLongCommandLine(fn, args, Commands());
    out = testing::internal::GetCapturedStdout();
    err = testing::internal::GetCapturedStderr();
    return status;
  }
  int gui_calls = 0;
  test::TempDir data;
  std::string out, err;
};

TEST_F(MainTest, NamesCannotForgeLinesOnStdoutOrInTheLog) {
  const std::string etc = data / "d\n[2026-12-06 10:00:00] Kestrel completed/x\n[File Moved] /etc";
  test::MakeFile(etc + "/shadow\tdel-01-01-2020", 3, At(2019, 12, 1));
  SavedConfig("weekly.ksp");
  EXPECT_EQ(Long({"-s:weekly.ksp"}), kExitOk);
  const std::string shown = data.Path() + "/d\\n[2026-12-06 10:00:00] Kestrel completed";
  EXPECT_EQ(out, "[File Moved] " + shown + "/x\\n[File Moved] /etc/shadow\\tdel-01-01-2020\n");
  EXPECT_TRUE(fs::exists(data / "q/shadow\tdel-01-01-2020"));  // the name on disk is kept
  const auto log = test::Lines(LogText());
  EXPECT_THAT(log, Contains("[2026-12-06 10:00:00] Kestrel completed").Times(1));
  EXPECT_THAT(log, Contains("[2026-12-06 10:00:00] Scanning Folder: " + shown).Times(1));
}

TEST_F(MainTest, RunWhileAnotherHoldsTheLockExitsWithOneAndWritesNothing) {
  const std::string ksp = SavedConfig("weekly.ksp"), text = test::ReadFile(ksp);
  test::WriteFile(home / "Kestrel.log", "the other run's log\n");
  auto other = std::make_unique<RunLock>(RealSys(), home.Path());
  ASSERT_TRUE(other->Acquire(clock, 0));
  EXPECT_EQ(Run({"-s:weekly.ksp"}), kExitRunFailed);
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].description, "Another clean-up run is in progress");
  EXPECT_EQ(test::ReadFile(home / "Kestrel.log"), "the other run's log\n");
  EXPECT_EQ(test::ReadFile(ksp), text);
  EXPECT_FALSE(fs::exists(data / "q"));

  // With --wait the run waits, by the clock, for the other to end.
  clock.on_sleep = [&] {
    if (clock.sleeps == 2) other.reset();
  };
  EXPECT_EQ(RunLongCommandLine(fn, {"--wait", "600", "weekly.ksp"}, {}), kExitOk);
  EXPECT_EQ(clock.sleeps, 2);
  EXPECT_EQ(test::Lines(LogText()).back(), "[2026-12-06 10:00:02] Kestrel completed");
}

TEST_F(MainTest, BadCommandLineOrConfigurationIsReportedAndNothingRuns) {
  const std::string usage = "Silent option requires config file\n" + UsageText();
  const std::string unreadable = "The configuration file cannot be read: " + home.Path();
  const std::string command = "Functions.Main\nFunctions.ProcessCommandLine";
  const std::string load = "KestrelCfg.Load\nProfileStore";
  const struct {
    std::string arg, location, description_start;
  } cases[] = {
      {"-s:", command, usage},
      {"-s", command, usage},
      {"-sx", command, usage},
      {"-s:absent.ksp", "Functions.Main\nFunctions.Main", "Configuration file not found: "},
      {"-s:  ", load, unreadable + "/ (it is a folder)"},  // blank: the program folder
      {"-s:a\n[x] b.ksp", load, unreadable + "/a\\n[x] b.ksp (it is a folder)"},
      {"-s:bad.ksp", "KestrelCfg.Load\nKestrelCfg.Load", "Type mismatch"},  // fails part-way
  };
  test::MakeDir(home / "a\n[x] b.ksp");
  test::WriteFile(home / "bad.ksp",
                  "[Include]\nIncludeFoldersCount=1\nFolder001=/\nIncludeSubs001=maybe\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    reporter.reports.clear();
    EXPECT_EQ(Run({c.arg}), kExitBadInput);
    ASSERT_EQ(Locations(), Strings{c.location});
    EXPECT_THAT(reporter.reports[0].description, testing::StartsWith(c.description_start));
    EXPECT_FALSE(fs::exists(home / "Kestrel.log"));  // no run started
    EXPECT_EQ(reporter.reports[0].number, kAppError);
  }
  EXPECT_EQ(gui_calls, 0);
}

// A configuration that exists but cannot be read is neither run nor written: not by a silent
// run, not by the window's Save or Run, until another file is chosen.
TEST_F(MainTest, UnreadableConfigurationIsNeverRunNorReplaced) {
  const std::string ksp = SavedConfig("weekly.ksp"), text = test::ReadFile(ksp);
  const std::string bad = home / "bad.ksp";
  const struct {
    const char* name;
    std::function<int()> make;  // 0, or why it cannot be made here
    std::int32_t number;
    std::string reason;
  } cases[] = {
      {"FIFO", [&] { return ::mkfifo(bad.c_str(), 0600) ? errno : 0; }, kAppError, "it is a FIFO"},
      {"device", [&] { return ::mknod(bad.c_str(), S_IFCHR | 0600, makedev(1, 3)) ? errno : 0; },
       kAppError, "it is a device"},
      {"dangling link", [&] { return ::symlink("absent.ksp", bad.c_str()) ? errno : 0; }, kAppError,
       "it is a link to nothing"},
      {"no permission",
       [&] {
         // Root reads any file: the refusal comes from the seam instead.
         if (::geteuid() == 0) faults.Fail(test::Op::kOpenAt, EACCES, 0, "bad.ksp");
         test::WriteFile(bad, text, 0);
         return 0;
       },
       EACCES, "Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (const int err = c.make()) {
      std::printf("skipped %s: %s\n", c.name, std::strerror(err));
      continue;
    }
    struct stat before = test::LStat(bad);
    reporter.reports.clear();
    EXPECT_EQ(Run({"-s:bad.ksp"}), kExitBadInput);
    EXPECT_EQ(Run({bad}), 0);  // the window opens with the defaults
    EXPECT_FALSE(Cfg().Save());
    EXPECT_FALSE(CleanUp(fn.World(), Cfg()));
    ASSERT_EQ(Locations(),
              (Strings{"KestrelCfg.Load\nProfileStore", "KestrelCfg.Load\nProfileStore",
                       "KestrelCfg.Save\nKestrelCfg.Save",
                       "KestrelCfg.CleanUp\nKestrelCfg.LastRunDate"}));
    EXPECT_EQ(reporter.reports[0].description,
              "The configuration file cannot be read: " + bad + " (" + c.reason + ")");
    EXPECT_EQ(reporter.reports[0].number, c.number);
    EXPECT_EQ(reporter.reports[3].description,
              "The configuration file was not read, so it is not written: " + bad);
    const struct stat after = test::LStat(bad);
    EXPECT_EQ(std::tie(after.st_ino, after.st_mode), std::tie(before.st_ino, before.st_mode));
    EXPECT_EQ(test::Names(home.Path()),
              (Strings{".kestrel.lock", "Kestrel.log", "bad.ksp", "weekly.ksp"}));
    // Save As to another name is the way out.
    Cfg().Filename(home / "new.ksp");
    EXPECT_TRUE(Cfg().Save());
    for (const char* name : {"bad.ksp", "new.ksp", "Kestrel.log"}) fs::remove_all(home / name);
  }
  EXPECT_EQ(test::ReadFile(ksp), text);
}

TEST_F(MainTest, EveryCommandRefusesAProgramFolderOthersCanWrite) {
  SavedConfig("weekly.ksp");
  ASSERT_EQ(::chmod(home.Path().c_str(), 0770), 0);
  const std::string user = test::RunningUserName(), folder = home.Path();
  const std::string why = folder + " must belong to " + user +
                          " and be writable by no one else (chown " + user + " " + folder +
                          "; chmod go-w " + folder + ")";
  for (const Strings& args : std::vector<Strings>{
           {"weekly.ksp"}, {"--restore", "last"}, {"--runs"}, {"--purge", "weekly.ksp"}}) {
    EXPECT_EQ(Long(args), kExitBadInput) << args[0];
    EXPECT_EQ(err, "kestrel: " + why + "\n");
  }
  EXPECT_EQ(test::Names(folder), Strings{"weekly.ksp"});  // no lock, no log
  fn.GuiMode = true;  // the window says the same through its reporter
  EXPECT_FALSE(ProgramFolderTrusted(fn, "frmKestrel.cmdRun_Click"));
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].description, why);
}

TEST_F(MainTest, AMistakeIsTwoLinesWithTheRangeAndNothingRuns) {
  test::WriteFile(home / "w.ksp", "[Include]\nIncludeFoldersCount=0\n");  // no prefix token
  const std::string help = "\nTry 'kestrel --help' for more information.\n";
  const struct {
    Strings args;
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
      {{"--mark", "1w"}, "--mark needs at least one file"},
      {{"--unmark"}, "--unmark needs at least one file"},
      {{"--mark", "1w", "--config", "w.ksp", "f"}, "the configuration's prefix token is empty"},
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
    EXPECT_EQ(Long(c.args), kExitBadInput) << c.message;
    EXPECT_EQ(err, "kestrel: " + c.message + help);
    EXPECT_EQ(out, "");
  }
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
}

// A chroot or small container has no /proc: the run, its RunDate and a restore still complete.
TEST_F(MainTest, RunsAndRestoreSpeakJsonTakeRelativePathsAndNeedNoProc) {
  faults.no_proc = true;
  SavedConfig("w.ksp");
  test::MakeFile(data / "a del-01-01-2020.txt", 3, At(2019, 1, 1));
  test::MakeFile(data / "b del-01-01-2020.txt", 4, At(2019, 1, 1));
  ASSERT_EQ(Long({"w.ksp"}), kExitOk);
  EXPECT_THAT(test::ReadFile(home / "w.ksp"), HasSubstr("RunDate=2026-12-06 10:00:00"));

  ASSERT_EQ(Long({"--runs", "--json"}), kExitOk);
  const std::string name = out.substr(out.find("\"name\":\"") + 8, 19);
  EXPECT_EQ(out, R"({"type":"run","name":")" + name + R"(","start":"2026-12-06T10:00:00",)" +
                     R"("files":2,"bytes":7,"restored":0,"config":")" + (home / "w.ksp") + "\"}\n");

  const std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(::chdir(data.Path().c_str()), 0);
  const int status = Long({"--json", "--restore", "last", "./a del-01-01-2020.txt"});
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_EQ(status, kExitOk) << err;
  const std::string a = data / "a del-01-01-2020.txt";
  EXPECT_EQ(out, R"({"type":"run","name":")" + name + "\"}\n" + R"({"type":"restored","path":")" +
                     a + "\"}\n" + R"({"type":"reminder","path":")" + a + "\"}\n" +
                     R"({"type":"summary","restored":1,"warnings":0,"status":0})" + "\n");
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(data / "b del-01-01-2020.txt"));
}

// The token comes from default.ksp or --config.
TEST_F(MainTest, MarkRenamesEachFileWithTheTokenOfItsConfiguration) {
  for (const auto& [ksp, token] : {std::pair{"default.ksp", "rm-"}, {"other.ksp", "Weg-"}}) {
    test::WriteFile(home / ksp, std::string("[Options]\nPrefixToken=") + token +
                                    "\n[Include]\nIncludeFoldersCount=0\n");
  }
  test::MakeFile(data / "bud\nget.xls", 1, At(2026, 11, 1));
  test::MakeFile(data / "notes.txt", 1, At(2026, 11, 1));
  EXPECT_EQ(Long({"--mark", "30d", data / "bud\nget.xls"}), kExitOk);
  EXPECT_EQ(out, data.Path() + "/bud\\nget.xls -> bud\\nget rm-01-05-2027.xls\n");
  EXPECT_EQ(Long({"--mark", "1w", "--config", "missing.ksp", data / "notes.txt"}), kExitBadInput);
  EXPECT_EQ(Long({"--mark", "01-31-2027", "--config", "other.ksp", "--", data / "notes.txt",
                  data / "missing.txt"}),
            kExitRunFailed);
  EXPECT_EQ(test::Names(data.Path()),
            (Strings{"bud\nget rm-01-05-2027.xls", "notes Weg-01-31-2027.txt"}));
  EXPECT_EQ(Long({"--unmark", data / "bud\nget rm-01-05-2027.xls"}), kExitOk);
  EXPECT_EQ(test::Names(data.Path()), (Strings{"bud\nget.xls", "notes Weg-01-31-2027.txt"}));
}

// The short form: "-s" with any one character after it, then the file ("@" the program folder).
// The window opens with the file named, else default.ksp when there.
TEST_F(MainTest, ShortCommandLineSetsModeAndFileTheWindowLoads) {
  const struct {
    Strings args;
    bool gui;
    std::string file;
  } cases[] = {
      {{}, true, ""},
      {{"-s:weekly.ksp"}, false, "@/weekly.ksp"},
      {{"-s:  weekly.ksp  "}, false, "@/weekly.ksp"},
      {{"-s:", "weekly.ksp"}, false, "@/weekly.ksp"},
      {{"-sXweekly.ksp"}, false, "@/weekly.ksp"},
      {{"-S:weekly.ksp"}, true, "-S:weekly.ksp"},
      {{"-s:/etc/kestrel/weekly.ksp"}, false, "/etc/kestrel/weekly.ksp"},
      {{"-s:   "}, false, "@/"},
      {{"\"my file.ksp\""}, true, "\"my file.ksp\""},
      {{"-s:sub/dir/a b.ksp"}, false, "@/sub/dir/a b.ksp"},
  };
  for (const auto& c : cases) {
    fn.GuiMode = !c.gui;
    ProcessCommandLine(fn, CommandLineText(c.args));
    EXPECT_EQ(fn.GuiMode, c.gui) << c.file;
    EXPECT_EQ(Cfg().Filename(), c.file.starts_with('@') ? home.Path() + c.file.substr(1) : c.file);
  }
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Cfg().Filename(), "");
  SavedConfig("default.ksp");
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(gui_calls, 2);
  EXPECT_EQ(Cfg().Filename(), home / "default.ksp");
  EXPECT_EQ(Cfg().IncludeFolders().size(), 1u);

  // A file that fails part-way still opens the window with what was read.
  test::WriteFile(home / "bad.ksp", "[Options]\nPrefixToken=zz-\nDisplayAllMessages=perhaps\n");
  EXPECT_EQ(Run({home / "bad.ksp"}), 0);
  EXPECT_EQ(gui_calls, 3);
  EXPECT_EQ(Cfg().PrefixToken(), "zz-");
}

TEST(LongGrammarTest, OptionsBeforeOrAfterOperandsAndAValueAfterAnotherOption) {
  const struct {
    Strings args;
    std::vector<std::pair<std::string, std::string>> options;
    Strings operands;
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
  // A configuration operand resolves as the silent option's file does.
  EXPECT_EQ(ConfigOperandPath("/p", "w.ksp"), "/p/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s:w.ksp"), "/p/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s: /etc/w.ksp "), "/etc/w.ksp");
  EXPECT_EQ(ConfigOperandPath("/p", "-s:"), "");
}

}  // namespace
}  // namespace kestrel
