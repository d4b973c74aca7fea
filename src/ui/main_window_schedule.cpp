#include <filesystem>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"
#include "ui/main_window.h"
#include "ui/schedule_dialog.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {

constexpr char kCaption[] = "Schedule";

// The name a silent run takes: bare when the file is in the program folder.
std::string RunName(const std::string& file, const std::string& program_folder) {
  namespace fs = std::filesystem;
  const fs::path path(file);
  std::error_code ec;
  if (fs::equivalent(path.parent_path(), program_folder, ec)) return path.filename().string();
  return file;
}

std::string KestrelBesideMe() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? "kestrel" : (self.parent_path() / "kestrel").string();
}

}  // namespace

void MainWindow::FileSchedule() {
  // A timer runs the file, so what is shown must be saved first.
  if (CurrentCfg(fn_).Filename().empty() || CurrentCfg(fn_).IsDirty()) {
    if (dialogs_.MessageBox("The configuration has unsaved changes, and a schedule runs the saved "
                            "file.\nSave it now?",
                            MsgButtons::YesNo, MsgIcon::Question, kCaption) != MsgResult::Yes) {
      return;
    }
    FileSave();
  }
  const KestrelCfg& cfg = CurrentCfg(fn_);
  if (cfg.Filename().empty() || cfg.IsDirty()) return;
  std::error_code ec;
  const auto folder = std::filesystem::absolute(fn_.ProgramFolder(), ec);
  Scheduler scheduler(fn_.Outside().sys, RealProgramRunner(), UserConfigHome(), folder.string(),
                      KestrelBesideMe());
  ScheduleDialog dialog(scheduler, RunName(cfg.Filename(), fn_.ProgramFolder()), this);
  dialog.exec();
}

}  // namespace kestrel
