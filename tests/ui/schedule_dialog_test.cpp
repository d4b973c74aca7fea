#include "ui/schedule_dialog.h"

#include <QtTest>
#include <QtWidgets>

#include "fs/sys.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"

namespace kestrel::test {
namespace {

// systemctl and systemd-analyze as the test sets them: a user manager or none.
struct FakeRunner : ProgramRunner {
  int Run(const std::vector<std::string>& argv, std::string* output) override {
    if (argv[0] == "systemd-analyze") return 0;
    if (argv[2] == "show-environment") return manager ? 0 : 1;
    if (argv[2] == "show" && output)
      *output = "Id=kestrel@weekly.ksp.timer\nNextElapseUSecRealtime=\n";
    return 0;
  }
  bool manager = true;
};

}  // namespace

class ScheduleDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;
  FakeRunner runner_;

 private slots:
  // The dialog shows the configuration's schedule, sets it and removes it.
  void setsShowsAndRemovesTheSchedule() {
    Scheduler scheduler(RealSys(), runner_, home_.path().toStdString(), "/k", "/usr/bin/kestrel");
    ScheduleDialog dialog(scheduler, "weekly.ksp");
    dialog.show();
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
    QVERIFY(!dialog.RemoveButton()->isEnabled());
    dialog.Calendar()->setCurrentText(QStringLiteral("daily"));
    QTest::mouseClick(dialog.ScheduleButton(), Qt::LeftButton);
    QCOMPARE(dialog.Current()->text(), "Scheduled: daily");
    QCOMPARE(dialog.Message()->text(), "Scheduled weekly.ksp (daily): kestrel@weekly.ksp.timer");
    QVERIFY(!dialog.CrontabLine()->isVisible());

    QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
    QVERIFY(!dialog.RemoveButton()->isEnabled());

    // Without a user manager the crontab line stands in a field of its own, and Copy copies it.
    runner_.manager = false;
    dialog.Calendar()->setCurrentText(QStringLiteral("weekly"));
    QTest::mouseClick(dialog.ScheduleButton(), Qt::LeftButton);
    const QString line =
        QStringLiteral("@weekly KESTREL_HOME='/k' '/usr/bin/kestrel' --wait 600 '-s:weekly.ksp'");
    QCOMPARE(dialog.CrontabLine()->text(), line);
    QVERIFY(dialog.CrontabLine()->isVisible() && dialog.CrontabLine()->isReadOnly());
    QCOMPARE(dialog.Message()->text(),
             "There is no systemd user instance. Add this line to your crontab (crontab -e):");
    QTest::mouseClick(dialog.CopyButton(), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), line);
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::ScheduleDialogTest)
#include "schedule_dialog_test.moc"
