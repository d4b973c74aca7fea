#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/run_seams.h"
#include "cleanup/run_world.h"
#include "platform/date_time.h"

namespace kestrel {

class KestrelCfg;
struct RunControl;

// One line of a preview, in the order the run would come to it.
struct PreviewItem {
  enum class Kind {
    kMove,     // the run would move this file
    kWarning,  // a warning the run would issue (read-only, date before stamp, no space)
    kStop,     // a limit would end the run here
    kRefused,  // the clock check would refuse the run
    kFailed,   // the run would end through its error handler
    kPurge,    // the run's purge would delete this quarantine item
  };
  Kind kind = Kind::kMove;
  std::string path;         // kMove
  std::int64_t size = 0;    // kMove, bytes
  DateTime removal_date;    // kMove; kPurge: the time its age counts from
  std::string destination;  // kMove: the quarantine folder; empty for the Trash
  std::string text;         // the others: the run's own words
  dev_t dev = 0;            // kMove: where the file stood
  ino_t ino = 0;            // kMove
};

struct PreviewResult {
  std::vector<PreviewItem> items;
  RunEnd end = RunEnd::kCompleted;
  bool failed = false;       // the run would end through its error handler
  std::int64_t files = 0;    // files the run would move
  std::int64_t bytes = 0;    // their bytes
  std::int32_t errors = 0;   // expired files the run would fail to move
  std::int32_t folders = 0;  // folders the scan lists
  bool purging = false;      // the configuration purges its quarantine
  std::int64_t purge = 0;    // items the run's purge would delete
  std::int64_t purge_bytes = 0;
};

// What a clean-up run of cfg would do now, through the run's own rules and order, stopping
// where the run would stop. Moves nothing and writes nothing (no log, no run date, no
// quarantine folder) and takes no lock. Moves the disk would refuse for its own reasons
// (access denied, an I/O error) cannot be foreseen; room on another file system is its free
// space at the start less the bytes the preview would copy there (blocks not counted). Failures
// inside discovery and the judgement go to world's reporter, as in a run. A stop requested through
// control ends the preview early, as it would end the run.
PreviewResult Preview(const RunWorld& world, const KestrelCfg& cfg,
                      const RunControl* control = nullptr);

// The files the preview would move, in its order, for a run that moves those and no others.
std::vector<ListedFile> ListedFiles(const PreviewResult& result);

// "mb_limit", "error_limit", "clock_refused", "failed" or "completed".
const char* EndName(const PreviewResult& result);

}  // namespace kestrel
