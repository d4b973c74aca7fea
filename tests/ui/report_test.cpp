#include <QtPrintSupport>
#include <QtTest>
#include <QtWidgets>
#include <cmath>

#include "reports/run_records.h"
#include "support/doubles.h"
#include "ui/qt_print_device.h"
#include "ui/qt_print_dialog.h"
#include "ui/report_view.h"

namespace kestrel::test {
namespace {

// Twips to pixels, independent of the viewer's own conversion.
int Px(double twips, int dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// Letter paper with half-inch margins: 12240 twips wide, 10800 printable.
std::unique_ptr<QtPrintDevice> PdfDevice(const QString& path) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(path);
  printer->setPageSize(QPageSize(QPageSize::Letter));
  printer->setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
  return std::make_unique<QtPrintDevice>(std::move(printer));
}

// The non-empty lines of the text, without the blanks around them.
QStringList Lines(const QString& text) {
  QStringList lines = text.split('\n');
  for (QString& line : lines) line = line.trimmed();
  lines.removeAll(QString());
  return lines;
}

}  // namespace

class ReportTest : public QObject {
  Q_OBJECT

  FakeClock clock_{At(2026, 12, 6, 10, 2, 36)};
  QTemporaryDir dir_;

  // Prints through a print dialog that answers with a PDF file, kept in KESTREL_REPORT_DIR when
  // that is set; returns the file's text.
  QString Print(IReport& report, const QString& name) {
    const QString pdf =
        QDir(qEnvironmentVariable("KESTREL_REPORT_DIR", dir_.path())).filePath(name);
    ScriptedDialogs dialogs;
    dialogs.make_device = [&] { return PdfDevice(pdf); };
    report.PrintReport(dialogs);
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", pdf, "-"});
    pdftotext.waitForFinished(30000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
  }
  static QString Header(const QString& title) {
    return "Kestrel Report - " + title + " - 2026-12-06 10:02:36";
  }
  static void RecordRun(FileRemovalReport& removals, const std::string& path) {
    removals.RecordMessage("Last run date was 2026-12-05 22:00:00");
    auto file = std::make_shared<RemovedFile>();
    file->OriginalFilename(path);
    removals.RecordFileMoved(file);
    removals.RecordMessage("Run finished");
  }

 private slots:
  // The viewer opens inside the screen, whatever the scale (the offscreen screen is 800x600).
  void viewerShowsNothingOrTheReport() {
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.screen()->availableGeometry().contains(view.frameGeometry()));
    view.Load();
    QCOMPARE(view.windowTitle(), QStringLiteral("Kestrel"));
    QCOMPARE(view.ReportBox()->toPlainText(), QStringLiteral("(No Report Loaded)\n"));
    WarningReport warnings(clock_);
    warnings.RecordWarning("Access denied: /srv/a del-01-01-2026");
    warnings.RecordWarning("");
    warnings.RecordWarning("Read only: /srv/b del-01-01-2026");
    view.SetReport(&warnings);
    view.Load();
    QCOMPARE(view.windowTitle(), QStringLiteral("Kestrel - Warning Report"));
    QCOMPARE(view.Description()->text(), QString::fromStdString(warnings.Description()));
    QCOMPARE(
        view.ReportBox()->toPlainText(),
        QStringLiteral("Access denied: /srv/a del-01-01-2026\n\nRead only: /srv/b del-01-01-2026"));
  }

  // The controls keep their margins and heights and follow the window's width and height, down
  // to no size at all.
  void viewerFollowsItsSize_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(1000, 700);
    QTest::newRow("smaller") << QSize(501, 303);
    QTest::newRow("smaller than the margins") << QSize(10, 10);
  }
  void viewerFollowsItsSize() {
    QFETCH(QSize, size);
    ReportView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int x = view.logicalDpiX();
    const int y = view.logicalDpiY();
    view.resize(size);
    const double width = view.width() * 1440.0 / x;
    const double height = view.height() * 1440.0 / y;
    auto span = [](double twips, int dpi) { return Px(std::max(0.0, std::round(twips)), dpi); };
    QCOMPARE(view.Description()->geometry(),
             QRect(Px(240, x), Px(240, y), span(width - 480, x), Px(855, y)));
    QCOMPARE(view.Divider()->geometry(),
             QRect(Px(360, x), Px(1080, y), span(width - 720, x), Px(135, y)));
    QCOMPARE(view.ReportBox()->geometry(),
             QRect(Px(120, x), Px(1440, y), span(width - 240, x), span(height - 1560, y)));
    if (size == QSize(10, 10)) QCOMPARE(view.ReportBox()->size(), QSize(0, 0));
  }

  // The device measures letter paper in twips; a path wider than the room between the margins
  // goes on over the next line, and a long report over new pages.
  void printingWrapsAtTheMarginAndGoesOnOverNewPages() {
    auto device = PdfDevice(dir_.filePath("unused.pdf"));
    device->SetFont("Courier New", 10);
    QCOMPARE(device->PageWidth(), 12240);
    QCOMPARE(device->PrintableWidth(), 10800.0f);
    // A fixed-pitch 10-point font, 0.6 em: 120 twips a character, so that the room between
    // the margins, 10800 - 2 * 612 twips, holds 79 of them.
    QVERIFY2(qAbs(device->TextWidth("q") - 120) < 1,
             qPrintable(QString::number(device->TextWidth("q"))));
    const QString path = "/home/ann/" + QString(120, 'q') + " del-10-31-2026.xls";
    FileRemovalReport removals(clock_);
    RecordRun(removals, path.toStdString());
    QStringList expected{Header("File Removal"), "Last run date was 2026-12-05 22:00:00",
                         path.left(79), path.mid(79), "Run finished"};
    for (int i = 1; i <= 120; ++i) {
      removals.RecordMessage("message " + std::to_string(i));
      expected.append(QString("message %1").arg(i));
    }
    const QString text = Print(removals, "file_removal_report.pdf");
    QCOMPARE(Lines(text).join('|').remove('\f'), expected.join('|'));
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
