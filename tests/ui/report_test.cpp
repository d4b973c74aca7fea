#include <QtPrintSupport>
#include <QtTest>
#include <QtWidgets>
#include <cmath>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "reports/print_writer.h"
#include "reports/report_doubles.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"
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

  FixedClock clock_{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  QTemporaryDir dir_;

  // Prints through a print dialog that answers with a PDF file, kept in KESTREL_REPORT_DIR when
  // that is set; returns the file's text.
  QString Print(IReport& report, const QString& name) {
    const QString pdf =
        QDir(qEnvironmentVariable("KESTREL_REPORT_DIR", dir_.path())).filePath(name);
    FakeDialogs dialogs;
    dialogs.make_device = [&] { return PdfDevice(pdf); };
    report.PrintReport(dialogs);
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", pdf, "-"});
    pdftotext.waitForFinished(30000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
  }
  QString Header(const std::string& title) const {
    return QString::fromStdString("Kestrel Report - " + title + " - " +
                                  clock_.Now().ToDisplayText());
  }
  // Leaves the numbers and the check box as a new configuration has them.
  static void FillSettings(KestrelCfg& cfg) {
    cfg.UserName("ann");
    cfg.Company("Acme Ltd");
    cfg.PrefixToken("del-");
    cfg.QuarantineFolder("");
    cfg.IncludeFolders() = {{"/home/ann/Documents", true}, {"/srv/share/projects", false}};
    cfg.ExcludeFolders() = {{"/home/ann/Documents/keep", true}};
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

  // A warning report that goes on over new pages.
  void warningReportPrintsHeaderAndLines() {
    WarningReport many(clock_);
    QStringList expected{Header("Warnings")};
    for (int i = 1; i <= 120; ++i) {
      many.RecordWarning("warning number " + std::to_string(i));
      expected.append(QString("warning number %1").arg(i));
    }
    const QString text = Print(many, "long_warning_report.pdf");
    QCOMPARE(Lines(text).join('|').remove('\f'), expected.join('|'));
    QCOMPARE(text.count('\f'), 5);  // 240 printed lines at six lines an inch: five pages
  }

  // The device measures letter paper in twips; a path wider than the room between the margins
  // goes on over the next line.
  void fileRemovalReportWrapsLongPathsAtTheMargin() {
    auto device = PdfDevice(dir_.filePath("unused.pdf"));
    device->SetFont("Courier New", 10);
    QCOMPARE(device->PageWidth(), 12240);
    QCOMPARE(device->PrintableWidth(), 10800.0f);
    // A fixed-pitch 10-point font: about 0.6 em, 120 twips, per character.
    QVERIFY2(qAbs(device->TextWidth("q") - 120) < 5,
             qPrintable(QString::number(device->TextWidth("q"))));
    const float room = device->PrintableWidth() - 2.0f * PrintMargin(device->PageWidth());
    const int fitting = static_cast<int>(room / device->TextWidth("q"));

    const std::string long_path = "/home/ann/" + std::string(120, 'q') + " del-10-31-2026.xls";
    FileRemovalReport removals(clock_);
    RecordRun(removals, long_path);
    const QString path = QString::fromStdString(long_path);
    QCOMPARE(Lines(Print(removals, "file_removal_report.pdf")),
             QStringList({Header("File Removal"), "Last run date was 2026-12-05 22:00:00",
                          path.left(fitting), path.mid(fitting), "Run finished"}));
  }

  void settingsReportPrintsItsLayout() {
    SilentReporter reporter;
    Functions fn{Outside{clock_, reporter, RealSys(), dir_.path().toStdString()}};
    FillSettings(*fn.CurrentCfg);
    // pdftotext may widen runs of blanks, so the padding is left to the engine's tests.
    QStringList words;
    for (const QString& line : Lines(Print(*fn.SettingsRpt, "settings_report.pdf")))
      words.append(line.simplified());
    const QString expected = QStringLiteral(
        "~|Options|~|User Name: ann|Company: Acme Ltd|Prefix Token: del-|"
        "Quarantine Folder: <Recycle Bin>|Max MB Per Run: 50|Max Errors Per Run: 10|"
        "Max KB Log File Size: 512|Display All Messages: Yes|"
        "~|Include Folders (* = include subfolders)|~|"
        "* /home/ann/Documents|/srv/share/projects|"
        "~|Exclude Folders (* = exclude subfolders)|~|* /home/ann/Documents/keep");
    QCOMPARE(words.join('|'),
             Header("Settings") + "|" + QString(expected).replace('~', QString(41, '-')));
  }

  // Cancelling the real print dialog gives no device.
  void cancelledPrintDialogPrintsNothing() {
    QTimer::singleShot(0, [] {
      if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget()))
        dialog->reject();
    });
    QVERIFY(ShowQtPrintDialog(nullptr) == nullptr);
  }

  // With KESTREL_SCREENSHOT_DIR set, two reports in the viewer are saved there.
  void screenshots() {
    const QString dir = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("KESTREL_SCREENSHOT_DIR not set");
    FileRemovalReport removals(clock_);
    RecordRun(removals, "/home/ann/Documents/minutes del-11-15-2026.odt");
    SilentReporter reporter;
    Functions fn{Outside{clock_, reporter, RealSys(), dir_.path().toStdString()}};
    FillSettings(*fn.CurrentCfg);
    const std::pair<IReport*, QString> shots[] = {{&removals, "report_view"},
                                                  {fn.SettingsRpt.get(), "settings_report_view"}};
    for (const auto& [report, name] : shots) {
      ReportView view;
      view.SetReport(report);
      view.Load();
      view.show();
      QVERIFY(QTest::qWaitForWindowExposed(&view));
      QVERIFY(view.grab().save(dir + "/" + name + ".png"));
    }
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::ReportTest)
#include "report_test.moc"
