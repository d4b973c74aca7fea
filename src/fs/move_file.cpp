#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#include "fs/folder.h"
#include "fs/move_ops.h"
#include "fs/names.h"
#include "fs/path_walk.h"

namespace kestrel {
namespace {

constexpr int kMaxNumber = 9999;

int OpenDestination(Sys& sys, const std::string& folder, Fd& dst) {
  const int err = OpenPath(sys, folder, O_RDONLY | O_DIRECTORY, dst);
  // A folder one may write to but not list still takes the move; only its sync is lost.
  return err == EACCES ? OpenPath(sys, folder, O_PATH | O_DIRECTORY, dst) : err;
}

// Removes the source once its copy is in place, unless it was replaced in the meantime.
int UnlinkSource(Sys& sys, const MoveSource& src) {
  struct stat now;
  if (sys.FStatAt(src.dir.Get(), src.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (now.st_dev != src.st.st_dev || now.st_ino != src.st.st_ino) return EBUSY;
  return sys.UnlinkAt(src.dir.Get(), src.name.c_str(), 0) == 0 ? 0 : errno;
}

int MoveLinkAcross(Sys& sys, const MoveSource& src, int dst) {
  std::string target, placed;
  if (const int err = ReadLinkText(sys, src.dir.Get(), src.name, target)) return err;
  int err = EEXIST;
  for (int n = 1; n <= kMaxNumber && err == EEXIST; ++n) {
    placed = NumberedName(src.name, n);
    err = sys.SymlinkAt(target.c_str(), dst, placed.c_str()) == 0 ? 0 : errno;
  }
  if (err != 0) return err;
  err = SyncFolder(sys, dst);
  if (err == 0) err = UnlinkSource(sys, src);
  if (err != 0) sys.UnlinkAt(dst, placed.c_str(), 0);
  return err;
}

int MoveAcross(Sys& sys, const MoveSource& src, int dst, dev_t dst_dev) {
  std::string temp, placed;
  CopiedTree copied;
  if (const int err = CopyToTemp(sys, src, dst, temp, copied)) return err;
  const bool folder = S_ISDIR(src.st.st_mode);
  int err = RenameToFreeName(sys, dst, temp, dst, src.name, placed);
  const std::string& landed = err == 0 ? placed : temp;
  if (err == 0) err = SyncFolder(sys, dst);
  if (err == 0) {
    // A folder whose source cannot be removed in full keeps its copy: both hold the data.
    if (folder) return RemoveTree(sys, src.dir.Get(), src.name, src.st.st_dev, &copied);
    err = UnlinkSource(sys, src);
  }
  if (err != 0) {
    if (folder) {
      RemoveTree(sys, dst, landed, dst_dev, nullptr);
    } else {
      sys.UnlinkAt(dst, landed.c_str(), 0);
    }
  }
  return err;
}

}  // namespace

int OpenMoveSource(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   MoveSource& src) {
  ParentAt parent;
  if (const int err = OpenParent(sys, from, parent)) return err;
  if (scanned != nullptr && scanned->Known(parent.parent_path)) {
    struct stat st;
    if (sys.FStat(parent.dir.Get(), &st) != 0) return errno;
    if (scanned->Swapped(parent.parent_path, st.st_dev, st.st_ino)) return ELOOP;
  }
  if (sys.FStatAt(parent.dir.Get(), parent.name.c_str(), &src.st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno;
  src.dir = std::move(parent.dir);
  src.parent_path = std::move(parent.parent_path);
  src.name = std::move(parent.name);
  return 0;
}

int RenameToFreeName(Sys& sys, int from_dir, const std::string& from_name, int to_dir,
                     const std::string& wanted, std::string& placed) {
  for (int n = 1; n <= kMaxNumber; ++n) {
    placed = NumberedName(wanted, n);
    if (sys.RenameAt2(from_dir, from_name.c_str(), to_dir, placed.c_str(), RENAME_NOREPLACE) == 0)
      return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int MoveIntoFolder(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   const std::string& to_folder) {
  MoveSource src;
  if (const int err = OpenMoveSource(sys, scanned, from, src)) return err;
  Fd dst;
  if (const int err = OpenDestination(sys, to_folder, dst)) return err;
  struct stat dst_st;
  if (sys.FStat(dst.Get(), &dst_st) != 0) return errno;
  if (src.st.st_dev == dst_st.st_dev) {
    std::string placed;
    const int err = RenameToFreeName(sys, src.dir.Get(), src.name, dst.Get(), src.name, placed);
    if (err != EXDEV) return err;  // EXDEV: the same file system seen through another mount
  }
  if (S_ISLNK(src.st.st_mode)) return MoveLinkAcross(sys, src, dst.Get());
  return MoveAcross(sys, src, dst.Get(), dst_st.st_dev);
}

}  // namespace kestrel
