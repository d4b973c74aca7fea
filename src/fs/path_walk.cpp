#include "fs/path_walk.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace kestrel {

int Reach(Sys& sys, const std::string& path, PathAt& at) {
  at.holder.Reset();
  at.dir = AT_FDCWD;
  if (path.size() < PATH_MAX) {
    at.rel = path;
    return 0;
  }
  const size_t end = path.find_last_not_of('/');
  const size_t last = end == std::string::npos ? std::string::npos : path.rfind('/', end);
  if (last == std::string::npos) {
    at.rel = path;  // one over-long component: the call itself reports it
    return 0;
  }
  size_t pos = 0;
  if (path[0] == '/') {
    const int fd = sys.OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY, 0);
    if (fd < 0) return errno;
    at.holder = Fd(sys, fd);
    at.dir = fd;
  }
  while (true) {
    pos = path.find_first_not_of('/', pos);
    if (pos == std::string::npos || pos >= last) break;
    size_t cut = last;
    if (cut - pos >= PATH_MAX) {
      cut = path.rfind('/', pos + PATH_MAX - 1);
      if (cut == std::string::npos || cut <= pos) return ENAMETOOLONG;
    }
    const std::string chunk = path.substr(pos, cut - pos);
    const int fd = sys.OpenAt(at.dir, chunk.c_str(), O_PATH | O_DIRECTORY, 0);
    if (fd < 0) return errno;
    at.holder = Fd(sys, fd);
    at.dir = fd;
    pos = cut + 1;
  }
  at.rel = path.substr(last + 1, end - last);
  return 0;
}

int OpenPath(Sys& sys, const std::string& path, int flags, Fd& out) {
  PathAt at;
  if (const int err = Reach(sys, path, at)) return err;
  const int fd = sys.OpenAt(at.dir, at.rel.c_str(), flags, 0);
  if (fd < 0) return errno;
  out = Fd(sys, fd);
  return 0;
}

int SplitParent(const std::string& path, std::string& parent_path, std::string& name) {
  const size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? ENOENT : EINVAL;
  const size_t slash = path.rfind('/', end);
  name = path.substr(slash == std::string::npos ? 0 : slash + 1,
                     slash == std::string::npos ? end + 1 : end - slash);
  if (name == "." || name == "..") return EINVAL;
  if (slash == std::string::npos) {
    parent_path.assign(1, '.');  // not = ".": GCC 12 -Wrestrict false positive at -O3
  } else {
    const size_t parent_end = path.find_last_not_of('/', slash);
    parent_path = parent_end == std::string::npos ? "/" : path.substr(0, parent_end + 1);
  }
  return 0;
}

int OpenParent(Sys& sys, const std::string& path, ParentAt& out) {
  if (const int err = SplitParent(path, out.parent_path, out.name)) return err;
  return OpenPath(sys, out.parent_path, O_PATH | O_DIRECTORY, out.dir);
}

std::string AbsolutePath(Sys& sys, const std::string& path) {
  // Already absolute and plain (no empty, "." or ".." part, no trailing slash): as it is.
  if (path.size() > 1 && path[0] == '/' && path.back() != '/' &&
      path.find("//") == std::string::npos && path.find("/./") == std::string::npos &&
      path.find("/../") == std::string::npos && !path.ends_with("/.") && !path.ends_with("/.."))
    return path;
  std::string base;
  if (path.empty() || path[0] != '/') {
    std::vector<char> buf(PATH_MAX);
    while (true) {
      ssize_t n = sys.ReadLinkAt(AT_FDCWD, "/proc/self/cwd", buf.data(), buf.size());
      // Without /proc (a chroot, a small container) the C library asks the kernel directly.
      if (n < 0 && errno == ENOENT && sys.GetCwd(buf.data(), buf.size()) != nullptr) {
        n = static_cast<ssize_t>(std::strlen(buf.data()));
      }
      if (n < 0) return {};
      if (static_cast<size_t>(n) < buf.size()) {
        base.assign(buf.data(), static_cast<size_t>(n));
        break;
      }
      buf.resize(buf.size() * 2);
    }
  }
  const std::string joined = base + "/" + path;
  std::vector<std::string_view> parts;
  const std::string_view text(joined);
  for (size_t pos = 0; pos < text.size();) {
    size_t next = text.find('/', pos);
    if (next == std::string_view::npos) next = text.size();
    const std::string_view part = text.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string result;
  for (const std::string_view part : parts) {
    result += '/';
    result += part;
  }
  return result.empty() ? "/" : result;
}

int ReadWholeFile(Sys& sys, const std::string& path, std::string& out) {
  Fd fd;
  if (const int err = OpenPath(sys, path, O_RDONLY, fd)) return err;
  out.clear();
  char buf[16384];
  while (true) {
    const ssize_t n = sys.Read(fd.Get(), buf, sizeof buf);
    if (n < 0) return errno;
    if (n == 0) return 0;
    out.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace kestrel
