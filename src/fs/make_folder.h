#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "fs/sys.h"

namespace kestrel {

// A folder's owner, group and permission bits as a journal recorded them.
struct FolderOwner {
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0;
};

// The folders a journal recorded as "UID:GID:MODE" (mode octal) joined by "/", outermost
// first; empty when the text is empty or any part is malformed.
std::vector<FolderOwner> ParseFolderOwners(std::string_view text);

// Makes the folder name in the open folder dir. With owner, it gets the recorded permission bits
// and, when Kestrel runs as root, the recorded owner and group, so that a restore by root does
// not leave a user's tree with a folder they cannot change; without, it is made as mkdir(1)
// would. Returns 0, or the errno (EEXIST when something is there already).
int MakeRecordedFolder(Sys& sys, int dir, const std::string& name, const FolderOwner* owner);

}  // namespace kestrel
