#pragma once

#include "fs/sys.h"

namespace kestrel::test {

// Passes every call to the real system; tests override the calls they want to change.
class ForwardingSys : public Sys {
 public:
  int OpenAt(int d, const char* p, int f, mode_t m) override { return r_.OpenAt(d, p, f, m); }
  int Close(int fd) override { return r_.Close(fd); }
  ssize_t Read(int fd, void* b, size_t n) override { return r_.Read(fd, b, n); }
  ssize_t Write(int fd, const void* b, size_t n) override { return r_.Write(fd, b, n); }
  int Fsync(int fd) override { return r_.Fsync(fd); }
  int Ftruncate(int fd, off_t l) override { return r_.Ftruncate(fd, l); }
  int FStat(int fd, struct stat* st) override { return r_.FStat(fd, st); }
  int FStatAt(int d, const char* p, struct stat* st, int f) override {
    return r_.FStatAt(d, p, st, f);
  }
  ssize_t GetDents64(int fd, void* b, size_t n) override { return r_.GetDents64(fd, b, n); }
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    return r_.RenameAt2(od, op, nd, np, f);
  }
  int UnlinkAt(int d, const char* p, int f) override { return r_.UnlinkAt(d, p, f); }
  int MkdirAt(int d, const char* p, mode_t m) override { return r_.MkdirAt(d, p, m); }
  ssize_t ReadLinkAt(int d, const char* p, char* b, size_t n) override {
    return r_.ReadLinkAt(d, p, b, n);
  }
  int SymlinkAt(const char* t, int d, const char* p) override { return r_.SymlinkAt(t, d, p); }
  int MknodAt(int d, const char* p, mode_t m, dev_t dev) override {
    return r_.MknodAt(d, p, m, dev);
  }
  int FStatVfs(int fd, struct statvfs* st) override { return r_.FStatVfs(fd, st); }
  int StatVfs(const char* p, struct statvfs* st) override { return r_.StatVfs(p, st); }
  int GetInodeFlags(int fd, int* f) override { return r_.GetInodeFlags(fd, f); }
  int FChmod(int fd, mode_t m) override { return r_.FChmod(fd, m); }
  int FUtimens(int fd, const struct timespec t[2]) override { return r_.FUtimens(fd, t); }
  int FChown(int fd, uid_t o, gid_t g) override { return r_.FChown(fd, o, g); }
  ssize_t CopyFileRange(int i, int o, size_t n) override { return r_.CopyFileRange(i, o, n); }

 private:
  Sys& r_ = RealSys();
};

}  // namespace kestrel::test
