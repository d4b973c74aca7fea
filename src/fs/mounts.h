#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "fs/sys.h"

namespace kestrel {

// One line of /proc/self/mountinfo, octal escapes undone.
struct MountEntry {
  dev_t dev = 0;
  std::string root;  // the folder of the file system mounted here; "/" unless a bind mount
  std::string point;
  std::string options;  // per mount ("rw,nosuid")
  std::string type;
  std::string source;
  std::string super_options;
};

// The mounts of this process in mount order; empty when the table cannot be read.
std::vector<MountEntry> ReadMounts(Sys& sys);

// The mount point of the file system dev for the absolute path on it: among the mounts of
// dev, the deepest that holds the path, else the last. Empty when dev is not mounted.
std::string MountPointOf(const std::vector<MountEntry>& mounts, dev_t dev,
                         const std::string& abs_path);

// Returns true iff the comma-separated option list holds the option.
bool HasOption(const std::string& options, const std::string& option);

}  // namespace kestrel
