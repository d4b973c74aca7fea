#pragma once

#include <sys/types.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "fs/mounts.h"

namespace kestrel {

class Sys;

// The folders a run moves files into, known by device and inode (so a link to one, or
// another spelling of its path, is the same folder), for a scan to leave out with all they
// hold: the quarantine folder (a link there followed), the home trash ($XDG_DATA_HOME/Trash)
// and, at the top of every mount of a file system, .Trash/$uid and .Trash-$uid. As root
// (uid 0) it also holds every user's trash at a mount top: the folder .Trash whole and every
// .Trash-<digits>. Trash folders that are links are not trash folders and are not held.
class DestinationFolders {
 public:
  // Reads what it needs at once, but the trash folders at the top of a file system's mounts
  // only when Holds is first asked about that file system, so that mounts a run never scans
  // (a hung network share) are never touched.
  DestinationFolders(Sys& sys, const std::string& quarantine);

  // Returns true iff the folder (st_dev, st_ino) is one of the destinations.
  bool Holds(dev_t dev, ino_t ino);
  // Returns true iff the folder (st_dev, st_ino) at path (a link there followed) is one of the
  // destinations or lies inside one: an include folder inside them is never scanned either.
  bool HoldsOrContains(const std::string& path, dev_t dev, ino_t ino);
  // The destinations on one file system, by inode, for a walk that never leaves it.
  std::unordered_set<ino_t> InodesOn(dev_t dev);

 private:
  struct Id {
    dev_t dev;
    ino_t ino;
    bool operator==(const Id&) const = default;
  };
  struct IdHash {
    size_t operator()(const Id& id) const {
      return std::hash<dev_t>()(id.dev) * 31 + std::hash<ino_t>()(id.ino);
    }
  };
  void AddTopTrashes(dev_t dev);
  void AddFolder(int dir, const char* path);

  Sys& sys_;
  uid_t uid_;
  std::vector<MountEntry> mounts_;
  std::unordered_set<dev_t> devices_seen_;
  std::unordered_set<Id, IdHash> folders_;
  std::unordered_set<Id, IdHash> outside_;  // neither a destination nor inside one
};

}  // namespace kestrel
