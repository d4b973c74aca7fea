#include "cleanup/disk_mover.h"

#include <cerrno>

#include "fs/win32_wrapper.h"
#include "platform/error.h"

namespace kestrel {

void DiskMover::CreateFolder(const std::string& folder) {
  Win32Wrapper fs(sys_);
  try {
    fs.CreateFolder(folder);
  } catch (const KsError& e) {
    // Another process may have made it meanwhile.
    if (e.Number() != EEXIST || !fs.FolderExists(folder)) throw;
  }
}

bool DiskMover::Move(const MoveRequest& request) {
  return Win32Wrapper(sys_, warnings_, &request.scanned, &cache_)
      .MoveFile(request.path, request.to_folder);
}

std::uint64_t DiskMover::AvailableSpace(const std::string& folder) {
  return Win32Wrapper(sys_).GetAvailableSpace(folder);
}

}  // namespace kestrel
