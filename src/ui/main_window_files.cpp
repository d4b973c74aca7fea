#include <exception>
#include <memory>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error_reporter.h"
#include "ui/folder_list_tab.h"
#include "ui/main_window.h"
#include "ui/options_tab.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {
constexpr char kFilter[] = "Kestrel Files (*.ksp)";
constexpr char kDefaultExt[] = "ksp";
}  // namespace

void MainWindow::FileNew() {
  fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_);
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
    if (CurrentCfg(fn_).IsDirty() && ConfirmSave() == MsgResult::Cancel) return;
    const std::optional<std::string> name = dialogs_.OpenFileName(kFilter, kDefaultExt, "");
    if (!name || name->empty()) return;
    auto cfg = std::make_shared<KestrelCfg>(fn_);
    cfg->Filename(*name);
    cfg->Load();
    if (cfg->FileUnreadable()) return;  // reported; the current configuration stays
    fn_.CurrentCfg = cfg;
    FillControls();
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.mnuFileOpen_Click", std::current_exception());
  }
}

void MainWindow::FileSave() {
  try {
    KestrelCfg& cfg = CurrentCfg(fn_);
    if (Trimmed(cfg.Filename()).empty()) {
      FileSaveAs();
      return;
    }
    options_->CopyInto(cfg);
    cfg.IncludeFolders() = include_->Entries();
    cfg.ExcludeFolders() = exclude_->Entries();
    cfg.Save();
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.mnuFileSave_Click", std::current_exception());
  }
}

void MainWindow::FileSaveAs() {
  try {
    const std::optional<std::string> name = dialogs_.SaveFileName(kFilter, kDefaultExt, "");
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
