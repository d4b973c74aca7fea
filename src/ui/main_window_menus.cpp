#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "ui/about_box.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/report_commands.h"

namespace kestrel {

namespace {

struct ReportItem {
  ReportKind kind;
  const char* name;
  const char* caption;
};

constexpr ReportItem kReportItems[] = {
    {ReportKind::Settings, "SettingsReport", "Settings Report"},
    {ReportKind::FileRemoval, "FileRemovalReport", "File Removal Report"},
    {ReportKind::Warning, "WarningReport", "Warning Report"},
};

}  // namespace

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  AddCommand(file, "mnuFileNew", QStringLiteral("&New"), {QKeySequence(QStringLiteral("Ctrl+N"))},
             &MainWindow::FileNew, true);
  AddCommand(file, "mnuFileOpen", QStringLiteral("&Open"), {QKeySequence(QStringLiteral("Ctrl+O"))},
             &MainWindow::FileOpen, true);
  file->addSeparator();
  save_ = AddCommand(file, "mnuFileSave", QStringLiteral("&Save"),
                     {QKeySequence(QStringLiteral("Ctrl+S"))}, &MainWindow::FileSave, true);
  // The design's key first, then the desktop's usual one.
  save_as_ = AddCommand(file, "mnuFileSaveAs", QStringLiteral("Save &As"),
                        {QKeySequence(Qt::Key_F12), QKeySequence(QStringLiteral("Ctrl+Shift+S"))},
                        &MainWindow::FileSaveAs, true);
  AddCommand(file, "mnuFileSchedule", QStringLiteral("Sc&hedule..."), {}, &MainWindow::FileSchedule,
             true);
  AddCommand(file, "mnuFileRestore", QStringLiteral("&Restore..."), {}, &MainWindow::FileRestore,
             true);
  file->addSeparator();
  AddReportMenus(file, QStringLiteral("mnuFile"), QStringLiteral("&View"));
  file->addSeparator();
  // Open during a run too: closing then asks whether to stop the run.
  AddCommand(file, "mnuFileExit", QStringLiteral("E&xit"), {QKeySequence(QStringLiteral("Ctrl+Q"))},
             &MainWindow::Exit, false);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("mnuView"));
  AddReportMenus(view, QStringLiteral("mnuView"), QStringLiteral("View"));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  AddCommand(help, "mnuHelpContents", QStringLiteral("&Contents"), {}, &MainWindow::HelpContents,
             false);
  AddCommand(help, "mnuHelpAbout", QStringLiteral("&About"), {}, &MainWindow::ShowAbout, false);
}

QAction* MainWindow::AddCommand(QMenu* menu, const char* name, const QString& caption,
                                const QList<QKeySequence>& shortcuts, void (MainWindow::*handler)(),
                                bool locked_while_running) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromUtf8(name));
  action->setShortcuts(shortcuts);
  connect(action, &QAction::triggered, this, handler);
  if (locked_while_running) locked_while_running_.push_back(action);
  return action;
}

// The View submenu and the Print submenu of three reports each; the File and the View menu
// carry the same pair.
void MainWindow::AddReportMenus(QMenu* menu, const QString& prefix, const QString& view_caption) {
  QMenu* view = menu->addMenu(view_caption);
  view->setObjectName(prefix + QStringLiteral("View"));
  QMenu* print = menu->addMenu(QStringLiteral("&Print"));
  print->setObjectName(prefix + QStringLiteral("Print"));
  for (const ReportItem& item : kReportItems) {
    const QString caption = QString::fromUtf8(item.caption);
    QAction* show = view->addAction(caption);
    show->setObjectName(view->objectName() + QString::fromUtf8(item.name));
    connect(show, &QAction::triggered, this, [this, kind = item.kind] { ViewReport(kind); });
    QAction* send = print->addAction(caption);
    send->setObjectName(print->objectName() + QString::fromUtf8(item.name));
    connect(send, &QAction::triggered, this, [this, kind = item.kind] { PrintReport(kind); });
    locked_while_running_.push_back(show);
    locked_while_running_.push_back(send);
  }
}

void MainWindow::ViewReport(ReportKind kind) {
  if (IReport* report = ReportOf(kind)) kestrel::ShowReport(this, *report);
}

void MainWindow::PrintReport(ReportKind kind) {
  if (IReport* report = ReportOf(kind)) kestrel::PrintReport(dialogs_, *report);
}

void MainWindow::HelpContents() {
  Help().ShowContext(0);
}

void MainWindow::ShowAbout() {
  About().show();
  About().raise();
  About().activateWindow();
}

void MainWindow::Exit() {
  close();
}

}  // namespace kestrel
