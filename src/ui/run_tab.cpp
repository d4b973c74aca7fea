#include "ui/run_tab.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>

#include "app/functions.h"
#include "app/main_routine.h"
#include "cleanup/clean_up.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
#include "fs/win32_wrapper.h"
#include "platform/dialogs.h"
#include "platform/error_reporter.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"
#include "ui/help_window.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {

QString Megabytes(std::int64_t bytes) {
  return QString::number(static_cast<double>(bytes) / 1000000.0, 'f', 2);
}

}  // namespace

RunTab::RunTab(Functions& fn, Dialogs& dialogs, QWidget* parent)
    : TabPage(parent),
      fn_(fn),
      dialogs_(dialogs),
      runner_([this](KestrelCfg& cfg, RunControl& control) { LockedCleanUp(cfg, control); }) {
  run_ = new QPushButton(QStringLiteral("&Run"));
  run_->setObjectName(QStringLiteral("cmdRun"));
  run_->setToolTip(QStringLiteral("Run a clean-up with the settings shown, saved or not"));
  SetHelpContext(run_, 56);
  stop_ = new QPushButton(QStringLiteral("&Stop"));
  stop_->setObjectName(QStringLiteral("cmdStop"));
  stop_->setToolTip(QStringLiteral("End the run after the file being moved"));
  stop_->setEnabled(false);
  SetHelpContext(stop_, 56);
  preview_ = new QPushButton(QStringLiteral("&Preview"));
  preview_->setObjectName(QStringLiteral("cmdPreview"));
  preview_->setToolTip(QStringLiteral("Show what Run would move now, moving nothing"));
  output_ = new QPlainTextEdit;
  output_->setObjectName(QStringLiteral("txtRunOutput"));
  output_->setToolTip(QStringLiteral("What the last run did"));
  output_->setReadOnly(true);
  output_->setLineWrapMode(QPlainTextEdit::NoWrap);
  output_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  SetHelpContext(output_, 55);

  // Shown once discovery knows how many files are due.
  move_bar_ = new QProgressBar;
  move_bar_->setObjectName(QStringLiteral("prgMove"));
  move_bar_->setToolTip(QStringLiteral("Files moved of the files due"));
  move_bar_->setFormat(QStringLiteral("%v of %m files moved"));
  move_bar_->setVisible(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(run_);
  buttons->addWidget(stop_);
  buttons->addWidget(preview_);
  buttons->addWidget(move_bar_, 1);
  buttons->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(buttons);
  column->addWidget(output_, 1);
  setTabOrder(run_, stop_);
  setTabOrder(stop_, preview_);
  setTabOrder(preview_, output_);

  progress_timer_ = new QTimer(this);
  progress_timer_->setInterval(250);
  connect(progress_timer_, &QTimer::timeout, this, [this] { ShowProgress(); });
  connect(run_, &QPushButton::clicked, this, [this] { Run(); });
  connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
  connect(preview_, &QPushButton::clicked, this, [this] { ShowPreview(); });

  if (fn_.FileRemovalRpt) {
    file_moved_id_ = fn_.FileRemovalRpt->FileMoved.Subscribe([this](const RemovedFilePtr& file) {
      PostLine(
          "[File Moved] " + (file ? EscapeControlBytes(file->OriginalFilename()) : std::string()),
          file ? file->FileSize() : 0);
    });
    message_id_ = fn_.FileRemovalRpt->MessageLogged.Subscribe(
        [this](const std::string& message) { PostLine("[Message] " + message); });
  }
  if (fn_.WarningRpt) {
    warning_id_ = fn_.WarningRpt->WarningIssued.Subscribe(
        [this](const std::string& warning) { PostLine("[Warning] " + warning, -1, true); });
  }
}

RunTab::~RunTab() {
  if (preview_window_) {
    preview_window_->disconnect(this);  // it must not call back into a tab half gone
    delete preview_window_;
  }
  Stop();
  if (worker_.joinable()) worker_.join();
  if (fn_.FileRemovalRpt) {
    fn_.FileRemovalRpt->FileMoved.Unsubscribe(file_moved_id_);
    fn_.FileRemovalRpt->MessageLogged.Unsubscribe(message_id_);
  }
  if (fn_.WarningRpt) fn_.WarningRpt->WarningIssued.Unsubscribe(warning_id_);
}

void RunTab::AppendLine(const QString& line) {
  output_->appendPlainText(line);
}

void RunTab::PostLine(const std::string& line, std::int64_t moved, bool warning) {
  // Queued even on this thread, so that every line keeps its place behind the earlier ones.
  QMetaObject::invokeMethod(
      this,
      [this, text = QString::fromStdString(line), moved, warning] {
        output_->appendPlainText(text);
        if (moved >= 0) {
          ++files_moved_;
          bytes_moved_ += moved;
        }
        if (warning) ++warnings_;
      },
      Qt::QueuedConnection);
}

void RunTab::AllowRun(bool allowed) {
  allowed_ = allowed;
  UpdateButtons();
}

void RunTab::UpdateButtons() {
  run_->setEnabled(allowed_ && !Running() && !previewing_);
  preview_->setEnabled(!Running() && !previewing_);
  if (preview_window_) preview_window_->SetRunAllowed(allowed_ && !Running());
  stop_->setEnabled(Running() && control_ && !control_->StopRequested());
}

void RunTab::Stop() {
  if (!Running() || !control_) return;
  control_->stop = true;
  UpdateButtons();
}

void RunTab::ShowPreview() {
  if (Running() || previewing_) return;
  if (!preview_window_) {
    preview_window_ = new PreviewWindow(fn_, this);
    preview_window_->setAttribute(Qt::WA_DeleteOnClose);
    connect(preview_window_, &PreviewWindow::RunRequested, this,
            [this](std::shared_ptr<KestrelCfg> cfg,
                   std::shared_ptr<const std::vector<ListedFile>> listed) {
              Run(std::move(cfg), std::move(listed));
              from_preview_ = Running();
            });
    connect(preview_window_, &PreviewWindow::RefreshRequested, this, [this] { ShowPreview(); });
    // Closing the window ends its preview without Finished.
    connect(preview_window_, &PreviewWindow::Finished, this, [this] { PreviewEnded(); });
    connect(preview_window_, &QObject::destroyed, this, [this] {
      preview_window_ = nullptr;  // only its QObject part is left
      PreviewEnded();
    });
  }
  if (!fn_.CurrentCfg) fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_.Outside());
  preview_window_->Start(fn_.CurrentCfg);
  previewing_ = true;
  UpdateButtons();
  emit PreviewStarted();
  preview_window_->show();
  preview_window_->raise();
  preview_window_->activateWindow();
}

void RunTab::PreviewEnded() {
  if (!previewing_) return;
  previewing_ = false;
  UpdateButtons();
  emit PreviewFinished();
}

void RunTab::LockedCleanUp(KestrelCfg& cfg, RunControl& control) {
  Outside& outside = fn_.Outside();
  if (!ProgramFolderTrusted(fn_, "frmKestrel.cmdRun_Click")) return;
  RunLock lock(outside.sys, fn_.ProgramFolder());
  if (!TakeRunLock(lock, outside.clock, outside.reporter, 0, "frmKestrel.cmdRun_Click")) {
    PostLine(kRunInProgress);
    return;
  }
  CleanUp(fn_.World(), cfg, &control, listed_.get());
}

bool RunTab::ConfirmRun(const KestrelCfg& cfg) {
  if (cfg.PrefixToken().empty()) {
    dialogs_.MessageBox(
        "The removal date prefix is empty, so no file name can carry a removal date and the run "
        "would find nothing.\nEnter a prefix on the Options tab first.",
        MsgButtons::Ok, MsgIcon::Exclamation, "Empty Removal Date Prefix");
    return false;
  }
  if (!cfg.IncludeFolders().empty()) return true;
  std::string drives;
  try {
    for (const std::string& drive : Win32Wrapper(fn_.Outside().sys).GetLocalDrives()) {
      drives += "\n" + drive;
    }
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "frmKestrel.cmdRun_Click", std::current_exception());
    return false;
  }
  return dialogs_.MessageBox(
             "The Include list is empty, so this run scans every local file "
             "system with all its folders:" +
                 drives + "\nRun it anyway?",
             MsgButtons::YesNoDefaultNo, MsgIcon::Question, "Empty Include List") == MsgResult::Yes;
}

void RunTab::Run(std::shared_ptr<KestrelCfg> cfg,
                 std::shared_ptr<const std::vector<ListedFile>> listed) {
  if (!cfg) cfg = fn_.CurrentCfg;
  if (!cfg) cfg = fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_.Outside());
  if (Running() || previewing_ || !allowed_ || !ConfirmRun(*cfg)) return;
  output_->setPlainText(QStringLiteral("Starting Clean-up at ") +
                        QString::fromStdString(fn_.Now().ToDisplayText()) + QStringLiteral("..."));
  files_moved_ = bytes_moved_ = warnings_ = 0;
  control_ = std::make_unique<RunControl>();
  started_from_ = cfg;
  run_cfg_ = std::make_shared<KestrelCfg>(*cfg);
  listed_ = std::move(listed);
  worker_ = std::thread([this, run_cfg = run_cfg_, control = control_.get()] {
    try {
      runner_(*run_cfg, *control);
    } catch (...) {
      ReportHandled(fn_.Outside().reporter, "frmKestrel.cmdRun_Click", std::current_exception());
    }
    QMetaObject::invokeMethod(
        this, [this] { FinishRun(); }, Qt::QueuedConnection);
  });
  UpdateButtons();
  emit RunStarted();
  ShowProgress();
  progress_timer_->start();
}

void RunTab::ShowProgress() {
  const int folders = control_ ? control_->folders_scanned.load() : 0;
  const std::int64_t due = control_ ? control_->files_due.load() : -1;
  const QString moved = due < 0 ? QString::number(files_moved_)
                                : QStringLiteral("%1 of %2").arg(files_moved_).arg(due);
  // No-break spaces keep each figure whole where a narrow window wraps the line.
  emit Progress(QStringLiteral("Folders scanned: %1    Files moved: %2    MB moved: %3")
                    .arg(folders)
                    .arg(moved)
                    .arg(Megabytes(bytes_moved_))
                    .replace(QRegularExpression(QStringLiteral("(?<! ) (?! )")), QChar(0xA0)));
  move_bar_->setVisible(Running() && due >= 0);
  if (due >= 0) {
    move_bar_->setRange(0, static_cast<int>(std::min<std::int64_t>(due, INT32_MAX)));
    move_bar_->setValue(static_cast<int>(std::min(files_moved_, due)));
  }
}

void RunTab::FinishRun() {
  worker_.join();
  if (fn_.CurrentCfg == started_from_) started_from_->AdoptRun(*run_cfg_);
  started_from_.reset();
  run_cfg_.reset();
  listed_.reset();
  progress_timer_->stop();
  ShowProgress();
  // Stop is no part of the design, so its end says so instead of "completed".
  const bool stopped = control_ && control_->StopRequested();
  output_->appendPlainText((stopped ? QStringLiteral("Clean-up stopped at ")
                                    : QStringLiteral("Clean-up completed at ")) +
                           QString::fromStdString(fn_.Now().ToDisplayText()) + QStringLiteral("."));
  output_->appendPlainText(QStringLiteral("%1 files moved, %2 MB, %3 warnings")
                               .arg(files_moved_)
                               .arg(Megabytes(bytes_moved_))
                               .arg(warnings_));
  if (from_preview_ && preview_window_)
    preview_window_->ShowRun(files_moved_, bytes_moved_, stopped);
  from_preview_ = false;
  UpdateButtons();
  emit RunFinished();
}

}  // namespace kestrel
