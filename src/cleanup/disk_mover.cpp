#include "cleanup/disk_mover.h"

#include <cerrno>

#include "fs/win32_wrapper.h"
#include "platform/error.h"

namespace kestrel {

void DiskMover::CreateFolder(const std::string& folder) {
  Win32Wrapper fs(sys_);
  try {
    // Only its user may put things into what a purge empties.
    fs.CreateFolder(folder, 0700);
  } catch (const KsError& e) {
    // Another process may have made it meanwhile.
    if (e.Number() != EEXIST || !fs.FolderExists(folder)) throw;
  }
}

void DiskMover::Starting(const std::vector<std::string>& includes, DateTime start) {
  if (start_journal_) journal_ = start_journal_(includes, start);
}

bool DiskMover::Move(const MoveRequest& request) {
  Win32Wrapper fs(sys_, warnings_, &request.scanned, &cache_);
  if (!journal_) return fs.MoveFile(request.path, request.to_folder);
  const Win32Wrapper::FileInfo& info = request.info;
  const std::uint64_t entry =
      journal_->Intent({request.path, info.size, info.mode, info.mtime, info.dev, info.ino},
                       request.copies || request.to_folder.empty());
  // A move the journal cannot record could not be undone, so it does not happen.
  if (entry == 0) throw SystemError(errno, "write", "journal", "KestrelCfg.MoveIt");
  MovePlaced placed;
  const bool moved = fs.MoveFile(request.path, request.to_folder, &placed);
  journal_->Outcome(entry, placed);
  return moved;
}

std::uint64_t DiskMover::AvailableSpace(const std::string& folder) {
  return Win32Wrapper(sys_).GetAvailableSpace(folder);
}

}  // namespace kestrel
