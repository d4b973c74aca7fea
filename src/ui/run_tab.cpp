#include "ui/run_tab.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
#include "platform/error_reporter.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"
#include "ui/help_window.h"
#include "ui/ui_support.h"

namespace kestrel {

RunTab::RunTab(Functions& fn, QWidget* tab_control)
    : TabPage(tab_control), fn_(fn), runner_([this](KestrelCfg& cfg) { LockedCleanUp(cfg); }) {
  run_ = new QPushButton(QStringLiteral("Run"));
  run_->setObjectName(QStringLiteral("cmdRun"));
  SetHelpContext(run_, 56);
  Place(run_, 120, 480, 1215, 375);
  preview_ = new QPushButton(QStringLiteral("Preview"));
  preview_->setObjectName(QStringLiteral("cmdPreview"));
  Place(preview_, 1455, 480, 1215, 375);
  output_ = new QPlainTextEdit;
  output_->setObjectName(QStringLiteral("txtRunOutput"));
  output_->setReadOnly(true);
  output_->setLineWrapMode(QPlainTextEdit::NoWrap);
  output_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  SetHelpContext(output_, 55);
  Place(output_, 120, 960, 5295, 2415);
  setTabOrder(run_, preview_);
  setTabOrder(preview_, output_);
  connect(run_, &QPushButton::clicked, this, [this] { Run(); });
  connect(preview_, &QPushButton::clicked, this, [this] { ShowPreview(); });

  if (fn_.FileRemovalRpt) {
    file_moved_id_ = fn_.FileRemovalRpt->FileMoved.Subscribe([this](const RemovedFilePtr& file) {
      PostLine("[File Moved] " +
               (file ? EscapeControlBytes(file->OriginalFilename()) : std::string()));
    });
    message_id_ = fn_.FileRemovalRpt->MessageLogged.Subscribe(
        [this](const std::string& message) { PostLine("[Message] " + message); });
  }
  if (fn_.WarningRpt) {
    warning_id_ = fn_.WarningRpt->WarningIssued.Subscribe(
        [this](const std::string& warning) { PostLine("[Warning] " + warning); });
  }
}

RunTab::~RunTab() {
  if (worker_.joinable()) worker_.join();
  if (fn_.FileRemovalRpt) {
    fn_.FileRemovalRpt->FileMoved.Unsubscribe(file_moved_id_);
    fn_.FileRemovalRpt->MessageLogged.Unsubscribe(message_id_);
  }
  if (fn_.WarningRpt) fn_.WarningRpt->WarningIssued.Unsubscribe(warning_id_);
}

void RunTab::PostLine(const std::string& line) {
  // Queued even on this thread, so that every line keeps its place behind the earlier ones.
  QMetaObject::invokeMethod(
      this, [this, text = QString::fromStdString(line)] { output_->appendPlainText(text); },
      Qt::QueuedConnection);
}

void RunTab::ShowPreview() {
  if (Running()) return;
  if (!preview_window_) {
    preview_window_ = new PreviewWindow(fn_, this);
    preview_window_->setAttribute(Qt::WA_DeleteOnClose);
    connect(preview_window_, &PreviewWindow::RunRequested, this,
            [this](std::shared_ptr<KestrelCfg> cfg) { Run(std::move(cfg)); });
  }
  if (!fn_.CurrentCfg) fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_);
  preview_window_->Start(fn_.CurrentCfg);
  preview_window_->show();
  preview_window_->raise();
  preview_window_->activateWindow();
}

void RunTab::Run(std::shared_ptr<KestrelCfg> cfg) {
  if (Running()) return;
  output_->setPlainText(QStringLiteral("Starting Clean-up at ") +
                        QString::fromStdString(fn_.Now().ToDisplayText()) + QStringLiteral("..."));
  run_->setEnabled(false);
  preview_->setEnabled(false);
  if (preview_window_) preview_window_->SetRunAllowed(false);
  emit RunStarted();
  if (!cfg) cfg = fn_.CurrentCfg;
  if (!cfg) cfg = fn_.CurrentCfg = std::make_shared<KestrelCfg>(fn_);
  worker_ = std::thread([this, cfg] {
    try {
      runner_(*cfg);
    } catch (...) {
      ReportHandled(fn_.Outside().reporter, "frmKestrel.cmdRun_Click", std::current_exception());
    }
    QMetaObject::invokeMethod(
        this, [this] { FinishRun(); }, Qt::QueuedConnection);
  });
}

void RunTab::LockedCleanUp(KestrelCfg& cfg) {
  Platform& outside = fn_.Outside();
  RunLock lock(outside.sys, fn_.ProgramFolder());
  if (!TakeRunLock(lock, outside.clock, outside.reporter, 0, "frmKestrel.cmdRun_Click")) {
    PostLine(kRunInProgress);
    return;
  }
  cfg.CleanUp();
}

void RunTab::FinishRun() {
  worker_.join();
  output_->appendPlainText(QStringLiteral("Clean-up completed at ") +
                           QString::fromStdString(fn_.Now().ToDisplayText()) + QStringLiteral("."));
  run_->setEnabled(true);
  preview_->setEnabled(true);
  if (preview_window_) preview_window_->SetRunAllowed(true);
  emit RunFinished();
}

}  // namespace kestrel
