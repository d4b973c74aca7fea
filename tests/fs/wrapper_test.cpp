#include "fs/win32_wrapper.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <tuple>

#include <gtest/gtest.h>

#include "fs/destination_folders.h"
#include "fs/folder.h"
#include "platform/clock.h"
#include "reports/run_records.h"
#include "support/fault_sys.h"
#include "support/second_fs.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;
using Names = std::vector<std::string>;

const std::string kMask = "*del-?\?-?\?-????*";

// Every match below folder as discovery walks it, each after at.
void Walk(const Folder& folder, const std::string& at, Names& found) {
  Names matches, subfolders;
  EXPECT_TRUE(folder.List(kMask, matches, subfolders)) << "'" << at << "'";
  for (const std::string& m : matches) found.push_back(at + m);
  for (const std::string& s : subfolders) {
    if (const Folder child = folder.OpenChild(s); child.Valid()) Walk(child, at + s + "/", found);
  }
}
Names WalkFrom(Sys& sys, const std::string& root) {
  Names found;
  Walk(Folder::OpenRoot(sys, root), "", found);
  std::sort(found.begin(), found.end());
  return found;
}

// Every kind of entry a folder may hold, walked as discovery walks it and asked about singly.
TEST(Win32Wrapper, ListsAndTellsEveryKindOfEntry) {
  test::TempDir dir;
  for (const char* f :
       {"a del-01-02-2020.txt", "b.txt", "sub/DEL-03-04-2021", "sub/deep/x del-05-06-2022.doc",
        "del-07-08-2023 \xff\xfe.bin", "del-07-08-2023\nline 100%.txt",
        "del-09-09-2029.d/y del-01-01-2001", "frozen"})
    test::WriteFile(dir / f, "x");
  test::WriteFile(dir / "locked", "x", 0444);
  test::MakeLink(dir / "sub", dir / "link del-01-01-2020");
  test::MakeLink("/nonexistent", dir / "gone del-02-02-2020");
  test::MakeLink(dir.Path(), dir / "root-link");
  ASSERT_EQ(mkfifo((dir / "del-10-10-2030.fifo").c_str(), 0644), 0);
  const Names all = {"a del-01-02-2020.txt",
                     "del-07-08-2023\nline 100%.txt",
                     "del-07-08-2023 \xff\xfe.bin",
                     "del-09-09-2029.d",
                     "del-09-09-2029.d/y del-01-01-2001",
                     "del-10-10-2030.fifo",
                     "gone del-02-02-2020",
                     "link del-01-01-2020",
                     "sub/DEL-03-04-2021",
                     "sub/deep/x del-05-06-2022.doc"};

  FaultSys sys;
  EXPECT_EQ(WalkFrom(sys, dir.Path()), all);
  sys.hide_types = true;  // each entry is then asked for its kind
  EXPECT_EQ(WalkFrom(sys, dir.Path()), all);
  EXPECT_EQ(WalkFrom(sys, dir / "root-link"), all);  // the root the user names may be a link

  // A folder that cannot be opened is passed over; one that cannot be read fails its listing.
  sys.Fail(Op::kOpenAt, EACCES, 0, "sub");
  EXPECT_EQ(WalkFrom(sys, dir.Path()), Names(all.begin(), all.end() - 2));
  sys.Fail(Op::kGetDents64, EIO);
  Names matches, subfolders;
  EXPECT_FALSE(Folder::OpenRoot(sys, dir.Path()).List(kMask, matches, subfolders));

  const int frozen_fd = open((dir / "frozen").c_str(), O_RDONLY);
  int flags = 0;
  ASSERT_EQ(ioctl(frozen_fd, FS_IOC_GETFLAGS, &flags), 0);
  const int frozen_flags = flags | FS_IMMUTABLE_FL;
  const bool immutable = ioctl(frozen_fd, FS_IOC_SETFLAGS, &frozen_flags) == 0;
  const struct {
    std::string name;
    bool exists, folder, read_only;
  } cases[] = {
      {"b.txt", true, false, false},
      {"locked", true, false, true},
      {"sub", true, true, false},
      {"link del-01-01-2020", true, true, false},
      {"gone del-02-02-2020", true, false, false},
      {"missing", false, false, true},
      {"del-10-10-2030.fifo", true, false, false},
      {"", false, false, true},
      {"frozen", true, false, immutable},
  };
  FaultSys special;
  // Special files are never opened: an open would fail here and count as read-only.
  special.Fail(Op::kOpenAt, ENXIO, 0, "fifo");
  Win32Wrapper fs(special);
  for (const auto& c : cases) {
    const std::string path = c.name.empty() ? "" : dir / c.name;
    EXPECT_EQ(fs.FileExists(path), c.exists) << c.name;
    EXPECT_EQ(fs.FolderExists(path), c.folder) << c.name;
    EXPECT_EQ(fs.FileIsReadOnly(path), c.read_only) << c.name;
  }
  EXPECT_EQ(fs.MoveFile(dir / "frozen", dir / "sub"), !immutable);
  ioctl(frozen_fd, FS_IOC_SETFLAGS, &flags);
  close(frozen_fd);
  special.Fail(Op::kInodeFlags, EIO);  // flags that cannot be read count as read-only
  EXPECT_TRUE(fs.FileIsReadOnly(dir / "b.txt"));
}

TEST(Folder, DoesNotEnterAnotherFileSystem) {
  test::SecondFileSystem other;
  if (!other.Mounted()) GTEST_SKIP() << "no file system of our own here";
  std::string parent = std::filesystem::path(other.Path()).parent_path();
  const std::string name = std::filesystem::path(other.Path()).filename();
  EXPECT_TRUE(Folder::OpenRoot(RealSys(), other.Path()).Valid());  // named, it is entered
  EXPECT_FALSE(Folder::OpenRoot(RealSys(), parent).OpenChild(name).Valid());
  const Names subs = Win32Wrapper(RealSys()).GetSubFolders(parent);
  EXPECT_EQ(std::count(subs.begin(), subs.end(), name), 0);
}

// A chain of 3,000 folders, with a side folder near the top opened only after the walk has
// been to the bottom.
TEST(Folder, WalksAnyDepthWithFewDescriptors) {
  test::TempDir dir(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "");  // quick to clear
  test::MakeChain(dir.Path(), "d", 3000, "bottom del-01-01-2020", "");
  test::WriteFile(dir / "d/d/d/d/side/del-01-01-2020", "");

  FaultSys sys;
  std::vector<Folder> chain;
  chain.push_back(Folder::OpenRoot(sys, dir.Path()));
  while (chain.size() <= 3000) chain.push_back(chain.back().OpenChild("d"));
  Names matches, subfolders;
  EXPECT_TRUE(chain.back().List(kMask, matches, subfolders));
  EXPECT_EQ(matches, Names{"bottom del-01-01-2020"});
  EXPECT_LT(sys.max_open_fds, 300);
  matches.clear();
  EXPECT_TRUE(chain[4].OpenChild("side").List(kMask, matches, subfolders));
  EXPECT_EQ(matches, Names{"del-01-01-2020"});
  // Its descriptor closed, a folder is opened again to be listed again; a root keeps its own.
  chain.back().LetGo();
  chain.front().LetGo();
  matches.clear();
  EXPECT_TRUE(chain.back().List(kMask, matches, subfolders));
  EXPECT_EQ(matches, Names{"bottom del-01-01-2020"});
  EXPECT_TRUE(chain.front().List(kMask, matches, subfolders));

  // A folder let go of is found again only through the folders the walk came by: one of them
  // swapped for a link stops it.
  ASSERT_TRUE(chain[8].OpenChild("d").Valid());
  const std::string sixth = dir / "d/d/d/d/d/d";
  ASSERT_EQ(rename(sixth.c_str(), (sixth + "-moved").c_str()), 0);
  test::MakeLink("d-moved", sixth);
  EXPECT_FALSE(chain[7].OpenChild("d").Valid());
}

TEST(Win32Wrapper, MaskFitsTheWholePath) {
  const struct {
    std::string path, mask;
    bool fits;
  } cases[] = {
      {"/x/DEL-01-02-2020 a.txt", kMask, true},
      {"/x/del-1-2-2020.txt", kMask, false},
      {"/x/del-01-02-202", kMask, false},
      {"/a/b/c.txt", "*.txt", true},  // "*" runs over separators
      {"C.TXT", "*.txt", true},
      {"c.txt", "*.doc; *.txt", true},
      {"c.pdf", "*.doc;*.txt", false},
      {"abcd", "abc", false},  // the whole text must fit
      {"", "*", true},
      {"a", "", false},
      {"[a].txt", "[a].txt", true},
      {"\xc3\xa9", "?", false},  // "?" is one byte, not one character
      {"\xc3\xa9", "??", true},
      {"\xc3\x89", "\xc3\xa9", false},  // only ASCII letters fold
      {"ab\xff\n.txt", "AB?\n.*", true},
      {std::string(3000, 'a'), "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Win32Wrapper::PathMatchesSpec(c.path, c.mask), c.fits)
        << "'" << c.path.substr(0, 40) << "' against '" << c.mask << "'";
  }
}

// Block devices made here stand for the disks; a copy of sysfs says which are removable.
TEST(Win32Wrapper, DrivesComeFromTheMountTable) {
  test::TempDir dir;
  const std::string dev = dir / "dev", sysfs = dir / "sys";
  const dev_t here = test::LStat(dir.Path()).st_dev;
  const std::string dev_no = std::to_string(major(here)) + ":" + std::to_string(minor(here));
  test::WriteFile(dir / "mountinfo", "20 1 " + dev_no + " / / rw - ext4 /dev/root rw\n21 20 " +
                                         dev_no + " /sub " + dir / "bind rw - ext4 /dev/root rw\n");
  test::WriteFile(dir / "file", "x");
  test::MakeDir(dir / "bind");
  FaultSys sys;
  sys.Redirect("/proc/self/mountinfo", dir / "mountinfo");
  sys.Redirect("/sys/dev/block/", sysfs + "/");
  Win32Wrapper fs(sys);
  EXPECT_EQ(fs.GetDriveLetter(dir / "file"), "/");
  EXPECT_EQ(fs.GetDriveLetter(dir / "bind"), dir / "bind");
  EXPECT_EQ(fs.GetDriveLetter(dir / "missing"), "");
  EXPECT_EQ(fs.GetDriveLetter("/proc/self"), "");  // its file system is not in the table
  EXPECT_FALSE(fs.SameDrive(dir / "file", dir / "missing"));

  std::string table =
      "1 0 8:1 / / rw - ext4 @/sda1 rw\n2 1 8:32 / /home\\040x rw,nosuid - ext4 @/sdc rw\n"
      "3 1 8:17 / /media/usb rw - vfat @/sdb1 rw\n4 1 8:49 / /snap ro - squashfs @/sdd1 ro\n"
      "5 1 8:49 /sub /bound rw - ext4 @/sdd1 rw\n6 1 8:49 / /data rw shared:1 - ext4 @/sdd1 rw\n"
      "7 1 8:49 / /data2 rw - ext4 @/sdd1 rw\n8 1 0:50 / /net rw - nfs4 server:/x rw\n"
      "9 1 0:51 / /remote rw - fuse.sshfs @/sde rw\n10 1 0:5 / /proc rw - proc proc rw\n"
      "11 1 8:64 / /mnt rw - ext4 @/sde rw\n12 11 0:52 / /mnt rw - tmpfs tmpfs rw\n";
  for (size_t at; (at = table.find('@')) != std::string::npos;) table.replace(at, 1, dev);
  test::WriteFile(dir / "mountinfo", table);
  test::MakeDir(dev);
  for (const auto& [node, minor, removable] : {std::tuple{"sda/sda1", 1, false},
                                               {"sdb/sdb1", 17, true},
                                               {"sdc", 32, false},
                                               {"sdd/sdd1", 49, false},
                                               {"sde", 64, false}}) {
    const std::string path = node, disk = path.substr(0, 3);
    if (mknod((dev + "/" + path.substr(path.find('/') + 1)).c_str(), S_IFBLK | 0600,
              makedev(8, minor)) != 0)
      GTEST_SKIP() << "cannot make device nodes here";
    test::WriteFile(sysfs + "/" + path + "/dev", "8:" + std::to_string(minor) + "\n");
    test::WriteFile(sysfs + "/" + disk + "/removable", removable ? "1\n" : "0\n");
    test::MakeLink(path, sysfs + "/8:" + std::to_string(minor));
  }
  EXPECT_EQ(fs.GetLocalDrives(), (Names{"/", "/data", "/home x"}));
}

// A temporary folder made the top of a mount, with trash folders of two users.
TEST(DestinationFolders, HoldTheTrashesOfTheUserOrOfEveryoneForRoot) {
  test::TempDir top;
  const Names folders = {".Trash",    ".Trash/1000", ".Trash/77", ".Trash-1000",
                         ".Trash-77", ".Trash-7x",   "plain"};
  for (const auto& f : folders) test::MakeDir(top / f);
  test::MakeLink(top / "plain", top / ".Trash-55");  // a link is no trash folder
  const dev_t dev = test::LStat(top.Path()).st_dev;
  test::WriteFile(top / "mountinfo", "36 35 " + std::to_string(major(dev)) + ":" +
                                         std::to_string(minor(dev)) + " / " + top.Path() +
                                         " rw - ext4 /dev/x rw\n");
  for (const auto& [uid, held] : {std::pair<uid_t, Names>{1000, {".Trash/1000", ".Trash-1000"}},
                                  {0, {".Trash", ".Trash-1000", ".Trash-77"}}}) {
    FaultSys sys;
    sys.uid = uid;
    sys.Redirect("/proc/self/mountinfo", top / "mountinfo");
    DestinationFolders destinations(sys, "");
    Names found;
    for (const auto& f : folders) {
      const struct stat st = test::LStat(top / f);
      if (destinations.Holds(st.st_dev, st.st_ino)) found.push_back(f);
    }
    EXPECT_EQ(found, held) << "uid " << uid;
  }
}

// Every path operation on a path of over 5,000 bytes: 25 folders of 200-byte names.
TEST(Win32Wrapper, EveryOperationReachesLongPaths) {
  test::TempDir dir, home;
  test::EnvVar data("XDG_DATA_HOME", home / "data");
  const std::string name(200, 'n');
  test::MakeChain(dir.Path(), name, 25, "del-01-01-2020.txt", "12345");
  std::string folder = dir.Path();
  for (int level = 0; level < 25; ++level) folder += "/" + name;
  const std::string file = folder + "/del-01-01-2020.txt";

  FaultSys sys;
  sys.space = {{7, 4096}};
  SystemClock clock;
  WarningReport warnings(clock);
  Win32Wrapper fs(sys, &warnings);
  EXPECT_TRUE(fs.FileExists(file) && fs.FolderExists(folder));
  EXPECT_FALSE(fs.FileIsReadOnly(file));
  EXPECT_EQ(fs.Stat(file).size, 5);
  EXPECT_EQ(fs.GetAvailableSpace(folder), 7u * 4096u);
  EXPECT_EQ(fs.GetDriveLetter(file), fs.GetDriveLetter(dir.Path()));
  EXPECT_TRUE(fs.SameDrive(file, dir.Path()));
  fs.CreateFolder(folder + "/made");
  std::string listed = folder;
  EXPECT_EQ(fs.FindFiles(listed, "*del-*"), Names{file});
  EXPECT_EQ(fs.GetSubFolders(listed), Names{"made"});
  EXPECT_TRUE(Folder::OpenRoot(sys, folder).OpenChild("made").Valid());

  // Out to a short path, back in, then to the Trash.
  EXPECT_TRUE(fs.MoveFile(file, dir.Path()));
  EXPECT_TRUE(fs.MoveFile(dir / "del-01-01-2020.txt", folder));
  EXPECT_TRUE(fs.MoveFile(file, ""));
  EXPECT_FALSE(fs.FileExists(file));
  EXPECT_EQ(test::ReadFile(home / "data/Trash/files/del-01-01-2020.txt"), "12345");
  const std::string info = test::ReadFile(home / "data/Trash/info/del-01-01-2020.txt.trashinfo");
  EXPECT_EQ(info.find("Path=" + file + "\n"), 13u);
  EXPECT_EQ(warnings.Warnings(), Names{});
}

}  // namespace
}  // namespace kestrel
