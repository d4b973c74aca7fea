#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cleanup/run_control.h"
#include "cleanup/run_seams.h"
#include "ui/preview_window.h"
#include "ui/tab_page.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kestrel {

class Dialogs;
class Functions;
class KestrelCfg;

// The Run tab: starts a clean-up of a copy of the current configuration off the user-interface
// thread (its last run date and records go back to the configuration when that is still the
// current one), shows a line for every file moved, message and warning as the run records it, and
// can stop the run.
class RunTab : public TabPage {
  Q_OBJECT

 public:
  // What a run does with its copy of the configuration; CleanUp under the run lock unless a
  // test says otherwise.
  using Runner = std::function<void(KestrelCfg&, RunControl&)>;

  RunTab(Functions& fn, Dialogs& dialogs, QWidget* parent = nullptr);
  // Stops a run in progress and waits for it, then stops listening to the reports.
  ~RunTab() override;

  void SetRunner(Runner runner) { runner_ = std::move(runner); }
  // Adds a line to the output (what a restore did, for one).
  void AppendLine(const QString& line);
  bool Running() const { return worker_.joinable(); }
  // Asks the run in progress to end; it ends as a completed run does.
  void Stop();
  // Enables Run unless a run is in progress or the window forbids it (a field in error).
  void AllowRun(bool allowed);
  QPushButton* RunButton() const { return run_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* PreviewButton() const { return preview_; }
  // The preview window once Preview was pressed.
  PreviewWindow* Preview() const { return preview_window_; }

 signals:
  void RunStarted();
  // A preview began or ended; the configuration must not change meanwhile.
  void PreviewStarted();
  void PreviewFinished();
  // The progress of the run in progress, as one line.
  void Progress(const QString& line);
  void RunFinished();

 private:
  // Runs a copy of cfg, or of the current configuration when none is given; over the listed
  // files only, when given.
  void Run(std::shared_ptr<KestrelCfg> cfg = nullptr,
           std::shared_ptr<const std::vector<ListedFile>> listed = nullptr);
  // Returns true iff the run may start: a prefix is set, and an empty Include list is meant.
  bool ConfirmRun(const KestrelCfg& cfg);
  void ShowPreview();
  void PreviewEnded();
  // CleanUp while holding the program folder's run lock; without it, says so on the tab.
  void LockedCleanUp(KestrelCfg& cfg, RunControl& control);
  void FinishRun();
  void ShowProgress();
  // Adds the line after the lines already queued, from any thread; moved is the size of a
  // moved file, warning whether the line is one.
  void PostLine(const std::string& line, std::int64_t moved = -1, bool warning = false);
  void UpdateButtons();

  Functions& fn_;
  Dialogs& dialogs_;
  Runner runner_;
  QPushButton* run_;
  QPushButton* stop_;
  QPushButton* preview_;
  QPointer<PreviewWindow> preview_window_;
  bool previewing_ = false;
  bool from_preview_ = false;  // the run in progress was started by the preview's Run
  QPlainTextEdit* output_;
  QProgressBar* move_bar_;
  QTimer* progress_timer_;
  std::thread worker_;
  std::unique_ptr<RunControl> control_;
  // The run in progress: the configuration it started from, its copy and what it may move.
  std::shared_ptr<KestrelCfg> started_from_;
  std::shared_ptr<KestrelCfg> run_cfg_;
  std::shared_ptr<const std::vector<ListedFile>> listed_;
  bool allowed_ = true;
  // Counted on this thread as the lines arrive.
  std::int64_t files_moved_ = 0;
  std::int64_t bytes_moved_ = 0;
  std::int64_t warnings_ = 0;
  int file_moved_id_ = 0;
  int message_id_ = 0;
  int warning_id_ = 0;
};

}  // namespace kestrel
