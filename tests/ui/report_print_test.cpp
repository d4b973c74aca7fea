#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "platform/qt/qt_print_device.h"
#include "platform/qt/qt_print_dialog.h"
#include "reports/print_writer.h"
#include "reports/report_doubles.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"

namespace kestrel::test {
namespace {

// Letter paper with half-inch margins: 12240 twips wide, 10800 printable.
std::unique_ptr<QtPrintDevice> PdfDevice(const QString& path) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(path);
  printer->setPageSize(QPageSize(QPageSize::Letter));
  printer->setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
  return std::make_unique<QtPrintDevice>(std::move(printer));
}

QString PdfText(const QString& path) {
  QProcess pdftotext;
  pdftotext.start("pdftotext", {"-layout", path, "-"});
  if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0) return "<pdftotext failed>";
  return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

// The non-empty lines of the text, without the blanks around them.
QStringList Lines(const QString& text) {
  QStringList lines;
  for (const QString& line : text.split('\n')) {
    if (!line.trimmed().isEmpty()) lines.append(line.trimmed());
  }
  return lines;
}

}  // namespace

class ReportPrintTest : public QObject {
  Q_OBJECT

  FixedClock clock_{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  QTemporaryDir dir_;
  FakeDialogs dialogs_;
  QString pdf_;

  // Prints through the fake print dialog into a fresh PDF; returns its text.
  QString Print(IReport& report, const QString& name) {
    pdf_ = dir_.filePath(name);
    dialogs_.make_device = [this] { return PdfDevice(pdf_); };
    report.PrintReport(dialogs_);
    const QString keep = qEnvironmentVariable("KESTREL_REPORT_DIR");
    if (!keep.isEmpty()) {
      QFile::remove(keep + "/" + name);
      QFile::copy(pdf_, keep + "/" + name);
    }
    return PdfText(pdf_);
  }

  QString Header(const std::string& title) const {
    return QString::fromStdString("Kestrel Report - " + title + " - " +
                                  clock_.Now().ToDisplayText());
  }

 private slots:
  void DeviceMeasuresInTwips() {
    auto device = PdfDevice(dir_.filePath("unused.pdf"));
    device->SetFont("Courier New", 10);
    QCOMPARE(device->PageWidth(), 12240);
    QCOMPARE(device->PrintableWidth(), 10800.0f);
    // A fixed-pitch 10-point font: about 0.6 em, 120 twips, per character.
    const float one = device->TextWidth("0");
    QVERIFY2(one > 115 && one < 125, qPrintable(QString::number(one)));
    QVERIFY(qAbs(device->TextWidth("0123456789") - 10 * one) < 1.0f);
    device->Printer().setPageSize(QPageSize(QPageSize::A4));
    QCOMPARE(device->PageWidth(), 11906);
  }

  void WarningReportPrintsHeaderAndDoubleSpacedLines() {
    WarningReport warnings(clock_);
    warnings.RecordWarning("File access is denied: /srv/a del-01-01-2026.txt");
    warnings.RecordWarning("Deletion date is before the file creation date: /srv/b del-01-02-2020");
    const QString text = Print(warnings, "warning_report.pdf");
    QCOMPARE(Lines(text),
             QStringList({Header("Warnings"), "File access is denied: /srv/a del-01-01-2026.txt",
                          "Deletion date is before the file creation date: "
                          "/srv/b del-01-02-2020"}));
    const QStringList raw = text.split('\n');
    const int first = raw.indexOf(QRegularExpression("^\\s*File access.*"));
    QVERIFY(first > 0);
    QVERIFY(raw[first + 1].trimmed().isEmpty());
    QVERIFY(raw[first + 2].trimmed().startsWith("Deletion date"));
    // The header is centred, the body starts at the margin.
    const int header_at =
        raw[raw.indexOf(QRegularExpression("^\\s*Kestrel Report.*"))].indexOf('K');
    QVERIFY(header_at > raw[first].indexOf('F') + 5);
  }

  void FileRemovalReportWrapsLongPathsAtTheMargin() {
    FileRemovalReport removals(clock_);
    removals.RecordMessage("Last run date was 2026-12-05 22:00:00");
    const std::string long_path = "/home/ann/" + std::string(120, 'q') + " del-10-31-2026.xls";
    auto file = std::make_shared<RemovedFile>();
    file->OriginalFilename(long_path);
    removals.RecordFileMoved(file);
    removals.RecordMessage("Run finished");
    const QString text = Print(removals, "file_removal_report.pdf");

    auto device = PdfDevice(dir_.filePath("unused.pdf"));
    device->SetFont("Courier New", 10);
    const float room = device->PrintableWidth() - 2.0f * PrintMargin(device->PageWidth());
    const int fitting = static_cast<int>(room / device->TextWidth("q"));
    const QString path = QString::fromStdString(long_path);
    QCOMPARE(Lines(text),
             QStringList({Header("File Removal"), "Last run date was 2026-12-05 22:00:00",
                          path.left(fitting), path.mid(fitting), "Run finished"}));
  }

  void SettingsReportPrintsItsLayout() {
    SilentReporter reporter;
    Functions fn{Platform{clock_, reporter, RealSys(), dir_.path().toStdString()}};
    KestrelCfg& cfg = *fn.CurrentCfg;
    cfg.UserName("ann");
    cfg.Company("Acme Ltd");
    cfg.PrefixToken("del-");
    cfg.QuarantineFolder("");
    cfg.MaxMBPerRun(50);
    cfg.MaxErrorsPerRun(10);
    cfg.MaxKBLogFile(512);
    cfg.DisplayAllMessages(true);
    cfg.IncludeFolders() = {{"/home/ann/Documents", true}, {"/srv/share/projects", false}};
    cfg.ExcludeFolders() = {{"/home/ann/Documents/keep", true}};
    SettingsReport report(fn);
    // pdftotext rebuilds columns from glyph positions and may widen runs of blanks, so the
    // padding is compared in the engine's tests and only the words here.
    QStringList words;
    for (const QString& line : Lines(Print(report, "settings_report.pdf"))) {
      words.append(line.simplified());
    }
    const QString rule(41, '-');
    QCOMPARE(words, QStringList({Header("Settings"),
                                 rule,
                                 "Options",
                                 rule,
                                 "User Name: ann",
                                 "Company: Acme Ltd",
                                 "Prefix Token: del-",
                                 "Quarantine Folder: <Recycle Bin>",
                                 "Max MB Per Run: 50",
                                 "Max Errors Per Run: 10",
                                 "Max KB Log File Size: 512",
                                 "Display All Messages: Yes",
                                 rule,
                                 "Include Folders (* = include subfolders)",
                                 rule,
                                 "* /home/ann/Documents",
                                 "/srv/share/projects",
                                 rule,
                                 "Exclude Folders (* = exclude subfolders)",
                                 rule,
                                 "* /home/ann/Documents/keep"}));
  }

  void LongReportContinuesOnNewPages() {
    WarningReport warnings(clock_);
    for (int i = 1; i <= 120; ++i) warnings.RecordWarning("warning number " + std::to_string(i));
    const QString text = Print(warnings, "long_warning_report.pdf");
    QStringList expected{Header("Warnings")};
    for (int i = 1; i <= 120; ++i) expected.append(QString("warning number %1").arg(i));
    QCOMPARE(Lines(text).join('|').remove('\f'), expected.join('|'));
    QVERIFY(text.count('\f') >= 4);  // 240 printed lines at six lines an inch: five pages
  }

  void CancelCreatesNoDocument() {
    WarningReport warnings(clock_);
    warnings.RecordWarning("w");
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files);
    FakeDialogs cancelling;
    warnings.PrintReport(cancelling);
    QCOMPARE(cancelling.print_dialogs_shown, 1);
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), before);
    QCOMPARE(cancelling.message_boxes_shown, 0);
  }

  void PrintDialogOffersNoSelectionOrPageRange() {
    QAbstractPrintDialog::PrintDialogOptions options;
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      shown = true;
      options = dialog->options();
      dialog->reject();
    });
    QVERIFY(ShowQtPrintDialog(nullptr) == nullptr);
    QVERIFY(shown);
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintSelection));
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintPageRange));
    QVERIFY(options.testFlag(QAbstractPrintDialog::PrintToFile));
  }

  void UnwritableOutputFailsSilently() {
    WarningReport warnings(clock_);
    warnings.RecordWarning("w");
    const QString nowhere = dir_.filePath("missing/folder/out.pdf");
    dialogs_.make_device = [&] { return PdfDevice(nowhere); };
    warnings.PrintReport(dialogs_);
    QVERIFY(!QFile::exists(nowhere));
    QCOMPARE(dialogs_.message_boxes_shown, 0);
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::ReportPrintTest)
#include "report_print_test.moc"
