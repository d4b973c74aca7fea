#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/run_world.h"
#include "fs/outside.h"

namespace kestrel {

class KestrelCfg;
class LogFile;
class FileRemovalReport;
class WarningReport;
class SettingsReport;

// The program-wide objects, created once at start-up and shared by every part of the program.
class Functions {
 public:
  // Creates the current configuration, the three reports and the run log, in that order.
  explicit Functions(kestrel::Outside outside);
  ~Functions();
  Functions(const Functions&) = delete;
  Functions& operator=(const Functions&) = delete;

  kestrel::Outside& Outside() { return outside_; }
  const kestrel::Outside& Outside() const { return outside_; }
  const std::string& ProgramFolder() const { return outside_.program_folder; }
  DateTime Now() const { return outside_.clock.Now(); }
  // What a run in this program reaches: the outside, the two run-record reports, the log,
  // FoldersScanned and StartJournal.
  RunWorld World();

  // Only the main window replaces it, as a whole, on New and Open.
  std::shared_ptr<KestrelCfg> CurrentCfg;
  std::shared_ptr<SettingsReport> SettingsRpt;
  std::shared_ptr<FileRemovalReport> FileRemovalRpt;
  std::shared_ptr<WarningReport> WarningRpt;
  std::shared_ptr<LogFile> RunLog;
  // Folders scanned since start-up; never set back to 0.
  std::int32_t FoldersScanned = 0;
  bool GuiMode = false;
  // Journals kept in the program folder's "journal" folder, the current run's included.
  int KeepJournals = 100;
  // By default journals every run in the program folder's "journal" folder.
  JournalStarter StartJournal;

 private:
  kestrel::Outside outside_;
};

// Path of a file in the program folder.
inline std::string ProgramFile(const Functions& fn, const std::string& name) {
  return ProgramFile(fn.Outside(), name);
}
// The folder of the run journals.
inline std::string JournalFolder(const Functions& fn) {
  return JournalFolder(fn.Outside());
}

}  // namespace kestrel
