#include "fs/win32_wrapper.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;
using test::TempDir;

TEST(Win32Wrapper, ExistenceAndReadOnlyTests) {
  TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::WriteFile(dir / "locked", "x", 0444);
  test::MakeDir(dir / "folder");
  test::MakeLink(dir / "folder", dir / "folder-link");
  test::MakeLink(dir / "nothing", dir / "dangling");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  struct Case {
    std::string name;
    bool exists, folder, read_only;
  } const cases[] = {
      {"file", true, false, false},     {"locked", true, false, true},
      {"folder", true, true, false},    {"folder-link", true, true, false},
      {"dangling", true, false, false}, {"missing", false, false, true},
      {"fifo", true, false, false},
  };
  FaultSys sys;
  Win32Wrapper fs(sys);
  for (const Case& c : cases) {
    EXPECT_EQ(fs.FileExists(dir / c.name), c.exists) << c.name;
    EXPECT_EQ(fs.FolderExists(dir / c.name), c.folder) << c.name;
    EXPECT_EQ(fs.FileIsReadOnly(dir / c.name), c.read_only) << c.name;
  }
  // Special files are never opened: an open would fail here and count as read-only.
  sys.Fail(Op::kOpenAt, ENXIO, 0, "fifo");
  EXPECT_FALSE(fs.FileIsReadOnly(dir / "fifo"));
  EXPECT_FALSE(fs.FileExists(""));
  EXPECT_FALSE(fs.FolderExists(""));

  sys.Fail(Op::kGetInodeFlags, EIO);  // the flags cannot be read: count it as read-only
  EXPECT_TRUE(fs.FileIsReadOnly(dir / "file"));
}

TEST(Win32Wrapper, ImmutableFileIsReadOnly) {
  TempDir dir;
  const std::string path = dir / "frozen";
  test::WriteFile(path, "x");
  const int fd = open(path.c_str(), O_RDONLY);
  int flags = 0;
  ASSERT_EQ(ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
  const int frozen = flags | FS_IMMUTABLE_FL;
  if (ioctl(fd, FS_IOC_SETFLAGS, &frozen) != 0) {
    close(fd);
    GTEST_SKIP() << "cannot make files immutable here: " << std::strerror(errno);
  }
  Win32Wrapper fs(RealSys());
  const bool read_only = fs.FileIsReadOnly(path);
  EXPECT_FALSE(fs.MoveFile(path, dir.Path()));  // a rename within its own folder: EPERM
  ioctl(fd, FS_IOC_SETFLAGS, &flags);
  close(fd);
  EXPECT_TRUE(read_only);
  EXPECT_FALSE(fs.FileIsReadOnly(path));
}

TEST(Win32Wrapper, StatTellsExactSizeAndLocalTime) {
  TempDir dir;
  const std::string sparse = dir / "sparse";
  const off_t size = 3LL * 1024 * 1024 * 1024 + 1;
  const int fd = open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(fd, size), 0);
  const struct timespec times[2] = {{1700000000, 0}, {1700000123, 0}};
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
  Win32Wrapper fs(RealSys());
  const Win32Wrapper::FileInfo info = fs.Stat(sparse);
  EXPECT_EQ(info.size, size);
  EXPECT_EQ(info.stamp, DateTime::FromTimeT(1700000123));
  EXPECT_FALSE(info.is_directory);
  EXPECT_TRUE(fs.Stat(dir.Path()).is_directory);
  try {
    fs.Stat(dir / "missing");
    ADD_FAILURE() << "no error";
  } catch (const KsError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_EQ(e.Source(), "Win32Wrapper.Stat");
  }
}

TEST(Win32Wrapper, CreateFolderMakesTheLastLevelOnly) {
  TempDir dir;
  Win32Wrapper fs(RealSys());
  fs.CreateFolder(dir / "new");
  EXPECT_TRUE(fs.FolderExists(dir / "new"));
  for (const auto& [path, err] : {std::pair{dir / "new", EEXIST}, {dir / "a/b", ENOENT}}) {
    try {
      fs.CreateFolder(path);
      ADD_FAILURE() << path;
    } catch (const KsError& e) {
      EXPECT_EQ(e.Number(), err) << path;
      EXPECT_EQ(e.Source(), "Win32Wrapper.CreateFolder");
    }
  }
}

std::string DevText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

TEST(Win32Wrapper, DriveIsTheMountPointOfTheFileSystem) {
  TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::MakeDir(dir / "bind");
  const std::string here = DevText(test::DeviceOf(dir.Path()));
  test::WriteFile(dir / "mountinfo",
                  "20 1 " + here + " / / rw - ext4 /dev/root rw\n" + "21 20 " + here + " /sub " +
                      dir.Path() + "/bind rw - ext4 /dev/root rw\n" +
                      "22 20 0:4242 / /mnt/other\\040disk rw - tmpfs tmpfs rw\n");
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

TEST(Win32Wrapper, LocalDrivesAreFixedWritableBlockDevices) {
  TempDir dir;
  const std::string devs = dir / "dev", sysfs = dir / "sys";
  test::MakeDir(devs);
  test::MakeDir(sysfs);
  struct Disk {
    std::string disk, part;
    unsigned minor;
    bool removable;
  } const disks[] = {{"sda", "sda1", 1, false},
                     {"sdb", "sdb1", 17, true},
                     {"sdc", "", 32, false},
                     {"sdd", "sdd1", 49, false},
                     {"sde", "", 64, false}};
  for (const Disk& d : disks) {
    const std::string node = devs + "/" + (d.part.empty() ? d.disk : d.part);
    if (mknod(node.c_str(), S_IFBLK | 0600, makedev(8, d.minor)) != 0) {
      GTEST_SKIP() << "cannot make device nodes here";
    }
    test::MakeDir(sysfs + "/" + d.disk);
    test::WriteFile(sysfs + "/" + d.disk + "/removable", d.removable ? "1\n" : "0\n");
    std::string target = d.disk;
    if (!d.part.empty()) {
      test::MakeDir(sysfs + "/" + d.disk + "/" + d.part);
      target += "/" + d.part;
    }
    test::MakeLink(target, sysfs + "/8:" + std::to_string(d.minor));
  }
  const std::string lines[] = {
      "1 0 8:1 / / rw - ext4 " + devs + "/sda1 rw",
      "2 1 8:32 / /home\\040x rw,nosuid - ext4 " + devs + "/sdc rw",
      "3 1 8:17 / /media/usb rw - vfat " + devs + "/sdb1 rw",
      "4 1 8:49 / /snap ro - squashfs " + devs + "/sdd1 ro",
      "5 1 8:49 /sub /bound rw - ext4 " + devs + "/sdd1 rw",
      "6 1 8:49 / /data rw shared:1 - ext4 " + devs + "/sdd1 rw",
      "7 1 8:49 / /data2 rw - ext4 " + devs + "/sdd1 rw",
      "8 1 0:50 / /net rw - nfs4 server:/x rw",
      "9 1 0:51 / /remote rw - fuse.sshfs " + devs + "/sde rw",
      "10 1 0:5 / /proc rw - proc proc rw",
      "11 1 8:64 / /mnt rw - ext4 " + devs + "/sde rw",
      "12 11 0:52 / /mnt rw - tmpfs tmpfs rw",
  };
  std::string table;
  for (const std::string& line : lines) table += line + "\n";
  test::WriteFile(dir / "mountinfo", table);
  FaultSys sys;
  sys.Redirect("/proc/self/mountinfo", dir / "mountinfo");
  sys.Redirect("/sys/dev/block/", sysfs + "/");
  EXPECT_EQ(Win32Wrapper(sys).GetLocalDrives(),
            (std::vector<std::string>{"/", "/data", "/home x"}));
}

}  // namespace
}  // namespace kestrel
