#pragma once

#include <cstdint>
#include <string>

#include "fs/sys.h"

namespace kestrel {

// The bytes a folder takes as an item a run moves: the st_size of every regular file below it,
// each inode once, and of every link (its own size). Folders themselves, other file systems
// and what cannot be read add nothing. files, when given, learns how many regular files
// (inodes) that is.
std::int64_t FolderBytes(Sys& sys, const std::string& path, std::int64_t* files = nullptr);

}  // namespace kestrel
