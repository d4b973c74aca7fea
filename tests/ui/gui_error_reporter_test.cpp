#include <QTest>
#include <atomic>
#include <thread>

#include "ui/gui_error_reporter.h"
#include "ui/scripted_dialogs.h"
#include "ui/ui_fixture.h"

using namespace kestrel;

class GuiErrorReporterTest : public QObject {
  Q_OBJECT

 private:
  static void Report(ErrorReporter& reporter, const std::string& description) {
    reporter.ReportError(static_cast<std::int32_t>(0x80040001u), description,
                         "KestrelCfg.Load\nProfileStore.Open", 0, "Kestrel.log", "Kestrel");
  }

 private slots:
  void showsEveryReportAfterTheInnerReporterHasIt() {
    RecordingReporter inner;
    ScriptedDialogs dialogs;
    GuiErrorReporter reporter(inner);
    reporter.Attach(&dialogs);
    Report(reporter, "cannot read weekly.ksp");
    QCOMPARE(inner.Reports().size(), std::size_t{1});
    QCOMPARE(dialogs.shown.size(), std::size_t{1});
    QCOMPARE(dialogs.shown[0].text, std::string("cannot read weekly.ksp\n\nError 0x80040001 in "
                                                "KestrelCfg.Load\nProfileStore.Open"));
    QCOMPARE(dialogs.shown[0].caption, std::string("Kestrel"));
    QCOMPARE(dialogs.shown[0].buttons, MsgButtons::Ok);
    QCOMPARE(dialogs.shown[0].icon, MsgIcon::Critical);
  }

  // A report from a run's thread waits for its box, which the window's thread shows.
  void aReportFromAnotherThreadIsShownOnTheWindowsThread() {
    RecordingReporter inner;
    ScriptedDialogs dialogs;
    GuiErrorReporter reporter(inner);
    reporter.Attach(&dialogs);
    std::atomic<bool> returned = false;
    std::thread worker([&] {
      Report(reporter, "from the run");
      returned = true;
    });
    QTRY_VERIFY(returned);
    worker.join();
    QCOMPARE(dialogs.shown.size(), std::size_t{1});
    QCOMPARE(dialogs.shown[0].thread, std::this_thread::get_id());
  }

  // Silent mode never attaches: nothing is shown, the inner reporter still has everything.
  void reportsBeforeAttachWaitForTheWindow() {
    RecordingReporter inner;
    ScriptedDialogs dialogs;
    GuiErrorReporter reporter(inner);
    for (int i = 0; i < 12; ++i) Report(reporter, "early " + std::to_string(i));
    QCOMPARE(inner.Reports().size(), std::size_t{12});
    QVERIFY(dialogs.shown.empty());
    reporter.Attach(&dialogs);
    QCOMPARE(dialogs.shown.size(), std::size_t{10});
    QVERIFY(dialogs.shown[0].text.rfind("early 0\n", 0) == 0);
    reporter.Attach(nullptr);
    Report(reporter, "late");
    QCOMPARE(dialogs.shown.size(), std::size_t{10});
    QCOMPARE(inner.Reports().size(), std::size_t{13});
  }
};

QTEST_MAIN(GuiErrorReporterTest)
#include "gui_error_reporter_test.moc"
