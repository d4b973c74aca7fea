#include "fs/win32_wrapper.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;

TEST(Win32Wrapper, ExistenceAndReadOnlyTests) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::WriteFile(dir / "locked", "x", 0444);
  test::MakeDir(dir / "folder");
  test::MakeLink(dir / "folder", dir / "folder-link");
  test::MakeLink(dir / "nothing", dir / "dangling");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  const struct {
    std::string name;
    bool exists, folder, read_only;
  } cases[] = {
      {"file", true, false, false},     {"locked", true, false, true},
      {"folder", true, true, false},    {"folder-link", true, true, false},
      {"dangling", true, false, false}, {"missing", false, false, true},
      {"fifo", true, false, false},     {"", false, false, true},
  };
  FaultSys sys;
  // Special files are never opened: an open would fail here and count as read-only.
  sys.Fail(Op::kOpenAt, ENXIO, 0, "fifo");
  Win32Wrapper fs(sys);
  for (const auto& c : cases) {
    const std::string path = c.name.empty() ? "" : dir / c.name;
    EXPECT_EQ(fs.FileExists(path), c.exists) << c.name;
    EXPECT_EQ(fs.FolderExists(path), c.folder) << c.name;
    EXPECT_EQ(fs.FileIsReadOnly(path), c.read_only) << c.name;
  }
  sys.Fail(Op::kInodeFlags, EIO);  // flags that cannot be read count as read-only
  EXPECT_TRUE(fs.FileIsReadOnly(dir / "file"));
}

TEST(Win32Wrapper, ImmutableFileIsReadOnly) {
  test::TempDir dir;
  const std::string path = dir / "frozen";
  test::WriteFile(path, "x");
  const int fd = open(path.c_str(), O_RDONLY);
  int flags = 0;
  ASSERT_EQ(ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
  const int frozen = flags | FS_IMMUTABLE_FL;
  if (ioctl(fd, FS_IOC_SETFLAGS, &frozen) != 0) {
    close(fd);
    GTEST_SKIP() << "no immutable files here";
  }
  Win32Wrapper fs(RealSys());
  const bool read_only = fs.FileIsReadOnly(path);
  const bool moved = fs.MoveFile(path, dir.Path());  // would need a rename: refused
  ioctl(fd, FS_IOC_SETFLAGS, &flags);
  close(fd);
  EXPECT_TRUE(read_only);
  EXPECT_FALSE(moved);
  EXPECT_FALSE(fs.FileIsReadOnly(path));
}

TEST(Win32Wrapper, StatAndCreateFolder) {
  test::TempDir dir;
  const std::string sparse = dir / "sparse";
  const off_t size = 3LL * 1024 * 1024 * 1024 + 1;
  const int fd = open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
  const struct timespec times[2] = {{1700000000, 0}, {1700000123, 0}};
  ASSERT_TRUE(ftruncate(fd, size) == 0 && futimens(fd, times) == 0);
  close(fd);
  Win32Wrapper fs(RealSys());
  const Win32Wrapper::FileInfo info = fs.Stat(sparse);
  EXPECT_EQ(info.size, size);
  EXPECT_EQ(info.stamp, DateTime::FromTimeT(1700000123));
  EXPECT_FALSE(info.is_directory);
  EXPECT_TRUE(fs.Stat(dir.Path()).is_directory);
  fs.CreateFolder(dir / "new");
  EXPECT_TRUE(fs.FolderExists(dir / "new"));

  const auto error = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const KsError& e) {
      return std::to_string(e.Number()) + " " + e.Source();
    }
    return std::string("none");
  };
  EXPECT_EQ(error([&] { fs.Stat(dir / "missing"); }), "2 Win32Wrapper.Stat");
  EXPECT_EQ(error([&] { fs.CreateFolder(dir / "new"); }), "17 Win32Wrapper.CreateFolder");
  EXPECT_EQ(error([&] { fs.CreateFolder(dir / "a/b"); }), "2 Win32Wrapper.CreateFolder");
}

std::string DevText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

TEST(Win32Wrapper, DriveIsTheMountPointOfTheFileSystem) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::MakeDir(dir / "bind");
  const std::string here = DevText(test::DeviceOf(dir.Path()));
  test::WriteFile(dir / "mountinfo", "20 1 " + here + " / / rw - ext4 /dev/root rw\n21 20 " + here +
                                         " /sub " + dir.Path() + "/bind rw - ext4 /dev/root rw\n");
  FaultSys sys;
  sys.Redirect("/proc/self/mountinfo", dir / "mountinfo");
  Win32Wrapper fs(sys);
  EXPECT_EQ(fs.GetDriveLetter(dir / "file"), "/");
  EXPECT_EQ(fs.GetDriveLetter(dir / "bind"), dir / "bind");
  EXPECT_EQ(fs.GetDriveLetter(dir / "missing"), "");
  EXPECT_EQ(fs.GetDriveLetter("/proc/self"), "");  // its file system is not in the table
  EXPECT_TRUE(fs.SameDrive(dir / "file", dir / "bind"));
  EXPECT_FALSE(fs.SameDrive(dir / "file", dir / "missing"));
  EXPECT_FALSE(fs.SameDrive(dir / "file", "/proc/self"));

  sys.space = {{3'000'000'000, 4096}};
  EXPECT_EQ(fs.GetAvailableSpace(dir / "file"), 12'288'000'000'000u);
  EXPECT_EQ(fs.GetAvailableSpace(""), 0u);
  EXPECT_EQ(fs.GetAvailableSpace(dir / "missing"), 0u);
}

// Block devices made here stand for the disks; a copy of sysfs says which are removable.
TEST(Win32Wrapper, LocalDrivesAreFixedWritableBlockDevices) {
  test::TempDir dir;
  const std::string dev = dir / "dev", sysfs = dir / "sys";
  test::MakeDir(dev);
  test::MakeDir(sysfs);
  for (const auto& [node, minor, removable] : {std::tuple{"sda/sda1", 1, false},
                                               {"sdb/sdb1", 17, true},
                                               {"sdc", 32, false},
                                               {"sdd/sdd1", 49, false},
                                               {"sde", 64, false}}) {
    const std::string path = node, disk = path.substr(0, 3);
    if (mknod((dev + "/" + path.substr(path.find('/') + 1)).c_str(), S_IFBLK | 0600,
              makedev(8, minor)) != 0) {
      GTEST_SKIP() << "cannot make device nodes here";
    }
    test::MakeDir(sysfs + "/" + disk);
    if (path != disk) test::MakeDir(sysfs + "/" + path);
    test::WriteFile(sysfs + "/" + disk + "/removable", removable ? "1\n" : "0\n");
    test::MakeLink(path, sysfs + "/8:" + std::to_string(minor));
  }
  test::WriteFile(dir / "mountinfo", "1 0 8:1 / / rw - ext4 " + dev +
                                         "/sda1 rw\n"
                                         "2 1 8:32 / /home\\040x rw,nosuid - ext4 " +
                                         dev +
                                         "/sdc rw\n"
                                         "3 1 8:17 / /media/usb rw - vfat " +
                                         dev +
                                         "/sdb1 rw\n"
                                         "4 1 8:49 / /snap ro - squashfs " +
                                         dev +
                                         "/sdd1 ro\n"
                                         "5 1 8:49 /sub /bound rw - ext4 " +
                                         dev +
                                         "/sdd1 rw\n"
                                         "6 1 8:49 / /data rw shared:1 - ext4 " +
                                         dev +
                                         "/sdd1 rw\n"
                                         "7 1 8:49 / /data2 rw - ext4 " +
                                         dev +
                                         "/sdd1 rw\n"
                                         "8 1 0:50 / /net rw - nfs4 server:/x rw\n"
                                         "9 1 0:51 / /remote rw - fuse.sshfs " +
                                         dev +
                                         "/sde rw\n"
                                         "10 1 0:5 / /proc rw - proc proc rw\n"
                                         "11 1 8:64 / /mnt rw - ext4 " +
                                         dev +
                                         "/sde rw\n"
                                         "12 11 0:52 / /mnt rw - tmpfs tmpfs rw\n");
  FaultSys sys;
  sys.Redirect("/proc/self/mountinfo", dir / "mountinfo");
  sys.Redirect("/sys/dev/block/", sysfs + "/");
  EXPECT_EQ(Win32Wrapper(sys).GetLocalDrives(),
            (std::vector<std::string>{"/", "/data", "/home x"}));
}

}  // namespace
}  // namespace kestrel
