#pragma once

#include <fcntl.h>

#include <string>

#include "fs/fd.h"
#include "fs/sys.h"

namespace kestrel {

// What an *at call needs to reach a path of any length: the path itself against AT_FDCWD
// when it is short, else an open folder near its end and the last component.
struct PathAt {
  Fd holder;
  int dir = AT_FDCWD;
  std::string rel;
};

// Fills at for the path, opening the folders of a long path chunk by chunk (links on the way
// are followed, as the kernel would). Returns 0 or the errno of the failed step.
int Reach(Sys& sys, const std::string& path, PathAt& at);

// Opens a path of any length with the given flags. Returns 0 or the errno.
int OpenPath(Sys& sys, const std::string& path, int flags, Fd& out);

// The folder that holds a path's last component, open with O_PATH, and that component.
struct ParentAt {
  Fd dir;
  std::string parent_path;  // as written in the path ("." when there is none)
  std::string name;
};

// Returns 0, EINVAL when the path ends in "." or ".." or has no last component, or the errno of
// opening the folder.
int OpenParent(Sys& sys, const std::string& path, ParentAt& out);

// The path made absolute (against the working folder) with "." and ".." and repeated
// separators removed by text alone; empty when the working folder cannot be read.
std::string AbsolutePath(Sys& sys, const std::string& path);

// Reads a whole file of any size (the kernel's text files). Returns 0 or the errno.
int ReadWholeFile(Sys& sys, const std::string& path, std::string& out);

}  // namespace kestrel
