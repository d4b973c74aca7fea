#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include <gtest/gtest.h>

#include "fs/folder.h"
#include "fs/win32_wrapper.h"
#include "platform/clock.h"
#include "reports/run_records.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;
using test::TempDir;

struct stat LStat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::string Error(int err, const std::string& path) {
  return "File system error (" + std::to_string(err) + ") while moving file: " + path;
}

class MoveTest : public testing::Test {
 protected:
  // Moves with sys into the quarantine folder q; returns the warnings it gave.
  std::vector<std::string> Move(Sys& sys, const std::string& from, bool moved = true,
                                const std::string& to = "") {
    SystemClock clock;
    WarningReport warnings(clock);
    EXPECT_EQ(Win32Wrapper(sys, &warnings, &scanned_).MoveFile(from, to.empty() ? q_ : to), moved)
        << from;
    return warnings.Warnings();
  }
  void MakeTree(const std::string& root) {
    test::MakeDir(root, 0750);
    test::WriteFile(root + "/f1", "one", 0600);
    test::MakeDir(root + "/sub");
    test::WriteFile(root + "/sub/f2", "two");
    test::MakeLink("../f1", root + "/sub/link");
  }
  void ExpectTree(const std::string& root) {
    EXPECT_EQ(test::ReadFile(root + "/f1"), "one");
    EXPECT_EQ(LStat(root + "/f1").st_mode & 07777, 0600u);
    EXPECT_EQ(LStat(root).st_mode & 07777, 0750u);
    EXPECT_EQ(test::ReadFile(root + "/sub/f2"), "two");
    EXPECT_TRUE(S_ISLNK(LStat(root + "/sub/link").st_mode));
    EXPECT_EQ(test::ReadFile(root + "/sub/link"), "one");
  }

  TempDir dir_;
  const std::string q_ = dir_ / "q";
  ScannedFolders scanned_;
  void SetUp() override { test::MakeDir(q_); }
};

TEST_F(MoveTest, NeverOverwritesATakenName) {
  const std::string names[] = {"x.txt", "noext", ".bashrc", "a.tar.gz"};
  for (const char* from : {"a", "b", "c"}) {
    test::MakeDir(dir_ / from);
    for (const std::string& name : names) {
      test::WriteFile(dir_ / from + "/" + name, from);
      EXPECT_EQ(Move(RealSys(), dir_ / from + "/" + name), std::vector<std::string>{});
    }
  }
  EXPECT_EQ(test::Names(q_),
            (std::vector<std::string>{".bashrc", ".bashrc (2)", ".bashrc (3)", "a.tar (2).gz",
                                      "a.tar (3).gz", "a.tar.gz", "noext", "noext (2)", "noext (3)",
                                      "x (2).txt", "x (3).txt", "x.txt"}));
  EXPECT_EQ(test::ReadFile(q_ + "/x.txt"), "a");
  EXPECT_EQ(test::ReadFile(q_ + "/x (2).txt"), "b");
  EXPECT_EQ(test::ReadFile(q_ + "/x (3).txt"), "c");
  EXPECT_EQ(test::Names(dir_ / "a"), std::vector<std::string>{});
}

TEST_F(MoveTest, MovesLinksFoldersAndSpecialFilesWithinAFileSystem) {
  test::MakeLink("/somewhere/else", dir_ / "link del-01-01-2020");
  MakeTree(dir_ / "tree");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);
  for (const char* name : {"link del-01-01-2020", "tree", "fifo"}) Move(RealSys(), dir_ / name);
  char target[64] = {};
  EXPECT_EQ(readlink((q_ + "/link del-01-01-2020").c_str(), target, sizeof target - 1), 15);
  EXPECT_STREQ(target, "/somewhere/else");
  ExpectTree(q_ + "/tree");
  EXPECT_TRUE(S_ISFIFO(LStat(q_ + "/fifo").st_mode));
  EXPECT_EQ(test::Names(dir_.Path()), std::vector<std::string>{"q"});
}

TEST_F(MoveTest, CopiesAcrossFileSystemsKeepingWhatMatters) {
  TempDir shm("/dev/shm");
  if (test::DeviceOf(shm.Path()) == test::DeviceOf(q_)) GTEST_SKIP() << "one file system only";
  const std::string file = shm / "x del-01-01-2020.txt";
  test::WriteFile(file, "payload", 0640);
  const struct timespec times[2] = {{1600000000, 5}, {1600000100, 7}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  test::WriteFile(q_ + "/x del-01-01-2020.txt", "older");
  MakeTree(shm / "tree");
  test::MakeLink("target", shm / "link");
  const std::string sparse = shm / "sparse";
  const off_t size = 3LL * 1024 * 1024 * 1024 + 5;
  const int fd = open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(pwrite(fd, "end", 3, size - 3), 3);
  close(fd);
  ASSERT_EQ(mkfifo((shm / "fifo").c_str(), 0644), 0);

  for (const char* name : {"x del-01-01-2020.txt", "tree", "link", "sparse"}) {
    EXPECT_EQ(Move(RealSys(), shm / name), std::vector<std::string>{}) << name;
  }
  EXPECT_EQ(Move(RealSys(), shm / "fifo", false),
            std::vector<std::string>{Error(EXDEV, shm / "fifo")});

  const std::string placed = q_ + "/x del-01-01-2020 (2).txt";
  EXPECT_EQ(test::ReadFile(placed), "payload");
  EXPECT_EQ(test::ReadFile(q_ + "/x del-01-01-2020.txt"), "older");
  EXPECT_EQ(LStat(placed).st_mode & 07777, 0640u);
  EXPECT_EQ(LStat(placed).st_mtim.tv_sec, 1600000100);
  EXPECT_EQ(LStat(placed).st_mtim.tv_nsec, 7);
  ExpectTree(q_ + "/tree");
  EXPECT_TRUE(S_ISLNK(LStat(q_ + "/link").st_mode));
  EXPECT_EQ(LStat(q_ + "/sparse").st_size, size);
  EXPECT_LT(LStat(q_ + "/sparse").st_blocks, 2048);  // still sparse: under 1 MiB on disk
  EXPECT_EQ(test::Names(shm.Path()), std::vector<std::string>{"fifo"});
}

struct Fault {
  const char* what;
  std::function<void(FaultSys&)> arm;  // after the rename that forces the copy
  int err;                             // 0: the move must succeed
};

TEST_F(MoveTest, AFailedCopyLeavesTheSourceAndNoPartialCopy) {
  const Fault faults[] = {
      {"none", [](FaultSys&) {}, 0},
      {"short write", [](FaultSys& s) { s.ShortWrite(1, 2); }, 0},
      {"disk full", [](FaultSys& s) { s.Fail(Op::kWrite, ENOSPC); }, ENOSPC},
      {"write takes nothing", [](FaultSys& s) { s.ShortWrite(1, 0); }, ENOSPC},
      {"read error", [](FaultSys& s) { s.Fail(Op::kRead, EIO); }, EIO},
      {"sync error", [](FaultSys& s) { s.Fail(Op::kFsync, EIO); }, EIO},
      {"no access to the copy", [](FaultSys& s) { s.Fail(Op::kOpenAt, EACCES, 1, ".kestrel-"); },
       EACCES},
      {"rename into place", [](FaultSys& s) { s.Fail(Op::kRenameAt2, EACCES); }, EACCES},
      {"source not removable", [](FaultSys& s) { s.Fail(Op::kUnlinkAt, EPERM, 1, "data"); }, EPERM},
  };
  for (const Fault& f : faults) {
    for (const bool folder : {false, true}) {
      SCOPED_TRACE(std::string(f.what) + (folder ? " (folder)" : " (file)"));
      const std::string from = dir_ / "data";
      if (folder) {
        MakeTree(from);
        test::WriteFile(from + "/data", std::string(100000, 'd'));
      } else {
        test::WriteFile(from, std::string(100000, 'd'), 0640);
      }
      FaultSys sys;
      sys.Fail(Op::kRenameAt2, EXDEV);
      f.arm(sys);
      const std::vector<std::string> warnings = Move(sys, from, f.err == 0);
      const bool denied = f.err == EACCES || f.err == EPERM;
      if (f.err == 0) {
        EXPECT_EQ(warnings, std::vector<std::string>{});
        EXPECT_FALSE(test::Exists(from));
        if (folder) ExpectTree(q_ + "/data");
        EXPECT_EQ(test::ReadFile(q_ + (folder ? "/data/data" : "/data")), std::string(100000, 'd'));
      } else if (folder && f.err == EPERM) {
        // The copy landed and the source could not be removed in full: both stay.
        EXPECT_EQ(warnings, std::vector<std::string>{"File access is denied: " + from});
        ExpectTree(q_ + "/data");
        EXPECT_EQ(test::Names(from), std::vector<std::string>{"data"});
      } else {
        EXPECT_EQ(warnings, std::vector<std::string>{denied ? "File access is denied: " + from
                                                            : Error(f.err, from)});
        if (folder) ExpectTree(from);
        EXPECT_EQ(test::ReadFile(folder ? from + "/data" : from), std::string(100000, 'd'));
        EXPECT_EQ(test::Names(q_), std::vector<std::string>{});
      }
      std::system(("rm -rf '" + from + "' '" + q_ + "/data'").c_str());
    }
  }
}

TEST_F(MoveTest, RefusesAFolderSwappedSinceTheScan) {
  const std::string in = dir_ / "in", name = "/x del-01-01-2020";
  test::MakeDir(in);
  test::MakeDir(dir_ / "elsewhere");
  test::WriteFile(in + name, "scanned");
  test::WriteFile(in + "/second", "scanned");
  test::WriteFile(dir_ / "elsewhere" + name, "not scanned");
  const Folder folder = Folder::OpenRoot(RealSys(), in);
  scanned_.Remember(in + "/", folder.Device(), folder.Inode());

  EXPECT_EQ(Move(RealSys(), in + "/second"), std::vector<std::string>{});
  ASSERT_EQ(rename(in.c_str(), (dir_ / "in-old").c_str()), 0);
  test::MakeLink(dir_ / "elsewhere", in);
  EXPECT_EQ(Move(RealSys(), in + name, false), std::vector<std::string>{Error(ELOOP, in + name)});
  EXPECT_EQ(test::ReadFile(dir_ / "elsewhere" + name), "not scanned");
  EXPECT_EQ(test::Names(q_), std::vector<std::string>{"second"});
}

}  // namespace
}  // namespace kestrel
