#include "reports/settings_report.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "reports/report_doubles.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kRule(41, '-');

class SettingsReportTest : public ::testing::Test {
 protected:
  FixedClock clock{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  SilentReporter reporter;
  Functions fn{Platform{clock, reporter, RealSys(), "/nonexistent/kestrel"}};
  SettingsReport report{fn};

  SettingsReportTest() {
    KestrelCfg& cfg = *fn.CurrentCfg;
    cfg.UserName("ann");
    cfg.Company("Acme Ltd");
    cfg.PrefixToken("del-");
    cfg.QuarantineFolder("/home/ann/ksquarantine");
    cfg.MaxMBPerRun(50);
    cfg.MaxErrorsPerRun(10);
    cfg.MaxKBLogFile(512);
    cfg.DisplayAllMessages(true);
  }

  Lines View() {
    MemoryTextBox box;
    report.ViewReport(box);
    Lines lines;
    std::string::size_type start = 0;
    for (;;) {
      const auto end = box.text.find('\n', start);
      lines.push_back(box.text.substr(start, end - start));
      if (end == std::string::npos) return lines;
      start = end + 1;
    }
  }
};

TEST_F(SettingsReportTest, ListsOptionsAndFoldersLineByLine) {
  fn.CurrentCfg->IncludeFolders() = {{"/home/ann/docs", true}, {"/srv/share", false}};
  fn.CurrentCfg->ExcludeFolders() = {{"/home/ann/docs/keep", true}};
  EXPECT_EQ(View(), (Lines{
                        kRule,
                        "Options",
                        kRule,
                        " User Name:             ann",
                        " Company:               Acme Ltd",
                        " Prefix Token:          del-",
                        " Quarantine Folder:     /home/ann/ksquarantine",
                        " Max MB Per Run:        50",
                        " Max Errors Per Run:    10",
                        " Max KB Log File Size:  512",
                        " Display All Messages:  Yes",
                        "",
                        kRule,
                        "Include Folders  (* = include subfolders)",
                        kRule,
                        " * /home/ann/docs",
                        "   /srv/share",
                        "",
                        kRule,
                        "Exclude Folders  (* = exclude subfolders)",
                        kRule,
                        " * /home/ann/docs/keep",
                    }));
}

TEST_F(SettingsReportTest, EmptyListsAndTrashQuarantine) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.QuarantineFolder("");
  cfg.DisplayAllMessages(false);
  cfg.MaxErrorsPerRun(-5);
  cfg.MaxMBPerRun(1000000);
  cfg.IncludeFolders().clear();
  cfg.ExcludeFolders().clear();
  const Lines lines = View();
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[6], " Quarantine Folder:     <Recycle Bin>");
  EXPECT_EQ(lines[7], " Max MB Per Run:        1000000");
  EXPECT_EQ(lines[8], " Max Errors Per Run:    -5");
  EXPECT_EQ(lines[10], " Display All Messages:  No");
  EXPECT_EQ((Lines{lines.begin() + 13, lines.end()}),
            (Lines{"Include Folders  (* = include subfolders)", kRule, "", kRule,
                   "Exclude Folders  (* = exclude subfolders)", kRule}));
}

TEST_F(SettingsReportTest, ShowsTheConfigurationAsItIsWhenViewed) {
  EXPECT_EQ(View()[5], " Prefix Token:          del-");
  fn.CurrentCfg->PrefixToken("remove-");
  EXPECT_EQ(View()[5], " Prefix Token:          remove-");

  auto replacement = std::make_shared<KestrelCfg>(fn);
  replacement->UserName("bob");
  fn.CurrentCfg = replacement;
  EXPECT_EQ(View()[3], " User Name:             bob");
}

TEST_F(SettingsReportTest, TheProgramsSettingsReportExistsFromStartUp) {
  ASSERT_NE(fn.SettingsRpt, nullptr);
  MemoryTextBox box;
  fn.SettingsRpt->ViewReport(box);
  EXPECT_EQ(box.text.substr(0, 50), kRule + "\nOptions\n");
}

TEST_F(SettingsReportTest, PrintsTheSameLinesUnderItsHeaderDoubleSpaced) {
  fn.CurrentCfg->IncludeFolders() = {{"/home/ann/docs", false}};
  const Lines viewed = View();

  PrintLog log;
  FakeDialogs dialogs;
  dialogs.make_device = [&] { return std::make_unique<FakePrintDevice>(log); };
  report.PrintReport(dialogs);

  Lines expected{"\n", "Kestrel Report - Settings - " + clock.Now().ToDisplayText(), "\n"};
  for (const std::string& line : viewed) {
    expected.push_back(line);
    expected.push_back("");
  }
  EXPECT_EQ(PrintedLines(log), expected);
  EXPECT_EQ(log.back(), "end");
}

}  // namespace
}  // namespace kestrel::test
