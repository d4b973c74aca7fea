#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fs/sys.h"

namespace kestrel::test {

enum class Op {
  kOpenAt,
  kClose,
  kRead,
  kWrite,
  kFsync,
  kFtruncate,
  kFStat,
  kFStatAt,
  kGetDents64,
  kRenameAt2,
  kUnlinkAt,
  kMkdirAt,
  kReadLinkAt,
  kSymlinkAt,
  kMknodAt,
  kFStatVfs,
  kStatVfs,
  kGetInodeFlags,
  kFChmod,
  kFUtimens,
  kFChown,
  kCopyFileRange,
  kLseek,
};

// The real calls, with chosen ones made to fail, cut short or pointed elsewhere.
class FaultSys : public Sys {
 public:
  explicit FaultSys(Sys& real = RealSys()) : real_(real) {}

  // The nth call of op from now on whose path holds part fails with err; nth 0 makes every
  // such call fail. Calls without a path match only an empty part.
  void Fail(Op op, int err, int nth = 1, std::string part = "");
  // The nth Write from now on writes at most limit bytes.
  void ShortWrite(int nth, size_t limit);
  // Paths that start with from are used with to in its place.
  void Redirect(std::string from, std::string to);
  // Directory records report DT_UNKNOWN, as some file systems do.
  bool hide_types = false;
  // Space queries report these blocks available, of this size.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> space;

  int Calls(Op op) const;
  int MaxOpenFds() const { return max_open_; }

  int OpenAt(int dirfd, const char* path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buf, size_t count) override;
  ssize_t Write(int fd, const void* buf, size_t count) override;
  int Fsync(int fd) override;
  int Ftruncate(int fd, off_t length) override;
  int FStat(int fd, struct stat* st) override;
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override;
  ssize_t GetDents64(int fd, void* buf, size_t count) override;
  int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                unsigned int flags) override;
  int UnlinkAt(int dirfd, const char* path, int flags) override;
  int MkdirAt(int dirfd, const char* path, mode_t mode) override;
  ssize_t ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) override;
  int SymlinkAt(const char* target, int newdirfd, const char* linkpath) override;
  int MknodAt(int dirfd, const char* path, mode_t mode, dev_t dev) override;
  int FStatVfs(int fd, struct statvfs* st) override;
  int StatVfs(const char* path, struct statvfs* st) override;
  int GetInodeFlags(int fd, int* flags) override;
  int FChmod(int fd, mode_t mode) override;
  int FUtimens(int fd, const struct timespec times[2]) override;
  int FChown(int fd, uid_t owner, gid_t group) override;
  ssize_t CopyFileRange(int fd_in, int fd_out, size_t len) override;
  off_t Lseek(int fd, off_t offset, int whence) override;

 private:
  struct Rule {
    Op op;
    int err;
    int nth;
    std::string part;
    int seen = 0;
  };
  // The errno the call must fail with, or 0; counts the call.
  int Check(Op op, const char* path = nullptr, const char* other_path = nullptr);
  std::string Mapped(const char* path) const;
  int Opened(int fd);

  Sys& real_;
  std::vector<Rule> rules_;
  std::map<Op, int> calls_;
  std::vector<std::pair<std::string, std::string>> redirects_;
  int short_write_nth_ = 0;
  size_t short_write_limit_ = 0;
  int open_ = 0;
  int max_open_ = 0;
};

}  // namespace kestrel::test
