#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fs/outside.h"
#include "platform/date_time.h"

namespace kestrel {

class FileRemovalReport;
class KestrelCfg;
class LogFile;
class MoveJournal;
class WarningReport;

// Starts the journal of a run over cfg that began at start and scans the include folders,
// after finishing what crashed runs left (each such step told to note); null when the run is
// not to be journaled.
using JournalStarter = std::function<std::unique_ptr<MoveJournal>(
    const KestrelCfg& cfg, const std::vector<std::string>& includes, DateTime start,
    const std::function<void(const std::string&)>& note)>;

// All a run reaches outside its configuration: the outside world, and what it writes to (the
// two run-record reports, the log, the count of folders scanned, the journal). The caller owns
// everything referred to, for longer than the run.
struct RunWorld {
  Outside& outside;
  FileRemovalReport& removals;
  WarningReport& warnings;
  LogFile& log;
  std::int32_t& folders_scanned;
  // Empty: the run keeps no journal.
  JournalStarter start_journal;
};

}  // namespace kestrel
