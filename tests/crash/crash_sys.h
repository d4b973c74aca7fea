#pragma once

#include <unistd.h>

#include <cerrno>

#include "fs/sys_wrapper.h"

namespace kestrel::crash {

// The exit status of a child that was cut off.
constexpr int kCrashed = 86;

// Every call of Sys that touches the disk must be counted: one left out is a step the harness
// never cuts.
#define KESTREL_TICKED(R, F, P, A)  \
  R F P override {                  \
    return Tick(), SysWrapper::F A; \
  }

// Counts the calls through the seam and ends the process, as a power cut or kill -9 would,
// just before call number crash_at (never when it is 0).
class CrashSys : public SysWrapper {
 public:
  CrashSys(Sys& target, long crash_at) : SysWrapper(target), crash_at_(crash_at) {}

  KESTREL_TICKED(int, OpenAt, (int d, const char* p, int f, mode_t m), (d, p, f, m))
  KESTREL_TICKED(int, Close, (int fd), (fd))
  KESTREL_TICKED(ssize_t, Read, (int fd, void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(ssize_t, Write, (int fd, const void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(int, Fsync, (int fd), (fd))
  KESTREL_TICKED(int, Ftruncate, (int fd, off_t n), (fd, n))
  KESTREL_TICKED(int, FStat, (int fd, struct stat* st), (fd, st))
  KESTREL_TICKED(int, FStatAt, (int d, const char* p, struct stat* st, int f), (d, p, st, f))
  KESTREL_TICKED(ssize_t, GetDents64, (int fd, void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(int, RenameAt2, (int od, const char* op, int nd, const char* np, unsigned f),
                 (od, op, nd, np, f))
  KESTREL_TICKED(int, UnlinkAt, (int d, const char* p, int f), (d, p, f))
  KESTREL_TICKED(int, MkdirAt, (int d, const char* p, mode_t m), (d, p, m))
  KESTREL_TICKED(ssize_t, ReadLinkAt, (int d, const char* p, char* b, size_t n), (d, p, b, n))
  KESTREL_TICKED(int, SymlinkAt, (const char* t, int d, const char* p), (t, d, p))
  KESTREL_TICKED(int, MknodAt, (int d, const char* p, mode_t m, dev_t dev), (d, p, m, dev))
  KESTREL_TICKED(int, FStatVfs, (int fd, struct statvfs* st), (fd, st))
  KESTREL_TICKED(int, StatVfs, (const char* p, struct statvfs* st), (p, st))
  KESTREL_TICKED(int, GetInodeFlags, (int fd, int* f), (fd, f))
  KESTREL_TICKED(int, FChmod, (int fd, mode_t m), (fd, m))
  KESTREL_TICKED(int, FUtimens, (int fd, const struct timespec t[2]), (fd, t))
  KESTREL_TICKED(int, FChown, (int fd, uid_t u, gid_t g), (fd, u, g))
  KESTREL_TICKED(ssize_t, CopyFileRange, (int in, int out, size_t n), (in, out, n))
  KESTREL_TICKED(off_t, Lseek, (int fd, off_t o, int w), (fd, o, w))
  KESTREL_TICKED(int, StatX, (int d, const char* p, int f, unsigned m, struct statx* o),
                 (d, p, f, m, o))
  KESTREL_TICKED(int, LinkAt, (int od, const char* op, int nd, const char* np, int f),
                 (od, op, nd, np, f))
  KESTREL_TICKED(int, Flock, (int fd, int op), (fd, op))
  KESTREL_TICKED(ssize_t, FListXattr, (int fd, char* l, size_t n), (fd, l, n))
  KESTREL_TICKED(ssize_t, FGetXattr, (int fd, const char* k, void* v, size_t n), (fd, k, v, n))
  KESTREL_TICKED(int, FSetXattr, (int fd, const char* k, const void* v, size_t n, int f),
                 (fd, k, v, n, f))
  KESTREL_TICKED(int, UtimensAt, (int d, const char* p, const struct timespec t[2], int f),
                 (d, p, t, f))
  KESTREL_TICKED(int, FChownAt, (int d, const char* p, uid_t u, gid_t g, int f), (d, p, u, g, f))
  KESTREL_TICKED(int, Clone, (int dst, int src), (dst, src))
  KESTREL_TICKED(int, SyncFs, (int fd), (fd))

 private:
  void Tick() {
    if (++calls_ == crash_at_) _exit(kCrashed);
  }
  long calls_ = 0;
  long crash_at_;
};
#undef KESTREL_TICKED

// Makes every move between two folders look like one between file systems, for machines that
// offer no second one: a rename between two open folders fails with EXDEV.
class ExdevSys : public SysWrapper {
 public:
  using SysWrapper::SysWrapper;
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    return od != nd ? (errno = EXDEV, -1) : SysWrapper::RenameAt2(od, op, nd, np, f);
  }
};

}  // namespace kestrel::crash
