#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/error_reporter.h"

namespace kestrel {

class KestrelCfg;
class LogFile;
class FileRemovalReport;
class WarningReport;
class SettingsReport;

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

 private:
  Platform platform_;
};

// Path of a file in the program folder.
std::string ProgramFile(const Functions& fn, const std::string& name);

}  // namespace kestrel
