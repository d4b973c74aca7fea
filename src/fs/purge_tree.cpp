#include "fs/purge_tree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "fs/dir_entries.h"
#include "fs/fd.h"

namespace kestrel {
namespace {

constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE | STATX_MNT_ID;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int Look(Sys& sys, int dir, const std::string& name, struct statx& st) {
  const int flags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | (name.empty() ? AT_EMPTY_PATH : 0);
  if (sys.StatX(dir, name.c_str(), flags, kMask, &st) != 0) return errno;
  return (st.stx_mask & STATX_MNT_ID) ? 0 : ENOTSUP;
}

// Opens the folder name below dir; the descriptor, not the name, is checked for its mount, so
// that a mount made after the look is not entered.
int OpenFolder(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id, Fd& out,
               struct statx& st) {
  out = Fd(sys, sys.OpenAt(dir, name.c_str(), kFolderFlags, 0));
  if (!out.Valid()) return errno;
  if (const int err = Look(sys, out.Get(), "", st)) return err;
  return st.stx_mnt_id == mount_id ? 0 : EBUSY;
}

std::vector<std::string> Names(Sys& sys, int fd, int& err) {
  std::vector<std::string> names;
  if (!ForEachEntry(sys, fd, [&](const char* n, size_t len, unsigned char) {
        names.emplace_back(n, len);
      }))
    err = errno;
  return names;
}

void Measure(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id, TreeMeasure& m) {
  struct statx st;
  if (const int err = Look(sys, dir, name, st)) {
    if (m.error == 0) m.error = err;
    return;
  }
  if (st.stx_mnt_id != mount_id) {
    m.mount = true;
    return;
  }
  if (S_ISREG(st.stx_mode)) m.bytes += static_cast<std::int64_t>(st.stx_size);
  if (!S_ISDIR(st.stx_mode)) return;
  Fd fd;
  int err = OpenFolder(sys, dir, name, mount_id, fd, st);
  if (err == EBUSY) m.mount = true;
  if (err != 0) {
    if (err != EBUSY && m.error == 0) m.error = err;
    return;
  }
  const std::vector<std::string> names = Names(sys, fd.Get(), err);
  if (err != 0 && m.error == 0) m.error = err;
  for (const std::string& n : names) {
    Measure(sys, fd.Get(), n, mount_id, m);
    if (m.mount) return;
  }
}

}  // namespace

int MountId(Sys& sys, int dir, const std::string& name, std::uint64_t& out) {
  struct statx st;
  if (const int err = Look(sys, dir, name, st)) return err;
  out = st.stx_mnt_id;
  return 0;
}

TreeMeasure MeasureTree(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id) {
  TreeMeasure m;
  Measure(sys, dir, name, mount_id, m);
  return m;
}

int PurgeTree(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id) {
  struct statx st;
  if (const int err = Look(sys, dir, name, st)) return err;
  if (st.stx_mnt_id != mount_id) return EBUSY;
  if (!S_ISDIR(st.stx_mode)) return sys.UnlinkAt(dir, name.c_str(), 0) == 0 ? 0 : errno;
  Fd fd;
  int first = OpenFolder(sys, dir, name, mount_id, fd, st);
  if (first != 0) return first;
  // Its own read-only folder keeps the user's files only until the user says otherwise.
  if (st.stx_uid == sys.GetUid() && (st.stx_mode & S_IWUSR) == 0 &&
      sys.FChmod(fd.Get(), static_cast<mode_t>((st.stx_mode & 07777) | S_IWUSR)) != 0)
    first = errno;
  int err = 0;
  const std::vector<std::string> names = Names(sys, fd.Get(), err);
  if (first == 0) first = err;
  for (const std::string& n : names) {
    err = PurgeTree(sys, fd.Get(), n, mount_id);
    if (first == 0 && err != ENOENT) first = err;
  }
  fd.Reset();
  if (first != 0) return first;
  return sys.UnlinkAt(dir, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace kestrel
