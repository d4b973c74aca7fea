#include <fcntl.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "fs/folder.h"
#include "fs/move_ops.h"
#include "fs/names.h"
#include "fs/path_walk.h"
#include "fs/temporaries.h"

namespace kestrel {
namespace {

constexpr int kMaxNumber = 9999;

int OpenDestination(Sys& sys, const std::string& folder, Fd& dst) {
  const int err = OpenPath(sys, folder, O_RDONLY | O_DIRECTORY, dst);
  // A folder one may write to but not list still takes the move; only its sync is lost.
  return err == EACCES ? OpenPath(sys, folder, O_PATH | O_DIRECTORY, dst) : err;
}

// Removes the source once its copy is in place, unless it was replaced in the meantime.
int RemoveSource(Sys& sys, const MoveSource& src, const CopiedTree* copied) {
  struct stat now;
  if (sys.FStatAt(src.Dir(), src.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (now.st_dev != src.st.st_dev || now.st_ino != src.st.st_ino) return EBUSY;
  if (copied != nullptr) return RemoveTree(sys, src.Dir(), src.name, src.st.st_dev, copied);
  return sys.UnlinkAt(src.Dir(), src.name.c_str(), 0) == 0 ? 0 : errno;
}

// Tries place on "wanted", "wanted (2)", ... from next's number on; place returns 0 or an
// errno, EEXIST for a taken name. After a success next holds the number after the one taken.
template <typename Place>
int PlaceFree(const std::string& wanted, int max_number, FreeNumber* next, std::string& placed,
              Place place) {
  int n = next != nullptr ? next->next : 1;
  int err = EEXIST;
  for (; n <= max_number && err == EEXIST; ++n) {
    placed = NumberedName(wanted, n);
    err = place(placed);
  }
  if (err == 0 && next != nullptr) next->next = n;
  return err;
}

int MoveLinkAcross(Sys& sys, const MoveSource& src, int dst, const std::string& wanted,
                   int max_number, FreeNumber* next, std::string& placed, NotKept& lost) {
  std::string target;
  if (const int err = ReadLinkText(sys, src.Dir(), src.name, target)) return err;
  int err = PlaceFree(wanted, max_number, next, placed, [&](const std::string& name) {
    return sys.SymlinkAt(target.c_str(), dst, name.c_str()) == 0 ? 0 : errno;
  });
  if (err != 0) return err;
  SetLinkAttributes(sys, dst, placed, src.st, lost);
  err = SyncFolder(sys, dst);
  if (err == 0) err = RemoveSource(sys, src, nullptr);
  if (err != 0) sys.UnlinkAt(dst, placed.c_str(), 0);
  return err;
}

// Returns ENOTSUP when the file system has no anonymous files or they cannot be named; nothing
// is done then.
int MoveFileAcross(Sys& sys, const MoveSource& src, int dst, const std::string& wanted,
                   int max_number, FreeNumber* next, std::string& placed, NotKept& lost) {
  Fd out;
  int err = CopyToAnonymous(sys, src, dst, out, lost);
  if (err != 0) return NoAnonymousFiles(err) ? ENOTSUP : err;
  err = PlaceFree(wanted, max_number, next, placed, [&](const std::string& name) {
    return LinkAnonymous(sys, out.Get(), dst, name);
  });
  if (err != 0) return err;
  err = SyncFolder(sys, dst);
  if (err == 0) err = RemoveSource(sys, src, nullptr);
  if (err != 0) sys.UnlinkAt(dst, placed.c_str(), 0);
  return err;
}

int MoveAcross(Sys& sys, const MoveSource& src, int dst, dev_t dst_dev, const std::string& wanted,
               int max_number, FreeNumber* next, std::string& placed, NotKept& lost) {
  if (S_ISREG(src.st.st_mode)) {
    const int err = MoveFileAcross(sys, src, dst, wanted, max_number, next, placed, lost);
    if (err != ENOTSUP) return err;
  }
  std::string temp;
  CopiedTree copied;
  if (const int err = CopyToTemp(sys, src, dst, temp, copied)) return err;
  lost |= copied.not_kept;
  const bool folder = S_ISDIR(src.st.st_mode);
  int err = RenameToFreeName(sys, dst, temp, dst, wanted, placed, max_number, next);
  const std::string& landed = err == 0 ? placed : temp;
  if (err == 0) err = SyncFolder(sys, dst);
  if (err == 0) {
    // A folder whose source cannot be removed in full keeps its copy: both hold the data.
    if (folder) return RemoveSource(sys, src, &copied);
    err = RemoveSource(sys, src, nullptr);
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

size_t CopyGroup::FolderOf(const std::string& path, int fd, int flags, dev_t dev) {
  for (size_t i = folders_.size(); i-- > 0;)
    if (folders_[i].path == path && folders_[i].dev == dev) return i;
  // Its own descriptor of the very folder the caller checked, which the caller may let go.
  Fd own(sys_, sys_.OpenAt(fd, ".", flags | O_DIRECTORY, 0));
  if (!own.Valid() && errno == EACCES && flags != O_PATH)
    own = Fd(sys_, sys_.OpenAt(fd, ".", O_PATH | O_DIRECTORY, 0));
  if (!own.Valid()) return folders_.size() + 1;
  folders_.push_back(Folder{path, std::move(own), dev});
  return folders_.size() - 1;
}

int CopyGroup::Add(const MoveSource& src, int dst, const std::string& dst_path, dev_t dst_dev,
                   const std::string& wanted, int max_number, FreeNumber* next) {
  Item item;
  int err = CopyToAnonymous(sys_, src, dst, item.copy, item.done.not_kept, false);
  if (err != 0) return NoAnonymousFiles(err) ? ENOTSUP : err;
  // A source's device is no destination's: 0 keeps the two apart.
  item.from = FolderOf(src.parent_path, src.Dir(), O_PATH, 0);
  if (item.from < folders_.size()) item.to = FolderOf(dst_path, dst, O_RDONLY, dst_dev);
  if (item.from >= folders_.size() || item.to >= folders_.size()) return errno;
  item.name = src.name;
  item.wanted = wanted;
  item.st = src.st;
  item.max_number = max_number;
  item.next = next;
  bytes_ += src.st.st_size;
  items_.push_back(std::move(item));
  return 0;
}

void CopyGroup::Finish(const std::function<void(const Done&)>& done, int refused) {
  // One sync per file system makes every copy durable before any of them is named.
  std::vector<std::pair<dev_t, int>> synced;
  for (Item& item : items_) {
    item.done.error = refused;
    if (refused != 0) continue;
    const dev_t dev = folders_[item.to].dev;
    auto it =
        std::find_if(synced.begin(), synced.end(), [&](const auto& s) { return s.first == dev; });
    if (it == synced.end())
      it = synced.insert(synced.end(), {dev, sys_.SyncFs(item.copy.Get()) == 0 ? 0 : errno});
    if (it->second != 0 && sys_.Fsync(item.copy.Get()) != 0) item.done.error = errno;
  }
  std::vector<bool> named(folders_.size());
  for (Item& item : items_) {
    if (item.done.error != 0) continue;
    Folder& to = folders_[item.to];
    MoveSource src;
    src.borrowed = folders_[item.from].fd.Get();
    src.name = item.name;
    src.st = item.st;
    Done& d = item.done;
    d.error =
        PlaceFree(item.wanted, item.max_number, item.next, d.placed, [&](const std::string& name) {
          return LinkAnonymous(sys_, item.copy.Get(), to.fd.Get(), name);
        });
    named[item.to] = named[item.to] || d.error == 0;
    if (d.error != ENOTSUP) continue;
    // Without a way to name an anonymous file here, the file moves alone, through a temporary.
    item.copy.Reset();
    d.error = MoveAcross(sys_, src, to.fd.Get(), to.dev, item.wanted, item.max_number, item.next,
                         d.placed, d.not_kept);
    struct stat st;
    if (d.error == 0 && sys_.FStatAt(to.fd.Get(), d.placed.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      d.dev = st.st_dev, d.ino = st.st_ino;
  }
  for (size_t f = 0; f < folders_.size(); ++f) {
    const int err = named[f] ? SyncFolder(sys_, folders_[f].fd.Get()) : 0;
    for (Item& item : items_) {
      if (err == 0 || item.to != f || item.done.error != 0 || !item.copy.Valid()) continue;
      sys_.UnlinkAt(folders_[f].fd.Get(), item.done.placed.c_str(), 0);
      item.done.error = err;
    }
  }
  // Only now is every named copy durable, so only now may its source go.
  for (Item& item : items_) {
    Done& d = item.done;
    if (d.error == 0 && item.copy.Valid()) {
      MoveSource src;
      src.borrowed = folders_[item.from].fd.Get();
      src.name = item.name;
      src.st = item.st;
      d.error = RemoveSource(sys_, src, nullptr);
      struct stat st;
      if (d.error != 0) {
        sys_.UnlinkAt(folders_[item.to].fd.Get(), d.placed.c_str(), 0);
      } else if (sys_.FStat(item.copy.Get(), &st) == 0) {
        d.dev = st.st_dev, d.ino = st.st_ino;
      }
    }
    item.copy.Reset();
    done(d);
  }
  items_.clear();
  folders_.clear();
  bytes_ = 0;
}

int OpenMoveSource(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   MoveSource& src, MoveCache* cache) {
  if (const int err = SplitParent(from, src.parent_path, src.name)) return err;
  if (cache != nullptr && cache->source.fd.Valid() && cache->source.path == src.parent_path) {
    src.borrowed = cache->source.fd.Get();
  } else {
    if (const int err = OpenPath(sys, src.parent_path, O_PATH | O_DIRECTORY, src.dir)) return err;
    if (scanned != nullptr && scanned->Known(src.parent_path)) {
      struct stat st;
      if (sys.FStat(src.dir.Get(), &st) != 0) return errno;
      if (scanned->Swapped(src.parent_path, st.st_dev, st.st_ino)) return ELOOP;
    }
    if (cache != nullptr) {
      cache->source.path = src.parent_path;
      cache->source.fd = std::move(src.dir);
      src.borrowed = cache->source.fd.Get();
    }
  }
  if (sys.FStatAt(src.Dir(), src.name.c_str(), &src.st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  return 0;
}

int RenameToFreeName(Sys& sys, int from_dir, const std::string& from_name, int to_dir,
                     const std::string& wanted, std::string& placed, int max_number,
                     FreeNumber* next) {
  return PlaceFree(wanted, max_number, next, placed, [&](const std::string& name) {
    return sys.RenameAt2(from_dir, from_name.c_str(), to_dir, name.c_str(), RENAME_NOREPLACE) == 0
               ? 0
               : errno;
  });
}

int MoveEntryInto(Sys& sys, const MoveSource& src, int dst, dev_t dst_dev,
                  const std::string& wanted, bool free_name, std::string& placed, FreeNumber* next,
                  NotKept* not_kept, MoveSteps* steps) {
  const int max_number = free_name ? kMaxNumber : 1;
  if (!free_name) next = nullptr;
  // The rename alone knows whether the two folders share a mount: a bind mount of the same
  // file system has the same device number and still says EXDEV.
  if (const int err =
          RenameToFreeName(sys, src.Dir(), src.name, dst, wanted, placed, max_number, next);
      err != EXDEV)
    return err;
  if (S_ISREG(src.st.st_mode)) {
    struct statvfs room;
    if (sys.FStatVfs(dst, &room) == 0 && static_cast<std::uint64_t>(room.f_bavail) * room.f_frsize <
                                             static_cast<std::uint64_t>(src.st.st_size))
      return ENOSPC;
  }
  if (steps != nullptr) {
    steps->copied = true;
    if (steps->group != nullptr && S_ISREG(src.st.st_mode)) {
      const int err =
          steps->group->Add(src, dst, steps->group_folder, dst_dev, wanted, max_number, next);
      steps->grouped = err == 0;
      if (err != ENOTSUP) return err;
    }
    if (steps->before_copy)
      if (const int err = steps->before_copy()) return err;
  }
  NotKept lost = 0;
  const int err = S_ISLNK(src.st.st_mode)
                      ? MoveLinkAcross(sys, src, dst, wanted, max_number, next, placed, lost)
                      : MoveAcross(sys, src, dst, dst_dev, wanted, max_number, next, placed, lost);
  if (err == 0 && not_kept != nullptr) *not_kept = lost;
  return err;
}

int MoveIntoFolder(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   const std::string& to_folder, MoveCache* cache, MovePlaced* placed,
                   CopyGroup* group) {
  MoveSource src;
  if (const int err = OpenMoveSource(sys, scanned, from, src, cache)) return err;
  Fd opened;
  int dst = -1;
  dev_t dst_dev = 0;
  if (cache != nullptr && cache->destination.fd.Valid() && cache->destination.path == to_folder) {
    dst = cache->destination.fd.Get();
    dst_dev = cache->destination.dev;
  } else {
    if (const int err = OpenDestination(sys, to_folder, opened)) return err;
    struct stat dst_st;
    if (sys.FStat(opened.Get(), &dst_st) != 0) return errno;
    dst_dev = dst_st.st_dev;
    if (cache != nullptr) {
      // Once a run, what killed moves left behind goes.
      SweepTemporaries(sys, opened.Get());
      cache->destination.path = to_folder;
      cache->destination.fd = std::move(opened);
      cache->destination.dev = dst_dev;
      cache->destination.next_free.clear();
      dst = cache->destination.fd.Get();
    } else {
      dst = opened.Get();
    }
  }
  std::string name;
  MoveSteps steps;
  steps.group = group;
  steps.group_folder = to_folder;
  FreeNumber* next = cache != nullptr ? &cache->destination.next_free[src.name] : nullptr;
  NotKept lost = 0;
  const int err = MoveEntryInto(sys, src, dst, dst_dev, src.name, true, name, next, &lost, &steps);
  if (err == 0 && placed != nullptr) {
    placed->path = to_folder.ends_with('/') ? to_folder + name : to_folder + "/" + name;
    placed->info_path.clear();
    placed->not_kept = lost;
    placed->grouped = steps.grouped;
    placed->dev = src.st.st_dev;
    placed->ino = src.st.st_ino;
    struct stat st;
    if (steps.copied && !steps.grouped &&
        sys.FStatAt(dst, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      placed->dev = st.st_dev, placed->ino = st.st_ino;
  }
  return err;
}

}  // namespace kestrel
