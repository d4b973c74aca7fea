#pragma once

#include <unistd.h>

#include <cerrno>

#include "fs/sys_wrapper.h"

namespace kestrel::crash {

// The exit status of a child that was cut off.
constexpr int kCrashed = 86;

// Counts the calls through the seam and ends the process, as a power cut or kill -9 would,
// just before call number crash_at (never when it is 0). Every call of Sys must be counted
// here: one left out is a step the harness never cuts.
class CrashSys : public SysWrapper {
 public:
  CrashSys(Sys& target, long crash_at) : SysWrapper(target), crash_at_(crash_at) {}
  long Calls() const { return calls_; }

  int OpenAt(int d, const char* p, int f, mode_t m) override {
    return Tick(), SysWrapper::OpenAt(d, p, f, m);
  }
  int Close(int fd) override { return Tick(), SysWrapper::Close(fd); }
  ssize_t Read(int fd, void* b, size_t n) override { return Tick(), SysWrapper::Read(fd, b, n); }
  ssize_t Write(int fd, const void* b, size_t n) override {
    return Tick(), SysWrapper::Write(fd, b, n);
  }
  int Fsync(int fd) override { return Tick(), SysWrapper::Fsync(fd); }
  int Ftruncate(int fd, off_t n) override { return Tick(), SysWrapper::Ftruncate(fd, n); }
  int FStat(int fd, struct stat* st) override { return Tick(), SysWrapper::FStat(fd, st); }
  int FStatAt(int d, const char* p, struct stat* st, int f) override {
    return Tick(), SysWrapper::FStatAt(d, p, st, f);
  }
  ssize_t GetDents64(int fd, void* b, size_t n) override {
    return Tick(), SysWrapper::GetDents64(fd, b, n);
  }
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    return Tick(), SysWrapper::RenameAt2(od, op, nd, np, f);
  }
  int UnlinkAt(int d, const char* p, int f) override {
    return Tick(), SysWrapper::UnlinkAt(d, p, f);
  }
  int MkdirAt(int d, const char* p, mode_t m) override {
    return Tick(), SysWrapper::MkdirAt(d, p, m);
  }
  ssize_t ReadLinkAt(int d, const char* p, char* b, size_t n) override {
    return Tick(), SysWrapper::ReadLinkAt(d, p, b, n);
  }
  int SymlinkAt(const char* t, int d, const char* p) override {
    return Tick(), SysWrapper::SymlinkAt(t, d, p);
  }
  int MknodAt(int d, const char* p, mode_t m, dev_t dev) override {
    return Tick(), SysWrapper::MknodAt(d, p, m, dev);
  }
  int FStatVfs(int fd, struct statvfs* st) override { return Tick(), SysWrapper::FStatVfs(fd, st); }
  int StatVfs(const char* p, struct statvfs* st) override {
    return Tick(), SysWrapper::StatVfs(p, st);
  }
  int GetInodeFlags(int fd, int* f) override { return Tick(), SysWrapper::GetInodeFlags(fd, f); }
  int FChmod(int fd, mode_t m) override { return Tick(), SysWrapper::FChmod(fd, m); }
  int FUtimens(int fd, const struct timespec t[2]) override {
    return Tick(), SysWrapper::FUtimens(fd, t);
  }
  int FChown(int fd, uid_t u, gid_t g) override { return Tick(), SysWrapper::FChown(fd, u, g); }
  ssize_t CopyFileRange(int in, int out, size_t n) override {
    return Tick(), SysWrapper::CopyFileRange(in, out, n);
  }
  off_t Lseek(int fd, off_t o, int w) override { return Tick(), SysWrapper::Lseek(fd, o, w); }
  int StatX(int d, const char* p, int f, unsigned int m, struct statx* out) override {
    return Tick(), SysWrapper::StatX(d, p, f, m, out);
  }
  int LinkAt(int od, const char* op, int nd, const char* np, int f) override {
    return Tick(), SysWrapper::LinkAt(od, op, nd, np, f);
  }
  int Flock(int fd, int op) override { return Tick(), SysWrapper::Flock(fd, op); }
  ssize_t FListXattr(int fd, char* l, size_t n) override {
    return Tick(), SysWrapper::FListXattr(fd, l, n);
  }
  ssize_t FGetXattr(int fd, const char* k, void* v, size_t n) override {
    return Tick(), SysWrapper::FGetXattr(fd, k, v, n);
  }
  int FSetXattr(int fd, const char* k, const void* v, size_t n, int f) override {
    return Tick(), SysWrapper::FSetXattr(fd, k, v, n, f);
  }
  int UtimensAt(int d, const char* p, const struct timespec t[2], int f) override {
    return Tick(), SysWrapper::UtimensAt(d, p, t, f);
  }
  int FChownAt(int d, const char* p, uid_t u, gid_t g, int f) override {
    return Tick(), SysWrapper::FChownAt(d, p, u, g, f);
  }
  int Clone(int dst, int src) override { return Tick(), SysWrapper::Clone(dst, src); }

 private:
  void Tick() {
    if (++calls_ == crash_at_) _exit(kCrashed);
  }
  long calls_ = 0;
  long crash_at_;
};

// Makes every move between two folders look like one between file systems, for machines that
// offer no second one: a rename between two open folders fails with EXDEV.
class ExdevSys : public SysWrapper {
 public:
  using SysWrapper::SysWrapper;
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    if (od != nd) return errno = EXDEV, -1;
    return SysWrapper::RenameAt2(od, op, nd, np, f);
  }
};

}  // namespace kestrel::crash
