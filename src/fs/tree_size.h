#pragma once

#include <cstdint>
#include <string>

#include "fs/sys.h"

namespace kestrel {

// The bytes a folder takes as an item a run moves: the st_size of every regular file below it,
// each inode once, and of every link (its own size). Folders themselves, other file systems
// and what cannot be read add nothing.
std::int64_t FolderBytes(Sys& sys, const std::string& path);

}  // namespace kestrel
