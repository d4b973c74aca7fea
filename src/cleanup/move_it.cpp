// Moving one expired file into quarantine or the Trash.
#include <exception>

#include "app/functions.h"
#include "cleanup/run_state.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {

RemovedFilePtr KestrelCfg::MoveIt(const std::string& filename) {
  auto record = std::make_shared<RemovedFile>();
  try {
    Win32Wrapper fs(fn_.Outside().sys, fn_.WarningRpt.get(), run_ ? &run_->scanned : nullptr,
                    run_ ? &run_->moves : nullptr);
    record->OriginalFilename(filename);
    // Read here, not taken from the judgement, so that a file gone since then is reported
    // and left out of RemovedFiles.
    const Win32Wrapper::FileInfo info = fs.Stat(filename);
    record->FileSize(info.size);
    record->FileCreationDate(info.stamp);
    removed_files_.push_back(record);

    record->FileIsReadOnly(fs.FileIsReadOnly(filename, info));
    if (record->FileIsReadOnly()) return record;

    if (quarantine_folder_.empty()) {
      record->FileMoved(fs.MoveFile(filename, ""));
      return record;
    }
    // Only a move to another file system copies, so only such a move needs room.
    if (!OnQuarantineDrive(fs, info.dev)) {
      const std::uint64_t available = fs.GetAvailableSpace(quarantine_folder_);
      record->InsufficientSpace(available < static_cast<std::uint64_t>(info.size));
      if (record->InsufficientSpace()) {
        fn_.WarningRpt->RecordWarning("Insufficient space available");
        return record;
      }
    }
    record->FileMoved(fs.MoveFile(filename, quarantine_folder_));
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.MoveIt", std::current_exception());
    record->FileMoved(false);
  }
  return record;
}

bool KestrelCfg::OnQuarantineDrive(Win32Wrapper& fs, dev_t dev) {
  std::optional<dev_t> quarantine;
  if (run_ && run_->quarantine_path == quarantine_folder_) quarantine = run_->quarantine_dev;
  if (!quarantine) {
    try {
      quarantine = fs.Stat(quarantine_folder_, true).dev;
    } catch (const KsError&) {
      return false;  // a folder that cannot be reached is no drive of the file
    }
    if (run_) {
      run_->quarantine_path = quarantine_folder_;
      run_->quarantine_dev = quarantine;
    }
  }
  return *quarantine == dev;
}

}  // namespace kestrel
