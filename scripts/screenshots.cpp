// Saves the pictures of docs/screenshots into the folder named on the command line: the main
// window at its smallest and maximised, in a run's move phase and with the empty-include
// question, the About box (these at the scale Qt runs at: -100 or -200), then the report viewer,
// the preview before and after its Run, the restore dialog before and after a partial restore,
// the mark dialog and the schedule dialog. scripts/screenshots.sh runs it at both scales.
#include <QtTest>
#include <QtWidgets>
#include <cstdio>
#include <future>

#include "platform/program_runner.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"
#include "scheduling/scheduler.h"
#include "ui/about_box.h"
#include "ui/main_window.h"
#include "ui/mark_dialog.h"
#include "ui/preview_window.h"
#include "ui/qt_dialogs.h"
#include "ui/report_view.h"
#include "ui/restore_dialog.h"
#include "ui/run_tab.h"
#include "ui/schedule_dialog.h"
#include "ui/window_fixture.h"

using namespace kestrel;

namespace {

QString out;
int failed = 0;

void Save(QWidget* widget, const QString& name) {
  if (widget == nullptr || !widget->grab().save(out + "/" + name + ".png")) {
    std::fprintf(stderr, "could not save %s\n", qPrintable(name));
    ++failed;
  }
}

void Settle(QWidget* widget) {
  widget->show();
  if (!QTest::qWaitForWindowExposed(widget)) std::fprintf(stderr, "not shown in time\n");
  QTest::qWait(300);
}

// systemctl and systemd-analyze as a user manager answers them, or as none does.
struct FakeRunner : ProgramRunner {
  int Run(const std::vector<std::string>& argv, std::string* output) override {
    if (argv[0] == "systemd-analyze") return 0;
    if (argv[2] == "show-environment") return manager ? 0 : 1;
    if (argv[2] == "show" && output != nullptr)
      *output = "Id=kestrel@weekly.ksp.timer\nNextElapseUSecRealtime=Mon 2026-12-07 00:00:00 UTC\n";
    return 0;
  }
  bool manager = true;
};

void MainWindowShots(const QString& percent) {
  test::Program program;
  KestrelCfg& cfg = *program.fn.CurrentCfg;
  cfg.UserName("ann");
  cfg.Company("Acme");
  cfg.QuarantineFolder("/home/ann/quarantine");
  cfg.PurgeAfterDays(30);
  cfg.IncludeFolders() = {{"/home/ann", true}, {"/srv/share", false}};
  cfg.ExcludeFolders() = {{"/home/ann/keep", true}};
  QtDialogs dialogs;
  MainWindow window(program.fn, dialogs);
  auto* tabs = window.findChild<QTabWidget*>("tsTabStrip");
  Settle(&window);
  window.resize(window.minimumSizeHint());
  tabs->setCurrentIndex(0);
  Save(&window, "minimum-options-" + percent);
  tabs->setCurrentIndex(1);
  Save(&window, "minimum-include-" + percent);
  window.setGeometry(window.screen()->availableGeometry());
  tabs->setCurrentIndex(0);
  Save(&window, "maximised-options-" + percent);
  tabs->setCurrentIndex(2);
  Save(&window, "maximised-exclude-" + percent);
  window.resize(window.minimumSizeHint() + QSize(240, 120));

  std::promise<void> release;
  RunTab& run = window.RunPage();
  run.SetRunner([&, released = release.get_future().share()](KestrelCfg& c, RunControl& control) {
    control.folders_scanned = 1843;
    control.files_due = 9;
    for (int i = 0; i < 6; ++i) {
      auto file = std::make_shared<RemovedFile>();
      file->OriginalFilename(c.IncludeFolders()[0].FolderName() + "/budget " + std::to_string(i) +
                             " del-10-31-2026.xls");
      file->FileSize(1250000);
      program.fn.FileRemovalRpt->RecordFileMoved(file);
    }
    released.wait();
  });
  tabs->setCurrentIndex(3);
  QTest::mouseClick(run.RunButton(), Qt::LeftButton);
  QTest::qWait(500);
  Save(&window, "running-" + percent);
  release.set_value();
  for (int waited = 0; run.Running() && waited < 600; ++waited) QTest::qWait(100);

  cfg.IncludeFolders().clear();
  QTimer::singleShot(500, [&] {
    Save(QApplication::activeModalWidget(), "empty-include-question-" + percent);
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  QTest::mouseClick(run.RunButton(), Qt::LeftButton);

  AboutBox about(dialogs, program.folder.path().toStdString());
  Settle(&about);
  Save(&about, "about-" + percent);
}

void OtherWindowShots() {
  test::Program program;
  program.UseTree();
  KestrelCfg& cfg = *program.fn.CurrentCfg;
  cfg.UserName("ann");
  cfg.Company("Acme Ltd");
  cfg.PrefixToken("del-");
  FileRemovalReport removals(program.clock);
  removals.RecordMessage("Last run date was 2026-12-05 22:00:00");
  auto moved = std::make_shared<RemovedFile>();
  moved->OriginalFilename("/home/ann/Documents/minutes del-11-15-2026.odt");
  removals.RecordFileMoved(moved);
  removals.RecordMessage("Run finished");
  const std::pair<IReport*, QString> reports[] = {
      {&removals, "report_view"}, {program.fn.SettingsRpt.get(), "settings_report_view"}};
  for (const auto& [report, name] : reports) {
    ReportView view;
    view.SetReport(report);
    view.Load();
    Settle(&view);
    Save(&view, name);
  }

  int size = 1200;
  for (const char* name : {"budget del-10-31-2026.xls", "Q3 report del-11-30-2026.pdf",
                           "photos/trip del-09-01-2026.zip", "old/notes del-11-15-2026.txt",
                           "draft del-12-01-2026.doc", "old/scan 0042 del-06-30-2026.png",
                           "minutes del-11-02-2026.odt"})
    program.MakeDueFile(QStringLiteral("home/ann/") + name, size *= 3);
  program.MakeDueFile("home/ann/locked del-11-01-2026.txt", 5, true);
  cfg.MaxMBPerRun(3);
  {
    test::ScriptedDialogs dialogs;
    MainWindow window(program.fn, dialogs);
    QTest::mouseClick(window.RunPage().PreviewButton(), Qt::LeftButton);
    PreviewWindow* preview = window.RunPage().Preview();
    if (preview != nullptr && preview->Busy())
      QSignalSpy(preview, &PreviewWindow::Finished).wait(60000);
    if (preview != nullptr) {
      preview->resize(980, 420);
      Settle(preview);
    }
    Save(preview, "preview");
    if (preview != nullptr) {
      QTest::mouseClick(preview->RunButton(), Qt::LeftButton);
      for (int waited = 0; window.RunPage().Running() && waited < 600; ++waited) QTest::qWait(100);
      QTest::qWait(300);
    }
    Save(preview, "preview-after-run");
  }

  cfg.MaxMBPerRun(50);
  CleanUp(program.fn.World(), *program.fn.CurrentCfg);
  RestoreDialog restore(program.fn);
  restore.resize(980, 360);
  QSignalSpy loaded(&restore, &RestoreDialog::Loaded);
  Settle(&restore);
  if (restore.Busy()) loaded.wait(60000);
  restore.Model()->setData(restore.Model()->index(2, 0), Qt::Unchecked, Qt::CheckStateRole);
  Save(&restore, "restore");
  // One original path is taken again, so that the restore is partial.
  program.MakeDueFile(
      restore.Model()->index(0, 0).data().toString().mid(program.folder.path().size() + 1));
  QSignalSpy finished(&restore, &RestoreDialog::Finished);
  QTest::mouseClick(restore.RestoreButton(), Qt::LeftButton);
  if (finished.wait(60000) && restore.Busy()) loaded.wait(60000);
  QTest::qWait(300);
  Save(&restore, "restore-after-partial");

  std::vector<std::string> files;
  for (const char* name : {"budget.xls", "notes.txt", "notes del-01-06-2027.txt"}) {
    program.MakeDueFile(QStringLiteral("mark/") + name);
    files.push_back(program.Path("mark/") + name);
  }
  MarkDialog mark(RealSys(), "del-", test::At(2026, 12, 6, 10), files);
  Settle(&mark);
  Save(&mark, "mark-dialog");

  FakeRunner runner;
  for (const bool manager : {true, false}) {
    runner.manager = manager;
    Scheduler scheduler(RealSys(), runner, program.Path("config"), "/home/ann/.kestrel",
                        "/usr/bin/kestrel");
    ScheduleDialog schedule(scheduler, "weekly.ksp");
    Settle(&schedule);
    QTest::mouseClick(schedule.ScheduleButton(), Qt::LeftButton);
    QTest::qWait(300);
    Save(&schedule, manager ? "schedule-dialog" : "schedule-dialog-crontab");
    if (manager) QTest::mouseClick(schedule.RemoveButton(), Qt::LeftButton);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
  QDir().mkpath(out);
  const QString percent = QString::number(qRound(app.devicePixelRatio() * 100));
  MainWindowShots(percent);
  if (percent == "100") OtherWindowShots();
  std::printf("%d screenshots failed, written to %s\n", failed, qPrintable(out));
  return failed == 0 ? 0 : 1;
}
