#include "fs/destination_folders.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string_view>

#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "fs/move_ops.h"
#include "fs/path_walk.h"

namespace kestrel {
namespace {

// ".Trash-" followed by digits only: the name every user's own trash gets at a mount top.
bool UserTrashName(std::string_view name) {
  constexpr std::string_view kPrefix = ".Trash-";
  if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return false;
  return name.find_first_not_of("0123456789", kPrefix.size()) == std::string_view::npos;
}

}  // namespace

DestinationFolders::DestinationFolders(Sys& sys, const std::string& quarantine)
    : sys_(sys), uid_(sys.GetUid()), mounts_(ReadMounts(sys)) {
  struct stat st;
  if (!quarantine.empty()) {
    PathAt at;
    if (Reach(sys, quarantine, at) == 0 && sys.FStatAt(at.dir, at.rel.c_str(), &st, 0) == 0 &&
        S_ISDIR(st.st_mode))
      folders_.insert({st.st_dev, st.st_ino});
  }
  const std::string data = DataHome();
  if (!data.empty()) AddFolder(AT_FDCWD, (data + "/Trash").c_str());
}

bool DestinationFolders::Holds(dev_t dev, ino_t ino) {
  if (devices_seen_.insert(dev).second) AddTopTrashes(dev);
  return folders_.count({dev, ino}) != 0;
}

bool DestinationFolders::HoldsOrContains(const std::string& path) {
  Fd at;
  struct stat st;
  if (OpenPath(sys_, path, O_PATH | O_DIRECTORY | O_CLOEXEC, at) != 0 ||
      sys_.FStat(at.Get(), &st) != 0)
    return false;
  for (;;) {
    if (Holds(st.st_dev, st.st_ino)) return true;
    Fd up(sys_, sys_.OpenAt(at.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    struct stat up_st;
    if (!up.Valid() || sys_.FStat(up.Get(), &up_st) != 0) return false;
    if (up_st.st_dev == st.st_dev && up_st.st_ino == st.st_ino) return false;  // at "/"
    at = std::move(up);
    st = up_st;
  }
}

void DestinationFolders::AddFolder(int dir, const char* path) {
  struct stat st;
  if (sys_.FStatAt(dir, path, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
    folders_.insert({st.st_dev, st.st_ino});
}

void DestinationFolders::AddTopTrashes(dev_t dev) {
  const std::string user = std::to_string(uid_);
  for (const MountEntry& m : mounts_) {
    if (m.dev != dev) continue;
    Fd top;
    if (OpenPath(sys_, m.point, O_RDONLY | O_DIRECTORY, top) != 0) continue;
    struct stat st;
    const bool shared =
        sys_.FStatAt(top.Get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    if (uid_ != 0) {
      if (shared) AddFolder(top.Get(), (".Trash/" + user).c_str());
      AddFolder(top.Get(), (".Trash-" + user).c_str());
      continue;
    }
    if (shared) folders_.insert({st.st_dev, st.st_ino});
    std::vector<std::string> names;
    ForEachEntry(sys_, top.Get(), [&](const char* name, size_t length, unsigned char) {
      if (UserTrashName({name, length})) names.emplace_back(name, length);
    });
    for (const auto& name : names) AddFolder(top.Get(), name.c_str());
  }
}

}  // namespace kestrel
