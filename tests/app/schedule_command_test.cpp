#include "app/command_line.h"
#include "app/commands/commands.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

// A fake systemctl first on PATH: it records its arguments, one call a line; "show" prints two
// timers; without a user manager (the file no-manager) "show-environment" fails, and without
// the units (the file no-units) "enable" fails with a message on standard error.
class ScheduleCommandTest : public test::EngineTest {
 protected:
  ScheduleCommandTest()
      : path_("PATH", bin.Path() + ":" + std::getenv("PATH")),
        config_home_("XDG_CONFIG_HOME", bin / "config") {
    std::string script = R"(#!/bin/sh
echo "$*" >> '@/calls'
case "$2" in
  show-environment) [ -e '@/no-manager' ] && exit 1 ;;
  enable) [ -e '@/no-units' ] && echo 'Unit file not found.' >&2 && exit 1 ;;
  show) printf 'Id=kestrel@my\\x20weekly.ksp.timer\nNextElapseUSecRealtime=Mon 2026-12-07 00:12:00 UTC\n\nNextElapseUSecRealtime=\nId=kestrel@daily.ksp.timer\n' ;;
esac
exit 0
)";
    for (size_t at; (at = script.find("'@/")) != std::string::npos;) {
      script.replace(at + 1, 1, bin.Path());
    }
    test::WriteFile(bin / "systemctl", script, 0755);
  }
  int Run(const std::vector<std::string>& args) { return RunLongCommandLine(fn, args, Commands()); }
  std::vector<std::string> Calls() { return test::Lines(test::ReadFile(bin / "calls")); }
  std::string DropIn(const std::string& unit) {
    return test::ReadFile(bin / "config/systemd/user/" + unit + ".d/kestrel.conf");
  }
  Scheduler MakeScheduler() {
    return Scheduler(RealSys(), RealProgramRunner(), bin / "config", "/k home", "/usr/bin/kestrel");
  }

  test::TempDir bin;

 private:
  test::EnvVar path_, config_home_;
};

TEST_F(ScheduleCommandTest, EnablesTheTimerWithItsDropInsAndDisablesIt) {
  test::WriteFile(home / "my weekly.ksp",
                  "[Options]\nPrefixToken=del-\n[Include]\nIncludeFoldersCount=0\n");
  EXPECT_EQ(Run({"--schedule", "my weekly.ksp", "daily"}), kExitOk);
  const std::string timer = "kestrel@my\\x20weekly.ksp.timer";
  EXPECT_EQ(Calls(), (std::vector<std::string>{"--user show-environment", "--user daemon-reload",
                                               "--user enable --now " + timer}));
  EXPECT_EQ(DropIn(timer), "[Timer]\nOnCalendar=\nOnCalendar=daily\n");
  EXPECT_EQ(DropIn("kestrel@my\\x20weekly.ksp.service"),
            "[Service]\nEnvironment=\"KESTREL_HOME=" + home.Path() + "\"\n");

  EXPECT_EQ(Run({"--unschedule", "my weekly.ksp"}), kExitOk);
  EXPECT_EQ(Calls().size(), 6u);
  EXPECT_EQ(Calls()[4], "--user disable --now " + timer);
  EXPECT_EQ(test::Names(bin / "config/systemd/user"), std::vector<std::string>{});
}

TEST_F(ScheduleCommandTest, AConfigurationThatCannotBeReadEnablesNothing) {
  test::MakeDir(home / "folder.ksp");
  test::WriteFile(home / "bad.ksp", "[Include]\nIncludeFoldersCount=1\nFolder001=/x\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--schedule", "missing.ksp"},
                                             {"--schedule", "folder.ksp"},
                                             {"--schedule", "bad.ksp"},
                                             {"--schedule", "-s:"},
                                             {"--schedule", "bad.ksp", "daily", "weekly"}}) {
    EXPECT_EQ(Run(args), kExitBadInput) << args[1];
  }
  EXPECT_EQ(Calls(), std::vector<std::string>{});
  EXPECT_EQ(test::Names(bin.Path()), (std::vector<std::string>{"systemctl"}));
}

TEST_F(ScheduleCommandTest, WithoutAUserManagerGivesTheCrontabLine) {
  test::WriteFile(bin / "no-manager", "");
  test::WriteFile(home / "weekly.ksp",
                  "[Options]\nPrefixToken=del-\n[Include]\nIncludeFoldersCount=0\n");
  EXPECT_EQ(Run({"--schedule", "weekly.ksp"}), kExitRunFailed);
  EXPECT_EQ(Calls(), std::vector<std::string>{"--user show-environment"});
  const ScheduleOutcome weekly = MakeScheduler().Schedule("weekly.ksp", "weekly");
  EXPECT_EQ(weekly.status, 1);
  EXPECT_EQ(weekly.message,
            "There is no systemd user instance. Add this line to your crontab (crontab -e):\n"
            "@weekly KESTREL_HOME='/k home' '/usr/bin/kestrel' --wait 600 '-s:weekly.ksp'");
  EXPECT_EQ(MakeScheduler().Schedule("weekly.ksp", "*-*-* 10:00").message,
            "There is no systemd user instance, and cron cannot express the calendar "
            "\"*-*-* 10:00\"; use daily, weekly or monthly with cron");
}

TEST_F(ScheduleCommandTest, ReportsWhatSystemctlSaysWhenItFails) {
  test::WriteFile(bin / "no-units", "");
  const ScheduleOutcome out = MakeScheduler().Schedule("weekly.ksp", "weekly");
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.message,
            "systemctl --user enable --now kestrel@weekly.ksp.timer failed:\nUnit file not found.");
}

TEST_F(ScheduleCommandTest, AProgramFolderWithALineBreakGoesIntoNoUnitNorCrontabLine) {
  for (const char* manager : {"", "no-manager"}) {
    if (*manager != '\0') test::WriteFile(bin / manager, "");
    const ScheduleOutcome out = Scheduler(RealSys(), RealProgramRunner(), bin / "config",
                                          "/k\nExecStartPre=/bin/evil", "kestrel")
                                    .Schedule("weekly.ksp", "weekly");
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.message,
              "The program folder \"/k\\nExecStartPre=/bin/evil\" cannot be scheduled: its name "
              "holds a line break or another control byte");
  }
  EXPECT_EQ(Calls(), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(bin / "config"));
}

TEST_F(ScheduleCommandTest, ListsTheScheduledConfigurationsWithTheirNextRun) {
  const ScheduleOutcome list = MakeScheduler().List();
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.message,
            "my weekly.ksp\tnext run: Mon 2026-12-07 00:12:00 UTC\ndaily.ksp\tnext run: none");
  EXPECT_EQ(Calls().back(), "--user show --property=Id,NextElapseUSecRealtime kestrel@*.timer");
}

}  // namespace
}  // namespace kestrel
