#include <QInputDialog>
#include <filesystem>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"
#include "ui/main_window.h"
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
  const KestrelCfg& cfg = CurrentCfg(fn_);
  if (cfg.Filename().empty() || cfg.IsDirty()) {
    dialogs_.MessageBox("Save the configuration before scheduling it.", MsgButtons::Ok,
                        MsgIcon::Exclamation, kCaption);
    return;
  }
  const std::string name = RunName(cfg.Filename(), fn_.ProgramFolder());
  bool ok = false;
  const QString calendar = QInputDialog::getItem(
      this, QString::fromUtf8(kCaption),
      QStringLiteral("Run %1 silently (or type a systemd calendar):")
          .arg(QString::fromStdString(name)),
      {QStringLiteral("weekly"), QStringLiteral("daily"), QStringLiteral("monthly")}, 0, true, &ok);
  if (!ok || calendar.trimmed().isEmpty()) return;
  std::error_code ec;
  const auto folder = std::filesystem::absolute(fn_.ProgramFolder(), ec);
  Scheduler scheduler(fn_.Outside().sys, RealProgramRunner(), UserConfigHome(), folder.string(),
                      KestrelBesideMe());
  const ScheduleOutcome out = scheduler.Schedule(name, calendar.trimmed().toStdString());
  dialogs_.MessageBox(out.message, MsgButtons::Ok,
                      out.status == 0 ? MsgIcon::Information : MsgIcon::Exclamation, kCaption);
}

}  // namespace kestrel
