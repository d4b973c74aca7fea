#include "fs/win32_wrapper.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>

#include <sys/sysmacros.h>

#include <cerrno>
#include <ctime>

#include "fs/fd.h"
#include "fs/folder.h"
#include "fs/move_ops.h"
#include "fs/path_walk.h"
#include "fs/warning_sink.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {

Win32Wrapper::Win32Wrapper(Sys& sys, WarningSink* warnings, const ScannedFolders* scanned,
                           MoveCache* cache)
    : sys_(sys), warnings_(warnings), scanned_(scanned), cache_(cache) {}

std::vector<std::string> Win32Wrapper::FindFiles(std::string& folder, std::string_view mask) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::vector<std::string> matches, subfolders;
  Folder::OpenRoot(sys_, folder).List(mask, matches, subfolders);
  for (std::string& name : matches) name.insert(0, folder);
  return matches;
}

std::vector<std::string> Win32Wrapper::GetSubFolders(std::string& folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::vector<std::string> matches, subfolders;
  const Folder root = Folder::OpenRoot(sys_, folder);
  root.List("", matches, subfolders);
  std::erase_if(subfolders, [&](const std::string& name) { return !root.OpenChild(name).Valid(); });
  return subfolders;
}

bool Win32Wrapper::FileExists(const std::string& path) {
  PathAt at;
  struct stat st;
  return !path.empty() && Reach(sys_, path, at) == 0 &&
         sys_.FStatAt(at.dir, at.rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Win32Wrapper::FolderExists(const std::string& path) {
  PathAt at;
  struct stat st;
  return !path.empty() && Reach(sys_, path, at) == 0 &&
         sys_.FStatAt(at.dir, at.rel.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool Win32Wrapper::FileIsReadOnly(const std::string& path) {
  PathAt at;
  struct stat st;
  if (path.empty() || Reach(sys_, path, at) != 0 ||
      sys_.FStatAt(at.dir, at.rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return true;
  if ((st.st_mode & S_IWUSR) == 0) return true;
  // The inode flags need an open file; special files are never opened.
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return false;
  Fd fd(sys_,
        sys_.OpenAt(at.dir, at.rel.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY, 0));
  struct stat now;
  if (!fd.Valid() || sys_.FStat(fd.Get(), &now) != 0 || now.st_ino != st.st_ino ||
      now.st_dev != st.st_dev)
    return true;
  int flags = 0;
  if (sys_.GetInodeFlags(fd.Get(), &flags) != 0) {
    // A file system without inode flags has no immutable files.
    return errno != ENOTTY && errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS;
  }
  // Append-only files cannot be moved either.
  return (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

bool Win32Wrapper::MoveFile(const std::string& from, const std::string& to_folder,
                            MovePlaced* placed, CopyGroup* group) {
  MovePlaced own;
  if (placed == nullptr) placed = &own;
  const int err = to_folder.empty()
                      ? MoveToTrash(sys_, scanned_, from, placed)
                      : MoveIntoFolder(sys_, scanned_, from, to_folder, cache_, placed, group);
  placed->error = err;
  if (!placed->grouped) MoveWarning(from, *placed);
  return err == 0;
}

void Win32Wrapper::MoveWarning(const std::string& from, const MovePlaced& placed) {
  if (warnings_ == nullptr) return;
  const int err = placed.error;
  if (err == 0) {
    if (placed.not_kept != 0) {
      warnings_->RecordWarning("Not kept on the destination (" + NotKeptText(placed.not_kept) +
                               "): " + EscapeControlBytes(from));
    }
    return;
  }
  warnings_->RecordWarning(err == EACCES || err == EPERM
                               ? "File access is denied: " + EscapeControlBytes(from)
                               : "File system error (" + std::to_string(err) +
                                     ") while moving file: " + EscapeControlBytes(from));
}

Win32Wrapper::FileInfo Win32Wrapper::Stat(const std::string& path, bool follow_links) {
  constexpr std::uint64_t kAttributes = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
  PathAt at;
  struct statx st {};
  int err = Reach(sys_, path, at);
  if (err == 0 && sys_.StatX(at.dir, at.rel.c_str(), follow_links ? 0 : AT_SYMLINK_NOFOLLOW,
                             STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_INO |
                                 STATX_UID | STATX_GID,
                             &st) != 0)
    err = errno;
  if (err != 0) throw SystemError(err, "lstat", path, "Win32Wrapper.Stat");
  FileInfo info;
  info.size = static_cast<std::int64_t>(st.stx_size);
  info.stamp = DateTime::FromTimeT(static_cast<std::time_t>(st.stx_mtime.tv_sec));
  info.is_directory = S_ISDIR(st.stx_mode);
  info.dev = makedev(st.stx_dev_major, st.stx_dev_minor);
  info.mode = st.stx_mode;
  info.ino = st.stx_ino;
  info.uid = st.stx_uid;
  info.gid = st.stx_gid;
  info.mtime = {static_cast<time_t>(st.stx_mtime.tv_sec), static_cast<long>(st.stx_mtime.tv_nsec)};
  info.attributes_known = (st.stx_attributes_mask & kAttributes) == kAttributes;
  info.immutable = (st.stx_attributes & kAttributes) != 0;
  return info;
}

bool Win32Wrapper::FileIsReadOnly(const std::string& path, const FileInfo& info) {
  if ((info.mode & S_IWUSR) == 0) return true;
  // Special files carry no inode flags worth opening them for.
  if (!S_ISREG(info.mode) && !S_ISDIR(info.mode)) return false;
  return info.attributes_known ? info.immutable : FileIsReadOnly(path);
}

void Win32Wrapper::CreateFolder(const std::string& path, mode_t mode) {
  ParentAt parent;
  int err = OpenParent(sys_, path, parent);
  if (err == 0 && sys_.MkdirAt(parent.dir.Get(), parent.name.c_str(), mode) != 0) err = errno;
  if (err != 0) throw SystemError(err, "mkdir", path, "Win32Wrapper.CreateFolder");
}

}  // namespace kestrel
