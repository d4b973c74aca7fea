#include <utime.h>
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <future>
#include <thread>

#include "platform/error.h"
#include "reports/run_records.h"
#include "ui/run_tab.h"
#include "ui/ui_fixture.h"

using namespace kestrel;

class RunTabTest : public QObject {
  Q_OBJECT

 private:
  RunTab& Run() { return view_->window.RunPage(); }
  QStringList Lines() {
    return view_->Find<QPlainTextEdit>("txtRunOutput")->toPlainText().split(QLatin1Char('\n'));
  }
  void StartAndWait() {
    QTest::mouseClick(Run().RunButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Run().Running(), 60000);
  }
  FileRemovalReport& Removals() { return *program_->fn.FileRemovalRpt; }
  WarningReport& Warnings() { return *program_->fn.WarningRpt; }

  std::unique_ptr<TestProgram> program_;
  std::unique_ptr<TestWindow> view_;

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>();
    view_ = std::make_unique<TestWindow>(*program_);
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(3);
  }
  void cleanup() {
    view_.reset();
    program_.reset();
  }

  // The completion line reads the clock again after the run.
  void aRunThatRecordsNothingShowsTwoLines() {
    Run().SetRunner(
        [this](KestrelCfg&) { program_->clock.now = program_->clock.now.AddSeconds(1); });
    StartAndWait();
    QCOMPARE(Lines(), (QStringList{"Starting Clean-up at 2026-12-06 10:02:36...",
                                   "Clean-up completed at 2026-12-06 10:02:37."}));
  }

  void linesKeepTheOrderInWhichTheRunRecordsThem() {
    std::thread::id run_thread;
    Run().SetRunner([&](KestrelCfg&) {
      run_thread = std::this_thread::get_id();
      for (int i = 0; i < 200; ++i) {
        Removals().RecordMessage("m" + std::to_string(i));
        auto file = std::make_shared<RemovedFile>();
        file->OriginalFilename("/f" + std::to_string(i));
        Removals().RecordFileMoved(file);
        Warnings().RecordWarning("w" + std::to_string(i));
      }
    });
    StartAndWait();
    QVERIFY(run_thread != std::this_thread::get_id());
    QStringList expected{"Starting Clean-up at 2026-12-06 10:02:36..."};
    for (int i = 0; i < 200; ++i) {
      expected << QStringLiteral("[Message] m%1").arg(i)
               << QStringLiteral("[File Moved] /f%1").arg(i)
               << QStringLiteral("[Warning] w%1").arg(i);
    }
    expected << "Clean-up completed at 2026-12-06 10:02:36.";
    QCOMPARE(Lines(), expected);
  }

  // Lines show as they come, and nothing can change the configuration meanwhile.
  void theWindowIsLockedWhileARunGoesOn() {
    // Set on every way out, so that a failed check does not leave the run waiting.
    struct Gate {
      std::promise<void> promise;
      bool open = false;
      void Open() {
        if (!open) promise.set_value();
        open = true;
      }
      ~Gate() { Open(); }
    } release;
    std::shared_future<void> released = release.promise.get_future().share();
    int runs = 0;
    Run().SetRunner([&](KestrelCfg&) {
      ++runs;
      Removals().RecordMessage("first");
      released.wait();
      Warnings().RecordWarning("last");
    });
    QTest::mouseClick(Run().RunButton(), Qt::LeftButton);
    QTRY_COMPARE(Lines().size(), 2);
    QCOMPARE(Lines()[1], QStringLiteral("[Message] first"));
    QVERIFY(Run().Running());
    QVERIFY(!Run().RunButton()->isEnabled());
    auto* tabs = view_->Find<QTabWidget>("tsTabStrip");
    for (int page = 0; page < 3; ++page) QVERIFY(!tabs->widget(page)->isEnabled());
    for (const char* name : {"mnuFileNew", "mnuFileOpen", "mnuFileSave", "mnuFileSaveAs",
                             "mnuFileExit", "mnuViewViewSettingsReport"}) {
      QVERIFY2(!view_->Find<QAction>(name)->isEnabled(), name);
    }
    QVERIFY(view_->Find<QAction>("mnuHelpAbout")->isEnabled());
    QVERIFY(!view_->window.close());

    release.Open();
    QTRY_VERIFY(!Run().Running());
    QCOMPARE(runs, 1);
    QCOMPARE(Lines().size(), 4);
    QCOMPARE(Lines()[2], QStringLiteral("[Warning] last"));
    QVERIFY(Run().RunButton()->isEnabled());
    for (int page = 0; page < 3; ++page) QVERIFY(tabs->widget(page)->isEnabled());
    QVERIFY(view_->Find<QAction>("mnuFileSave")->isEnabled());
    QVERIFY(!view_->Find<QPushButton>("cmdAddIncludeFolder")->isEnabled());
  }

  void aSecondRunReplacesTheFirstOutput() {
    int run = 0;
    Run().SetRunner([&](KestrelCfg&) { Removals().RecordMessage("run " + std::to_string(++run)); });
    StartAndWait();
    StartAndWait();
    QCOMPARE(Lines().size(), 3);
    QCOMPARE(Lines()[1], QStringLiteral("[Message] run 2"));
  }

  void anErrorDuringARunIsShownOnTheWindowsThread() {
    Run().SetRunner([&](KestrelCfg&) {
      Removals().RecordMessage("before");
      ReportHandled(program_->fn.Outside().reporter, "KestrelCfg.CleanUp",
                    std::make_exception_ptr(KsError(kAppError, "disk gone", "Win32Wrapper.Stat")));
      Removals().RecordMessage("after");
    });
    StartAndWait();
    const auto& shown = program_->dialogs.shown;
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].thread, std::this_thread::get_id());
    QCOMPARE(shown[0].icon, MsgIcon::Critical);
    QVERIFY(shown[0].text.find("disk gone") != std::string::npos);
    const auto reports = program_->recorded.Reports();
    QCOMPARE(reports.size(), std::size_t{1});
    QCOMPARE(reports[0].location, std::string("KestrelCfg.CleanUp\nWin32Wrapper.Stat"));
    QCOMPARE(Lines().mid(1, 2), (QStringList{"[Message] before", "[Message] after"}));
  }

  void aRunWorksOnTheUnsavedConfigurationInTheWindow() {
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(0);
    view_->Find<QLineEdit>("txtPrefixToken")->setText(QStringLiteral("rm-"));
    std::string token;
    const KestrelCfg* used = nullptr;
    Run().SetRunner([&](KestrelCfg& cfg) {
      token = cfg.PrefixToken();
      used = &cfg;
    });
    StartAndWait();
    QCOMPARE(token, std::string("rm-"));
    QCOMPARE(used, program_->fn.CurrentCfg.get());
  }

  // Each line is appended, never the whole text rewritten: 100,000 lines take seconds.
  void aLongRunStaysCheap() {
    constexpr int kLines = 100000;
    Run().SetRunner([&](KestrelCfg&) {
      for (int i = 0; i < kLines; ++i) Removals().RecordMessage("line " + std::to_string(i));
    });
    QElapsedTimer timer;
    timer.start();
    StartAndWait();
    qInfo("%d lines in %lld ms", kLines, static_cast<long long>(timer.elapsed()));
    QVERIFY(timer.elapsed() < 30000);
    QCOMPARE(view_->Find<QPlainTextEdit>("txtRunOutput")->blockCount(), kLines + 2);
    QCOMPARE(Lines()[kLines], QStringLiteral("[Message] line %1").arg(kLines - 1));
  }

  void aRealCleanUpMovesADueFile() {
    const QString tree = QString::fromStdString(program_->Path("tree"));
    const QString quarantine = QString::fromStdString(program_->Path("quarantine"));
    QVERIFY(QDir().mkpath(tree));
    const QString due = tree + QStringLiteral("/budget del-10-31-2025.xls");
    const QString later = tree + QStringLiteral("/plan del-10-31-2030.doc");
    for (const QString& path : {due, later}) {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("x");
      file.close();
      struct utimbuf old_times = {1500000000, 1500000000};  // 2017
      QCOMPARE(utime(path.toUtf8().constData(), &old_times), 0);
    }
    KestrelCfg& cfg = *program_->fn.CurrentCfg;
    cfg.IncludeFolders().emplace_back(tree.toStdString(), false);
    cfg.QuarantineFolder(quarantine.toStdString());

    StartAndWait();
    QVERIFY(Lines().contains(QStringLiteral("[File Moved] ") + due));
    QVERIFY(QFile::exists(quarantine + QStringLiteral("/budget del-10-31-2025.xls")));
    QVERIFY(!QFile::exists(due));
    QVERIFY(QFile::exists(later));
    QVERIFY(Lines().last().startsWith(QStringLiteral("Clean-up completed at ")));
    QVERIFY(QFile::exists(QString::fromStdString(program_->Path("Kestrel.log"))));
  }
};

QTEST_MAIN(RunTabTest)
#include "run_tab_test.moc"
