// Moving one expired file into quarantine or the Trash.
#include <exception>

#include "app/functions.h"
#include "cleanup/run_state.h"
#include "config/kestrel_cfg.h"
#include "fs/move_ops.h"
#include "fs/win32_wrapper.h"
#include "platform/error.h"
#include "reports/run_records.h"

namespace kestrel {
namespace {

// The move, with its intent and outcome in the run's journal when there is one.
bool JournaledMove(Functions& fn, MoveJournal* journal, Win32Wrapper& fs,
                   const std::string& filename, const std::string& quarantine,
                   const Win32Wrapper::FileInfo& info) {
  if (journal == nullptr) return fs.MoveFile(filename, quarantine);
  const std::uint64_t entry =
      journal->Intent({filename, info.size, info.mode, info.mtime, info.dev, info.ino});
  // A move the journal cannot record could not be undone: it does not happen.
  if (entry == 0) {
    throw SystemError(errno, "write", JournalFolder(fn), "KestrelCfg.MoveIt");
  }
  MovePlaced placed;
  const bool moved = fs.MoveFile(filename, quarantine, &placed);
  journal->Outcome(entry, placed);
  return moved;
}

}  // namespace

RemovedFilePtr KestrelCfg::MoveIt(const std::string& filename) {
  auto record = std::make_shared<RemovedFile>();
  try {
    Win32Wrapper fs(fn_.Outside().sys, fn_.WarningRpt.get(), run_ ? &run_->scanned : nullptr,
                    run_ ? &run_->moves : nullptr);
    record->OriginalFilename(filename);
    const Win32Wrapper::FileInfo info =
        run_ && run_->judged_path == filename ? run_->judged_info : fs.Stat(filename);
    record->FileSize(info.size);
    record->FileCreationDate(info.stamp);
    removed_files_.push_back(record);

    record->FileIsReadOnly(fs.FileIsReadOnly(filename, info));
    if (record->FileIsReadOnly()) return record;

    if (quarantine_folder_.empty()) {
      record->FileMoved(JournaledMove(fn_, run_ ? run_->journal.get() : nullptr, fs, filename,
                                      quarantine_folder_, info));
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
    record->FileMoved(JournaledMove(fn_, run_ ? run_->journal.get() : nullptr, fs, filename,
                                    quarantine_folder_, info));
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
