#include "app/functions.h"

#include "config/kestrel_cfg.h"
#include "fs/path_walk.h"
#include "journal/journal_writer.h"
#include "journal/recovery.h"
#include "logging/log_file.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"

namespace kestrel {

Functions::Functions(kestrel::Outside outside) : outside_(std::move(outside)) {
  CurrentCfg = std::make_shared<KestrelCfg>(outside_);
  SettingsRpt = std::make_shared<SettingsReport>(outside_.clock, CurrentCfg);
  FileRemovalRpt = std::make_shared<FileRemovalReport>(outside_.clock);
  WarningRpt = std::make_shared<WarningReport>(outside_.clock);
  RunLog = std::make_shared<LogFile>(outside_);
  StartJournal = [this](const KestrelCfg& cfg, const std::vector<std::string>& includes,
                        DateTime start, const std::function<void(const std::string&)>& note) {
    Sys& sys = outside_.sys;
    const std::string folder = JournalFolder(*this);
    journal::Recover(sys, outside_.clock, folder, note, [this](const std::string& text) {
      WarningRpt->RecordWarning(text);
      RunLog->WriteLogMessage(text);
    });
    journal::JournalWriter::Run run;
    run.folder = folder;
    run.start = start;
    run.config = cfg.Filename().empty() ? "" : AbsolutePath(sys, cfg.Filename());
    run.quarantine =
        cfg.QuarantineFolder().empty() ? "" : AbsolutePath(sys, cfg.QuarantineFolder());
    for (const std::string& f : includes) run.includes.push_back(AbsolutePath(sys, f));
    run.keep = KeepJournals;
    return std::make_unique<journal::JournalWriter>(sys, outside_.clock, std::move(run));
  };
}

Functions::~Functions() = default;

RunWorld Functions::World() {
  return {outside_, *FileRemovalRpt, *WarningRpt, *RunLog, FoldersScanned, StartJournal};
}

}  // namespace kestrel
