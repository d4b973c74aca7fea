#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <thread>
#include <vector>

#include "cleanup/run_control.h"
#include "cleanup/run_seams.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace kestrel {

class Functions;
class KestrelCfg;
class PreviewModel;
struct PreviewResult;

// What Run would do now with a configuration: a sortable table of the files it would move
// (file, removal date, size, destination), the warnings and the stop point below it, and a
// Run button that moves what the preview listed and nothing else. The preview works off the UI
// thread, on a copy of the configuration taken at its start.
class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewWindow(Functions& fn, QWidget* parent = nullptr);
  // Stops a preview in progress and waits for it.
  ~PreviewWindow() override;

  // Previews the configuration afresh; does nothing while a preview is in progress.
  void Start(std::shared_ptr<KestrelCfg> cfg);
  bool Busy() const { return worker_.joinable(); }
  // Whether the window's Run may be pressed as far as the main window is concerned (no run in
  // progress, no field in error); it also needs an up-to-date preview that found files.
  void SetRunAllowed(bool allowed);
  // The run its Run started has ended, having moved files of bytes (stopped: by the user).
  void ShowRun(std::int64_t files, std::int64_t bytes, bool stopped);
  // Returns true iff the current configuration is the one previewed, unchanged since.
  bool UpToDate() const;

  QTableView* Table() const { return table_; }
  QPushButton* RunButton() const { return run_; }
  QPlainTextEdit* Notes() const { return notes_; }
  QLabel* Status() const { return status_; }
  QPushButton* RefreshButton() const { return refresh_; }

 signals:
  void Finished();
  // Run was pressed: run the configuration that was previewed over the files it listed.
  void RunRequested(std::shared_ptr<KestrelCfg> cfg,
                    std::shared_ptr<const std::vector<ListedFile>> listed);
  // Refresh was pressed: preview the current configuration afresh.
  void RefreshRequested();

 private:
  void Finish(const std::shared_ptr<const PreviewResult>& result);
  void UpdateRunButton();

  Functions& fn_;
  // The configuration previewed, and the copy the preview ran on.
  std::shared_ptr<KestrelCfg> from_;
  std::shared_ptr<const KestrelCfg> cfg_;
  std::shared_ptr<const PreviewResult> result_;
  QString summary_;
  RunControl control_;
  std::thread worker_;
  bool run_allowed_ = true;
  bool shown_ = false;
  bool every_disk_ = false;  // the Include list was empty
  QLabel* status_;
  QTableView* table_;
  PreviewModel* model_;
  QSortFilterProxyModel* sorted_;
  QPlainTextEdit* notes_;
  QPushButton* run_;
  QPushButton* refresh_;
};

}  // namespace kestrel
