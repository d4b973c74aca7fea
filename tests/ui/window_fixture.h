#pragma once

#include <sys/stat.h>
#include <utime.h>

#include <QtCore>
#include <string>

#include "app/functions.h"
#include "cleanup/clean_up.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "platform/date_time.h"
#include "support/doubles.h"
#include "ui/gui_error_reporter.h"

namespace kestrel::test {

// The texts of a table's or a tree's column, row by row.
inline QStringList Column(const QAbstractItemModel* model, int column) {
  QStringList texts;
  for (int row = 0; row < model->rowCount(); ++row)
    texts << model->index(row, column).data().toString();
  return texts;
}

// A program as GUI mode sets it up over a temporary program folder; now is 2026-12-06 10:02:36.
struct Program {
  explicit Program(Sys& sys = RealSys())
      : fn{Outside{clock, reporter, sys, folder.path().toStdString()}} {
    SetDisplayLocale("C");
  }
  ~Program() { reporter.Attach(nullptr); }
  std::string Path(const std::string& name) const {
    return folder.path().toStdString() + "/" + name;
  }
  QString QPath(const QString& name) const { return folder.filePath(name); }
  // Includes home/ann with its subfolders, quarantines into quarantine; last run 2026-12-01.
  void UseTree() {
    fn.CurrentCfg->IncludeFolders() = {{Path("home/ann"), true}};
    fn.CurrentCfg->QuarantineFolder(Path("quarantine"));
    fn.CurrentCfg->LastRunDate(At(2026, 12, 1));
  }
  // A file of size bytes last written in 2017, so that a past date in its name is due.
  bool MakeDueFile(const QString& name, int size = 1, bool read_only = false) const {
    const QString path = QPath(name);
    QFile file(path);
    const QByteArray native = QFile::encodeName(path);
    const struct utimbuf old_times = {1500000000, 1500000000};
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(QByteArray(size, 'x')) == size && (file.close(), true) &&
           ::utime(native.constData(), &old_times) == 0 &&
           (!read_only || ::chmod(native.constData(), 0444) == 0);
  }

  QTemporaryDir folder;
  FakeClock clock{At(2026, 12, 6, 10, 2, 36)};
  RecordingReporter recorded;
  GuiErrorReporter reporter{recorded};
  Functions fn;
  ScriptedDialogs dialogs;
};

}  // namespace kestrel::test
