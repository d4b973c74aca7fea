#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reports/report_doubles.h"
#include "reports/run_records.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

RemovedFilePtr Moved(const std::string& path) {
  auto file = std::make_shared<RemovedFile>();
  file->OriginalFilename(path);
  file->FileMoved(true);
  return file;
}

class RunRecordsReportTest : public ::testing::Test {
 protected:
  FixedClock clock{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  FileRemovalReport removals{clock};
  WarningReport warnings{clock};
  PrintLog log;
  FakeDialogs dialogs;

  RunRecordsReportTest() {
    dialogs.make_device = [this] { return std::make_unique<FakePrintDevice>(log); };
  }

  std::string View(IReport& report) {
    MemoryTextBox box;
    box.text = "stale";
    report.ViewReport(box);
    return box.text;
  }

  std::string Header(const std::string& title) const {
    return "Kestrel Report - " + title + " - " + clock.Now().ToDisplayText();
  }
};

TEST_F(RunRecordsReportTest, MessagesAndMovedFilesViewInRecordingOrder) {
  removals.RecordMessage("Last run date was 2026-12-05");
  removals.RecordFileMoved(Moved("/home/ann/a del-01-01-2026.txt"));
  removals.RecordFileMoved(Moved("/home/ann/b del-01-01-2026.txt"));
  removals.RecordMessage("done");
  EXPECT_EQ(View(removals),
            "Last run date was 2026-12-05\n/home/ann/a del-01-01-2026.txt\n"
            "/home/ann/b del-01-01-2026.txt\ndone");
  EXPECT_EQ(View(removals), View(removals));
}

TEST_F(RunRecordsReportTest, ViewShowsTheRecordAsItIsWhenViewed) {
  auto file = Moved("/tmp/old del-01-01-2026");
  removals.RecordFileMoved(file);
  file->OriginalFilename("/tmp/renamed del-01-01-2026");
  EXPECT_EQ(View(removals), "/tmp/renamed del-01-01-2026");
}

TEST_F(RunRecordsReportTest, EmptyReportsViewAsAnEmptyBox) {
  EXPECT_EQ(View(removals), "");
  EXPECT_EQ(View(warnings), "");
}

TEST_F(RunRecordsReportTest, EmptyReportPrintsTheHeaderBlockOnly) {
  warnings.PrintReport(dialogs);
  EXPECT_EQ(PrintedLines(log), (Lines{"\n", Header("Warnings"), "\n"}));
  EXPECT_EQ(log.back(), "end");
}

TEST_F(RunRecordsReportTest, FileRemovalPrintsEntriesUnderItsHeader) {
  removals.RecordMessage("first run");
  removals.RecordFileMoved(Moved("/srv/x del-02-02-2026.doc"));
  removals.PrintReport(dialogs);
  EXPECT_EQ(PrintedLines(log), (Lines{"\n", Header("File Removal"), "\n", "first run", "",
                                      "/srv/x del-02-02-2026.doc", ""}));
  EXPECT_EQ(dialogs.print_dialogs_shown, 1);
}

TEST_F(RunRecordsReportTest, LongPathPrintsOnSeveralLinesButViewsAsOne) {
  const std::string path = "/" + std::string(150, 'p');
  removals.RecordFileMoved(Moved(path));
  EXPECT_EQ(View(removals), path);
  removals.PrintReport(dialogs);
  const Lines printed = PrintedLines(log);
  ASSERT_EQ(printed.size(), 6u);
  EXPECT_EQ(printed[3] + printed[4], path);
  EXPECT_EQ(printed[3].size(), 98u);
}

TEST_F(RunRecordsReportTest, CancelPrintsNothingAndSaysNothing) {
  warnings.RecordWarning("read only");
  dialogs.make_device = nullptr;
  warnings.PrintReport(dialogs);
  EXPECT_EQ(dialogs.print_dialogs_shown, 1);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(dialogs.message_boxes_shown, 0);
  EXPECT_EQ(warnings.Warnings(), (Lines{"read only"}));
}

TEST_F(RunRecordsReportTest, FailureEndsSilentlyAndStillEndsTheDocument) {
  for (const char* w : {"one", "two", "three"}) warnings.RecordWarning(w);
  dialogs.make_device = [this] {
    auto made = std::make_unique<FakePrintDevice>(log);
    made->fail_on_line = 5;  // header takes three lines; "one" and its gap follow
    return made;
  };
  EXPECT_NO_THROW(warnings.PrintReport(dialogs));
  EXPECT_EQ(PrintedLines(log), (Lines{"\n", Header("Warnings"), "\n", "one"}));
  EXPECT_EQ(log.back(), "end");
  EXPECT_EQ(dialogs.message_boxes_shown, 0);
}

TEST_F(RunRecordsReportTest, EachPrintIsItsOwnJob) {
  warnings.RecordWarning("w");
  warnings.PrintReport(dialogs);
  removals.PrintReport(dialogs);
  int fonts = 0;
  int ends = 0;
  for (const std::string& entry : log) {
    fonts += entry.rfind("font ", 0) == 0 ? 1 : 0;
    ends += entry == "end" ? 1 : 0;
  }
  EXPECT_EQ(fonts, 2);
  EXPECT_EQ(ends, 2);
}

TEST_F(RunRecordsReportTest, AFailingPrintDialogEndsSilently) {
  dialogs.make_device = []() -> std::unique_ptr<PrintDevice> {
    throw KsError(kAppError, "no printer", "dialog");
  };
  EXPECT_NO_THROW(removals.PrintReport(dialogs));
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace kestrel::test
