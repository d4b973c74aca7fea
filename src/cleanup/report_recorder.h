#pragma once

#include "cleanup/run_control.h"
#include "cleanup/run_seams.h"
#include "cleanup/run_world.h"

namespace kestrel {

class KestrelCfg;

// A real run's records: the run log, the program's two reports, FoldersScanned and the
// configuration's last run date (written to its file).
class ReportRecorder : public RunRecorder {
 public:
  // control, when given, can stop the run and counts its folders.
  ReportRecorder(const RunWorld& world, KestrelCfg& cfg, RunControl* control = nullptr)
      : world_(world), cfg_(cfg), control_(control) {}

  void Started() override;
  void Refused(const std::string& text) override;
  void Passed(DateTime last_run, DateTime now) override;
  void FolderScanned(const std::string& folder, bool logged) override;
  bool HoldFolderLine(const std::string& folder) override;
  void WriteHeldLines(const std::function<void(std::exception_ptr)>& outcome) override;
  void Warning(const std::string& text, bool logged) override;
  void FileMoved(const RemovedFilePtr& record) override;
  void Purged(const journal::PurgeItem& item) override;
  void PurgeEnded(const journal::PurgeResult& result) override;
  void Stopped(RunEnd why, const std::string& text) override;
  void Summary(const std::vector<std::string>& lines) override;
  bool StopRequested() const override { return control_ != nullptr && control_->StopRequested(); }
  int StopSignal() const override { return control_ != nullptr ? control_->signal.load() : 0; }
  void Discovered(std::int64_t files_due) override {
    if (control_ != nullptr) control_->files_due = files_due;
  }

 private:
  const RunWorld& world_;
  KestrelCfg& cfg_;
  RunControl* control_;
  std::string scanning_;  // the line of the folder being scanned, its buffer kept
};

}  // namespace kestrel
