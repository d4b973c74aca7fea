#pragma once

#include <QWidget>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "cleanup/run_control.h"

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
// Run button that runs that same configuration. The preview works off the UI thread.
class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewWindow(Functions& fn, QWidget* parent = nullptr);
  // Stops a preview in progress and waits for it.
  ~PreviewWindow() override;

  // Previews the configuration afresh; does nothing while a preview is in progress.
  void Start(std::shared_ptr<KestrelCfg> cfg);
  bool Busy() const { return worker_.joinable(); }
  // Whether Run may be pressed: a preview is shown and no run is in progress.
  void SetRunAllowed(bool allowed);

  QTableView* Table() const { return table_; }
  QPushButton* RunButton() const { return run_; }
  QPlainTextEdit* Notes() const { return notes_; }
  QLabel* Status() const { return status_; }

 signals:
  void Finished();
  // Run was pressed: run the configuration that was previewed.
  // purge_only: the quarantine items the preview listed, the only ones the run may purge.
  void RunRequested(std::shared_ptr<KestrelCfg> cfg, std::set<std::string> purge_only);

 private:
  void Finish(const std::shared_ptr<const PreviewResult>& result);
  void UpdateRunButton();

  Functions& fn_;
  std::shared_ptr<KestrelCfg> cfg_;
  RunControl control_;
  std::thread worker_;
  bool run_allowed_ = true;
  bool shown_ = false;
  std::set<std::string> purge_listed_;  // the quarantine items the shown preview would purge
  QLabel* status_;
  QTableView* table_;
  PreviewModel* model_;
  QSortFilterProxyModel* sorted_;
  QPlainTextEdit* notes_;
  QPushButton* run_;
};

}  // namespace kestrel
