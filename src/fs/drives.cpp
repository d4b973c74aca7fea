#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <set>
#include <string_view>

#include "fs/mounts.h"
#include "fs/path_walk.h"
#include "fs/win32_wrapper.h"

namespace kestrel {
namespace {

// The file system of what the path names: a link's target, or the link itself when dangling.
bool DeviceOf(Sys& sys, const std::string& path, dev_t& dev) {
  PathAt at;
  if (path.empty() || Reach(sys, path, at) != 0) return false;
  struct stat st;
  if (sys.FStatAt(at.dir, at.rel.c_str(), &st, 0) != 0 &&
      sys.FStatAt(at.dir, at.rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  dev = st.st_dev;
  return true;
}

bool IsNetworkOrFuse(const std::string& type) {
  static constexpr std::string_view kNetwork[] = {
      "nfs",  "nfs4", "cifs",   "smb3",      "smbfs", "ncpfs", "9p",       "afs",
      "ceph", "coda", "lustre", "glusterfs", "ocfs2", "gfs2",  "orangefs", "beegfs"};
  if (type.rfind("fuse", 0) == 0) return true;
  return std::find(std::begin(kNetwork), std::end(kNetwork), type) != std::end(kNetwork);
}

// Whether the disk under a block device says it is removable; a partition asks its disk.
bool Removable(Sys& sys, dev_t rdev) {
  const std::string base =
      "/sys/dev/block/" + std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev)) + "/";
  std::string text;
  if (ReadWholeFile(sys, base + "removable", text) != 0 &&
      ReadWholeFile(sys, base + "../removable", text) != 0)
    return false;
  return text.rfind('1', 0) == 0;
}

}  // namespace

std::string Win32Wrapper::GetDriveLetter(const std::string& path) {
  dev_t dev;
  if (!DeviceOf(sys_, path, dev)) return {};
  return MountPointOf(ReadMounts(sys_), dev, AbsolutePath(sys_, path));
}

bool Win32Wrapper::SameDrive(const std::string& a, const std::string& b) {
  dev_t da, db;
  return DeviceOf(sys_, a, da) && DeviceOf(sys_, b, db) && da == db;
}

std::uint64_t Win32Wrapper::GetAvailableSpace(const std::string& path) {
  struct statvfs vfs;
  PathAt at;
  if (path.empty() || Reach(sys_, path, at) != 0) return 0;
  if (at.dir == AT_FDCWD) {
    if (sys_.StatVfs(path.c_str(), &vfs) != 0) return 0;
  } else {
    const int fd = sys_.OpenAt(at.dir, at.rel.c_str(), O_PATH, 0);
    if (fd < 0) return 0;
    const int rc = sys_.FStatVfs(fd, &vfs);
    sys_.Close(fd);
    if (rc != 0) return 0;
  }
  const std::uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  return static_cast<std::uint64_t>(vfs.f_bavail) * unit;
}

std::vector<std::string> Win32Wrapper::GetLocalDrives() {
  const std::vector<MountEntry> mounts = ReadMounts(sys_);
  // A later mount on the same point hides the earlier one.
  std::vector<const MountEntry*> visible;
  std::set<std::string_view> points;
  for (auto m = mounts.rbegin(); m != mounts.rend(); ++m) {
    if (points.insert(m->point).second) visible.push_back(&*m);
  }
  std::sort(visible.begin(), visible.end(),
            [](const MountEntry* a, const MountEntry* b) { return a->point < b->point; });
  std::vector<std::string> drives;
  std::set<dev_t> seen;
  for (const MountEntry* m : visible) {
    if (m->root != "/" || HasOption(m->options, "ro") || HasOption(m->super_options, "ro") ||
        IsNetworkOrFuse(m->type) || m->source.empty() || m->source[0] != '/')
      continue;
    struct stat st;
    if (sys_.FStatAt(AT_FDCWD, m->source.c_str(), &st, 0) != 0 || !S_ISBLK(st.st_mode) ||
        !seen.insert(st.st_rdev).second || Removable(sys_, st.st_rdev))
      continue;
    drives.push_back(m->point);
  }
  return drives;
}

}  // namespace kestrel
