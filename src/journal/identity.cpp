#include "journal/identity.h"

#include <sys/statvfs.h>

#include <cstdio>

namespace kestrel::journal {

std::string FsIdentityText(unsigned long long fsid, dev_t dev) {
  char text[32];
  if (fsid != 0) {
    std::snprintf(text, sizeof text, "f%016llx", fsid);
  } else {
    std::snprintf(text, sizeof text, "d%llu", static_cast<unsigned long long>(dev));
  }
  return text;
}

std::string FsIdentities::OfFd(int fd, dev_t dev) {
  if (version_ < 2) return FsIdentityText(0, dev);
  if (const auto it = known_.find(dev); it != known_.end()) return it->second;
  struct statvfs st;
  if (sys_.FStatVfs(fd, &st) != 0) return "";
  return known_[dev] = FsIdentityText(st.f_fsid, dev);
}

std::string FsIdentities::OfPath(const std::string& path, dev_t dev) {
  if (version_ < 2) return FsIdentityText(0, dev);
  if (const auto it = known_.find(dev); it != known_.end()) return it->second;
  struct statvfs st;
  if (sys_.StatVfs(path.c_str(), &st) != 0) return "";
  return known_[dev] = FsIdentityText(st.f_fsid, dev);
}

}  // namespace kestrel::journal
