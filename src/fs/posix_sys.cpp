#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "fs/sys.h"

namespace kestrel {
namespace {

class PosixSys final : public Sys {
 public:
  int OpenAt(int dirfd, const char* path, int flags, mode_t mode) override {
    int fd;
    do fd = ::openat(dirfd, path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
  }
  int Close(int fd) override { return ::close(fd); }
  ssize_t Read(int fd, void* buf, size_t count) override {
    ssize_t n;
    do n = ::read(fd, buf, count);
    while (n < 0 && errno == EINTR);
    return n;
  }
  ssize_t Write(int fd, const void* buf, size_t count) override {
    ssize_t n;
    do n = ::write(fd, buf, count);
    while (n < 0 && errno == EINTR);
    return n;
  }
  int Fsync(int fd) override { return ::fsync(fd); }
  int Ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
  int FStat(int fd, struct stat* st) override { return ::fstat(fd, st); }
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override {
    return ::fstatat(dirfd, path, st, flags);
  }
  ssize_t GetDents64(int fd, void* buf, size_t count) override {
    return ::syscall(SYS_getdents64, fd, buf, count);
  }
  int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                unsigned int flags) override {
    return static_cast<int>(::syscall(SYS_renameat2, olddirfd, oldpath, newdirfd, newpath, flags));
  }
  int UnlinkAt(int dirfd, const char* path, int flags) override {
    return ::unlinkat(dirfd, path, flags);
  }
  int MkdirAt(int dirfd, const char* path, mode_t mode) override {
    return ::mkdirat(dirfd, path, mode);
  }
  ssize_t ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) override {
    return ::readlinkat(dirfd, path, buf, size);
  }
  int SymlinkAt(const char* target, int newdirfd, const char* linkpath) override {
    return ::symlinkat(target, newdirfd, linkpath);
  }
  int MknodAt(int dirfd, const char* path, mode_t mode, dev_t dev) override {
    return ::mknodat(dirfd, path, mode, dev);
  }
  int FStatVfs(int fd, struct statvfs* st) override { return ::fstatvfs(fd, st); }
  int StatVfs(const char* path, struct statvfs* st) override { return ::statvfs(path, st); }
  int GetInodeFlags(int fd, int* flags) override { return ::ioctl(fd, FS_IOC_GETFLAGS, flags); }
  int FChmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
  int FUtimens(int fd, const struct timespec times[2]) override { return ::futimens(fd, times); }
  int FChown(int fd, uid_t owner, gid_t group) override { return ::fchown(fd, owner, group); }
  ssize_t CopyFileRange(int fd_in, int fd_out, size_t len) override {
    return ::copy_file_range(fd_in, nullptr, fd_out, nullptr, len, 0);
  }
};

}  // namespace

off_t Sys::Lseek(int fd, off_t offset, int whence) {
  return ::lseek(fd, offset, whence);
}
uid_t Sys::GetUid() {
  return ::getuid();
}
int Sys::StatX(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) {
  return ::statx(dirfd, path, flags, mask, out);
}

int Sys::LinkAt(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
  return ::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}
ssize_t Sys::FListXattr(int fd, char* list, size_t size) {
  return ::flistxattr(fd, list, size);
}
ssize_t Sys::FGetXattr(int fd, const char* name, void* value, size_t size) {
  return ::fgetxattr(fd, name, value, size);
}
int Sys::FSetXattr(int fd, const char* name, const void* value, size_t size, int flags) {
  return ::fsetxattr(fd, name, value, size, flags);
}
int Sys::UtimensAt(int dirfd, const char* path, const struct timespec times[2], int flags) {
  return ::utimensat(dirfd, path, times, flags);
}
int Sys::FChownAt(int dirfd, const char* path, uid_t owner, gid_t group, int flags) {
  return ::fchownat(dirfd, path, owner, group, flags);
}
int Sys::Clone(int dst_fd, int src_fd) {
  return ::ioctl(dst_fd, FICLONE, src_fd);
}
int Sys::Flock(int fd, int operation) {
  int result;
  do result = ::flock(fd, operation);
  while (result < 0 && errno == EINTR);
  return result;
}

char* Sys::GetCwd(char* buf, size_t size) {
  return ::getcwd(buf, size);
}
int Sys::SyncFs(int fd) {
  return ::syncfs(fd);
}
int Sys::FStatFs(int fd, struct statfs* st) {
  return ::fstatfs(fd, st);
}

Sys& RealSys() {
  static PosixSys sys;
  return sys;
}

}  // namespace kestrel
