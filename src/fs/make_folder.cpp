#include "fs/make_folder.h"

#include <cerrno>

#include "fs/fd.h"

namespace kestrel {

int MakeRecordedFolder(Sys& sys, int dir, const std::string& name, const FolderOwner* owner) {
  if (owner == nullptr) return sys.MkdirAt(dir, name.c_str(), 0777) == 0 ? 0 : errno;
  // Private until it is the recorded owner's, so that no one else can slip an entry into it.
  if (sys.MkdirAt(dir, name.c_str(), 0700) != 0) return errno;
  Fd made(sys, sys.OpenAt(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (!made.Valid()) return errno;
  if (sys.GetUid() == 0 && sys.FChown(made.Get(), owner->uid, owner->gid) != 0) return errno;
  // After the chown, which may clear set-id bits.
  return sys.FChmod(made.Get(), owner->mode & 07777) == 0 ? 0 : errno;
}

}  // namespace kestrel
