#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "ui/about_box.h"
#include "ui/folder_list_tab.h"
#include "ui/help_window.h"
#include "ui/name_field.h"
#include "ui/options_tab.h"
#include "ui/run_tab.h"
#include "ui/ui_support.h"
#include "ui/window_layout.h"

namespace kestrel {

MainWindow::MainWindow(Functions& fn, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), fn_(fn), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmKestrel"));
  setWindowTitle(QStringLiteral("Kestrel"));
  setWindowIcon(KestrelIcon());
  BuildTabs();
  BuildMenus();
  BuildStatusBar();

  auto* help_key = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help_key, &QShortcut::activated, this,
          [this] { Help().ShowContext(HelpContextOf(QApplication::focusWidget())); });

  tabs_->setCurrentIndex(0);
  SetHelpContext(tabs_, 10);
  FillControls();
  // Never smaller than its controls need, so that no field or error text is cut.
  QWidget* client = centralWidget();
  client->setMinimumSize(client->minimumSize().expandedTo(client->layout()->minimumSize()));
  resize(minimumSizeHint().expandedTo(client->minimumSize()));
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildTabs() {
  auto* client = new QWidget;
  // The design's client area is the smallest the window gets.
  SetDesignMinimum(*client, 5790, 3750);
  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("tsTabStrip"));
  auto* frame = new QVBoxLayout(client);
  const int spacing = DesignSpacing(*this);
  frame->setContentsMargins(spacing, spacing, spacing, spacing);
  frame->addWidget(tabs_);

  options_ = new OptionsTab(fn_, dialogs_);
  include_ = new FolderListTab(fn_, dialogs_, FolderListKind::Include);
  exclude_ = new FolderListTab(fn_, dialogs_, FolderListKind::Exclude);
  run_ = new RunTab(fn_, dialogs_);
  tabs_->addTab(options_, QStringLiteral("&Options"));
  tabs_->addTab(include_, QStringLiteral("&Include"));
  tabs_->addTab(exclude_, QStringLiteral("E&xclude"));
  tabs_->addTab(run_, QStringLiteral("R&un..."));
  setCentralWidget(client);

  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { TabChanged(index); });
  for (TabPage* page : {static_cast<TabPage*>(options_), static_cast<TabPage*>(include_),
                        static_cast<TabPage*>(exclude_)}) {
    connect(page, &TabPage::Edited, this, [this] { UpdateStatus(); });
  }
  connect(options_, &OptionsTab::ValidityChanged, this, [this] { UpdateStatus(); });
  connect(run_, &RunTab::RunStarted, this, [this] { SetRunning(true); });
  connect(run_, &RunTab::PreviewStarted, this, [this] { SetRunning(true); });
  connect(run_, &RunTab::PreviewFinished, this, [this] { SetRunning(false); });
  connect(run_, &RunTab::RunFinished, this, [this] {
    SetRunning(false);
    if (close_after_run_) close();
  });
}

void MainWindow::BuildStatusBar() {
  status_file_ = new QLabel;
  status_file_->setObjectName(QStringLiteral("lblConfigFile"));
  status_file_->setToolTip(QStringLiteral("The configuration file shown"));
  status_changed_ = new QLabel;
  status_changed_->setObjectName(QStringLiteral("lblUnsaved"));
  status_changed_->setToolTip(QStringLiteral("The configuration has changes not yet saved"));
  status_progress_ = new QLabel;
  status_progress_->setObjectName(QStringLiteral("lblProgress"));
  status_progress_->setToolTip(QStringLiteral("The progress of the run"));
  // Wraps rather than being cut where the window is narrow.
  status_progress_->setWordWrap(true);
  // The file name gives way, so that the progress is never cut.
  status_file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(status_file_, 1);
  statusBar()->addWidget(status_changed_);
  statusBar()->addPermanentWidget(status_progress_);
  connect(run_, &RunTab::Progress, status_progress_, &QLabel::setText);
}

QString MainWindow::StatusText() const {
  return status_file_->text() + (status_changed_->text().isEmpty()
                                     ? QString()
                                     : QStringLiteral(" ") + status_changed_->text());
}

void MainWindow::UpdateStatus() {
  const KestrelCfg& cfg = CurrentCfg(fn_);
  status_file_->setText(cfg.Filename().empty() ? QStringLiteral("(not saved yet)")
                                               : ShownName(cfg.Filename()));
  status_changed_->setText(cfg.IsDirty() ? QStringLiteral("[modified]") : QString());
  const bool valid = options_->Valid();
  if (save_) save_->setEnabled(valid && !running_);
  if (save_as_) save_as_->setEnabled(valid && !running_);
  run_->AllowRun(valid);
}

void MainWindow::FillControls() {
  KestrelCfg& cfg = CurrentCfg(fn_);
  options_->Fill(cfg);
  include_->Fill(cfg.IncludeFolders());
  exclude_->Fill(cfg.ExcludeFolders());
  UpdateStatus();
}

void MainWindow::TabChanged(int index) {
  switch (index) {
    case 0:
      SetHelpContext(tabs_, 10);
      SetDefaultButton(nullptr);
      break;
    case 1:
      SetHelpContext(tabs_, 19);
      include_->NewFolderField()->setFocus();
      SetDefaultButton(include_->AddButton());
      break;
    case 2:
      SetHelpContext(tabs_, 24);
      exclude_->NewFolderField()->setFocus();
      SetDefaultButton(exclude_->AddButton());
      break;
    default:
      SetHelpContext(tabs_, 29);
      SetDefaultButton(nullptr);
      break;
  }
}

// Only the visible tab has a default button, so Enter never acts on a hidden one.
void MainWindow::SetDefaultButton(QPushButton* button) {
  if (default_button_) default_button_->setDefault(false);
  default_button_ = button;
  if (default_button_) default_button_->setDefault(true);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  QWidget* focus = QApplication::focusWidget();
  if (auto* button = qobject_cast<QPushButton*>(focus)) {
    if (button->isEnabled()) button->click();
  } else if (!qobject_cast<QPlainTextEdit*>(focus) && default_button_ &&
             default_button_->isEnabled() &&
             tabs_->currentWidget()->isAncestorOf(default_button_)) {
    default_button_->click();
  }
}

void MainWindow::SetRunning(bool running) {
  running_ = running;
  options_->setEnabled(!running);
  include_->setEnabled(!running);
  exclude_->setEnabled(!running);
  for (QAction* action : locked_while_running_) action->setEnabled(!running);
  UpdateStatus();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (run_->Running()) {
    event->ignore();
    if (close_after_run_) return;
    if (dialogs_.MessageBox("A clean-up run is in progress.\nStop it and close Kestrel?",
                            MsgButtons::YesNo, MsgIcon::Question,
                            "Run in Progress") == MsgResult::Yes) {
      close_after_run_ = true;
      run_->Stop();
    }
    return;
  }
  close_after_run_ = false;
  if (!MayDiscard()) {
    event->ignore();
    return;
  }
  if (help_) help_->close();
  if (about_) about_->close();
  event->accept();
}

AboutBox& MainWindow::About() {
  if (!about_) about_ = new AboutBox(dialogs_, fn_.ProgramFolder(), this);
  return *about_;
}

HelpWindow& MainWindow::Help() {
  if (!help_) help_ = new HelpWindow(this);
  return *help_;
}

}  // namespace kestrel
