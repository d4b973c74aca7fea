#pragma once

#include "fs/sys.h"

namespace kestrel {

// A Sys that hands every call on to another, so that a double overrides only the calls it
// changes.
class SysWrapper : public Sys {
 public:
  explicit SysWrapper(Sys& target) : target_(target) {}

  int OpenAt(int dirfd, const char* path, int flags, mode_t mode) override {
    return target_.OpenAt(dirfd, path, flags, mode);
  }
  int Close(int fd) override { return target_.Close(fd); }
  ssize_t Read(int fd, void* buf, size_t count) override { return target_.Read(fd, buf, count); }
  ssize_t Write(int fd, const void* buf, size_t count) override {
    return target_.Write(fd, buf, count);
  }
  int Fsync(int fd) override { return target_.Fsync(fd); }
  int Ftruncate(int fd, off_t length) override { return target_.Ftruncate(fd, length); }
  int FStat(int fd, struct stat* st) override { return target_.FStat(fd, st); }
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override {
    return target_.FStatAt(dirfd, path, st, flags);
  }
  ssize_t GetDents64(int fd, void* buf, size_t count) override {
    return target_.GetDents64(fd, buf, count);
  }
  int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                unsigned int flags) override {
    return target_.RenameAt2(olddirfd, oldpath, newdirfd, newpath, flags);
  }
  int UnlinkAt(int dirfd, const char* path, int flags) override {
    return target_.UnlinkAt(dirfd, path, flags);
  }
  int MkdirAt(int dirfd, const char* path, mode_t mode) override {
    return target_.MkdirAt(dirfd, path, mode);
  }
  ssize_t ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) override {
    return target_.ReadLinkAt(dirfd, path, buf, size);
  }
  int SymlinkAt(const char* target, int newdirfd, const char* linkpath) override {
    return target_.SymlinkAt(target, newdirfd, linkpath);
  }
  int MknodAt(int dirfd, const char* path, mode_t mode, dev_t dev) override {
    return target_.MknodAt(dirfd, path, mode, dev);
  }
  int FStatVfs(int fd, struct statvfs* st) override { return target_.FStatVfs(fd, st); }
  int StatVfs(const char* path, struct statvfs* st) override { return target_.StatVfs(path, st); }
  int GetInodeFlags(int fd, int* flags) override { return target_.GetInodeFlags(fd, flags); }
  int FChmod(int fd, mode_t mode) override { return target_.FChmod(fd, mode); }
  int FUtimens(int fd, const struct timespec times[2]) override {
    return target_.FUtimens(fd, times);
  }
  int FChown(int fd, uid_t owner, gid_t group) override { return target_.FChown(fd, owner, group); }
  ssize_t CopyFileRange(int fd_in, int fd_out, size_t len) override {
    return target_.CopyFileRange(fd_in, fd_out, len);
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    return target_.Lseek(fd, offset, whence);
  }
  uid_t GetUid() override { return target_.GetUid(); }
  int StatX(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) override {
    return target_.StatX(dirfd, path, flags, mask, out);
  }
  int LinkAt(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
             int flags) override {
    return target_.LinkAt(olddirfd, oldpath, newdirfd, newpath, flags);
  }
  int Flock(int fd, int operation) override { return target_.Flock(fd, operation); }
  ssize_t FListXattr(int fd, char* list, size_t size) override {
    return target_.FListXattr(fd, list, size);
  }
  ssize_t FGetXattr(int fd, const char* name, void* value, size_t size) override {
    return target_.FGetXattr(fd, name, value, size);
  }
  int FSetXattr(int fd, const char* name, const void* value, size_t size, int flags) override {
    return target_.FSetXattr(fd, name, value, size, flags);
  }
  int UtimensAt(int dirfd, const char* path, const struct timespec times[2], int flags) override {
    return target_.UtimensAt(dirfd, path, times, flags);
  }
  int FChownAt(int dirfd, const char* path, uid_t owner, gid_t group, int flags) override {
    return target_.FChownAt(dirfd, path, owner, group, flags);
  }
  int Clone(int dst_fd, int src_fd) override { return target_.Clone(dst_fd, src_fd); }
  char* GetCwd(char* buf, size_t size) override { return target_.GetCwd(buf, size); }
  int SyncFs(int fd) override { return target_.SyncFs(fd); }
  int FStatFs(int fd, struct statfs* st) override { return target_.FStatFs(fd, st); }

 private:
  Sys& target_;
};

}  // namespace kestrel
