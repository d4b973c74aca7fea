#include "fs/tree_size.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <set>
#include <utility>
#include <vector>

#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "fs/path_walk.h"

namespace kestrel {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

struct Tally {
  Sys& sys;
  dev_t dev;
  std::set<std::pair<dev_t, ino_t>> linked;  // regular files with more than one name
  std::int64_t bytes = 0;

  void Folder(int dir) {
    std::vector<std::string> names;
    ForEachEntry(sys, dir,
                 [&](const char* n, size_t len, unsigned char) { names.emplace_back(n, len); });
    for (const std::string& name : names) {
      struct stat st;
      if (sys.FStatAt(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISLNK(st.st_mode)) {
        bytes += st.st_size;
      } else if (S_ISREG(st.st_mode)) {
        if (st.st_nlink < 2 || linked.emplace(st.st_dev, st.st_ino).second) bytes += st.st_size;
      } else if (S_ISDIR(st.st_mode) && st.st_dev == dev) {
        Fd sub(sys, sys.OpenAt(dir, name.c_str(), kFolderFlags, 0));
        if (sub.Valid()) Folder(sub.Get());
      }
    }
  }
};

}  // namespace

std::int64_t FolderBytes(Sys& sys, const std::string& path) {
  Fd dir;
  struct stat st;
  if (OpenPath(sys, path, kFolderFlags, dir) != 0 || sys.FStat(dir.Get(), &st) != 0) return 0;
  Tally tally{sys, st.st_dev, {}, 0};
  tally.Folder(dir.Get());
  return tally.bytes;
}

}  // namespace kestrel
