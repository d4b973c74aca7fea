#include <gmock/gmock.h>

#include "reports/settings_report.h"
#include "reports/text_box_writer.h"
#include "support/engine_fixture.h"

namespace kestrel::test {
namespace {

using Strings = std::vector<std::string>;

class ReportsTest : public EngineTest {
 protected:
  FileRemovalReport removals{clock};
  WarningReport warnings{clock};
  PrintLog log;
  ScriptedDialogs dialogs;

  ReportsTest() {
    dialogs.make_device = [this] { return std::make_unique<FakePrintDevice>(log); };
  }
  static std::string View(IReport& report) {
    MemoryTextBox box;
    box.text = "stale";
    report.ViewReport(box);
    return box.text;
  }
  static std::string Header(const std::string& title) {
    return "Kestrel Report - " + title + " - 2026-12-06 10:00:00";
  }
};

// The numbers and the prefix are a new configuration's own.
TEST_F(ReportsTest, SettingsLayout) {
  KestrelCfg& cfg = Cfg();
  cfg.UserName("ann\tx");
  cfg.Company("Acme Ltd");
  cfg.QuarantineFolder("/home/ann/ksquarantine");
  cfg.IncludeFolders() = {{"/home/ann/docs", true}, {"/srv/share\n * /", false}};
  cfg.ExcludeFolders() = {{"/home/ann/docs/keep", true}};
  const std::string rule(41, '-');
  const Strings expected = {
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
  EXPECT_EQ(Lines(View(*fn.SettingsRpt)), expected);
  Strings printed{"\n", Header("Settings"), "\n"};
  for (const std::string& line : expected) printed.insert(printed.end(), {line, ""});
  fn.SettingsRpt->PrintReport(dialogs);
  EXPECT_EQ(PrintedLines(log), printed);

  cfg.QuarantineFolder("");
  cfg.DisplayAllMessages(false);
  cfg.PurgeAfterDays(30);
  EXPECT_THAT(Lines(View(*fn.SettingsRpt)),
              testing::IsSupersetOf({" Quarantine Folder:     <Recycle Bin>",
                                     " Display All Messages:  No", " Purge After Days:      30"}));
}

// A moved file shows as its path, its control bytes escaped, among the run's messages. The view
// replaces what the box held, without breaks at its ends.
TEST_F(ReportsTest, FileRemovalInterleavesMessagesAndMovedFiles) {
  removals.RecordMessage("");
  removals.RecordMessage("Last run date was 2026-12-05");
  for (const char* path : {"/home/ann/a del-01-01-2026.txt", "/srv/b\ndone del-01-01-2026.txt"}) {
    auto file = std::make_shared<RemovedFile>();
    file->OriginalFilename(path);
    removals.RecordFileMoved(file);
  }
  removals.RecordMessage("  done  ");
  EXPECT_EQ(View(removals),
            "Last run date was 2026-12-05\n/home/ann/a del-01-01-2026.txt\n"
            "/srv/b\\ndone del-01-01-2026.txt\n  done  ");
  EXPECT_THROW(TextBoxWriter().WriteLn("a"), KsError);  // no box to write to
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
       {std::tuple{5, false, Strings{"\n", Header("Warnings"), "\n", "one"}},
        {0, true, Strings{"\n", Header("Warnings"), "\n", "one", "", "two", ""}}}) {
    log.clear();
    // Copies, as clang 14 captures no structured binding.
    dialogs.make_device = [this, line = fail_on_line, end = fail_on_end] {
      auto device = std::make_unique<FakePrintDevice>(log);
      device->fail_on_line = line;
      device->fail_on_end = end;
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
