#include "ui/restore_dialog.h"

#include <utime.h>

#include <QtTest>
#include <QtWidgets>
#include <fstream>

#include "app/functions.h"
#include "cleanup/clean_up.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "reports/report_doubles.h"

namespace kestrel::test {

class RestoreDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir folder_;
  FixedClock clock_{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  SilentReporter reporter_;
  std::unique_ptr<Functions> fn_;

  QString Path(const QString& name) const { return folder_.filePath(name); }
  // Last written in 2017, so that a past date in its name is due.
  void MakeFile(const QString& name) {
    QVERIFY(QDir().mkpath(QFileInfo(Path(name)).path()));
    std::ofstream(Path(name).toStdString()) << name.toStdString();
    struct utimbuf old_times = {1500000000, 1500000000};
    QCOMPARE(utime(Path(name).toUtf8().constData(), &old_times), 0);
  }
  static bool Loaded(RestoreDialog& dialog) {
    QSignalSpy loaded(&dialog, &RestoreDialog::Loaded);
    // Generous: the sanitizer build reads the 100,000-file journal some hundred times slower.
    return !dialog.Busy() || loaded.wait(300000);
  }

 private slots:
  void init() {
    SetDisplayLocale("C");
    fn_ = std::make_unique<Functions>(
        Outside{clock_, reporter_, RealSys(), folder_.path().toStdString()});
    KestrelCfg& cfg = *fn_->CurrentCfg;
    cfg.IncludeFolders() = {{Path("home/ann").toStdString(), true}};
    cfg.QuarantineFolder(Path("quarantine").toStdString());
    cfg.LastRunDate(*DateTime::FromCivil(2026, 12, 1));
  }
  void cleanup() {
    fn_.reset();
    for (const char* f : {"home", "quarantine", "journal"}) QDir(Path(f)).removeRecursively();
  }

  // The chosen files come back, without their date since the box is ticked by default; the
  // one left unchecked stays in quarantine; what happened comes out as lines.
  void restoresTheCheckedFilesAndSaysSo() {
    for (const char* name :
         {"budget del-10-31-2026.xls", "old/notes del-11-15-2026.txt", "draft del-12-01-2026.doc"})
      MakeFile(QStringLiteral("home/ann/") + name);
    QVERIFY(CleanUp(fn_->World(), *fn_->CurrentCfg));
    QCOMPARE(QDir(Path("quarantine")).entryList(QDir::Files).size(), 3);

    RestoreDialog dialog(*fn_);
    dialog.show();
    QVERIFY(Loaded(dialog));
    QCOMPARE(dialog.Runs()->count(), 1);
    RestoreFilesModel* model = dialog.Model();
    QCOMPARE(model->rowCount(), 3);
    QVERIFY(dialog.Unmark()->isChecked());
    QCOMPARE(model->Checked().size(), size_t{3});
    const QModelIndex notes = model
                                  ->match(model->index(0, 0), Qt::DisplayRole,
                                          Path("home/ann/old/notes del-11-15-2026.txt"))
                                  .value(0);
    QVERIFY(model->setData(notes, Qt::Unchecked, Qt::CheckStateRole));

    QSignalSpy lines(&dialog, &RestoreDialog::Line);
    QSignalSpy finished(&dialog, &RestoreDialog::Finished);
    QTest::mouseClick(dialog.RestoreButton(), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QStringList said;
    for (const auto& args : lines) said << args.at(0).toString();
    said.sort();
    QCOMPARE(said, (QStringList{"[Restored] " + Path("home/ann/budget del-10-31-2026.xls"),
                                "[Restored] " + Path("home/ann/draft del-12-01-2026.doc"),
                                "[Unmarked] " + Path("home/ann/budget.xls"),
                                "[Unmarked] " + Path("home/ann/draft.doc")}));
    QCOMPARE(QDir(Path("quarantine")).entryList(QDir::Files),
             QStringList{"notes del-11-15-2026.txt"});
    QVERIFY(Loaded(dialog));
    QCOMPARE(model->index(notes.row(), RestoreFilesModel::kState).data().toString(),
             QStringLiteral("in quarantine"));
    QCOMPARE(model->Checked().size(), size_t{1});
  }

  // A run of 100,000 files loads off the UI thread into the model and can be checked at once.
  void aRunOfManyFilesLoadsIntoTheModel() {
    constexpr int kFiles = 100000;
    QVERIFY(QDir().mkpath(Path("journal")));
    std::ofstream out(Path("journal/2026-12-06T09-00-00.tsv").toStdString());
    out << "kestrel-journal\t1\nrun\t2026-12-06T09:00:00\t\t" << Path("q").toStdString() << "\n";
    for (int i = 1; i <= kFiles; ++i) {
      out << "intent\t" << i << "\t/data/f" << i << " del-01-01-2020\t1\t100644\t1\t0\t1\t" << i
          << "\t/data\t1\t2\t0\nmoved\t" << i << "\t2026-12-06T09:00:00\t"
          << Path("q").toStdString() << "/f" << i << " del-01-01-2020\t\n";
    }
    out << "end\t2026-12-06T09:00:01\n";
    out.close();
    RestoreDialog dialog(*fn_);
    dialog.show();
    QVERIFY(Loaded(dialog));
    QCOMPARE(dialog.Model()->rowCount(), kFiles);
    QVERIFY(dialog.RestoreButton()->isEnabled());
    dialog.Model()->CheckAll(false);
    QCOMPARE(dialog.Model()->Checked().size(), size_t{0});
  }

  // With KESTREL_SCREENSHOT_DIR set, the dialog is saved there as restore.png.
  void screenshot() {
    const QString dir = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("KESTREL_SCREENSHOT_DIR not set");
    for (const char* name : {"budget del-10-31-2026.xls", "Q3 report del-11-30-2026.pdf",
                             "photos/trip del-09-01-2026.zip", "old/notes del-11-15-2026.txt",
                             "draft del-12-01-2026.doc", "minutes del-11-02-2026.odt"})
      MakeFile(QStringLiteral("home/ann/") + name);
    QVERIFY(CleanUp(fn_->World(), *fn_->CurrentCfg));
    RestoreDialog dialog(*fn_);
    dialog.resize(980, 360);
    dialog.show();
    QVERIFY(Loaded(dialog));
    dialog.Model()->setData(dialog.Model()->index(2, 0), Qt::Unchecked, Qt::CheckStateRole);
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(dir + QStringLiteral("/restore.png")));
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::RestoreDialogTest)
#include "restore_dialog_test.moc"
