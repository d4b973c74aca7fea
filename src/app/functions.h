#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/error_reporter.h"

namespace kestrel {

class KestrelCfg;
class LogFile;
class FileRemovalReport;
class WarningReport;
class SettingsReport;
class MoveJournal;

// Starts the journal of a run over cfg that began at start and scans the include folders,
// after finishing what crashed runs left (each such step told to note); null when the run is
// not to be journaled.
using JournalStarter = std::function<std::unique_ptr<MoveJournal>(
    const KestrelCfg& cfg, const std::vector<std::string>& includes, DateTime start,
    const std::function<void(const std::string&)>& note)>;

// What lies outside the program: the clock, the error reporter, the file system and the folder
// that holds "default.ksp" and "Kestrel.log". Tests hand in doubles.
struct Platform {
  Clock& clock;
  ErrorReporter& reporter;
  Sys& sys;
  std::string program_folder;
};

// The program-wide objects, created once at start-up and shared by every part of the program.
class Functions {
 public:
  // Creates the current configuration, the three reports and the run log, in that order.
  explicit Functions(Platform platform);
  ~Functions();
  Functions(const Functions&) = delete;
  Functions& operator=(const Functions&) = delete;

  Platform& Outside() { return platform_; }
  const std::string& ProgramFolder() const { return platform_.program_folder; }
  DateTime Now() const { return platform_.clock.Now(); }

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
  Platform platform_;
};

// Path of a file in the program folder.
std::string ProgramFile(const Functions& fn, const std::string& name);
// The folder of the run journals.
std::string JournalFolder(const Functions& fn);

}  // namespace kestrel
