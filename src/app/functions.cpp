#include "app/functions.h"

#include "config/kestrel_cfg.h"
#include "fs/path_walk.h"
#include "journal/journal_writer.h"
#include "journal/recovery.h"
#include "logging/log_file.h"
#include "reports/run_records.h"
#include "reports/settings_report.h"

namespace kestrel {

Functions::Functions(Platform platform) : platform_(std::move(platform)) {
  CurrentCfg = std::make_shared<KestrelCfg>(*this);
  SettingsRpt = std::make_shared<SettingsReport>(*this);
  FileRemovalRpt = std::make_shared<FileRemovalReport>(platform_.clock);
  WarningRpt = std::make_shared<WarningReport>(platform_.clock);
  RunLog = std::make_shared<LogFile>(*this);
  StartJournal = [this](const KestrelCfg& cfg, const std::vector<std::string>& includes,
                        DateTime start, const std::function<void(const std::string&)>& note) {
    Sys& sys = platform_.sys;
    const std::string folder = JournalFolder(*this);
    journal::Recover(sys, platform_.clock, folder, note, [this](const std::string& text) {
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
    return std::make_unique<journal::JournalWriter>(sys, platform_.clock, std::move(run));
  };
}

Functions::~Functions() = default;

std::string ProgramFile(const Functions& fn, const std::string& name) {
  const std::string& folder = fn.ProgramFolder();
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string JournalFolder(const Functions& fn) {
  return ProgramFile(fn, "journal");
}

}  // namespace kestrel
