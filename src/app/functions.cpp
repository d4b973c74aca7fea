#include "app/functions.h"

#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "reports/run_records.h"

namespace kestrel {

Functions::Functions(Platform platform) : platform_(std::move(platform)) {
  CurrentCfg = std::make_shared<KestrelCfg>(*this);
  FileRemovalRpt = std::make_shared<FileRemovalReport>(platform_.clock);
  WarningRpt = std::make_shared<WarningReport>(platform_.clock);
  RunLog = std::make_shared<LogFile>(*this);
}

Functions::~Functions() = default;

std::string ProgramFile(const Functions& fn, const std::string& name) {
  const std::string& folder = fn.ProgramFolder();
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace kestrel
