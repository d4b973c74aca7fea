#include "fs/replace_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "fs/fd.h"
#include "fs/temporaries.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int MakeFolders(Sys& sys, const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (sys.MkdirAt(AT_FDCWD, prefix.c_str(), mode) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

const char* KindText(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISFIFO(mode)) return "it is a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is not a regular file";
}

// The text goes to an anonymous file that gets a temporary name only for the moment of the
// rename, locked all the while, so that a kill leaves at most a stale temporary that the next
// replacement in the folder sweeps away.
void ReplaceFile(Sys& sys, const std::string& path, std::string_view text, const char* source,
                 const char* what) {
  const auto slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = Parent(path);
  Fd dir(sys, sys.OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY, 0));
  if (!dir.Valid() && errno == EACCES) {
    dir = Fd(sys, sys.OpenAt(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY, 0));
  }
  if (!dir.Valid()) throw SystemError(errno, "open", folder, source);
  SweepTemporaries(sys, dir.Get());

  struct stat old {};
  const bool exists = sys.FStatAt(dir.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) throw SystemError(errno, "stat", path, source);
  if (exists && !S_ISREG(old.st_mode)) {
    throw KsError(kAppError,
                  std::string("The ") + what + " is not replaced: " + EscapeControlBytes(path) + " (" +
                      (S_ISLNK(old.st_mode) ? "it is a link to nothing" : KindText(old.st_mode)) +
                      ")",
                  source);
  }
  const mode_t mode = exists ? old.st_mode & 07777 : 0644;

  std::string temp;
  auto fail = [&](int err, const char* call) {
    if (!temp.empty()) sys.UnlinkAt(dir.Get(), temp.c_str(), 0);
    throw SystemError(err, call, path, source);
  };
  auto fill = [&](const Fd& fd) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = sys.Write(fd.Get(), text.data() + done, text.size() - done);
      if (n <= 0) fail(n < 0 ? errno : EIO, "write");
      done += static_cast<size_t>(n);
    }
    if (sys.FChmod(fd.Get(), mode) != 0) fail(errno, "chmod");
    if (sys.Fsync(fd.Get()) != 0) fail(errno, "fsync");
  };
  Fd fd(sys, OpenAnonymous(sys, dir.Get(), 0600));
  if (fd.Valid()) {
    sys.Flock(fd.Get(), LOCK_EX);
    fill(fd);
    for (int attempt = 0; temp.empty() && attempt < 100; ++attempt) {
      std::string candidate = TempName();
      const int err = LinkAnonymous(sys, fd.Get(), dir.Get(), candidate);
      if (err == 0) temp = std::move(candidate);
      if (err == ENOTSUP) break;  // no way to name it: written again under a name below
      if (err != 0 && err != EEXIST) fail(err, "link");
    }
    if (temp.empty()) fd.Reset();
  } else if (!NoAnonymousFiles(errno)) {
    throw SystemError(errno, "open", path, source);
  }
  if (!fd.Valid()) {
    for (int attempt = 0; attempt < 100 && !fd.Valid(); ++attempt) {
      temp = TempName();
      fd = Fd(sys, sys.OpenAt(dir.Get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
      if (!fd.Valid() && errno != EEXIST) break;
      if (fd.Valid() && LockTemp(sys, fd.Get()) == EAGAIN) fd.Reset();
    }
    if (!fd.Valid()) throw SystemError(errno, "open", temp, source);
    fill(fd);
  }
  if (sys.RenameAt2(dir.Get(), temp.c_str(), dir.Get(), name.c_str(), 0) != 0) {
    fail(errno, "rename");
  }
  fd.Reset();  // synced already: nothing is left for close to report
  sys.Fsync(dir.Get());
}

}  // namespace kestrel
