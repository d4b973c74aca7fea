#pragma once

#include <cstdint>
#include <string>

#include "fs/sys.h"

namespace kestrel {

// Reads the mount id (statx) of the entry name below dir, not following a link; an empty name
// means dir itself. Returns 0 or the errno.
int MountId(Sys& sys, int dir, const std::string& name, std::uint64_t& out);

// What lies in an entry: the bytes of its regular files, and whether any part of it sits on
// another mount than mount_id (a file system or bind mount inside it).
struct TreeMeasure {
  std::int64_t bytes = 0;
  bool mount = false;
  int error = 0;  // the first errno met while looking; what could be read is counted
};
// Measures the entry name below dir, never following a link.
TreeMeasure MeasureTree(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id);

// Deletes the entry name below dir with everything in it, never following a link (a link is
// removed as a link) and never entering another mount (EBUSY). Owned folders without u+w get
// it first. Goes on past failures; returns the first errno, or 0 when the entry is gone.
int PurgeTree(Sys& sys, int dir, const std::string& name, std::uint64_t mount_id);

}  // namespace kestrel
