#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// Counts the calls through the seam and ends the process just before call number crash_at
// (never when it is 0), as a power cut would, after LevelDB's fault-injection environment:
// first it drops what was never made durable. A written file keeps the size it had at its last
// fsync (or when it was opened, if it was there already); a name given in a folder (a new
// file, folder or link, the target of a rename) goes, and a rename goes back, unless that
// folder was synced since. A removal stays done: undoing it could only bring back a file.
class CrashSys : public SysWrapper {
 public:
  // The descriptors it keeps end with the child process it lives in.
  CrashSys(Sys& target, long crash_at) : SysWrapper(target), crash_at_(crash_at) {}

  int OpenAt(int d, const char* p, int f, mode_t m) override {
    Tick();
    const bool anonymous = (f & O_TMPFILE) == O_TMPFILE;
    struct stat st;
    const bool made = !anonymous && (f & O_CREAT) && fstatat(d, p, &st, AT_SYMLINK_NOFOLLOW) != 0;
    Name name = made ? Place(d, p) : Name{};
    const int fd = SysWrapper::OpenAt(d, p, f, m);
    if (fd < 0) return fd;
    if (made) names_.push_back(std::move(name));
    if ((f & O_ACCMODE) != O_RDONLY && fstat(fd, &st) == 0 && !files_.count(KeyOf(st))) {
      // A descriptor of the harness's own, so that no lock the program takes outlives its close.
      const int own = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_CLOEXEC);
      if (own >= 0) files_[KeyOf(st)] = {own, made || anonymous ? 0 : st.st_size};
    }
    return fd;
  }
  int Fsync(int fd) override { return Tick(), Synced(fd, false, SysWrapper::Fsync(fd)); }
  int SyncFs(int fd) override { return Tick(), Synced(fd, true, SysWrapper::SyncFs(fd)); }
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned f) override {
    Tick();
    Name name = Place(nd, np);
    name.from = Place(od, op).at;
    if (!(f & RENAME_NOREPLACE)) {  // the replaced file comes back with the rename undone
      std::ifstream in(name.at, std::ios::binary);
      if (in) name.replaced = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return Giving(std::move(name), SysWrapper::RenameAt2(od, op, nd, np, f));
  }
  // Calls that give the name p in the folder d.
#define KESTREL_NAMING(F, P, A)                          \
  int F P override {                                     \
    return Tick(), Giving(Place(d, p), SysWrapper::F A); \
  }
  KESTREL_NAMING(MkdirAt, (int d, const char* p, mode_t m), (d, p, m))
  KESTREL_NAMING(SymlinkAt, (const char* t, int d, const char* p), (t, d, p))
  KESTREL_NAMING(MknodAt, (int d, const char* p, mode_t m, dev_t v), (d, p, m, v))
  KESTREL_NAMING(LinkAt, (int od, const char* op, int d, const char* p, int f), (od, op, d, p, f))
#undef KESTREL_NAMING

  KESTREL_TICKED(int, Close, (int fd), (fd))
  KESTREL_TICKED(ssize_t, Read, (int fd, void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(ssize_t, Write, (int fd, const void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(int, Ftruncate, (int fd, off_t n), (fd, n))
  KESTREL_TICKED(int, FStat, (int fd, struct stat* st), (fd, st))
  KESTREL_TICKED(int, FStatAt, (int d, const char* p, struct stat* st, int f), (d, p, st, f))
  KESTREL_TICKED(ssize_t, GetDents64, (int fd, void* b, size_t n), (fd, b, n))
  KESTREL_TICKED(int, UnlinkAt, (int d, const char* p, int f), (d, p, f))
  KESTREL_TICKED(ssize_t, ReadLinkAt, (int d, const char* p, char* b, size_t n), (d, p, b, n))
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
  KESTREL_TICKED(int, Flock, (int fd, int op), (fd, op))
  KESTREL_TICKED(ssize_t, FListXattr, (int fd, char* l, size_t n), (fd, l, n))
  KESTREL_TICKED(ssize_t, FGetXattr, (int fd, const char* k, void* v, size_t n), (fd, k, v, n))
  KESTREL_TICKED(int, FSetXattr, (int fd, const char* k, const void* v, size_t n, int f),
                 (fd, k, v, n, f))
  KESTREL_TICKED(int, UtimensAt, (int d, const char* p, const struct timespec t[2], int f),
                 (d, p, t, f))
  KESTREL_TICKED(int, FChownAt, (int d, const char* p, uid_t u, gid_t g, int f), (d, p, u, g, f))
  KESTREL_TICKED(int, Clone, (int dst, int src), (dst, src))

 private:
  using Key = std::pair<dev_t, ino_t>;
  static Key KeyOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
  }
  struct File {
    int fd;  // the harness's own, writable
    off_t synced;
  };
  // A name given in folder, reached through the harness's own descriptor of it so that
  // renames of the folders above never lose it; from is where a rename took it from.
  struct Name {
    Key folder{};
    std::string at, from;
    std::optional<std::string> replaced;
  };

  // Where path (as dirfd and path of a call) is: its folder opened as the call would reach it.
  Name Place(int d, const char* p) {
    std::string path = p, parent = ".";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (const size_t slash = path.rfind('/'); slash != std::string::npos)
      parent = slash == 0 ? "/" : path.substr(0, slash), path.erase(0, slash + 1);
    const int fd = openat(d, parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return close(fd), Name{};
    const auto [it, added] = folders_.try_emplace(KeyOf(st), fd);
    if (!added) close(fd);
    return Name{KeyOf(st), "/proc/self/fd/" + std::to_string(it->second) + "/" + path, "", {}};
  }
  // What an fsync of fd (whole_fs: a syncfs) made durable.
  int Synced(int fd, bool whole_fs, int done) {
    struct stat st, now;
    if (done != 0 || fstat(fd, &st) != 0) return done;
    const auto hit = [&](Key k) { return whole_fs ? k.first == st.st_dev : k == KeyOf(st); };
    std::erase_if(names_, [&](const Name& n) { return hit(n.folder); });
    for (auto& [key, file] : files_)
      if (hit(key) && fstat(file.fd, &now) == 0) file.synced = now.st_size;
    return done;
  }
  int Giving(Name name, int done) {
    if (done == 0) names_.push_back(std::move(name));
    return done;
  }

  void Tick() {
    if (++calls_ != crash_at_) return;
    for (const auto& [key, file] : files_) {
      struct stat st;
      if (fstat(file.fd, &st) == 0 && st.st_size > file.synced && ftruncate(file.fd, file.synced))
        std::perror("ftruncate");
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto n = names_.rbegin(); n != names_.rend(); ++n) {
      if (n->from.empty()) {
        fs::remove_all(n->at, ec);
      } else if (!fs::exists(fs::symlink_status(n->from, ec)) &&
                 rename(n->at.c_str(), n->from.c_str()) == 0 && n->replaced) {
        std::ofstream(n->at, std::ios::binary) << *n->replaced;
      }
    }
    _exit(kCrashed);
  }
  long calls_ = 0;
  long crash_at_;
  std::map<Key, File> files_;
  std::map<Key, int> folders_;  // the harness's own descriptors of the folders in names_
  std::vector<Name> names_;     // in the order given
};
#undef KESTREL_TICKED

// Makes every move between two folders look like one between file systems, for machines that
// offer no second one: a rename between two open folders fails with EXDEV, and the folder apart
// says it is a mount of its own, as such a rename implies.
class ExdevSys : public SysWrapper {
 public:
  ExdevSys(Sys& target, std::string apart) : SysWrapper(target), apart_(std::move(apart)) {}
  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    return od != nd ? (errno = EXDEV, -1) : SysWrapper::RenameAt2(od, op, nd, np, f);
  }
  int StatX(int d, const char* p, int f, unsigned m, struct statx* o) override {
    const int rc = SysWrapper::StatX(d, p, f, m, o);
    std::error_code ec;
    if (rc == 0 && *p == '\0' &&
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(d), ec) == apart_)
      o->stx_mnt_id += 1000;
    return rc;
  }

 private:
  std::string apart_;
};

// Leaves durability to CrashSys's model: on the real disk an fsync here only costs time. A
// descriptor that cannot sync (O_PATH) still fails as it would.
class NoSyncSys : public SysWrapper {
 public:
  using SysWrapper::SysWrapper;
  int Fsync(int fd) override { return fcntl(fd, F_GETFL) & O_PATH ? (errno = EBADF, -1) : 0; }
  int SyncFs(int) override { return 0; }
};

}  // namespace kestrel::crash
