// Times the window's Preview table and Restore dialog opening with 100,000 rows, from the
// moment each is asked for to the moment its rows are in its table; the median of seven.
// "kestrel_ui_bench WORK" keeps its 100,000 due files in WORK between invocations.
#include <sys/stat.h>
#include <utime.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/console_error_reporter.h"
#include "ui/preview_window.h"
#include "ui/restore_dialog.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRows = 100000;
constexpr int kRuns = 7;

// Due files, written in 2017 with a date of 2020 in their names.
void MakeDueFiles(const fs::path& dir) {
  if (fs::exists(dir / "done")) return;
  fs::remove_all(dir);
  for (int i = 0; i < kRows; ++i) {
    const fs::path sub = dir / ("d" + std::to_string(i / 1000));
    if (i % 1000 == 0) fs::create_directories(sub);
    const std::string file = (sub / ("old del-01-01-2020 " + std::to_string(i) + ".txt")).string();
    std::ofstream(file) << 'x';
    const struct utimbuf old_times = {1500000000, 1500000000};
    utime(file.c_str(), &old_times);
  }
  std::ofstream(dir / "done") << 'x';
}

// A run journal of as many moved files.
void WriteJournal(const fs::path& home) {
  fs::create_directories(home / "journal");
  std::ofstream out(home / "journal/2026-12-06T09-00-00.tsv");
  const std::string q = (home / "q").string();
  out << "kestrel-journal\t1\nrun\t2026-12-06T09:00:00\t\t" << q << "\n";
  for (int i = 1; i <= kRows; ++i) {
    out << "intent\t" << i << "\t/data/f" << i << " del-01-01-2020\t1\t100644\t1\t0\t1\t" << i
        << "\t/data\t1\t2\t0\nmoved\t" << i << "\t2026-12-06T09:00:00\t" << q << "/f" << i
        << " del-01-01-2020\t\n";
  }
  out << "end\t2026-12-06T09:00:01\n";
}

template <typename Signal, typename Object>
void WaitFor(Object* object, Signal signal) {
  QEventLoop loop;
  QObject::connect(object, signal, &loop, &QEventLoop::quit);
  loop.exec();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                   : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "kestrel-bench";
  const fs::path home = work / "ui-home", due = work / "ui-due";
  fs::create_directories(home);
  MakeDueFiles(due);
  WriteJournal(home);
  kestrel::SetDisplayLocale("C");
  kestrel::SystemClock clock;
  kestrel::ConsoleErrorReporter reporter(clock, home.string());
  kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), home.string()});

  std::vector<double> preview, restore;
  int preview_rows = 0, restore_rows = 0;
  for (int i = 0; i <= kRuns; ++i) {  // the first round warms the caches
    auto cfg = std::make_shared<kestrel::KestrelCfg>(fn.Outside());
    cfg->IncludeFolders() = {{due.string(), true}};
    cfg->QuarantineFolder((work / "ui-quarantine").string());
    cfg->LastRunDate(*kestrel::DateTime::FromCivil(2026, 12, 1));
    QElapsedTimer timer;
    timer.start();
    {
      kestrel::PreviewWindow window(fn);
      window.show();
      window.Start(cfg);
      if (window.Busy()) WaitFor(&window, &kestrel::PreviewWindow::Finished);
      QApplication::processEvents();
      if (i > 0) preview.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
      preview_rows = window.Table()->model()->rowCount();
    }
    timer.restart();
    {
      kestrel::RestoreDialog dialog(fn);
      dialog.show();
      if (dialog.Busy()) WaitFor(&dialog, &kestrel::RestoreDialog::Loaded);
      QApplication::processEvents();
      if (i > 0) restore.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
      restore_rows = dialog.Files()->model()->rowCount();
    }
  }
  std::printf("Preview window, %d rows     %8.3f s (goal at most 1 s)\n", preview_rows,
              Median(preview));
  std::printf("Restore dialog, %d rows     %8.3f s (goal at most 1 s)\n", restore_rows,
              Median(restore));
  return preview_rows == kRows && restore_rows == kRows ? 0 : 1;
}
