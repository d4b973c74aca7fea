#pragma once

#include "cleanup/run_seams.h"

namespace kestrel {

class Functions;
class KestrelCfg;

// A real run's records: the run log, the program's two reports, FoldersScanned and the
// configuration's last run date (written to its file).
class ReportRecorder : public RunRecorder {
 public:
  ReportRecorder(Functions& fn, KestrelCfg& cfg) : fn_(fn), cfg_(cfg) {}

  void Started() override;
  void Refused(const std::string& text) override;
  void Passed(DateTime last_run, DateTime now) override;
  void FolderScanned(const std::string& folder, bool logged) override;
  void Warning(const std::string& text, bool logged) override;
  void FileMoved(const RemovedFilePtr& record) override;
  void Stopped(RunEnd why, const std::string& text) override;
  void Summary(const std::vector<std::string>& lines) override;

 private:
  Functions& fn_;
  KestrelCfg& cfg_;
};

}  // namespace kestrel
