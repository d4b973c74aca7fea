#include <gtest/gtest.h>

#include <memory>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"
#include "support/doubles.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

class ReportsTest : public ::testing::Test {
 protected:
  FakeClock clock{At(2026, 12, 6, 10, 2, 36)};
  FileRemovalReport removals{clock};
  WarningReport warnings{clock};
  PrintLog log;
  ScriptedDialogs dialogs;

  ReportsTest() {
    dialogs.make_device = [this] { return std::make_unique<FakePrintDevice>(log); };
  }
  static std::string View(IReport& report) {
    MemoryTextBox box;
    report.ViewReport(box);
    return box.text;
  }
  static std::string Header(const std::string& title) {
    return "Kestrel Report - " + title + " - 2026-12-06 10:02:36";
  }
};

TEST_F(ReportsTest, SettingsLayout) {
  RecordingReporter reporter;
  Functions fn{Outside{clock, reporter, RealSys(), "/nonexistent/kestrel"}};
  KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.UserName("ann\tx");
  cfg.Company("Acme Ltd");
  cfg.PrefixToken("del-");
  cfg.QuarantineFolder("/home/ann/ksquarantine");
  cfg.MaxMBPerRun(50);
  cfg.MaxErrorsPerRun(10);
  cfg.MaxKBLogFile(512);
  cfg.DisplayAllMessages(true);
  cfg.IncludeFolders() = {{"/home/ann/docs", true}, {"/srv/share\n * /", false}};
  cfg.ExcludeFolders() = {{"/home/ann/docs/keep", true}};
  const std::string rule(41, '-');
  const Lines expected = {
      rule,
      "Options",
      rule,
      " User Name:             ann\\tx",  // one line per value, whatever it holds
      " Company:               Acme Ltd",
      " Prefix Token:          del-",
      " Quarantine Folder:     /home/ann/ksquarantine",
      " Max MB Per Run:        50",
      " Max Errors Per Run:    10",
      " Max KB Log File Size:  512",
      " Display All Messages:  Yes",
      " Purge After Days:      0 (never)",
      "",
      rule,
      "Include Folders  (* = include subfolders)",
      rule,
      " * /home/ann/docs",
      "   /srv/share\\n * /",
      "",
      rule,
      "Exclude Folders  (* = exclude subfolders)",
      rule,
      " * /home/ann/docs/keep"};
  std::string text;
  for (const std::string& line : expected) text += (text.empty() ? "" : "\n") + line;
  EXPECT_EQ(View(*fn.SettingsRpt), text);
  fn.SettingsRpt->PrintReport(dialogs);
  const Lines printed = PrintedLines(log);
  ASSERT_EQ(printed.size(), 3 + 2 * expected.size());
  EXPECT_EQ(printed[1], Header("Settings"));
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(printed[3 + 2 * i], expected[i]);

  cfg.QuarantineFolder("");
  cfg.DisplayAllMessages(false);
  cfg.PurgeAfterDays(30);
  const std::string empty_quarantine = View(*fn.SettingsRpt);
  EXPECT_NE(empty_quarantine.find("\n Quarantine Folder:     <Recycle Bin>\n"), std::string::npos);
  EXPECT_NE(empty_quarantine.find("\n Display All Messages:  No\n Purge After Days:      30\n"),
            std::string::npos);
}

TEST_F(ReportsTest, FileRemovalInterleavesMessagesAndMovedFiles) {
  removals.RecordMessage("Last run date was 2026-12-05");
  for (const char* path : {"/home/ann/a del-01-01-2026.txt", "/srv/b\ndone del-01-01-2026.txt"}) {
    auto file = std::make_shared<RemovedFile>();
    file->OriginalFilename(path);
    file->FileMoved(true);
    removals.RecordFileMoved(file);
  }
  removals.RecordMessage("done");
  EXPECT_EQ(View(removals),
            "Last run date was 2026-12-05\n/home/ann/a del-01-01-2026.txt\n"
            "/srv/b\\ndone del-01-01-2026.txt\ndone");
  removals.PrintReport(dialogs);
  EXPECT_EQ(PrintedLines(log),
            (Lines{"\n", Header("File Removal"), "\n", "Last run date was 2026-12-05", "",
                   "/home/ann/a del-01-01-2026.txt", "", "/srv/b\\ndone del-01-01-2026.txt", "",
                   "done", ""}));
}

TEST_F(ReportsTest, PrintsTheHeaderBlockAndEndsSilentlyOnCancelOrFailure) {
  warnings.PrintReport(dialogs);
  // 47 characters of 100 twips, centred in 11000: 5500 - 2350.
  EXPECT_EQ(log, (PrintLog{"font Courier New 10", "line \n", "x 3150.000000",
                           "line " + Header("Warnings"), "line \n", "end"}));

  for (const char* w : {"one", "two"}) warnings.RecordWarning(w);
  log.clear();
  dialogs.make_device = nullptr;
  warnings.PrintReport(dialogs);
  EXPECT_EQ(log, PrintLog{});
  for (const auto& [fail_on_line, fail_on_end, printed] :
       {std::tuple{5, false, Lines{"\n", Header("Warnings"), "\n", "one"}},
        {0, true, Lines{"\n", Header("Warnings"), "\n", "one", "", "two", ""}}}) {
    log.clear();
    dialogs.make_device = [&] {
      auto device = std::make_unique<FakePrintDevice>(log);
      device->fail_on_line = fail_on_line;
      device->fail_on_end = fail_on_end;
      return device;
    };
    EXPECT_NO_THROW(warnings.PrintReport(dialogs));
    EXPECT_EQ(PrintedLines(log), printed);
    EXPECT_EQ(log.back(), "end");
  }
  EXPECT_EQ(dialogs.print_dialogs_shown, 4);
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{});
}

}  // namespace
}  // namespace kestrel::test
