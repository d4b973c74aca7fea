#include "app/command_line.h"
#include "app/commands/commands.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"
#include "scheduling/unit_text.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

TEST(UnitText, EscapesAsSystemdEscapeAndBackAndWritesDropInsAndCrontabLines) {
  // Expected texts as systemd-escape 252 prints them.
  const std::pair<const char*, const char*> cases[] = {
      {".hidden.ksp", "\\x2ehidden.ksp"}, {"a-b/c.ksp", "a\\x2db-c.ksp"},
      {"/abs/x.ksp", "-abs-x.ksp"},       {"\xc3\xbc.ksp", "\\xc3\\xbc.ksp"},
      {"back\\slash", "back\\x5cslash"},
  };
  for (const auto& [name, escaped] : cases) {
    EXPECT_EQ(SystemdEscape(name), escaped) << name;
    EXPECT_EQ(SystemdUnescape(escaped), name) << name;
    EXPECT_EQ(ConfigOfTimer(TimerUnit(name)), name) << name;
  }
  EXPECT_EQ(SystemdUnescape("bad\\x2"), std::nullopt);
  EXPECT_EQ(ConfigOfTimer("kestrel@.timer"), std::nullopt);
  EXPECT_EQ(ConfigOfTimer("other@x.timer"), std::nullopt);
  EXPECT_EQ(ServiceDropIn("/home/a \"b\"/100%\\k"),
            "[Service]\nEnvironment=\"KESTREL_HOME=/home/a \\\"b\\\"/100%%\\\\k\"\n");
  EXPECT_EQ(CrontabLine("weekly", "/usr/bin/kestrel", "/home/ann's/k", "50% off.ksp"),
            "@weekly KESTREL_HOME='/home/ann'\\''s/k' '/usr/bin/kestrel' --wait 600 "
            "'-s:50\\% off.ksp'");
  EXPECT_EQ(CrontabLine("Mon *-*-* 10:00", "/usr/bin/kestrel", "/k", "a.ksp"), std::nullopt);
  EXPECT_FALSE(FitsUnitFile("daily\nExecStart=/bin/evil"));
  EXPECT_FALSE(FitsUnitFile(""));
  EXPECT_TRUE(FitsUnitFile("Mon *-*-* 10:00"));
}

// weekly.ksp, an empty configuration. A fake systemctl first on PATH: it records its arguments, one
// call a line; "show" prints two timers; without a user manager (the file no-manager)
// "show-environment" fails, and without the units (the file no-units) "enable" fails with a message
// on standard error. PATH holds only that folder and mkdir, so systemd-analyze is there only when a
// test puts its fake there.
class ScheduleCommandTest : public test::EngineTest {
 protected:
  ScheduleCommandTest()
      : path_("PATH", bin.Path() + ":" + tools.Path()),
        config_home_("XDG_CONFIG_HOME", bin / "config") {
    std::filesystem::create_symlink("/bin/mkdir", tools / "mkdir");
    test::WriteFile(home / "weekly.ksp", "[Include]\nIncludeFoldersCount=0\n");
    test::WriteFile(bin / "systemctl", R"(#!/bin/sh
echo "$*" >> "${0%/*}/calls"
case "$2" in
  show-environment) [ -e "${0%/*}/no-manager" ] && exit 1 ;;
  enable) [ -e "${0%/*}/no-units" ] && echo 'Unit file not found.' >&2 && exit 1 ;;
  show) printf 'Id=kestrel@my\\x20weekly.ksp.timer\nNextElapseUSecRealtime=Mon 2026-12-07 00:12:00 UTC\n\nNextElapseUSecRealtime=\nId=kestrel@daily.ksp.timer\n' ;;
esac
exit 0
)",
                    0755);
  }
  int Run(const std::vector<std::string>& args) { return RunLongCommandLine(fn, args, Commands()); }
  // A systemd-analyze that refuses any calendar holding "bogus".
  void WithAnalyze() {
    test::WriteFile(bin / "systemd-analyze", R"(#!/bin/sh
case "$2" in *bogus*) echo "Failed to parse calendar expression '$2'" >&2; exit 1 ;; esac
exit 0
)",
                    0755);
  }
  std::vector<std::string> Calls() { return test::Lines(test::ReadFile(bin / "calls")); }
  std::string DropIn(const std::string& unit) {
    return test::ReadFile(bin / "config/systemd/user/" + unit + ".d/kestrel.conf");
  }
  Scheduler MakeScheduler() {
    return Scheduler(RealSys(), RealProgramRunner(), bin / "config", "/k home", "/usr/bin/kestrel");
  }

  test::TempDir bin, tools;

 private:
  test::EnvVar path_, config_home_;
};

TEST_F(ScheduleCommandTest, EnablesTheTimerWithItsDropInsAndDisablesIt) {
  test::WriteFile(home / "my weekly.ksp", "[Include]\nIncludeFoldersCount=0\n");
  EXPECT_EQ(Run({"--schedule", "my weekly.ksp", "daily"}), kExitOk);
  const std::string timer = "kestrel@my\\x20weekly.ksp.timer";
  EXPECT_EQ(Calls(), (std::vector<std::string>{"--user show-environment", "--user daemon-reload",
                                               "--user enable --now " + timer}));
  EXPECT_EQ(DropIn(timer), "[Timer]\nOnCalendar=\nOnCalendar=daily\n");
  EXPECT_EQ(DropIn("kestrel@my\\x20weekly.ksp.service"),
            "[Service]\nEnvironment=\"KESTREL_HOME=" + home.Path() + "\"\n");

  // --schedules: each configuration's calendar and next run, known only to a user manager.
  test::WriteFile(home / "daily.ksp", "[Include]\nIncludeFoldersCount=0\n");
  ASSERT_EQ(Run({"--schedule", "daily.ksp", "daily"}), kExitOk);
  EXPECT_EQ(MakeScheduler().List().message,
            "daily.ksp\tcalendar: daily\tnext run: none\n"
            "my weekly.ksp\tcalendar: daily\tnext run: Mon 2026-12-07 00:12:00 UTC");
  EXPECT_EQ(Calls().back(), "--user show --property=Id,NextElapseUSecRealtime kestrel@*.timer");
  test::WriteFile(bin / "no-manager", "");
  EXPECT_EQ(MakeScheduler().List().message,
            "daily.ksp\tcalendar: daily\tnext run: unknown (no systemd user instance)\n"
            "my weekly.ksp\tcalendar: daily\tnext run: unknown (no systemd user instance)");
  std::filesystem::remove(bin / "no-manager");

  std::filesystem::remove(bin / "calls");
  EXPECT_EQ(Run({"--unschedule", "my weekly.ksp"}), kExitOk);
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"--user show-environment", "--user disable --now " + timer,
                                      "--user daemon-reload"}));
  EXPECT_EQ(test::Names(bin / "config/systemd/user"),
            (std::vector<std::string>{"kestrel@daily.ksp.service.d", "kestrel@daily.ksp.timer.d"}));
}

TEST_F(ScheduleCommandTest, WithoutAUserManagerOnlyAGoodProgramFolderGetsACrontabLine) {
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

  // Without a manager a good program folder gets the crontab line (ScheduleDialogTest reads it),
  // where cron can say the calendar.
  WithAnalyze();
  EXPECT_EQ(Run({"--schedule", "weekly.ksp"}), kExitRunFailed);
  EXPECT_EQ(Calls(), std::vector<std::string>{"--user show-environment"});
  EXPECT_EQ(MakeScheduler().Schedule("weekly.ksp", "*-*-* 10:00").message,
            "There is no systemd user instance, and cron cannot express the calendar "
            "\"*-*-* 10:00\"; use daily, weekly or monthly with cron");
}

// A configuration that cannot be read, or a bad calendar, enables nothing and writes nothing.
TEST_F(ScheduleCommandTest, ABadCalendarIsRefusedBeforeAnythingIsWritten) {
  test::MakeDir(home / "folder.ksp");
  test::WriteFile(home / "bad.ksp", "[Include]\nIncludeFoldersCount=1\nFolder001=/x\n");
  // Whether systemd-analyze is there, the command line, its status.
  const std::tuple<bool, std::vector<std::string>, int> cases[] = {
      {true, {"--schedule", "weekly.ksp", "bogus cal"}, kExitBadInput},
      {true, {"--schedule", "weekly.ksp", "Mon *-*-* 10:00"}, kExitOk},
      {false, {"--schedule", "weekly.ksp", "Mon *-*-* 10:00"}, kExitBadInput},
      {false, {"--schedule", "weekly.ksp", "monthly"}, kExitOk},
      {false, {"--schedule", "missing.ksp"}, kExitBadInput},
      {false, {"--schedule", "folder.ksp"}, kExitBadInput},
      {false, {"--schedule", "bad.ksp"}, kExitBadInput},
      {false, {"--schedule", "-s:"}, kExitBadInput},
      {false, {"--schedule", "weekly.ksp", "daily", "weekly"}, kExitBadInput},
  };
  for (const auto& [analyze, args, status] : cases) {
    SCOPED_TRACE(args.back());
    std::filesystem::remove(bin / "systemd-analyze");
    if (analyze) WithAnalyze();
    std::filesystem::remove_all(bin / "config");
    std::filesystem::remove(bin / "calls");
    EXPECT_EQ(Run(args), status);
    EXPECT_EQ(std::filesystem::exists(bin / "config"), status == kExitOk);
    EXPECT_EQ(std::filesystem::exists(bin / "calls"), status == kExitOk);
  }
}

TEST_F(ScheduleCommandTest, AFailedEnablePutsTheOldDropInBackAndUnscheduleSaysWhatIsNot) {
  ASSERT_EQ(Run({"--schedule", "weekly.ksp", "daily"}), kExitOk);
  test::WriteFile(bin / "no-units", "");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Run({"--schedule", "weekly.ksp", "monthly"}), kExitRunFailed);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kestrel: systemctl --user enable --now kestrel@weekly.ksp.timer failed:\n"
            "Unit file not found.\n");
  EXPECT_EQ(DropIn("kestrel@weekly.ksp.timer"), "[Timer]\nOnCalendar=\nOnCalendar=daily\n");
  EXPECT_EQ(Calls().back(), "--user daemon-reload");
  // A first schedule that fails leaves no drop-in behind.
  test::WriteFile(home / "other.ksp", "[Include]\nIncludeFoldersCount=0\n");
  EXPECT_EQ(Run({"--schedule", "other.ksp"}), kExitRunFailed);
  EXPECT_FALSE(std::filesystem::exists(bin / "config/systemd/user/kestrel@other.ksp.timer.d"));

  testing::internal::CaptureStderr();
  EXPECT_EQ(Run({"--unschedule", "other.ksp"}), kExitRunFailed);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kestrel: other.ksp is not scheduled\n");
}

}  // namespace
}  // namespace kestrel
