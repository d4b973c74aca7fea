#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "fs/mounts.h"
#include "fs/move_ops.h"
#include "fs/names.h"
#include "fs/path_walk.h"
#include "fs/replace_file.h"
#include "fs/trash_info.h"
#include "platform/clock.h"

// The FreeDesktop.org Trash: a "files" folder with the trashed entries and an "info" folder
// with one NAME.trashinfo each, telling where the entry came from and when.
namespace kestrel {
namespace {

constexpr int kMaxNumber = 9999;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;
constexpr std::string_view kInfoSuffix = ".trashinfo";
// Room left in a 255-byte name for " (9999)" and the info suffix.
constexpr size_t kMaxStem = 255 - 7 - kInfoSuffix.size();

std::string DeletionDate() {
  const DateTime::Civil c = SystemClock().Now().ToCivil();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return text;
}

// The name under which the entry is kept: its own, cut so that every variant still fits
// (never inside a UTF-8 sequence).
std::string TrashStem(const std::string& name) {
  if (name.size() <= kMaxStem) return name;
  size_t cut = kMaxStem;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

// A trash folder's own subfolder, made when missing; a link is refused (ELOOP or ENOTDIR).
int OpenOrMake(Sys& sys, int parent, const std::string& name, Fd& out) {
  if (sys.MkdirAt(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  out = Fd(sys, sys.OpenAt(parent, name.c_str(), kFolderFlags, 0));
  return out.Valid() ? 0 : errno;
}

// Moves the source into one trash folder. Returns 0 or the errno (EXDEV: try another).
int TrashInto(Sys& sys, const MoveSource& src, int trash, const std::string& trash_path,
              const std::string& original, MovePlaced* placed) {
  Fd files, info;
  if (const int err = OpenOrMake(sys, trash, "files", files)) return err;
  if (const int err = OpenOrMake(sys, trash, "info", info)) return err;
  const std::string text = TrashInfoText(original, DeletionDate());
  const std::string stem = TrashStem(src.name);
  for (int n = 1; n <= kMaxNumber; ++n) {
    const std::string name = NumberedName(stem, n);
    const std::string info_name = name + std::string(kInfoSuffix);
    Fd fd(sys, sys.OpenAt(info.Get(), info_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                          0600));
    if (!fd.Valid() && errno == EEXIST) continue;
    if (!fd.Valid()) return errno;
    int err = WriteAll(sys, fd.Get(), text.data(), text.size());
    if (fd.Reset() != 0 && err == 0) err = errno;
    if (err == 0 && sys.RenameAt2(src.Dir(), src.name.c_str(), files.Get(), name.c_str(),
                                  RENAME_NOREPLACE) == 0) {
      if (placed != nullptr) {
        placed->path = trash_path + "/files/" + name;
        placed->info_path = trash_path + "/info/" + info_name;
        placed->dev = src.st.st_dev;
        placed->ino = src.st.st_ino;
      }
      return 0;
    }
    if (err == 0) err = errno;
    sys.UnlinkAt(info.Get(), info_name.c_str(), 0);
    if (err != EEXIST) return err;
  }
  return EEXIST;
}

// The file system the path would be made on: that of its nearest existing ancestor.
bool FutureDevice(Sys& sys, std::string path, dev_t& dev) {
  struct stat st;
  while (sys.FStatAt(AT_FDCWD, path.c_str(), &st, 0) != 0) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    path.resize(slash);
  }
  dev = st.st_dev;
  return true;
}

int TrashAtHome(Sys& sys, const MoveSource& src, const std::string& original, MovePlaced* placed) {
  const std::string data = DataHome();
  dev_t dev;
  if (data.empty() || !FutureDevice(sys, data + "/Trash", dev) || dev != src.st.st_dev)
    return EXDEV;
  Fd base, trash;
  if (const int err = MakeFolders(sys, data, 0700)) return err;
  if (const int err = OpenPath(sys, data, O_PATH | O_DIRECTORY, base)) return err;
  if (const int err = OpenOrMake(sys, base.Get(), "Trash", trash)) return err;
  return TrashInto(sys, src, trash.Get(), data + "/Trash", original, placed);
}

// A top folder's trash must be the user's own folder on the file's own file system.
bool Usable(Sys& sys, const Fd& trash, uid_t uid, dev_t dev) {
  struct stat st;
  return trash.Valid() && sys.FStat(trash.Get(), &st) == 0 && st.st_uid == uid && st.st_dev == dev;
}

// The path a top folder's trash keeps for a file: relative to the top.
std::string PathUnderTop(const std::string& top, const std::string& absolute) {
  if (top == "/") return absolute.substr(1);
  if (absolute.size() > top.size() && absolute.compare(0, top.size(), top) == 0 &&
      absolute[top.size()] == '/')
    return absolute.substr(top.size() + 1);
  return absolute;
}

int TrashAtTop(Sys& sys, const MoveSource& src, const std::string& absolute, MovePlaced* placed) {
  const std::string top = MountPointOf(ReadMounts(sys), src.st.st_dev, absolute);
  Fd top_fd;
  if (top.empty() || OpenPath(sys, top, O_PATH | O_DIRECTORY, top_fd) != 0) return EXDEV;
  // Under the top folder the path is kept relative to it, so the trash moves with the disk.
  const std::string original = PathUnderTop(top, absolute);
  const uid_t uid = sys.GetUid();
  const std::string user = std::to_string(uid);
  struct stat st;
  if (sys.FStatAt(top_fd.Get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
      (st.st_mode & S_ISVTX) != 0) {
    Fd shared(sys, sys.OpenAt(top_fd.Get(), ".Trash", kFolderFlags, 0)), own;
    if (shared.Valid() && OpenOrMake(sys, shared.Get(), user, own) == 0 &&
        Usable(sys, own, uid, src.st.st_dev)) {
      const int err =
          TrashInto(sys, src, own.Get(), JoinPath(top, ".Trash/" + user), original, placed);
      if (err != EXDEV) return err;
    }
  }
  Fd own;
  if (OpenOrMake(sys, top_fd.Get(), ".Trash-" + user, own) != 0 ||
      !Usable(sys, own, uid, src.st.st_dev))
    return EXDEV;
  return TrashInto(sys, src, own.Get(), JoinPath(top, ".Trash-" + user), original, placed);
}

}  // namespace

std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? std::string(home) + "/.local/share" : std::string();
}

std::vector<std::string> TrashFoldersFor(Sys& sys, const std::string& absolute, dev_t dev) {
  std::vector<std::string> folders;
  if (const std::string data = DataHome(); !data.empty()) folders.push_back(data + "/Trash");
  const std::string top = MountPointOf(ReadMounts(sys), dev, absolute);
  if (!top.empty()) {
    const std::string user = std::to_string(sys.GetUid());
    folders.push_back(JoinPath(top, ".Trash/" + user));
    folders.push_back(JoinPath(top, ".Trash-" + user));
  }
  return folders;
}

int MoveToTrash(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                MovePlaced* placed) {
  MoveSource src;
  if (const int err = OpenMoveSource(sys, scanned, from, src)) return err;
  const std::string absolute = AbsolutePath(sys, from);
  if (absolute.empty()) return ENOENT;
  const int err = TrashAtHome(sys, src, absolute, placed);
  return err == EXDEV ? TrashAtTop(sys, src, absolute, placed) : err;
}

}  // namespace kestrel
