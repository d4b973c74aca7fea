#include <QTabWidget>

#include "app/main_routine.h"
#include "ui/main_window.h"
#include "ui/restore_dialog.h"
#include "ui/run_tab.h"

namespace kestrel {

void MainWindow::FileRestore() {
  if (!ProgramFolderTrusted(fn_, "frmKestrel.mnuFileRestore_Click")) return;
  RestoreDialog dialog(fn_, this);
  connect(&dialog, &RestoreDialog::Line, run_, &RunTab::AppendLine);
  connect(&dialog, &RestoreDialog::Finished, this, [this] { tabs_->setCurrentWidget(run_); });
  dialog.exec();
}

}  // namespace kestrel
