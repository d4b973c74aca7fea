#pragma once

#include <QMainWindow>
#include <vector>

#include "platform/dialogs.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace kestrel {

class AboutBox;
class FolderListTab;
class Functions;
class HelpWindow;
class IReport;
class OptionsTab;
class RunTab;

enum class ReportKind { Settings, FileRemoval, Warning };

// The main window: the current configuration on the tabs Options, Include, Exclude and
// Run..., the file commands, the report commands, help and the About box.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(Functions& fn, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The one About box and help window of the program, made when first needed.
  AboutBox& About();
  HelpWindow& Help();
  // The button that Enter presses when the focus is on no other button.
  QPushButton* DefaultButton() const { return default_button_; }
  RunTab& RunPage() const { return *run_; }
  // The configuration's file and whether it has unsaved changes, as the status bar shows them.
  QString StatusText() const;

 protected:
  // Asks to save a changed configuration first, and to stop a run in progress; Cancel keeps
  // the window open.
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // main_window.cpp: layout, refresh, tabs, run state, help.
  void BuildTabs();
  void BuildStatusBar();
  void FillControls();
  void TabChanged(int index);
  void SetDefaultButton(QPushButton* button);
  void SetRunning(bool running);
  // Shows the file and the changed mark; Save and Run follow the Options fields' validity.
  void UpdateStatus();

  // main_window_menus.cpp
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                      const QList<QKeySequence>& shortcuts, void (MainWindow::*handler)(),
                      bool locked_while_running);
  void AddReportMenus(QMenu* menu, const QString& prefix, const QString& view_caption);
  void ViewReport(ReportKind kind);
  void PrintReport(ReportKind kind);
  void HelpContents();
  void ShowAbout();
  void Exit();

  // main_window_reports.cpp
  IReport* ReportOf(ReportKind kind) const;

  // main_window_files.cpp
  void FileNew();
  void FileOpen();
  void FileSave();
  void FileSaveAs();
  // main_window_schedule.cpp: a systemd timer for the saved configuration.
  void FileSchedule();
  // main_window_restore.cpp: the Restore dialog, its lines going to the Run tab.
  void FileRestore();
  // Yes, No or Cancel; Cancel too when Yes led to a Save As that got no file name, or to no
  // save because a field is in error.
  MsgResult ConfirmSave();
  // Returns true iff the current configuration may be replaced: it is unchanged, or the user
  // saved it or let it go.
  bool MayDiscard();
  // Where the file dialogs start: the current configuration's folder, else the program's.
  std::string StartFolder() const;

  Functions& fn_;
  Dialogs& dialogs_;
  QTabWidget* tabs_ = nullptr;
  OptionsTab* options_ = nullptr;
  FolderListTab* include_ = nullptr;
  FolderListTab* exclude_ = nullptr;
  RunTab* run_ = nullptr;
  QPushButton* default_button_ = nullptr;
  QLabel* status_file_ = nullptr;
  QLabel* status_changed_ = nullptr;
  QLabel* status_progress_ = nullptr;
  QAction* save_ = nullptr;
  QAction* save_as_ = nullptr;
  bool running_ = false;
  bool close_after_run_ = false;
  AboutBox* about_ = nullptr;
  HelpWindow* help_ = nullptr;
  std::vector<QAction*> locked_while_running_;
  bool save_cancelled_ = false;
};

}  // namespace kestrel
