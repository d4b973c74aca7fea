// One clean-up run over a configuration.
#include <exception>

#include "cleanup/clean_up.h"

#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {

bool CleanUp(const RunWorld& world, KestrelCfg& cfg, RunControl* control,
             const std::vector<ListedFile>* listed) {
  try {
    ReportRecorder recorder(world, cfg, control);
    DiskMover mover(world.outside.sys, &world.warnings,
                    [&world, &cfg](const std::vector<std::string>& includes, DateTime start) {
                      std::unique_ptr<MoveJournal> journal;
                      if (world.start_journal) {
                        journal = world.start_journal(
                            cfg, includes, start,
                            [&world](const std::string& text) { world.log.WriteLogMessage(text); });
                      }
                      return journal;
                    });
    CleanUpRun(world, cfg, recorder, mover, cfg.RemovedFiles(), listed).Run();
    return true;
  } catch (...) {
    ReportHandled(world.outside.reporter, "KestrelCfg.CleanUp", std::current_exception());
    return false;
  }
}

}  // namespace kestrel
