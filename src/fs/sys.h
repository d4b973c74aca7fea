#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>

namespace kestrel {

// The seam under every file-system call Kestrel makes. Each operation behaves like the POSIX
// call it names: -1 (or nullptr) with errno set on failure. Tests wrap it to inject faults.
class Sys {
 public:
  virtual ~Sys() = default;

  virtual int OpenAt(int dirfd, const char* path, int flags, mode_t mode) = 0;
  virtual int Close(int fd) = 0;
  virtual ssize_t Read(int fd, void* buf, size_t count) = 0;
  virtual ssize_t Write(int fd, const void* buf, size_t count) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int Ftruncate(int fd, off_t length) = 0;
  virtual int FStat(int fd, struct stat* st) = 0;
  virtual int FStatAt(int dirfd, const char* path, struct stat* st, int flags) = 0;
  // Reads raw linux_dirent64 records, as getdents64(2).
  virtual ssize_t GetDents64(int fd, void* buf, size_t count) = 0;
  virtual int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                        unsigned int flags) = 0;
  virtual int UnlinkAt(int dirfd, const char* path, int flags) = 0;
  virtual int MkdirAt(int dirfd, const char* path, mode_t mode) = 0;
  virtual ssize_t ReadLinkAt(int dirfd, const char* path, char* buf, size_t size) = 0;
  virtual int SymlinkAt(const char* target, int newdirfd, const char* linkpath) = 0;
  virtual int MknodAt(int dirfd, const char* path, mode_t mode, dev_t dev) = 0;
  virtual int FStatVfs(int fd, struct statvfs* st) = 0;
  virtual int StatVfs(const char* path, struct statvfs* st) = 0;
  // ioctl(FS_IOC_GETFLAGS) on an open file: the inode flags (immutable, append-only).
  virtual int GetInodeFlags(int fd, int* flags) = 0;
  virtual int FChmod(int fd, mode_t mode) = 0;
  virtual int FUtimens(int fd, const struct timespec times[2]) = 0;
  virtual int FChown(int fd, uid_t owner, gid_t group) = 0;
  virtual ssize_t CopyFileRange(int fd_in, int fd_out, size_t len) = 0;
  // Not pure, so that doubles written before they existed still build; the defaults are the
  // real calls.
  virtual off_t Lseek(int fd, off_t offset, int whence);
  virtual uid_t GetUid();
  // statx(2): one call for size, times, mode, device and the immutable/append attributes.
  virtual int StatX(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out);
  virtual int LinkAt(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                     int flags);
  // flock(2), for the run lock and Kestrel's temporaries.
  virtual int Flock(int fd, int operation);
  // flistxattr(2), fgetxattr(2), fsetxattr(2): extended attributes, ACLs among them.
  virtual ssize_t FListXattr(int fd, char* list, size_t size);
  virtual ssize_t FGetXattr(int fd, const char* name, void* value, size_t size);
  virtual int FSetXattr(int fd, const char* name, const void* value, size_t size, int flags);
  // utimensat(2) and fchownat(2), for a link's own times and owner (AT_SYMLINK_NOFOLLOW).
  virtual int UtimensAt(int dirfd, const char* path, const struct timespec times[2], int flags);
  virtual int FChownAt(int dirfd, const char* path, uid_t owner, gid_t group, int flags);
  // ioctl(FICLONE): dst shares the blocks of src; fails where the file systems cannot.
  virtual int Clone(int dst_fd, int src_fd);
  // getcwd(3): the working folder where /proc cannot tell it.
  virtual char* GetCwd(char* buf, size_t size);
  // syncfs(2): everything written to the file system that holds fd reaches the disk, in one
  // call instead of one fsync per file.
  virtual int SyncFs(int fd);
  // fstatfs(2): the kind of file system that holds fd.
  virtual int FStatFs(int fd, struct statfs* st);
};

// The real system calls.
Sys& RealSys();

}  // namespace kestrel
