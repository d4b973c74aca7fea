#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace kestrel::test {

// A fresh folder on another file system than $TMPDIR (or /tmp), for moves across devices,
// removed at the end. kAny: a tmpfs of this process's own mount namespace, where the process
// may mount one; else a folder in /dev/shm when that is another file system. kUserAttributes:
// that tmpfs when it takes user attributes, else a disk. kDisk: an ext4 image on a loop device,
// which Remount() plugs in again. Where there is none, Path() is "" and Why() says why.
// KESTREL_TEST_SECOND_FS=disk passes over the tmpfs, =none over every file system.
// Make it before any thread starts: a process with threads cannot take a namespace of its own.
class SecondFileSystem {
 public:
  enum Kind { kAny, kUserAttributes, kDisk };
  explicit SecondFileSystem(Kind kind = kAny) {
    const char *tmp = std::getenv("TMPDIR"), *only = std::getenv("KESTREL_TEST_SECOND_FS");
    const std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const std::string forced = only != nullptr ? only : "";
    std::string mine = base + "/kestrel-other-XXXXXX";
    if (forced == "none" || mkdtemp(mine.data()) == nullptr) {
      why_ = forced == "none" ? "KESTREL_TEST_SECOND_FS=none" : "mkdtemp in " + base + " failed";
      return;
    }
    dir_ = mine;
    mounted_ = kind != kDisk && forced != "disk" && OwnNamespace() &&
               mount("kestrel-other", dir_.c_str(), "tmpfs", 0, "size=64m") == 0;
    if (mounted_ && (kind == kAny || setxattr(dir_.c_str(), "user.probe", "1", 1, 0) == 0)) {
      path_ = dir_;
      return;
    }
    mounted_ = mounted_ && umount2(dir_.c_str(), 0) != 0;  // no user attributes: a disk instead
    if (kind != kAny && (why_ = Remount(true)).empty()) path_ = dir_;
    struct stat a = {}, b = {};
    std::string shm = "/dev/shm/kestrel-other-XXXXXX";
    if (kind == kAny && stat(base.c_str(), &a) == 0 && stat("/dev/shm", &b) == 0 &&
        a.st_dev != b.st_dev && mkdtemp(shm.data()) != nullptr)
      path_ = shm;
  }
  ~SecondFileSystem() {
    std::error_code ec;
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    for (const std::string& folder : {path_, dir_})
      if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
  SecondFileSystem(const SecondFileSystem&) = delete;
  SecondFileSystem& operator=(const SecondFileSystem&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Why() const { return why_; }
  // Returns true iff Path() is the top of a file system of its own.
  bool Mounted() const { return mounted_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // The disk unplugged and plugged in again: mounted from another loop device (the old one is
  // held until then), or with another_disk a new image. The images lie in the folder the disk
  // is mounted on. Returns "", or why it cannot.
  std::string Remount(bool another_disk = false) {
    if (!OwnNamespace()) return "no mount namespace of its own";
    const int held = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
    if (mounted_ && umount2(dir_.c_str(), 0) != 0) return close(held), "umount failed";
    const std::string image = dir_ + "/" + std::to_string(images_ += another_disk) + ".img";
    const std::string make = another_disk ? "mkfs.ext4 -q '" + image + "' 32M >/dev/null && " : "";
    FILE* out = popen((make + "losetup -f --show '" + image + "' 2>&1").c_str(), "r");
    char line[256] = "";
    if (out == nullptr || fgets(line, sizeof line, out) == nullptr) line[0] = '\0';
    device_.assign(line, std::strcspn(line, "\n"));
    const bool attached = out != nullptr && pclose(out) == 0;
    mounted_ = attached && mount(device_.c_str(), dir_.c_str(), "ext4", 0, nullptr) == 0;
    // Detached at once, or, while mounted, once unmounted: even when a crash unmounts it.
    const bool detached = attached && std::system(("losetup -d " + device_).c_str()) == 0;
    if (held >= 0) close(held);
    return mounted_ && detached ? "" : "mkfs.ext4, losetup or mount failed: " + device_;
  }

 private:
  static bool OwnNamespace() {
    static const bool own =
        unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own;
  }

  std::string dir_, path_, why_, device_;
  bool mounted_ = false;
  int images_ = 0;
};

}  // namespace kestrel::test
