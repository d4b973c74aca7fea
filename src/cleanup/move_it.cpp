// Moving one expired file into quarantine or the Trash.
#include <exception>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/folder.h"
#include "fs/win32_wrapper.h"
#include "reports/run_records.h"

namespace kestrel {

RemovedFilePtr KestrelCfg::MoveIt(const std::string& filename) {
  auto record = std::make_shared<RemovedFile>();
  try {
    Win32Wrapper fs(fn_.Outside().sys, fn_.WarningRpt.get(), scanned_.get());
    record->OriginalFilename(filename);
    const Win32Wrapper::FileInfo info = fs.Stat(filename);
    record->FileSize(info.size);
    record->FileCreationDate(info.stamp);
    removed_files_.push_back(record);

    record->FileIsReadOnly(fs.FileIsReadOnly(filename));
    if (record->FileIsReadOnly()) return record;

    if (quarantine_folder_.empty()) {
      record->FileMoved(fs.MoveFile(filename, ""));
      return record;
    }
    // Only a move to another file system copies, so only such a move needs room.
    if (!fs.SameDrive(quarantine_folder_, filename)) {
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

}  // namespace kestrel
