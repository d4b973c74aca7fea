#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cleanup/run_seams.h"
#include "cleanup/run_world.h"
#include "config/removed_file.h"
#include "fs/folder.h"
#include "fs/win32_wrapper.h"

namespace kestrel {

class KestrelCfg;

// The rules of one clean-up run, in order: the clock check, the quarantine folder, discovery,
// the removal-date judgement, the read-only and free-space checks, the move, the two limits
// and the summary. A real run and a preview both go through here; they differ only in their
// recorder and mover.
class CleanUpRun {
 public:
  // records receives one record per attempted move (emptied before the first judgement).
  CleanUpRun(const RunWorld& world, const KestrelCfg& cfg, RunRecorder& recorder, Mover& mover,
             std::vector<RemovedFilePtr>& records);

  // Throws KsError when the run ends through an error (the quarantine folder).
  RunEnd Run();

  // Returns true iff the candidate is to be moved now; its lstat goes to info. A failure is
  // reported under "KestrelCfg.FileIsExpired" and gives false.
  bool FileIsExpired(const std::string& path, Win32Wrapper::FileInfo& info);
  // FileIsExpired without its warning, which *warn then asks for.
  bool FileIsExpired(const std::string& path, Win32Wrapper::FileInfo& info, bool* warn);
  // Tries to move a judged file; the record is also in the run's records unless the file
  // could not be read. A failure is reported under "KestrelCfg.MoveIt".
  RemovedFilePtr MoveIt(const std::string& path);

 private:
  bool OnQuarantineDrive(Win32Wrapper& fs, dev_t dev);
  // Returns true iff the path lies inside a folder this run moved.
  bool InsideMovedFolder(const std::string& path) const;

  const RunWorld& world_;
  const KestrelCfg& cfg_;
  RunRecorder& recorder_;
  Mover& mover_;
  std::vector<RemovedFilePtr>& records_;
  ScannedFolders scanned_;
  std::optional<dev_t> quarantine_dev_;
  std::unordered_set<std::string> moved_folders_;
};

// The removal date a path carries: midnight of the month-day-year date in the ten characters
// right after the first occurrence of prefix (ASCII case ignored); nullopt when they are no
// real date.
std::optional<DateTime> ReadRemovalDate(std::string_view path, std::string_view prefix);
// Returns true iff the date lies before the file's last-write stamp: the run then warns
// "Deletion date is before file creation date" and the file never comes due.
inline bool DateBeforeStamp(DateTime due, DateTime stamp) {
  return due < stamp;
}
// The removal date of the path, or now plus one day (never due) when it carries none.
DateTime ExtractExpiryDate(std::string_view path, std::string_view prefix, DateTime now);

// The removal-date rule for a marked file last written at stamp.
enum class Verdict {
  kDue,          // its date has come
  kNotYet,       // its date lies ahead
  kNoDate,       // no real date after the prefix: never due
  kBeforeStamp,  // its date (or, without one, tomorrow) lies before its stamp: never due, warned
};
Verdict Judge(std::optional<DateTime> date, DateTime stamp, DateTime now);

}  // namespace kestrel
