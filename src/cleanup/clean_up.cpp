// One clean-up run over a configuration.
#include <cstdio>
#include <exception>

#include "app/functions.h"
#include "cleanup/discovery.h"
#include "cleanup/run_state.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "logging/log_file.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {
namespace {

constexpr std::int64_t kMegabyte = 1000000;

std::string Fixed(double value, const char* format) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

}  // namespace

bool KestrelCfg::CleanUp() {
  try {
    RunSteps();
    return true;
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.CleanUp", std::current_exception());
    return false;
  }
}

void KestrelCfg::RunSteps() {
  LogFile& log = *fn_.RunLog;
  FileRemovalReport& removals = *fn_.FileRemovalRpt;
  WarningReport& warnings = *fn_.WarningRpt;

  run_start_time_ = fn_.Now();
  run_ = std::make_unique<RunState>();
  // The run's open folders are let go when it ends, however it ends.
  struct Release {
    std::unique_ptr<RunState>& run;
    ~Release() { run.reset(); }
  } release{run_};
  log.Initialize();

  const DateTime now = fn_.Now();
  if (LastRunDate() >= now) {
    const std::string text = "Today's date is prior to the previously recorded run date";
    removals.RecordMessage(text);
    warnings.RecordWarning(text);
    log.WriteLogMessage(text);
    return;
  }
  log.WriteLogMessage("Last run date was " + LastRunDate().ToDisplayText());
  LastRunDate(now);

  Win32Wrapper fs(fn_.Outside().sys, &warnings);
  if (!quarantine_folder_.empty() && !fs.FolderExists(quarantine_folder_)) {
    if (fs.FileExists(quarantine_folder_)) {
      throw KsError(kAppError,
                    "The quarantine folder cannot be created because a file with the same name "
                    "exists",
                    "KestrelCfg.CleanUp");
    }
    fs.CreateFolder(quarantine_folder_);
  }

  const FolderList include =
      IncludeFolders().empty() ? MakeFolderList("", fs.GetLocalDrives(), true) : IncludeFolders();
  if (fn_.StartJournal) {
    std::vector<std::string> folders;
    for (const Folder2Clean& f : include) folders.push_back(f.FolderName());
    run_->journal =
        fn_.StartJournal(*this, folders, run_start_time_,
                         [&log](const std::string& text) { log.WriteLogMessage(text); });
  }
  const std::vector<std::string> candidates =
      GetTargetFiles(fn_, include, ExcludeFolders(), BuildFileMask(fn_), &run_->scanned);

  removed_files_.clear();
  std::int64_t bytes_moved = 0;
  std::int32_t errors = 0;
  const std::int64_t byte_limit = static_cast<std::int64_t>(max_mb_per_run_) * kMegabyte;
  for (const auto& path : candidates) {
    if (!FileIsExpired(path)) continue;
    const RemovedFilePtr record = MoveIt(path);
    if (record->FileMoved()) {
      removals.RecordFileMoved(record);
      bytes_moved += record->FileSize();
      if (bytes_moved >= byte_limit) {
        const std::string text =
            "File removal was stopped because the maximum MB per run setting was reached.";
        warnings.RecordWarning(text);
        log.WriteLogMessage(text);
        break;
      }
      continue;
    }
    if (record->FileIsReadOnly()) {
      const std::string text =
          "File cannot be moved because it is read-only: " + record->OriginalFilename();
      warnings.RecordWarning(text);
      log.WriteLogMessage(text);
    }
    if (++errors >= max_errors_per_run_) {
      const std::string text =
          "File removal was stopped because the maximum number of errors was reached.";
      warnings.RecordWarning(text);
      log.WriteLogMessage(text);
      break;
    }
  }

  std::int64_t files_moved = 0;
  std::int64_t total_bytes = 0;
  for (const auto& record : removed_files_) {
    if (!record->FileMoved()) continue;
    ++files_moved;
    total_bytes += record->FileSize();
  }
  const auto elapsed = static_cast<double>(fn_.Now().Seconds() - run_start_time_.Seconds());
  log.WriteLogMessage("Folders scanned: " + std::to_string(fn_.FoldersScanned), true);
  log.WriteLogMessage("Files moved or deleted: " + std::to_string(files_moved), true);
  log.WriteLogMessage(
      "Total MB moved or deleted: " + Fixed(static_cast<double>(total_bytes) / kMegabyte, "%.2f"),
      true);
  log.WriteLogMessage("Elapsed time: " + Fixed(elapsed, "%.1f") + " seconds", true);
  log.WriteLogMessage("Kestrel completed", true);
}

}  // namespace kestrel
