#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cleanup/removal_date.h"
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
  // listed, when given, replaces the scan: the candidates are its files in its order, and one
  // that no longer stands where it stood or is no longer due is warned of and left; the purge
  // deletes only its purge items that are still due and still the same.
  CleanUpRun(const RunWorld& world, const KestrelCfg& cfg, RunRecorder& recorder, Mover& mover,
             std::vector<RemovedFilePtr>& records, const std::vector<ListedFile>* listed = nullptr);

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
  // Returns true iff the file still stands where the preview found it.
  bool StillAsListed(const ListedFile& file);

  const RunWorld& world_;
  const KestrelCfg& cfg_;
  RunRecorder& recorder_;
  Mover& mover_;
  std::vector<RemovedFilePtr>& records_;
  const std::vector<ListedFile>* listed_;
  ScannedFolders scanned_;
  // Asked once a run: a preview, which makes no quarantine folder, would ask for every file.
  std::optional<std::optional<dev_t>> quarantine_dev_;
  std::unordered_set<std::string> moved_folders_;
};

}  // namespace kestrel
