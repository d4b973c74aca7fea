#include <QtPrintSupport>
#include <QtTest>
#include <QtWidgets>

#include "reports/run_records.h"
#include "support/doubles.h"
#include "ui/qt_print_device.h"
#include "ui/qt_print_dialog.h"
#include "ui/report_view.h"

namespace kestrel::test {

class ReportTest : public QObject {
  Q_OBJECT

  FakeClock clock_{At(2026, 12, 6, 10, 2, 36)};
  QTemporaryDir dir_;

 private slots:
  // The viewer says no report is loaded until it is given one.
  void viewerShowsNothingOrTheReport() {
    ReportView view;
    view.Load();
    QCOMPARE(view.windowTitle(), "Kestrel");
    QCOMPARE(view.ReportBox()->toPlainText(), "(No Report Loaded)\n");
    WarningReport warnings(clock_);
    for (const char* w : {"Access denied: /srv/a del-01-01-2026", "", "Read only: /srv/b"})
      warnings.RecordWarning(w);
    view.SetReport(&warnings);
    view.Load();
    QCOMPARE(view.windowTitle(), "Kestrel - Warning Report");
    QVERIFY(view.Description()->text().startsWith("This report shows warnings about:\n"));
    QCOMPARE(view.ReportBox()->toPlainText(),
             "Access denied: /srv/a del-01-01-2026\n\nRead only: /srv/b");
  }

  // The viewer opens inside the screen, whatever the scale (the offscreen screen is 800x600).
  // The controls keep their margins and heights (in twips, at 96 DPI 15 to the pixel) and follow
  // the window's width and height, down to no size at all.
  void viewerFollowsItsSize_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("description");
    QTest::addColumn<QRect>("divider");
    QTest::addColumn<QRect>("report");
    QTest::newRow("larger") << QSize(1000, 700) << QRect(16, 16, 968, 57) << QRect(24, 72, 952, 9)
                            << QRect(8, 96, 984, 596);
    QTest::newRow("smaller than the margins")
        << QSize(10, 10) << QRect(16, 16, 0, 57) << QRect(24, 72, 0, 9) << QRect(8, 96, 0, 0);
  }
  void viewerFollowsItsSize() {
    QFETCH(QSize, size);
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.screen()->availableGeometry().contains(view.frameGeometry()));
    view.resize(size);
    QTEST(view.Description()->geometry(), "description");
    QTEST(view.Divider()->geometry(), "divider");
    QTEST(view.ReportBox()->geometry(), "report");
  }

  // The device measures letter paper with half-inch margins in twips, 12240 wide and 10800
  // printable; a path wider than the room between the margins goes on over the next line, and a
  // long report over new pages.
  void printingWrapsAtTheMarginAndGoesOnOverNewPages() {
    const QString pdf = dir_.filePath("file_removal_report.pdf");
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    printer->setPageSize(QPageSize(QPageSize::Letter));
    printer->setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
    auto device = std::make_unique<QtPrintDevice>(std::move(printer));
    device->SetFont("Courier New", 10);
    QCOMPARE(device->PageWidth(), 12240);
    QCOMPARE(device->PrintableWidth(), 10800.0f);
    // A fixed-pitch 10-point font, 0.6 em: 120 twips a character, so that the room between
    // the margins, 10800 - 2 * 612 twips, holds 79 of them.
    QVERIFY2(qAbs(device->TextWidth("q") - 120) < 1,
             qPrintable(QString::number(device->TextWidth("q"))));
    const QString path = "/home/ann/" + QString(120, 'q') + " del-10-31-2026.xls";
    FileRemovalReport removals(clock_);
    removals.RecordMessage("Last run date was 2026-12-05 22:00:00");
    auto file = std::make_shared<RemovedFile>();
    file->OriginalFilename(path.toStdString());
    removals.RecordFileMoved(file);
    QStringList expected{"Kestrel Report - File Removal - 2026-12-06 10:02:36",
                         "Last run date was 2026-12-05 22:00:00", path.left(79), path.mid(79)};
    for (int i = 1; i <= 121; ++i) {
      removals.RecordMessage("message " + std::to_string(i));
      expected.append(QString("message %1").arg(i));
    }
    ScriptedDialogs dialogs;
    dialogs.make_device = [&] { return std::move(device); };
    removals.PrintReport(dialogs);
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(pdftotext.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QStringList lines = text.split('\n');
    for (QString& line : lines) line = line.remove('\f').trimmed();
    lines.removeAll(QString());
    QCOMPARE(lines, expected);
    QCOMPARE(text.count('\f'), 5);  // 250 printed lines at six lines an inch: five pages
  }

  // Cancelling the real print dialog gives no device.
  void cancelledPrintDialogPrintsNothing() {
    QTimer::singleShot(0, [] {
      if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget()))
        dialog->reject();
    });
    QVERIFY(ShowQtPrintDialog(nullptr) == nullptr);
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::ReportTest)
#include "report_test.moc"
