#pragma once

#include <dirent.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fs/sys_wrapper.h"

namespace kestrel::test {

// kTmpFile: an OpenAt with O_TMPFILE.
enum class Op {
  kOpenAt,
  kTmpFile,
  kRead,
  kWrite,
  kFsync,
  kGetDents64,
  kRenameAt2,
  kUnlinkAt,
  kLinkAt,
  kInodeFlags,
  kCopyFileRange,
  kSetXattr
};

// The real calls, with chosen ones made to fail, cut short or pointed elsewhere.
class FaultSys : public SysWrapper {
 public:
  FaultSys() : SysWrapper(RealSys()) {}

  // The nth call of op from now on (every one when nth is 0) fails with err; with a part, only
  // calls with a path holding it count.
  void Fail(Op op, int err, int nth = 1, std::string part = "") {
    rules_.push_back(Rule{op, err, nth, 0, std::move(part)});
  }
  // Paths that start with from are used with to in its place.
  void Redirect(std::string from, std::string to) { redirects_.emplace_back(from, to); }
  std::optional<size_t> short_write;  // the next Write writes at most this many bytes
  bool hide_types = false;            // directory records say DT_UNKNOWN, as on some file systems
  std::optional<std::pair<std::uint64_t, std::uint64_t>> space;  // blocks available, block size
  int max_open_fds = 0;
  // As in a chroot or small container without /proc, for a user who may not link a
  // descriptor (AT_EMPTY_PATH) either.
  bool no_proc = false;
  std::optional<uid_t> uid;  // the user the calls run as
  std::map<Op, int> calls;   // how often each op was asked for, failed or not
  // Added to every device's major number, as when a disk is plugged in again.
  unsigned moved_devices = 0;

  int OpenAt(int dirfd, const char* path, int flags, mode_t mode) override {
    if (Failed((flags & O_TMPFILE) == O_TMPFILE ? Op::kTmpFile : Op::kOpenAt, path)) return -1;
    if (NoProc(path)) return -1;
    const int fd = SysWrapper::OpenAt(dirfd, Mapped(path).c_str(), flags, mode);
    if (fd < 0) return fd;
    const std::lock_guard lock(mutex_);
    max_open_fds = std::max(max_open_fds, ++open_);
    return fd;
  }
  int Close(int fd) override {
    const std::lock_guard lock(mutex_);
    --open_;
    return SysWrapper::Close(fd);
  }
  ssize_t Read(int fd, void* buf, size_t count) override {
    return Failed(Op::kRead) ? -1 : SysWrapper::Read(fd, buf, count);
  }
  ssize_t Write(int fd, const void* buf, size_t count) override {
    if (Failed(Op::kWrite)) return -1;
    if (short_write) count = std::min(count, *std::exchange(short_write, std::nullopt));
    return count == 0 ? 0 : SysWrapper::Write(fd, buf, count);
  }
  int Fsync(int fd) override { return Failed(Op::kFsync) ? -1 : SysWrapper::Fsync(fd); }
  ssize_t GetDents64(int fd, void* buf, size_t count) override {
    if (Failed(Op::kGetDents64)) return -1;
    const ssize_t n = SysWrapper::GetDents64(fd, buf, count);
    auto* bytes = static_cast<char*>(buf);
    for (ssize_t pos = 0; hide_types && pos < n;
         pos += *reinterpret_cast<uint16_t*>(bytes + pos + 16))
      bytes[pos + 18] = DT_UNKNOWN;  // d_reclen and d_type of a linux_dirent64
    return n;
  }
  int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                unsigned int flags) override {
    return Failed(Op::kRenameAt2, oldpath, newpath)
               ? -1
               : SysWrapper::RenameAt2(olddirfd, oldpath, newdirfd, newpath, flags);
  }
  int UnlinkAt(int dirfd, const char* path, int flags) override {
    return Failed(Op::kUnlinkAt, path) ? -1 : SysWrapper::UnlinkAt(dirfd, path, flags);
  }
  int LinkAt(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
             int flags) override {
    if (NoProc(oldpath) || (no_proc && (flags & AT_EMPTY_PATH) != 0)) return errno = ENOENT, -1;
    return Failed(Op::kLinkAt, newpath)
               ? -1
               : SysWrapper::LinkAt(olddirfd, oldpath, newdirfd, newpath, flags);
  }
  ssize_t CopyFileRange(int in, int out, size_t len) override {
    return Failed(Op::kCopyFileRange) ? -1 : SysWrapper::CopyFileRange(in, out, len);
  }
  int FSetXattr(int fd, const char* name, const void* value, size_t size, int flags) override {
    return Failed(Op::kSetXattr, name) ? -1 : SysWrapper::FSetXattr(fd, name, value, size, flags);
  }
  ssize_t ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) override {
    return NoProc(path) ? -1 : SysWrapper::ReadLinkAt(dirfd, path, buf, size);
  }
  int GetInodeFlags(int fd, int* flags) override {
    return Failed(Op::kInodeFlags) ? -1 : SysWrapper::GetInodeFlags(fd, flags);
  }
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override {
    if (NoProc(path)) return -1;
    const int rc = SysWrapper::FStatAt(dirfd, Mapped(path).c_str(), st, flags);
    st->st_dev += rc == 0 ? makedev(moved_devices, 0) : 0;
    return rc;
  }
  int StatX(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
    const int rc = SysWrapper::StatX(dirfd, path, flags, mask, out);
    out->stx_dev_major += rc == 0 ? moved_devices : 0;
    return rc;
  }
  uid_t GetUid() override { return uid.value_or(SysWrapper::GetUid()); }
  int FStatVfs(int fd, struct statvfs* st) override {
    return Space(SysWrapper::FStatVfs(fd, st), st);
  }
  int StatVfs(const char* path, struct statvfs* st) override {
    return Space(SysWrapper::StatVfs(path, st), st);
  }

 private:
  bool NoProc(const char* path) const {
    if (!no_proc || path == nullptr || std::strncmp(path, "/proc/", 6) != 0) return false;
    errno = ENOENT;
    return true;
  }
  struct Rule {
    Op op;
    int err, nth, seen;
    std::string part;
  };
  bool Failed(Op op, const char* path = nullptr, const char* other = nullptr) {
    const auto holds = [](const char* p, const std::string& part) {
      return p != nullptr && std::strstr(p, part.c_str()) != nullptr;
    };
    const std::lock_guard lock(mutex_);
    ++calls[op];
    for (Rule& r : rules_) {
      if (r.op != op || (!r.part.empty() && !holds(path, r.part) && !holds(other, r.part)))
        continue;
      if (++r.seen == r.nth || r.nth == 0) return errno = r.err, true;
    }
    return false;
  }
  std::string Mapped(const char* path) const {
    for (const auto& [from, to] : redirects_) {
      if (std::strncmp(path, from.c_str(), from.size()) == 0) return to + (path + from.size());
    }
    return path;
  }
  int Space(int rc, struct statvfs* st) const {
    if (rc == 0 && space) st->f_bavail = space->first, st->f_frsize = space->second;
    return rc;
  }

  std::vector<Rule> rules_;
  std::vector<std::pair<std::string, std::string>> redirects_;
  int open_ = 0;
  std::mutex mutex_;  // the walk lists folders on several threads
};

}  // namespace kestrel::test
