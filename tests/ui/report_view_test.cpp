#include "ui/report_view.h"

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <string>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "reports/report_doubles.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"
#include "ui/report_commands.h"

namespace kestrel::test {
namespace {

// Twips to pixels at the viewer's DPI, independent of the viewer's own conversion.
int Px(double twips, int dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
double Tw(int pixels, int dpi) {
  return pixels * 1440.0 / dpi;
}

class ThrowingReport final : public IReport {
 public:
  void ViewReport(TextBox&) override { throw KsError(kAppError, "broken", "ThrowingReport"); }
  void PrintReport(Dialogs&) override {}
  std::string Name() const override { return "Broken Report"; }
  std::string Description() const override { return ""; }
};

}  // namespace

class ReportViewTest : public QObject {
  Q_OBJECT

  FixedClock clock_{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};

 private slots:
  void WithoutReportKeepsTheDesignTexts() {
    ReportView view;
    view.Load();
    QCOMPARE(view.windowTitle(), QString("Kestrel"));
    QCOMPARE(view.ReportBox()->toPlainText(), QString("(No Report Loaded)\n"));
  }

  void LoadShowsNameDescriptionAndLines() {
    WarningReport warnings(clock_);
    warnings.RecordWarning("Access denied: /srv/a del-01-01-2026");
    warnings.RecordWarning("");
    warnings.RecordWarning("Read only: /srv/b del-01-01-2026");
    ReportView view;
    view.SetReport(&warnings);
    view.Load();
    QCOMPARE(view.windowTitle(), QString("Kestrel - Warning Report"));
    QCOMPARE(view.Description()->text(), QString::fromStdString(warnings.Description()));
    QCOMPARE(view.ReportBox()->toPlainText(),
             QString("Access denied: /srv/a del-01-01-2026\n\nRead only: /srv/b del-01-01-2026"));
  }

  void LongReportLoadsEveryLine() {
    FileRemovalReport removals(clock_);
    for (int i = 0; i < 20000; ++i) removals.RecordMessage("line " + std::to_string(i));
    ReportView view;
    view.SetReport(&removals);
    view.Load();
    QCOMPARE(view.ReportBox()->blockCount(), 20000);
    QCOMPARE(view.ReportBox()->document()->lastBlock().text(), QString("line 19999"));
  }

  void BoxIsReadOnlyFixedPitchUnwrappedWithScrollBars() {
    ReportView view;
    QPlainTextEdit* box = view.ReportBox();
    QVERIFY(box->isReadOnly());
    QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(QFontInfo(box->font()).fixedPitch());
    QCOMPARE(box->font().pointSizeF(), 9.75);
    QVERIFY(view.Description()->wordWrap());
  }

  void FirstDisplayAppliesTheResizeRulesToTheDesignSize() {
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int dpi = view.logicalDpiX();
    QCOMPARE(view.width(), Px(9600, dpi));
    QCOMPARE(view.height(), Px(8580, view.logicalDpiY()));
    QCOMPARE(view.Description()->geometry(),
             QRect(Px(240, dpi), Px(240, dpi), Px(9600 - 480, dpi), Px(855, dpi)));
    QCOMPARE(view.Divider()->geometry(),
             QRect(Px(360, dpi), Px(1080, dpi), Px(9600 - 720, dpi), Px(135, dpi)));
    QCOMPARE(view.ReportBox()->geometry(),
             QRect(Px(120, dpi), Px(1440, dpi), Px(9600 - 240, dpi), Px(8580 - 1560, dpi)));
  }

  void ControlsFollowTheWindowsSize() {
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int dpi_x = view.logicalDpiX();
    const int dpi_y = view.logicalDpiY();
    for (const QSize size : {QSize(1000, 700), QSize(500, 300), QSize(777, 433)}) {
      view.resize(size);
      const double w = Tw(size.width(), dpi_x);
      const double h = Tw(size.height(), dpi_y);
      QCOMPARE(view.Description()->width(), Px(std::round(w - 480), dpi_x));
      QCOMPARE(view.Divider()->width(), Px(std::round(w - 720), dpi_x));
      QCOMPARE(view.ReportBox()->width(), Px(std::round(w - 240), dpi_x));
      QCOMPARE(view.ReportBox()->height(), Px(std::round(h - 1560), dpi_y));
      // Margins and the fixed heights stay as designed.
      QCOMPARE(view.ReportBox()->pos(), QPoint(Px(120, dpi_x), Px(1440, dpi_y)));
      QCOMPARE(view.Description()->pos(), QPoint(Px(240, dpi_x), Px(240, dpi_y)));
      QCOMPARE(view.Description()->height(), Px(855, dpi_y));
      QCOMPARE(view.Divider()->height(), Px(135, dpi_y));
    }
  }

  void ShrinkingBelowTheBoxLeavesItNoHeight() {
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int below = Px(1440 + 120, view.logicalDpiY()) - 20;
    view.resize(400, below);
    QCOMPARE(view.height(), below);
    QCOMPARE(view.ReportBox()->height(), 0);
    view.resize(10, 10);
    QCOMPARE(view.Description()->width(), 0);
    QCOMPARE(view.Divider()->width(), 0);
    QCOMPARE(view.ReportBox()->width(), 0);
  }

  void EachViewCommandOpensAFreshModalViewer() {
    WarningReport warnings(clock_);
    warnings.RecordWarning("clock went back");
    QWidget owner;
    QList<QPointer<QWidget>> seen;
    QStringList texts;
    auto close_when_shown = [&] {
      QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        QCOMPARE(modal->parentWidget(), &owner);
        seen.append(modal);
        texts.append(modal->findChild<QPlainTextEdit*>()->toPlainText());
        modal->close();
      });
    };
    close_when_shown();
    ShowReport(&owner, warnings);
    close_when_shown();
    ShowReport(&owner, warnings);
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].isNull());  // released once closed
    QVERIFY(seen[1].isNull());
    QCOMPARE(texts, QStringList({"clock went back", "clock went back"}));
  }

  void AFailingReportFailsTheViewCommand() {
    ThrowingReport broken;
    bool thrown = false;
    try {
      ShowReport(nullptr, broken);
    } catch (const KsError& e) {
      thrown = e.Description() == "broken";
    }
    QVERIFY(thrown);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
  }

  void Screenshot() {
    const QString dir = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("KESTREL_SCREENSHOT_DIR not set");
    FileRemovalReport removals(clock_);
    removals.RecordMessage("Last run date was 2026-12-05 22:00:00");
    for (const char* path :
         {"/home/ann/budget del-10-31-2026.xls", "/home/ann/Documents/minutes del-11-15-2026.odt",
          "/srv/share/old scans/scan 0042 del-12-01-2026.pdf"}) {
      auto file = std::make_shared<RemovedFile>();
      file->OriginalFilename(path);
      removals.RecordFileMoved(file);
    }
    removals.RecordMessage("Run finished: 3 files moved, 0.42 MB");
    ReportView view;
    view.SetReport(&removals);
    view.Load();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.grab().save(dir + "/report_view.png"));

    SilentReporter reporter;
    Functions fn{Platform{clock_, reporter, RealSys(), "/nonexistent"}};
    fn.CurrentCfg->UserName("ann");
    fn.CurrentCfg->Company("Acme Ltd");
    fn.CurrentCfg->QuarantineFolder("/home/ann/ksquarantine");
    fn.CurrentCfg->IncludeFolders() = {{"/home/ann/Documents", true}, {"/srv/share", false}};
    fn.CurrentCfg->ExcludeFolders() = {{"/home/ann/Documents/keep", true}};
    ReportView settings_view;
    settings_view.SetReport(fn.SettingsRpt.get());
    settings_view.Load();
    settings_view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings_view));
    QVERIFY(settings_view.grab().save(dir + "/settings_report_view.png"));
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::ReportViewTest)
#include "report_view_test.moc"
