// One clean-up run over a configuration.
#include <exception>

#include "app/functions.h"
#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "config/kestrel_cfg.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {

bool KestrelCfg::CleanUp(RunControl* control) {
  try {
    ReportRecorder recorder(fn_, *this, control);
    DiskMover mover(fn_.Outside().sys, fn_.WarningRpt.get());
    CleanUpRun(fn_, *this, recorder, mover, removed_files_).Run();
    return true;
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.CleanUp", std::current_exception());
    return false;
  }
}

}  // namespace kestrel
