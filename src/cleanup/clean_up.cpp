// One clean-up run over a configuration.
#include <exception>

#include "app/functions.h"
#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {

bool KestrelCfg::CleanUp(RunControl* control) {
  try {
    ReportRecorder recorder(fn_, *this, control);
    DiskMover mover(fn_.Outside().sys, fn_.WarningRpt.get(),
                    [this](const std::vector<std::string>& includes, DateTime start) {
                      std::unique_ptr<MoveJournal> journal;
                      if (fn_.StartJournal) {
                        journal = fn_.StartJournal(
                            *this, includes, start,
                            [this](const std::string& text) { fn_.RunLog->WriteLogMessage(text); });
                      }
                      return journal;
                    });
    CleanUpRun(fn_, *this, recorder, mover, removed_files_).Run();
    return true;
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.CleanUp", std::current_exception());
    return false;
  }
}

}  // namespace kestrel
