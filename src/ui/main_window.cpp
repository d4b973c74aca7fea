#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "ui/about_box.h"
#include "ui/folder_list_tab.h"
#include "ui/help_window.h"
#include "ui/options_tab.h"
#include "ui/run_tab.h"
#include "ui/twips.h"
#include "ui/ui_support.h"

namespace kestrel {

MainWindow::MainWindow(Functions& fn, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), fn_(fn), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmKestrel"));
  setWindowTitle(QStringLiteral("Kestrel"));
  setWindowIcon(KestrelIcon());
  FitFont();
  BuildTabs();
  BuildMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  auto* help_key = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help_key, &QShortcut::activated, this,
          [this] { Help().ShowContext(HelpContextOf(QApplication::focusWidget())); });

  tabs_->setCurrentIndex(0);
  SetHelpContext(tabs_, 10);
  SetDefaultButton(exclude_->AddButton());
  FillControls();
}

MainWindow::~MainWindow() = default;

// The window was drawn for an 8-point font; a wider system font shrinks until the longest
// caption fits its label again.
void MainWindow::FitFont() {
  QFont font = QApplication::font();
  font.setPointSizeF(8);
  const int room = TwipsToPixels(1695, logicalDpiX()) - 2;
  const QString longest = QStringLiteral("Max. KB Log File Size:");
  for (int step = 0; step < 6 && QFontMetrics(font).horizontalAdvance(longest) > room; ++step) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  setFont(font);
}

void MainWindow::BuildTabs() {
  auto* client = new QWidget;
  const double dpi = logicalDpiX();
  client->setFixedSize(TwipsToPixels(5790, dpi), TwipsToPixels(3750, dpi));
  tabs_ = new QTabWidget(client);
  tabs_->setObjectName(QStringLiteral("tsTabStrip"));
  tabs_->setGeometry(TwipsToRect(120, 120, 5535, 3495, dpi));

  options_ = new OptionsTab(fn_, dialogs_, tabs_);
  include_ = new FolderListTab(fn_, dialogs_, FolderListKind::Include, tabs_);
  exclude_ = new FolderListTab(fn_, dialogs_, FolderListKind::Exclude, tabs_);
  run_ = new RunTab(fn_, tabs_);
  tabs_->addTab(options_, QStringLiteral("Options"));
  tabs_->addTab(include_, QStringLiteral("Include"));
  tabs_->addTab(exclude_, QStringLiteral("Exclude"));
  tabs_->addTab(run_, QStringLiteral("Run..."));
  setCentralWidget(client);

  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { TabChanged(index); });
  connect(run_, &RunTab::RunStarted, this, [this] { SetRunning(true); });
  connect(run_, &RunTab::RunFinished, this, [this] { SetRunning(false); });
}

void MainWindow::FillControls() {
  KestrelCfg& cfg = CurrentCfg(fn_);
  options_->Fill(cfg);
  include_->Fill(cfg.IncludeFolders());
  exclude_->Fill(cfg.ExcludeFolders());
}

void MainWindow::TabChanged(int index) {
  switch (index) {
    case 0:
      SetHelpContext(tabs_, 10);
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
      break;
  }
}

void MainWindow::SetDefaultButton(QPushButton* button) {
  if (default_button_) default_button_->setDefault(false);
  default_button_ = button;
  default_button_->setDefault(true);
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
             default_button_->isEnabled()) {
    default_button_->click();
  }
}

void MainWindow::SetRunning(bool running) {
  options_->setEnabled(!running);
  include_->setEnabled(!running);
  exclude_->setEnabled(!running);
  for (QAction* action : locked_while_running_) action->setEnabled(!running);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (run_->Running() || (CurrentCfg(fn_).IsDirty() && ConfirmSave() == MsgResult::Cancel)) {
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
