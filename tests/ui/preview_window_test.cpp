#include <QtTest>
#include <QtWidgets>

#include "ui/main_window.h"
#include "ui/preview_model.h"
#include "ui/preview_window.h"
#include "ui/run_tab.h"
#include "ui/tab_page.h"
#include "ui/window_fixture.h"

namespace kestrel::test {

class PreviewWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Program> program_;
  std::unique_ptr<MainWindow> window_;

  QString Path(const QString& name) const { return program_->QPath(name); }
  PreviewWindow* OpenPreview() {
    RunTab& run = window_->RunPage();
    QTest::mouseClick(run.PreviewButton(), Qt::LeftButton);
    PreviewWindow* preview = run.Preview();
    QSignalSpy finished(preview, &PreviewWindow::Finished);
    // While it looks, the configuration cannot change and nothing else can start.
    if (preview && preview->Busy()) {
      if (run.RunButton()->isEnabled() || run.PreviewButton()->isEnabled()) return nullptr;
      finished.wait(60000);
    }
    return preview;
  }

 private slots:
  void init() {
    program_ = std::make_unique<Program>();
    program_->UseTree();
    window_ = std::make_unique<MainWindow>(program_->fn, program_->dialogs);
    window_->show();
  }
  void cleanup() {
    window_.reset();
    program_.reset();
  }

  // The table lists what Run would move and sorts by any column; the notes hold what the run
  // would warn about. An edit in the main window leaves the preview out of date and its Run
  // refused until Refresh shows what a run would move (its Run once moved files it never showed);
  // Run in the window then runs that configuration, which moves the same files.
  void previewListsWhatRunMovesAndItsRunButtonRunsIt() {
    QVERIFY(program_->MakeDueFile("home/ann/budget del-10-31-2026.xls", 3000));
    QVERIFY(program_->MakeDueFile("home/ann/old/notes del-11-15-2026.txt", 1000));
    QVERIFY(program_->MakeDueFile("home/ann/draft del-12-01-2026.doc", 2000));
    QVERIFY(program_->MakeDueFile("home/ann/locked del-11-01-2026.txt", 5, true));
    QVERIFY(program_->MakeDueFile("home/ann/later del-12-24-2026.txt", 7));
    program_->fn.CurrentCfg->ExcludeFolders() = {{Path("home/ann/old").toStdString(), true}};
    PreviewWindow* preview = OpenPreview();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(preview->Table()->model()->rowCount(), 2);
    QVERIFY(preview->RunButton()->isEnabled() && !preview->RefreshButton()->isVisible());

    // The exclude goes, as the Exclude tab's Remove takes it away once confirmed.
    program_->fn.CurrentCfg->ExcludeFolders().clear();
    for (TabPage* page : window_->findChildren<TabPage*>()) emit page->Edited();
    QVERIFY(!preview->RunButton()->isEnabled() && preview->RefreshButton()->isVisible());
    QVERIFY(preview->Status()->text().contains("out of date"));
    QTest::mouseClick(preview->RunButton(), Qt::LeftButton);
    QVERIFY(!window_->RunPage().Running());
    QSignalSpy finished(preview, &PreviewWindow::Finished);
    QTest::mouseClick(preview->RefreshButton(), Qt::LeftButton);
    QVERIFY(finished.wait(60000) && !preview->RefreshButton()->isVisible());
    const QAbstractItemModel* table = preview->Table()->model();
    preview->Table()->sortByColumn(PreviewModel::kSize, Qt::AscendingOrder);
    QCOMPARE(Column(table, PreviewModel::kSize), (QStringList{"1,000", "2,000", "3,000"}));
    QCOMPARE(Column(table, PreviewModel::kRemovalDate),
             (QStringList{"2026-11-15", "2026-12-01", "2026-10-31"}));
    preview->Table()->sortByColumn(PreviewModel::kFile, Qt::DescendingOrder);
    QCOMPARE(Column(table, PreviewModel::kFile),
             (QStringList{Path("home/ann/old/notes del-11-15-2026.txt"),
                          Path("home/ann/draft del-12-01-2026.doc"),
                          Path("home/ann/budget del-10-31-2026.xls")}));
    QCOMPARE(Column(table, PreviewModel::kDestination).value(0), Path("quarantine"));
    QCOMPARE(preview->Notes()->toPlainText(),
             "[Warning] File cannot be moved because it is read-only: " +
                 Path("home/ann/locked del-11-01-2026.txt"));
    QCOMPARE(preview->Status()->text(),
             "Run would move 3 files, 0.01 MB, with 1 error. Nothing has been moved.");
    QVERIFY(QFile::exists(Path("home/ann/budget del-10-31-2026.xls")));
    QVERIFY(!QFile::exists(Path("quarantine")));
    QVERIFY(!QFile::exists(Path("Kestrel.log")));

    QVERIFY(preview->RunButton()->isEnabled() && window_->RunPage().RunButton()->isEnabled());
    QTest::mouseClick(preview->RunButton(), Qt::LeftButton);
    QVERIFY(!preview->RunButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!window_->RunPage().Running(), 60000);
    QStringList moved = QDir(Path("quarantine")).entryList(QDir::Files);
    QCOMPARE(moved, (QStringList{"budget del-10-31-2026.xls", "draft del-12-01-2026.doc",
                                 "notes del-11-15-2026.txt"}));
    QCOMPARE(preview->Status()->text(), "Run moved 3 files, 0.01 MB.");
    QCOMPARE(program_->fn.CurrentCfg->RemovedFiles().size(), size_t{3});
  }

  // Closing the window while it looks ends the preview and gives the main window back; Escape
  // and Ctrl+W close it; over every local disk it says so and counts folders.
  void keysCloseItAndAnEmptyIncludeListIsNamed() {
    QVERIFY(program_->MakeDueFile("home/ann/budget del-10-31-2026.xls", 3000));
    RunTab& run = window_->RunPage();
    QTest::mouseClick(run.PreviewButton(), Qt::LeftButton);
    QVERIFY(run.Preview() && !run.RunButton()->isEnabled());
    run.Preview()->close();
    QTRY_VERIFY(run.Preview() == nullptr);
    QVERIFY(run.RunButton()->isEnabled() && run.PreviewButton()->isEnabled());
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
      PreviewWindow* preview = OpenPreview();
      QVERIFY(preview && QTest::qWaitForWindowActive(preview));
      QTest::keySequence(preview, keys);
      QTRY_VERIFY(window_->RunPage().Preview() == nullptr);
    }
    program_->fn.CurrentCfg->IncludeFolders().clear();
    program_->fn.CurrentCfg->ExcludeFolders() = {{"/", true}};  // looks at the disks, scans nothing
    PreviewWindow* preview = OpenPreview();
    QVERIFY(preview);
    QVERIFY2(preview->Status()->text().startsWith(
                 "Every local disk (the Include list is empty), 0 folders looked at. "),
             qPrintable(preview->Status()->text()));
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::PreviewWindowTest)
#include "preview_window_test.moc"
