#include "support/fault_sys.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel::test {
namespace {
bool Holds(const char* path, const std::string& part) {
  return path != nullptr && std::strstr(path, part.c_str()) != nullptr;
}
}  // namespace

#define KS_FAIL(...)                        \
  if (const int err = Check(__VA_ARGS__)) { \
    errno = err;                            \
    return -1;                              \
  }

void FaultSys::Fail(Op op, int err, int nth, std::string part) {
  rules_.push_back(Rule{op, err, nth, std::move(part)});
}
void FaultSys::ShortWrite(int nth, size_t limit) {
  short_write_nth_ = calls_[Op::kWrite] + nth;
  short_write_limit_ = limit;
}
void FaultSys::Redirect(std::string from, std::string to) {
  redirects_.emplace_back(std::move(from), std::move(to));
}
int FaultSys::Calls(Op op) const {
  const auto it = calls_.find(op);
  return it == calls_.end() ? 0 : it->second;
}

int FaultSys::Check(Op op, const char* path, const char* other_path) {
  ++calls_[op];
  for (Rule& r : rules_) {
    if (r.op != op) continue;
    if (!r.part.empty() && !Holds(path, r.part) && !Holds(other_path, r.part)) continue;
    ++r.seen;
    if (r.nth == 0 || r.seen == r.nth) return r.err;
  }
  return 0;
}

std::string FaultSys::Mapped(const char* path) const {
  const std::string p = path;
  for (const auto& [from, to] : redirects_) {
    if (p.compare(0, from.size(), from) == 0) return to + p.substr(from.size());
  }
  return p;
}

int FaultSys::Opened(int fd) {
  if (fd >= 0 && ++open_ > max_open_) max_open_ = open_;
  return fd;
}

int FaultSys::OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
  KS_FAIL(Op::kOpenAt, path);
  return Opened(real_.OpenAt(dirfd, Mapped(path).c_str(), flags, mode));
}
int FaultSys::Close(int fd) {
  --open_;
  KS_FAIL(Op::kClose);
  return real_.Close(fd);
}
ssize_t FaultSys::Read(int fd, void* buf, size_t count) {
  KS_FAIL(Op::kRead);
  return real_.Read(fd, buf, count);
}
ssize_t FaultSys::Write(int fd, const void* buf, size_t count) {
  KS_FAIL(Op::kWrite);
  if (calls_[Op::kWrite] == short_write_nth_) count = std::min(count, short_write_limit_);
  return count == 0 ? 0 : real_.Write(fd, buf, count);
}
int FaultSys::Fsync(int fd) {
  KS_FAIL(Op::kFsync);
  return real_.Fsync(fd);
}
int FaultSys::Ftruncate(int fd, off_t length) {
  KS_FAIL(Op::kFtruncate);
  return real_.Ftruncate(fd, length);
}
int FaultSys::FStat(int fd, struct stat* st) {
  KS_FAIL(Op::kFStat);
  return real_.FStat(fd, st);
}
int FaultSys::FStatAt(int dirfd, const char* path, struct stat* st, int flags) {
  KS_FAIL(Op::kFStatAt, path);
  return real_.FStatAt(dirfd, Mapped(path).c_str(), st, flags);
}
ssize_t FaultSys::GetDents64(int fd, void* buf, size_t count) {
  KS_FAIL(Op::kGetDents64);
  const ssize_t n = real_.GetDents64(fd, buf, count);
  if (hide_types) {
    auto* bytes = static_cast<char*>(buf);
    for (ssize_t pos = 0; pos < n;) {
      unsigned short reclen;
      std::memcpy(&reclen, bytes + pos + 16, sizeof reclen);
      bytes[pos + 18] = DT_UNKNOWN;
      pos += reclen;
    }
  }
  return n;
}
int FaultSys::RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                        unsigned int flags) {
  KS_FAIL(Op::kRenameAt2, oldpath, newpath);
  return real_.RenameAt2(olddirfd, oldpath, newdirfd, newpath, flags);
}
int FaultSys::UnlinkAt(int dirfd, const char* path, int flags) {
  KS_FAIL(Op::kUnlinkAt, path);
  return real_.UnlinkAt(dirfd, path, flags);
}
int FaultSys::MkdirAt(int dirfd, const char* path, mode_t mode) {
  KS_FAIL(Op::kMkdirAt, path);
  return real_.MkdirAt(dirfd, path, mode);
}
ssize_t FaultSys::ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) {
  KS_FAIL(Op::kReadLinkAt, path);
  return real_.ReadLinkAt(dirfd, path, buf, size);
}
int FaultSys::SymlinkAt(const char* target, int newdirfd, const char* linkpath) {
  KS_FAIL(Op::kSymlinkAt, linkpath);
  return real_.SymlinkAt(target, newdirfd, linkpath);
}
int FaultSys::MknodAt(int dirfd, const char* path, mode_t mode, dev_t dev) {
  KS_FAIL(Op::kMknodAt, path);
  return real_.MknodAt(dirfd, path, mode, dev);
}
int FaultSys::FStatVfs(int fd, struct statvfs* st) {
  KS_FAIL(Op::kFStatVfs);
  const int rc = real_.FStatVfs(fd, st);
  if (rc == 0 && space) st->f_bavail = space->first, st->f_frsize = space->second;
  return rc;
}
int FaultSys::StatVfs(const char* path, struct statvfs* st) {
  KS_FAIL(Op::kStatVfs, path);
  const int rc = real_.StatVfs(path, st);
  if (rc == 0 && space) st->f_bavail = space->first, st->f_frsize = space->second;
  return rc;
}
int FaultSys::GetInodeFlags(int fd, int* flags) {
  KS_FAIL(Op::kGetInodeFlags);
  return real_.GetInodeFlags(fd, flags);
}
int FaultSys::FChmod(int fd, mode_t mode) {
  KS_FAIL(Op::kFChmod);
  return real_.FChmod(fd, mode);
}
int FaultSys::FUtimens(int fd, const struct timespec times[2]) {
  KS_FAIL(Op::kFUtimens);
  return real_.FUtimens(fd, times);
}
int FaultSys::FChown(int fd, uid_t owner, gid_t group) {
  KS_FAIL(Op::kFChown);
  return real_.FChown(fd, owner, group);
}
ssize_t FaultSys::CopyFileRange(int fd_in, int fd_out, size_t len) {
  KS_FAIL(Op::kCopyFileRange);
  return real_.CopyFileRange(fd_in, fd_out, len);
}
off_t FaultSys::Lseek(int fd, off_t offset, int whence) {
  KS_FAIL(Op::kLseek);
  return real_.Lseek(fd, offset, whence);
}

}  // namespace kestrel::test
