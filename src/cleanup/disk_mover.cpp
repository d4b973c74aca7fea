#include "cleanup/disk_mover.h"

#include "fs/win32_wrapper.h"

namespace kestrel {

void DiskMover::CreateFolder(const std::string& folder) {
  Win32Wrapper(sys_).CreateFolder(folder);
}

bool DiskMover::Move(const MoveRequest& request) {
  return Win32Wrapper(sys_, warnings_, &request.scanned, &cache_)
      .MoveFile(request.path, request.to_folder);
}

std::uint64_t DiskMover::AvailableSpace(const std::string& folder) {
  return Win32Wrapper(sys_).GetAvailableSpace(folder);
}

}  // namespace kestrel
