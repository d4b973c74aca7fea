#pragma once

#include <sys/types.h>

#include <string>
#include <unordered_map>

#include "fs/sys.h"

namespace kestrel::journal {

// "f" and the 16 hex digits of a file system's f_fsid, which survives a remount; "d" and the
// device number when the file system offers no f_fsid (0).
std::string FsIdentityText(unsigned long long fsid, dev_t dev);

// File-system identities as a journal of format version records them: format 1 knew only the
// device number. Remembered per device, which stays the same while the file system is mounted.
class FsIdentities {
 public:
  FsIdentities(Sys& sys, int version) : sys_(sys), version_(version) {}
  // The identity of the file system of the open fd (on device dev); "" when it cannot be read.
  std::string OfFd(int fd, dev_t dev);
  // The same for the entry at path (on device dev).
  std::string OfPath(const std::string& path, dev_t dev);

 private:
  Sys& sys_;
  int version_;
  std::unordered_map<dev_t, std::string> known_;
};

}  // namespace kestrel::journal
