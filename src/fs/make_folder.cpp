#include "fs/make_folder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "fs/fd.h"

namespace kestrel {

namespace {

template <typename T>
bool Number(std::string_view& text, char end, int base, T& out) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  const size_t used = static_cast<size_t>(ptr - text.data());
  if (ec != std::errc() || used == 0 || (used < text.size() ? text[used] != end : end != '\0'))
    return false;
  text.remove_prefix(std::min(used + 1, text.size()));
  return true;
}

}  // namespace

std::vector<FolderOwner> ParseFolderOwners(std::string_view text) {
  std::vector<FolderOwner> owners;
  for (size_t pos = 0; pos < text.size();) {
    size_t slash = text.find('/', pos);
    if (slash == std::string_view::npos) slash = text.size();
    std::string_view part = text.substr(pos, slash - pos);
    FolderOwner o;
    if (!Number(part, ':', 10, o.uid) || !Number(part, ':', 10, o.gid) ||
        !Number(part, '\0', 8, o.mode) || o.mode > 07777)
      return {};
    owners.push_back(o);
    pos = slash + 1;
    if (slash + 1 == text.size()) return {};  // a trailing "/"
  }
  return owners;
}

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
