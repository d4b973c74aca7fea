#pragma once

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fs/sys_wrapper.h"

namespace kestrel::test {

enum class Op { kOpenAt, kRead, kWrite, kFsync, kGetDents64, kRenameAt2, kUnlinkAt, kInodeFlags };

// The real calls, with chosen ones made to fail, cut short or pointed elsewhere.
class FaultSys : public SysWrapper {
 public:
  FaultSys() : SysWrapper(RealSys()) {}

  // The nth call of op from now on whose path holds part fails with err; nth 0 makes every
  // such call fail. Calls without a path match only an empty part.
  void Fail(Op op, int err, int nth = 1, std::string part = "") {
    rules_.push_back(Rule{op, err, nth, std::move(part), 0});
  }
  // The nth Write from now on writes at most limit bytes.
  void ShortWrite(int nth, size_t limit) { short_write_ = {calls_[Op::kWrite] + nth, limit}; }
  // Paths that start with from are used with to in its place.
  void Redirect(std::string from, std::string to) { redirects_.emplace_back(from, to); }
  // Directory records report DT_UNKNOWN, as some file systems do.
  bool hide_types = false;
  // Space queries report these blocks available, of this size.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> space;

  int Calls(Op op) { return calls_[op]; }
  int MaxOpenFds() const { return max_open_; }

#define KS_FAULT(op, path, other)               \
  if (const int err = Check(op, path, other)) { \
    errno = err;                                \
    return -1;                                  \
  }
  int OpenAt(int dirfd, const char* path, int flags, mode_t mode) override {
    KS_FAULT(Op::kOpenAt, path, nullptr);
    const int fd = SysWrapper::OpenAt(dirfd, Mapped(path).c_str(), flags, mode);
    if (fd >= 0) max_open_ = std::max(max_open_, ++open_);
    return fd;
  }
  int Close(int fd) override {
    return --open_, SysWrapper::Close(fd);
  }
  ssize_t Read(int fd, void* buf, size_t count) override {
    KS_FAULT(Op::kRead, nullptr, nullptr);
    return SysWrapper::Read(fd, buf, count);
  }
  ssize_t Write(int fd, const void* buf, size_t count) override {
    KS_FAULT(Op::kWrite, nullptr, nullptr);
    if (calls_[Op::kWrite] == short_write_.first) count = std::min(count, short_write_.second);
    return count == 0 ? 0 : SysWrapper::Write(fd, buf, count);
  }
  int Fsync(int fd) override {
    KS_FAULT(Op::kFsync, nullptr, nullptr);
    return SysWrapper::Fsync(fd);
  }
  ssize_t GetDents64(int fd, void* buf, size_t count) override {
    KS_FAULT(Op::kGetDents64, nullptr, nullptr);
    const ssize_t n = SysWrapper::GetDents64(fd, buf, count);
    auto* bytes = static_cast<char*>(buf);
    for (ssize_t pos = 0; hide_types && pos < n;
         pos += *reinterpret_cast<uint16_t*>(bytes + pos + 16))
      bytes[pos + 18] = DT_UNKNOWN;
    return n;
  }
  int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                unsigned int flags) override {
    KS_FAULT(Op::kRenameAt2, oldpath, newpath);
    return SysWrapper::RenameAt2(olddirfd, oldpath, newdirfd, newpath, flags);
  }
  int UnlinkAt(int dirfd, const char* path, int flags) override {
    KS_FAULT(Op::kUnlinkAt, path, nullptr);
    return SysWrapper::UnlinkAt(dirfd, path, flags);
  }
  int GetInodeFlags(int fd, int* flags) override {
    KS_FAULT(Op::kInodeFlags, nullptr, nullptr);
    return SysWrapper::GetInodeFlags(fd, flags);
  }
#undef KS_FAULT
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override {
    return SysWrapper::FStatAt(dirfd, Mapped(path).c_str(), st, flags);
  }
  int FStatVfs(int fd, struct statvfs* st) override {
    return Space(SysWrapper::FStatVfs(fd, st), st);
  }
  int StatVfs(const char* path, struct statvfs* st) override {
    return Space(SysWrapper::StatVfs(path, st), st);
  }

 private:
  struct Rule {
    Op op;
    int err, nth;
    std::string part;
    int seen;
  };
  // Counts the call; returns the errno it must fail with, or 0.
  int Check(Op op, const char* path, const char* other) {
    ++calls_[op];
    const auto holds = [](const char* p, const std::string& part) {
      return p != nullptr && std::strstr(p, part.c_str()) != nullptr;
    };
    for (Rule& r : rules_) {
      if (r.op != op || (!r.part.empty() && !holds(path, r.part) && !holds(other, r.part)))
        continue;
      if (++r.seen == r.nth || r.nth == 0) return r.err;
    }
    return 0;
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
  std::map<Op, int> calls_;
  std::vector<std::pair<std::string, std::string>> redirects_;
  std::pair<int, size_t> short_write_{0, 0};
  int open_ = 0, max_open_ = 0;
};

}  // namespace kestrel::test
