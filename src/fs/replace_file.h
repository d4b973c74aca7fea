#pragma once

#include <string>
#include <string_view>

#include "fs/sys.h"

namespace kestrel {

// Replaces the file at path with text atomically: a temporary in the same folder is written,
// synced and renamed over it, then the folder is synced; a failure removes the temporary and
// leaves the old file as it was. A new file gets mode 0644, a replaced one keeps its mode.
// Refuses (KsError "The <what> is not replaced: PATH (reason)") when path names anything but a
// regular file, a link included. Errors carry source.
void ReplaceFile(Sys& sys, const std::string& path, std::string_view text, const char* source,
                 const char* what = "file");

// Creates the absolute path's missing folders with mode. Returns 0 or the errno.
int MakeFolders(Sys& sys, const std::string& path, mode_t mode);

// Why a path that is no regular file is not read or written: "it is a folder", ...
const char* KindText(mode_t mode);

}  // namespace kestrel
