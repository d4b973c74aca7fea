#include "fs/temporaries.h"

#include <fcntl.h>
#include <sys/file.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "fs/move_ops.h"

namespace kestrel {
namespace {

constexpr std::string_view kPrefix = ".kestrel-";
constexpr std::string_view kSuffix = ".tmp";

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string TempName() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
      counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name(kPrefix);
  for (int i = 0; i < 10; ++i, x /= 36) name += kDigits[x % 36];
  return name += kSuffix;
}

// Older versions named their temporaries ".kestrel-<digits>.tmp" and ".kestrel-<6 letters>".
bool IsTempName(std::string_view name) {
  if (!name.starts_with(kPrefix)) return false;
  name.remove_prefix(kPrefix.size());
  const bool suffixed = name.ends_with(kSuffix);
  if (suffixed) name.remove_suffix(kSuffix.size());
  if (name.empty() || name.size() > 10 || (!suffixed && name.size() != 6)) return false;
  for (const char c : name) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

int LockTemp(Sys& sys, int fd) {
  if (sys.Flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EAGAIN : errno;
  struct stat st;
  if (sys.FStat(fd, &st) != 0) return errno;
  return st.st_nlink == 0 ? EAGAIN : 0;
}

void SweepTemporaries(Sys& sys, int dir) {
  std::vector<std::string> names;
  ForEachEntry(sys, dir, [&](const char* n, size_t len, unsigned char) {
    if (IsTempName(std::string_view(n, len))) names.emplace_back(n, len);
  });
  const uid_t uid = sys.GetUid();
  for (const std::string& name : names) {
    struct stat st;
    if (sys.FStatAt(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != uid) continue;
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && !S_ISREG(st.st_mode)) continue;
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (folder ? O_DIRECTORY : 0);
    Fd fd(sys, sys.OpenAt(dir, name.c_str(), flags, 0));
    if (!fd.Valid() || sys.Flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
    // The lock is held through the removal, so that no writer takes the name meanwhile.
    struct stat now;
    if (sys.FStatAt(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev)
      continue;
    if (folder) {
      RemoveTree(sys, dir, name, st.st_dev, nullptr);
    } else {
      sys.UnlinkAt(dir, name.c_str(), 0);
    }
  }
}

bool NoAnonymousFiles(int err) {
  return err == EOPNOTSUPP || err == EISDIR || err == EINVAL;
}

int OpenAnonymous(Sys& sys, int dir, mode_t mode) {
  return sys.OpenAt(dir, ".", O_TMPFILE | O_WRONLY, mode);
}

int LinkAnonymous(Sys& sys, int fd, int dir, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (sys.LinkAt(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  // No /proc (a chroot, a small container): the descriptor itself links for the privileged.
  if (sys.LinkAt(fd, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno == EEXIST ? EEXIST : ENOTSUP;
}

}  // namespace kestrel
