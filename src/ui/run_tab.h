#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ui/preview_window.h"
#include "ui/tab_page.h"

class QPlainTextEdit;
class QPushButton;

namespace kestrel {

class Functions;
class KestrelCfg;

// The Run tab: starts a clean-up of the current configuration off the user-interface thread
// and shows a line for every file moved, message and warning as the run records it.
class RunTab : public TabPage {
  Q_OBJECT

 public:
  // What a run does with the configuration; CleanUp under the run lock unless a test says
  // otherwise.
  using Runner = std::function<void(KestrelCfg&)>;

  RunTab(Functions& fn, QWidget* tab_control);
  // Waits for a run in progress, then stops listening to the reports.
  ~RunTab() override;

  void SetRunner(Runner runner) { runner_ = std::move(runner); }
  bool Running() const { return worker_.joinable(); }
  QPushButton* RunButton() const { return run_; }
  QPushButton* PreviewButton() const { return preview_; }
  // The preview window once Preview was pressed.
  PreviewWindow* Preview() const { return preview_window_; }

 signals:
  void RunStarted();
  void RunFinished();

 private:
  // Runs cfg, or the current configuration when none is given.
  void Run(std::shared_ptr<KestrelCfg> cfg = nullptr);
  void ShowPreview();
  void FinishRun();
  // CleanUp while holding the program folder's run lock; without it, says so on the tab.
  void LockedCleanUp(KestrelCfg& cfg);
  // Adds the line after the lines already queued, from any thread.
  void PostLine(const std::string& line);

  Functions& fn_;
  Runner runner_;
  QPushButton* run_;
  QPushButton* preview_;
  QPointer<PreviewWindow> preview_window_;
  QPlainTextEdit* output_;
  std::thread worker_;
  int file_moved_id_ = 0;
  int message_id_ = 0;
  int warning_id_ = 0;
};

}  // namespace kestrel
