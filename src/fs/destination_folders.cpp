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

std::unordered_set<ino_t> DestinationFolders::InodesOn(dev_t dev) {
  if (devices_seen_.insert(dev).second) AddTopTrashes(dev);
  std::unordered_set<ino_t> inodes;
  for (const Id& id : folders_) {
    if (id.dev == dev) inodes.insert(id.ino);
  }
  return inodes;
}

bool DestinationFolders::HoldsOrContains(const std::string& path, dev_t dev, ino_t ino) {
  Id id{dev, ino};
  if (Holds(dev, ino)) return true;
  if (outside_.count(id) != 0) return false;
  // Up from the folder's real parent ("path/.." past a link) to "/", or to a folder already
  // found outside every destination: include folders side by side cost one step each.
  std::vector<Id> walked = {id};
  Fd at;
  struct stat st;
  if (OpenPath(sys_, path + "/..", O_PATH | O_DIRECTORY | O_CLOEXEC, at) != 0 ||
      sys_.FStat(at.Get(), &st) != 0)
    return false;
  for (;;) {
    const Id up{st.st_dev, st.st_ino};
    if (up == id || outside_.count(up) != 0) break;  // at "/", or known
    if (Holds(up.dev, up.ino)) return true;
    walked.push_back(up);
    id = up;
    Fd next(sys_, sys_.OpenAt(at.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    if (!next.Valid() || sys_.FStat(next.Get(), &st) != 0) return false;
    at = std::move(next);
  }
  outside_.insert(walked.begin(), walked.end());
  return false;
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
