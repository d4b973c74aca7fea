#include <exception>
#include <memory>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error_reporter.h"
#include "ui/main_window.h"
#include "ui/options_tab.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {
constexpr char kFilter[] = "Kestrel Files (*.ksp)";
constexpr char kDefaultExt[] = "ksp";
}  // namespace

bool MainWindow::MayDiscard() {
  return !CurrentCfg(fn_).IsDirty() || ConfirmSave() != MsgResult::Cancel;
}

std::string MainWindow::StartFolder() const {
  const std::string& file = fn_.CurrentCfg ? fn_.CurrentCfg->Filename() : std::string();
  const size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return fn_.ProgramFolder() + "/";
  return file.substr(0, slash + 1);
}

void MainWindow::FileNew() {
  if (!MayDiscard()) return;
  fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_.Outside());
  FillControls();
}

MsgResult MainWindow::ConfirmSave() {
  const MsgResult answer =
      dialogs_.MessageBox("The configuration has not been saved.\nDo you want to save it now?",
                          MsgButtons::YesNoCancel, MsgIcon::Question, "Save Configuration?");
  if (answer == MsgResult::Cancel) return MsgResult::Cancel;
  save_cancelled_ = false;
  if (answer == MsgResult::Yes) FileSave();
  return save_cancelled_ ? MsgResult::Cancel : answer;
}

void MainWindow::FileOpen() {
  try {
    if (!MayDiscard()) return;
    const std::optional<std::string> name =
        dialogs_.OpenFileName(kFilter, kDefaultExt, StartFolder());
    if (!name || name->empty()) return;
    auto cfg = std::make_shared<KestrelCfg>(fn_.Outside());
    cfg->Filename(*name);
    cfg->Load();
    if (cfg->FileUnreadable()) return;  // reported; the current configuration stays
    fn_.CurrentCfg = cfg;
    FillControls();
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.mnuFileOpen_Click", std::current_exception());
  }
}

// The window writes every edit through, so the configuration holds what it shows; a limit
// field in error holds back the save until it is mended.
void MainWindow::FileSave() {
  try {
    if (!options_->Valid()) {
      save_cancelled_ = true;
      return;
    }
    KestrelCfg& cfg = CurrentCfg(fn_);
    if (Trimmed(cfg.Filename()).empty()) {
      FileSaveAs();
      return;
    }
    cfg.Save();
    UpdateStatus();
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.mnuFileSave_Click", std::current_exception());
  }
}

void MainWindow::FileSaveAs() {
  try {
    const std::optional<std::string> name =
        dialogs_.SaveFileName(kFilter, kDefaultExt, StartFolder());
    if (!name || name->empty()) {
      save_cancelled_ = true;
      return;
    }
    CurrentCfg(fn_).Filename(*name);
    FileSave();
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.mnuFileSaveAs_Click",
                  std::current_exception());
  }
}

}  // namespace kestrel
