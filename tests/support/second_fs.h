#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrel::test {

// A fresh folder on another file system than $TMPDIR (or /tmp), for moves across devices: a
// tmpfs of this process's own mount namespace, where the process may mount one; else a folder
// in /dev/shm when that is another file system; else none (Path() is ""). Removed at the end.
// Make it before any thread starts: a process with threads cannot take a namespace of its own.
class SecondFileSystem {
 public:
  SecondFileSystem() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string mine = base + "/kestrel-other-XXXXXX";
    if (mkdtemp(mine.data()) != nullptr) {
      static const bool own_namespace =
          unshare(CLONE_NEWNS) == 0 &&
          mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
      if (own_namespace && mount("kestrel-other", mine.c_str(), "tmpfs", 0, "size=64m") == 0) {
        path_ = mine, mounted_ = true;
        return;
      }
      rmdir(mine.c_str());
    }
    struct stat a = {}, b = {};
    std::string shm = "/dev/shm/kestrel-other-XXXXXX";
    if (stat(base.c_str(), &a) == 0 && stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev &&
        mkdtemp(shm.data()) != nullptr)
      path_ = shm;
  }
  ~SecondFileSystem() {
    if (path_.empty()) return;
    std::error_code ec;
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    std::filesystem::remove_all(path_, ec);
  }
  SecondFileSystem(const SecondFileSystem&) = delete;
  SecondFileSystem& operator=(const SecondFileSystem&) = delete;

  const std::string& Path() const { return path_; }
  // Returns true iff Path() is the top of a file system of its own.
  bool Mounted() const { return mounted_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  bool mounted_ = false;
};

}  // namespace kestrel::test
